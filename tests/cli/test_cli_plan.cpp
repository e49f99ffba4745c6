#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>

#include "model/channelplan.h"
#include "model/fileio.h"
#include "model/iporder.h"
#include "model/sqxfile.h"
#include "tests/cli/clirun.h"
#include "tests/support/testdir.h"

namespace {

class CliPlan : public ::testing::Test {
   protected:
    void SetUp() override {
        auto c = Cli({"cable", "create", P("l64.cbl"), "--name", "L64", "--segment", "Red:1-64:1"});
        ASSERT_EQ(c.Status, 0) << c.Err;
        auto g = Cli({"generate", "--cable", P("l64.cbl"), "--array", "dd", "--spacing", "1", "--levels",
                      "1-8", "--name", "Line1", "-o", P("dd.sqx")});
        ASSERT_EQ(g.Status, 0) << g.Err;
    }
    std::string P(const std::string& name) const { return dir.Path(name); }
    std::unique_ptr<TSequence> Read(const std::string& name) const {
        auto seq = std::make_unique<TSequence>();
        ReadSequenceFile(P(name), *seq);
        return seq;
    }
    TTestDir dir;
};

TEST_F(CliPlan, ReciprocalAppendsOrKeepsThemAlone) {
    const int normals = Read("dd.sqx")->NbQuadripole;
    auto r = Cli({"reciprocal", P("dd.sqx"), "-o", P("both.sqx")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "Line1: " + std::to_string(2 * normals) + " quadripoles, " + std::to_string(normals) +
                         " reciprocals added, 0 already present\n");
    EXPECT_EQ(Read("both.sqx")->NbQuadripole, 2 * normals);

    r = Cli({"reciprocal", P("dd.sqx"), "-o", P("only.sqx"), "--only"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    auto only = Read("only.sqx");
    ASSERT_EQ(only->NbQuadripole, normals);
    EXPECT_EQ(only->Quadripoles[0].A, Read("dd.sqx")->Quadripoles[0].M);

    // Twice over: nothing new.
    r = Cli({"reciprocal", P("both.sqx"), "-o", P("again.sqx")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find(" 0 reciprocals added, " + std::to_string(2 * normals) + " already present"),
              std::string::npos)
        << r.Out;
}

TEST_F(CliPlan, ReciprocalBeyondTheTableWritesNothing) {
    auto seq = std::make_unique<TSequence>();
    for (int i = 0; i < 9000; ++i)
        seq->Quadripoles[i] = {int16_t(1 + i % 100), int16_t(101 + i / 100), 1000, 1001, 0, 1, -1};
    seq->NbQuadripole = 9000;
    WriteSequenceFile(P("big.sqx"), *seq);
    auto r = Cli({"reciprocal", P("big.sqx"), "-o", P("out.sqx")});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find(P("big.sqx")), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("18000 quadripoles, more than the 16000"), std::string::npos) << r.Err;
    EXPECT_FALSE(FileExists(P("out.sqx")));
}

TEST_F(CliPlan, OrderIpPrintsTheConflictsBeforeAndAfter) {
    ASSERT_EQ(Cli({"reciprocal", P("dd.sqx"), "-o", P("both.sqx")}).Status, 0);
    const int before = CountIpConflicts(*Read("both.sqx"), 5);
    auto r = Cli({"order", P("both.sqx"), "-o", P("ip.sqx"), "--ip"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "Line1: " + std::to_string(Read("both.sqx")->NbQuadripole) +
                         " quadripoles, IP conflicts at window 5: " + std::to_string(before) +
                         " before, 0 after\n");
    EXPECT_EQ(r.Err, "");
    EXPECT_EQ(CountIpConflicts(*Read("ip.sqx"), 5), 0);

    r = Cli({"order", P("both.sqx"), "-o", P("ip3.sqx"), "--ip", "--window", "3"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("at window 3: " + std::to_string(CountIpConflicts(*Read("both.sqx"), 3)) +
                         " before, 0 after"),
              std::string::npos)
        << r.Out;
}

TEST_F(CliPlan, OrderSaysHowManyConflictsRemain) {
    auto seq = std::make_unique<TSequence>();
    seq->Name.Set("Pair");
    seq->Quadripoles[0] = {1, 2, 3, 4, 0, 1, -1};
    seq->Quadripoles[1] = {3, 4, 1, 2, 0, 1, -1};
    seq->NbQuadripole = 2;
    WriteSequenceFile(P("pair.sqx"), *seq);
    auto r = Cli({"order", P("pair.sqx"), "-o", P("out.sqx"), "--ip"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "Pair: 2 quadripoles, IP conflicts at window 5: 1 before, 1 after\n");
    EXPECT_NE(r.Err.find("warning: " + P("out.sqx") + ": 1 readings still read"), std::string::npos) << r.Err;
}

TEST_F(CliPlan, UsageAndFileErrors) {
    struct {
        std::vector<std::string> Args;
        int Status;
        const char* Says;
    } cases[] = {
        {{"order", P("dd.sqx"), "-o", P("x.sqx")}, 2, "--ip"},
        {{"order", P("dd.sqx"), "-o", P("x.sqx"), "--channels", "0"}, 2, "--channels"},
        {{"order", P("dd.sqx"), "-o", P("x.sqx"), "--channels", "65"}, 2, "--channels"},
        {{"order", P("dd.sqx"), "-o", P("x.sqx"), "--channels", "8", "--window", "3"}, 2, "--ip"},
        {{"plan", P("dd.sqx"), "--channels", "65"}, 2, "--channels"},
        {{"plan", P("missing.sqx")}, 1, "missing.sqx"},
        {{"plan"}, 2, "FILE"},
        {{"order", P("dd.sqx"), "-o", P("x.sqx"), "--ip", "--window", "0"}, 2, "--window"},
        {{"order", P("dd.sqx"), "-o", P("x.sqx"), "--ip", "--window", ""}, 2, "--window"},
        {{"order", P("missing.sqx"), "-o", P("x.sqx"), "--ip"}, 1, "missing.sqx"},
        {{"reciprocal", P("missing.sqx"), "-o", P("x.sqx")}, 1, "missing.sqx"},
        {{"reciprocal", P("dd.sqx")}, 2, "-o"},
        {{"check", P("dd.sqx")}, 2, "--family"},
        {{"check", "--family", "3", P("dd.sqx")}, 2, "--family"},
    };
    for (const auto& c : cases) {
        auto r = Cli(c.Args);
        EXPECT_EQ(r.Status, c.Status) << c.Says << ": " << r.Err;
        EXPECT_NE(r.Err.find(c.Says), std::string::npos) << r.Err;
        EXPECT_FALSE(FileExists(P("x.sqx")));
    }
}

TEST_F(CliPlan, PlanPrintsTheInjectionsAndTheTimeItAssumes) {
    // Reciprocals appended in list order split every current dipole's readings.
    ASSERT_EQ(Cli({"reciprocal", P("dd.sqx"), "-o", P("both.sqx")}).Status, 0);
    auto both = Read("both.sqx");
    const int readings = both->NbQuadripole;
    const int injections = CountInjections(both->Quadripoles, readings, 8);
    const int fewest = FewestInjections(both->Quadripoles, readings, 8);
    ASSERT_LT(fewest, injections);

    auto r = Cli({"plan", P("both.sqx"), "--channels", "8", "--json"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const auto j = nlohmann::json::parse(r.Out);
    EXPECT_EQ(j["readings"], readings);
    EXPECT_EQ(j["current_dipoles"], CountCurrentDipoles(both->Quadripoles, readings));
    EXPECT_EQ(j["channels"], 8);
    EXPECT_EQ(j["injections"], injections);
    EXPECT_EQ(j["fewest_injections"], fewest);
    int histogram = 0;
    for (const auto& [size, count] : j["per_injection"].items())
        histogram += std::stoi(size) * count.get<int>();
    EXPECT_EQ(histogram, readings);
    // The defaults: 3 to 6 stacks of four 1000 ms half-periods an injection.
    EXPECT_DOUBLE_EQ(j["seconds_min"].get<double>(), injections * 3 * 4.0);
    EXPECT_DOUBLE_EQ(j["seconds_max"].get<double>(), injections * 6 * 4.0);

    r = Cli({"plan", P("both.sqx"), "--channels", "8"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("Line1: " + std::to_string(readings) + " readings, "), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("injections in list order: " + std::to_string(injections) + "\n"), std::string::npos)
        << r.Out;
    EXPECT_NE(r.Out.find("fewest injections in any order: " + std::to_string(fewest) + "\n"),
              std::string::npos)
        << r.Out;
    EXPECT_NE(r.Out.find("each stack four half-periods of 1000 ms"), std::string::npos) << r.Out;

    // One channel by default: an injection a reading.
    r = Cli({"plan", P("both.sqx"), "--json"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(nlohmann::json::parse(r.Out)["injections"], readings);
}

TEST_F(CliPlan, OrderForChannelsReachesTheFewestAndCountsTheWindowInInjections) {
    ASSERT_EQ(Cli({"reciprocal", P("dd.sqx"), "-o", P("both.sqx")}).Status, 0);
    auto both = Read("both.sqx");
    const int n = both->NbQuadripole;
    const int before = CountInjections(both->Quadripoles, n, 8);
    const int fewest = FewestInjections(both->Quadripoles, n, 8);

    auto r = Cli({"order", P("both.sqx"), "-o", P("c8.sqx"), "--channels", "8"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "Line1: " + std::to_string(n) + " quadripoles, injections with 8 channels: " +
                         std::to_string(before) + " before, " + std::to_string(fewest) + " after\n");
    EXPECT_EQ(CountInjections(Read("c8.sqx")->Quadripoles, n, 8), fewest);

    r = Cli({"order", P("both.sqx"), "-o", P("c8ip.sqx"), "--channels", "8", "--ip", "--window", "2"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    auto ip = Read("c8ip.sqx");
    EXPECT_EQ(CountInjections(ip->Quadripoles, n, 8), fewest);
    const int after = CountInjectionIpConflicts(ip->Quadripoles, n, 8, 2);
    EXPECT_NE(r.Out.find("IP conflicts at window 2 injections: " +
                         std::to_string(CountInjectionIpConflicts(both->Quadripoles, n, 8, 2)) + " before, " +
                         std::to_string(after) + " after\n"),
              std::string::npos)
        << r.Out;
}

TEST_F(CliPlan, CheckPrintsOneLinePerFindingAndFailsOnAny) {
    auto r = Cli({"check", "--family", "2", P("dd.sqx")});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "");

    auto seq = Read("dd.sqx");
    seq->Name.Set("A long line name");
    seq->Time = 750;
    WriteSequenceFile(P("odd.sqx"), *seq);
    r = Cli({"check", "--family", "1", P("dd.sqx"), P("odd.sqx"), P("missing.sqx")});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out,
              P("odd.sqx") + ": the name \"A long line name\" is cut to \"A long l\" (8 characters)\n" +
                  P("odd.sqx") +
                  ": injection time 750 ms is not one of 2000, 1000, 500, 250 ms: it is sent as 2000 ms\n");
    EXPECT_NE(r.Err.find("missing.sqx"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("check: 2 findings, 1 file not read"), std::string::npos) << r.Err;
}

TEST_F(CliPlan, HelpNamesTheCommands) {
    auto r = Cli({"--help-all"});
    ASSERT_EQ(r.Status, 0);
    for (const char* word : {"reciprocal", "order", "--ip", "--window", "--only", "check", "1319", "plan",
                             "--channels", "four half-periods"})
        EXPECT_NE(r.Out.find(word), std::string::npos) << word;
    for (const char* command : {"reciprocal", "order", "check", "plan"}) {
        auto h = Cli({command, "--help"});
        EXPECT_EQ(h.Status, 0) << command;
    }
}

}  // namespace
