// .sqx files: the sequence record written whole, 225,608 bytes, nothing else.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "model/sequence.h"

// Writes the record to the file atomically (temporary name, then rename). Throws TFileError.
void WriteSequenceFile(const std::string& path, const TSequence& seq);

// Resets the record to its defaults and reads up to 225,608 bytes of the file over it (a shorter file
// leaves the defaults in the rest). The version is not checked. A record whose counts or electrode
// numbers lie outside the record's limits is refused with TFileError and `seq` is left at its defaults.
void ReadSequenceFile(const std::string& path, TSequence& seq);

// The same from bytes in memory (the first 225,608 of them): the reason the record is refused, with
// `seq` back at its defaults, or nothing when it was read.
std::optional<std::string> ReadSequenceBytes(const unsigned char* data, std::size_t size, TSequence& seq);

// Why a record read from outside cannot be used (counts or electrode numbers beyond the tables, a
// placed electrode at a position that is not a finite number), or nothing when it is sound.
std::optional<std::string> SequenceLimitsProblem(const TSequence& seq);
