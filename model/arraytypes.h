// The array types: every code the record's ArrayType field may hold, with what each part of the
// program attaches to it (name, option, dialog row, instrument code, listing), in one table so that
// a new layout is one new row and no reader keeps a copy of its own.
#pragma once

#include <cstdint>
#include <iterator>
#include <string_view>

enum class TArrayType : int32_t {
    DipoleDipole = 0,
    PoleDipole = 1,
    PolePole = 2,
    WennerSchlumberger = 4,
    Wenner = 6,
    // Stored with the code the record leaves unnamed and the instruments take as "no geometry" (family-2
    // code 7), so every reader of the format can still open it; it keeps its geometry, which 9 would not.
    MultipleGradient = 8,
    NoGeometry = 9,
};

struct TArrayTypeRow {
    int32_t Code;               // ArrayType as stored
    const char* Name;           // the exports' name, also the sequence dialog's text; "" when none
    const char* Option;         // the command line's --array name; "" when not offered
    int DialogRow;              // row in the sequence dialog's list (its line section); -1 when not listed
    int Family2Code;            // array code of a family-2 instrument image
    int FirstElectrodeReserve;  // nodes kept after the highest first electrode the electrodes-used step
                                // allows
    bool OneSpacing;            // no second or third dipole length
    bool Listed;                // the generator has a listing scheme for it
    bool Forward;               // listing order: spacings and levels upwards (else downwards)
    float RollFactor;           // roll-along skip per level above the deepest, in electrode spacings
    bool LevelInMetres;         // the "Level" view plots a pseudo-depth in length units, not the level number
    const char* ListName = nullptr;  // the sequence dialog's text for a type the exports leave unnamed
};

// Codes 3, 5 and 7 are valid values that nothing produces; they keep their instrument code.
inline constexpr TArrayTypeRow ArrayTypeTable[] = {
    // Code  Name                   Option    Row  Fam2 Reserve OneSp  Listed Forward Roll     Metres
    {0, "Dipole dipole", "dd", 1, 1, 4, false, true, true, 1.0f, true},
    {1, "Pole dipole", "pd", 2, 2, 3, false, true, true, 1.0f, true},
    {2, "Pole pole", "pp", 3, 3, 2, true, true, true, 1.0f, true},
    {3, "", "", -1, 6, 4, false, false, true, 1.0f, false},
    {4, "Wenner-Schlumberger", "ws", 5, 5, 3, false, true, false, 1.9998f, true},
    {5, "", "", -1, 5, 4, false, false, true, 1.0f, false},
    {6, "Wenner", "wenner", 4, 4, 3, true, true, false, 2.9998f, true},
    {7, "", "", -1, 4, 4, false, false, true, 1.0f, false},
    // Multiple gradient: levels are the separation factors s; no name, so exports call it "Mixed".
    {8, "", "mg", 6, 7, 4, true, true, true, 1.0f, false, "Multiple gradient"},
    {9, "", "", -1, 7, 4, false, false, true, 1.0f, false},
};

// What a code outside the table gets: no name, no row, sent as a sequence without geometry.
inline constexpr TArrayTypeRow UnknownArrayType{-1, "", "", -1, 7, 4, false, false, true, 1.0f, false};

constexpr const TArrayTypeRow& ArrayTypeRow(int32_t code) {
    for (const TArrayTypeRow& r : ArrayTypeTable)
        if (r.Code == code) return r;
    return UnknownArrayType;
}
constexpr const TArrayTypeRow& ArrayTypeRow(TArrayType type) {
    return ArrayTypeRow(static_cast<int32_t>(type));
}

// Whether the table has a row for the code (one outside it is sent as a sequence without geometry).
constexpr bool KnownArrayType(int32_t code) { return &ArrayTypeRow(code) != &UnknownArrayType; }

// The row offered as --array `option`, or nullptr.
constexpr const TArrayTypeRow* ArrayTypeOfOption(std::string_view option) {
    for (const TArrayTypeRow& r : ArrayTypeTable)
        if (*r.Option != '\0' && option == r.Option) return &r;
    return nullptr;
}

// The row at dialog row `row`, or nullptr.
constexpr const TArrayTypeRow* ArrayTypeOfDialogRow(int row) {
    for (const TArrayTypeRow& r : ArrayTypeTable)
        if (r.DialogRow >= 0 && r.DialogRow == row) return &r;
    return nullptr;
}

// The text of the type's row in the sequence dialog's list.
constexpr const char* ArrayTypeListText(const TArrayTypeRow& r) { return r.ListName ? r.ListName : r.Name; }

// The plain gradient is the multiple gradient of one separation: its current dipole runs from the
// first electrode used to the last, (N - 1) a long, so that s = N - 3.
constexpr int GradientSeparation(int electrodes) { return electrodes - 3; }

// How many rows the dialog's line section lists after its heading.
constexpr int ArrayTypeDialogRows() {
    int n = 0;
    for (const TArrayTypeRow& r : ArrayTypeTable)
        if (r.DialogRow >= 0) ++n;
    return n;
}
