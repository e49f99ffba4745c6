// Instrument images of both families and UploadSequence against the virtual instrument in memory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "link/instrumentimage.h"
#include "link/linktexts.h"
#include "link/uploadcommands.h"
#include "model/fileio.h"
#include "model/geometry.h"
#include "tests/link/linktestkit.h"

namespace fs = std::filesystem;

namespace {

std::unique_ptr<TSequence> MakeSequence(const std::string& name, int electrodes, int quadripoles) {
    auto seq = std::make_unique<TSequence>();
    seq->Name.Set(name);
    for (int e = 1; e <= electrodes; ++e)
        seq->Electrodes[e] = {static_cast<int16_t>(TElectrodeType::Active), static_cast<int16_t>(e),
                              5.0f * static_cast<float>(e), 1.5f, -0.25f};
    seq->NbElectrode = electrodes;
    seq->FirstElectrode = 1;
    seq->LastElectrode = electrodes;
    seq->ArrayType = 0;
    seq->Spacing[0] = 5.0f;
    seq->LevelUsed[0] = 0x3F;
    for (int i = 0; i < quadripoles; ++i) {
        const int a = i % (electrodes - 3) + 1;
        seq->Quadripoles[i] = {static_cast<int16_t>(a),
                               static_cast<int16_t>(a + 1),
                               static_cast<int16_t>(a + 2),
                               static_cast<int16_t>(a + 3),
                               0,
                               1,
                               -1};
    }
    seq->NbQuadripole = quadripoles;
    return seq;
}

uint32_t Bits(const TImageBytes& b, std::size_t at) {
    uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
int32_t I32(const TImageBytes& b, std::size_t at) { return static_cast<int32_t>(Bits(b, at)); }
float F32(const TImageBytes& b, std::size_t at) {
    float f;
    std::memcpy(&f, b.data() + at, 4);
    return f;
}

TEST(EleFiles, ANameNeverLeadsOutOfTheFolder) {
    TSequence seq;
    seq.NbElectrode = 48;
    seq.NbQuadripole = 45;
    for (const auto& [name, base] : {std::pair{"../../x", "/v/.._.._x_E48_Q45_#"},
                                     {"a/b", "/v/a_b_E48_Q45_#"},
                                     {"a\\b\tc", "/v/a_b_c_E48_Q45_#"},
                                     {"Line12", "/v/Line12_E48_Q45_#"}}) {
        seq.Name.Set(name);
        EXPECT_EQ(EleBasePath("/v", seq), base) << name;
    }
}

TEST(ImageCodes, MarkersHaveTheirBitPatterns) {
    float r = RemoteMarker, a = AbsentMarker;
    uint32_t rb, ab;
    std::memcpy(&rb, &r, 4);
    std::memcpy(&ab, &a, 4);
    EXPECT_EQ(rb, 0x47C34FFFu);
    EXPECT_EQ(ab, 0x4B800000u);
}

struct TTimeCase {
    int Time, Code1, Code2;
};
class TimeCodes : public ::testing::TestWithParam<TTimeCase> {};
TEST_P(TimeCodes, Table) {
    EXPECT_EQ(TimeCode1(GetParam().Time), GetParam().Code1);
    EXPECT_EQ(TimeCode2(GetParam().Time), GetParam().Code2);
}
INSTANTIATE_TEST_SUITE_P(Image, TimeCodes,
                         ::testing::Values(TTimeCase{250, 3, 5}, TTimeCase{500, 2, 4}, TTimeCase{1000, 1, 3},
                                           TTimeCase{2000, 0, 2}, TTimeCase{750, 0, 2}));

struct TVoltageCase {
    int Range, Vmn, Vab;
};
class VoltageCodes : public ::testing::TestWithParam<TVoltageCase> {};
TEST_P(VoltageCodes, HeaderBytes24And26) {
    auto seq = MakeSequence("V", 8, 2);
    seq->VmnRange = GetParam().Range;
    seq->Mode = 0;
    TImageBytes h = BuildFamily2Header(*seq, 1);
    EXPECT_EQ(h[24], GetParam().Vmn << 5);
    EXPECT_EQ(h[26], 0x01 | 0x04 | (GetParam().Vab << 4));
}
INSTANTIATE_TEST_SUITE_P(Image, VoltageCodes,
                         ::testing::Values(TVoltageCase{0, 5, 0}, TVoltageCase{3, 2, 0},
                                           TVoltageCase{4, 1, 0}, TVoltageCase{5, 0, 1},
                                           TVoltageCase{10, 0, 6}, TVoltageCase{11, 0, 7}));

TEST(ImageCodes, ArrayCodesAndModeRhoAndIp) {
    const int expected[10] = {1, 2, 3, 6, 5, 5, 4, 4, 7, 7};
    for (int t = 0; t < 10; ++t) EXPECT_EQ(ArrayCode(t), expected[t]) << t;
    auto seq = MakeSequence("M", 8, 2);
    seq->Mode = 1;
    seq->VmnRange = 7;
    EXPECT_EQ(BuildFamily2Header(*seq, 1)[26], 0x04 | (3 << 4));
}

TEST(ImageLayout, Family2HeaderFields) {
    auto seq = MakeSequence("Line12345678", 48, 300);
    seq->StackMin = 3;
    seq->StackMax = 6;
    seq->QMax = 5;
    seq->Time = 250;
    seq->Area = 2.5f;
    seq->Line = 7.0f;
    seq->FirstElectrode = 2;
    TImageBytes h = BuildFamily2Header(*seq, 9);
    ASSERT_EQ(h.size(), 136u);
    EXPECT_EQ(I32(h, 12), 3);
    EXPECT_EQ(I32(h, 16), 6);
    EXPECT_EQ(F32(h, 20), 5.0f);
    EXPECT_EQ(h[25], 5);
    EXPECT_EQ(I32(h, 28), 1);
    EXPECT_EQ(F32(h, 80), 2.5f);
    EXPECT_EQ(F32(h, 84), 7.0f);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(h.data() + 92), 10), "Line123456");  // no terminator
    EXPECT_EQ(h[102], 0);
    EXPECT_EQ(h[103], 0x91);
    EXPECT_EQ(I32(h, 104), 299);
    EXPECT_EQ(I32(h, 108), 0);
    EXPECT_EQ(I32(h, 112), 299);
    EXPECT_EQ(I32(h, 116), 48);
    EXPECT_EQ(I32(h, 120), 2);
    EXPECT_EQ(I32(h, 124), 48);
    EXPECT_EQ(F32(h, 128), 5.0f);
    EXPECT_EQ(I32(h, 132), 6);
    for (std::size_t i : {0u, 11u, 27u, 32u, 79u, 88u, 91u}) EXPECT_EQ(h[i], 0) << i;
}

TEST(ImageLayout, ElectrodeTablesMarkRemoteAndAbsentEntries) {
    auto seq = MakeSequence("E", 6, 2);
    seq->Electrodes[2].Type = static_cast<int16_t>(TElectrodeType::Remote);
    seq->Electrodes[3].Type = static_cast<int16_t>(TElectrodeType::Node);
    seq->Electrodes[4].Type = static_cast<int16_t>(TElectrodeType::Inactive);
    TImageBytes l = BuildElectrodeTable(*seq, true), s = BuildElectrodeTable(*seq, false);
    ASSERT_EQ(l.size(), 7u * 12);
    ASSERT_EQ(s.size(), 7u * 8);
    EXPECT_EQ(F32(l, 0), RemoteMarker);
    EXPECT_EQ(F32(l, 4), 0.0f);
    EXPECT_EQ(F32(l, 12), 5.0f);
    EXPECT_EQ(F32(l, 20), -0.25f);
    EXPECT_EQ(F32(l, 24), RemoteMarker);
    EXPECT_EQ(F32(l, 36), AbsentMarker);
    EXPECT_EQ(F32(l, 48), 20.0f);  // inactive keeps its place
    EXPECT_EQ(F32(s, 8), 5.0f);
    EXPECT_EQ(F32(s, 12), 1.5f);
    EXPECT_EQ(F32(s, 24), AbsentMarker);
}

TEST(ImageLayout, Family2TablesCutTheLongElectrodeTableAndLeaveTheRecordAlone) {
    auto seq = MakeSequence("E", 6, 2);
    seq->LastElectrode = 1500;
    const std::vector<TImageBytes> tables = BuildFamily2Tables(*seq, 0x20000002);
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0].size(), 1320u * 12);
    EXPECT_EQ(tables[1], BuildQuadripoleTable(*seq));
    EXPECT_EQ(seq->LastElectrode, 1500);  // lowering the record's value is the upload's business
    EXPECT_EQ(BuildFamily2Tables(*seq, 0x20000001)[0].size(), 1501u * 8);
}

TEST(ImageLayout, Family1HeaderAndRecordKeepLow8Bits) {
    auto seq = MakeSequence("Lin", 300, 3);
    seq->StackMin = 0x103;
    seq->QMax = 7;
    seq->Time = 500;
    seq->Quadripoles[1] = {256, 257, 3, 4, 0, 1, -1};
    TImageBytes h = BuildFamily1Header(*seq, 2);
    ASSERT_EQ(h.size(), 30u);
    EXPECT_EQ(h[0], 0x03);  // StackMin first
    EXPECT_EQ(h[1], 7);
    EXPECT_EQ(h[2] | h[3] << 8, 300);
    EXPECT_EQ(h[4], 2);
    EXPECT_EQ(h[10], 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(h.data() + 12)), "Lin");
    for (int i = 15; i < 21; ++i) EXPECT_EQ(h[static_cast<std::size_t>(i)], 0);
    EXPECT_EQ(h[21], 2);
    TImageBytes r = BuildFamily1Record(*seq, 1);
    EXPECT_EQ(r[0], 0);  // electrode 256 becomes 0
    EXPECT_EQ(r[1], 1);
    EXPECT_EQ(F32(r, 4), QuadripoleK(*seq, 1));
}

// Family 2 through the virtual instrument.
struct TVersionCase {
    const char* Name;
    uint32_t Version;
    int Command;
    std::vector<std::size_t> PartSizes;
};
class Family2Versions : public TLinkFixture, public ::testing::WithParamInterface<TVersionCase> {};

TEST_P(Family2Versions, LayoutFollowsTheVersion) {
    const TVersionCase& c = GetParam();
    TInstrumentPeer peer(link, Family2(c.Version));
    auto seq = MakeSequence("Line12", 48, 300);
    std::string t1, t2;
    ASSERT_TRUE(link.Identify(t1, t2));
    unsigned char v[4];
    link.ReadBytes(v, 4);
    EXPECT_EQ(UploadSequence(*seq, link, 2, c.Version, nullptr, ""), 1);
    ASSERT_EQ(peer.Instrument().Commands(), std::vector<int>{c.Command});
    ASSERT_EQ(peer.Instrument().Images().size(), 1u);
    const auto& parts = peer.Instrument().Images()[0].Parts;
    std::vector<std::size_t> sizes;
    for (const auto& p : parts) sizes.push_back(p.size());
    EXPECT_EQ(sizes, c.PartSizes);
    EXPECT_EQ(parts[0], BuildFamily2Header(*seq, 1));
    EXPECT_EQ(parts.back(), BuildQuadripoleTable(*seq));
    EXPECT_EQ(std::vector<TImageBytes>(parts.begin() + 1, parts.end()), BuildFamily2Tables(*seq, c.Version));
}

INSTANTIATE_TEST_SUITE_P(
    Image, Family2Versions,
    ::testing::Values(TVersionCase{"V20000001", 0x20000001, 0xAA, {136, 49 * 8, 300 * 8}},
                      TVersionCase{"V20000002", 0x20000002, 0xAA, {136, 49 * 12, 300 * 8}},
                      TVersionCase{"V20000003", 0x20000003, 0xAC, {136, 49 * 12, 48, 300 * 8}}),
    [](const auto& tc) { return std::string(tc.param.Name); });

using UploadFixture = TLinkFixture;

void EnterRemote(TMemoryLink& link) {
    std::string t1, t2;
    ASSERT_TRUE(link.Identify(t1, t2));
    unsigned char v[4];
    link.ReadBytes(v, 4);
}

TEST_F(UploadFixture, LastElectrodeAbove1319IsClampedInTheRecordButNotInTheHeader) {
    TInstrumentPeer peer(link, Family2(0x20000002));
    auto seq = MakeSequence("Big", 1500, 10);
    EnterRemote(link);
    EXPECT_EQ(UploadSequence(*seq, link, 2, 0x20000002, nullptr, ""), 1);
    const auto& parts = peer.Instrument().Images().at(0).Parts;
    EXPECT_EQ(parts[1].size(), 15840u);
    EXPECT_EQ(I32(parts[0], 124), 1500);
    EXPECT_EQ(seq->LastElectrode, 1319);
}

TEST_F(UploadFixture, NoQuadripolesShowsErrBufferAndStillReturnsTheMemory) {
    TInstrumentPeer peer(link, Family2());
    auto seq = MakeSequence("Empty", 8, 0);
    EnterRemote(link);
    EXPECT_EQ(UploadSequence(*seq, link, 2, 0x20000003, nullptr, ""), 1);
    EXPECT_EQ(host.Messages, std::vector<std::string>{LinkText::ErrBuffer});
    EXPECT_EQ(peer.Instrument().Images().at(0).Parts.size(), 3u);
}

TEST_F(UploadFixture, AFullMemoryAnswersMinusOneAndNothingMoreIsSent) {
    auto o = Family2();
    for (int i = 0; i < 12; ++i) o.Stored.push_back("S" + std::to_string(i));
    TInstrumentPeer peer(link, o);
    auto seq = MakeSequence("More", 8, 4);
    EnterRemote(link);
    link.ClearWritten();
    EXPECT_EQ(UploadSequence(*seq, link, 2, 0x20000003, nullptr, ""), -1);
    // Only the prompt's command handshake went out: sync, command, complement.
    EXPECT_EQ(link.Written(), (Bytes{0x40, 0xAC, 0x53}));
    EXPECT_TRUE(peer.Instrument().Images().empty());
}

TEST_F(UploadFixture, OtherFamiliesSendNothing) {
    auto seq = MakeSequence("X", 8, 4);
    EXPECT_EQ(UploadSequence(*seq, link, 3, 0, nullptr, ""), 0);
    EXPECT_TRUE(link.Written().empty());
}

// Family 1, with its .ele files in a temporary folder.
class Family1Fixture : public TLinkFixture {
   protected:
    void SetUp() override {
        TLinkFixture::SetUp();
        folder =
            fs::temp_directory_path() / ("teravox-link-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }
    int32_t Upload(TSequence& seq, TVirtualInstrument::TOptions o = {}) {
        o.Family = 1;
        TInstrumentPeer peer(link, o);
        host.Answers.push_back(true);
        int32_t r = UploadSequence(seq, link, 1, 0, nullptr, folder.string());
        images = peer.Instrument().Images();
        link.OnWrite = nullptr;
        return r;
    }
    fs::path folder;
    std::vector<TVirtualInstrument::TImage> images;
};

TEST_F(Family1Fixture, NoQuadripolesWritesTheEleFileSendsTheHeaderAndSucceeds) {
    auto seq = MakeSequence("Line12", 48, 0);
    EXPECT_EQ(Upload(*seq), 1);
    const fs::path ele = folder / "Line12_E48_Q0_#1.ele";
    ASSERT_TRUE(fs::exists(ele));
    EXPECT_EQ(fs::file_size(ele), 22156u);
    ASSERT_EQ(host.Messages.size(), 1u);
    EXPECT_EQ(host.Messages[0],
              "\" " + ele.string() + " \"  File required for downloading to DALVEX software");
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].Parts[0], BuildFamily1Header(*seq, 1));
    EXPECT_EQ(host.Questions, std::vector<std::string>{
                                  "Upload process|Select VARNEL menu to upload sequence and press < OK >"});
}

TEST_F(Family1Fixture, TheSameSequenceReusesItsFileAndAChangedOneGetsIndex2) {
    auto seq = MakeSequence("Line12", 48, 300);
    EXPECT_EQ(Upload(*seq), 1);
    const auto firstTime = fs::last_write_time(folder / "Line12_E48_Q300_#1.ele");
    EXPECT_EQ(Upload(*seq), 1);
    EXPECT_EQ(fs::last_write_time(folder / "Line12_E48_Q300_#1.ele"), firstTime);
    EXPECT_FALSE(fs::exists(folder / "Line12_E48_Q300_#2.ele"));
    EXPECT_EQ(images.at(0).Parts[0][21], 1);

    seq->Electrodes[5].X += 1.0f;  // a compared field
    EXPECT_EQ(Upload(*seq), 1);
    EXPECT_TRUE(fs::exists(folder / "Line12_E48_Q300_#2.ele"));
    EXPECT_EQ(images.at(0).Parts[0][21], 2);
}

TEST_F(Family1Fixture, NamesSharingEightCharactersShareTheBasePath) {
    auto a = MakeSequence("Profile1-north", 24, 10);
    auto b = MakeSequence("Profile1-south", 24, 10);
    EXPECT_EQ(Upload(*a), 1);
    EXPECT_EQ(Upload(*b), 1);
    EXPECT_TRUE(fs::exists(folder / "Profile1_E24_Q10_#1.ele"));
    EXPECT_TRUE(fs::exists(folder / "Profile1_E24_Q10_#2.ele"));
}

TEST_F(Family1Fixture, EveryRecordIsAcknowledgedWithItsByteSum) {
    auto seq = MakeSequence("Sums", 48, 40);
    EXPECT_EQ(Upload(*seq), 1);
    ASSERT_EQ(images.at(0).Parts[1].size(), 40u * 8);
    for (int i = 0; i < 40; ++i) {
        TImageBytes r = BuildFamily1Record(*seq, i);
        EXPECT_TRUE(std::equal(r.begin(), r.end(), images[0].Parts[1].begin() + i * 8)) << i;
    }
}

TEST_F(Family1Fixture, AnAcknowledgementOf0xFFAnswersASumOf255) {
    auto seq = MakeSequence("FF", 8, 1);
    // Search for a quadripole whose record sums to 255 (its K changes with the electrodes too).
    int sum = 0;
    for (int16_t n = 4; n < 200 && sum % 256 != 255; ++n) {
        seq->Quadripoles[0] = {1, 2, 3, n, 0, 1, -1};
        sum = 0;
        for (unsigned char c : BuildFamily1Record(*seq, 0)) sum += c;
    }
    ASSERT_EQ(sum % 256, 255);
    EXPECT_EQ(Upload(*seq), 1);
}

TEST_F(Family1Fixture, RefusalWrongAcknowledgementAndTooManyQuadripolesFail) {
    auto seq = MakeSequence("Fail", 48, 20);
    TVirtualInstrument::TOptions refuse;
    refuse.Refuse = true;
    EXPECT_EQ(Upload(*seq, refuse), 0);

    TVirtualInstrument::TOptions spoil;
    spoil.CorruptEvery = 5;
    link.ClearWritten();
    EXPECT_EQ(Upload(*seq, spoil), 0);
    EXPECT_EQ(link.Written().size(), 30u + 5 * 8);  // nothing after the fifth record

    auto big = MakeSequence("Big", 48, 1501);
    host.Messages.clear();
    EXPECT_EQ(UploadSequence(*big, link, 1, 0, nullptr, folder.string()), 0);
    EXPECT_EQ(host.Messages, std::vector<std::string>{LinkText::TooManyForFamily1});
    EXPECT_TRUE(fs::is_empty(folder / ".") || !fs::exists(folder / "Big_E48_Q1501_#1.ele"));
}

TEST_F(Family1Fixture, CancelSendsNothingAndASilentInstrumentTimesOut) {
    auto seq = MakeSequence("Cancel", 8, 2);
    host.Answers.push_back(false);
    EXPECT_EQ(UploadSequence(*seq, link, 1, 0, nullptr, folder.string()), 0);
    EXPECT_TRUE(link.Written().empty());

    TVirtualInstrument::TOptions silent;
    silent.Silent = true;
    const int64_t before = clock.NowMs();
    EXPECT_EQ(Upload(*seq, silent), 0);
    EXPECT_GE(clock.NowMs() - before, 5000);
}

TEST_F(Family1Fixture, AMissingVarnelFolderIsAFileError) {
    auto seq = MakeSequence("NoDir", 8, 2);
    host.Answers.push_back(true);
    EXPECT_THROW(UploadSequence(*seq, link, 1, 0, nullptr, (folder / "missing").string()), TFileError);
}

TEST(EleRecord, LayoutAndComparison) {
    auto seq = MakeSequence("Line12", 48, 300);
    TImageBytes e = BuildEleRecord(*seq);
    ASSERT_EQ(e.size(), 22156u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.data())), "Line12");
    EXPECT_EQ(I32(e, 68), 48);
    EXPECT_EQ(I32(e, 4152), 300);
    EXPECT_TRUE(EleRecordMatches(e, *seq));
    // Fields outside the comparison do not matter; those inside do.
    auto other = MakeSequence("Line12", 48, 300);
    other->QMax = 99;
    other->Quadripoles[3].Reserved = 5;
    EXPECT_TRUE(EleRecordMatches(e, *other));
    other->Quadripoles[3].Level = 4;
    EXPECT_FALSE(EleRecordMatches(e, *other));
    // A short file compares as if zero-filled, and never reads past its end.
    EXPECT_FALSE(EleRecordMatches(TImageBytes(e.begin(), e.begin() + 100), *seq));
}

}  // namespace
