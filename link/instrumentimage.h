// The instrument's image of a sequence, for both families, and UploadSequence, which sends it over an
// open link. All multi-byte values little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/portvirt.h"
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
// "<folder>/<first 8 of Name>_E<NbElectrode>_Q<NbQuadripole>_#"; the files add "<k>.ele".
std::string EleBasePath(const std::string& varnelFolder, const TSequence& seq);
// The index of the .ele file that holds this sequence: the first existing equal one, or the first
// free index. Throws TFileError when an existing file cannot be read.
int FindEleIndex(const std::string& basePath, const TSequence& seq);

TImageBytes BuildFamily1Header(const TSequence& seq, int eleIndex);
TImageBytes BuildFamily1Record(const TSequence& seq, int i);
TImageBytes BuildFamily2Header(const TSequence& seq, int32_t memoryNumber);
// Long form (12-byte entries 0..min(LastElectrode, 1319)) or short form (8-byte entries 0..LastElectrode).
TImageBytes BuildElectrodeTable(const TSequence& seq, bool longForm);
TImageBytes BuildExtraBlock();
TImageBytes BuildQuadripoleTable(const TSequence& seq);

// Sends one sequence to an instrument over an open link. Family 1: 1 = every quadripole acknowledged,
// 0 = refused, cancelled, too many quadripoles, a time-out or a wrong acknowledgement; its .ele file is
// written into (or found in) `varnelFolder`. Family 2: the instrument's memory number (0 is a
// failure), -1 when the memory is full (above 12); for versions 0x20000002 and above LastElectrode is
// lowered to 1319 in the record itself. Other families: 0, nothing sent. Link failures (a stop) pass
// as TLinkError; file failures as TFileError.
int32_t UploadSequence(TSequence& seq, TPortVirt& link, int family, uint32_t instrumentVersion,
                       TProgressIndicator* progress, const std::string& varnelFolder);
