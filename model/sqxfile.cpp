#include "model/sqxfile.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "model/cable.h"
#include "model/fileio.h"

void WriteSequenceFile(const std::string& path, const TSequence& seq) {
    WriteFileAtomic(path, RecordBytes(seq), sizeof(TSequence));
}

std::optional<std::string> SequenceLimitsProblem(const TSequence& seq) {
    if (seq.NbQuadripole < 0 || seq.NbQuadripole > MaxQuadripoles)
        return "quadripole count " + std::to_string(seq.NbQuadripole) + " is outside 0 to 16000";
    if (seq.NbElectrode < 0 || seq.NbElectrode > MaxElectrodeNumber)
        return "electrode count " + std::to_string(seq.NbElectrode) + " is outside 0 to 1999";
    if (seq.FirstElectrode < 0 || seq.FirstElectrode > MaxElectrodeNumber)
        return "first electrode " + std::to_string(seq.FirstElectrode) + " is outside 0 to 1999";
    if (seq.LastElectrode < 0 || seq.LastElectrode > MaxElectrodeNumber)
        return "last electrode " + std::to_string(seq.LastElectrode) + " is outside 0 to 1999";
    for (int i = 0; i < MaxElectrodes; ++i) {
        const TElectrode& e = seq.Electrodes[i];
        const bool placed = e.Type == static_cast<int16_t>(TElectrodeType::Active) ||
                            e.Type == static_cast<int16_t>(TElectrodeType::Inactive);
        if (!placed) continue;
        if (auto p = NonFiniteCoordinate(e.X, e.Y, e.Z))
            return "electrode " + std::to_string(i) + " has " + *p + ", not a finite coordinate";
    }
    for (int i = 0; i < seq.NbQuadripole; ++i) {
        const TQuadripole& q = seq.Quadripoles[i];
        for (int16_t e : {q.A, q.B, q.M, q.N}) {
            if (e < 0 || e > MaxElectrodeNumber)
                return "quadripole " + std::to_string(i + 1) + " uses electrode " + std::to_string(e) +
                       ", outside 0 to 1999";
        }
        if (q.SpacingIndex < 0 || q.SpacingIndex >= MaxSpacings)
            return "quadripole " + std::to_string(i + 1) + " has spacing index " +
                   std::to_string(q.SpacingIndex);
    }
    return CableLimitsProblem(seq);
}

namespace {

// Takes two values that older files hold and that mean something within the table, then checks the
// record's limits; a record that breaks them is reset.
std::optional<std::string> CheckReadRecord(TSequence& seq) {
    // A first electrode of 2000 is "no electrode" (an import without coordinates), and a count above
    // 1999 comes from a reversible cable laid twice, which never places more electrodes than the table
    // has.
    if (seq.FirstElectrode == MaxElectrodes) seq.FirstElectrode = 0;
    if (seq.NbElectrode > MaxElectrodeNumber && seq.NbElectrode <= MaxNodeNumber)
        seq.NbElectrode = MaxElectrodeNumber;
    auto problem = SequenceLimitsProblem(seq);
    if (problem) seq.Reset();
    return problem;
}

}  // namespace

std::optional<std::string> ReadSequenceBytes(const unsigned char* data, std::size_t size, TSequence& seq) {
    seq.Reset();
    if (size > 0) std::memcpy(RecordBytes(seq), data, std::min(size, sizeof(TSequence)));
    return CheckReadRecord(seq);
}

void ReadSequenceFile(const std::string& path, TSequence& seq) {
    // Straight into the record: a sequence file is one record, and a copy of it would be a quarter of
    // a megabyte of fresh memory to fill and read again.
    std::size_t size = 0;
    try {
        size = ReadFilePrefix(path, RecordBytes(seq), sizeof(TSequence));
    } catch (const TFileError&) {
        seq.Reset();  // left fresh, as a file that is not a sequence leaves it, never half read
        throw;
    }
    if (size < sizeof(TSequence)) {
        // A short file: what it holds over a fresh record. An empty one leaves nothing to copy, and an
        // empty vector's data() may be null, which memcpy must not be given.
        const std::vector<unsigned char> prefix(RecordBytes(seq), RecordBytes(seq) + size);
        seq.Reset();
        if (!prefix.empty()) std::memcpy(RecordBytes(seq), prefix.data(), prefix.size());
    }
    if (auto problem = CheckReadRecord(seq)) throw TFileError(path, "not a valid sequence file: " + *problem);
}
