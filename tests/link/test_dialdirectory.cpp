// The dial directory file and the number found in an entry.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "link/dialdirectory.h"
#include "model/fileio.h"
#include "tests/support/testdir.h"

namespace {

std::string Content(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct TNumberCase {
    const char* Text;
    const char* Number;
};

class DialNumber : public ::testing::TestWithParam<TNumberCase> {};

TEST_P(DialNumber, IsTheRunEndingAtTheLastDigit) {
    EXPECT_EQ(DialNumberOf(GetParam().Text), GetParam().Number);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, DialNumber,
    ::testing::Values(TNumberCase{"Lab station 0123456789", "0123456789"},
                      TNumberCase{"Depot 9,W0123", "9,W0123"}, TNumberCase{"Office 01 23 45", "45"},
                      TNumberCase{"No digit here", ""}, TNumberCase{"", ""}, TNumberCase{"0555", "0555"},
                      TNumberCase{"Pager 0555 ext", "0555"},  // text after the last digit is not part of it
                      TNumberCase{"Call W,W3", "W,W3"},       // modifiers before the digits belong to the run
                      TNumberCase{"Depot w,0,", "w,0"}));     // the run stops at the last digit

TEST(DialDirectory, AMissingFileIsEmptyAndTheFirstSaveCreatesIt) {
    TTestDir dir;
    TDialDirectory d(DialFilePath(dir.Path()));
    EXPECT_EQ(d.Path(), dir.Path() + "/PhoneNum.Dial");
    d.Load();
    EXPECT_TRUE(d.Entries().empty());
    EXPECT_FALSE(FileExists(d.Path()));
    d.Save();
    EXPECT_EQ(Content(d.Path()), "");
}

TEST(DialDirectory, EntriesAreSortedIgnoringCaseAndWrittenWithCrLf) {
    TTestDir dir;
    TDialDirectory d(DialFilePath(dir.Path() + "/"));
    EXPECT_TRUE(d.Add("Lab station 0123456789"));
    EXPECT_TRUE(d.Add("depot 9,W0123"));
    EXPECT_TRUE(d.Add("Farm 0555"));
    EXPECT_FALSE(d.Add("FARM 0555"));  // the same entry whatever the case
    EXPECT_FALSE(d.Add("   "));        // a blank line is no entry
    d.Save();
    EXPECT_EQ(Content(d.Path()), "depot 9,W0123\r\nFarm 0555\r\nLab station 0123456789\r\n");
    EXPECT_EQ(d.Find("farm 0555"), 1);
    EXPECT_EQ(d.Find("Farm 055"), -1);
}

TEST(DialDirectory, ReadsCrLfAndLfLinesSkipsBlankOnesAndSorts) {
    TTestDir dir;
    const std::string path = DialFilePath(dir.Path());
    std::ofstream(path, std::ios::binary) << "Zeta 1\r\nalpha 2\n\r\n\nBeta 3";
    TDialDirectory d(path);
    d.Load();
    EXPECT_EQ(d.Entries(), (std::vector<std::string>{"alpha 2", "Beta 3", "Zeta 1"}));
}

struct TLinesCase {
    const char* Name;
    std::string Text;
    std::vector<std::string> Entries;
};

class DialLines : public ::testing::TestWithParam<TLinesCase> {};

TEST_P(DialLines, EndAtCrLfLfOrALoneCr) { EXPECT_EQ(ParseDialLines(GetParam().Text), GetParam().Entries); }

INSTANTIATE_TEST_SUITE_P(
    Files, DialLines,
    ::testing::Values(TLinesCase{"CrLf", "Farm 0555\r\nDepot 9\r\n", {"Farm 0555", "Depot 9"}},
                      TLinesCase{"Lf", "Farm 0555\nDepot 9", {"Farm 0555", "Depot 9"}},
                      TLinesCase{"LoneCr", "Farm 0555\rDepot 9\r", {"Farm 0555", "Depot 9"}},
                      TLinesCase{"LoneCrBeforeCrLf", "Farm 0555\r\r\nDepot 9", {"Farm 0555", "Depot 9"}},
                      TLinesCase{"LfCr", "Farm 0555\n\rDepot 9\n\r", {"Farm 0555", "Depot 9"}},
                      TLinesCase{"BlankAndEmpty", "\r\n \t\r\r\n", {}}, TLinesCase{"Nothing", "", {}}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST(DialDirectory, ALoneCrInTheFileEndsAnEntry) {
    TTestDir dir;
    const std::string path = DialFilePath(dir.Path());
    std::ofstream(path, std::ios::binary) << "Zeta 1\ralpha 2\r\n";
    TDialDirectory d(path);
    d.Load();
    EXPECT_EQ(d.Entries(), (std::vector<std::string>{"alpha 2", "Zeta 1"}));
    d.Save();
    EXPECT_EQ(Content(path), "alpha 2\r\nZeta 1\r\n");
}

TEST(DialDirectory, RemovingTheLastEntryLeavesAnEmptyFile) {
    TTestDir dir;
    const std::string path = DialFilePath(dir.Path());
    std::ofstream(path, std::ios::binary) << "Farm 0555\r\n";
    TDialDirectory d(path);
    d.Load();
    EXPECT_FALSE(d.Remove("Depot"));
    EXPECT_TRUE(d.Remove("FARM 0555"));
    d.Save();
    EXPECT_EQ(Content(path), "");
    TDialDirectory again(path);
    again.Load();
    EXPECT_TRUE(again.Entries().empty());
}

TEST(DialDirectory, AFolderThatCannotBeWrittenRaises) {
    // A regular file where the folder should be: no one, root included, can write below it.
    TTestDir dir;
    std::ofstream(dir.Path("plain"), std::ios::binary) << "x";
    TDialDirectory d(DialFilePath(dir.Path("plain")));
    d.Load();  // nothing there: an empty directory
    d.Add("Depot 9,W0123");
    EXPECT_THROW(d.Save(), TFileError);
}

}  // namespace
