#include <gtest/gtest.h>

#include <cstring>

#include "model/electrodesused.h"
#include "tests/support/fixtures.h"

namespace {

TEST(ElectrodesUsed, RangesForADipoleDipoleOn48Nodes) {
    auto seq = MakeLine(MakeCable({{1, 48, 5}}), {});
    TRange first = FirstElectrodeRange(*seq);
    EXPECT_EQ(first.Min, 1);
    EXPECT_EQ(first.Max, 44);
    TRange count = ElectrodeCountRange(*seq);
    EXPECT_EQ(count.Min, 4);
    EXPECT_EQ(count.Max, 48);
    EXPECT_EQ(AdjustFirstElectrode(*seq, 60, first), 44);
}

TEST(ElectrodesUsed, ReserveByArrayType) {
    const int expected[9] = {4, 3, 2, 4, 3, 4, 3, 4, 4};
    for (int t = 0; t < 9; ++t) EXPECT_EQ(FirstElectrodeReserve(t), expected[t]) << t;
}

TEST(ElectrodesUsed, AFirstElectrodeInAGapMovesToTheNextNode) {
    auto seq = MakeLine(MakeCable({{1, 24, 5}, {41, 64, 5}}), {});
    EXPECT_EQ(AdjustFirstElectrode(*seq, 30, FirstElectrodeRange(*seq)), 41);
    EXPECT_EQ(AdjustFirstElectrode(*seq, 24, FirstElectrodeRange(*seq)), 24);
}

std::unique_ptr<TSequence> Previous() {
    auto prev = MakeLine(MakeCable({{1, 48, 5}}), {});
    TNullChartSink chart;
    GenerateSequence(*prev, ModeCreate, chart);
    return prev;
}

TEST(ElectrodesUsed, RollAlongProposesTheDeepestStart) {
    auto prev = Previous();
    ASSERT_EQ(RollStartElectrode(*prev), 40);
    auto copy = std::make_unique<TSequence>(*prev);
    auto setup = ChoosePreviousSequence(*copy, *prev, ModeRollAlong);
    ASSERT_TRUE(setup);
    EXPECT_EQ(setup->RollStart, 40);
    EXPECT_EQ(setup->ProposedFirst, 40);
    EXPECT_EQ(setup->FirstRange.Min, 37);
    EXPECT_EQ(setup->FirstRange.Max, 41);
    EXPECT_EQ(OverlappingLines(setup->RollStart, 40), 1);
    EXPECT_FLOAT_EQ(copy->RollLimit[0], 195);

    // Starting one electrode earlier lowers the limits by one spacing: d = 40 - 39.
    TElectrodesUsedChoice choice{39, 190, 0, 0, std::nullopt, 48};
    ApplyElectrodesUsed(*copy, ModeRollAlong, setup->RollStart, choice);
    EXPECT_EQ(copy->FirstElectrode, 39);
    EXPECT_FLOAT_EQ(copy->RollLimit[0], 190);
    EXPECT_FLOAT_EQ(copy->Electrodes[39].X, 190);
}

TEST(ElectrodesUsed, MoveAlongTakesTheTypedAbscissa) {
    auto prev = Previous();
    auto copy = std::make_unique<TSequence>(*prev);
    auto setup = ChoosePreviousSequence(*copy, *prev, ModeMoveAlong);
    ASSERT_TRUE(setup);
    EXPECT_EQ(setup->ProposedFirst, 1);  // the first node of its segment
    TElectrodesUsedChoice choice{1, 0, 0, 0, 500.0f, 48};
    ApplyElectrodesUsed(*copy, ModeMoveAlong, setup->RollStart, choice);
    EXPECT_FLOAT_EQ(copy->Electrodes[1].X, 500);
    EXPECT_FLOAT_EQ(copy->RollLimit[0], 195);  // limits are not lowered in a move along
}

TEST(ElectrodesUsed, NoDeepestPositionNoRollStart) {
    auto prev = MakeLine(MakeCable({{1, 48, 5}}), {});  // never generated
    auto copy = std::make_unique<TSequence>(*prev);
    auto before = std::make_unique<TSequence>(*copy);
    EXPECT_FALSE(ChoosePreviousSequence(*copy, *prev, ModeRollAlong));
    EXPECT_EQ(std::memcmp(copy.get(), before.get(), sizeof(TSequence)), 0);
}

TEST(ElectrodesUsed, ANumberFieldOutsideTheTableIsNoRollStart) {
    // A previous sequence read from a file whose entry at the deepest place holds a wild number.
    for (int16_t wild : {int16_t{14100}, int16_t{-3000}, int16_t{2000}}) {
        auto prev = Previous();
        prev->Electrodes[40].Number = wild;
        auto copy = std::make_unique<TSequence>(*prev);
        EXPECT_FALSE(ChoosePreviousSequence(*copy, *prev, ModeRollAlong)) << wild;
    }
}

TEST(ElectrodesUsed, ReversibleSegmentCountsFromItsStart) {
    // Two passes of the same reversible cable: a start at node 20 becomes rank 20 of the segment.
    auto prev = MakeLine(MakeCable({{1, 24, 5, true}, {25, 48, 5}}), {.First = 25});
    TNullChartSink chart;
    GenerateSequence(*prev, ModeCreate, chart);
    int start = RollStartElectrode(*prev);
    ASSERT_GE(start, 1);
    const TSegment* g = SegmentOfNode(*prev, start);
    ASSERT_NE(g, nullptr);
    auto copy = std::make_unique<TSequence>(*prev);
    auto setup = ChoosePreviousSequence(*copy, *prev, ModeRollAlong);
    ASSERT_TRUE(setup);
    int expected = g->Reversible ? start - g->FirstNode + 1 : start;
    EXPECT_EQ(setup->RollStart, expected);
    EXPECT_FLOAT_EQ(copy->Electrodes[setup->RollStart].X, prev->Electrodes[start].X);
}

TEST(ElectrodesUsed, DialogCoordinatesHaveTwoDecimals) {
    EXPECT_FLOAT_EQ(DialogCoordinate(12.3456f), 12.35f);
    EXPECT_FLOAT_EQ(DialogCoordinate(-0.004f), 0.0f);
}

TEST(ShiftLine, MovesOnlyPlacedElectrodes) {
    auto seq = Previous();
    seq->Electrodes[60] = {1, 60, 7, 0, 0};
    ShiftLine(*seq, 40, 0);
    EXPECT_FLOAT_EQ(seq->Electrodes[40].X, 0);
    EXPECT_FLOAT_EQ(seq->Electrodes[1].X, -195);
    EXPECT_FLOAT_EQ(seq->Electrodes[60].X, 7);
    EXPECT_EQ(seq->Electrodes[0].X, RemoteCoordinate);
    EXPECT_FLOAT_EQ(seq->MaxX, 235);
}

}  // namespace
