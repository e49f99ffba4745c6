#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "model/fileio.h"
#include "tests/cli/clirun.h"
#include "tests/support/testdir.h"

namespace {

using nlohmann::json;

class CliModel : public ::testing::Test {
   protected:
    std::string P(const std::string& name) const { return dir.Path(name); }
    void MakeCable48() {
        auto r = Cli({"cable", "create", P("l48.cbl"), "--name", "L48", "--segment", "Red:1-24:5",
                      "--segment", "Blue:25-48:5"});
        ASSERT_EQ(r.Status, 0) << r.Err;
    }
    json Show(const std::string& file) {
        auto r = Cli({"show", file, "--json"});
        EXPECT_EQ(r.Status, 0) << r.Err;
        return json::parse(r.Out);
    }
    TTestDir dir;
};

TEST_F(CliModel, CableCreateAndShow) {
    MakeCable48();
    EXPECT_EQ(ReadWholeFile(P("l48.cbl")).size(), 1444u);
    auto r = Cli({"cable", "show", P("l48.cbl"), "--json"});
    ASSERT_EQ(r.Status, 0);
    json j = json::parse(r.Out);
    EXPECT_EQ(j["cable_name"], "L48");
    ASSERT_EQ(j["segments"].size(), 2u);
    EXPECT_EQ(j["segments"][1]["name"], "Blue");
    EXPECT_EQ(j["segments"][1]["first_node"], 25);
    EXPECT_EQ(j["segments"][1]["node_spacing"], 5.0);
    EXPECT_EQ(j["last_node"], 48);
}

TEST_F(CliModel, RefusedSegmentWritesNothing) {
    struct TCase {
        std::vector<std::string> Segments;
        int Status;
        const char* Says;
    } cases[] = {
        {{"A:1-24:5", "B:20-30:5"}, 1, "overlaps"},
        {{"A:1-24:5", "B:1990-2010:5"}, 1, "1999"},
        {{"A:1-24:0"}, 1, "spacing"},
        {{"A:1-24"}, 2, "NAME:FIRST-LAST:SPACING"},
        {{"A:24-1:5"}, 2, "FIRST"},
        {{":1-24:5"}, 2, "name: a name is needed"},
        {{" :1-24:5"}, 2, "name: a name is needed"},
        {{"NoName:1-24:5"}, 2, "NoName"},
        {{"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
          "\xC3\xA9"
          "\xC3\xA9\xC3\xA9\xC3\xA9:1-24:5"},
         2,
         "at most 31 bytes, not 32 (16 characters)"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"cable", "create", P("x.cbl"), "--name", "X"};
        for (const auto& s : c.Segments) args.insert(args.end(), {"--segment", s});
        auto r = Cli(args);
        EXPECT_EQ(r.Status, c.Status) << c.Says;
        EXPECT_NE(r.Err.find(c.Says), std::string::npos) << r.Err;
        EXPECT_FALSE(FileExists(P("x.cbl")));
    }
    auto ok = Cli({"cable", "create", P("r.cbl"), "--name", "R", "--segment", "A:1-24:5:rev", "--segment",
                   "A2:1-24:5:rev"});
    EXPECT_EQ(ok.Status, 0) << ok.Err;
}

// A line the 16,000-quadripole cap cuts is written all the same, with a warning saying where it stops.
TEST_F(CliModel, GenerateWarnsWhereTheCapCutTheLine) {
    auto cable = Cli({"cable", "create", P("long.cbl"), "--name", "Long", "--segment", "Line:1-1000:5"});
    ASSERT_EQ(cable.Status, 0) << cable.Err;
    const std::pair<const char*, bool> cases[] = {{"1-32", true}, {"1-6", false}};
    for (const auto& [levels, cut] : cases) {
        auto r = Cli({"generate", "--cable", P("long.cbl"), "--array", "dd", "--spacing", "5", "--levels",
                      levels, "-o", P("long.sqx")});
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(r.Err.find("16000-quadripole limit cut the sequence: its quadripoles reach x = ") !=
                      std::string::npos,
                  cut)
            << levels << ": " << r.Err;
        if (cut) {
            EXPECT_NE(r.Err.find("last electrode is at x = 4995"), std::string::npos) << r.Err;
        }
    }
}

TEST_F(CliModel, CableSetNamesMustNameSomething) {
    for (const char* name : {"", "  ", "NoName"}) {
        auto r = Cli({"cable", "create", P("x.cbl"), "--name", name, "--segment", "A:1-24:5"});
        EXPECT_EQ(r.Status, 2) << '"' << name << '"';
        EXPECT_NE(r.Err.find("--name: "), std::string::npos) << r.Err;
        EXPECT_FALSE(FileExists(P("x.cbl")));
    }
    MakeCable48();
    auto longName = Cli({"generate", "--cable", P("l48.cbl"), "--array", "dd", "--spacing", "5", "--levels",
                         "1", "--name",
                         "Tranch\xC3\xA9"
                         "es "
                         "Tranch\xC3\xA9"
                         "es "
                         "Tranch\xC3\xA9"
                         "es",
                         "-o", P("o.sqx")});
    EXPECT_EQ(longName.Status, 2);
    EXPECT_NE(longName.Err.find("--name: at most 24 bytes, not 32 (29 characters)"), std::string::npos)
        << longName.Err;
}

// A .cbl written elsewhere: segments after an empty entry are still the set's, and segments that
// overlap where no inclusion would have let them are refused where the set is used.
TEST_F(CliModel, CableFilesWrittenElsewhere) {
    MakeCable48();
    std::vector<unsigned char> bytes = ReadWholeFile(P("l48.cbl"));
    constexpr std::size_t Entry = 44, Segments = 4;
    // Red, an empty entry, then Blue.
    std::copy_n(bytes.begin() + Segments + Entry, Entry, bytes.begin() + Segments + 2 * Entry);
    std::fill_n(bytes.begin() + Segments + Entry + 32, 4, 0);
    WriteFileAtomic(P("gap.cbl"), bytes.data(), bytes.size());
    auto r = Cli({"cable", "show", P("gap.cbl"), "--json"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    json j = json::parse(r.Out);
    ASSERT_EQ(j["segments"].size(), 2u);
    EXPECT_EQ(j["segments"][1]["name"], "Blue");
    EXPECT_EQ(j["first_node"], 1);
    EXPECT_EQ(j["last_node"], 48);
    auto gen = Cli({"generate", "--cable", P("gap.cbl"), "--array", "dd", "--spacing", "5", "--levels", "1",
                    "-o", P("gap.sqx")});
    EXPECT_EQ(gen.Status, 0) << gen.Err;
    EXPECT_EQ(Show(P("gap.sqx"))["nb_electrode"], 48);

    // Blue made to start at node 20, inside Red.
    bytes = ReadWholeFile(P("l48.cbl"));
    bytes[Segments + Entry + 32] = 20;
    WriteFileAtomic(P("overlap.cbl"), bytes.data(), bytes.size());
    auto refused = Cli({"generate", "--cable", P("overlap.cbl"), "--array", "dd", "--spacing", "5",
                        "--levels", "1", "-o", P("o.sqx")});
    EXPECT_EQ(refused.Status, 1);
    EXPECT_NE(refused.Err.find("overlap.cbl"), std::string::npos) << refused.Err;
    EXPECT_NE(refused.Err.find("segment \"Blue\" (20-48) overlaps segment \"Red\" (1-24)"), std::string::npos)
        << refused.Err;
    EXPECT_FALSE(FileExists(P("o.sqx")));
}

TEST_F(CliModel, GenerateAndShowJson) {
    MakeCable48();
    auto r = Cli({"generate", "--cable", P("l48.cbl"), "--array", "dd",  "--spacing", "5",
                  "--levels", "1-6",     "--name",     "Line1",   "--x", "10",        "--y",
                  "2",        "--time",  "500",        "--stack", "2:8", "-o",        P("a.sqx")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "Line1: 48 electrodes, 255 quadripoles\n");
    json j = Show(P("a.sqx"));
    EXPECT_EQ(j["name"], "Line1");
    EXPECT_EQ(j["cable_name"], "L48");
    EXPECT_EQ(j["time"], 500);
    EXPECT_EQ(j["stack_min"], 2);
    EXPECT_EQ(j["nb_quadripole"], 255);
    EXPECT_EQ(j["quadripoles"].size(), 255u);
    EXPECT_EQ(j["electrodes"].size(), 49u);  // 48 nodes and the remote electrode
    const json& q = j["quadripoles"][0];
    EXPECT_EQ(q["a"], 1);
    EXPECT_EQ(q["n"], 4);
    EXPECT_NEAR(q["k"].get<double>(), -94.2478, 1e-3);
    EXPECT_NEAR(q["pseudo_x"].get<double>(), 17.5, 1e-6);
    EXPECT_NEAR(q["level_value"].get<double>(), 5.0, 1e-6);
    EXPECT_NEAR(q["depth"].get<double>(), 2.0814, 1e-3);
    EXPECT_EQ(j["max_y"], 2.0);
    // Float fields survive as float32 values.
    EXPECT_EQ(static_cast<float>(j["roll_limit"][0].get<double>()), -10000000.0f);
}

TEST_F(CliModel, SecondLengthAndLevelLists) {
    MakeCable48();
    auto r = Cli({"generate", "--cable", P("l48.cbl"), "--array", "pd", "--spacing", "2.5", "--levels",
                  "1-3,8", "--spacing2", "2", "--levels2", "1,2", "-o", P("b.sqx")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    json j = Show(P("b.sqx"));
    EXPECT_EQ(j["spacing"][1], 5.0);
    EXPECT_EQ(j["level_used"][0], 0x87);
    EXPECT_EQ(j["level_used"][1], 0x3);
}

TEST_F(CliModel, UsageAndFailures) {
    MakeCable48();
    const std::string cable = P("l48.cbl");
    struct TCase {
        std::vector<std::string> Args;
        int Status;
    } cases[] = {
        {{"generate", "--array", "dd", "--spacing", "5", "--levels", "1-6", "-o", P("o.sqx")}, 2},
        {{"generate", "--cable", cable, "--array", "xx", "--spacing", "5", "--levels", "1", "-o", P("o.sqx")},
         2},
        {{"generate", "--cable", cable, "--array", "dd", "--spacing", "5", "--levels", "0-3", "-o",
          P("o.sqx")},
         2},
        {{"generate", "--cable", cable, "--array", "dd", "--spacing", "5", "--levels", "1", "--first", "46",
          "-o", P("o.sqx")},
         2},
        {{"generate", "--cable", cable, "--array", "dd", "--spacing", "5", "--levels", "1", "--spacing2", "9",
          "--levels2", "1", "-o", P("o.sqx")},
         2},
        {{"generate", "--cable", cable, "--array", "dd", "--spacing", "0", "--levels", "1", "-o", P("o.sqx")},
         2},
        {{"generate", "--cable", cable, "--array", "dd", "--spacing", "inf", "--levels", "1", "-o",
          P("o.sqx")},
         2},
        {{"generate", "--cable", cable, "--array", "dd", "--spacing", "1e39", "--levels", "1", "-o",
          P("o.sqx")},
         2},
        {{"generate", "--cable", cable, "--array", "dd", "--spacing", "5", "--levels", "1", "--x", "-inf",
          "-o", P("o.sqx")},
         2},
        {{"generate", "--cable", cable, "--array", "dd", "--spacing", "5", "--levels", "1", "--y", "nan",
          "-o", P("o.sqx")},
         2},
        {{"generate", "--cable", P("missing.cbl"), "--array", "dd", "--spacing", "5", "--levels", "1", "-o",
          P("o.sqx")},
         1},
        {{"show", P("missing.sqx")}, 1},
        {{"generate", "--roll-along", P("missing.sqx"), "-o", P("o.sqx")}, 1},
        {{"frobnicate"}, 2},
        {{"cable", "frobnicate"}, 2},
    };
    for (const auto& c : cases) {
        auto r = Cli(c.Args);
        EXPECT_EQ(r.Status, c.Status) << c.Args[0] << " " << r.Err;
        EXPECT_FALSE(r.Err.empty());
        EXPECT_FALSE(FileExists(P("o.sqx")));
    }
    auto missing = Cli({"show", P("missing.sqx")});
    EXPECT_NE(missing.Err.find("missing.sqx"), std::string::npos);
    EXPECT_EQ(Cli({"cable", "frobnicate"}).Err,
              "teravox2-cli: unknown command frobnicate (see teravox2-cli --help)\n");

    // A cable set too short for the array: the message names it.
    ASSERT_EQ(Cli({"cable", "create", P("c3.cbl"), "--name", "C3", "--segment", "S:1-3:5"}).Status, 0);
    auto tiny = Cli({"generate", "--cable", P("c3.cbl"), "--array", "dd", "--spacing", "5", "--levels", "1",
                     "-o", P("o.sqx")});
    EXPECT_EQ(tiny.Status, 1);
    EXPECT_EQ(tiny.Err.rfind(P("c3.cbl") + ": ", 0), 0u) << tiny.Err;
}

TEST_F(CliModel, OptionsOfTheDataFolderMayFollowTheCommand) {
    MakeCable48();
    auto r = Cli({"generate", "--cable", P("l48.cbl"), "--array", "dd", "--spacing", "5", "--levels", "1",
                  "-o", P("o.sqx"), "--home", P("home"), "--decimal", ","});
    EXPECT_EQ(r.Status, 0) << r.Err;
}

TEST_F(CliModel, OutputThatCannotBeWrittenIsAFailure) {
    MakeCable48();
    std::ostream lost(nullptr);  // every write fails, as on a full disk
    std::ostringstream err;
    EXPECT_EQ(RunCli({"cable", "show", P("l48.cbl")}, lost, err, '.'), 1);
    EXPECT_EQ(err.str(), "teravox2-cli: the output could not be written\n");
}

TEST_F(CliModel, JsonOfANameInOneByteText) {
    MakeCable48();
    ASSERT_EQ(Cli({"generate", "--cable", P("l48.cbl"), "--array", "dd", "--spacing", "5", "--levels", "1",
                   "--name", "Ligne \xE9t\xE9", "-o", P("lat.sqx")})
                  .Status,
              0);
    json j = Show(P("lat.sqx"));
    EXPECT_EQ(j["name"], "Ligne \xC3\xA9t\xC3\xA9");
}

TEST_F(CliModel, RollAlongTakesNewLevelsForTheCopiedSecondLength) {
    MakeCable48();
    ASSERT_EQ(Cli({"generate", "--cable", P("l48.cbl"), "--array", "dd", "--spacing", "5", "--levels", "1-2",
                   "--spacing2", "2", "--levels2", "1", "-o", P("p.sqx")})
                  .Status,
              0);
    auto r = Cli({"generate", "--roll-along", P("p.sqx"), "--levels2", "1-3", "-o", P("r.sqx")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Show(P("r.sqx"))["level_used"][1], 0x7);
    // Without a second length to copy, the new levels need one.
    ASSERT_EQ(Cli({"generate", "--cable", P("l48.cbl"), "--array", "dd", "--spacing", "5", "--levels", "1",
                   "-o", P("q.sqx")})
                  .Status,
              0);
    EXPECT_EQ(Cli({"generate", "--roll-along", P("q.sqx"), "--levels2", "1", "-o", P("r2.sqx")}).Status, 2);
}

TEST_F(CliModel, RollAlongContinuesAfterThePreviousLine) {
    MakeCable48();
    ASSERT_EQ(Cli({"generate", "--cable", P("l48.cbl"), "--array", "dd", "--spacing", "5", "--levels", "1-6",
                   "--first", "25", "-o", P("p.sqx")})
                  .Status,
              0);
    json prev = Show(P("p.sqx"));
    // Start at 25 of set 1-24, 25-48: 25..48 then 1..24 along the line. Deepest start: electrode 16.
    auto r = Cli({"generate", "--roll-along", P("p.sqx"), "--name", "Next", "-o", P("n.sqx")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    json next = Show(P("n.sqx"));
    EXPECT_EQ(next["name"], "Next");
    const int start = next["first_electrode"];
    EXPECT_EQ(start, 16);
    // The new line starts where the previous one's deepest quadripole started.
    double startX = 0;
    for (const auto& e : prev["electrodes"])
        if (e["index"] == start) startX = e["x"];
    double newStartX = 0;
    for (const auto& e : next["electrodes"])
        if (e["index"] == start) newStartX = e["x"];
    EXPECT_DOUBLE_EQ(newStartX, startX);
    EXPECT_DOUBLE_EQ(next["roll_limit"][0].get<double>(), startX);
    // Nothing measured twice: every quadripole of the new line lies beyond the roll-along limit rule.
    EXPECT_GT(next["nb_quadripole"].get<int>(), 0);
    EXPECT_LT(next["nb_quadripole"].get<int>(), prev["nb_quadripole"].get<int>());

    auto bad = Cli({"generate", "--roll-along", P("p.sqx"), "--first", "10", "-o", P("m.sqx")});
    EXPECT_EQ(bad.Status, 2);
    EXPECT_NE(bad.Err.find("from 13 to 17"), std::string::npos) << bad.Err;

    auto mv = Cli({"generate", "--move-along", P("p.sqx"), "--start-x", "500", "-o", P("m.sqx")});
    ASSERT_EQ(mv.Status, 0) << mv.Err;
    json moved = Show(P("m.sqx"));
    int first = moved["first_electrode"];
    for (const auto& e : moved["electrodes"]) {
        if (e["index"] == first) {
            EXPECT_DOUBLE_EQ(e["x"].get<double>(), 500);
        }
    }
    EXPECT_EQ(Cli({"generate", "--move-along", P("p.sqx"), "-o", P("m2.sqx")}).Status, 2);
}

TEST_F(CliModel, AGenerationWithoutQuadripoleIsWrittenWithAWarning) {
    MakeCable48();
    auto r = Cli({"generate", "--cable", P("l48.cbl"), "--array", "dd", "--spacing", "5", "--levels", "30",
                  "--electrodes", "8", "-o", P("e.sqx")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("0 quadripoles"), std::string::npos) << r.Out;
    EXPECT_NE(r.Err.find("warning: " + P("e.sqx") + ": no quadripole: "), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("8 electrodes"), std::string::npos) << r.Err;
    EXPECT_EQ(Show(P("e.sqx"))["nb_quadripole"], 0);

    auto full = Cli({"generate", "--cable", P("l48.cbl"), "--array", "dd", "--spacing", "5", "--levels",
                     "1-6", "-o", P("f.sqx")});
    ASSERT_EQ(full.Status, 0);
    EXPECT_TRUE(full.Err.empty()) << full.Err;
}

}  // namespace

namespace {

class CliGradient : public CliModel {};

// On 48 electrodes, separations 1, 2 and 4: s (48 - s - 2) readings each.
TEST_F(CliGradient, GeneratesShowsRollsChecksAndOrders) {
    MakeCable48();
    auto r = Cli({"generate", "--cable", P("l48.cbl"), "--array", "mg", "--spacing", "5", "--separations",
                  "1,2,4", "--name", "Grad", "-o", P("g.sqx")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const int count = 1 * 45 + 2 * 44 + 4 * 42;
    EXPECT_EQ(r.Out, "Grad: 48 electrodes, " + std::to_string(count) + " quadripoles\n");
    json j = Show(P("g.sqx"));
    EXPECT_EQ(j["array_type"], 8);
    EXPECT_EQ(j["level_used"][0], 0b1011);
    const json& q = j["quadripoles"][1];  // A 1, B 5, M 2, N 3: s = 2
    EXPECT_EQ(q["b"], 5);
    EXPECT_EQ(q["level"], 2);
    EXPECT_NEAR(q["k"].get<double>(), 2 * M_PI * 5 / (1 - 0.5 - 1.0 / 3 + 0.5), 1e-3);
    EXPECT_NEAR(q["pseudo_x"].get<double>(), 7.5, 1e-6);
    EXPECT_NEAR(q["depth"].get<double>(), q["median_depth"].get<double>(), 1e-6);

    // Family 2 takes it as array code 7; nothing else to say about it.
    auto check = Cli({"check", "--family", "2", P("g.sqx")});
    EXPECT_EQ(check.Status, 0) << check.Out << check.Err;

    auto roll = Cli({"generate", "--roll-along", P("g.sqx"), "-o", P("g2.sqx")});
    ASSERT_EQ(roll.Status, 0) << roll.Err;
    json j2 = Show(P("g2.sqx"));
    EXPECT_EQ(j2["array_type"], 8);
    EXPECT_EQ(j2["level_used"][0], 0b1011);
    EXPECT_GT(j2["nb_quadripole"].get<int>(), 0);

    ASSERT_EQ(Cli({"reciprocal", P("g.sqx"), "-o", P("r.sqx")}).Status, 0);
    EXPECT_EQ(Show(P("r.sqx"))["nb_quadripole"], 2 * count);
    ASSERT_EQ(Cli({"order", "--ip", P("g.sqx"), "-o", P("o.sqx")}).Status, 0);
    EXPECT_EQ(Show(P("o.sqx"))["nb_quadripole"], count);
}

TEST_F(CliGradient, SeparationsBelongToTheGradient) {
    MakeCable48();
    const std::string cable = P("l48.cbl");
    const std::vector<std::string> cases[] = {
        {"--array", "dd", "--spacing", "5", "--separations", "1-3"},
        {"--array", "mg", "--spacing", "5", "--levels", "1-3"},
        {"--array", "mg", "--spacing", "5", "--separations", "1-3", "--levels", "1"},
        {"--array", "mg", "--spacing", "5", "--separations", "0-3"},
        {"--array", "mg", "--spacing", "5", "--separations", "1", "--spacing2", "2", "--levels2", "1"},
        {"--array", "mg", "--spacing", "5"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"generate", "--cable", cable};
        args.insert(args.end(), c.begin(), c.end());
        args.insert(args.end(), {"-o", P("x.sqx")});
        auto r = Cli(args);
        EXPECT_EQ(r.Status, 2) << c[1] << " " << c[4] << " " << r.Err;
        EXPECT_FALSE(FileExists(P("x.sqx")));
    }
}

}  // namespace

namespace {

// The plain gradient on the first N electrodes: A 1, B N, and the N - 3 potential dipoles between.
TEST_F(CliModel, GradientIsOneCurrentDipoleOverTheElectrodes) {
    MakeCable48();
    auto r = Cli({"generate", "--cable", P("l48.cbl"), "--array", "gradient", "--spacing", "5",
                  "--electrodes", "20", "-o", P("g.sqx")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    json j = Show(P("g.sqx"));
    EXPECT_EQ(j["array_type"], 8);
    EXPECT_EQ(j["level_used"][0], 1 << 16);  // s = 17: a current dipole 19 a long
    ASSERT_EQ(j["nb_quadripole"], 17);
    for (int i = 0; i < 17; ++i) {
        const json& q = j["quadripoles"][i];
        EXPECT_EQ(q["a"], 1);
        EXPECT_EQ(q["b"], 20);
        EXPECT_EQ(q["m"], 2 + i);
        EXPECT_EQ(q["n"], 3 + i);
    }
    // Every electrode of the line (48) is more than a level can hold; --levels is not its to take.
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, {"--electrodes", "20", "--levels", "1"}}) {
        std::vector<std::string> args{"generate", "--cable",   P("l48.cbl"), "--array",
                                      "gradient", "--spacing", "5"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {"-o", P("x.sqx")});
        EXPECT_EQ(Cli(args).Status, 2);
        EXPECT_FALSE(FileExists(P("x.sqx")));
    }
}

}  // namespace

namespace {

class CliGrid : public CliModel {};

// Four lines of twelve, a = 5, D = 10, levels 1 to 3, both ways and across: 4 x 24 along X, 12 x 1
// along Y, 3 x 49 across the lines along X and 11 x 9 across those along Y.
TEST_F(CliGrid, GeneratesAGridAndShowsIt) {
    MakeCable48();
    auto r = Cli({"generate", "--cable", P("l48.cbl"), "--array", "dd", "--spacing", "5", "--levels", "1-3",
                  "--grid", "4:12", "--line-spacing", "10", "--y-lines", "--cross", "--name", "Grid", "-o",
                  P("g.sqx")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "Grid: 48 electrodes, 354 quadripoles\n");
    EXPECT_TRUE(r.Err.empty()) << r.Err;
    json j = Show(P("g.sqx"));
    EXPECT_EQ(j["grid_line_x"], 4);
    EXPECT_EQ(j["grid_line_y"], 12);
    EXPECT_EQ(j["array_type"], 0);
    EXPECT_EQ(j["max_x"], 55.0);
    EXPECT_EQ(j["max_y"], 30.0);
    const json& e13 = j["electrodes"][13];  // entry 0 is the remote electrode
    EXPECT_EQ(e13["number"], 13);
    EXPECT_EQ(e13["x"], 0.0);
    EXPECT_EQ(e13["y"], 10.0);
    // The first reading along Y: electrodes 1, 13, 25, 37 down the first column, D apart.
    const json& y = j["quadripoles"][96];
    EXPECT_EQ(std::vector<int>({y["a"], y["b"], y["m"], y["n"]}), std::vector<int>({1, 13, 25, 37}));
    EXPECT_NEAR(y["k"].get<double>(), -94.2478 * 2, 1e-2);
    EXPECT_NEAR(y["level_value"].get<double>(), 10.0, 1e-5);

    auto text = Cli({"show", P("g.sqx")});
    EXPECT_NE(text.Out.find("  3D grid     4 lines along X of 12 electrodes\n"), std::string::npos)
        << text.Out;

    // Family 1 takes it; a grid beyond its 1,500 readings is refused, and the check says so.
    EXPECT_EQ(Cli({"check", "--family", "1", P("g.sqx")}).Status, 0);
    ASSERT_EQ(Cli({"cable", "create", P("l96.cbl"), "--name", "L96", "--segment", "Long:1-96:5"}).Status, 0);
    auto generous = Cli({"generate", "--cable", P("l96.cbl"), "--array", "dd", "--spacing", "5", "--levels",
                         "1-12", "--grid", "4:24", "--line-spacing", "5", "--cross", "-o", P("c.sqx")});
    ASSERT_EQ(generous.Status, 0) << generous.Err;
    ASSERT_EQ(Show(P("c.sqx"))["nb_quadripole"].get<int>(), 4 * 186 + 3 * 397);
    auto check = Cli({"check", "--family", "1", P("c.sqx")});
    EXPECT_NE(check.Status, 0);
    EXPECT_NE((check.Out + check.Err).find("family 1 takes at most 1500"), std::string::npos)
        << check.Out << check.Err;

    // Its resolution is worked out for one line only: refused, saying so.
    auto resolution = Cli({"resolution", P("g.sqx")});
    EXPECT_EQ(resolution.Status, 1);
    EXPECT_NE(resolution.Err.find("a 3D grid of 4 lines is not one line"), std::string::npos)
        << resolution.Err;

    // Generated whole: it is not rolled along.
    auto roll = Cli({"generate", "--roll-along", P("g.sqx"), "-o", P("r.sqx")});
    EXPECT_EQ(roll.Status, 1);
    EXPECT_NE(roll.Err.find("3D grid"), std::string::npos) << roll.Err;
    EXPECT_FALSE(FileExists(P("r.sqx")));
}

TEST_F(CliGrid, GridOptionsAreCheckedWithClearErrors) {
    MakeCable48();
    const std::string cable = P("l48.cbl");
    struct TCase {
        std::vector<std::string> Args;
        const char* Says;
    } cases[] = {
        {{"--grid", "4:12"}, "--grid needs --line-spacing"},
        {{"--line-spacing", "10"}, "belong to --grid"},
        {{"--y-lines"}, "belong to --grid"},
        {{"--cross"}, "belong to --grid"},
        {{"--grid", "4x12", "--line-spacing", "10"}, "--grid must read NX:NY"},
        {{"--grid", "0:12", "--line-spacing", "10"}, "1 to 100"},
        {{"--grid", "4:101", "--line-spacing", "10"}, "1 to 100"},
        {{"--grid", "4:12", "--line-spacing", "10", "--electrodes", "20"}, "no --electrodes"},
        {{"--grid", "4:12", "--line-spacing", "0"}, "--line-spacing: cannot generate"},
        {{"--grid", "4:12", "--line-spacing", "nan"}, "--line-spacing"},
        {{"--grid", "5:12", "--line-spacing", "10"}, "--grid: cannot generate: a grid of 5 x 12 needs 60"},
    };
    for (const TCase& c : cases) {
        std::vector<std::string> args{"generate",  "--cable", cable,      "--array", "dd",
                                      "--spacing", "5",       "--levels", "1-3"};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        args.insert(args.end(), {"-o", P("x.sqx")});
        auto r = Cli(args);
        EXPECT_EQ(r.Status, 2) << c.Says << ": " << r.Err;
        EXPECT_NE(r.Err.find(c.Says), std::string::npos) << r.Err;
        EXPECT_FALSE(FileExists(P("x.sqx")));
    }
    auto gradient = Cli({"generate", "--cable", cable, "--array", "gradient", "--spacing", "5", "--grid",
                         "4:12", "--line-spacing", "10", "-o", P("x.sqx")});
    EXPECT_EQ(gradient.Status, 2);
    EXPECT_NE(gradient.Err.find("a grid takes --array mg"), std::string::npos) << gradient.Err;
    auto mg = Cli({"generate", "--cable", cable, "--array", "mg", "--spacing", "5", "--separations", "1,2",
                   "--grid", "4:12", "--line-spacing", "10", "-o", P("m.sqx")});
    ASSERT_EQ(mg.Status, 0) << mg.Err;
    EXPECT_EQ(mg.Out, "NoName: 48 electrodes, " + std::to_string(4 * (1 * 9 + 2 * 8)) + " quadripoles\n");
}

}  // namespace
