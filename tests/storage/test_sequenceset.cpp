#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "model/fileio.h"
#include "model/sqxfile.h"
#include "storage/filenames.h"
#include "storage/sequenceset.h"
#include "tests/storage/tempfolder.h"

namespace {

std::unique_ptr<TSequence> Named(const std::string& name, int16_t marker = 0) {
    auto seq = std::make_unique<TSequence>();
    seq->Name.Set(name);
    seq->QMax = marker;
    return seq;
}

// Every file of a folder with its bytes.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& name : FolderEntries(folder)) files[name] = ReadBytes(folder + "/" + name);
    return files;
}

// File operations that fail at the n-th write or the n-th rename.
class TFailingFiles : public TSetFiles {
   public:
    int FailWriteAt = 0;
    int FailReplaceAt = 0;
    int Writes = 0;
    int Replaces = 0;

    TPendingFile WriteTemporary(const std::string& folder, const std::string& target, const void* data,
                                std::size_t size) override {
        if (++Writes == FailWriteAt)
            throw TFileError(folder + "/" + target, "cannot write: No space left on device");
        return TSetFiles::WriteTemporary(folder, target, data, size);
    }
    void Replace(const TPendingFile& file) override {
        if (++Replaces == FailReplaceAt) throw TFileError(file.Target, "cannot replace: Input/output error");
        TSetFiles::Replace(file);
    }
};

}  // namespace

TEST(UniqueName, AppendsTildeUntilFreeAndGivesUpAt31Characters) {
    TSequenceSet set;
    set.AddSequence(Named("Line1"));
    set.AddSequence(Named("Line1~"));
    set.AddSequence(Named(std::string(31, 'x')));
    EXPECT_EQ(set.MakeNameUnique("Line1"), "Line1~~");
    EXPECT_EQ(set.MakeNameUnique("line1"), "line1");  // exact comparison
    EXPECT_EQ(set.MakeNameUnique(std::string(40, 'y')), std::string(31, 'y'));
    EXPECT_EQ(set.MakeNameUnique(std::string(35, 'x')), std::nullopt);
    EXPECT_EQ(set.MakeNameUnique("Line1", 0), "Line1");  // its own name does not count
}

TEST(SequenceSet, SaveAsThenOpenGivesBackRecordsCommentAndNames) {
    TTempFolder tmp;
    TSequenceSet set;
    auto a = Named("Line1", 11);
    a->NbQuadripole = 2;
    a->Quadripoles[0] = {1, 2, 3, 4, 0, 1, -1};
    set.AddSequence(std::move(a));
    set.AddSequence(Named("Line2", 22));
    set.SetComment({"first line", "", "third; with ümlaut"});
    ASSERT_TRUE(set.SetModified());
    EXPECT_EQ(set.Save(), TSaveResult::NeedsFolder);

    const std::string folder = tmp / "survey";
    ASSERT_EQ(set.SaveAs(folder), TSaveAsResult::Saved);
    EXPECT_EQ(set.SetFolder(), folder);
    EXPECT_FALSE(set.SetModified());
    EXPECT_EQ(FolderEntries(folder), (std::vector<std::string>{"Comment.Txt", "Line1.sqx", "Line2.sqx"}));
    EXPECT_EQ(ReadBytes(folder + "/Comment.Txt"), "first line\r\n\r\nthird; with ümlaut\r\n");
    EXPECT_EQ(ReadBytes(folder + "/Line1.sqx").size(), SequenceRecordSize);

    TSequenceSet back;
    TOpenReport report = back.Open(folder);
    EXPECT_TRUE(report.Refused.empty());
    EXPECT_EQ(back.Names(), (std::vector<std::string>{"Line1", "Line2"}));
    EXPECT_EQ(back.Comment(), set.Comment());
    EXPECT_EQ(back.SetFolder(), folder);
    EXPECT_EQ(std::memcmp(&back.Sequence(0), &set.Sequence(0), sizeof(TSequence)), 0);
    EXPECT_EQ(std::memcmp(&back.Sequence(1), &set.Sequence(1), sizeof(TSequence)), 0);
}

TEST(SequenceSet, SaveAsRefusesAFolderThatExists) {
    TTempFolder tmp;
    TSequenceSet set;
    set.AddSequence(Named("A"));
    EXPECT_EQ(set.SaveAs(tmp.Path()), TSaveAsResult::FolderExists);
    EXPECT_TRUE(FolderEntries(tmp.Path()).empty());
    EXPECT_TRUE(set.SetFolder().empty());
    std::string problem;
    WriteBytes(tmp / "plain", "x");
    EXPECT_EQ(set.SaveAs(tmp / "plain/sub", &problem), TSaveAsResult::DirectoryError);
    EXPECT_NE(problem.find("plain"), std::string::npos);
}

TEST(SequenceSet, OpenWithoutCommentGivesEmptyCommentAndSaveCreatesIt) {
    TTempFolder tmp;
    TSequence seq;
    seq.Name.Set("Only");
    WriteSequenceFile(tmp / "Only.sqx", seq);
    TSequenceSet set;
    set.Open(tmp.Path());
    EXPECT_TRUE(set.Comment().empty());
    ASSERT_EQ(set.Save(), TSaveResult::Saved);
    EXPECT_EQ(ReadBytes(tmp / "Comment.Txt"), "");
}

TEST(SequenceSet, OpenMakesDuplicateNamesUniqueAndKeepsSetModified) {
    TTempFolder tmp;
    TSequence seq;
    seq.Name.Set("Same");
    WriteSequenceFile(tmp / "a.sqx", seq);
    WriteSequenceFile(tmp / "B.SQX", seq);
    WriteBytes(tmp / "Comment.Txt", "one\r\ntwo\r\n");
    TSequenceSet set;
    set.MarkModified();
    set.Open(tmp.Path());
    EXPECT_EQ(set.Names(), (std::vector<std::string>{"Same", "Same~"}));
    EXPECT_EQ(set.Comment(), (std::vector<std::string>{"one", "two"}));
    EXPECT_TRUE(set.SetModified());
}

TEST(SequenceSet, OpenRefusesBadFilesNamingThemAndOpensTheRest) {
    TTempFolder tmp;
    TSequence good;
    good.Name.Set("Good");
    WriteSequenceFile(tmp / "good.sqx", good);
    TSequence bad;
    bad.Name.Set("Bad");
    bad.NbQuadripole = 17000;
    WriteBytes(tmp / "bad.sqx", std::string(reinterpret_cast<const char*>(RecordBytes(bad)), sizeof bad));
    TSequence short1;
    short1.Name.Set("Short");
    WriteBytes(tmp / "short.sqx", std::string(reinterpret_cast<const char*>(RecordBytes(short1)), 2000));

    TSequenceSet set;
    TOpenReport report = set.Open(tmp.Path());
    EXPECT_EQ(set.Names(), (std::vector<std::string>{"Good", "Short"}));
    ASSERT_EQ(report.Refused.size(), 1u);
    EXPECT_NE(report.Refused[0].find("bad.sqx"), std::string::npos);
    EXPECT_NE(report.Refused[0].find("17000"), std::string::npos);
    // A file the set could not read is not the set's: Save leaves it alone.
    ASSERT_EQ(set.Save(), TSaveResult::Saved);
    EXPECT_TRUE(FileExists(tmp / "bad.sqx"));
}

TEST(SequenceSet, OpenStopsAtANameThatCannotBeMadeUnique) {
    TTempFolder tmp;
    TSequence seq;
    seq.Name.Set(std::string(31, 'n'));
    WriteSequenceFile(tmp / "1.sqx", seq);
    WriteSequenceFile(tmp / "2.sqx", seq);
    seq.Name.Set("Later");
    WriteSequenceFile(tmp / "3.sqx", seq);
    TSequenceSet set;
    TOpenReport report = set.Open(tmp.Path());
    EXPECT_EQ(set.Count(), 1);
    EXPECT_EQ(report.StoppedAt, "2.sqx");
    // The files that were never read stay.
    set.SetComment({"x"});
    ASSERT_EQ(set.Save(), TSaveResult::Saved);
    EXPECT_TRUE(FileExists(tmp / "2.sqx"));
    EXPECT_TRUE(FileExists(tmp / "3.sqx"));
}

TEST(SequenceSet, OpenOfAMissingFolderFailsAndChangesNothing) {
    TTempFolder tmp;
    TSequenceSet set;
    set.AddSequence(Named("Keep"));
    EXPECT_THROW(set.Open(tmp / "nothing"), TFileError);
    EXPECT_EQ(set.Count(), 1);
}

TEST(SequenceSet, SaveRemovesStaleSequencesButNeverTheUsersFiles) {
    TTempFolder tmp;
    const std::string folder = tmp / "set";
    TSequenceSet set;
    set.AddSequence(Named("Keep"));
    set.AddSequence(Named("Drop"));
    ASSERT_EQ(set.SaveAs(folder), TSaveAsResult::Saved);
    WriteBytes(folder + "/notes.doc", "the user's own");
    std::filesystem::create_directory(folder + "/photos");
    WriteBytes(folder + "/photos/p.sqx", "inside a sub-folder");

    set.DeleteSequence(set.IndexOf("Drop"));
    ASSERT_EQ(set.Save(), TSaveResult::Saved);
    set.WaitForCleanup();
    EXPECT_EQ(FolderEntries(folder),
              (std::vector<std::string>{"Comment.Txt", "Keep.sqx", "notes.doc", "photos"}));
    EXPECT_EQ(ReadBytes(folder + "/photos/p.sqx"), "inside a sub-folder");
}

TEST(SequenceSet, SaveFallsBackToSaveAsWhenTheFolderIsGone) {
    TTempFolder tmp;
    TSequenceSet set;
    set.AddSequence(Named("A"));
    ASSERT_EQ(set.SaveAs(tmp / "gone"), TSaveAsResult::Saved);
    std::filesystem::remove_all(tmp / "gone");
    EXPECT_EQ(set.Save(), TSaveResult::NeedsFolder);
    EXPECT_FALSE(std::filesystem::exists(tmp / "gone"));
}

struct TNameCase {
    const char* Label;
    std::vector<std::string> Names;
    std::vector<std::string> Files;  // besides Comment.Txt, sorted
};

class FileNames : public testing::TestWithParam<TNameCase> {};

TEST_P(FileNames, EveryFileStaysInTheFolderAndEachSequenceGetsItsOwn) {
    TTempFolder tmp;
    const std::string folder = tmp / "a/set";
    std::filesystem::create_directories(tmp / "a");
    TSequenceSet set;
    for (std::size_t i = 0; i < GetParam().Names.size(); ++i)
        set.AddSequence(Named(GetParam().Names[i], static_cast<int16_t>(i + 1)));
    ASSERT_EQ(set.SaveAs(folder), TSaveAsResult::Saved);
    ASSERT_EQ(set.Save(), TSaveResult::Saved);  // a second save finds its own files again
    set.WaitForCleanup();

    std::vector<std::string> files = GetParam().Files;
    files.push_back("Comment.Txt");
    std::sort(files.begin(), files.end());
    EXPECT_EQ(FolderEntries(folder), files);
    EXPECT_EQ(FolderEntries(tmp / "a"), std::vector<std::string>{"set"});

    for (int i = 0; i < set.Count(); ++i) EXPECT_TRUE(FileExists(folder + "/" + set.FileStem(i) + ".sqx"));

    TSequenceSet back;
    back.Open(folder);
    ASSERT_EQ(back.Count(), set.Count());
    for (int i = 0; i < set.Count(); ++i) {
        int j = back.IndexOf(set.Sequence(i).Name.Get());
        ASSERT_GE(j, 0) << set.Sequence(i).Name.Get();
        EXPECT_EQ(back.Sequence(j).QMax, set.Sequence(i).QMax);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileNames,
    testing::Values(TNameCase{"Dot", {"1.5m"}, {"1.sqx"}},
                    TNameCase{"SameStem", {"1.5m", "1.6m", "1"}, {"1.sqx", "1~.sqx", "1~~.sqx"}},
                    TNameCase{"CaseOnly", {"Line", "LINE"}, {"LINE~.sqx", "Line.sqx"}},
                    TNameCase{"Slash", {"../../up", "a/b"}, {".._..sqx", "a_b.sqx"}},
                    TNameCase{"Dots", {"..", ".", "..."}, {"...sqx", ".sqx", "..sqx"}},
                    TNameCase{"Control", {"tab\there"}, {"tab_here.sqx"}}),
    [](const testing::TestParamInfo<TNameCase>& p) { return p.param.Label; });

TEST(SequenceSet, AFailingWriteLeavesThePreviousSetIntact) {
    TTempFolder tmp;
    const std::string folder = tmp / "set";
    TFailingFiles files;
    TSequenceSet set(files);
    set.AddSequence(Named("One", 1));
    set.AddSequence(Named("Two", 2));
    set.AddSequence(Named("Three", 3));
    set.SetComment({"before"});
    ASSERT_EQ(set.SaveAs(folder), TSaveAsResult::Saved);
    WriteBytes(folder + "/mine.txt", "user file");
    const auto before = Snapshot(folder);

    // Changes of every kind: a deleted sequence, a modified one, a new one, a new comment.
    set.DeleteSequence(set.IndexOf("Two"));
    TSequence edited = set.Sequence(0);
    edited.QMax = 99;
    set.ModifySequence(0, edited);
    set.AddSequence(Named("Four", 4));
    set.SetComment({"after"});

    const int writes = 3;  // the comment, One and Four: Three is on the disk unchanged
    for (int failAt = 1; failAt <= writes; ++failAt) {
        files.Writes = 0;
        files.FailWriteAt = failAt;
        EXPECT_THROW(set.Save(), TFileError) << "write " << failAt;
        EXPECT_EQ(Snapshot(folder), before) << "write " << failAt;
        EXPECT_TRUE(set.SetModified());
    }
    files.FailWriteAt = 0;
    ASSERT_EQ(set.Save(), TSaveResult::Saved);
    set.WaitForCleanup();
    EXPECT_EQ(FolderEntries(folder),
              (std::vector<std::string>{"Comment.Txt", "Four.sqx", "One.sqx", "Three.sqx", "mine.txt"}));
}

TEST(SequenceSet, ARenameFailingAfterTheDecisionIsFinishedByTheNextOpen) {
    TTempFolder tmp;
    const std::string folder = tmp / "set";
    TFailingFiles files;
    TSequenceSet set(files);
    set.AddSequence(Named("One", 1));
    set.AddSequence(Named("Two", 2));
    set.AddSequence(Named("Three", 3));
    ASSERT_EQ(set.SaveAs(folder), TSaveAsResult::Saved);
    set.DeleteSequence(set.IndexOf("Two"));
    for (int i : {0, 1}) {
        TSequence edited = set.Sequence(i);
        edited.QMax = static_cast<int16_t>(edited.QMax + 10);
        set.ModifySequence(i, edited);
    }

    files.Replaces = 0;
    files.FailReplaceAt = 2;  // One.sqx is in place, Three.sqx is not
    try {
        set.Save();
        ADD_FAILURE() << "the save succeeded";
    } catch (const TFileError& e) {
        EXPECT_NE(std::string(e.what()).find("finished the next time"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(set.SetModified());

    TSequenceSet back;
    const TOpenReport report = back.Open(folder);
    EXPECT_TRUE(report.FinishedInterruptedSave);
    ASSERT_EQ(back.Names(), (std::vector<std::string>{"One", "Three"}));
    EXPECT_EQ(back.Sequence(0).QMax, 11);
    EXPECT_EQ(back.Sequence(1).QMax, 13);
    EXPECT_EQ(FolderEntries(folder), (std::vector<std::string>{"Comment.Txt", "One.sqx", "Three.sqx"}));
}

TEST(SequenceSet, AFailingSaveAsRemovesTheNewFolderAndKeepsTheOldOne) {
    TTempFolder tmp;
    TFailingFiles files;
    TSequenceSet set(files);
    set.AddSequence(Named("One"));
    ASSERT_EQ(set.SaveAs(tmp / "old"), TSaveAsResult::Saved);
    files.Writes = 0;
    files.FailWriteAt = 2;
    EXPECT_THROW(set.SaveAs(tmp / "new"), TFileError);
    EXPECT_FALSE(std::filesystem::exists(tmp / "new"));
    EXPECT_EQ(set.SetFolder(), tmp / "old");
    files.FailWriteAt = 0;
    files.Replaces = 0;
    files.FailReplaceAt = 2;
    EXPECT_THROW(set.SaveAs(tmp / "new2"), TFileError);
    EXPECT_FALSE(std::filesystem::exists(tmp / "new2"));
}

TEST(SequenceSet, NewSetForgetsEverything) {
    TTempFolder tmp;
    TSequenceSet set;
    set.AddSequence(Named("A"));
    set.SetComment({"c"});
    ASSERT_EQ(set.SaveAs(tmp / "s"), TSaveAsResult::Saved);
    set.MarkModified();
    set.NewSet();
    EXPECT_EQ(set.Count(), 0);
    EXPECT_TRUE(set.Comment().empty());
    EXPECT_TRUE(set.SetFolder().empty());
    EXPECT_FALSE(set.SetModified());
    EXPECT_EQ(set.Save(), TSaveResult::NeedsFolder);
}

TEST(SequenceOperations, NewStartsFromTheSelectedRecordUnlessItHasNoGeometry) {
    TSequenceSet set;
    auto generated = Named("Line1", 42);
    auto imported = Named("Imported");
    imported->ArrayType = static_cast<int32_t>(TArrayType::NoGeometry);
    set.AddSequence(std::move(generated));
    set.AddSequence(std::move(imported));

    auto copy = set.NewSequenceStart(0);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Name.Get(), "Line1~");
    EXPECT_EQ(copy->QMax, 42);
    auto fresh = set.NewSequenceStart(1);
    EXPECT_EQ(fresh->Name.Get(), "NoName");
    EXPECT_EQ(fresh->QMax, 0);
    set.AddSequence(Named("NoName"));
    EXPECT_EQ(set.NewSequenceStart(-1)->Name.Get(), "NoName~");

    set.AddSequence(Named(std::string(31, 'z')));
    EXPECT_EQ(set.NewSequenceStart(set.Count() - 1), nullptr);
}

TEST(SequenceOperations, AddNewMakesTheNameUniqueAgainAndSetsModified) {
    TSequenceSet set;
    set.AddSequence(Named("Taken"), false);
    ASSERT_FALSE(set.SetModified());
    EXPECT_EQ(set.AddNewSequence(Named("Taken")), 1);
    EXPECT_EQ(set.Sequence(1).Name.Get(), "Taken~");
    EXPECT_TRUE(set.SetModified());
}

TEST(SequenceOperations, ModifyKeepsOrRenamesInPlace) {
    TSequenceSet set;
    set.AddSequence(Named("A"), false);
    set.AddSequence(Named("B"), false);
    TSequence edited = set.Sequence(1);
    edited.QMax = 5;
    EXPECT_EQ(set.ModifySequence(1, edited), TModifyResult::Modified);
    EXPECT_EQ(set.Names(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(set.Sequence(1).QMax, 5);
    EXPECT_TRUE(set.SetModified());

    edited.Name.Set("A");
    EXPECT_EQ(set.ModifySequence(1, edited), TModifyResult::Modified);
    EXPECT_EQ(set.Names(), (std::vector<std::string>{"A", "A~"}));

    set.AddSequence(Named(std::string(31, 'q')));
    edited.Name.Set(std::string(31, 'q'));
    edited.QMax = 6;
    EXPECT_EQ(set.ModifySequence(1, edited), TModifyResult::NameNotUnique);
    EXPECT_EQ(set.Sequence(1).Name.Get(), "A~");
    EXPECT_EQ(set.Sequence(1).QMax, 6);
}

TEST(SequenceOperations, DeleteShowsTheFirstAndLeavesModifiedAlone) {
    TSequenceSet set;
    set.AddSequence(Named("A"), false);
    set.AddSequence(Named("B"), false);
    EXPECT_EQ(set.DeleteSequence(5), -1);
    EXPECT_EQ(set.DeleteSequence(1), 0);
    EXPECT_EQ(set.DeleteSequence(0), -1);
    EXPECT_EQ(set.Count(), 0);
    EXPECT_FALSE(set.SetModified());
}

TEST(SequenceOperations, ImportAddsByExtensionAndRefusesBadFilesWithoutAdding) {
    TTempFolder tmp;
    WriteBytes(tmp / " Field 7 .TXT",
               "#,A,B,M,N\r\n1,1,2,3,4\r\n#,X,Y,Z\r\n1,0,0,0\r\n2,1,0,0\r\n3,2,0,0\r\n4,3,0,0\r\n");
    WriteBytes(tmp / "bad.txt", "#,A,B,M,N\r\n1,1,2,3,2500\r\n");
    WriteBytes(tmp / "other.csv", "whatever");
    WriteBytes(tmp / "Field 7.ohm", "2\n# x y z\n0 0 0\n1 0 0\n1\n# a b m n\n1 0 2 0\n");
    WriteBytes(tmp / "bad.dat", "2\n# x y z\n0 0 0\n1 0 0\n1\n# a b m n\n1 0 3 0\n");
    TSequence seq;
    seq.Name.Set("Field 7");
    WriteSequenceFile(tmp / "copy.sqx", seq);

    TSequenceSet set;
    EXPECT_EQ(set.ImportFile(tmp / " Field 7 .TXT", '.'), 0);
    EXPECT_EQ(set.Sequence(0).Name.Get(), "Field 7");
    EXPECT_EQ(set.Sequence(0).NbQuadripole, 1);
    EXPECT_TRUE(set.SetModified());
    EXPECT_EQ(set.ImportFile(tmp / "copy.sqx", '.'), 1);
    EXPECT_EQ(set.Sequence(1).Name.Get(), "Field 7~");
    // A text sequence imported again: its cable and segment take the name made unique.
    EXPECT_EQ(set.ImportFile(tmp / " Field 7 .TXT", '.'), 2);
    EXPECT_EQ(set.Sequence(2).Name.Get(), "Field 7~~");
    EXPECT_EQ(set.Sequence(2).CableName.Get(), "Field 7~~");
    EXPECT_EQ(set.Sequence(2).Segments[0].Name.Get(), "Field 7~~");
    EXPECT_EQ(set.Sequence(0).CableName.Get(), "Field 7");
    EXPECT_EQ(set.ImportFile(tmp / "other.csv", '.'), -1);
    // A pyGIMLi file is named as a text file is, its cable too.
    EXPECT_EQ(set.ImportFile(tmp / "Field 7.ohm", '.'), 3);
    EXPECT_EQ(set.Sequence(3).Name.Get(), "Field 7~~~");
    EXPECT_EQ(set.Sequence(3).CableName.Get(), "Field 7~~~");
    EXPECT_EQ(set.Sequence(3).NbQuadripole, 1);
    try {
        set.ImportFile(tmp / "bad.dat", '.');
        ADD_FAILURE() << "bad.dat was accepted";
    } catch (const TFileError& e) {
        EXPECT_NE(std::string(e.what()).find("bad.dat: line 7"), std::string::npos) << e.what();
    }
    try {
        set.ImportFile(tmp / "bad.txt", '.');
        ADD_FAILURE() << "bad.txt was accepted";
    } catch (const TFileError& e) {
        EXPECT_NE(std::string(e.what()).find("bad.txt"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("line 2"), std::string::npos);
    }
    EXPECT_EQ(set.Count(), 4);
}

TEST(SequenceSet, SaveRemovesTemporariesOfAnInterruptedSave) {
    TTempFolder tmp;
    TSequenceSet set;
    set.AddSequence(Named("A"));
    ASSERT_EQ(set.SaveAs(tmp / "s"), TSaveAsResult::Saved);
    WriteBytes(tmp / "s/.A.sqx.tmp-123-7", "half");
    WriteBytes(tmp / "s/.Comment.Txt.tmp-9-1", "half");
    WriteBytes(tmp / "s/.notes.tmp-1-1", "the user's");
    WriteBytes(tmp / "s/.A.sqx.tmp-x-1", "the user's");
    WriteBytes(tmp / "s/.A.sqx.old-5-5", "an old version");
    ASSERT_EQ(set.Save(), TSaveResult::Saved);
    set.WaitForCleanup();
    EXPECT_EQ(FolderEntries(tmp / "s"),
              (std::vector<std::string>{".A.sqx.tmp-x-1", ".notes.tmp-1-1", "A.sqx", "Comment.Txt"}));
}

struct TCaptionCase {
    const char* Set;
    const char* Sequence;
    const char* Caption;
};

class Caption : public testing::TestWithParam<TCaptionCase> {};

TEST_P(Caption, RelativeToTheSequenceFolder) {
    EXPECT_EQ(SetFolderCaption(GetParam().Set, GetParam().Sequence), GetParam().Caption);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Caption,
    testing::Values(TCaptionCase{"", "/home/u/Sequence", ""},
                    TCaptionCase{"/home/u/Sequence/Survey1", "/home/u/Sequence", "Survey1"},
                    TCaptionCase{"/home/u/Sequence/Survey1/", "/home/u/Sequence/", "Survey1"},
                    TCaptionCase{"/home/u/Sequence/a/b", "/home/u/Sequence", "a/b"},
                    TCaptionCase{"/home/u/Field/S2", "/home/u/Sequence", "../Field/S2"},
                    TCaptionCase{"/mnt/usb/S3", "/home/u/Sequence", "/mnt/usb/S3"}));

// A file system without hard links: every file is replaced in one step all the same.
class TNoLinkFiles : public TSetFiles {
   public:
    std::optional<std::string> KeepAside(const std::string&) override { return std::nullopt; }
    std::optional<std::string> MoveAside(const std::string&) override { return std::nullopt; }
};

TEST(SequenceSet, PreviousVersionsAreRemovedAfterTheSaveWithOrWithoutHardLinks) {
    TTempFolder tmp;
    TNoLinkFiles noLinks;
    for (TSetFiles* files : {&DefaultSetFiles(), static_cast<TSetFiles*>(&noLinks)}) {
        const std::string folder = tmp / (files == &noLinks ? "nolinks" : "links");
        TSequenceSet set(*files);
        set.AddSequence(Named("Keep", 1));
        set.AddSequence(Named("Drop", 2));
        ASSERT_EQ(set.SaveAs(folder), TSaveAsResult::Saved);
        set.DeleteSequence(1);
        TSequence edited = set.Sequence(0);
        edited.QMax = 5;
        set.ModifySequence(0, edited);
        ASSERT_EQ(set.Save(), TSaveResult::Saved);
        // The new set is in place at once, whatever the clean-up still has to do.
        TSequence keep;
        ReadSequenceFile(folder + "/Keep.sqx", keep);
        EXPECT_EQ(keep.QMax, 5);
        EXPECT_FALSE(FileExists(folder + "/Drop.sqx"));
        set.WaitForCleanup();
        EXPECT_EQ(FolderEntries(folder), (std::vector<std::string>{"Comment.Txt", "Keep.sqx"}));
    }
}
