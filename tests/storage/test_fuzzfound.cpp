// Inputs the fuzzers found: each once broke a reader or what reads its record afterwards.
#include <gtest/gtest.h>

#include <cmath>

#include "model/cable.h"
#include "model/geometry.h"
#include "model/sqxfile.h"

TEST(FuzzFound, ACableWhoseFirstEntryIsEmptyKeepsTheRecordWithinItsLimits) {
    TCable cable;
    cable.Segments[0].FirstNode = -11008;  // LastNode 0: an empty entry with garbage in it
    cable.Segments[0].LastNode = 0;
    TSequence seq;
    ASSERT_FALSE(CableSetProblem(cable));
    ApplyCableSet(seq, cable);
    EXPECT_EQ(SequenceLimitsProblem(seq), std::nullopt);
}

TEST(FuzzFound, SpacingTextOfAnyFloat) {
    TSequence seq;
    seq.Spacing[0] = 0.001f;
    for (float f : {NAN, INFINITY, -INFINITY, 3e38f}) {
        seq.Spacing[1] = f;
        EXPECT_EQ(SpacingMultipleText(seq, 1, false), "0");
    }
    seq.Spacing[0] = 2.5f;
    seq.Spacing[1] = 7.5f;
    EXPECT_EQ(SpacingMultipleText(seq, 1, true), "3 x a");
}

TEST(FuzzFound, AnEmptyEntryBeforeAUsedOneMarksNoNode) {
    TCable cable;
    cable.Segments[0].FirstNode = 0;  // empty, but with a last node past the electrode table
    cable.Segments[0].LastNode = 8192;
    cable.Segments[1].FirstNode = 1;
    cable.Segments[1].LastNode = 12;
    cable.Segments[1].NodeSpacing = 2.5f;
    TSequence seq;
    ASSERT_FALSE(CableSetProblem(cable));
    ApplyCableSet(seq, cable);
    EXPECT_EQ(seq.NbElectrode, 12);
    EXPECT_EQ(seq.Electrodes[12].Type, 1);
    EXPECT_EQ(seq.Electrodes[13].Type, 0);
}
