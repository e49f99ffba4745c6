// Exchange with the inversion codes: the unified data format of pyGIMLi and BERT (".ohm", also read
// as ".shm" and ".dat") and the "protocol.dat" of R2 and ResIPy.
//
// Unified data format, as written:
//     48                     the electrode count
//     # x y z                the columns of the positions
//     0 0 0                  one line per electrode, electrode k on the k-th line
//     ...
//     1484                   the data count
//     # a b m n              the columns of the data
//     1 2 3 4                one line per quadripole; 0 is the remote electrode
// Read: "#" starts a comment anywhere; a comment just before the positions or the data that names
// columns ("# x z", "# a b m n rhoa err", "# c1 c2 p1 p2") says where they are, otherwise the positions
// are x y z in order (x z when there are two) and the data a b m n. Further columns (resistances,
// errors) and whatever follows the data (a topography block) are read past.
//
// protocol.dat: the count, then "index a b m n" per quadripole; further columns are read past, blank
// lines skipped, nothing else allowed (R2 reads it with Fortran). Positions are not in it: the import
// places electrode i at ((i - 1) x A, 0, 0). A 3D protocol (R3t: a string number before each
// electrode, nine whole numbers a line) is refused rather than misread.
//
// Both files number electrodes 1 to n, in the order of their numbers in the record (for a sequence
// generated on a cable numbered from 1, the same numbers). Numbers are written with "." whatever the
// locale, coordinates in the shortest form that reads back as the same float.
//
// Imports give a sequence like the text import's (import.h): ArrayType 9, a one-segment cable set, the
// spacing index and level derived; they refuse, naming the file and the line, counts past 1,999
// electrodes or 16,000 quadripoles, electrode numbers outside the file's electrodes, numbers that are
// not numbers or not finite, and a file that ends before its counts are met.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/sequence.h"

enum class TInversionFormat { Unified, Protocol };

// The largest file read: 16,000 quadripole lines with a dozen data columns stay below 4 MiB.
constexpr std::size_t MaxInversionFileSize = std::size_t{32} << 20;
// The spacing a protocol.dat is placed with when none is given.
constexpr float DefaultProtocolSpacing = 1.0f;

// The format told by the file's name: ".ohm" and ".shm" are unified, a name ending in "protocol.dat"
// (any case) is a protocol; nothing for other names (a ".dat" may be either).
std::optional<TInversionFormat> InversionFormatOfName(const std::string& path);
// The format told by the start of a ".dat" (its first SniffedBytes): a protocol has no "#" and a second
// line of at least five whole numbers; anything else is read as unified.
constexpr std::size_t SniffedBytes = 4096;
TInversionFormat SniffInversionFormat(std::string_view text);
// The format of a file by its name, else by the start of its content; nothing for a name that is
// not one of these files'. Throws TFileError when the content must be read and cannot be.
std::optional<TInversionFormat> InversionFormatOfFile(const std::string& path);

// The file texts of a sequence. Throw std::invalid_argument when a quadripole uses an electrode that
// has no position in the record (a damaged record).
std::string UnifiedText(const TSequence& seq);
std::string ProtocolText(const TSequence& seq);

// Fill `seq` (reset first) from the text, named `name`. Throw TImportError (import.h) with the line.
void ImportUnifiedBytes(std::string_view text, const std::string& name, TSequence& seq);
// `spacing` must be finite and above 0 (std::invalid_argument otherwise).
void ImportProtocolBytes(std::string_view text, const std::string& name, float spacing, TSequence& seq);

// Reads a file in the given format, or the one told by its name and then its content. The sequence is
// named after the file (TextSequenceName). Throws TFileError naming the file and the line;
// TFileTooLarge above MaxInversionFileSize.
void ImportInversionFile(const std::string& path, std::optional<TInversionFormat> format, float spacing,
                         TSequence& seq);

// Writes folder/stem + ".ohm" or folder/stem + "_protocol.dat" through the atomic-write path and
// returns the path. Throws TFileError naming it.
std::string ExportUnified(const TSequence& seq, const std::string& folder, const std::string& stem);
std::string ExportProtocol(const TSequence& seq, const std::string& folder, const std::string& stem);
