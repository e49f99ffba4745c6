// A set's folder on Open: the bytes are cut into files (the first byte of each piece picks its name
// from a table of sequence files, comment files and things that only look like them), which Open
// then reads. Whatever the folder holds, Open reports what it refuses and gives a set of sound
// records with distinct names.
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "fuzz/fuzzcheck.h"
#include "fuzz/fuzzfolder.h"
#include "storage/sequenceset.h"

namespace {

// Pieces of the input are separated by this marker.
constexpr std::string_view Separator = "@@FILE";

// A name, and whether the piece makes a folder of that name instead of a file.
struct TEntry {
    const char* Name;
    bool Folder;
};
constexpr TEntry Entries[] = {
    {"Comment.Txt", false}, {"a.sqx", false}, {"B.sqx", false},  {"b.sqx", false},     {"c.SQX", false},
    {"comment.txt", false}, {"d.sqx", true},  {".e.sqx", false}, {"f.sqx.tmp", false}, {"g.txt", false},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TFuzzFolder folder("set");
    folder.Clear();
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    int sqxFiles = 0;
    std::set<std::string> made;
    for (std::size_t start = 0; start < input.size();) {
        std::size_t end = input.find(Separator, start);
        if (end == std::string_view::npos) end = input.size();
        const std::string_view piece = input.substr(start, end - start);
        start = end + Separator.size();
        if (piece.empty()) continue;
        const TEntry& entry = Entries[static_cast<unsigned char>(piece[0]) % std::size(Entries)];
        if (!made.insert(entry.Name).second) continue;
        if (entry.Folder) {
            ::mkdir(folder.Path(entry.Name).c_str(), 0755);
        } else {
            folder.Write(entry.Name, piece.data() + 1, piece.size() - 1);
        }
        const std::string name = entry.Name;
        const std::string ending = name.size() > 4 ? name.substr(name.size() - 4) : "";
        if (ending == ".sqx" || ending == ".SQX") ++sqxFiles;
    }

    TSequenceSet set;
    TOpenReport report;
    try {
        report = set.Open(folder.Path());
    } catch (const TFileError&) {
        return 0;
    }
    FuzzCheck(set.Count() + static_cast<int>(report.Refused.size()) <= sqxFiles,
              "one record or one refusal a file at most");
    std::set<std::string> names;
    for (int i = 0; i < set.Count(); ++i) {
        const TSequence& seq = set.Sequence(i);
        FuzzCheck(names.insert(seq.Name.Get()).second, "the names of a set are distinct");
        ExerciseRecord(seq);
        (void)set.FileStem(i);
    }
    for (const std::string& line : set.Comment())
        FuzzCheck(line.find_first_of("\r\n") == std::string::npos, "a comment line holds no line end");
    return 0;
}
