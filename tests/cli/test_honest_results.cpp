// Results that were wrong and reported as success: each case through the command line, where a user
// met it, with the files it reads and writes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "model/fileio.h"
#include "model/geometry.h"
#include "model/sqxfile.h"
#include "storage/import.h"
#include "tests/cli/clirun.h"
#include "tests/support/testdir.h"

namespace {

struct THonestCase {
    const char* Name;
    std::function<void(TTestDir&)> Check;
};

bool Says(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteText(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string MakeCable(TTestDir& dir) {
    const std::string path = dir.Path("l48.cbl");
    if (!std::filesystem::exists(path)) {
        auto r = Cli({"cable", "create", path, "--name", "L48", "--segment", "Red:1-48:5"});
        EXPECT_EQ(r.Status, 0) << r.Err;
    }
    return path;
}

std::vector<std::string> Generate(TTestDir& dir, const std::string& out, std::vector<std::string> options) {
    std::vector<std::string> args = {"generate", "--cable", MakeCable(dir), "--array", "dd",
                                     "--levels", "1-3",     "-o",           out};
    args.insert(args.end(), options.begin(), options.end());
    return args;
}

nlohmann::json ShowJson(const std::string& sqx) {
    auto r = Cli({"show", sqx, "--json"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    return nlohmann::json::parse(r.Out);
}

// A line of a spreadsheet export's header, e.g. "Spacing 2 3".
bool HasHeaderLine(const std::string& file, const std::string& line) {
    return Says(ReadText(file), "\r\n" + line + "\r\n");
}

std::string Utf16LittleEndian(const std::string& ascii, bool mark) {
    std::string out = mark ? "\xFF\xFE" : "";
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

const std::string SmallText =
    "#,A,B,M,N\n1,1,2,3,4\n2,Rem,2,3,4\n#,X,Y,Z\n1,0,0,0\n2,2.5,0,0\n3,5,0,0\n4,7.5,0,0\n";

std::vector<THonestCase> Cases() {
    std::vector<THonestCase> cases;

    cases.push_back(
        {"DipoleLengthsKeepTheirMultipleInTheExportAndTheJson", [](TTestDir& dir) {
             // a typed with two decimals whose k x a once came back as (k - 1) x a, and others that did not.
             const struct {
                 const char* A;
                 int K2, K3;
                 const char* NewA;  // a roll along with another spacing keeps the multiples
             } lengths[] = {{"0.11", 3, 3, "0.43"},
                            {"0.09", 2, 7, "0.11"},
                            {"0.43", 3, 9, "0.09"},
                            {"2.5", 6, 9, "0.37"},
                            {"0.37", 5, 5, "2.5"}};
             for (const auto& l : lengths) {
                 const std::string tag =
                     std::string("a = ") + l.A + ", " + std::to_string(l.K2) + " and " + std::to_string(l.K3);
                 const std::string sqx = dir.Path(std::string("L") + l.A + ".sqx");
                 auto r =
                     Cli(Generate(dir, sqx,
                                  {"--spacing", l.A, "--spacing2", std::to_string(l.K2), "--levels2", "1",
                                   "--spacing3", std::to_string(l.K3), "--levels3", "1", "--name", "S"}));
                 ASSERT_EQ(r.Status, 0) << r.Err;
                 for (const auto& [file, a] :
                      {std::pair{sqx, l.A}, std::pair{dir.Path("rolled.sqx"), l.NewA}}) {
                     if (a == l.NewA) {
                         r = Cli(
                             {"generate", "--roll-along", sqx, "--spacing", a, "--name", "S", "-o", file});
                         ASSERT_EQ(r.Status, 0) << r.Err;
                     }
                     const float typedA = std::strtof(a, nullptr);
                     const nlohmann::json j = ShowJson(file);
                     EXPECT_EQ(j["spacing"][0].get<float>(), typedA) << tag;
                     EXPECT_EQ(j["spacing"][1].get<float>(), static_cast<float>(l.K2) * typedA)
                         << tag << " from " << a;
                     EXPECT_EQ(j["spacing"][2].get<float>(), static_cast<float>(l.K3) * typedA)
                         << tag << " from " << a;
                     std::filesystem::remove_all(dir.Path("out"));
                     r = Cli({"export", "spreadsheet", file, "--to", dir.Path("out")});
                     ASSERT_EQ(r.Status, 0) << r.Err;
                     EXPECT_TRUE(HasHeaderLine(dir.Path("out/S.txt"), "Spacing 2 " + std::to_string(l.K2)))
                         << tag << " from " << a;
                     EXPECT_TRUE(HasHeaderLine(dir.Path("out/S.txt"), "Spacing 3 " + std::to_string(l.K3)))
                         << tag << " from " << a;
                 }
             }
         }});

    cases.push_back({"SpacingsTooSmallToTellElectrodesApartAreRefused", [](TTestDir& dir) {
                         // At 0.0015 every quadripole was 1-1-1-1, at 0.015 some were lost; both reported
                         // success.
                         for (const char* a : {"0.0015", "0.005", "0.015", "0.0199"}) {
                             auto r = Cli(Generate(dir, dir.Path("tiny.sqx"), {"--spacing", a}));
                             EXPECT_EQ(r.Status, ExitUsage) << a;
                             EXPECT_TRUE(Says(r.Err, "--spacing")) << r.Err;
                             EXPECT_TRUE(Says(r.Err, "cannot be told apart")) << r.Err;
                             EXPECT_FALSE(std::filesystem::exists(dir.Path("tiny.sqx"))) << a;
                         }
                         auto r = Cli(Generate(dir, dir.Path("small.sqx"), {"--spacing", "0.02"}));
                         ASSERT_EQ(r.Status, 0) << r.Err;
                         EXPECT_EQ(r.Out, "NoName: 48 electrodes, 132 quadripoles\n");  // as at a = 5
                         r = Cli({"check", "--family", "2", dir.Path("small.sqx")});
                         EXPECT_EQ(r.Status, 0) << r.Out << r.Err;
                     }});

    cases.push_back(
        {"CheckReportsAQuadripoleThatNamesAnElectrodeTwice", [](TTestDir& dir) {
             auto r = Cli(Generate(dir, dir.Path("L.sqx"), {"--spacing", "5"}));
             ASSERT_EQ(r.Status, 0) << r.Err;
             auto seq = std::make_unique<TSequence>();
             ReadSequenceFile(dir.Path("L.sqx"), *seq);
             seq->Quadripoles[3] = {5, 5, 6, 7, 0, 1, -1};
             seq->Quadripoles[9] = {8, 9, 10, 8, 0, 1, -1};
             WriteSequenceFile(dir.Path("L.sqx"), *seq);
             r = Cli({"check", "--family", "2", dir.Path("L.sqx")});
             EXPECT_EQ(r.Status, ExitFailed);
             EXPECT_EQ(
                 r.Out,
                 dir.Path("L.sqx") +
                     ": 2 quadripoles name an electrode more than once, the first number 4 (5-5-6-7)\n");
         }});

    cases.push_back(
        {"Utf16TextIsReadAsItsUtf8Twin", [](TTestDir& dir) {
             WriteText(dir.Path("plain.txt"), SmallText);
             WriteText(dir.Path("wide.txt"), Utf16LittleEndian(SmallText, true));
             auto plain = Cli({"import", dir.Path("plain.txt"), "-o", dir.Path("plain.sqx")});
             auto wide = Cli({"import", dir.Path("wide.txt"), "-o", dir.Path("wide.sqx")});
             ASSERT_EQ(wide.Status, 0) << wide.Err;
             EXPECT_EQ(wide.Out, "wide: 4 electrodes, 2 quadripoles\n");
             auto a = std::make_unique<TSequence>(), b = std::make_unique<TSequence>();
             ReadSequenceFile(dir.Path("plain.sqx"), *a);
             ReadSequenceFile(dir.Path("wide.sqx"), *b);
             a->Name.Set("wide");
             a->CableName.Set("wide");
             a->Segments[0].Name.Set("wide");
             EXPECT_EQ(std::memcmp(a.get(), b.get(), sizeof(TSequence)), 0);

             WriteText(dir.Path("nomark.txt"), Utf16LittleEndian(SmallText, false));
             auto r = Cli({"import", dir.Path("nomark.txt"), "-o", dir.Path("nomark.sqx")});
             EXPECT_EQ(r.Status, ExitFailed);
             EXPECT_TRUE(Says(r.Err, dir.Path("nomark.txt") + ": UTF-16 text without a byte-order mark"))
                 << r.Err;
             EXPECT_FALSE(std::filesystem::exists(dir.Path("nomark.sqx")));
         }});

    cases.push_back({"OneElectrodeGivenManyTimesIsOneElectrode", [](TTestDir& dir) {
                         std::string text = "#,A,B,M,N\n1,1,2,3,4\n#,X,Y,Z\n";
                         for (int i = 0; i < 1500; ++i) text += "1,0,0,0\n";
                         for (int n = 2; n <= 72; ++n)
                             text += std::to_string(n) + "," + std::to_string(n) + ",0,0\n";
                         WriteText(dir.Path("many.txt"), text);
                         auto r = Cli({"import", dir.Path("many.txt"), "-o", dir.Path("many.sqx")});
                         ASSERT_EQ(r.Status, 0) << r.Err;
                         EXPECT_EQ(r.Out, "many: 72 electrodes, 1 quadripoles\n");
                     }});

    cases.push_back(
        {"CoordinatesThatAreNotFiniteAreRefusedWhereTheyEnter", [](TTestDir& dir) {
             // A sequence file: export and import name the file and the electrode, and write nothing.
             auto r = Cli(Generate(dir, dir.Path("L.sqx"), {"--spacing", "5", "--name", "L"}));
             ASSERT_EQ(r.Status, 0) << r.Err;
             auto seq = std::make_unique<TSequence>();
             ReadSequenceFile(dir.Path("L.sqx"), *seq);
             for (float bad : {NAN, INFINITY}) {
                 seq->Electrodes[5].X = bad;
                 WriteSequenceFile(dir.Path("bad.sqx"), *seq);
                 for (const char* format : {"spreadsheet", "pelmar"}) {
                     r = Cli({"export", format, dir.Path("bad.sqx"), "--to", dir.Path("out")});
                     EXPECT_EQ(r.Status, ExitFailed) << format;
                     EXPECT_TRUE(Says(
                         r.Err, dir.Path("bad.sqx") + ": not a valid sequence file: electrode 5 has X = "))
                         << r.Err;
                     EXPECT_FALSE(std::filesystem::exists(dir.Path("out"))) << format;
                 }
                 r = Cli({"import", dir.Path("bad.sqx"), "-o", dir.Path("in.sqx")});
                 EXPECT_EQ(r.Status, ExitFailed);
                 EXPECT_TRUE(Says(r.Err, "electrode 5 has X = ")) << r.Err;
                 EXPECT_FALSE(std::filesystem::exists(dir.Path("in.sqx")));
             }

             // A V1 file, by its electrode record.
             std::string v1(V1HeaderSize, '\0');
             std::memcpy(v1.data(), "_DOC_Teravox", 12);
             v1[V1ElectrodeCountOffset] = 2;
             for (float x : {0.0f, INFINITY}) {
                 const int16_t number = x == 0.0f ? 0 : 1;
                 char record[16] = {};
                 std::memcpy(record, &number, 2);
                 std::memcpy(record + 2, &x, 4);
                 v1.append(record, 16);
             }
             WriteText(dir.Path("old.seq"), v1);
             r = Cli({"import", dir.Path("old.seq"), "-o", dir.Path("old.sqx")});
             EXPECT_EQ(r.Status, ExitFailed);
             EXPECT_TRUE(Says(
                 r.Err, dir.Path("old.seq") + ": V1 electrode record 2 (electrode number 2) has X = inf"))
                 << r.Err;
             EXPECT_FALSE(std::filesystem::exists(dir.Path("old.sqx")));

             // A text file, by its line.
             WriteText(dir.Path("nan.txt"), "#,A,B,M,N\n1,1,2,3,4\n#,X,Y,Z\n1,0,0,0\n2,NAN,0,0\n");
             r = Cli({"import", dir.Path("nan.txt"), "-o", dir.Path("nan.sqx")});
             EXPECT_EQ(r.Status, ExitFailed);
             EXPECT_TRUE(Says(r.Err, dir.Path("nan.txt") + ": line 5: \"NAN\" is not a valid number"))
                 << r.Err;

             // Options, by their name.
             const std::vector<std::pair<std::vector<std::string>, std::string>> options = {
                 {{"cable", "create", dir.Path("c.cbl"), "--name", "C", "--segment", "Red:1-48:nan"},
                  "--segment spacing"},
                 {{"cable", "create", dir.Path("c.cbl"), "--name", "C", "--segment", "Red:1-48:1e39"},
                  "--segment spacing"},
                 {Generate(dir, dir.Path("o.sqx"), {"--spacing", "5", "--x", "nan"}), "--x"},
                 {Generate(dir, dir.Path("o.sqx"), {"--spacing", "5", "--y", "inf"}), "--y"},
                 {Generate(dir, dir.Path("o.sqx"), {"--spacing", "5", "--z", "1e39"}), "--z"},
                 {{"generate", "--move-along", dir.Path("L.sqx"), "--start-x", "-inf", "-o",
                   dir.Path("o.sqx")},
                  "--start-x"},
             };
             for (const auto& [args, named] : options) {
                 r = Cli(args);
                 EXPECT_EQ(r.Status, ExitUsage) << named;
                 EXPECT_TRUE(Says(r.Err, named)) << r.Err;
                 EXPECT_FALSE(std::filesystem::exists(dir.Path("c.cbl")));
                 EXPECT_FALSE(std::filesystem::exists(dir.Path("o.sqx")));
             }
         }});

    return cases;
}

class HonestResults : public testing::TestWithParam<THonestCase> {};

TEST_P(HonestResults, Case) {
    TTestDir dir;
    GetParam().Check(dir);
}

INSTANTIATE_TEST_SUITE_P(Faults, HonestResults, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<THonestCase>& p) {
                             return std::string(p.param.Name);
                         });

}  // namespace
