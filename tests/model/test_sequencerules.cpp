#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "model/generate.h"
#include "model/geometry.h"
#include "model/sequencerules.h"
#include "tests/support/fixtures.h"
#include "tests/support/longline.h"

namespace {

TEST(SequenceRules, LengthsAndArrays) {
    EXPECT_EQ(DipoleLengthMultiples(1).Min, 2);
    EXPECT_EQ(DipoleLengthMultiples(1).Max, 6);
    EXPECT_EQ(DipoleLengthMultiples(2).Min, 3);
    EXPECT_EQ(DipoleLengthMultiples(2).Max, 9);
    for (TArrayType t : {TArrayType::PolePole, TArrayType::Wenner})
        EXPECT_TRUE(UsesOneSpacing(static_cast<int32_t>(t)));
    for (TArrayType t : {TArrayType::DipoleDipole, TArrayType::PoleDipole, TArrayType::WennerSchlumberger})
        EXPECT_FALSE(UsesOneSpacing(static_cast<int32_t>(t)));
    for (int ms : {2000, 1000, 500, 250}) EXPECT_TRUE(IsTimeChoice(ms));
    for (int ms : {0, 750, 3000}) EXPECT_FALSE(IsTimeChoice(ms));
}

TEST(SequenceRules, ANewSpacingKeepsTheOtherLengthsAsMultiples) {
    TSequence seq;
    seq.Spacing[0] = 5;
    SetDipoleLength(seq, 1, 3);
    EXPECT_EQ(seq.Spacing[1], 15.0f);
    SetElectrodeSpacing(seq, 2);
    EXPECT_EQ(seq.Spacing[0], 2.0f);
    EXPECT_EQ(seq.Spacing[1], 6.0f);
    EXPECT_EQ(seq.Spacing[2], 0.0f);
    seq.LevelUsed[1] = 3;
    ClearDipoleLengths(seq, 1);
    EXPECT_EQ(seq.Spacing[1], 0.0f);
    EXPECT_EQ(seq.LevelUsed[1], 0);
    EXPECT_EQ(seq.Spacing[0], 2.0f) << "a is never cleared";
}

TEST(SequenceRules, AMoveAlongIsGeneratedAsARollAlong) {
    EXPECT_EQ(GeneratorMode(ModeCreate), ModeCreate);
    EXPECT_EQ(GeneratorMode(ModeRollAlong), ModeRollAlong);
    EXPECT_EQ(GeneratorMode(ModeMoveAlong), ModeRollAlong);
}

struct TEmptyCase {
    const char* Name;
    TGenerationMode Mode;
    int32_t Levels;
    int Electrodes;
    float RollLimit;
    const char* Reason;  // empty: quadripoles expected
};

class EmptyGenerations : public ::testing::TestWithParam<TEmptyCase> {};

TEST_P(EmptyGenerations, SayWhyNothingFitted) {
    const TEmptyCase& c = GetParam();
    auto seq = MakeLine(MakeCable({{1, 48, 5}}), {.Levels = c.Levels, .Electrodes = c.Electrodes});
    for (float& limit : seq->RollLimit) limit = c.RollLimit;
    TNullChartSink none;
    TGenerationResult r = RunGeneration(*seq, c.Mode, none);
    if (std::string(c.Reason).empty()) {
        EXPECT_GT(seq->NbQuadripole, 0);
        EXPECT_TRUE(r.EmptyReason.empty());
        EXPECT_TRUE(r.Complete);
        return;
    }
    EXPECT_EQ(seq->NbQuadripole, 0);
    EXPECT_NE(r.EmptyReason.find(c.Reason), std::string::npos) << r.EmptyReason;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EmptyGenerations,
    ::testing::Values(
        TEmptyCase{"Fits", ModeCreate, 0x3F, 48, NotSet, ""},
        TEmptyCase{"TooFewElectrodes", ModeCreate, 1 << 29, 8, NotSet, "8 electrodes"},
        TEmptyCase{"RollLimitsBeyondTheLine", ModeRollAlong, 0x3F, 48, 10000, "roll-along limits"},
        TEmptyCase{"MoveAlongBeyondTheLine", ModeMoveAlong, 0x3F, 48, 10000, "roll-along limits"},
        TEmptyCase{"RollAlongTooFew", ModeRollAlong, 1 << 29, 8, NotSet, "8 electrodes"}),
    [](const ::testing::TestParamInfo<TEmptyCase>& c) { return std::string(c.param.Name); });

// A line longer than 16,000 quadripoles cover is cut; the result says so and where.
TEST(SequenceRules, TheCapSaysWhereItCutTheLine) {
    struct {
        int Nodes;
        int Levels;
        bool Cut;
    } cases[] = {{1000, 32, true}, {1000, 6, false}, {48, 32, false}};
    for (const auto& c : cases) {
        auto seq = UniformLine(0, c.Nodes, 5, c.Levels);
        TNullChartSink none;
        const TGenerationResult r = RunGeneration(*seq, ModeCreate, none);
        EXPECT_EQ(!r.CapCut.empty(), c.Cut) << c.Nodes << " nodes, levels 1-" << c.Levels;
        EXPECT_EQ(r.Complete, !c.Cut);
        if (!c.Cut) continue;
        EXPECT_EQ(seq->NbQuadripole, MaxQuadripoles);
        float reached = 0;
        for (int i = 0; i < MaxQuadripoles; ++i)
            reached = std::max(reached, PseudoX(*seq, seq->Quadripoles[i]));
        char where[128];
        std::snprintf(where, sizeof where, "reach x = %.6g of a line whose last electrode is at x = 4995",
                      reached);
        EXPECT_NE(r.CapCut.find("16000-quadripole limit cut the sequence"), std::string::npos) << r.CapCut;
        EXPECT_NE(r.CapCut.find(where), std::string::npos) << r.CapCut;
        EXPECT_LT(reached, 0.6f * 4995.0f) << "the cut leaves much of the line uncovered";
    }
}

TEST(SequenceRules, ARecordThatCannotBeGeneratedIsRefusedUntouched) {
    auto seq = MakeLine(MakeCable({{1, 48, 5}}), {.A = 0});
    auto before = std::make_unique<TSequence>(*seq);
    TNullChartSink none;
    EXPECT_THROW(RunGeneration(*seq, ModeCreate, none), std::invalid_argument);
    EXPECT_EQ(std::memcmp(seq.get(), before.get(), sizeof(TSequence)), 0);
}

// The refusal RunGeneration throws is the precondition's own text, whichever check refuses, and in
// every mode.
TEST(SequenceRules, ARefusalCarriesThePreconditionsText) {
    const struct {
        const char* Name;
        void (*Spoil)(TSequence&);
    } cases[] = {
        {"spacing", [](TSequence& s) { s.Spacing[0] = 0.0005f; }},
        {"too close", [](TSequence& s) { s.Spacing[0] = 0.015f; }},
        {"first not a node", [](TSequence& s) { s.FirstElectrode = 60; }},
        {"no electrode", [](TSequence& s) { s.NbElectrode = 0; }},
        {"infinite dipole", [](TSequence& s) { s.Spacing[2] = INFINITY; }},
        {"start beyond the remote", [](TSequence& s) { s.Electrodes[s.FirstElectrode].X = 2e6f; }},
        {"line end beyond the remote", [](TSequence& s) { s.MaxX = 1e6f; }},
    };
    for (const auto& c : cases)
        for (TGenerationMode mode : {ModeCreate, ModeRollAlong, ModeMoveAlong}) {
            auto seq = MakeLine(MakeCable({{1, 48, 5}}), {});
            c.Spoil(*seq);
            const auto before = std::make_unique<TSequence>(*seq);
            const std::optional<std::string> expected = GenerationProblem(*seq);
            ASSERT_TRUE(expected.has_value()) << c.Name;
            TNullChartSink none;
            try {
                RunGeneration(*seq, mode, none);
                ADD_FAILURE() << c.Name << ": not refused";
            } catch (const std::invalid_argument& e) {
                EXPECT_EQ(e.what(), *expected) << c.Name;
            }
            EXPECT_EQ(std::memcmp(seq.get(), before.get(), sizeof(TSequence)), 0) << c.Name;
        }
}

}  // namespace
