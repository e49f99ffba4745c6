// Cable sets (TCable), their segments, .cbl files and the segment library "Segments.org".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/sequence.h"

// A segment of nodes first to last, `spacing` apart (its name keeps 31 bytes).
TSegment MakeSegment(std::string_view name, int first, int last, float spacing, bool reversible = false);

int SegmentCount(const TCable& c);
int FirstNodeOfSet(const TCable& c);  // 65000 when the first entry is empty
int LastNodeOfSet(const TCable& c);   // 0 when the first entry is empty
// First of the 32 entries, in order, holding node k (empty entries are not skipped). nullptr if none.
const TSegment* SegmentOfNode(const TCable& c, int k);
int SegmentIndexOfNode(const TCable& c, int k);

enum class TIncludeResult { Included, Overlap, Full, Invalid };

struct TIncludeOutcome {
    TIncludeResult Result;
    int ClashIndex = -1;  // the entry the new segment overlaps, for Overlap
};

// Appends a segment after the overlap rule (a reversible segment may repeat exactly the same nodes).
// Refuses a full set and a segment that can never be laid (see CableSetProblem). The set is unchanged
// unless the result is Included.
TIncludeOutcome IncludeSegment(TCable& c, const TSegment& seg);
// The message the program shows for a refused inclusion.
std::string IncludeRefusalText(const TCable& c, const TSegment& seg, const TIncludeOutcome& outcome);

void ExcludeSegment(TCable& c, int index);

// Why this segment cannot be used in a sequence: nodes above 1999, nodes out of order, a node spacing
// of 0 or less. Nothing when it is sound. An empty segment is sound.
std::optional<std::string> SegmentProblem(const TSegment& s);
// The first problem of the used segments of the set, naming the segment: a SegmentProblem, or two
// segments whose nodes overlap where IncludeSegment would have refused the later one.
std::optional<std::string> CableSetProblem(const TCable& c);

// Why a typed text cannot name a cable set or a segment: blank, holding "NoName" (the name of an empty
// entry and of a set never named), or longer than a name field keeps. Nothing when it can.
std::optional<std::string> CableNameProblem(std::string_view name);

// Path of the .cbl file of a cable set name inside the cable folder.
std::string CableFilePath(const std::string& cableFolder, const std::string& name);

// Why a cable part read from outside cannot be used: a used entry whose nodes are not a rising range
// of 1 to 4000. The same rule holds for a .cbl file and for the cable part of a .sqx file.
std::optional<std::string> CableLimitsProblem(const TCable& c);

// Reads a .cbl file over the cable part (a shorter file fills only the bytes it has). Used entries that
// follow an empty one are moved up, in order, so that the used entries come first. Throws TFileError;
// a file refused by CableLimitsProblem leaves `c` unchanged.
void ReadCableFile(const std::string& path, TCable& c);
// Writes exactly 1,444 bytes, atomically. Throws TFileError.
void WriteCableFile(const std::string& path, const TCable& c);

// Names of the cable sets in a folder: the *.cbl files, without extension, sorted.
std::vector<std::string> CableSetNames(const std::string& cableFolder);

// Gives the sequence the cable set of that name read from cableFolder, marks every node of the set
// and sets NbElectrode and FirstElectrode. A set whose segments cannot be used is refused (TFileError
// naming the file and the segment) and the sequence is not changed.
void LoadCableSet(TSequence& seq, const std::string& cableFolder, const std::string& name);
// The same with the cable set already in memory. Throws std::invalid_argument on an unusable set.
void ApplyCableSet(TSequence& seq, const TCable& cable);

// The segment library file inside the cable folder.
constexpr const char* SegmentLibraryFileName = "Segments.org";
// Reads the library, creating it with one empty "NoName" segment when missing. `created` tells.
std::vector<TSegment> ReadLibrary(const std::string& cableFolder, bool* created = nullptr);
// Replaces the library's content; writes only when the file exists. Returns whether it wrote.
bool WriteLibrary(const std::string& cableFolder, const std::vector<TSegment>& segments);
// Parses library bytes: 44-byte records until fewer than 44 bytes remain.
std::vector<TSegment> ParseLibrary(const std::vector<unsigned char>& bytes);
