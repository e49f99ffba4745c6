// The import and export commands of teravox2-cli, run in-process.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "cli/cli.h"
#include "model/fileio.h"
#include "model/sqxfile.h"
#include "storage/import.h"
#include "tests/storage/tempfolder.h"

namespace {

struct TRun {
    int Status;
    std::string Out, Err;
};

TRun Cli(const std::vector<std::string>& args, char localeDecimal = '.') {
    std::ostringstream out, err;
    int status = RunCli(args, out, err, localeDecimal);
    return {status, out.str(), err.str()};
}

void WriteSequence(const std::string& path, const std::string& name, float x0) {
    TSequence seq;
    seq.Name.Set(name);
    for (int n = 1; n <= 4; ++n)
        seq.Electrodes[n] = {4, static_cast<int16_t>(n), x0 + 2.5f * static_cast<float>(n - 1), 0, 0};
    for (int n = 1; n <= 4; ++n) seq.Electrodes[n].Type = 2;
    seq.NbElectrode = 4;
    seq.NbQuadripole = 1;
    seq.Quadripoles[0] = {1, 2, 3, 4, 0, 1, -1};
    WriteSequenceFile(path, seq);
}

}  // namespace

TEST(CliStorage, SpreadsheetExportThenImportWithTheDecimalComma) {
    TTempFolder tmp;
    WriteSequence(tmp / "a.sqx", "1.5m", 0.25f);
    WriteSequence(tmp / "b.sqx", "1.6m", 1.5f);
    auto r = Cli({"--decimal", ",", "export", "spreadsheet", tmp / "a.sqx", tmp / "b.sqx", "--to",
                  tmp / "out", "--separator", "comma"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, tmp / "out/1.txt" + "\n" + tmp / "out/1~.txt" + "\n");
    EXPECT_NE(ReadBytes(tmp / "out/1~.txt").find("1,\"1,50\",\"0,00\",\"0,00\"\r\n"), std::string::npos);

    r = Cli({"import", tmp / "out/1~.txt", "-o", tmp / "back.sqx"}, ',');
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "1~: 4 electrodes, 1 quadripoles\n");
    TSequence back;
    ReadSequenceFile(tmp / "back.sqx", back);
    EXPECT_EQ(back.Electrodes[2].X, 4.0f);
}

TEST(CliStorage, PelmarAndV1Exports) {
    TTempFolder tmp;
    WriteSequence(tmp / "a.sqx", "Line1", 0);
    auto r = Cli({"export", "pelmar", tmp / "a.sqx", "--to", tmp / "p"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(FolderEntries(tmp / "p"),
              (std::vector<std::string>{"Line1.cfg", "Line1_Coor.txt", "Line1_Quad.txt"}));

    std::string header(V1HeaderSize, '\0');
    std::memcpy(header.data(), "_DOC_Teravox", 12);
    WriteBytes(tmp / "t.seq", header);
    r = Cli({"export", "v1", tmp / "a.sqx", tmp / "a.sqx", "--to", tmp / "t.seq"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadBytes(tmp / "t.seq").size(), V1HeaderSize + 4 * 16 + 2 * 14);
    r = Cli({"import", tmp / "t.seq", "-o", tmp / "v.sqx"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, ": 4 electrodes, 2 quadripoles\n");
}

TEST(CliStorage, PyGimliAndProtocolExportsComeBack) {
    TTempFolder tmp;
    WriteSequence(tmp / "a.sqx", "Line1", 0);
    auto r = Cli({"--decimal", ",", "export", "pygimli", tmp / "a.sqx", "--to", tmp / "inv"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, tmp / "inv/Line1.ohm" + "\n");
    // Those programs read "." whatever the locale.
    EXPECT_EQ(ReadBytes(tmp / "inv/Line1.ohm"),
              "4\n# x y z\n0 0 0\n2.5 0 0\n5 0 0\n7.5 0 0\n1\n# a b m n\n1 2 3 4\n");
    r = Cli({"export", "protocol", tmp / "a.sqx", "--to", tmp / "inv"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, tmp / "inv/Line1_protocol.dat" + "\n");

    struct {
        std::vector<std::string> Args;
        float X2;
    } imports[] = {
        {{"import", tmp / "inv/Line1.ohm", "-o", tmp / "back.sqx"}, 2.5f},
        {{"import", tmp / "inv/Line1_protocol.dat", "--spacing", "2.5", "-o", tmp / "back.sqx"}, 2.5f},
        {{"import", tmp / "inv/Line1_protocol.dat", "-o", tmp / "back.sqx"}, 1.0f},
    };
    for (const auto& c : imports) {
        r = Cli(c.Args);
        ASSERT_EQ(r.Status, 0) << r.Err;
        TSequence back;
        ReadSequenceFile(tmp / "back.sqx", back);
        EXPECT_EQ(back.ArrayType, 9);
        ASSERT_EQ(back.NbQuadripole, 1);
        EXPECT_EQ(back.Quadripoles[0].N, 4);
        EXPECT_EQ(back.Electrodes[2].X, c.X2) << c.Args[1];
    }

    // The format given wins over the name; a spacing is for protocols only.
    WriteBytes(tmp / "p.txt", "1\n1 1 2 3 4\n");
    r = Cli({"import", tmp / "p.txt", "--format", "protocol", "-o", tmp / "p.sqx"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    r = Cli({"import", tmp / "inv/Line1.ohm", "--spacing", "2", "-o", tmp / "x.sqx"});
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("--spacing"), std::string::npos) << r.Err;
    r = Cli({"import", tmp / "inv/Line1_protocol.dat", "--spacing", "0", "-o", tmp / "x.sqx"});
    EXPECT_EQ(r.Status, 2);
    r = Cli({"import", tmp / "inv/Line1.ohm", "--format", "bert", "-o", tmp / "x.sqx"});
    EXPECT_EQ(r.Status, 2);
    WriteBytes(tmp / "bad.ohm", "2\n0 0 0\n1 0 0\n1\n1 2 x 1\n");
    r = Cli({"import", tmp / "bad.ohm", "-o", tmp / "x.sqx"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find(tmp / "bad.ohm: line 5: m \"x\" is not an electrode number"), std::string::npos)
        << r.Err;
    EXPECT_FALSE(FileExists(tmp / "x.sqx"));
}

TEST(CliStorage, FailuresNameTheFile) {
    TTempFolder tmp;
    WriteBytes(tmp / "bad.txt", "#,A,B,M,N\n1,1,2,3,2001\n");
    auto r = Cli({"import", tmp / "bad.txt", "-o", tmp / "x.sqx"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, tmp / "bad.txt" + ": line 2: electrode number 2001 is outside 0 to 1999\n");
    EXPECT_FALSE(FileExists(tmp / "x.sqx"));

    r = Cli({"import", tmp / "bad.doc", "-o", tmp / "x.sqx"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("bad.doc"), std::string::npos);

    WriteSequence(tmp / "a.sqx", "Line1", 0);
    r = Cli({"export", "v1", tmp / "a.sqx", "--to", tmp / "bad.txt"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("not a Teravox V1 sequence file"), std::string::npos);

    r = Cli({"export", "spreadsheet", tmp / "a.sqx", "--to", tmp / "o", "--separator", "semicolon"});
    EXPECT_EQ(r.Status, 2);
}

TEST(CliStorage, AV1ExportRefusedHalfwayLeavesTheTargetAsItWas) {
    TTempFolder tmp;
    WriteSequence(tmp / "a.sqx", "Line1", 0);
    TSequence wide;  // another electrode count: its append is refused
    wide.Name.Set("Wide");
    for (int n = 1; n <= 6; ++n)
        wide.Electrodes[n] = {2, static_cast<int16_t>(n), 2.5f * static_cast<float>(n - 1), 0, 0};
    wide.NbElectrode = 6;
    WriteSequenceFile(tmp / "w.sqx", wide);
    std::string header(V1HeaderSize, '\0');
    std::memcpy(header.data(), "_DOC_Teravox", 12);
    WriteBytes(tmp / "t.seq", header + "old content");
    auto r = Cli({"export", "v1", tmp / "a.sqx", tmp / "w.sqx", "--to", tmp / "t.seq"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err.rfind(tmp / "t.seq" + ": cannot append", 0), 0u) << r.Err;
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(ReadBytes(tmp / "t.seq"), header + "old content");
    EXPECT_EQ(FolderEntries(tmp.Path()), (std::vector<std::string>{"a.sqx", "t.seq", "w.sqx"}));
}

// The set commands keep a set as the desktop's Save does: names made unique with "~", the comment's
// lines, and a refusal that changes nothing.
TEST(CliSet, AddShowRemoveAndCommentSaveTheSetAsTheDesktopDoes) {
    TTempFolder tmp;
    WriteSequence(tmp / "a.sqx", "Line1", 0);
    WriteSequence(tmp / "b.sqx", "Line2", 5);
    const std::string set = tmp / "new/set";
    auto r = Cli({"set", "add", set, tmp / "a.sqx", tmp / "b.sqx", tmp / "a.sqx"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "Line1 added to " + set + "\nLine2 added to " + set + "\nLine1~ added to " + set + "\n");
    ASSERT_EQ(Cli({"set", "comment", set, "survey of May\nline 3"}).Status, 0);
    ASSERT_EQ(Cli({"set", "remove", set, "Line2"}).Status, 0);

    r = Cli({"set", "show", set, "--json"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("\"comment\": \"survey of May\\nline 3\""), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("\"name\": \"Line1~\",\n      \"file\": \"Line1~.sqx\""), std::string::npos)
        << r.Out;
    EXPECT_EQ(r.Out.find("Line2"), std::string::npos) << r.Out;
    EXPECT_EQ(FolderEntries(set), (std::vector<std::string>{"Comment.Txt", "Line1.sqx", "Line1~.sqx"}));
    EXPECT_EQ(ReadBytes(set + "/Comment.Txt"), "survey of May\r\nline 3\r\n");

    // Refusals name what is wrong and leave the set as it was.
    const auto before = ReadBytes(set + "/Line1.sqx") + ReadBytes(set + "/Comment.Txt");
    struct TRefusal {
        std::vector<std::string> Args;
        std::string Says;
    };
    for (const TRefusal& c :
         {TRefusal{{"set", "remove", set, "Line1", "Nope"}, set + ": the set has no sequence named Nope"},
          TRefusal{{"set", "add", set, tmp / "a.sqx", tmp / "missing.sqx"}, tmp / "missing.sqx"},
          TRefusal{{"set", "show", tmp / "none"}, tmp / "none" + ": no such set folder"}}) {
        r = Cli(c.Args);
        EXPECT_EQ(r.Status, 1) << c.Says;
        EXPECT_NE(r.Err.find(c.Says), std::string::npos) << r.Err;
    }
    EXPECT_EQ(ReadBytes(set + "/Line1.sqx") + ReadBytes(set + "/Comment.Txt"), before);
    EXPECT_EQ(FolderEntries(set), (std::vector<std::string>{"Comment.Txt", "Line1.sqx", "Line1~.sqx"}));
}
