// Import of sequences from text files (a quadripole section and a coordinate section) and from the
// binary ".seq" files of the program's first version (V1). An imported sequence has no geometry of its
// own: ArrayType 9, a one-segment cable set made up from its electrodes, and the spacing index and
// level of each quadripole derived from the electrode positions.
//
// Every reader checks what it copies: electrode numbers outside 1 to 1999 (0, the remote electrode,
// is allowed in quadripoles), counts that run past the end of a file or beyond the record's tables are
// refused, so nothing is ever read or written outside the record.
#pragma once

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "model/sequence.h"

// A refused import: the problem and, for text, the 1-based line it was found on (0 for none). The file
// level functions below turn it into a TFileError that names the file.
class TImportError : public std::runtime_error {
   public:
    TImportError(const std::string& problem, int line = 0);
    const std::string& Problem() const { return problem_; }
    int Line() const { return line_; }

   private:
    std::string problem_;
    int line_;
};

// The messages of refused text files.
constexpr const char* QuadripoleFileError = "Quadripole file error";
constexpr const char* CoordinateFileError = "Coordinate file error";

// Splits a line into fields at commas and blanks (the space, the tab and every character below the
// space). Leading blanks are skipped; a field runs to the next blank or comma; blanks after it, then
// one comma and the blanks after that, are skipped; a field may be enclosed in double quotes, a doubled
// quote standing for one; two commas with only blanks between them enclose an empty field.
std::vector<std::string> SplitFields(std::string_view line);

// Splits text into lines at CR LF, LF or CR.
std::vector<std::string> SplitLines(std::string_view text);

struct TTextLine {
    int Number;  // 1-based line number in the file
    std::string Text;
};

// The data lines of the two sections of a text file, found and validated independently.
struct TTextSections {
    std::vector<TTextLine> Quadripoles;  // at most 16,000
    std::vector<TTextLine> Coordinates;
};

// Finds the sections. Throws TImportError with QuadripoleFileError when there is no quadripole header,
// CoordinateFileError when the coordinate header has no "#".
TTextSections FindTextSections(const std::vector<std::string>& lines);

// Fills a fresh record (whose Name the caller has set) from the validated lines. Throws TImportError
// with the line for a number that is not one or an electrode number outside the record; the record is
// then not to be used.
void ImportTextSequence(TSequence& seq, const std::vector<TTextLine>& quadripoleLines,
                        const std::vector<TTextLine>& coordinateLines, char decimal);

// The bytes of a text file as the text the sections are read from. Single-byte text (ASCII, a code
// page, UTF-8) is taken as it is, a UTF-8 byte-order mark dropped; UTF-16 with its byte-order mark
// (as Windows tools save "Unicode" text) is decoded to UTF-8. Throws TImportError for UTF-16 without
// its mark, which read byte by byte would split every number at its NUL bytes, for broken UTF-16 and
// for UTF-32.
std::string DecodeTextFile(std::string_view bytes);

// The whole text import from memory: DecodeTextFile, sections, then ImportTextSequence into `seq`
// reset to its defaults and named `name`. Throws TImportError.
void ImportTextBytes(std::string_view text, const std::string& name, char decimal, TSequence& seq);

// The sequence name of a text file: its file name without folder and extension, blanks trimmed.
std::string TextSequenceName(const std::string& path);

// The largest text file the import reads. The largest it can use, 16,000 quadripole lines and 1,999
// coordinate lines, takes about 1 MiB; the rest leaves room for wide spreadsheets and other sections.
constexpr std::size_t MaxTextImportSize = std::size_t{16} << 20;

// Reads a text file into `seq`, named after the file. Throws TFileError naming the file (and the line);
// TFileTooLarge, before reading, for a file above MaxTextImportSize.
void ImportTextFile(const std::string& path, char decimal, TSequence& seq);

// V1 layout.
constexpr std::size_t V1HeaderSize = 179;
constexpr std::size_t V1ElectrodeCountOffset = 151;
constexpr std::size_t V1QuadripoleCountOffset = 159;
constexpr std::size_t V1NameOffset = 161;
constexpr std::size_t V1NameSize = 18;
constexpr std::size_t V1NameKept = 10;
constexpr std::size_t V1ElectrodeRecordSize = 16;
constexpr std::size_t V1QuadripoleRecordSize = 14;
// The largest V1 file read: its two 16-bit counts can describe at most 179 + 32,767 x (16 + 14) bytes,
// under 1 MiB; four times that leaves room for whatever follows the records.
constexpr std::size_t MaxV1FileSize = std::size_t{4} << 20;

// Whether the bytes begin with "_DOC_" immediately followed by "Teravox".
bool IsV1Header(const unsigned char* data, std::size_t size);

// Fills `seq` (reset to its defaults first) from the bytes of a V1 file. Throws TImportError.
void ImportV1Bytes(const unsigned char* data, std::size_t size, TSequence& seq);

// Reads a V1 file into `seq`. Throws TFileError naming the file (TFileTooLarge above MaxV1FileSize).
void ImportV1Sequence(TSequence& seq, const std::string& path);

// The formats a sequence is imported from, told by the file's extension (any case). Inversion: the
// files of pyGIMLi/BERT and R2/ResIPy (inversionformats.h), which tells them apart.
enum class TImportKind { None, Sqx, V1, Text, Inversion };
// ".sqx", ".seq", ".txt", or ".ohm", ".shm" and ".dat"; None for any other extension.
TImportKind ImportKindOf(const std::string& path);
// Reads the file in its format into `seq`. `decimal` is the separator of text files, `spacing` places
// the electrodes of a protocol.dat, which has no positions. Throws as the reader of that format does.
void ImportSequenceFile(const std::string& path, TImportKind kind, char decimal, TSequence& seq,
                        float spacing = 1.0f);

// An electrode read from a file that gives positions by electrode number (1 to 1999, checked by the
// caller, as are the coordinates).
struct TImportedElectrode {
    int Number;
    float X, Y, Z;
};
// Fills `seq`, reset and named `name`, as the text import does: ArrayType 9, the remote electrode, the
// electrodes placed (an electrode given twice keeps its later position), the unit spacing from the
// two lowest, a one-segment cable set named `name`, then each quadripole (A B M N, 0 the remote
// electrode, every number checked by the caller) with its derived spacing index and level. At most
// MaxQuadripoles quadripoles, checked by the caller.
void BuildImportedSequence(TSequence& seq, const std::string& name,
                           const std::vector<TImportedElectrode>& electrodes,
                           const std::vector<std::array<int, 4>>& quadripoles);

// Sets SpacingIndex and Level of quadripole q from the X coordinates of its electrodes and a =
// Spacing[0]: the index from the potential dipole's length in units of a (capped at 2), the level from
// the distance of the nearer current electrode to the potential dipole (1 to 32).
void DeriveSpacingAndLevel(TSequence& seq, int q);
