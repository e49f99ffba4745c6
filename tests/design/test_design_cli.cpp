#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "model/sqxfile.h"
#include "tests/cli/clirun.h"
#include "tests/support/testdir.h"

namespace {

std::string Bytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

class DesignCli : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_EQ(
            Cli({"cable", "create", Path("line.cbl"), "--name", "Line", "--segment", "S:1-16:2"}).Status, 0);
        ASSERT_EQ(Cli({"generate", "--cable", Path("line.cbl"), "--array", "dd", "--spacing", "2", "--levels",
                       "1-6", "--name", "dd", "-o", Path("dd.sqx")})
                      .Status,
                  0);
        ASSERT_EQ(Cli({"generate", "--cable", Path("line.cbl"), "--array", "ws", "--spacing", "2", "--levels",
                       "1-6", "--name", "ws", "-o", Path("ws.sqx")})
                      .Status,
                  0);
    }
    std::string Path(const std::string& name) const { return dir_.Path(name); }
    static double Figure(const std::string& text) {
        return std::stod(text.substr(text.find("figure of merit ") + 16));
    }

    TTestDir dir_;
};

TEST_F(DesignCli, ResolutionOfSeveralFilesIsThatOfTheirUnion) {
    const TCliRun dd = Cli({"resolution", Path("dd.sqx")}),
                  both = Cli({"resolution", Path("dd.sqx"), Path("ws.sqx")});
    ASSERT_EQ(dd.Status, 0) << dd.Err;
    ASSERT_EQ(both.Status, 0) << both.Err;
    EXPECT_GT(Figure(both.Out), Figure(dd.Out));
    EXPECT_LT(Figure(both.Out), 1.0);
}

TEST_F(DesignCli, ResolutionJsonHasEveryCell) {
    const TCliRun r = Cli({"resolution", Path("dd.sqx"), "--json", "--depth", "4"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const auto j = nlohmann::json::parse(r.Out);
    EXPECT_DOUBLE_EQ(j["depth"].get<double>(), 4.0);
    double sum = 0;
    int targets = 0;
    for (const auto& c : j["cells"]) {
        EXPECT_LT(c["x0"].get<double>(), c["x1"].get<double>());
        EXPECT_LT(c["z0"].get<double>(), c["z1"].get<double>());
        if (c["target"].get<bool>()) {
            sum += c["relative_resolution"].get<double>();
            ++targets;
        }
    }
    ASSERT_GT(targets, 0);
    EXPECT_NEAR(sum / targets, j["figure"].get<double>(), 1e-9);
}

TEST_F(DesignCli, OptimiseWritesTheReadingsAskedForOnThePlacedElectrodes) {
    const TCliRun r = Cli({"optimise", "--cable", Path("line.cbl"), "--spacing", "2", "--readings", "120",
                           "--name", "best", "-o", Path("best.sqx")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Err.find("optimise: 120/120 readings"), std::string::npos);
    auto seq = std::make_unique<TSequence>();
    ReadSequenceFile(Path("best.sqx"), *seq);
    EXPECT_EQ(seq->NbQuadripole, 120);
    EXPECT_EQ(seq->NbElectrode, 16);
    EXPECT_EQ(seq->ArrayType, 9);
    for (int q = 0; q < seq->NbQuadripole; ++q)
        for (int e :
             {seq->Quadripoles[q].A, seq->Quadripoles[q].B, seq->Quadripoles[q].M, seq->Quadripoles[q].N})
            EXPECT_EQ(seq->Electrodes[e].Type, static_cast<int16_t>(TElectrodeType::Active));
    const TCliRun check = Cli({"resolution", Path("best.sqx")});
    EXPECT_NEAR(Figure(check.Out), Figure(r.Out), 1e-4);
    // The same inputs give the same bytes.
    ASSERT_EQ(Cli({"optimise", "--cable", Path("line.cbl"), "--spacing", "2", "--readings", "120", "--name",
                   "best", "-o", Path("again.sqx")})
                  .Status,
              0);
    EXPECT_EQ(Bytes(Path("best.sqx")), Bytes(Path("again.sqx")));
}

TEST_F(DesignCli, OptimiseStartsFromAGivenSequence) {
    const TCliRun r = Cli({"optimise", "--cable", Path("line.cbl"), "--spacing", "2", "--readings", "100",
                           "--start", Path("ws.sqx"), "-o", Path("more.sqx")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    auto ws = std::make_unique<TSequence>(), more = std::make_unique<TSequence>();
    ReadSequenceFile(Path("ws.sqx"), *ws);
    ReadSequenceFile(Path("more.sqx"), *more);
    EXPECT_EQ(more->NbQuadripole, 100);
    int found = 0;
    for (int i = 0; i < ws->NbQuadripole; ++i)
        for (int k = 0; k < more->NbQuadripole; ++k) {
            const TQuadripole &a = ws->Quadripoles[i], &b = more->Quadripoles[k];
            if (a.A == b.A && a.B == b.B && a.M == b.M && a.N == b.N) ++found;
        }
    EXPECT_EQ(found, ws->NbQuadripole);
}

struct TUsageCase {
    const char* Name;
    std::vector<std::string> Extra;
};

class OptimiseUsage : public DesignCli, public ::testing::WithParamInterface<TUsageCase> {};

TEST_P(OptimiseUsage, RefusedWithoutWriting) {
    std::vector<std::string> args{"optimise", "--cable", Path("line.cbl"), "--spacing",
                                  "2",        "-o",      Path("out.sqx")};
    for (const std::string& e : GetParam().Extra) args.push_back(e);
    const TCliRun r = Cli(args);
    EXPECT_EQ(r.Status, 2) << r.Err;
    EXPECT_FALSE(std::filesystem::exists(Path("out.sqx")));
}

INSTANTIATE_TEST_SUITE_P(Cases, OptimiseUsage,
                         ::testing::Values(TUsageCase{"NoReadings", {"--readings", "0"}},
                                           TUsageCase{"TooManyReadings", {"--readings", "16001"}},
                                           TUsageCase{"Channels", {"--readings", "10", "--channels", "65"}},
                                           TUsageCase{"NegativeK", {"--readings", "10", "--max-k", "-5"}},
                                           TUsageCase{"TooManyElectrodes",
                                                      {"--readings", "10", "--electrodes", "17"}}),
                         [](const auto& p) { return std::string(p.param.Name); });

TEST_F(DesignCli, LinesBeyondTheElectrodeLimitAreRefusedBeforeAnyWork) {
    ASSERT_EQ(Cli({"cable", "create", Path("huge.cbl"), "--name", "Huge", "--segment", "S:1-400:1"}).Status,
              0);
    const TCliRun r = Cli({"optimise", "--cable", Path("huge.cbl"), "--spacing", "1", "--readings", "10",
                           "-o", Path("huge.sqx")});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("more than 128 electrodes"), std::string::npos) << r.Err;
    EXPECT_FALSE(std::filesystem::exists(Path("huge.sqx")));
}

TEST_F(DesignCli, CtrlCEndsTheOptimisationAndWritesNothing) {
    // A line long enough that the work lasts; SIGINT once progress shows.
    ASSERT_EQ(Cli({"cable", "create", Path("long.cbl"), "--name", "Long", "--segment", "S:1-40:1"}).Status,
              0);
    int err[2];
    ASSERT_EQ(pipe(err), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(err[1], 2);
        close(err[0]);
        execl(TERAVOX_CLI, TERAVOX_CLI, "optimise", "--cable", Path("long.cbl").c_str(), "--spacing", "1",
              "--readings", "2000", "-o", Path("stopped.sqx").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(err[1]);
    std::string seen;
    char buf[256];
    ssize_t got;
    while (seen.find("optimise:") == std::string::npos && (got = read(err[0], buf, sizeof buf)) > 0)
        seen.append(buf, static_cast<std::size_t>(got));
    kill(pid, SIGINT);
    while ((got = read(err[0], buf, sizeof buf)) > 0) seen.append(buf, static_cast<std::size_t>(got));
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << seen;
    EXPECT_EQ(WEXITSTATUS(status), 1) << seen;
    EXPECT_NE(seen.find("stopped"), std::string::npos) << seen;
    EXPECT_FALSE(std::filesystem::exists(Path("stopped.sqx")));
}

}  // namespace
