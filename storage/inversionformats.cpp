#include "storage/inversionformats.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "model/datafolder.h"
#include "model/fileio.h"
#include "storage/import.h"
#include "storage/numberformat.h"

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::vector<std::string_view> Tokens(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        const std::size_t start = i;
        while (i < line.size() && !IsBlank(line[i])) ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string Quoted(std::string_view s) {
    // A token from a hostile file: short enough to read, and without control characters (Tokens
    // never gives blanks).
    std::string t(s.substr(0, 40));
    if (s.size() > 40) t += "...";
    return "\"" + t + "\"";
}

// Electrodes of the record that the files list: those with a position, in number order.
std::vector<int> ListedElectrodes(const TSequence& seq) {
    std::vector<int> listed;
    for (int n = 1; n <= MaxElectrodeNumber; ++n) {
        const int16_t t = seq.Electrodes[n].Type;
        if (t == static_cast<int16_t>(TElectrodeType::Active) ||
            t == static_cast<int16_t>(TElectrodeType::Inactive))
            listed.push_back(n);
    }
    return listed;
}

// The record's electrode numbers as the files number them (1 to n; 0 stays the remote electrode).
std::vector<int> FileNumbers(const TSequence& seq, const std::vector<int>& listed) {
    std::vector<int> index(MaxElectrodes, -1);
    index[0] = 0;
    for (std::size_t k = 0; k < listed.size(); ++k)
        index[static_cast<std::size_t>(listed[k])] = static_cast<int>(k) + 1;
    const int count = std::clamp(seq.NbQuadripole, 0, MaxQuadripoles);
    for (int i = 0; i < count; ++i) {
        const TQuadripole& q = seq.Quadripoles[i];
        for (int e : {q.A, q.B, q.M, q.N})
            if (e < 0 || e >= MaxElectrodes || index[static_cast<std::size_t>(e)] < 0)
                throw std::invalid_argument("quadripole " + std::to_string(i + 1) + " uses electrode " +
                                            std::to_string(e) + ", which has no position");
    }
    return index;
}

void AppendNumber(std::string& out, float v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void AppendQuadripoles(std::string& out, const TSequence& seq, const std::vector<int>& index,
                       bool withIndex) {
    const int count = std::clamp(seq.NbQuadripole, 0, MaxQuadripoles);
    for (int i = 0; i < count; ++i) {
        const TQuadripole& q = seq.Quadripoles[i];
        if (withIndex) out += std::to_string(i + 1) + ' ';
        out += std::to_string(index[static_cast<std::size_t>(q.A)]) + ' ' +
               std::to_string(index[static_cast<std::size_t>(q.B)]) + ' ' +
               std::to_string(index[static_cast<std::size_t>(q.M)]) + ' ' +
               std::to_string(index[static_cast<std::size_t>(q.N)]) + '\n';
    }
}

// The lines of a file with their numbers, comments cut off (unified) and blank lines left out.
struct TLine {
    int Number;
    std::vector<std::string_view> Tokens;
    std::vector<std::string_view> CommentTokens;  // the words after "#", for column names
};

std::vector<TLine> SignificantLines(const std::vector<std::string>& lines, bool comments) {
    std::vector<TLine> out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view text = lines[i];
        TLine l{static_cast<int>(i) + 1, {}, {}};
        if (comments) {
            const std::size_t hash = text.find('#');
            if (hash != std::string_view::npos) {
                l.CommentTokens = Tokens(text.substr(hash + 1));
                text = text.substr(0, hash);
            }
        }
        l.Tokens = Tokens(text);
        if (!l.Tokens.empty() || !l.CommentTokens.empty()) out.push_back(std::move(l));
    }
    return out;
}

int LastLineNumber(const std::vector<std::string>& lines) {
    return std::max(1, static_cast<int>(lines.size()));
}

long long Count(const TLine& l, const char* what, long long most) {
    const auto v = ParseInteger(l.Tokens.front());
    if (!v) throw TImportError(Quoted(l.Tokens.front()) + " is not the " + what + " count", l.Number);
    if (*v < 0)
        throw TImportError("the " + std::string(what) + " count " + std::to_string(*v) + " is negative",
                           l.Number);
    if (*v > most)
        throw TImportError("the " + std::string(what) + " count " + std::to_string(*v) +
                               " is more than the " + std::to_string(most) + " a sequence holds",
                           l.Number);
    return *v;
}

int ElectrodeField(const TLine& l, std::size_t column, const char* name, long long electrodes) {
    if (column >= l.Tokens.size())
        throw TImportError("no " + std::string(name) + " column (" + std::to_string(column + 1) +
                               " fields needed, " + std::to_string(l.Tokens.size()) + " given)",
                           l.Number);
    const auto v = ParseInteger(l.Tokens[column]);
    if (!v)
        throw TImportError(std::string(name) + " " + Quoted(l.Tokens[column]) + " is not an electrode number",
                           l.Number);
    if (*v < 0 || *v > electrodes)
        throw TImportError(std::string(name) + " is electrode " + std::to_string(*v) + ", outside 0 to " +
                               std::to_string(electrodes),
                           l.Number);
    return static_cast<int>(*v);
}

// Column names of the data block: the pyGIMLi names and the current/potential aliases.
int DataColumnOf(const std::string& name) {
    static const std::pair<const char*, int> names[] = {{"a", 0},  {"b", 1},  {"m", 2},  {"n", 3},
                                                        {"c1", 0}, {"c2", 1}, {"p1", 2}, {"p2", 3}};
    for (const auto& [n, k] : names)
        if (name == n) return k;
    return -1;
}

// A column name may carry a unit after "/" ("rhoa/Ohmm"); only the name counts.
std::string ColumnName(std::string_view token) { return Lower(token.substr(0, token.find('/'))); }

constexpr std::size_t Missing = static_cast<std::size_t>(-1);

// A coordinate as those programs write it, always with a point. Read as the writer's shortest form is
// written (to_chars), so that every float written reads back as itself, FLT_MAX included.
std::optional<float> ParseCoordinate(std::string_view token) {
    if (!token.empty() && token.front() == '+') token.remove_prefix(1);
    if (token.empty() || token.front() == '+') return std::nullopt;
    float v = 0;
    const auto r = std::from_chars(token.data(), token.data() + token.size(), v);
    if (r.ec != std::errc() || r.ptr != token.data() + token.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

}  // namespace

std::optional<TInversionFormat> InversionFormatOfName(const std::string& path) {
    const std::string ext = LowerExtension(path);
    if (ext == ".ohm" || ext == ".shm") return TInversionFormat::Unified;
    const std::string lower = Lower(path);
    const std::string protocol = "protocol.dat";
    if (lower.size() >= protocol.size() &&
        lower.compare(lower.size() - protocol.size(), protocol.size(), protocol) == 0)
        return TInversionFormat::Protocol;
    return std::nullopt;
}

TInversionFormat SniffInversionFormat(std::string_view text) {
    text = text.substr(0, SniffedBytes);
    if (text.find('#') != std::string_view::npos) return TInversionFormat::Unified;
    int seen = 0;
    std::size_t start = 0;
    while (start < text.size() && seen < 2) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        const auto t = Tokens(text.substr(start, end - start));
        if (!t.empty() && ++seen == 2) {
            bool whole = t.size() >= 5;
            for (std::size_t k = 0; k < 5 && whole; ++k) whole = ParseInteger(t[k]).has_value();
            return whole ? TInversionFormat::Protocol : TInversionFormat::Unified;
        }
        start = end + 1;
    }
    return TInversionFormat::Unified;
}

std::optional<TInversionFormat> InversionFormatOfFile(const std::string& path) {
    if (auto format = InversionFormatOfName(path)) return format;
    if (LowerExtension(path) != ".dat") return std::nullopt;
    const std::vector<unsigned char> start = ReadFilePrefix(path, SniffedBytes);
    return SniffInversionFormat(std::string_view(reinterpret_cast<const char*>(start.data()), start.size()));
}

std::string UnifiedText(const TSequence& seq) {
    const std::vector<int> listed = ListedElectrodes(seq);
    const std::vector<int> index = FileNumbers(seq, listed);
    std::string out = std::to_string(listed.size()) + "\n# x y z\n";
    for (int n : listed) {
        const TElectrode& e = seq.Electrodes[n];
        AppendNumber(out, e.X);
        out += ' ';
        AppendNumber(out, e.Y);
        out += ' ';
        AppendNumber(out, e.Z);
        out += '\n';
    }
    out += std::to_string(std::clamp(seq.NbQuadripole, 0, MaxQuadripoles)) + "\n# a b m n\n";
    AppendQuadripoles(out, seq, index, false);
    return out;
}

std::string ProtocolText(const TSequence& seq) {
    const std::vector<int> index = FileNumbers(seq, ListedElectrodes(seq));
    std::string out = std::to_string(std::clamp(seq.NbQuadripole, 0, MaxQuadripoles)) + "\n";
    AppendQuadripoles(out, seq, index, true);
    return out;
}

void ImportUnifiedBytes(std::string_view text, const std::string& name, TSequence& seq) {
    const std::vector<std::string> lines = SplitLines(text);
    const std::vector<TLine> all = SignificantLines(lines, true);
    std::size_t at = 0;
    std::vector<std::string_view> columns;  // the names of the last comment seen
    // The next line holding data, remembering the column names of the comments on the way.
    auto next = [&](const char* what) -> const TLine& {
        while (at < all.size() && all[at].Tokens.empty()) columns = all[at++].CommentTokens;
        if (at == all.size())
            throw TImportError("the file ends before " + std::string(what), LastLineNumber(lines));
        return all[at++];
    };

    const long long electrodes = Count(next("the electrode count"), "electrode", MaxElectrodeNumber);
    columns.clear();
    std::vector<TImportedElectrode> placed;
    std::array<std::size_t, 3> xyz{Missing, Missing, Missing};
    for (long long k = 0; k < electrodes; ++k) {
        const TLine& l = next("its electrodes' positions");
        if (k == 0) {
            // Columns named in the comment before the first position; else by their count.
            for (std::size_t c = 0; c < columns.size(); ++c) {
                const std::string n = ColumnName(columns[c]);
                if (n == "x") xyz[0] = c;
                if (n == "y") xyz[1] = c;
                if (n == "z") xyz[2] = c;
            }
            if (xyz[0] == Missing && xyz[1] == Missing && xyz[2] == Missing) {
                if (l.Tokens.size() == 2)
                    xyz = {0, Missing, 1};
                else
                    xyz = {0, l.Tokens.size() >= 2 ? 1 : Missing, l.Tokens.size() >= 3 ? 2 : Missing};
            }
        }
        float v[3] = {0, 0, 0};
        for (int c = 0; c < 3; ++c) {
            const std::size_t column = xyz[static_cast<std::size_t>(c)];
            if (column == Missing) continue;
            if (column >= l.Tokens.size())
                throw TImportError("electrode " + std::to_string(k + 1) + " has no " + "xyz"[c] + " (" +
                                       std::to_string(column + 1) + " fields needed, " +
                                       std::to_string(l.Tokens.size()) + " given)",
                                   l.Number);
            const auto parsed = ParseCoordinate(l.Tokens[column]);
            if (!parsed || !std::isfinite(*parsed))
                throw TImportError("electrode " + std::to_string(k + 1) + ": " + Quoted(l.Tokens[column]) +
                                       " is not a finite number",
                                   l.Number);
            v[c] = *parsed;
        }
        placed.push_back({static_cast<int>(k) + 1, v[0], v[1], v[2]});
    }

    const long long data = Count(next("the data count"), "data", MaxQuadripoles);
    columns.clear();
    std::array<std::size_t, 4> abmn{0, 1, 2, 3};
    std::vector<std::array<int, 4>> quadripoles;
    for (long long k = 0; k < data; ++k) {
        const TLine& l = next("its data");
        if (k == 0 && !columns.empty()) {
            std::array<std::size_t, 4> named{Missing, Missing, Missing, Missing};
            for (std::size_t c = 0; c < columns.size(); ++c) {
                const int which = DataColumnOf(ColumnName(columns[c]));
                if (which >= 0 && named[static_cast<std::size_t>(which)] == Missing)
                    named[static_cast<std::size_t>(which)] = c;
            }
            // A comment that names a and m is the header; b or n left out are the remote electrode
            // (pole arrays).
            if (named[0] != Missing && named[2] != Missing) abmn = named;
        }
        std::array<int, 4> q{0, 0, 0, 0};
        static const char* const names[] = {"a", "b", "m", "n"};
        for (std::size_t c = 0; c < 4; ++c)
            if (abmn[c] != Missing) q[c] = ElectrodeField(l, abmn[c], names[c], electrodes);
        quadripoles.push_back(q);
    }
    BuildImportedSequence(seq, name, placed, quadripoles);
}

void ImportProtocolBytes(std::string_view text, const std::string& name, float spacing, TSequence& seq) {
    if (!std::isfinite(spacing) || !(spacing > 0.0f))
        throw std::invalid_argument("the electrode spacing must be a finite number above 0");
    const std::vector<std::string> lines = SplitLines(text);
    const std::vector<TLine> all = SignificantLines(lines, false);
    if (all.empty()) throw TImportError("the file ends before the measurement count", LastLineNumber(lines));
    const long long count = Count(all[0], "measurement", MaxQuadripoles);
    if (static_cast<long long>(all.size()) - 1 < count)
        throw TImportError("the file ends after " + std::to_string(all.size() - 1) + " of its " +
                               std::to_string(count) + " measurements",
                           LastLineNumber(lines));
    std::vector<std::array<int, 4>> quadripoles;
    int highest = 0;
    for (long long k = 1; k <= count; ++k) {
        const TLine& l = all[static_cast<std::size_t>(k)];
        if (!ParseInteger(l.Tokens[0]))
            throw TImportError(Quoted(l.Tokens[0]) + " is not a measurement number", l.Number);
        // The 3D protocols of R3t and ResIPy give a string number before each electrode: nine whole
        // numbers, which read as index a b m n would be other quadripoles without a word.
        if (k == 1 && l.Tokens.size() >= 9 &&
            std::all_of(l.Tokens.begin() + 5, l.Tokens.begin() + 9,
                        [](std::string_view t) { return ParseInteger(t).has_value(); }))
            throw TImportError(
                "a 3D protocol (a string number before each electrode) is not read: only the 2D "
                "protocol of R2, index a b m n",
                l.Number);
        std::array<int, 4> q{};
        static const char* const names[] = {"a", "b", "m", "n"};
        for (std::size_t c = 0; c < 4; ++c) {
            q[c] = ElectrodeField(l, c + 1, names[c], MaxElectrodeNumber);
            highest = std::max(highest, q[c]);
        }
        quadripoles.push_back(q);
    }
    // Electrode i at (i - 1) x A; the last one must stay clear of the remote electrode's coordinate.
    if (static_cast<double>(highest - 1) * spacing >= RemoteCoordinate)
        throw std::invalid_argument("electrode " + std::to_string(highest) +
                                    " would lie beyond the line's reach");
    std::vector<TImportedElectrode> placed;
    for (int i = 1; i <= highest; ++i) placed.push_back({i, static_cast<float>(i - 1) * spacing, 0.0f, 0.0f});
    BuildImportedSequence(seq, name, placed, quadripoles);
}

void ImportInversionFile(const std::string& path, std::optional<TInversionFormat> format, float spacing,
                         TSequence& seq) {
    const std::vector<unsigned char> bytes =
        ReadWholeFile(path, MaxInversionFileSize, "an inversion data file");
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!format) format = InversionFormatOfName(path);
    if (!format) format = SniffInversionFormat(text);
    try {
        if (*format == TInversionFormat::Unified)
            ImportUnifiedBytes(text, TextSequenceName(path), seq);
        else
            ImportProtocolBytes(text, TextSequenceName(path), spacing, seq);
    } catch (const TImportError& e) {
        seq.Reset();
        throw TFileError(path, e.what());
    } catch (const std::invalid_argument& e) {
        seq.Reset();
        throw TFileError(path, e.what());
    }
}

namespace {

std::string WriteExport(const TSequence& seq, const std::string& path,
                        std::string (*text)(const TSequence&)) {
    std::string bytes;
    try {
        bytes = text(seq);
    } catch (const std::invalid_argument& e) {
        throw TFileError(path, std::string("not written: ") + e.what());
    }
    WriteFileAtomic(path, bytes.data(), bytes.size());
    return path;
}

}  // namespace

std::string ExportUnified(const TSequence& seq, const std::string& folder, const std::string& stem) {
    return WriteExport(seq, JoinPath(folder, stem + ".ohm"), UnifiedText);
}

std::string ExportProtocol(const TSequence& seq, const std::string& folder, const std::string& stem) {
    return WriteExport(seq, JoinPath(folder, stem + "_protocol.dat"), ProtocolText);
}
