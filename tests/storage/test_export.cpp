#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "model/cable.h"
#include "model/fileio.h"
#include "model/generate.h"
#include "model/geometry.h"
#include "storage/export.h"
#include "storage/import.h"
#include "tests/storage/tempfolder.h"

namespace {

// A generated line: 48 nodes 2.5 apart starting at x = 10.37, six levels.
std::unique_ptr<TSequence> Generated(int arrayType, const std::string& name = "Line1") {
    TCable cable;
    TSegment s;
    s.MakeEmpty();
    s.Name.Set("S1");
    s.FirstNode = 1;
    s.LastNode = 48;
    s.NodeSpacing = 2.5f;
    cable.Segments[0] = s;
    auto seq = std::make_unique<TSequence>();
    ApplyCableSet(*seq, cable);
    seq->Name.Set(name);
    seq->ArrayType = arrayType;
    seq->Spacing[0] = 2.5f;
    seq->LevelUsed[0] = 0x3F;
    if (arrayType == 0) {
        seq->Spacing[1] = 5.0f;
        seq->LevelUsed[1] = 0x7;
    }
    seq->Electrodes[seq->FirstElectrode].X = 10.37f;
    seq->Electrodes[seq->FirstElectrode].Z = -1.5f;
    TNullChartSink chart;
    GenerateSequence(*seq, ModeCreate, chart);
    return seq;
}

std::string V1Template() {
    std::string b(V1HeaderSize, '\0');
    std::memcpy(b.data(), "_DOC_Teravox", 12);
    for (std::size_t i = 12; i < V1ElectrodeCountOffset; ++i) b[i] = static_cast<char>(i);  // kept unchanged
    std::memcpy(b.data() + V1NameOffset, "Template", 8);
    return b;
}

bool Listed(const TElectrode& e) { return e.Type == 2 || e.Type == 4; }

void ExpectSameElectrodesAndQuadripoles(const TSequence& original, const TSequence& back) {
    for (int n = 1; n <= MaxElectrodeNumber; ++n) {
        const TElectrode& o = original.Electrodes[n];
        const TElectrode& b = back.Electrodes[n];
        ASSERT_EQ(Listed(o), Listed(b)) << "electrode " << n;
        if (!Listed(o)) continue;
        EXPECT_NEAR(o.X, b.X, 0.005) << "electrode " << n;
        EXPECT_NEAR(o.Y, b.Y, 0.005) << "electrode " << n;
        EXPECT_NEAR(o.Z, b.Z, 0.005) << "electrode " << n;
    }
    ASSERT_EQ(original.NbQuadripole, back.NbQuadripole);
    for (int i = 0; i < original.NbQuadripole; ++i) {
        const TQuadripole& o = original.Quadripoles[i];
        const TQuadripole& b = back.Quadripoles[i];
        ASSERT_TRUE(o.A == b.A && o.B == b.B && o.M == b.M && o.N == b.N) << "quadripole " << i + 1;
    }
}

}  // namespace

// Array type, decimal separator, field separator.
class SpreadsheetRoundTrip : public testing::TestWithParam<std::tuple<int, char, char>> {};

TEST_P(SpreadsheetRoundTrip, ImportGivesBackElectrodesAndQuadripoles) {
    TTempFolder tmp;
    const auto [arrayType, decimal, separator] = GetParam();
    auto seq = Generated(arrayType);
    ASSERT_GT(seq->NbQuadripole, 10);
    std::string path = ExportSpreadsheet(*seq, tmp.Path(), "Line1", separator, decimal);
    EXPECT_EQ(path, tmp / "Line1.txt");
    TSequence back;
    ImportTextFile(path, decimal, back);
    EXPECT_EQ(back.Name.Get(), "Line1");
    EXPECT_EQ(back.ArrayType, 9);
    ExpectSameElectrodesAndQuadripoles(*seq, back);
}

INSTANTIATE_TEST_SUITE_P(AllArrays, SpreadsheetRoundTrip,
                         testing::Combine(testing::Values(0, 1, 2, 4, 6), testing::Values('.', ','),
                                          testing::Values('\t', ',', ' ')),
                         [](const testing::TestParamInfo<std::tuple<int, char, char>>& p) {
                             const char* sep = std::get<2>(p.param) == '\t'  ? "Tab"
                                               : std::get<2>(p.param) == ',' ? "Comma"
                                                                             : "Space";
                             return "Array" + std::to_string(std::get<0>(p.param)) +
                                    (std::get<1>(p.param) == '.' ? "Point" : "DecimalComma") + sep;
                         });

TEST(QuadripoleLinesTest, FormatsAsTheImportReadsThem) {
    TSequence seq;
    seq.NbQuadripole = 2;
    seq.Quadripoles[0] = {5, 6, 1, 2, 0, 1, -1};
    seq.Quadripoles[1] = {0, 6, 1, 2, 0, 1, -1};
    std::vector<std::string> lines{"old"};
    QuadripoleLines(seq, lines, ",");
    EXPECT_EQ(lines, (std::vector<std::string>{"#,A,B,M,N", "1, 5,6,1,2  ", "2, Rem,6,1,2  "}));
    seq.NbQuadripole = 0;
    QuadripoleLines(seq, lines, "   ");
    EXPECT_EQ(lines, (std::vector<std::string>{"#   A   B   M   N"}));
}

TEST(ElectrodeLinesTest, ListsPlacedElectrodesWithTwoDecimals) {
    TSequence seq;
    seq.Electrodes[0] = {3, 0, 999999, 999999, 0};
    seq.Electrodes[2] = {2, 2, 1.005f, -0.125f, 100};
    seq.Electrodes[7] = {4, 7, 12.5f, 0, 0};
    seq.Electrodes[9] = {1, 9, 3, 3, 3};  // a node not placed
    std::vector<std::string> lines;
    ElectrodeLines(seq, lines, "\t", {});
    EXPECT_EQ(lines,
              (std::vector<std::string>{"#\tX\tY\tZ", "2\t1.00\t-0.13\t100.00", "7\t12.50\t0.00\t0.00"}));
    ElectrodeLines(seq, lines, ",", {',', true});
    EXPECT_EQ(lines[2], "7,\"12,50\",\"0,00\",\"0,00\"");
    ElectrodeLines(seq, lines, "   ", {',', false});
    EXPECT_EQ(lines[2], "7   12,50   0,00   0,00");
}

TEST(SpreadsheetHeaderTest, TwentyOneKeyedLines) {
    TSequence seq;
    seq.Name.Set("Line1");
    seq.Area = 0.1f;
    seq.Line = -3;
    seq.QMax = 5;
    seq.Mode = 1;
    seq.VmnRange = 7;
    seq.ArrayType = 4;
    seq.Spacing[0] = 2.5f;
    seq.Spacing[2] = 7.5f;
    seq.LevelUsed[0] = 0b10110;  // levels 2, 3 and 5
    seq.LevelUsed[2] = 1;
    seq.NbElectrode = 48;
    seq.NbQuadripole = 300;
    std::vector<std::string> lines;
    SpreadsheetHeader(seq, lines, "\t", {'.', true});
    EXPECT_EQ(lines, (std::vector<std::string>{"Version\t1",
                                               "Name\tLine1",
                                               "Area\t0.100000001490116",
                                               "Line\t-3",
                                               "QMax\t5",
                                               "StackMin\t3",
                                               "StackMax\t6",
                                               "Time\t1000",
                                               "Mode\tRho and Ip",
                                               "Vmn Range\tVab = 50 V",
                                               "Array Type\tWenner-Schlumberger",
                                               "Spacing 1\t1",
                                               "Level Used \t2\t3\t4\t5",
                                               "Spacing 2\t0",
                                               "Level Used \t0",
                                               "Spacing 3\t3",
                                               "Level Used \t1",
                                               "GridLineX\t0",
                                               "GridLineY\t0",
                                               "NbElectrode\t48",
                                               "NbQuadripole\t300"}));
    SpreadsheetHeader(seq, lines, ",", {',', true});
    EXPECT_EQ(lines[2], "Area,\"0,100000001490116\"");
}

TEST(SpreadsheetHeaderTest, ValueTexts) {
    TSequence seq;
    EXPECT_EQ(SpreadsheetVmnText(4), "Vmn =Save energy");
    EXPECT_EQ(SpreadsheetVmnText(11), "Vab = 800V");
    EXPECT_EQ(SpreadsheetVmnText(12), "Unknown");
    EXPECT_EQ(SpreadsheetVmnText(-1), "Unknown");
    for (auto [code, text] : std::vector<std::pair<int, std::string>>{{0, "Dipole dipole"},
                                                                      {1, "Pole dipole"},
                                                                      {2, "Pole pole"},
                                                                      {4, "Wenner-Schlumberger"},
                                                                      {6, "Wenner"},
                                                                      {3, "Mixed"},
                                                                      {9, "Mixed"}}) {
        seq.ArrayType = code;
        EXPECT_EQ(SpreadsheetArrayText(seq), text);
    }
    seq.ArrayType = 0;
    seq.GridLineX = 4;
    EXPECT_EQ(SpreadsheetArrayText(seq), "Mixed");
    EXPECT_EQ(SpreadsheetLevelsText(0, ","), "0");
    EXPECT_EQ(SpreadsheetLevelsText(-1, ",").substr(0, 6), "1,2,3,");
    EXPECT_EQ(SpreadsheetLevelsText(static_cast<int32_t>(0x80000000u), ","), "32");

    // a too small, and spacings a file may hold, keep the text defined.
    std::vector<std::string> lines;
    seq.Spacing[0] = 0;
    SpreadsheetHeader(seq, lines, " ", {});
    EXPECT_EQ(lines[11], "Spacing 1  ");
    seq.Spacing[0] = 0.001f;
    seq.Spacing[1] = 3e38f;
    seq.Spacing[2] = NAN;
    SpreadsheetHeader(seq, lines, " ", {});
    EXPECT_EQ(lines[15], "Spacing 3 0");
}

TEST(SpreadsheetFile, PointDecimalKeepsTheExactBytes) {
    TTempFolder tmp;
    TSequence seq;
    seq.Name.Set("Tiny");
    seq.Electrodes[1] = {4, 1, 0.5f, 0, 0};
    seq.NbQuadripole = 1;
    seq.Quadripoles[0] = {1, 0, 1, 1, 0, 1, -1};
    std::string path = ExportSpreadsheet(seq, tmp.Path(), "Tiny", ',', '.');
    std::string bytes = ReadBytes(path);
    EXPECT_EQ(bytes.substr(bytes.find("#,X")),
              "#,X,Y,Z\r\n1,0.50,0.00,0.00\r\n#,A,B,M,N\r\n1, 1,Rem,1,1  \r\n");
    EXPECT_EQ(bytes.substr(0, 11), "Version,1\r\n");
}

TEST(PelmarFiles, ThreeFilesNamedAfterTheSequence) {
    TTempFolder tmp;
    auto seq = Generated(0);
    seq->QMax = 300;  // low byte only
    seq->Time = 250;
    auto paths = ExportPelmar(*seq, tmp.Path(), "Line1", '.');
    EXPECT_EQ(paths,
              (std::vector<std::string>{tmp / "Line1_Quad.txt", tmp / "Line1_Coor.txt", tmp / "Line1.cfg"}));
    std::string quad = ReadBytes(paths[0]);
    EXPECT_EQ(quad.substr(0, 32), "#   A   B   M   N\r\n1    1   2   ");
    std::string coor = ReadBytes(paths[1]);
    EXPECT_EQ(coor.substr(0, 41), "#   X   Y   Z\r\n1   10.37   0.00   -1.50\r\n");
    std::string cfg = ReadBytes(paths[2]);
    ASSERT_EQ(cfg.size(), PelmarConfigSize);
    EXPECT_EQ(static_cast<unsigned char>(cfg[0]), 300 & 0xff);
    EXPECT_EQ(cfg[1], 6);
    EXPECT_EQ(cfg[2], 3);
    EXPECT_EQ(cfg[3], 3);
    EXPECT_EQ(cfg[4], 4);
    EXPECT_EQ(cfg.substr(8, 4), std::string("\0\0\0\0", 4));
    EXPECT_EQ(cfg.substr(12, 40), std::string("Varnel Configuration Created by TERAVOX\0", 40));
    EXPECT_EQ(cfg.find_first_not_of('\0', 52), std::string::npos);
}

TEST(PelmarFiles, AFailedThirdFileTakesTheNewOnesAway) {
    TTempFolder tmp;
    auto seq = Generated(0);
    WriteBytes(tmp / "Line1_Coor.txt", "last export");
    std::filesystem::create_directory(tmp / "Line1.cfg");  // cannot be replaced
    EXPECT_THROW(ExportPelmar(*seq, tmp.Path(), "Line1", '.'), TFileError);
    EXPECT_FALSE(FileExists(tmp / "Line1_Quad.txt"));  // new: taken away again
    EXPECT_TRUE(FileExists(tmp / "Line1_Coor.txt"));   // the user's earlier one stays
}

TEST(PelmarConfig, TimeCodes) {
    TSequence seq;
    TPelmarConfig cfg;
    for (auto [time, code] :
         std::vector<std::pair<int, int>>{{250, 3}, {500, 2}, {1000, 1}, {2000, 0}, {0, 0}}) {
        seq.Time = time;
        FillPelmarConfig(seq, cfg);
        EXPECT_EQ(cfg[3], code) << time;
    }
    seq.ArrayType = -2;
    FillPelmarConfig(seq, cfg);
    EXPECT_EQ(cfg[8], 0xfe);
    EXPECT_EQ(cfg[11], 0xff);
}

class V1RoundTrip : public testing::TestWithParam<int> {};

TEST_P(V1RoundTrip, ImportGivesBackElectrodesAndQuadripoles) {
    TTempFolder tmp;
    WriteBytes(tmp / "out.seq", V1Template() + "old content");
    auto seq = Generated(GetParam());
    ExportV1Sequence(*seq, tmp / "out.seq", false);
    std::string bytes = ReadBytes(tmp / "out.seq");
    int e = 0;
    for (int n = 1; n <= MaxElectrodeNumber; ++n) e += Listed(seq->Electrodes[n]) ? 1 : 0;
    ASSERT_EQ(bytes.size(), V1HeaderSize + 16u * static_cast<std::size_t>(e) +
                                14u * static_cast<std::size_t>(seq->NbQuadripole));
    EXPECT_EQ(bytes.substr(0, V1ElectrodeCountOffset), V1Template().substr(0, V1ElectrodeCountOffset));
    // The unread bytes: 1 in each record, and K with its sign.
    EXPECT_EQ(bytes[V1HeaderSize + 14], 1);
    float k;
    std::memcpy(&k, bytes.data() + V1HeaderSize + 16 * e + 10, 4);
    EXPECT_EQ(k, QuadripoleK(*seq, 0));

    TSequence back;
    ImportV1Sequence(back, tmp / "out.seq");
    EXPECT_EQ(back.Name.Get(), "Template");
    ExpectSameElectrodesAndQuadripoles(*seq, back);
}

INSTANTIATE_TEST_SUITE_P(AllArrays, V1RoundTrip, testing::Values(0, 1, 2, 4, 6));

TEST(V1Export, AppendCountsBothAndKeepsTheSecondElectrodeTable) {
    TTempFolder tmp;
    WriteBytes(tmp / "out.seq", V1Template());
    auto first = Generated(0);
    auto second = Generated(6);
    second->Electrodes[5].Y = 42;  // same electrodes, another position
    ExportV1Sequence(*first, tmp / "out.seq", false);
    ExportV1Sequence(*second, tmp / "out.seq", true);
    TSequence back;
    ImportV1Sequence(back, tmp / "out.seq");
    ASSERT_EQ(back.NbQuadripole, first->NbQuadripole + second->NbQuadripole);
    EXPECT_EQ(back.Electrodes[5].Y, 42.0f);
    EXPECT_EQ(back.Quadripoles[first->NbQuadripole].A, second->Quadripoles[0].A);
    EXPECT_EQ(back.Quadripoles[first->NbQuadripole].M, second->Quadripoles[0].M);
}

TEST(V1Export, RefusesAndLeavesTheFileUnchanged) {
    TTempFolder tmp;
    auto seq = Generated(0);
    WriteBytes(tmp / "text.seq", "just text");
    EXPECT_THROW(ExportV1Sequence(*seq, tmp / "text.seq", false), TFileError);
    EXPECT_EQ(ReadBytes(tmp / "text.seq"), "just text");
    EXPECT_THROW(ExportV1Sequence(*seq, tmp / "missing.seq", false), TFileError);
    EXPECT_FALSE(FileExists(tmp / "missing.seq"));

    WriteBytes(tmp / "out.seq", V1Template());
    ExportV1Sequence(*seq, tmp / "out.seq", false);
    const std::string before = ReadBytes(tmp / "out.seq");
    auto shorter = Generated(0);
    shorter->Electrodes[48].Type = 0;
    try {
        ExportV1Sequence(*shorter, tmp / "out.seq", true);
        FAIL() << "append accepted";
    } catch (const TFileError& e) {
        EXPECT_NE(std::string(e.what()).find("47 electrodes to a V1 file of 48 electrodes"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(ReadBytes(tmp / "out.seq"), before);
    // Without append another electrode count simply replaces the content.
    ExportV1Sequence(*shorter, tmp / "out.seq", false);
    // A truncated file cannot take an append.
    std::string cut = ReadBytes(tmp / "out.seq");
    WriteBytes(tmp / "out.seq", cut.substr(0, cut.size() - 5));
    EXPECT_THROW(ExportV1Sequence(*shorter, tmp / "out.seq", true), TFileError);
    // Nor a file with bytes after its last record: the appended quadripoles would follow them, while
    // a reader takes the records right after the electrode table.
    const std::string padded = cut + "pad";
    WriteBytes(tmp / "out.seq", padded);
    try {
        ExportV1Sequence(*shorter, tmp / "out.seq", true);
        FAIL() << "append accepted";
    } catch (const TFileError& e) {
        EXPECT_NE(std::string(e.what()).find("3 bytes after its last quadripole record"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(ReadBytes(tmp / "out.seq"), padded);
}

TEST(V1Export, AppendStopsBeforeTheCountOverflows) {
    TTempFolder tmp;
    WriteBytes(tmp / "out.seq", V1Template());
    auto seq = Generated(0);
    seq->NbQuadripole = 16000;
    ExportV1Sequence(*seq, tmp / "out.seq", false);
    ExportV1Sequence(*seq, tmp / "out.seq", true);
    EXPECT_THROW(ExportV1Sequence(*seq, tmp / "out.seq", true), TFileError);
}
