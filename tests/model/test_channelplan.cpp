#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "model/channelplan.h"
#include "model/iporder.h"
#include "model/reciprocal.h"
#include "tests/model/linefixtures.h"

namespace {

TQuadripole R(int a, int b, int m, int n) {
    return {int16_t(a), int16_t(b), int16_t(m), int16_t(n), 0, 1, -1};
}

std::vector<std::tuple<int, int, int, int>> Multiset(const TSequence& seq) {
    std::vector<std::tuple<int, int, int, int>> keys;
    for (int i = 0; i < seq.NbQuadripole; ++i) {
        const TQuadripole& q = seq.Quadripoles[i];
        keys.emplace_back(q.A, q.B, q.M, q.N);
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

// The oracle, counted the long way: walk the list keeping the current dipole and how many channels it
// has used; the fewest from the readings of each dipole, whatever their order.
struct TDirectCount {
    int Injections = 0, Fewest = 0, Dipoles = 0;
};

TDirectCount DirectCount(const TSequence& seq, int channels) {
    TDirectCount c;
    int a = -1, b = -1, used = 0;
    std::map<std::pair<int, int>, int> perDipole;
    for (int i = 0; i < seq.NbQuadripole; ++i) {
        const TQuadripole& q = seq.Quadripoles[i];
        if (q.A != a || q.B != b || used == channels) {
            ++c.Injections;
            a = q.A;
            b = q.B;
            used = 0;
        }
        ++used;
        ++perDipole[{q.A, q.B}];
    }
    for (const auto& [dipole, n] : perDipole) {
        int left = n;
        while (left > 0) {
            ++c.Fewest;
            left -= channels;
        }
    }
    c.Dipoles = static_cast<int>(perDipole.size());
    return c;
}

struct TDesign {
    const char* Name;
    int Array, Electrodes, Levels;
    int Spacing2, Spacing3;  // as multiples of a; 0 = not used
    bool Reciprocals;
};

std::unique_ptr<TSequence> Generated(const TDesign& d) {
    TCable c = MakeCable({{1, d.Electrodes, 1.0f}});
    TLineSpec spec;
    spec.Array = d.Array;
    spec.A = 1.0f;
    SetLevels(spec.Levels, d.Levels);
    spec.Spacing2 = static_cast<float>(d.Spacing2);
    spec.Spacing3 = static_cast<float>(d.Spacing3);
    if (d.Spacing2 > 0) SetLevels(spec.Levels2, d.Levels);
    if (d.Spacing3 > 0) SetLevels(spec.Levels3, d.Levels);
    auto seq = MakeLine(c, spec);
    TNullChartSink chart;
    GenerateSequence(*seq, ModeCreate, chart);
    if (d.Reciprocals) {
        EXPECT_TRUE(MakeReciprocals(*seq, TReciprocalMode::Append, *seq).Done);
    }
    return seq;
}

class ChannelPlanOfDesign : public ::testing::TestWithParam<TDesign> {};

TEST_P(ChannelPlanOfDesign, CountsAsTheDirectCountAndTheOrderReachesTheFewest) {
    auto seq = Generated(GetParam());
    ASSERT_GT(seq->NbQuadripole, 0);
    for (int channels : {1, 4, 8}) {
        SCOPED_TRACE(channels);
        const TDirectCount direct = DirectCount(*seq, channels);
        const TChannelPlan p = PlanChannels(*seq, channels);
        EXPECT_EQ(p.Readings, seq->NbQuadripole);
        EXPECT_EQ(p.CurrentDipoles, direct.Dipoles);
        EXPECT_EQ(p.Injections, direct.Injections);
        EXPECT_EQ(p.FewestInjections, direct.Fewest);
        int histogramReadings = 0, histogramInjections = 0;
        for (const auto& [size, injections] : p.PerInjection) {
            EXPECT_GE(size, 1);
            EXPECT_LE(size, channels);
            histogramReadings += size * injections;
            histogramInjections += injections;
        }
        EXPECT_EQ(histogramReadings, p.Readings);
        EXPECT_EQ(histogramInjections, p.Injections);

        for (int window : {0, 5}) {
            auto ordered = std::make_unique<TSequence>(*seq);
            const TChannelOrderResult r = OrderForChannels(*ordered, channels, window);
            EXPECT_EQ(Multiset(*ordered), Multiset(*seq)) << "window " << window;
            EXPECT_EQ(r.InjectionsBefore, direct.Injections);
            EXPECT_EQ(r.InjectionsAfter, direct.Fewest) << "window " << window;
            EXPECT_EQ(DirectCount(*ordered, channels).Injections, direct.Fewest) << "window " << window;
            EXPECT_EQ(r.ConflictsAfter, CountInjectionIpConflicts(ordered->Quadripoles, ordered->NbQuadripole,
                                                                  channels, window));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Designs, ChannelPlanOfDesign,
                         ::testing::Values(TDesign{"DipoleDipole", 0, 48, 6, 0, 0, false},
                                           TDesign{"DipoleDipoleReciprocals", 0, 48, 6, 0, 0, true},
                                           TDesign{"DipoleDipoleThreeLengths", 0, 48, 6, 2, 3, false},
                                           TDesign{"DipoleDipoleThreeLengthsReciprocals", 0, 48, 6, 2, 3,
                                                   true},
                                           TDesign{"PoleDipoleReciprocals", 1, 32, 8, 0, 0, true},
                                           TDesign{"WennerSchlumberger", 4, 40, 6, 0, 0, false},
                                           TDesign{"WennerReciprocals", 6, 40, 6, 0, 0, true}),
                         [](const auto& tc) { return std::string(tc.param.Name); });

TEST(ChannelPlan, WennerSchlumbergerGainsNothingFromChannels) {
    // Each of its current dipoles carries one reading.
    auto seq = Generated({"", 4, 40, 6, 0, 0, false});
    const TChannelPlan p = PlanChannels(*seq, 8);
    EXPECT_EQ(p.FewestInjections, p.Readings);
    EXPECT_EQ(p.Injections, p.Readings);
}

TEST(ChannelPlan, HistogramAndTimeOfASmallList) {
    // Dipole 1-2 read five times, then 3-4 once, then 1-2 again: with 4 channels 4 + 1 + 1 + 1.
    auto seq = std::make_unique<TSequence>();
    const TQuadripole readings[] = {R(1, 2, 3, 4), R(1, 2, 4, 5), R(1, 2, 5, 6), R(1, 2, 6, 7),
                                    R(1, 2, 7, 8), R(3, 4, 5, 6), R(1, 2, 8, 9)};
    std::copy(std::begin(readings), std::end(readings), seq->Quadripoles);
    seq->NbQuadripole = 7;
    seq->Time = 500;
    seq->StackMin = 2;
    seq->StackMax = 5;
    const TChannelPlan p = PlanChannels(*seq, 4);
    EXPECT_EQ(p.CurrentDipoles, 2);
    EXPECT_EQ(p.Injections, 4);
    EXPECT_EQ(p.FewestInjections, 3);  // six readings of 1-2 in two injections, one of 3-4
    EXPECT_EQ(p.PerInjection, (std::map<int, int>{{1, 3}, {4, 1}}));
    // Four half-periods of 0.5 s a stack.
    EXPECT_DOUBLE_EQ(p.SecondsMin, 4 * 2 * 4 * 0.5);
    EXPECT_DOUBLE_EQ(p.SecondsMax, 4 * 5 * 4 * 0.5);

    // A reading takes one stack at least; a maximum below the minimum is the minimum.
    seq->StackMin = 0;
    seq->StackMax = 0;
    EXPECT_DOUBLE_EQ(PlanChannels(*seq, 4).SecondsMin, 4 * 1 * 4 * 0.5);
    EXPECT_DOUBLE_EQ(PlanChannels(*seq, 4).SecondsMax, 4 * 1 * 4 * 0.5);

    OrderForChannels(*seq, 4);
    EXPECT_EQ(CountInjections(seq->Quadripoles, 7, 4), 3);
    EXPECT_EQ(seq->Quadripoles[5].A, 1);  // 1-2 first, in its order, then 3-4
    EXPECT_EQ(seq->Quadripoles[5].M, 8);
    EXPECT_EQ(seq->Quadripoles[6].A, 3);
}

TEST(ChannelPlan, DurationText) {
    const std::pair<double, const char*> cases[] = {
        {0, "0 s"}, {44.6, "45 s"}, {60, "1 min 00 s"}, {1712, "28 min 32 s"}, {3725, "1 h 02 min 05 s"},
        {-3, "0 s"}};
    for (const auto& [seconds, text] : cases) EXPECT_EQ(DurationText(seconds), text) << seconds;
}

TEST(ChannelPlan, TheReversedPairIsAnotherInjection) {
    const TQuadripole readings[] = {R(1, 2, 3, 4), R(2, 1, 3, 4)};
    EXPECT_EQ(CountInjections(readings, 2, 8), 2);
    EXPECT_EQ(FewestInjections(readings, 2, 8), 2);
}

TEST(ChannelPlan, ChannelsOutsideOneTo64AreRefused) {
    auto seq = std::make_unique<TSequence>();
    for (int channels : {0, -1, 65}) {
        EXPECT_THROW(PlanChannels(*seq, channels), std::invalid_argument) << channels;
        EXPECT_THROW(OrderForChannels(*seq, channels), std::invalid_argument) << channels;
    }
    EXPECT_NO_THROW(PlanChannels(*seq, 64));
    EXPECT_THROW(OrderForChannels(*seq, 8, -1), std::invalid_argument);
    EXPECT_EQ(PlanChannels(*seq, 8).Injections, 0);
}

TEST(ChannelPlan, WithOneChannelTheInjectionConflictsAreTheReadingConflicts) {
    auto seq = Generated({"", 0, 32, 6, 0, 0, true});
    for (int window : {1, 5})
        EXPECT_EQ(CountInjectionIpConflicts(seq->Quadripoles, seq->NbQuadripole, 1, window),
                  CountIpConflicts(*seq, window));
}

TEST(ChannelPlan, TheIpWindowCountsInjections) {
    // 1-2 injects once, 7-8 once for three readings, then 5-6 reads on 1: two injections back, but four
    // readings back.
    const TQuadripole readings[] = {R(1, 2, 3, 4), R(7, 8, 9, 10), R(7, 8, 10, 11), R(7, 8, 11, 12),
                                    R(5, 6, 1, 13)};
    EXPECT_EQ(CountInjectionIpConflicts(readings, 5, 8, 2), 1);
    EXPECT_EQ(CountIpConflicts(readings, 5, 2), 0);
}

TEST(ChannelPlan, TheIpOrderOfInjectionsNeverDoesWorseThanTheGrouping) {
    auto seq = Generated({"", 0, 48, 6, 2, 3, true});
    for (int channels : {4, 8}) {
        for (int window : {1, 3, 5}) {
            auto grouped = std::make_unique<TSequence>(*seq);
            OrderForChannels(*grouped, channels, 0);
            const int plain =
                CountInjectionIpConflicts(grouped->Quadripoles, grouped->NbQuadripole, channels, window);
            auto ip = std::make_unique<TSequence>(*seq);
            const TChannelOrderResult r = OrderForChannels(*ip, channels, window);
            EXPECT_LE(r.ConflictsAfter, plain) << channels << " channels, window " << window;
        }
    }
}

}  // namespace
