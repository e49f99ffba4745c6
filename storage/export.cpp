#include "storage/export.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "model/datafolder.h"
#include "model/fileio.h"
#include "model/foldercommit.h"
#include "model/geometry.h"
#include "storage/filenames.h"
#include "storage/import.h"
#include "storage/numberformat.h"

namespace {

std::string Styled(std::string number, const TNumberStyle& style) {
    if (style.QuoteDecimalComma && number.find(',') != std::string::npos) return "\"" + number + "\"";
    return number;
}

std::string ElectrodeText(int16_t n) { return n == 0 ? "Rem" : std::to_string(n); }

bool Listed(const TElectrode& e) {
    return e.Type == static_cast<int16_t>(TElectrodeType::Active) ||
           e.Type == static_cast<int16_t>(TElectrodeType::Inactive);
}

// Spacing[k] as the whole multiple of a it was made as (SpacingMultiple), or a single space when a is
// below 0.001.
std::string SpacingRatioText(const TSequence& seq, int k) { return SpacingMultipleText(seq, k, false); }

void PutLittle(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

void PutLittle16(unsigned char* p, int16_t v) {
    auto u = static_cast<uint16_t>(v);
    p[0] = static_cast<unsigned char>(u);
    p[1] = static_cast<unsigned char>(u >> 8);
}

void PutFloat(unsigned char* p, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    PutLittle(p, bits);
}

void WriteText(const std::string& path, const std::vector<std::string>& lines) {
    std::string bytes = JoinLines(lines);
    WriteFileAtomic(path, bytes.data(), bytes.size());
}

}  // namespace

void QuadripoleLines(const TSequence& seq, std::vector<std::string>& lines, const std::string& sep) {
    lines.clear();
    lines.push_back("#" + sep + "A" + sep + "B" + sep + "M" + sep + "N");
    const int count = std::clamp(seq.NbQuadripole, 0, MaxQuadripoles);
    for (int i = 0; i < count; ++i) {
        const TQuadripole& q = seq.Quadripoles[i];
        lines.push_back(std::to_string(i + 1) + sep + " " + ElectrodeText(q.A) + sep + ElectrodeText(q.B) +
                        sep + ElectrodeText(q.M) + sep + ElectrodeText(q.N) + "  ");
    }
}

void ElectrodeLines(const TSequence& seq, std::vector<std::string>& lines, const std::string& sep,
                    const TNumberStyle& style) {
    lines.clear();
    lines.push_back("#" + sep + "X" + sep + "Y" + sep + "Z");
    for (int n = 1; n <= MaxElectrodeNumber; ++n) {
        const TElectrode& e = seq.Electrodes[n];
        if (!Listed(e)) continue;
        // The entry index is the electrode number; an imported electrode without a coordinate line has
        // no Number of its own.
        lines.push_back(std::to_string(n) + sep + Styled(FormatFixed2(e.X, style.Decimal), style) + sep +
                        Styled(FormatFixed2(e.Y, style.Decimal), style) + sep +
                        Styled(FormatFixed2(e.Z, style.Decimal), style));
    }
}

std::string SpreadsheetVmnText(int32_t code) {
    const std::string text = VmnRangeText(code);
    return text.empty() ? "Unknown" : text;
}

std::string SpreadsheetArrayText(const TSequence& seq) {
    const std::string name = ArrayTypeName(seq.ArrayType);
    return seq.GridLineX != 0 || name.empty() ? "Mixed" : name;
}

std::string SpreadsheetLevelsText(int32_t mask, const std::string& sep) {
    int low = LowestLevel(mask);
    if (low < 0) return "0";
    int high = HighestLevel(mask);
    std::string out;
    for (int n = low + 1; n <= high + 1; ++n) {
        if (!out.empty()) out += sep;
        out += std::to_string(n);
    }
    return out;
}

void SpreadsheetHeader(const TSequence& seq, std::vector<std::string>& lines, const std::string& sep,
                       const TNumberStyle& style) {
    lines.clear();
    auto add = [&](const std::string& key, const std::string& value) { lines.push_back(key + sep + value); };
    add("Version", std::to_string(seq.Version));
    add("Name", seq.Name.Get());
    add("Area", Styled(FormatGeneral(seq.Area, style.Decimal), style));
    add("Line", Styled(FormatGeneral(seq.Line, style.Decimal), style));
    add("QMax", std::to_string(seq.QMax));
    add("StackMin", std::to_string(seq.StackMin));
    add("StackMax", std::to_string(seq.StackMax));
    add("Time", std::to_string(seq.Time));
    add("Mode", seq.Mode != 0 ? "Rho and Ip" : "Rho");
    add("Vmn Range", SpreadsheetVmnText(seq.VmnRange));
    add("Array Type", SpreadsheetArrayText(seq));
    for (int k = 0; k < MaxSpacings; ++k) {
        add("Spacing " + std::to_string(k + 1), SpacingRatioText(seq, k));
        add("Level Used ", SpreadsheetLevelsText(seq.LevelUsed[k], sep));
    }
    add("GridLineX", std::to_string(seq.GridLineX));
    add("GridLineY", std::to_string(seq.GridLineY));
    add("NbElectrode", std::to_string(seq.NbElectrode));
    add("NbQuadripole", std::to_string(seq.NbQuadripole));
}

void FillPelmarConfig(const TSequence& seq, TPelmarConfig& buffer) {
    buffer.fill(0);
    buffer[0] = static_cast<unsigned char>(seq.QMax);
    buffer[1] = static_cast<unsigned char>(seq.StackMax);
    buffer[2] = static_cast<unsigned char>(seq.StackMin);
    buffer[3] = seq.Time == 250 ? 3 : seq.Time == 500 ? 2 : seq.Time == 1000 ? 1 : 0;
    buffer[4] = static_cast<unsigned char>(seq.VmnRange);
    PutLittle(&buffer[8], static_cast<uint32_t>(seq.ArrayType));
    static const char text[] = "Varnel Configuration Created by TERAVOX";
    static_assert(sizeof text == 40);
    std::memcpy(&buffer[12], text, sizeof text);
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string out;
    std::size_t size = 0;
    for (const auto& l : lines) size += l.size() + 2;
    out.reserve(size);
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

std::string ExportSpreadsheet(const TSequence& seq, const std::string& folder, const std::string& stem,
                              char separator, char decimal) {
    const std::string sep(1, separator);
    const TNumberStyle style{decimal, true};
    std::vector<std::string> all, part;
    SpreadsheetHeader(seq, part, sep, style);
    all.insert(all.end(), part.begin(), part.end());
    ElectrodeLines(seq, part, sep, style);
    all.insert(all.end(), part.begin(), part.end());
    QuadripoleLines(seq, part, sep);
    all.insert(all.end(), part.begin(), part.end());
    std::string path = JoinPath(folder, stem + ".txt");
    WriteText(path, all);
    return path;
}

std::vector<std::string> ExportPelmar(const TSequence& seq, const std::string& folder,
                                      const std::string& stem, char decimal) {
    const std::string sep = "   ";
    const std::vector<std::string> names{stem + "_Quad.txt", stem + "_Coor.txt", stem + ".cfg"};
    // The three files go together (Pelmar reads them as one): one commit, as a set's files are, so that
    // an export cut short leaves the previous three or the new three, never a mix.
    const TFolderLock lock(folder, FolderLockWait);
    RecoverFolder(folder);
    RemoveLeftovers(folder);
    TFolderCommit commit(folder);
    std::vector<std::string> lines;
    QuadripoleLines(seq, lines, sep);
    std::string text = JoinLines(lines);
    commit.Write(names[0], text.data(), text.size());
    ElectrodeLines(seq, lines, sep, TNumberStyle{decimal, false});
    text = JoinLines(lines);
    commit.Write(names[1], text.data(), text.size());
    TPelmarConfig config;
    FillPelmarConfig(seq, config);
    commit.Write(names[2], config.data(), config.size());
    commit.Commit();
    std::vector<std::string> paths;
    paths.reserve(names.size());
    for (const auto& n : names) paths.push_back(JoinPath(folder, n));
    return paths;
}

namespace {

// The V1 export of one sequence applied to the bytes of the file; `path` names it in refusals.
void ExportV1Into(const TSequence& seq, std::vector<unsigned char>& old, const std::string& path,
                  bool append) {
    if (old.size() < V1HeaderSize || !IsV1Header(old.data(), old.size()))
        throw TV1Refused(path, "not a Teravox V1 sequence file: the header does not begin with _DOC_Teravox");
    auto get16 = [&](std::size_t at) {
        return static_cast<int16_t>(static_cast<uint16_t>(old[at] | (old[at + 1] << 8)));
    };
    const int oldE = get16(V1ElectrodeCountOffset);
    const int oldQ = get16(V1QuadripoleCountOffset);

    std::vector<int> electrodes;
    for (int n = 1; n <= MaxElectrodeNumber; ++n)
        if (Listed(seq.Electrodes[n])) electrodes.push_back(n);
    const int e = static_cast<int>(electrodes.size());
    const int q = std::clamp(seq.NbQuadripole, 0, MaxQuadripoles);

    std::size_t keep = V1HeaderSize;  // bytes of the old file that stay
    int16_t count = static_cast<int16_t>(q);
    if (append) {
        const std::size_t counted = V1HeaderSize +
                                    static_cast<std::size_t>(std::max(oldE, 0)) * V1ElectrodeRecordSize +
                                    static_cast<std::size_t>(std::max(oldQ, 0)) * V1QuadripoleRecordSize;
        if (oldE < 0 || oldQ < 0 || counted > old.size())
            throw TV1Refused(path, "V1 file counts run past its end; nothing appended");
        // The new quadripoles go at the end of the file, and a reader takes the records right after
        // the electrode table: bytes beyond the counted records would sit between the two.
        if (counted < old.size())
            throw TV1Refused(path, "V1 file holds " + std::to_string(old.size() - counted) +
                                       " bytes after its last quadripole record; nothing appended");
        if (oldE != e)
            throw TV1Refused(path, "cannot append sequence \"" + seq.Name.Get() + "\" with " +
                                       std::to_string(e) + " electrodes to a V1 file of " +
                                       std::to_string(oldE) + " electrodes");
        if (oldQ + q > 32767)
            throw TV1Refused(path, "appending sequence \"" + seq.Name.Get() +
                                       "\" would take the V1 file past 32767 quadripoles");
        keep = old.size();
        count = static_cast<int16_t>(oldQ + q);
    }

    std::vector<unsigned char> out(old.begin(), old.begin() + static_cast<std::ptrdiff_t>(keep));
    const std::size_t tableEnd = V1HeaderSize + electrodes.size() * V1ElectrodeRecordSize;
    if (out.size() < tableEnd) out.resize(tableEnd, 0);
    PutLittle16(&out[V1ElectrodeCountOffset], static_cast<int16_t>(e));
    PutLittle16(&out[V1QuadripoleCountOffset], count);
    unsigned char* p = out.data() + V1HeaderSize;
    for (int n : electrodes) {
        const TElectrode* el = &seq.Electrodes[n];
        PutLittle16(p, static_cast<int16_t>(n - 1));
        PutFloat(p + 2, el->X);
        PutFloat(p + 6, el->Y);
        PutFloat(p + 10, el->Z);
        PutLittle16(p + 14, 1);
        p += V1ElectrodeRecordSize;
    }
    std::size_t at = append ? keep : tableEnd;
    out.resize(at + static_cast<std::size_t>(q) * V1QuadripoleRecordSize);
    p = out.data() + at;
    for (int i = 0; i < q; ++i) {
        const TQuadripole& qd = seq.Quadripoles[i];
        PutLittle16(p, qd.A);
        PutLittle16(p + 2, qd.B);
        PutLittle16(p + 4, qd.M);
        PutLittle16(p + 6, qd.N);
        PutLittle16(p + 8, 1);
        PutFloat(p + 10, QuadripoleK(seq, i));
        p += V1QuadripoleRecordSize;
    }
    old = std::move(out);
}

}  // namespace

void ExportV1Sequence(const TSequence& seq, const std::string& path, bool append) {
    ExportV1Sequences({&seq}, path, append);
}

void ExportV1Sequences(const std::vector<const TSequence*>& seqs, const std::string& path, bool append) {
    std::vector<unsigned char> bytes = ReadWholeFile(path, MaxV1FileSize, "a V1 sequence file");
    for (std::size_t i = 0; i < seqs.size(); ++i) ExportV1Into(*seqs[i], bytes, path, append || i != 0);
    WriteFileAtomic(path, bytes.data(), bytes.size());
}
