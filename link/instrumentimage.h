// The instrument's image of a sequence, for both families, and the .ele record kept for the Dalvex
// program: bytes only, built from a record and compared with one. Sending them is the upload
// commands' (uploadcommands.h). All multi-byte values little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/sequence.h"

using TImageBytes = std::vector<unsigned char>;

// Coordinate markers (float32 bit patterns 0x47C34FFF and 0x4B800000).
constexpr float RemoteMarker = 99999.9921875f;
constexpr float AbsentMarker = 16777216.0f;

constexpr int Family1MaxQuadripoles = 1500;
// Family 1 sends electrode numbers as single bytes: higher numbers travel as their low 8 bits.
constexpr int Family1MaxElectrodeNumber = 255;
// How much of Name each image holds: family 1's header (and its .ele file names) the first 8
// characters, family 2's header the first 10 bytes of the field.
constexpr std::size_t Family1NameLength = 8;
constexpr std::size_t Family2NameLength = 10;
constexpr int Family2MaxLastElectrode = 1319;
constexpr uint32_t VersionLongTable = 0x20000002;   // long electrode table from this version on
constexpr uint32_t VersionExtraBlock = 0x20000003;  // extra block and command 0xAC from this one on
constexpr int MaxMemoryNumber = 12;

constexpr std::size_t EleRecordSize = 22156;
constexpr std::size_t Family1HeaderSize = 30;
constexpr std::size_t Family1RecordSize = 8;
constexpr std::size_t Family2HeaderSize = 136;
constexpr std::size_t ExtraBlockSize = 48;

// Code tables.
int TimeCode1(int32_t timeMs);
int TimeCode2(int32_t timeMs);
int VmnCode(int32_t vmnRange);
int VabCode(int32_t vmnRange);
int ArrayCode(int32_t arrayType);

// The .ele record kept for the Dalvex program, and its comparison with a sequence.
TImageBytes BuildEleRecord(const TSequence& seq);
bool EleRecordMatches(const TImageBytes& stored, const TSequence& seq);
TImageBytes BuildFamily1Header(const TSequence& seq, int eleIndex);
TImageBytes BuildFamily1Record(const TSequence& seq, int i);
TImageBytes BuildFamily2Header(const TSequence& seq, int32_t memoryNumber);
// Long form (12-byte entries 0..min(LastElectrode, 1319)) or short form (8-byte entries 0..LastElectrode).
TImageBytes BuildElectrodeTable(const TSequence& seq, bool longForm);
TImageBytes BuildExtraBlock();
TImageBytes BuildQuadripoleTable(const TSequence& seq);
// The tables that follow the family-2 header, in the order they are sent, for an instrument
// `version`: the electrode table (long form from 0x20000002 on, cut at 1319), the extra block (from
// 0x20000003 on) and the quadripole table.
std::vector<TImageBytes> BuildFamily2Tables(const TSequence& seq, uint32_t version);
