// An existing V1 file read back before sequences are appended to it: the bytes are the file, and the
// sequence appended (twice) is the one imported from it, so that the electrode counts agree and the
// append runs to its end. Whatever the file, the export refuses it or leaves a file that is exactly
// its header and the records its counts announce.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzzcheck.h"
#include "fuzz/fuzzfolder.h"
#include "storage/export.h"
#include "storage/import.h"

namespace {

int Count16(const std::vector<unsigned char>& b, std::size_t at) {
    return static_cast<int16_t>(static_cast<uint16_t>(b[at] | (b[at + 1] << 8)));
}

TSequence& Fallback() {
    static TSequence s = [] {
        TSequence f;
        f.Name.Set("Fuzz");
        for (int e = 1; e <= 4; ++e)
            f.Electrodes[e] = {2, static_cast<int16_t>(e), static_cast<float>(e), 0, 0};
        f.NbElectrode = 4;
        f.Quadripoles[0] = {1, 2, 3, 4, 0, 1, -1};
        f.NbQuadripole = 1;
        return f;
    }();
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TFuzzFolder folder("v1append");
    static TSequence imported;
    const TSequence* seq = &imported;
    try {
        ImportV1Bytes(data, size, imported);
    } catch (const TImportError&) {
        seq = &Fallback();
    }
    const std::string path = folder.Path("old.seq");
    folder.Write("old.seq", data, size);
    try {
        ExportV1Sequences({seq, seq}, path, true);
    } catch (const TFileError&) {
        return 0;
    }
    const std::vector<unsigned char> bytes = ReadWholeFile(path);
    FuzzCheck(bytes.size() >= V1HeaderSize && IsV1Header(bytes.data(), bytes.size()),
              "the header stays a V1 header");
    const int e = Count16(bytes, V1ElectrodeCountOffset), q = Count16(bytes, V1QuadripoleCountOffset);
    FuzzCheck(e >= 0 && q >= 0, "the counts are not negative");
    FuzzCheck(bytes.size() == V1HeaderSize + static_cast<std::size_t>(e) * V1ElectrodeRecordSize +
                                  static_cast<std::size_t>(q) * V1QuadripoleRecordSize,
              "the file is its header and the records its counts announce");
    return 0;
}
