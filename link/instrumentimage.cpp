#include "link/instrumentimage.h"

#include <algorithm>
#include <cstring>

#include "link/wire.h"
#include "model/geometry.h"

namespace {

void Put8(TImageBytes& b, std::size_t at, int v) { b[at] = static_cast<unsigned char>(v & 0xFF); }
void Put16(TImageBytes& b, std::size_t at, int v) { Wire::PutLe16(b.data() + at, static_cast<uint16_t>(v)); }
void Put32(TImageBytes& b, std::size_t at, int32_t v) {
    Wire::PutLe32(b.data() + at, static_cast<uint32_t>(v));
}
void PutF(TImageBytes& b, std::size_t at, float f) { Wire::PutLeFloat(b.data() + at, f); }
template <class T>
T Get(const TImageBytes& b, std::size_t at) {
    T v;
    std::memcpy(&v, b.data() + at, sizeof v);
    return v;
}

// Offsets of the .ele record.
constexpr std::size_t EleElectrodes = 72;
constexpr int EleElectrodeCount = 255;
constexpr std::size_t EleNbQuadripole = 4152;
constexpr std::size_t EleQuadripoles = 4156;

int ClampedQuadripoles(const TSequence& seq) { return std::clamp(seq.NbQuadripole, 0, MaxQuadripoles); }

}  // namespace

int TimeCode1(int32_t t) {
    switch (t) {
        case 250:
            return 3;
        case 500:
            return 2;
        case 1000:
            return 1;
        default:
            return 0;  // 2000 and any other value
    }
}

int TimeCode2(int32_t t) {
    switch (t) {
        case 250:
            return 5;
        case 500:
            return 4;
        case 1000:
            return 3;
        default:
            return 2;  // 2000 and any other value
    }
}

// VmnRange:  0  1  2  3  4  5  6  7  8  9  10  11
// Vmn code:  5  4  3  2  1  0  0  0  0  0  0   0
// Vab code:  0  0  0  0  0  1  2  3  4  5  6   7
// "Vab = 800V" (11) carries Vab code 7: each step of the voltage table doubles Vab and adds one to
// the code, and 7 still fits the four bits. A code outside 0..11 is sent as 0 ("Vmn Maximum").
int VmnCode(int32_t r) { return r >= 0 && r <= 4 ? 5 - r : (r >= 5 && r <= 11 ? 0 : 5); }
int VabCode(int32_t r) { return r >= 5 && r <= 11 ? r - 4 : 0; }

int ArrayCode(int32_t arrayType) { return ArrayTypeRow(arrayType).Family2Code; }

TImageBytes BuildEleRecord(const TSequence& seq) {
    TImageBytes b(EleRecordSize, 0);
    std::string name = seq.Name.Get().substr(0, 31);
    std::memcpy(b.data(), name.data(), name.size());
    PutF(b, 32, seq.Area);
    PutF(b, 36, seq.Line);
    Put32(b, 40, seq.QMax);
    Put32(b, 44, seq.StackMin);
    Put32(b, 48, seq.StackMax);
    Put32(b, 52, seq.Time);
    Put8(b, 56, seq.Mode);
    Put32(b, 60, seq.VmnRange);
    Put32(b, 64, seq.ArrayType);
    Put32(b, 68, seq.NbElectrode);
    std::memcpy(b.data() + EleElectrodes, seq.Electrodes, EleElectrodeCount * sizeof(TElectrode));
    Put32(b, EleNbQuadripole, seq.NbQuadripole);
    std::memcpy(b.data() + EleQuadripoles, seq.Quadripoles, Family1MaxQuadripoles * sizeof(TQuadripole));
    return b;
}

bool EleRecordMatches(const TImageBytes& storedIn, const TSequence& seq) {
    TImageBytes s = storedIn;
    s.resize(EleRecordSize, 0);
    std::string storedName(reinterpret_cast<const char*>(s.data()),
                           strnlen(reinterpret_cast<const char*>(s.data()), 32));
    if (storedName != seq.Name.Get()) return false;
    if (Wire::LeInt32(&s[64]) != seq.ArrayType || Wire::LeInt32(&s[68]) != seq.NbElectrode ||
        Wire::LeInt32(&s[EleNbQuadripole]) != seq.NbQuadripole)
        return false;
    for (int e = 0; e < EleElectrodeCount; ++e) {
        if (!IsRealElectrode(seq, e)) continue;
        const TElectrode stored =
            Get<TElectrode>(s, EleElectrodes + static_cast<std::size_t>(e) * sizeof(TElectrode));
        const TElectrode& mine = seq.Electrodes[e];
        if (stored.Type != mine.Type || stored.Number != mine.Number || stored.X != mine.X ||
            stored.Y != mine.Y || stored.Z != mine.Z)
            return false;
    }
    const int storedCount = std::min(Wire::LeInt32(&s[EleNbQuadripole]), Family1MaxQuadripoles);
    for (int j = 0; j < storedCount; ++j) {
        const TQuadripole q =
            Get<TQuadripole>(s, EleQuadripoles + static_cast<std::size_t>(j) * sizeof(TQuadripole));
        const TQuadripole& mine = seq.Quadripoles[j];
        if (q.A != mine.A || q.B != mine.B || q.M != mine.M || q.N != mine.N ||
            q.SpacingIndex != mine.SpacingIndex || q.Level != mine.Level)
            return false;
    }
    return true;
}

TImageBytes BuildFamily1Header(const TSequence& seq, int eleIndex) {
    TImageBytes b(Family1HeaderSize, 0);
    Put8(b, 0, seq.StackMin);  // StackMin before QMax, as the instrument reads them
    Put8(b, 1, seq.QMax);
    Put16(b, 2, seq.NbElectrode);
    Put16(b, 4, TimeCode1(seq.Time));
    Put16(b, 6, seq.StackMax);
    Put16(b, 10, seq.NbQuadripole);
    std::string name = seq.Name.Get().substr(0, Family1NameLength);
    std::memcpy(b.data() + 12, name.data(), name.size());
    Put8(b, 21, eleIndex);
    PutF(b, 22, seq.Area);
    PutF(b, 26, seq.Line);
    return b;
}

TImageBytes BuildFamily1Record(const TSequence& seq, int i) {
    TImageBytes b(Family1RecordSize, 0);
    const TQuadripole& q = seq.Quadripoles[i];
    Put8(b, 0, q.A);
    Put8(b, 1, q.B);
    Put8(b, 2, q.M);
    Put8(b, 3, q.N);
    PutF(b, 4, QuadripoleK(seq, i));
    return b;
}

TImageBytes BuildFamily2Header(const TSequence& seq, int32_t memoryNumber) {
    TImageBytes b(Family2HeaderSize, 0);
    Put32(b, 12, seq.StackMin);
    Put32(b, 16, seq.StackMax);
    PutF(b, 20, static_cast<float>(seq.QMax));
    Put8(b, 24, VmnCode(seq.VmnRange) << 5);
    Put8(b, 25, TimeCode2(seq.Time) & 0x07);
    Put8(b, 26, (seq.Mode == 0 ? 1 : 0) | (1 << 2) | (VabCode(seq.VmnRange) << 4));
    Put32(b, 28, ArrayCode(seq.ArrayType));
    PutF(b, 80, seq.Area);
    PutF(b, 84, seq.Line);
    std::memcpy(b.data() + 92, seq.Name.Bytes, Family2NameLength);
    Put8(b, 103, 0x01 | ((memoryNumber & 0x0F) << 4));
    Put32(b, 104, seq.NbQuadripole - 1);
    Put32(b, 112, seq.NbQuadripole - 1);
    Put32(b, 116, seq.NbElectrode);
    Put32(b, 120, seq.FirstElectrode);
    Put32(b, 124, seq.LastElectrode);
    PutF(b, 128, seq.Spacing[0]);
    Put32(b, 132, HighestLevel(seq.LevelUsed[0]) + 1);
    return b;
}

TImageBytes BuildElectrodeTable(const TSequence& seq, bool longForm) {
    // A record read from a damaged file may hold any LastElectrode; never index past the table.
    int last = std::clamp(seq.LastElectrode, -1, MaxElectrodeNumber);
    if (longForm) last = std::min(last, Family2MaxLastElectrode);
    const std::size_t entry = longForm ? 12 : 8;
    TImageBytes b(static_cast<std::size_t>(last + 1) * entry, 0);
    for (int e = 0; e <= last; ++e) {
        const std::size_t at = static_cast<std::size_t>(e) * entry;
        const TElectrode& el = seq.Electrodes[e];
        if (e == 0 || el.Type == static_cast<int16_t>(TElectrodeType::Remote)) {
            PutF(b, at, RemoteMarker);
        } else if (IsRealElectrode(seq, e)) {
            PutF(b, at, el.X);
            PutF(b, at + 4, el.Y);
            if (longForm) PutF(b, at + 8, el.Z);
        } else {
            PutF(b, at, AbsentMarker);
        }
    }
    return b;
}

TImageBytes BuildExtraBlock() {
    TImageBytes b(ExtraBlockSize, 0);
    for (std::size_t i = 0; i < 4; ++i) PutF(b, i * 12, RemoteMarker);
    return b;
}

TImageBytes BuildQuadripoleTable(const TSequence& seq) {
    const int n = ClampedQuadripoles(seq);
    TImageBytes b(static_cast<std::size_t>(n) * 8, 0);
    for (int i = 0; i < n; ++i) {
        const TQuadripole& q = seq.Quadripoles[i];
        const std::size_t at = static_cast<std::size_t>(i) * 8;
        Put16(b, at, q.A);
        Put16(b, at + 2, q.B);
        Put16(b, at + 4, q.M);
        Put16(b, at + 6, q.N);
    }
    return b;
}

std::vector<TImageBytes> BuildFamily2Tables(const TSequence& seq, uint32_t version) {
    std::vector<TImageBytes> tables;
    if (version >= VersionLongTable) tables.push_back(BuildElectrodeTable(seq, true));
    if (version >= VersionExtraBlock) tables.push_back(BuildExtraBlock());
    if (version < VersionLongTable) tables.push_back(BuildElectrodeTable(seq, false));
    tables.push_back(BuildQuadripoleTable(seq));
    return tables;
}
