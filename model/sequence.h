// The sequence record: one fixed 225,608-byte little-endian structure that is both the object in
// memory and the whole content of a .sqx file. The first 1,444 bytes are the cable set (TCable), which
// is also the whole content of a .cbl file. Every offset below is checked at compile time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "model/arraytypes.h"

#pragma pack(push, 1)

// The most bytes a text field keeps. A text given for one that is longer is refused wherever it is
// typed (TextLengthProblem); only what is read from files is cut.
constexpr std::size_t MaxTextFieldLength = 31;
// Why a text typed for a field of at most maxLength bytes cannot be stored whole, or nothing. The
// reason counts bytes, as the field does, not characters.
std::optional<std::string> TextLengthProblem(std::string_view text,
                                             std::size_t maxLength = MaxTextFieldLength);

// Fixed 32-byte NUL-terminated text field: keeps at most 31 characters.
struct TText32 {
    char Bytes[32];

    void Set(std::string_view text);  // first 31 characters, rest zero
    std::string Get() const;          // up to the first NUL (or 32 bytes)
    void Clear();
};

// The text of a record's field as UTF-8, for showing it: the bytes as they are when they are UTF-8,
// else read one byte a character (Latin-1), as older programs wrote them.
std::string RecordTextUtf8(const std::string& bytes);

// UTF-8 text as a terminal should show it: every control character (C0, DEL and C1) written as
// \xNN (C1 as \u00NN), so that a name cannot retitle or recolour the terminal, move its cursor or
// split a line. Everything else, backslashes included, stays as it is.
std::string TerminalText(std::string_view utf8);
// A record's text field for a terminal: TerminalText of RecordTextUtf8.
inline std::string RecordTextForTerminal(const std::string& bytes) {
    return TerminalText(RecordTextUtf8(bytes));
}

struct TSegment {
    TText32 Name;
    int16_t FirstNode;
    int16_t LastNode;
    float NodeSpacing;
    int16_t Reversible;
    int16_t Reserved;

    bool Empty() const { return FirstNode == 0 || LastNode == 0; }
    int NodeCount() const { return Empty() ? 0 : LastNode - FirstNode + 1; }
    void MakeEmpty();  // "NoName", all numbers 0
    // Copies name, nodes, spacing and reversible flag; the reserved word is not carried.
    void CopyFrom(const TSegment& other);
};

enum class TElectrodeType : int16_t { None = 0, Node = 1, Active = 2, Remote = 3, Inactive = 4 };

struct TElectrode {
    int16_t Type;
    int16_t Number;
    float X;
    float Y;
    float Z;
};

struct TQuadripole {
    int16_t A;
    int16_t B;
    int16_t M;
    int16_t N;
    int8_t SpacingIndex;
    int8_t Level;
    int16_t Reserved;

    void MakeEmpty() {
        A = B = M = N = 0;
        SpacingIndex = 0;
        Level = 0;
        Reserved = -1;
    }
};

constexpr int MaxSegments = 32;
constexpr int MaxElectrodes = 2000;  // entries 0..1999; 0 is the remote electrode
constexpr int MaxElectrodeNumber = 1999;
constexpr int MaxQuadripoles = 16000;
constexpr int MaxSpacings = 3;
constexpr int MaxLevels = 32;
constexpr int MaxNodeNumber = 4000;
constexpr float NotSet = -10000000.0f;
constexpr float RemoteCoordinate = 999999.0f;

class TCable {
   public:
    TCable();
    void ResetCable();

    int16_t CableReserved;
    uint8_t CablePadding[2];
    TSegment Segments[MaxSegments];
    TText32 CableName;
};

class TSequence : public TCable {
   public:
    TSequence();   // every default of the record
    void Reset();  // back to the defaults

    int32_t Version;
    TText32 Name;
    float Area;
    float Line;
    int32_t QMax;
    int32_t StackMin;
    int32_t StackMax;
    int32_t Time;
    uint8_t Mode;
    uint8_t ModePadding[3];
    int32_t VmnRange;
    int32_t ArrayType;
    float Spacing[MaxSpacings];
    int32_t LevelUsed[MaxSpacings];
    float RollLimit[MaxSpacings];
    float DeepestX[MaxSpacings];
    float DeepestY[MaxSpacings];
    float MaxX;
    float MaxY;
    int32_t GridLineX;
    int32_t GridLineY;
    TElectrode Electrodes[MaxElectrodes];
    int32_t NbElectrode;
    int32_t FirstElectrode;
    int32_t LastElectrode;
    TQuadripole Quadripoles[MaxQuadripoles];
    int32_t NbQuadripole;
};

#pragma pack(pop)

constexpr std::size_t CableRecordSize = 1444;
constexpr std::size_t SequenceRecordSize = 225608;

// TSequence derives from TCable, so it is not standard-layout; offsetof on a class with plain
// non-virtual single inheritance is supported by GCC and Clang and proves the layout here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(std::is_trivially_copyable_v<TSequence>);
static_assert(sizeof(TText32) == 32);
static_assert(sizeof(TSegment) == 44);
static_assert(offsetof(TSegment, FirstNode) == 32);
static_assert(offsetof(TSegment, LastNode) == 34);
static_assert(offsetof(TSegment, NodeSpacing) == 36);
static_assert(offsetof(TSegment, Reversible) == 40);
static_assert(offsetof(TSegment, Reserved) == 42);
static_assert(sizeof(TElectrode) == 16);
static_assert(offsetof(TElectrode, Number) == 2);
static_assert(offsetof(TElectrode, X) == 4);
static_assert(offsetof(TElectrode, Y) == 8);
static_assert(offsetof(TElectrode, Z) == 12);
static_assert(sizeof(TQuadripole) == 12);
static_assert(offsetof(TQuadripole, B) == 2);
static_assert(offsetof(TQuadripole, M) == 4);
static_assert(offsetof(TQuadripole, N) == 6);
static_assert(offsetof(TQuadripole, SpacingIndex) == 8);
static_assert(offsetof(TQuadripole, Level) == 9);
static_assert(offsetof(TQuadripole, Reserved) == 10);
static_assert(sizeof(TCable) == CableRecordSize);
static_assert(offsetof(TCable, Segments) == 4);
static_assert(offsetof(TCable, CableName) == 1412);
static_assert(sizeof(TSequence) == SequenceRecordSize);
static_assert(offsetof(TSequence, Version) == 1444);
static_assert(offsetof(TSequence, Name) == 1448);
static_assert(offsetof(TSequence, Area) == 1480);
static_assert(offsetof(TSequence, Line) == 1484);
static_assert(offsetof(TSequence, QMax) == 1488);
static_assert(offsetof(TSequence, StackMin) == 1492);
static_assert(offsetof(TSequence, StackMax) == 1496);
static_assert(offsetof(TSequence, Time) == 1500);
static_assert(offsetof(TSequence, Mode) == 1504);
static_assert(offsetof(TSequence, VmnRange) == 1508);
static_assert(offsetof(TSequence, ArrayType) == 1512);
static_assert(offsetof(TSequence, Spacing) == 1516);
static_assert(offsetof(TSequence, LevelUsed) == 1528);
static_assert(offsetof(TSequence, RollLimit) == 1540);
static_assert(offsetof(TSequence, DeepestX) == 1552);
static_assert(offsetof(TSequence, DeepestY) == 1564);
static_assert(offsetof(TSequence, MaxX) == 1576);
static_assert(offsetof(TSequence, MaxY) == 1580);
static_assert(offsetof(TSequence, GridLineX) == 1584);
static_assert(offsetof(TSequence, GridLineY) == 1588);
static_assert(offsetof(TSequence, Electrodes) == 1592);
static_assert(offsetof(TSequence, NbElectrode) == 33592);
static_assert(offsetof(TSequence, FirstElectrode) == 33596);
static_assert(offsetof(TSequence, LastElectrode) == 33600);
static_assert(offsetof(TSequence, Quadripoles) == 33604);
static_assert(offsetof(TSequence, NbQuadripole) == 225604);
#pragma GCC diagnostic pop

// Byte views of the records (the on-disk form).
inline const unsigned char* RecordBytes(const TCable& c) {
    return reinterpret_cast<const unsigned char*>(&c);
}
inline unsigned char* RecordBytes(TCable& c) { return reinterpret_cast<unsigned char*>(&c); }

// Name of an ArrayType code as the sequence dialog lists it; "" for codes without a name.
std::string ArrayTypeName(int32_t code);
// Text of a VmnRange code (0..11); "" outside.
std::string VmnRangeText(int32_t code);

// Which of an electrode's coordinates is not a finite number, as "X = nan" (X first, then Y, Z), or
// nothing when all three are: such a position has no distance to any other and no place in a file.
std::optional<std::string> NonFiniteCoordinate(float x, float y, float z);

// Whether a quadripole names one electrode twice: the remote electrode 0 may stand for several (a
// pole-pole quadripole has it as A and M), any other electrode only once.
inline bool RepeatsAnElectrode(const TQuadripole& q) {
    const int16_t e[4] = {q.A, q.B, q.M, q.N};
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j)
            if (e[i] != 0 && e[i] == e[j]) return true;
    return false;
}

// Level mask operations on one LevelUsed entry (bit n-1 = level n).
int LevelCount(int32_t mask);
int LowestLevel(int32_t mask);         // index 0..31, -1 when empty
int HighestLevel(int32_t mask);        // index 0..31, -1 when empty
int FirstMissingLevel(int32_t mask);   // index of lowest clear bit, 32 when full
void SetLevels(int32_t& mask, int n);  // levels 1..n; n <= 0 gives 0
inline bool LevelSet(int32_t mask, int level) {
    return level >= 1 && level <= 32 && ((static_cast<uint32_t>(mask) >> (level - 1)) & 1u) != 0;
}
