#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <tuple>

#include "model/geometry.h"
#include "model/reciprocal.h"
#include "tests/model/linefixtures.h"

namespace {

using TKey = std::tuple<int, int, int, int>;
TKey Key(const TQuadripole& q) { return {q.A, q.B, q.M, q.N}; }

struct TArrayCase {
    const char* Name;
    int Array;
};

class ReciprocalOfArray : public ::testing::TestWithParam<TArrayCase> {};

// On uneven ground every distance is three-dimensional; the factors must still agree.
TEST_P(ReciprocalOfArray, EveryPartnerPresentWithTheSameSignedFactor) {
    auto seq = GeneratedLine(GetParam().Array, 48, 2.5f, 8, true);
    const int normals = seq->NbQuadripole;
    ASSERT_GT(normals, 0);
    TReciprocalOutcome r = MakeReciprocals(*seq, TReciprocalMode::Append, *seq);
    ASSERT_TRUE(r.Done) << r.Problem;
    EXPECT_EQ(r.Total, seq->NbQuadripole);
    EXPECT_EQ(r.Added + r.AlreadyPresent, normals);

    std::map<TKey, int> index;
    for (int i = 0; i < seq->NbQuadripole; ++i) index.emplace(Key(seq->Quadripoles[i]), i);
    for (int i = 0; i < seq->NbQuadripole; ++i) {
        const TQuadripole& q = seq->Quadripoles[i];
        auto partner = index.find(Key(Reciprocal(q)));
        ASSERT_NE(partner, index.end()) << "no partner for quadripole " << i;
        const TQuadripole& p = seq->Quadripoles[partner->second];
        EXPECT_EQ(p.SpacingIndex, q.SpacingIndex);
        EXPECT_EQ(p.Level, q.Level);
        const double k = GeometricFactor(*seq, q), kp = GeometricFactor(*seq, p);
        ASSERT_NE(k, 1.0) << "quadripole " << i << " has no factor of its own";
        EXPECT_EQ(std::signbit(k), std::signbit(kp)) << "quadripole " << i;
        EXPECT_LE(std::fabs(k - kp), 1e-6 * std::fabs(k)) << "quadripole " << i << ": " << k << " and " << kp;
    }
}

INSTANTIATE_TEST_SUITE_P(Arrays, ReciprocalOfArray,
                         ::testing::Values(TArrayCase{"DipoleDipole", 0}, TArrayCase{"PoleDipole", 1},
                                           TArrayCase{"PolePole", 2}, TArrayCase{"WennerSchlumberger", 4},
                                           TArrayCase{"Wenner", 6}),
                         [](const auto& tc) { return std::string(tc.param.Name); });

TEST(Reciprocal, SwapsThePairsAndKeepsTheRemoteElectrodeInItsPlace) {
    const TQuadripole q{0, 5, 6, 7, 1, 3, 77};
    const TQuadripole r = Reciprocal(q);
    EXPECT_EQ(Key(r), (TKey{6, 7, 0, 5}));
    EXPECT_EQ(r.SpacingIndex, 1);
    EXPECT_EQ(r.Level, 3);
    EXPECT_EQ(r.Reserved, -1);
    EXPECT_EQ(Key(Reciprocal(r)), Key(q));
}

TEST(Reciprocal, AppendKeepsTheNormalsThenAddsTheMissingReciprocalsInOrder) {
    auto seq = GeneratedLine(0, 12, 5, 3, false);
    const TQuadripole a = seq->Quadripoles[0], b = seq->Quadripoles[1];
    // A sequence that already measures b's reciprocal, twice, and holds a quadripole that is its own.
    seq->NbQuadripole = 0;
    for (const TQuadripole& q : {a, b, Reciprocal(b), Reciprocal(b), TQuadripole{3, 4, 3, 4, 0, 1, -1}})
        seq->Quadripoles[seq->NbQuadripole++] = q;
    auto out = std::make_unique<TSequence>();
    TReciprocalOutcome r = MakeReciprocals(*seq, TReciprocalMode::Append, *out);
    ASSERT_TRUE(r.Done);
    EXPECT_EQ(r.Added, 1);  // only a's
    EXPECT_EQ(r.AlreadyPresent, 4);
    ASSERT_EQ(out->NbQuadripole, 6);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Key(out->Quadripoles[i]), Key(seq->Quadripoles[i]));
    EXPECT_EQ(Key(out->Quadripoles[5]), Key(Reciprocal(a)));
    EXPECT_EQ(out->Quadripoles[6].Reserved, -1);
    EXPECT_EQ(out->Quadripoles[6].A, 0);
    // Appending again adds nothing.
    TReciprocalOutcome again = MakeReciprocals(*out, TReciprocalMode::Append, *out);
    EXPECT_EQ(again.Added, 0);
    EXPECT_EQ(out->NbQuadripole, 6);
}

TEST(Reciprocal, OnlyKeepsTheReciprocalsOnceEach) {
    auto seq = GeneratedLine(6, 16, 5, 4, false);
    const int n = seq->NbQuadripole;
    seq->Quadripoles[n] = seq->Quadripoles[0];  // a repeated reading
    seq->NbQuadripole = n + 1;
    auto out = std::make_unique<TSequence>();
    TReciprocalOutcome r = MakeReciprocals(*seq, TReciprocalMode::Only, *out);
    ASSERT_TRUE(r.Done);
    EXPECT_EQ(r.Added, n);
    EXPECT_EQ(r.AlreadyPresent, 1);
    ASSERT_EQ(out->NbQuadripole, n);
    for (int i = 0; i < n; ++i) EXPECT_EQ(Key(out->Quadripoles[i]), Key(Reciprocal(seq->Quadripoles[i])));
    EXPECT_EQ(out->Name.Get(), seq->Name.Get());
    EXPECT_EQ(out->Electrodes[3].X, seq->Electrodes[3].X);
}

// n distinct quadripoles whose reciprocals are all new.
std::unique_ptr<TSequence> Distinct(int n) {
    auto seq = std::make_unique<TSequence>();
    for (int i = 0; i < n; ++i)
        seq->Quadripoles[i] = {int16_t(1 + i % 100), int16_t(101 + i / 100), 1000, 1001, 0, 1, -1};
    seq->NbQuadripole = n;
    return seq;
}

TEST(Reciprocal, BeyondTheTableIsRefusedAndLeavesTheResultUntouched) {
    auto full = Distinct(MaxQuadripoles / 2);
    TReciprocalOutcome fits = MakeReciprocals(*full, TReciprocalMode::Append, *full);
    EXPECT_TRUE(fits.Done);
    EXPECT_EQ(full->NbQuadripole, MaxQuadripoles);

    auto over = Distinct(MaxQuadripoles / 2 + 1);
    auto out = std::make_unique<TSequence>();
    out->Name.Set("Untouched");
    TReciprocalOutcome r = MakeReciprocals(*over, TReciprocalMode::Append, *out);
    EXPECT_FALSE(r.Done);
    EXPECT_EQ(r.Total, MaxQuadripoles + 2);
    EXPECT_NE(r.Problem.find("16002"), std::string::npos) << r.Problem;
    EXPECT_NE(r.Problem.find("16000"), std::string::npos) << r.Problem;
    EXPECT_EQ(out->Name.Get(), "Untouched");
    EXPECT_EQ(out->NbQuadripole, 0);
    // The reciprocals alone fit.
    EXPECT_TRUE(MakeReciprocals(*over, TReciprocalMode::Only, *out).Done);
}

}  // namespace
