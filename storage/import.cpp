#include "storage/import.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "model/datafolder.h"
#include "model/fileio.h"
#include "model/geometry.h"
#include "model/sqxfile.h"
#include "storage/inversionformats.h"
#include "storage/numberformat.h"

TImportError::TImportError(const std::string& problem, int line)
    : std::runtime_error(line > 0 ? "line " + std::to_string(line) + ": " + problem : problem),
      problem_(problem),
      line_(line) {}

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

bool Contains(const std::string& s, char c) { return s.find(c) != std::string::npos; }

TFileError AsFileError(const std::string& path, const TImportError& e) { return TFileError(path, e.what()); }

int16_t ReadInt16(const unsigned char* p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

float ReadFloat(const unsigned char* p) {
    uint32_t bits = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                    (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// The remote electrode and the start values shared by both imports.
void StartImport(TSequence& seq) {
    seq.ArrayType = static_cast<int32_t>(TArrayType::NoGeometry);
    TElectrode& remote = seq.Electrodes[0];
    remote.Type = static_cast<int16_t>(TElectrodeType::Remote);
    remote.X = RemoteCoordinate;
    remote.Y = RemoteCoordinate;
    remote.Z = 0;
    seq.FirstElectrode = MaxElectrodes;
    seq.NbElectrode = 0;
    seq.LastElectrode = 0;
}

// Tracks the lowest, second-lowest and highest electrode numbers while electrodes are placed.
class TElectrodeRange {
   public:
    void Add(TSequence& seq, int n) {
        if (n < seq.FirstElectrode) {
            second_ = seq.FirstElectrode;
            seq.FirstElectrode = n;
        } else if (n > seq.FirstElectrode && n < second_) {
            second_ = n;
        }
        if (n > seq.LastElectrode) seq.LastElectrode = n;
    }

    // Unit spacing from the two lowest electrodes; 1 when they are closer than 0.001, out of order, or
    // when there is no second electrode.
    void Finish(TSequence& seq) const {
        float a = 1.0f;
        if (second_ < MaxElectrodes) {
            float d = seq.Electrodes[second_].X - seq.Electrodes[seq.FirstElectrode].X;
            if (d >= 0.001f) a = d;
        }
        seq.Spacing[0] = a;
        // With no electrode at all the first electrode would read 2000, beyond the table; 0 keeps the
        // record within its limits so that it saves and opens again.
        if (seq.FirstElectrode >= MaxElectrodes) seq.FirstElectrode = 0;
    }

   private:
    int second_ = MaxElectrodes;
};

void PlaceElectrode(TSequence& seq, TElectrodeRange& range, int n, float x, float y, float z) {
    TElectrode& e = seq.Electrodes[n];
    // An electrode given again takes the later position and is still one electrode.
    if (e.Type == static_cast<int16_t>(TElectrodeType::None)) ++seq.NbElectrode;
    e.Type = static_cast<int16_t>(TElectrodeType::Inactive);
    e.Number = static_cast<int16_t>(n);
    e.X = x;
    e.Y = y;
    e.Z = z;
    range.Add(seq, n);
}

void MakeCableSet(TSequence& seq, const std::string& name) {
    TSegment& s = seq.Segments[0];
    s.Name.Set(name);
    s.FirstNode = static_cast<int16_t>(seq.FirstElectrode);
    s.LastNode = static_cast<int16_t>(seq.LastElectrode);
    s.NodeSpacing = seq.Spacing[0];
}

// Appends a quadripole whose electrode numbers are already checked.
void AddQuadripole(TSequence& seq, const int electrodes[4]) {
    TQuadripole& q = seq.Quadripoles[seq.NbQuadripole];
    q.A = static_cast<int16_t>(electrodes[0]);
    q.B = static_cast<int16_t>(electrodes[1]);
    q.M = static_cast<int16_t>(electrodes[2]);
    q.N = static_cast<int16_t>(electrodes[3]);
    for (int i = 0; i < 4; ++i)
        if (electrodes[i] > 0)
            seq.Electrodes[electrodes[i]].Type = static_cast<int16_t>(TElectrodeType::Active);
    DeriveSpacingAndLevel(seq, seq.NbQuadripole);
    seq.Spacing[q.SpacingIndex] = static_cast<float>(q.SpacingIndex + 1) * seq.Spacing[0];
    ++seq.NbQuadripole;
}

bool ValidQuadripoleField(const std::string& f) {
    if (Contains(f, 'I') || Contains(f, 'R')) return true;
    auto v = ParseInteger(f);
    return v && *v < 9999999;
}

std::string Electrode(long long n) { return "electrode number " + std::to_string(n); }

}  // namespace

void BuildImportedSequence(TSequence& seq, const std::string& name,
                           const std::vector<TImportedElectrode>& electrodes,
                           const std::vector<std::array<int, 4>>& quadripoles) {
    seq.Reset();
    seq.Name.Set(name);
    StartImport(seq);
    TElectrodeRange range;
    for (const TImportedElectrode& e : electrodes) PlaceElectrode(seq, range, e.Number, e.X, e.Y, e.Z);
    range.Finish(seq);
    seq.CableName.Set(name);
    MakeCableSet(seq, name);
    seq.NbQuadripole = 0;
    for (const auto& q : quadripoles) AddQuadripole(seq, q.data());
}

std::vector<std::string> SplitFields(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t i = 0;
    const std::size_t n = line.size();
    auto skipBlanks = [&] {
        while (i < n && IsBlank(line[i])) ++i;
    };
    skipBlanks();
    while (i < n) {
        std::string field;
        if (line[i] == '"') {
            ++i;
            while (i < n) {
                if (line[i] == '"') {
                    if (i + 1 < n && line[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i++];
            }
        } else {
            std::size_t start = i;
            while (i < n && !IsBlank(line[i]) && line[i] != ',') ++i;
            field.assign(line.substr(start, i - start));
        }
        fields.push_back(std::move(field));
        skipBlanks();
        if (i < n && line[i] == ',') {
            ++i;
            skipBlanks();
        }
    }
    return fields;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

TTextSections FindTextSections(const std::vector<std::string>& lines) {
    TTextSections out;
    std::size_t i = 0;
    while (i < lines.size()) {
        const std::string& l = lines[i];
        if (Contains(l, '#') && Contains(l, 'A') && Contains(l, 'B') && Contains(l, 'M') && Contains(l, 'N'))
            break;
        ++i;
    }
    if (i == lines.size()) throw TImportError(QuadripoleFileError);
    for (++i; i < lines.size() && out.Quadripoles.size() < MaxQuadripoles; ++i) {
        auto f = SplitFields(lines[i]);
        if (f.size() < 5) break;
        bool valid = true;
        for (int k = 0; k < 5 && valid; ++k) valid = ValidQuadripoleField(f[static_cast<std::size_t>(k)]);
        if (!valid) break;
        out.Quadripoles.push_back({static_cast<int>(i) + 1, lines[i]});
    }

    i = 0;
    while (i < lines.size()) {
        const std::string& l = lines[i];
        if (Contains(l, 'X') && Contains(l, 'Y') && Contains(l, 'Z')) break;
        ++i;
    }
    if (i == lines.size()) return out;
    if (!Contains(lines[i], '#')) throw TImportError(CoordinateFileError, static_cast<int>(i) + 1);
    for (++i; i < lines.size(); ++i) {
        auto f = SplitFields(lines[i]);
        if (f.size() != 4) break;
        auto number = ParseInteger(f[0]);
        if (!number || *number >= MaxElectrodes) break;
        out.Coordinates.push_back({static_cast<int>(i) + 1, lines[i]});
    }
    return out;
}

void ImportTextSequence(TSequence& seq, const std::vector<TTextLine>& quadripoleLines,
                        const std::vector<TTextLine>& coordinateLines, char decimal) {
    StartImport(seq);
    TElectrodeRange range;
    for (const TTextLine& line : coordinateLines) {
        auto f = SplitFields(line.Text);
        auto number = f.size() == 4 ? ParseInteger(f[0]) : std::nullopt;
        if (!number) throw TImportError("not a coordinate line", line.Number);
        if (*number < 1 || *number > MaxElectrodeNumber)
            throw TImportError(Electrode(*number) + " is outside 1 to 1999", line.Number);
        float xyz[3];
        for (int k = 0; k < 3; ++k) {
            const std::string& text = f[static_cast<std::size_t>(k) + 1];
            auto v = ParseDecimal(text, decimal);
            if (!v) throw TImportError("\"" + text + "\" is not a valid number", line.Number);
            xyz[k] = *v;
        }
        PlaceElectrode(seq, range, static_cast<int>(*number), xyz[0], xyz[1], xyz[2]);
    }
    range.Finish(seq);
    std::string name = seq.Name.Get();
    seq.CableName.Set(name);
    MakeCableSet(seq, name);

    seq.NbQuadripole = 0;
    for (const TTextLine& line : quadripoleLines) {
        if (seq.NbQuadripole >= MaxQuadripoles) break;
        auto f = SplitFields(line.Text);
        if (f.size() < 5) throw TImportError("not a quadripole line", line.Number);
        int electrodes[4];
        for (int k = 0; k < 4; ++k) {
            long long v = ParseInteger(f[static_cast<std::size_t>(k) + 1]).value_or(0);
            if (v < 0 || v > MaxElectrodeNumber)
                throw TImportError(Electrode(v) + " is outside 0 to 1999", line.Number);
            electrodes[k] = static_cast<int>(v);
        }
        AddQuadripole(seq, electrodes);
    }
}

std::string DecodeTextFile(std::string_view bytes) {
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    using namespace std::string_view_literals;
    if (starts("\xFF\xFE\0\0"sv) || starts("\0\0\xFE\xFF"sv))
        throw TImportError("UTF-32 text is not read: save the file as UTF-8 or UTF-16");
    if (starts("\xEF\xBB\xBF"sv)) return std::string(bytes.substr(3));
    const bool little = starts("\xFF\xFE"sv), big = starts("\xFE\xFF"sv);
    if (!little && !big) {
        // Without its mark UTF-16 is told by its NUL bytes: every other byte of plain text in it is 0,
        // which read byte by byte is a blank between every two characters.
        const std::size_t pairs = std::min<std::size_t>(bytes.size(), 256) / 2;
        std::size_t lowFirst = 0, highFirst = 0;
        for (std::size_t i = 0; i < pairs; ++i) {
            lowFirst += at(2 * i) != 0 && at(2 * i + 1) == 0;
            highFirst += at(2 * i) == 0 && at(2 * i + 1) != 0;
        }
        if (pairs >= 4 && (lowFirst == pairs || highFirst == pairs))
            throw TImportError(
                "UTF-16 text without a byte-order mark is not read: save the file as UTF-8, or as "
                "UTF-16 with its byte-order mark");
        return std::string(bytes);
    }
    if (bytes.size() % 2 != 0) throw TImportError("UTF-16 text that ends in half a character");
    auto unit = [&](std::size_t i) -> unsigned {
        return little ? at(i) | (at(i + 1) << 8) : (at(i) << 8) | at(i + 1);
    };
    std::string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 2; i < bytes.size(); i += 2) {
        unsigned c = unit(i);
        if (c >= 0xDC00 && c <= 0xDFFF) throw TImportError("not valid UTF-16 at byte " + std::to_string(i));
        if (c >= 0xD800 && c <= 0xDBFF) {
            const unsigned low = i + 3 < bytes.size() ? unit(i + 2) : 0;
            if (low < 0xDC00 || low > 0xDFFF)
                throw TImportError("not valid UTF-16 at byte " + std::to_string(i));
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

void ImportTextBytes(std::string_view text, const std::string& name, char decimal, TSequence& seq) {
    seq.Reset();
    try {
        TTextSections sections = FindTextSections(SplitLines(DecodeTextFile(text)));
        seq.Name.Set(name);
        ImportTextSequence(seq, sections.Quadripoles, sections.Coordinates, decimal);
    } catch (...) {
        seq.Reset();
        throw;
    }
}

std::string TextSequenceName(const std::string& path) {
    std::string base = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    std::size_t dot = base.rfind('.');
    if (dot != std::string::npos) base.erase(dot);
    std::size_t b = 0, e = base.size();
    while (b < e && IsBlank(base[b])) ++b;
    while (e > b && IsBlank(base[e - 1])) --e;
    return base.substr(b, e - b);
}

void ImportTextFile(const std::string& path, char decimal, TSequence& seq) {
    std::vector<unsigned char> bytes;
    try {
        bytes = ReadWholeFile(path, MaxTextImportSize, "a text sequence file");
    } catch (const TFileTooLarge&) {
        throw;
    } catch (const TNotRegularFile&) {
        throw;
    } catch (const TFileError&) {
        // An unreadable text file reads as one without a quadripole section.
        throw TFileError(path, QuadripoleFileError);
    }
    try {
        ImportTextBytes(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                        TextSequenceName(path), decimal, seq);
    } catch (const TImportError& e) {
        throw AsFileError(path, e);
    }
}

bool IsV1Header(const unsigned char* data, std::size_t size) {
    static const char magic[] = "_DOC_Teravox";
    return size >= sizeof magic - 1 && std::memcmp(data, magic, sizeof magic - 1) == 0;
}

void ImportV1Bytes(const unsigned char* data, std::size_t size, TSequence& seq) {
    seq.Reset();
    if (size < V1HeaderSize)
        throw TImportError("not a Teravox V1 sequence file: shorter than its 179-byte header");
    if (!IsV1Header(data, size))
        throw TImportError("not a Teravox V1 sequence file: the header does not begin with _DOC_Teravox");
    const int e = ReadInt16(data + V1ElectrodeCountOffset);
    const int q = ReadInt16(data + V1QuadripoleCountOffset);
    if (e < 0 || q < 0)
        throw TImportError("V1 header gives " + std::to_string(e) + " electrodes and " + std::to_string(q) +
                           " quadripoles");
    const std::size_t need = V1HeaderSize + static_cast<std::size_t>(e) * V1ElectrodeRecordSize +
                             static_cast<std::size_t>(q) * V1QuadripoleRecordSize;
    if (need > size)
        throw TImportError("V1 header gives " + std::to_string(e) + " electrodes and " + std::to_string(q) +
                           " quadripoles, which run past the end of the file (" + std::to_string(need) +
                           " bytes needed, " + std::to_string(size) + " present)");
    if (e > MaxElectrodeNumber)
        throw TImportError("V1 file holds " + std::to_string(e) + " electrodes, more than 1999");
    if (q > MaxQuadripoles)
        throw TImportError("V1 file holds " + std::to_string(q) + " quadripoles, more than 16000");

    std::string name;
    for (std::size_t i = 0; i < V1NameKept && data[V1NameOffset + i] != 0; ++i)
        name += static_cast<char>(data[V1NameOffset + i]);
    StartImport(seq);
    seq.Name.Set(name);
    seq.CableName.Set(name);

    try {
        TElectrodeRange range;
        const unsigned char* p = data + V1HeaderSize;
        for (int i = 0; i < e; ++i, p += V1ElectrodeRecordSize) {
            int n = ReadInt16(p) + 1;
            if (n < 1 || n > MaxElectrodeNumber)
                throw TImportError("V1 electrode record " + std::to_string(i + 1) + " gives " + Electrode(n) +
                                   ", outside 1 to 1999");
            const float x = ReadFloat(p + 2), y = ReadFloat(p + 6), z = ReadFloat(p + 10);
            if (auto bad = NonFiniteCoordinate(x, y, z))
                throw TImportError("V1 electrode record " + std::to_string(i + 1) + " (" + Electrode(n) +
                                   ") has " + *bad + ", not a finite coordinate");
            PlaceElectrode(seq, range, n, x, y, z);
        }
        range.Finish(seq);
        MakeCableSet(seq, name);
        seq.NbQuadripole = 0;
        for (int i = 0; i < q; ++i, p += V1QuadripoleRecordSize) {
            int electrodes[4];
            for (int k = 0; k < 4; ++k) {
                electrodes[k] = ReadInt16(p + 2 * std::ptrdiff_t{k});
                if (electrodes[k] < 0 || electrodes[k] > MaxElectrodeNumber)
                    throw TImportError("V1 quadripole record " + std::to_string(i + 1) + " uses " +
                                       Electrode(electrodes[k]) + ", outside 0 to 1999");
            }
            AddQuadripole(seq, electrodes);
        }
    } catch (...) {
        seq.Reset();
        throw;
    }
}

void ImportV1Sequence(TSequence& seq, const std::string& path) {
    auto bytes = ReadWholeFile(path, MaxV1FileSize, "a V1 sequence file");
    try {
        ImportV1Bytes(bytes.data(), bytes.size(), seq);
    } catch (const TImportError& e) {
        throw AsFileError(path, e);
    }
}

void DeriveSpacingAndLevel(TSequence& seq, int qi) {
    TQuadripole& q = seq.Quadripoles[qi];
    auto x = [&](int16_t n) { return seq.Electrodes[n].X; };
    const float a = seq.Spacing[0];
    const float mn = std::fabs(x(q.M) - x(q.N));
    const float ma = std::fabs(x(q.M) - x(q.A));
    const float na = std::fabs(x(q.N) - x(q.A));
    const float mb = std::fabs(x(q.M) - x(q.B));
    const float nb = std::fabs(x(q.N) - x(q.B));
    auto nearer = [](float m, float n) {
        if (m < 0.001f) return n;
        if (n < 0.001f) return m;
        return m < n ? m : n;
    };
    const float da = nearer(ma, na);
    const float db = nearer(mb, nb);
    const float d = da < db ? da : db;
    // A potential dipole that reaches the remote electrode, at 999,999, counts as one unit long. The
    // length and the distance are whole multiples of a, read as such (WholeMultiple): 3 x 0.11 apart
    // is index 2, never 1. Coordinates read from a file may be huge, infinite or NaN.
    const int t = mn < 900000.0f ? std::abs(WholeMultiple(mn - a, a)) : 0;
    q.SpacingIndex = static_cast<int8_t>(t >= 2 ? 2 : t);
    const float level = d / a;
    q.Level = static_cast<int8_t>(level >= 32.0f ? 32 : std::max(WholeMultiple(d, a), 1));
}

TImportKind ImportKindOf(const std::string& path) {
    const std::string ext = LowerExtension(path);
    if (ext == ".sqx") return TImportKind::Sqx;
    if (ext == ".seq") return TImportKind::V1;
    if (ext == ".txt") return TImportKind::Text;
    if (ext == ".ohm" || ext == ".shm" || ext == ".dat") return TImportKind::Inversion;
    return TImportKind::None;
}

void ImportSequenceFile(const std::string& path, TImportKind kind, char decimal, TSequence& seq,
                        float spacing) {
    switch (kind) {
        case TImportKind::Sqx:
            ReadSequenceFile(path, seq);
            break;
        case TImportKind::V1:
            ImportV1Sequence(seq, path);
            break;
        case TImportKind::Text:
            ImportTextFile(path, decimal, seq);
            break;
        case TImportKind::Inversion:
            ImportInversionFile(path, std::nullopt, spacing, seq);
            break;
        case TImportKind::None:
            throw std::invalid_argument(path + ": not a sequence file to import (.txt, .seq or .sqx)");
    }
}
