// Export of sequences: spreadsheet text, the three files of the Pelmar processing program, and the
// ".seq" files of the program's first version (V1). Text files end every line, the last included,
// with CR LF. Every file is written to a temporary name and renamed, so a failed export never leaves
// half a file; every function throws TFileError naming the file.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "model/fileio.h"
#include "model/sequence.h"

// How numbers are written into text: the decimal separator, and whether a number holding a decimal
// comma is enclosed in double quotes. The spreadsheet file quotes them, because the text import splits
// fields at commas and reads a quoted field whole; the Pelmar files keep their plain form.
struct TNumberStyle {
    char Decimal = '.';
    bool QuoteDecimalComma = false;
};

// "#" S "A" S "B" S "M" S "N", then per quadripole: i S, a space, A S B S M S N ("Rem" for 0), two spaces.
void QuadripoleLines(const TSequence& seq, std::vector<std::string>& lines, const std::string& sep);

// "#" S "X" S "Y" S "Z", then every electrode 1 to 1999 of type Active or Inactive: Number S X S Y S Z,
// the coordinates with two decimals.
void ElectrodeLines(const TSequence& seq, std::vector<std::string>& lines, const std::string& sep,
                    const TNumberStyle& style);

// The 21 key-and-value lines that head a spreadsheet file.
void SpreadsheetHeader(const TSequence& seq, std::vector<std::string>& lines, const std::string& sep,
                       const TNumberStyle& style);

// The texts of the header's values.
std::string SpreadsheetVmnText(int32_t code);            // "Unknown" outside 0 to 11
std::string SpreadsheetArrayText(const TSequence& seq);  // "Mixed" for grids and codes without a name
std::string SpreadsheetLevelsText(int32_t mask, const std::string& sep);  // "2" S "3" S "4"; "0" when empty

constexpr std::size_t PelmarConfigSize = 25036;
using TPelmarConfig = std::array<unsigned char, PelmarConfigSize>;
// Fills the whole 25,036-byte Pelmar configuration.
void FillPelmarConfig(const TSequence& seq, TPelmarConfig& buffer);

// The bytes of text lines, each ended by CR LF.
std::string JoinLines(const std::vector<std::string>& lines);

// The spreadsheet file of a sequence: header, electrode and quadripole lines with the one-character
// separator (tab, comma or space), into folder/stem + ".txt". Returns the path written.
std::string ExportSpreadsheet(const TSequence& seq, const std::string& folder, const std::string& stem,
                              char separator, char decimal);

// The three Pelmar files folder/stem + "_Quad.txt", "_Coor.txt" and ".cfg" (separator three spaces).
// Returns the paths written.
std::vector<std::string> ExportPelmar(const TSequence& seq, const std::string& folder,
                                      const std::string& stem, char decimal);

// The refusals that concern the file's content (not a V1 file, counts past its end, another electrode
// count, too many quadripoles) are TV1Refused, so that a caller can offer another sequence; a file that
// cannot be read or written is a plain TFileError.
class TV1Refused : public TFileError {
   public:
    using TFileError::TFileError;
};

// Writes the sequence into an existing V1 file, whose header is kept but for its two counts. Without
// append the file's content after the header is replaced; with append the quadripoles are added at its
// end and the electrode table is written again. Refused (TFileError, file unchanged): a file that does
// not exist or is not a V1 file, a V1 file whose counts run past its end, an append of a sequence with
// another electrode count than the file's (its quadripoles would no longer line up), and an append
// that would take the quadripole count past 32,767.
void ExportV1Sequence(const TSequence& seq, const std::string& path, bool append);
// Several sequences into one V1 file, all or nothing: the first as ExportV1Sequence with `append`, the
// others appended after it. Any refusal leaves the file unchanged, and every message names `path`.
void ExportV1Sequences(const std::vector<const TSequence*>& seqs, const std::string& path,
                       bool append = false);
