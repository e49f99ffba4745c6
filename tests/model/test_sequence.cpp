#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "model/fileio.h"
#include "model/sqxfile.h"
#include "tests/support/testdir.h"

namespace {

uint32_t U32At(const std::vector<unsigned char>& b, std::size_t off) {
    return uint32_t(b[off]) | uint32_t(b[off + 1]) << 8 | uint32_t(b[off + 2]) << 16 |
           uint32_t(b[off + 3]) << 24;
}

TEST(SequenceRecord, FreshRecordOnDiskHoldsTheDefaults) {
    TTestDir dir;
    auto seq = std::make_unique<TSequence>();
    const std::string path = dir.Path("fresh.sqx");
    WriteSequenceFile(path, *seq);
    auto bytes = ReadWholeFile(path);
    ASSERT_EQ(bytes.size(), 225608u);
    EXPECT_EQ(U32At(bytes, 1444), 1u);
    EXPECT_EQ(U32At(bytes, 1492), 3u);
    EXPECT_EQ(U32At(bytes, 1496), 6u);
    EXPECT_EQ(U32At(bytes, 1500), 1000u);
    EXPECT_EQ(U32At(bytes, 1508), 4u);
    EXPECT_EQ(U32At(bytes, 1528), 1u);
    for (std::size_t off : {1540u, 1544u, 1548u, 1576u, 1580u})
        EXPECT_EQ(U32At(bytes, off), 0xCB189680u) << off;
    for (int i = 0; i < MaxQuadripoles; ++i) {
        std::size_t end = 33604 + std::size_t(i) * 12 + 10;
        ASSERT_EQ(bytes[end], 0xFF) << i;
        ASSERT_EQ(bytes[end + 1], 0xFF) << i;
        ASSERT_EQ(bytes[end - 10], 0) << i;
    }
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[1448])), "NoName");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[1412])), "NoName");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[4])), "NoName");
    // Padding and the tail of text fields are zero.
    EXPECT_EQ(bytes[2], 0);
    EXPECT_EQ(bytes[1505], 0);
    EXPECT_EQ(bytes[1448 + 31], 0);
}

TEST(SequenceRecord, RoundTripKeepsEveryByte) {
    TTestDir dir;
    auto seq = std::make_unique<TSequence>();
    seq->Name.Set("Line 7");
    seq->Electrodes[12] = {2, 12, 1.5f, -2.25f, 0.125f};
    seq->Quadripoles[0] = {1, 2, 3, 4, 0, 1, -1};
    seq->NbQuadripole = 1;
    seq->RollLimit[2] = 42.0f;
    const std::string path = dir.Path("rt.sqx");
    WriteSequenceFile(path, *seq);
    auto back = std::make_unique<TSequence>();
    ReadSequenceFile(path, *back);
    EXPECT_EQ(std::memcmp(seq.get(), back.get(), sizeof(TSequence)), 0);
}

TEST(SequenceRecord, CableFileReadAsSequenceKeepsOtherDefaults) {
    TTestDir dir;
    TCable c;
    c.CableName.Set("Short");
    c.Segments[0].Name.Set("S1");
    c.Segments[0].FirstNode = 1;
    c.Segments[0].LastNode = 24;
    c.Segments[0].NodeSpacing = 2.5f;
    const std::string path = dir.Path("short.sqx");
    WriteFileAtomic(path, RecordBytes(c), sizeof c);
    auto seq = std::make_unique<TSequence>();
    seq->Version = 77;
    ReadSequenceFile(path, *seq);
    EXPECT_EQ(seq->CableName.Get(), "Short");
    EXPECT_EQ(seq->Segments[0].LastNode, 24);
    auto defaults = std::make_unique<TSequence>();
    EXPECT_EQ(std::memcmp(RecordBytes(*seq) + 1444, RecordBytes(*defaults) + 1444, sizeof(TSequence) - 1444),
              0);
}

// Files shorter than a record, down to an empty one, read over a fresh record: what they hold, then
// the defaults. (An empty file once handed memcpy a null source, which the sanitizers report.)
TEST(SequenceRecord, ShortAndEmptyFilesReadOverTheDefaults) {
    TTestDir dir;
    auto written = std::make_unique<TSequence>();
    written->CableName.Set("Reel");
    written->Version = 7;
    auto defaults = std::make_unique<TSequence>();
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{1445}, sizeof(TSequence) - 1}) {
        const std::string path = dir.Path("short.sqx");
        WriteFileAtomic(path, RecordBytes(*written), size);
        auto seq = std::make_unique<TSequence>();
        seq->Name.Set("Left over");
        ReadSequenceFile(path, *seq);
        EXPECT_EQ(std::memcmp(RecordBytes(*seq), RecordBytes(*written), size), 0) << size;
        EXPECT_EQ(
            std::memcmp(RecordBytes(*seq) + size, RecordBytes(*defaults) + size, sizeof(TSequence) - size), 0)
            << size;
    }
}

TEST(SequenceRecord, ExtraBytesAreIgnoredAndAnUnreadableFileLeavesAFreshRecord) {
    TTestDir dir;
    auto seq = std::make_unique<TSequence>();
    seq->Name.Set("Long");
    std::vector<unsigned char> bytes(RecordBytes(*seq), RecordBytes(*seq) + sizeof(TSequence));
    bytes.resize(bytes.size() + 10, 0xEE);
    const std::string path = dir.Path("long.sqx");
    WriteFileAtomic(path, bytes.data(), bytes.size());
    auto back = std::make_unique<TSequence>();
    ReadSequenceFile(path, *back);
    EXPECT_EQ(std::memcmp(seq.get(), back.get(), sizeof(TSequence)), 0);

    back->Version = 77;
    try {
        ReadSequenceFile(dir.Path("missing.sqx"), *back);
        FAIL() << "read";
    } catch (const TFileError& e) {
        EXPECT_NE(std::string(e.what()).find("missing.sqx"), std::string::npos);
    }
    EXPECT_EQ(back->Version, 1);
}

struct TBadRecordCase {
    const char* Name;
    void (*Spoil)(TSequence&);
};

class BadRecords : public ::testing::TestWithParam<TBadRecordCase> {};

TEST_P(BadRecords, AreRefusedNamingTheFile) {
    TTestDir dir;
    auto seq = std::make_unique<TSequence>();
    GetParam().Spoil(*seq);
    const std::string path = dir.Path("bad.sqx");
    WriteSequenceFile(path, *seq);
    auto back = std::make_unique<TSequence>();
    try {
        ReadSequenceFile(path, *back);
        FAIL() << "accepted";
    } catch (const TFileError& e) {
        EXPECT_NE(std::string(e.what()).find("bad.sqx"), std::string::npos);
    }
    EXPECT_EQ(back->NbQuadripole, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Sqx, BadRecords,
    ::testing::Values(
        TBadRecordCase{"QuadripoleCountAboveCap", [](TSequence& s) { s.NbQuadripole = 16001; }},
        TBadRecordCase{"NegativeQuadripoleCount", [](TSequence& s) { s.NbQuadripole = -1; }},
        TBadRecordCase{"ElectrodeNumberOutsideTable",
                       [](TSequence& s) {
                           s.NbQuadripole = 1;
                           s.Quadripoles[0] = {1, 2, 2000, 4, 0, 1, -1};
                       }},
        TBadRecordCase{"FirstElectrodeOutsideTable", [](TSequence& s) { s.FirstElectrode = 5000; }},
        TBadRecordCase{"ElectrodeCountAboveAnyCable", [](TSequence& s) { s.NbElectrode = 4001; }},
        TBadRecordCase{"SpacingIndexOutsideTable",
                       [](TSequence& s) {
                           s.NbQuadripole = 1;
                           s.Quadripoles[0] = {1, 2, 3, 4, 3, 1, -1};
                       }}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST(SequenceRecord, OlderFilesValuesWithinTheTableAreReadAsTheirMeaning) {
    TTestDir dir;
    auto seq = std::make_unique<TSequence>();
    seq->FirstElectrode = 2000;  // an import without coordinates
    seq->NbElectrode = 2400;     // a reversible cable laid twice
    const std::string path = dir.Path("old.sqx");
    WriteSequenceFile(path, *seq);
    auto back = std::make_unique<TSequence>();
    ReadSequenceFile(path, *back);
    EXPECT_EQ(back->FirstElectrode, 0);
    EXPECT_EQ(back->NbElectrode, 1999);
}

TEST(SequenceRecord, RecordTextIsUtf8OrReadAsOneByteCharacters) {
    struct TCase {
        const char* Bytes;
        const char* Utf8;
    } cases[] = {
        {"DD 5m", "DD 5m"},
        {"Tranch\xC3\xA9"
         "e",
         "Tranch\xC3\xA9"
         "e"},  // UTF-8 already
        {"Tranch\xE9"
         "e",
         "Tranch\xC3\xA9"
         "e"},                                         // one-byte text
        {"a\xC0\xAF", "a\xC3\x80\xC2\xAF"},            // an overlong form is no UTF-8
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},  // nor is a surrogate
        {"cut \xC3", "cut \xC3\x83"},                  // nor a character cut short
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(RecordTextUtf8(c.Bytes), c.Utf8) << c.Bytes;
}

TEST(SequenceRecord, TextFieldsKeepThirtyOneCharacters) {
    TSequence* seq = new TSequence;
    seq->Name.Set(std::string(40, 'x'));
    EXPECT_EQ(seq->Name.Get(), std::string(31, 'x'));
    EXPECT_EQ(seq->Name.Bytes[31], '\0');
    seq->Name.Set("");
    for (char c : seq->Name.Bytes) EXPECT_EQ(c, '\0');
    seq->Name.Set("x");
    seq->Name.Set(std::string_view{});  // no characters, and no pointer to them either
    for (char c : seq->Name.Bytes) EXPECT_EQ(c, '\0');
    seq->Name.Set("long name that is replaced");
    seq->Name.Set("ab");
    EXPECT_EQ(seq->Name.Bytes[3], '\0');  // bytes after the NUL are cleared
    delete seq;
}

// A field keeps bytes; the refusal says so, and counts the characters when they are fewer.
TEST(SequenceRecord, TypedTextLongerThanItsFieldIsRefusedInBytes) {
    struct TCase {
        std::string Text;
        std::size_t Max;
        std::optional<std::string> Problem;
    } cases[] = {
        {std::string(31, 'x'), 31, std::nullopt},
        {std::string(32, 'x'), 31, "at most 31 bytes, not 32"},
        {"Tranch\xC3\xA9"
         "e",
         9, std::nullopt},
        {"Tranch\xC3\xA9"
         "es",
         9, "at most 9 bytes, not 10 (9 characters)"},
        {"\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC", 8, "at most 8 bytes, not 9 (3 characters)"},
    };
    for (const TCase& c : cases) EXPECT_EQ(TextLengthProblem(c.Text, c.Max), c.Problem) << c.Text;
}

struct TMaskCase {
    uint32_t Mask;
    int Count, Lowest, Highest, FirstMissing;
};

class LevelMasks : public ::testing::TestWithParam<TMaskCase> {};

TEST_P(LevelMasks, Operations) {
    const auto& c = GetParam();
    auto m = static_cast<int32_t>(c.Mask);
    EXPECT_EQ(LevelCount(m), c.Count);
    EXPECT_EQ(LowestLevel(m), c.Lowest);
    EXPECT_EQ(HighestLevel(m), c.Highest);
    EXPECT_EQ(FirstMissingLevel(m), c.FirstMissing);
}

INSTANTIATE_TEST_SUITE_P(Masks, LevelMasks,
                         ::testing::Values(TMaskCase{0u, 0, -1, -1, 0}, TMaskCase{1u, 1, 0, 0, 1},
                                           TMaskCase{0x3Fu, 6, 0, 5, 6}, TMaskCase{0x8000000Au, 3, 1, 31, 0},
                                           TMaskCase{0xFFFFFFFFu, 32, 0, 31, 32},
                                           TMaskCase{0x7FFFFFFFu, 31, 0, 30, 31},
                                           TMaskCase{0x13u, 3, 0, 4, 2}));

TEST(LevelMasks, SetLevels) {
    int32_t m = 0x55;
    SetLevels(m, 32);
    EXPECT_EQ(static_cast<uint32_t>(m), 0xFFFFFFFFu);
    SetLevels(m, 0);
    EXPECT_EQ(m, 0);
    SetLevels(m, -3);
    EXPECT_EQ(m, 0);
    SetLevels(m, 6);
    EXPECT_EQ(m, 0x3F);
    EXPECT_EQ(FirstMissingLevel(m), LevelCount(m));  // a plain 1..k mask
}

TEST(SequenceRecord, CodeTexts) {
    EXPECT_EQ(ArrayTypeName(0), "Dipole dipole");
    EXPECT_EQ(ArrayTypeName(4), "Wenner-Schlumberger");
    EXPECT_EQ(ArrayTypeName(3), "");
    EXPECT_EQ(VmnRangeText(4), "Vmn =Save energy");
    EXPECT_EQ(VmnRangeText(11), "Vab = 800V");
    EXPECT_EQ(VmnRangeText(12), "");
}

}  // namespace
