// The .ele records of the Varnel folder, read back before an upload to find the file that already
// holds the sequence: the bytes of any length as a stored record, compared with a fixed sequence and
// with one made of the record's own fields, in memory and through the files FindEleIndex reads.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzzcheck.h"
#include "fuzz/fuzzfolder.h"
#include "link/instrumentimage.h"
#include "link/uploadcommands.h"

namespace {

// Where the comparison looks in a record (the layout of BuildEleRecord).
constexpr std::size_t ArrayTypeAt = 64, ElectrodeCountAt = 68, ElectrodesAt = 72, QuadripoleCountAt = 4152,
                      QuadripolesAt = 4156;
constexpr int StoredElectrodes = 255;

template <typename T>
T At(const TImageBytes& b, std::size_t offset) {
    T v{};
    if (offset + sizeof v <= b.size()) std::memcpy(&v, b.data() + offset, sizeof v);
    return v;
}

// A sequence holding what the record holds, where the record has it.
void FromRecord(const TImageBytes& b, TSequence& seq) {
    seq.Reset();
    std::string name(reinterpret_cast<const char*>(b.data()), std::min<std::size_t>(b.size(), 32));
    seq.Name.Set(name.substr(0, name.find('\0')));
    seq.ArrayType = At<int32_t>(b, ArrayTypeAt);
    seq.NbElectrode = At<int32_t>(b, ElectrodeCountAt);
    for (int e = 0; e < StoredElectrodes; ++e)
        seq.Electrodes[e] =
            At<TElectrode>(b, ElectrodesAt + static_cast<std::size_t>(e) * sizeof(TElectrode));
    seq.NbQuadripole = std::clamp(At<int32_t>(b, QuadripoleCountAt), 0, Family1MaxQuadripoles);
    for (int j = 0; j < seq.NbQuadripole; ++j)
        seq.Quadripoles[j] =
            At<TQuadripole>(b, QuadripolesAt + static_cast<std::size_t>(j) * sizeof(TQuadripole));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TSequence fixed;
    static TSequence own;
    static TFuzzFolder folder("ele");
    const TImageBytes stored(data, data + std::min(size, EleRecordSize + 64));
    (void)EleRecordMatches(stored, fixed);
    FromRecord(stored, own);
    const bool matches = EleRecordMatches(stored, own);

    // The same through the file the upload looks for: the first index when it holds the sequence.
    folder.Write("Fuzz_#1.ele", stored.data(), stored.size());
    const int index = FindEleIndex(folder.Path("Fuzz_#"), own);
    FuzzCheck(index == (matches ? 1 : 2),
              "FindEleIndex takes a record that matches and passes one that does not");
    return 0;
}
