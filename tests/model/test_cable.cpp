#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "model/cable.h"
#include "model/electrodesused.h"
#include "model/fileio.h"
#include "model/sqxfile.h"
#include "tests/support/fixtures.h"
#include "tests/support/testdir.h"

namespace {

TEST(CableSet, QueriesOnThreeSegments) {
    TCable c = MakeCable({{1, 24, 5}, {25, 48, 5}, {49, 72, 5}});
    EXPECT_EQ(SegmentCount(c), 3);
    EXPECT_EQ(FirstNodeOfSet(c), 1);
    EXPECT_EQ(LastNodeOfSet(c), 72);
    EXPECT_EQ(SegmentIndexOfNode(c, 30), 1);
    EXPECT_EQ(SegmentIndexOfNode(c, 73), -1);
    EXPECT_EQ(SegmentOfNode(c, 73), nullptr);
    auto seq = std::make_unique<TSequence>();
    ApplyCableSet(*seq, c);
    EXPECT_EQ(seq->NbElectrode, 72);
    EXPECT_EQ(seq->FirstElectrode, 1);
    for (int k = 1; k <= 72; ++k) {
        ASSERT_EQ(seq->Electrodes[k].Type, 1) << k;
        ASSERT_EQ(seq->Electrodes[k].Number, k);
    }
    EXPECT_EQ(seq->Electrodes[0].Type, 0);
    EXPECT_EQ(seq->Electrodes[73].Type, 0);
}

TEST(CableSet, OrderOfSegmentsDecidesTheFirstElectrode) {
    TCable c = MakeCable({{49, 72, 5}, {1, 24, 5}});
    auto seq = std::make_unique<TSequence>();
    ApplyCableSet(*seq, c);
    EXPECT_EQ(seq->FirstElectrode, 49);
    EXPECT_EQ(FirstNodeOfSet(c), 1);
    EXPECT_EQ(LastNodeOfSet(c), 72);
}

TEST(CableSet, EmptySetQueries) {
    TCable c;
    EXPECT_EQ(SegmentCount(c), 0);
    EXPECT_EQ(FirstNodeOfSet(c), 65000);
    EXPECT_EQ(LastNodeOfSet(c), 0);
    EXPECT_EQ(SegmentIndexOfNode(c, 0), 0);  // node 0 meets the first empty entry
}

struct TIncludeCase {
    const char* Name;
    TSegSpec Existing;
    TSegSpec New;
    TIncludeResult Expected;
};

class Include : public ::testing::TestWithParam<TIncludeCase> {};

TEST_P(Include, FollowsTheOverlapRule) {
    const auto& p = GetParam();
    TCable c = MakeCable({p.Existing});
    TCable before = c;
    auto r = IncludeSegment(c, MakeSegment(p.New));
    EXPECT_EQ(r.Result, p.Expected);
    if (p.Expected == TIncludeResult::Included) {
        EXPECT_EQ(SegmentCount(c), 2);
        EXPECT_EQ(c.Segments[1].FirstNode, p.New.First);
    } else {
        EXPECT_EQ(std::memcmp(&c, &before, sizeof c), 0);
        EXPECT_FALSE(IncludeRefusalText(c, MakeSegment(p.New), r).empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Include,
    ::testing::Values(TIncludeCase{"Overlapping", {1, 24, 5}, {20, 30, 5}, TIncludeResult::Overlap},
                      TIncludeCase{"Adjacent", {1, 24, 5}, {25, 30, 5}, TIncludeResult::Included},
                      TIncludeCase{
                          "ReversibleRepeat", {1, 24, 5}, {1, 24, 5, true}, TIncludeResult::Included},
                      TIncludeCase{"PlainRepeat", {1, 24, 5}, {1, 24, 5}, TIncludeResult::Overlap},
                      TIncludeCase{"NodesAbove1999", {1, 24, 5}, {1990, 2010, 5}, TIncludeResult::Invalid},
                      TIncludeCase{"ZeroSpacing", {1, 24, 5}, {25, 48, 0}, TIncludeResult::Invalid},
                      TIncludeCase{"NegativeSpacing", {1, 24, 5}, {25, 48, -1}, TIncludeResult::Invalid}),
    [](const auto& p) { return std::string(p.param.Name); });

// A set read from a file was never built by IncludeSegment: it is usable exactly when the inclusion
// would have taken its second segment.
TEST_P(Include, ASetReadFromAFileFollowsTheSameRule) {
    const auto& p = GetParam();
    const auto problem = CableSetProblem(MakeCable({p.Existing, p.New}));
    EXPECT_EQ(problem.has_value(), p.Expected != TIncludeResult::Included) << problem.value_or("");
}

TEST(CableSet, OverlapMessageNamesBothSegments) {
    TCable c = MakeCable({{1, 24, 5}});
    TSegment s = MakeSegment({20, 30, 5}, "Blue");
    auto r = IncludeSegment(c, s);
    std::string text = IncludeRefusalText(c, s, r);
    EXPECT_NE(text.find("Blue"), std::string::npos);
    EXPECT_NE(text.find("S1-24"), std::string::npos);
}

TEST(CableSet, AFullSetTakesNoMore) {
    TCable c;
    for (int i = 0; i < 32; ++i)
        ASSERT_EQ(IncludeSegment(c, MakeSegment({i * 10 + 1, i * 10 + 10, 1})).Result,
                  TIncludeResult::Included);
    EXPECT_EQ(IncludeSegment(c, MakeSegment({400, 410, 1})).Result, TIncludeResult::Full);
}

TEST(CableSet, ExcludeMovesTheFollowingUp) {
    TCable c = MakeCable({{1, 24, 5}, {25, 48, 2.5f, true}, {49, 72, 1}});
    ExcludeSegment(c, 0);
    EXPECT_EQ(c.Segments[0].FirstNode, 25);
    EXPECT_EQ(c.Segments[0].Reversible, 1);
    EXPECT_FLOAT_EQ(c.Segments[0].NodeSpacing, 2.5f);
    EXPECT_EQ(c.Segments[1].FirstNode, 49);
    EXPECT_TRUE(c.Segments[2].Empty());
    EXPECT_EQ(c.Segments[2].Name.Get(), "NoName");
    ExcludeSegment(c, 5);  // beyond the used entries: only that entry is emptied
    EXPECT_EQ(SegmentCount(c), 2);
}

TEST(CableSet, AReversibleRepeatNeverCountsMoreElectrodesThanTheTable) {
    TTestDir dir;
    TCable c = MakeCable({{1, 1500, 1, true}});
    ASSERT_EQ(IncludeSegment(c, MakeSegment({1, 1500, 1, true})).Result, TIncludeResult::Included);
    auto seq = std::make_unique<TSequence>();
    ApplyCableSet(*seq, c);
    EXPECT_EQ(seq->NbElectrode, 1999);
    WriteSequenceFile(dir.Path("twice.sqx"), *seq);
    auto back = std::make_unique<TSequence>();
    EXPECT_NO_THROW(ReadSequenceFile(dir.Path("twice.sqx"), *back));
}

TEST(CableSet, UnusableSetsAreRefusedAndTheSequenceKept) {
    TTestDir dir;
    for (TCable c : {MakeCable({{1, 24, 5}, {1990, 2100, 5}}), MakeCable({{1, 24, 0}}),
                     MakeCable({{1, 24, 5}, {25, 48, 5}, {40, 60, 5, true}})}) {
        c.CableName.Set("Bad");
        WriteCableFile(CableFilePath(dir.Path(), "Bad"), c);
        auto seq = std::make_unique<TSequence>();
        ApplyCableSet(*seq, MakeCable({{1, 10, 1}}));
        try {
            LoadCableSet(*seq, dir.Path(), "Bad");
            FAIL() << "accepted";
        } catch (const TFileError& e) {
            EXPECT_NE(std::string(e.what()).find("Bad.cbl"), std::string::npos);
            EXPECT_NE(std::string(e.what()).find("segment"), std::string::npos);
        }
        EXPECT_EQ(seq->NbElectrode, 10);
        EXPECT_EQ(seq->Segments[0].LastNode, 10);
    }
}

TEST(CableSet, FilesRoundTripAndShortFilesFillWhatTheyHave) {
    TTestDir dir;
    TCable c = MakeCable({{1, 48, 2.5f}});
    c.CableName.Set("Long");
    const std::string path = CableFilePath(dir.Path(), "Long");
    WriteCableFile(path, c);
    EXPECT_EQ(ReadWholeFile(path).size(), 1444u);
    auto seq = std::make_unique<TSequence>();
    LoadCableSet(*seq, dir.Path(), "Long");
    EXPECT_EQ(seq->CableName.Get(), "Long");
    EXPECT_EQ(seq->NbElectrode, 48);
    EXPECT_EQ(CableSetNames(dir.Path()), std::vector<std::string>{"Long"});

    // 48 bytes: the reserved word, padding and the first segment; the rest stays as it was.
    const std::string shortPath = CableFilePath(dir.Path(), "Short");
    TCable other = MakeCable({{5, 9, 1}});
    WriteFileAtomic(shortPath, RecordBytes(other), 48);
    TCable target = MakeCable({{1, 2, 1}, {3, 4, 1}});
    ReadCableFile(shortPath, target);
    EXPECT_EQ(target.Segments[0].FirstNode, 5);
    EXPECT_EQ(target.Segments[1].FirstNode, 3);

    EXPECT_THROW(LoadCableSet(*seq, dir.Path(), "Missing"), TFileError);
    EXPECT_EQ(seq->CableName.Get(), "Long");
}

TEST(CableSet, AFileWithAGapBetweenSegmentsReadsWithTheUsedEntriesFirst) {
    TTestDir dir;
    TCable gap = MakeCable({{1, 24, 5}, {0, 0, 0}, {25, 48, 5}, {0, 0, 0}, {0, 0, 0}, {49, 72, 5}});
    const std::string path = CableFilePath(dir.Path(), "Gap");
    WriteCableFile(path, gap);
    TCable c;
    ReadCableFile(path, c);
    EXPECT_EQ(SegmentCount(c), 3);
    EXPECT_EQ(LastNodeOfSet(c), 72);
    EXPECT_EQ(c.Segments[1].Name.Get(), "S25-48");
    EXPECT_EQ(c.Segments[2].Name.Get(), "S49-72");
    // A segment added afterwards goes after the last one, over none of them.
    ASSERT_EQ(IncludeSegment(c, MakeSegment({73, 96, 5})).Result, TIncludeResult::Included);
    EXPECT_EQ(c.Segments[2].FirstNode, 49);
    EXPECT_EQ(c.Segments[3].FirstNode, 73);
    auto seq = std::make_unique<TSequence>();
    LoadCableSet(*seq, dir.Path(), "Gap");
    EXPECT_EQ(seq->NbElectrode, 72);
    EXPECT_EQ(ElectrodeCountRange(*seq).Max, 72);  // every node can be used, not only those before the gap
}

TEST(CableSet, NamesTypedForASetOrASegment) {
    struct TCase {
        std::string Name;
        bool Accepted;
    } cases[] = {
        {"Reel 1", true},
        {std::string(31, 'c'), true},
        {"", false},
        {"  \t ", false},
        {"NoName", false},
        {"My NoName reel", false},
        {std::string(32, 'c'), false},
    };
    for (const TCase& c : cases) EXPECT_EQ(!CableNameProblem(c.Name), c.Accepted) << '"' << c.Name << '"';
}

TEST(SegmentLibrary, CreatedWhenMissingReadInStepsRewritten) {
    TTestDir dir;
    bool created = false;
    auto lib = ReadLibrary(dir.Path(), &created);
    EXPECT_TRUE(created);
    ASSERT_EQ(lib.size(), 1u);
    EXPECT_EQ(lib[0].Name.Get(), "NoName");
    EXPECT_TRUE(lib[0].Empty());

    std::vector<unsigned char> bytes(100, 0);
    EXPECT_EQ(ParseLibrary(bytes).size(), 2u);

    std::vector<TSegment> segs = {MakeSegment({1, 24, 1}, "Yellow 24"), MakeSegment({1, 48, 5}, "Red 48")};
    EXPECT_TRUE(WriteLibrary(dir.Path(), segs));
    lib = ReadLibrary(dir.Path(), &created);
    EXPECT_FALSE(created);
    ASSERT_EQ(lib.size(), 2u);
    EXPECT_EQ(lib[1].Name.Get(), "Red 48");

    TTestDir empty;
    EXPECT_FALSE(WriteLibrary(empty.Path(), segs));  // never creates it
    EXPECT_FALSE(FileExists(empty.Path(SegmentLibraryFileName)));
}

}  // namespace
