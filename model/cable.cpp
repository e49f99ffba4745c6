#include "model/cable.h"

#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "model/datafolder.h"
#include "model/fileio.h"

TSegment MakeSegment(std::string_view name, int first, int last, float spacing, bool reversible) {
    TSegment s;
    s.MakeEmpty();
    s.Name.Set(name);
    s.FirstNode = static_cast<int16_t>(first);
    s.LastNode = static_cast<int16_t>(last);
    s.NodeSpacing = spacing;
    s.Reversible = reversible ? 1 : 0;
    return s;
}

int SegmentCount(const TCable& c) {
    int n = 0;
    for (const TSegment& s : c.Segments)
        if (!s.Empty()) ++n;
    return n;
}

int FirstNodeOfSet(const TCable& c) {
    if (c.Segments[0].Empty()) return 65000;
    int lo = 65000;
    for (const TSegment& s : c.Segments) {
        if (s.Empty()) break;
        lo = std::min<int>(lo, s.FirstNode);
    }
    return lo;
}

int LastNodeOfSet(const TCable& c) {
    int hi = 0;
    for (const TSegment& s : c.Segments) {
        if (s.Empty()) break;
        hi = std::max<int>(hi, s.LastNode);
    }
    return hi;
}

int SegmentIndexOfNode(const TCable& c, int k) {
    for (int i = 0; i < MaxSegments; ++i)
        if (c.Segments[i].FirstNode <= k && k <= c.Segments[i].LastNode) return i;
    return -1;
}

const TSegment* SegmentOfNode(const TCable& c, int k) {
    int i = SegmentIndexOfNode(c, k);
    return i < 0 ? nullptr : &c.Segments[i];
}

std::optional<std::string> SegmentProblem(const TSegment& s) {
    if (s.Empty()) return std::nullopt;
    auto name = [&s] { return "segment \"" + s.Name.Get() + "\""; };
    if (s.FirstNode < 1 || s.LastNode < s.FirstNode)
        return name() + " has nodes " + std::to_string(s.FirstNode) + " to " + std::to_string(s.LastNode) +
               ", not a rising range from 1";
    if (s.LastNode > MaxElectrodeNumber)
        return name() + " has nodes up to " + std::to_string(s.LastNode) +
               ", above the highest electrode number 1999";
    if (!(s.NodeSpacing > 0.0f))
        return name() + " has a node spacing of " + std::to_string(s.NodeSpacing) + ", not above 0";
    if (!std::isfinite(s.NodeSpacing)) return name() + " has a node spacing that is not a finite number";
    return std::nullopt;
}

namespace {

std::string OverlapText(const TSegment& seg, const TSegment& e) {
    return "\"" + seg.Name.Get() + "\" (" + std::to_string(seg.FirstNode) + "-" +
           std::to_string(seg.LastNode) + ") overlaps segment \"" + e.Name.Get() + "\" (" +
           std::to_string(e.FirstNode) + "-" + std::to_string(e.LastNode) + ")";
}

// The overlap rule of IncludeSegment, for an entry against the used entries before it: the first
// earlier entry it clashes with, or -1. A reversible entry may repeat exactly the nodes of an earlier
// one, and then, as when it was included, nothing further is looked at.
int OverlapIndex(const TCable& c, int index) {
    const TSegment& seg = c.Segments[index];
    for (int i = 0; i < index; ++i) {
        const TSegment& e = c.Segments[i];
        if (e.Empty()) continue;
        if (e.FirstNode == seg.FirstNode && e.LastNode == seg.LastNode && seg.Reversible != 0) return -1;
        if (e.FirstNode <= seg.LastNode && e.LastNode >= seg.FirstNode) return i;
    }
    return -1;
}

}  // namespace

std::optional<std::string> CableSetProblem(const TCable& c) {
    for (const TSegment& s : c.Segments) {
        if (s.Empty()) continue;
        if (auto p = SegmentProblem(s)) return p;
    }
    // A file is written by any program: a set that IncludeSegment would never have built lays the same
    // electrode twice along the line.
    for (int i = 0; i < MaxSegments; ++i) {
        if (c.Segments[i].Empty()) continue;
        const int clash = OverlapIndex(c, i);
        if (clash >= 0) return "segment " + OverlapText(c.Segments[i], c.Segments[clash]);
    }
    return std::nullopt;
}

std::optional<std::string> CableNameProblem(std::string_view name) {
    if (name.find_first_not_of(" \t") == std::string_view::npos) return "a name is needed";
    if (name.find("NoName") != std::string_view::npos)
        return "\"NoName\" marks an empty entry and cannot be part of a name";
    return TextLengthProblem(name);
}

TIncludeOutcome IncludeSegment(TCable& c, const TSegment& seg) {
    if (seg.Empty() || SegmentProblem(seg)) return {TIncludeResult::Invalid};
    int used = SegmentCount(c);
    for (int i = 0; i < used; ++i) {
        const TSegment& e = c.Segments[i];
        if (e.FirstNode == seg.FirstNode && e.LastNode == seg.LastNode && seg.Reversible != 0) break;
        if (e.FirstNode <= seg.LastNode && e.LastNode >= seg.FirstNode) return {TIncludeResult::Overlap, i};
    }
    if (used >= MaxSegments) return {TIncludeResult::Full};
    c.Segments[used].CopyFrom(seg);
    return {TIncludeResult::Included};
}

std::string IncludeRefusalText(const TCable& c, const TSegment& seg, const TIncludeOutcome& outcome) {
    const std::string name = seg.Name.Get();
    switch (outcome.Result) {
        case TIncludeResult::Included:
            return "";
        case TIncludeResult::Overlap:
            return "Segment " + OverlapText(seg, c.Segments[outcome.ClashIndex]);
        case TIncludeResult::Full:
            return "Segment \"" + name + "\" cannot be added: a cable set holds at most 32 segments";
        case TIncludeResult::Invalid: {
            auto p = SegmentProblem(seg);
            return p ? "Segment refused: " + *p : "Segment \"" + name + "\" is empty";
        }
    }
    return "";
}

void ExcludeSegment(TCable& c, int index) {
    if (index < 0 || index >= MaxSegments) return;
    int used = SegmentCount(c);
    for (int i = index; i + 1 < used; ++i) c.Segments[i].CopyFrom(c.Segments[i + 1]);
    int freed = index < used ? used - 1 : index;
    c.Segments[freed].MakeEmpty();
}

std::string CableFilePath(const std::string& cableFolder, const std::string& name) {
    return JoinPath(cableFolder, name + ".cbl");
}

std::optional<std::string> CableLimitsProblem(const TCable& c) {
    for (const TSegment& s : c.Segments) {
        if (s.Empty()) continue;
        if (s.FirstNode < 1 || s.LastNode < s.FirstNode || s.LastNode > MaxNodeNumber)
            return "segment \"" + s.Name.Get() + "\" has nodes " + std::to_string(s.FirstNode) + " to " +
                   std::to_string(s.LastNode);
    }
    return std::nullopt;
}

namespace {

// Moves the used entries of a set up over empty ones between them, keeping their order. Every query of
// a set ends its list at the first empty entry (LastNodeOfSet, the editor's rows, IncludeSegment's
// place for a new one), so a file with a gap would show, lay and extend only part of its segments.
void CloseGaps(TCable& c) {
    int used = 0;
    for (int i = 0; i < MaxSegments; ++i) {
        if (c.Segments[i].Empty()) continue;
        if (i != used) {
            c.Segments[used] = c.Segments[i];
            c.Segments[i].MakeEmpty();
        }
        ++used;
    }
}

}  // namespace

void ReadCableFile(const std::string& path, TCable& c) {
    auto bytes = ReadFilePrefix(path, sizeof(TCable));
    TCable read = c;
    if (!bytes.empty())
        std::memcpy(RecordBytes(read), bytes.data(), bytes.size());  // data() of none may be null
    if (auto problem = CableLimitsProblem(read))
        throw TFileError(path, "not a valid cable file: " + *problem);
    CloseGaps(read);
    c = read;
}

void WriteCableFile(const std::string& path, const TCable& c) {
    WriteFileAtomic(path, RecordBytes(c), sizeof(TCable));
}

std::vector<std::string> CableSetNames(const std::string& cableFolder) {
    std::vector<std::string> names;
    DIR* d = ::opendir(cableFolder.c_str());
    if (!d) return names;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n.size() > 4 && n.compare(n.size() - 4, 4, ".cbl") == 0)
            names.push_back(n.substr(0, n.size() - 4));
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

void ApplyCableSet(TSequence& seq, const TCable& cable) {
    if (auto p = CableSetProblem(cable)) throw std::invalid_argument(*p);
    static_cast<TCable&>(seq) = cable;
    for (auto& e : seq.Electrodes) {
        e.Type = 0;
        e.Number = 0;
    }
    seq.NbElectrode = 0;
    // An empty first entry may hold any FirstNode (a .cbl file is read unchecked); 0 keeps the record
    // within its limits.
    seq.FirstElectrode = seq.Segments[0].Empty() ? 0 : seq.Segments[0].FirstNode;
    // Every used entry, wherever it lies: a file may hold empty entries between used ones, and an
    // empty entry's nodes (unchecked) must never be marked.
    for (const TSegment& s : seq.Segments) {
        if (s.Empty()) continue;
        for (int k = s.FirstNode; k <= s.LastNode; ++k) {
            TElectrode& e = seq.Electrodes[k];
            e.Type = static_cast<int16_t>(TElectrodeType::Node);
            e.Number = static_cast<int16_t>(k);
            e.X = e.Y = e.Z = 0;
        }
        seq.NbElectrode += s.NodeCount();
    }
    // A reversible segment laid twice counts its nodes twice, but no line has more electrodes than the
    // table holds; a larger count would make the saved sequence unreadable.
    seq.NbElectrode = std::min(seq.NbElectrode, MaxElectrodeNumber);
}

void LoadCableSet(TSequence& seq, const std::string& cableFolder, const std::string& name) {
    const std::string path = CableFilePath(cableFolder, name);
    TCable cable = seq;  // a short file keeps what the record held
    ReadCableFile(path, cable);
    try {
        ApplyCableSet(seq, cable);
    } catch (const std::invalid_argument& e) {
        throw TFileError(path, std::string("cable set refused: ") + e.what());
    }
}

std::vector<TSegment> ParseLibrary(const std::vector<unsigned char>& bytes) {
    std::vector<TSegment> out;
    for (std::size_t off = 0; off + sizeof(TSegment) <= bytes.size(); off += sizeof(TSegment)) {
        TSegment s;
        std::memcpy(&s, bytes.data() + off, sizeof s);
        out.push_back(s);
    }
    return out;
}

static std::string LibraryPath(const std::string& cableFolder) {
    std::string folder = cableFolder;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + SegmentLibraryFileName;
}

std::vector<TSegment> ReadLibrary(const std::string& cableFolder, bool* created) {
    const std::string path = LibraryPath(cableFolder);
    if (created) *created = false;
    if (!FileExists(path)) {
        TSegment empty;
        empty.MakeEmpty();
        WriteFileAtomic(path, &empty, sizeof empty);
        if (created) *created = true;
    }
    return ParseLibrary(ReadWholeFile(path));
}

bool WriteLibrary(const std::string& cableFolder, const std::vector<TSegment>& segments) {
    const std::string path = LibraryPath(cableFolder);
    if (!FileExists(path)) return false;
    WriteFileAtomic(path, segments.data(), segments.size() * sizeof(TSegment));
    return true;
}
