#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "model/iporder.h"
#include "model/reciprocal.h"
#include "tests/model/linefixtures.h"

namespace {

using TKey = std::tuple<int, int, int, int, int, int>;

std::vector<TKey> Multiset(const TSequence& seq) {
    std::vector<TKey> keys;
    for (int i = 0; i < seq.NbQuadripole; ++i) {
        const TQuadripole& q = seq.Quadripoles[i];
        keys.emplace_back(q.A, q.B, q.M, q.N, q.SpacingIndex, q.Level);
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

struct TCountCase {
    const char* Name;
    std::vector<TQuadripole> Readings;
    int Window;
    int Conflicts;
};

class ConflictCount : public ::testing::TestWithParam<TCountCase> {};

TEST_P(ConflictCount, CountsReadingsThatReadOnARecentCurrentElectrode) {
    const auto& c = GetParam();
    EXPECT_EQ(CountIpConflicts(c.Readings.data(), static_cast<int>(c.Readings.size()), c.Window),
              c.Conflicts);
}

// Readings are A B M N; the spacing index and level do not matter here.
TQuadripole R(int a, int b, int m, int n) {
    return {int16_t(a), int16_t(b), int16_t(m), int16_t(n), 0, 1, -1};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConflictCount,
    ::testing::Values(
        TCountCase{"MOnThePreviousA", {R(1, 2, 3, 4), R(5, 6, 1, 7)}, 1, 1},
        TCountCase{"NOnThePreviousB", {R(1, 2, 3, 4), R(5, 6, 7, 2)}, 1, 1},
        TCountCase{"BothOnOneReadingCountOnce", {R(1, 2, 3, 4), R(5, 6, 1, 2)}, 5, 1},
        TCountCase{"CurrentOnAPreviousPotentialIsFine", {R(1, 2, 3, 4), R(3, 4, 5, 6)}, 5, 0},
        TCountCase{"JustOutsideTheWindow", {R(1, 2, 3, 4), R(5, 6, 7, 8), R(9, 10, 1, 11)}, 1, 0},
        TCountCase{"JustInsideTheWindow", {R(1, 2, 3, 4), R(5, 6, 7, 8), R(9, 10, 1, 11)}, 2, 1},
        TCountCase{
            "AnOldUseDoesNot", {R(1, 2, 3, 4), R(5, 6, 7, 8), R(9, 10, 11, 12), R(13, 14, 1, 15)}, 2, 0},
        TCountCase{
            "TheLastUseCounts", {R(1, 2, 3, 4), R(5, 6, 7, 8), R(1, 9, 10, 11), R(12, 13, 14, 1)}, 1, 1},
        TCountCase{"TheRemoteElectrodeNever", {R(0, 2, 3, 4), R(0, 5, 0, 6), R(0, 7, 0, 8)}, 5, 0},
        TCountCase{"NoWindow", {R(1, 2, 3, 4), R(5, 6, 1, 2)}, 0, 0},
        TCountCase{"Reciprocals", {R(1, 2, 3, 4), R(3, 4, 1, 2), R(1, 2, 3, 4)}, 5, 2}),
    [](const auto& tc) { return std::string(tc.param.Name); });

// Dipole-dipole a = 1, levels 1 to 8 on 64 electrodes, followed by its reciprocals.
std::unique_ptr<TSequence> DipoleDipoleWithReciprocals() {
    auto seq = GeneratedLine(0, 64, 1.0f, 8, false);
    EXPECT_TRUE(MakeReciprocals(*seq, TReciprocalMode::Append, *seq).Done);
    return seq;
}

TEST(IpOrder, DipoleDipoleWithReciprocalsReachesNoConflictAtWindow5) {
    auto seq = DipoleDipoleWithReciprocals();
    const auto before = Multiset(*seq);
    const int initial = CountIpConflicts(*seq, 5);
    ASSERT_GT(initial, 0);
    TIpOrderResult r = OrderForIp(*seq, 5);
    EXPECT_EQ(r.ConflictsBefore, initial);
    EXPECT_EQ(r.ConflictsAfter, 0);
    EXPECT_EQ(CountIpConflicts(*seq, 5), 0);
    EXPECT_EQ(Multiset(*seq), before);
    // Readings that share a current pair came out together: one run per pair.
    std::set<std::pair<int, int>> pairs;
    int runs = 0;
    for (int i = 0; i < seq->NbQuadripole; ++i) {
        const TQuadripole& q = seq->Quadripoles[i];
        pairs.insert({q.A, q.B});
        if (i == 0 || q.A != seq->Quadripoles[i - 1].A || q.B != seq->Quadripoles[i - 1].B) ++runs;
    }
    EXPECT_EQ(runs, static_cast<int>(pairs.size()));
}

struct TOrderCase {
    const char* Name;
    int Array, Electrodes, Levels;
    bool Reciprocals;
};

class IpOrderOfArray : public ::testing::TestWithParam<TOrderCase> {};

// Whatever the sequence and the window: the same quadripoles, and never more conflicts than before.
TEST_P(IpOrderOfArray, APermutationThatNeverMakesThingsWorse) {
    const auto& c = GetParam();
    for (int window : {1, 2, 5, 8, 12}) {
        auto seq = GeneratedLine(c.Array, c.Electrodes, 1.0f, c.Levels, false);
        if (c.Reciprocals) {
            ASSERT_TRUE(MakeReciprocals(*seq, TReciprocalMode::Append, *seq).Done);
        }
        const auto before = Multiset(*seq);
        TIpOrderResult r = OrderForIp(*seq, window);
        EXPECT_EQ(Multiset(*seq), before) << "window " << window;
        EXPECT_LE(r.ConflictsAfter, r.ConflictsBefore) << "window " << window;
        EXPECT_EQ(r.ConflictsAfter, CountIpConflicts(*seq, window)) << "window " << window;
    }
}

INSTANTIATE_TEST_SUITE_P(Arrays, IpOrderOfArray,
                         ::testing::Values(TOrderCase{"DipoleDipole", 0, 48, 6, false},
                                           TOrderCase{"DipoleDipoleReciprocals", 0, 48, 6, true},
                                           TOrderCase{"PoleDipoleReciprocals", 1, 32, 8, true},
                                           TOrderCase{"PolePole", 2, 32, 8, true},
                                           TOrderCase{"WennerReciprocals", 6, 40, 6, true},
                                           TOrderCase{"WennerSchlumbergerReciprocals", 4, 40, 6, true},
                                           TOrderCase{"ShortLine", 0, 6, 3, true}),
                         [](const auto& tc) { return std::string(tc.param.Name); });

TEST(IpOrder, SaysWhatRemainsWhereNoOrderIsFree) {
    // A reading and its reciprocal on four electrodes: whichever comes second reads on the first's
    // current electrodes.
    auto seq = std::make_unique<TSequence>();
    seq->Quadripoles[0] = R(1, 2, 3, 4);
    seq->Quadripoles[1] = R(3, 4, 1, 2);
    seq->NbQuadripole = 2;
    TIpOrderResult r = OrderForIp(*seq, 1);
    EXPECT_EQ(r.ConflictsBefore, 1);
    EXPECT_EQ(r.ConflictsAfter, 1);
}

TEST(IpOrder, MovesAReadingAwayFromTheCurrentBeforeIt) {
    auto seq = std::make_unique<TSequence>();
    const TQuadripole readings[] = {R(1, 2, 3, 4), R(5, 6, 1, 2), R(7, 8, 9, 10)};
    std::copy(std::begin(readings), std::end(readings), seq->Quadripoles);
    seq->NbQuadripole = 3;
    TIpOrderResult r = OrderForIp(*seq, 1);
    EXPECT_EQ(r.ConflictsBefore, 1);
    EXPECT_EQ(r.ConflictsAfter, 0);
    EXPECT_EQ(seq->Quadripoles[0].A, 1);
    EXPECT_EQ(seq->Quadripoles[1].A, 7);
    EXPECT_EQ(seq->Quadripoles[2].A, 5);
}

TEST(IpOrder, EdgeCases) {
    auto seq = std::make_unique<TSequence>();
    EXPECT_EQ(OrderForIp(*seq, 5).ConflictsAfter, 0);  // no quadripole
    seq->Quadripoles[0] = R(1, 2, 3, 4);
    seq->NbQuadripole = 1;
    EXPECT_EQ(OrderForIp(*seq, 5).ConflictsAfter, 0);
    EXPECT_EQ(seq->Quadripoles[0].A, 1);
    EXPECT_EQ(OrderForIp(*seq, 0).ConflictsBefore, 0);
    EXPECT_THROW(OrderForIp(*seq, -1), std::invalid_argument);
    // A window far longer than the sequence is the whole sequence.
    auto dd = DipoleDipoleWithReciprocals();
    const auto before = Multiset(*dd);
    TIpOrderResult r = OrderForIp(*dd, 1 << 30);
    EXPECT_EQ(Multiset(*dd), before);
    EXPECT_LE(r.ConflictsAfter, r.ConflictsBefore);
}

}  // namespace
