// What a user made is never lost, mixed or silently replaced: writes that are killed, writes that
// meet another writer, targets that are not regular files, leftovers of killed writes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <random>
#include <thread>

#include "cli/cli.h"
#include "model/datafolder.h"
#include "model/fileio.h"
#include "model/foldercommit.h"
#include "model/sqxfile.h"
#include "storage/export.h"
#include "storage/sequenceset.h"
#include "tests/storage/tempfolder.h"

namespace {

std::unique_ptr<TSequence> Named(const std::string& name, int16_t marker = 0) {
    auto seq = std::make_unique<TSequence>();
    seq->Name.Set(name);
    seq->QMax = marker;
    return seq;
}

// Runs `body` in a child process and kills it after `delay`; returns whether it ended by itself
// first, and with which status.
struct TChildEnd {
    bool Killed;
    int Status;
};

template <class F>
TChildEnd RunAndKill(F body, std::chrono::microseconds delay) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int status = 1;
        try {
            status = body();
        } catch (...) {
        }
        ::_exit(status);
    }
    std::this_thread::sleep_for(delay);
    const bool killed = ::kill(pid, SIGKILL) == 0;
    int status = 0;
    ::waitpid(pid, &status, 0);
    const bool bySignal = WIFSIGNALED(status);
    return {killed && bySignal, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// One generation of the set: every record and the comment carry its number, and one sequence per
// generation is added.
int SaveGeneration(const std::string& folder, int generation) {
    TSequenceSet set;
    set.Open(folder);
    for (int i = 0; i < set.Count(); ++i) {
        TSequence edited = set.Sequence(i);
        edited.QMax = static_cast<int16_t>(generation);
        set.ModifySequence(i, edited);
    }
    set.AddSequence(Named("Gen" + std::to_string(generation), static_cast<int16_t>(generation)));
    set.SetComment({"generation " + std::to_string(generation)});
    return set.Save() == TSaveResult::Saved ? 0 : 1;
}

// The generation the folder holds, or -1 when it holds a mix.
int GenerationOnDisk(const std::string& folder, int baseCount, std::string* why) {
    TSequenceSet set;
    set.Open(folder);
    if (set.Comment().size() != 1 || set.Comment()[0].rfind("generation ", 0) != 0) {
        *why = "comment";
        return -1;
    }
    const int g = std::stoi(set.Comment()[0].substr(11));
    if (set.Count() != baseCount + g) {
        *why = "count " + std::to_string(set.Count()) + " for generation " + std::to_string(g);
        return -1;
    }
    for (int i = 0; i < set.Count(); ++i) {
        if (set.Sequence(i).QMax != g) {
            *why = set.Sequence(i).Name.Get() + " of generation " + std::to_string(set.Sequence(i).QMax) +
                   " in generation " + std::to_string(g);
            return -1;
        }
    }
    return g;
}

std::vector<std::string> HiddenWrites(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& n : FolderEntries(folder))
        if (IsHiddenWriteName(n) || n == JournalFileName) out.push_back(n);
    return out;
}

}  // namespace

// A save killed at any moment leaves the whole old set or the whole new one, and the next save still
// works and leaves nothing behind.
TEST(KilledWrites, ASetSaveKilledAtAnyMomentLeavesOneWholeSet) {
    TTempFolder tmp;
    const std::string folder = tmp / "set";
    constexpr int Base = 12;
    {
        TSequenceSet set;
        for (int i = 0; i < Base; ++i) set.AddSequence(Named("Line" + std::to_string(i), 0));
        set.SetComment({"generation 0"});
        ASSERT_EQ(set.SaveAs(folder), TSaveAsResult::Saved);
    }
    WriteBytes(folder + "/notes.txt", "the user's own");
    // How long one save takes here, so that the kills spread over all of it.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(SaveGeneration(folder, 1), 0);
    const auto took =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    int generation = 1;
    std::mt19937 random(20261211);
    int killed = 0;
    for (int round = 0; round < 40; ++round) {
        std::uniform_int_distribution<long> at(0, took.count() * 5 / 4 + 1000);
        const TChildEnd end = RunAndKill([&] { return SaveGeneration(folder, generation + 1); },
                                         std::chrono::microseconds(at(random)));
        killed += end.Killed ? 1 : 0;
        std::string why;
        const int g = GenerationOnDisk(folder, Base, &why);
        ASSERT_GE(g, 0) << "round " << round << ": a mix: " << why;
        ASSERT_TRUE(g == generation || g == generation + 1) << "round " << round << ": generation " << g;
        generation = g;
    }
    EXPECT_GT(killed, 10) << "the kills came too late to test anything";
    EXPECT_EQ(ReadBytes(folder + "/notes.txt"), "the user's own");
    ASSERT_EQ(SaveGeneration(folder, generation + 1), 0);
    EXPECT_EQ(HiddenWrites(folder), std::vector<std::string>{});
}

// The moments that matter, each hit exactly: a writer stopped dead between any two of its renames
// (the old saves left a mix here, the comment new and the sequences old).
TEST(KilledWrites, ASaveStoppedBetweenAnyTwoRenamesLeavesOneWholeSet) {
    TTempFolder tmp;
    const std::string folder = tmp / "set";
    constexpr int Base = 5;
    {
        TSequenceSet set;
        for (int i = 0; i < Base; ++i) set.AddSequence(Named("Line" + std::to_string(i), 0));
        set.SetComment({"generation 0"});
        ASSERT_EQ(set.SaveAs(folder), TSaveAsResult::Saved);
    }
    int generation = 0;
    // The comment, the five records changed and the one added: seven renames.
    for (int stopAt = 1; stopAt <= Base + 2; ++stopAt) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            struct TStopping : TCommitFiles {
                int At = 0, Count = 0;
                void Replace(const TPendingFile& file) override {
                    if (++Count == At) ::_exit(9);
                    TCommitFiles::Replace(file);
                }
            } files;
            files.At = stopAt;
            TSequenceSet set(files);
            set.Open(folder);
            for (int i = 0; i < set.Count(); ++i) {
                TSequence edited = set.Sequence(i);
                edited.QMax = static_cast<int16_t>(generation + 1);
                set.ModifySequence(i, edited);
            }
            set.AddSequence(
                Named("Gen" + std::to_string(generation + 1), static_cast<int16_t>(generation + 1)));
            set.SetComment({"generation " + std::to_string(generation + 1)});
            set.Save();
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 9)
            << "the save was not stopped at rename " << stopAt;
        std::string why;
        const int g = GenerationOnDisk(folder, Base, &why);
        ASSERT_GE(g, 0) << "stopped at rename " << stopAt << ": a mix: " << why;
        // Stopped after its decision, the save is finished by the next open.
        EXPECT_EQ(g, generation + 1) << "stopped at rename " << stopAt;
        generation = g;
    }
    // What the stopped saves set aside goes with the next save.
    TSequenceSet set;
    set.Open(folder);
    ASSERT_EQ(set.Save(), TSaveResult::Saved);
    set.WaitForCleanup();
    EXPECT_EQ(HiddenWrites(folder), std::vector<std::string>{});
}

TEST(KilledWrites, APelmarExportKilledAtAnyMomentLeavesOneWholeTriple) {
    TTempFolder tmp;
    const std::string folder = tmp / "out";
    MakeFolders(folder);
    auto version = [](int v) {
        TSequence seq;
        seq.Name.Set("P");
        for (int n = 1; n <= 4; ++n)
            seq.Electrodes[n] = {2, static_cast<int16_t>(n), static_cast<float>(v * 100 + n), 0, 0};
        seq.NbElectrode = 4;
        seq.NbQuadripole = 1;
        seq.Quadripoles[0] = {1, 2, 3, 4, 0, 1, 0};
        seq.QMax = static_cast<int16_t>(v);
        return seq;
    };
    ExportPelmar(version(0), folder, "P", '.');
    auto triple = [&] {
        return ReadBytes(folder + "/P_Quad.txt") + "|" + ReadBytes(folder + "/P_Coor.txt") + "|" +
               ReadBytes(folder + "/P.cfg");
    };
    std::vector<std::string> versions;
    for (int v = 0; v < 2; ++v) {
        TTempFolder one;
        ExportPelmar(version(v), one.Path(), "P", '.');
        versions.push_back(ReadBytes(one / "P_Quad.txt") + "|" + ReadBytes(one / "P_Coor.txt") + "|" +
                           ReadBytes(one / "P.cfg"));
    }
    ASSERT_NE(versions[0], versions[1]);
    std::mt19937 random(7);
    int current = 0;
    for (int round = 0; round < 30; ++round) {
        const int next = 1 - current;
        RunAndKill(
            [&] {
                ExportPelmar(version(next), folder, "P", '.');
                return 0;
            },
            std::chrono::microseconds(std::uniform_int_distribution<long>(0, 4000)(random)));
        // The next export into the folder finishes a decided one; reading the triple then is what
        // the user sees.
        {
            TFolderLock lock(folder, FolderLockWait);
            RecoverFolder(folder);
        }
        const std::string now = triple();
        ASSERT_TRUE(now == versions[0] || now == versions[1]) << "round " << round << ": a mixed triple";
        current = now == versions[0] ? 0 : 1;
    }
}

// Two programs saving one set at once: the set is locked, so neither's work is lost and nothing mixes.
TEST(ConcurrentWrites, TwoSetAddsAtOnceBothLandOrOneSaysTheSetIsBusy) {
    TTempFolder tmp;
    const std::string folder = tmp / "set";
    for (int i = 0; i < 8; ++i) {
        TSequence seq;
        seq.Name.Set("S" + std::to_string(i));
        WriteSequenceFile(tmp / ("s" + std::to_string(i) + ".sqx"), seq);
    }
    std::ostringstream out, err;
    ASSERT_EQ(RunCli({"set", "add", folder, tmp / "s0.sqx"}, out, err), ExitOk) << err.str();
    int expected = 1;
    for (int pair = 0; pair < 3; ++pair) {
        const std::string a = tmp / ("s" + std::to_string(1 + 2 * pair) + ".sqx");
        const std::string b = tmp / ("s" + std::to_string(2 + 2 * pair) + ".sqx");
        pid_t pids[2];
        for (int k = 0; k < 2; ++k) {
            pids[k] = ::fork();
            if (pids[k] == 0) {
                std::ostringstream o, e;
                ::_exit(RunCli({"set", "add", folder, k == 0 ? a : b}, o, e));
            }
        }
        for (pid_t p : pids) {
            int status = 0;
            ::waitpid(p, &status, 0);
            ASSERT_TRUE(WIFEXITED(status));
            if (WEXITSTATUS(status) == ExitOk) ++expected;
        }
        TSequenceSet set;
        set.Open(folder);
        EXPECT_EQ(set.Count(), expected) << "pair " << pair << ": a save was lost";
    }
}

TEST(ConcurrentWrites, AWriterThatFindsTheSetLockedWaitsThenNamesTheSet) {
    TTempFolder tmp;
    const std::string folder = tmp / "set";
    TSequenceSet set;
    set.AddSequence(Named("A"));
    ASSERT_EQ(set.SaveAs(folder), TSaveAsResult::Saved);
    TSequenceSet other;
    other.HoldFolder(folder);
    set.AddSequence(Named("B"));
    // A child process, since one process's own lock does not keep it out.
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::ostringstream o, e;
        TSequence seq;
        seq.Name.Set("C");
        WriteSequenceFile(tmp / "c.sqx", seq);
        const int status = RunCli({"set", "add", folder, tmp / "c.sqx"}, o, e);
        WriteBytes(tmp / "err.txt", e.str());
        ::_exit(status);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), ExitFailed);
    const std::string message = ReadBytes(tmp / "err.txt");
    EXPECT_NE(message.find(folder), std::string::npos) << message;
    EXPECT_NE(message.find("being written by another program (process " + std::to_string(::getpid())),
              std::string::npos)
        << message;
    other.ReleaseFolder();
    EXPECT_EQ(set.Save(), TSaveResult::Saved);
}

TEST(ConcurrentWrites, ASetChangedOnDiskSinceItWasOpenedIsNotOverwritten) {
    TTempFolder tmp;
    const std::string folder = tmp / "set";
    {
        TSequenceSet first;
        first.AddSequence(Named("A", 1));
        ASSERT_EQ(first.SaveAs(folder), TSaveAsResult::Saved);
    }
    TSequenceSet mine, theirs;
    mine.Open(folder);
    theirs.Open(folder);
    theirs.AddSequence(Named("Theirs", 2));
    ASSERT_EQ(theirs.Save(), TSaveResult::Saved);

    mine.AddSequence(Named("Mine", 3));
    EXPECT_THROW(mine.Save(), TSetChangedOnDisk);
    EXPECT_TRUE(mine.SetModified());
    TSequenceSet back;
    back.Open(folder);
    EXPECT_EQ(back.Names(), (std::vector<std::string>{"A", "Theirs"}));
    // Saving into a new folder is the way out, and keeps both.
    EXPECT_EQ(mine.SaveAs(tmp / "mine"), TSaveAsResult::Saved);
}

// A save writes what changed and nothing else.
TEST(SetSave, WritesOnlyWhatChanged) {
    struct TCounting : TCommitFiles {
        std::vector<std::string> Written;
        TPendingFile WriteTemporary(const std::string& folder, const std::string& target, const void* data,
                                    std::size_t size) override {
            Written.push_back(target);
            return TCommitFiles::WriteTemporary(folder, target, data, size);
        }
    } files;
    TTempFolder tmp;
    const std::string folder = tmp / "set";
    {
        TSequenceSet set;
        for (const char* n : {"A", "B", "C"}) set.AddSequence(Named(n));
        set.SetComment({"c"});
        ASSERT_EQ(set.SaveAs(folder), TSaveAsResult::Saved);
    }
    TSequenceSet set(files);
    set.Open(folder);
    ASSERT_EQ(set.Save(), TSaveResult::Saved);
    EXPECT_EQ(files.Written, std::vector<std::string>{});
    TSequence b = set.Sequence(1);
    b.QMax = 4;
    set.ModifySequence(1, b);
    set.SetComment({"c"});  // the same text is no change
    ASSERT_EQ(set.Save(), TSaveResult::Saved);
    EXPECT_EQ(files.Written, std::vector<std::string>{"B.sqx"});
    files.Written.clear();
    set.SetComment({"d"});
    set.DeleteSequence(0);
    ASSERT_EQ(set.Save(), TSaveResult::Saved);
    set.WaitForCleanup();
    EXPECT_EQ(files.Written, std::vector<std::string>{"Comment.Txt"});
    EXPECT_EQ(FolderEntries(folder), (std::vector<std::string>{"B.sqx", "C.sqx", "Comment.Txt"}));
}

// A comment file far larger than a comment does not make the set unopenable, and is kept unless edited.
TEST(SetOpen, AHugeCommentIsReadBoundedAndSaidSo) {
    TTempFolder tmp;
    const std::string folder = tmp / "set";
    {
        TSequenceSet set;
        set.AddSequence(Named("A"));
        ASSERT_EQ(set.SaveAs(folder), TSaveAsResult::Saved);
    }
    std::string huge;
    while (huge.size() < 3 * MaxCommentSize) huge += "a line of the comment\r\n";
    WriteBytes(folder + "/Comment.Txt", huge);
    TSequenceSet set;
    const TOpenReport report = set.Open(folder);
    EXPECT_NE(report.CommentNote.find("Comment.Txt"), std::string::npos);
    EXPECT_EQ(set.Count(), 1);
    EXPECT_GT(set.Comment().size(), 1000u);
    EXPECT_EQ(set.Comment().back(), "a line of the comment");
    set.AddSequence(Named("B"));
    ASSERT_EQ(set.Save(), TSaveResult::Saved);
    EXPECT_EQ(ReadBytes(folder + "/Comment.Txt"), huge);
}

// Leftovers of killed writes are removed before writing; a running writer's temporary is not.
TEST(Leftovers, RemovedBeforeEachWriteUnlessAWriterHoldsThem) {
    TTempFolder tmp;
    const std::string folder = tmp / "set";
    TSequenceSet set;
    set.AddSequence(Named("A"));
    ASSERT_EQ(set.SaveAs(folder), TSaveAsResult::Saved);
    for (const std::string& dir : {folder, tmp.Path()}) {
        const std::string dead = HiddenNameBeside(dir + "/A.sqx", 't');
        WriteBytes(dead, std::string(100000, 'x'));
        const std::string before = HiddenNameBeside(dir + "/B.sqx", 'o');
        WriteBytes(before, "an old version");
        TPendingFile running = WriteTemporaryFor(dir + "/C.txt", "new", 3);
        if (dir == folder) {
            set.AddSequence(Named("B"));
            ASSERT_EQ(set.Save(), TSaveResult::Saved);
            set.WaitForCleanup();
        } else {
            WriteFileAtomic(dir + "/other.txt", "x", 1);
        }
        EXPECT_FALSE(FileExists(dead)) << dir;
        EXPECT_FALSE(FileExists(before)) << dir;
        EXPECT_TRUE(FileExists(running.Temporary)) << dir;
        DiscardPendingFile(running);
    }
}

// Targets that are not regular files are written into or refused, never replaced.
struct TTargetCase {
    const char* Label;
    std::function<std::string(const std::string& dir)> Make;  // returns the target path
    bool Written;                                             // false: refused, naming the target
    const char* Problem;
};

class SpecialTargets : public testing::TestWithParam<TTargetCase> {};

TEST_P(SpecialTargets, AreWrittenIntoOrRefusedByNameNeverReplaced) {
    TTempFolder tmp;
    const std::string target = GetParam().Make(tmp.Path());
    struct stat before {};
    ASSERT_EQ(::lstat(target.c_str(), &before), 0);
    TSequence seq;
    seq.Name.Set("L");
    std::thread reader;
    std::string got;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && S_ISFIFO(st.st_mode) && GetParam().Written) {
        // Open before the write, as a reader at the other end of a pipe is; read and write, so that the
        // open does not wait for the writer.
        const int fd = ::open(target.c_str(), O_RDWR);
        reader = std::thread([&got, fd] {
            char buf[65536];
            ssize_t n;
            while (got.size() < sizeof(TSequence) && (n = ::read(fd, buf, sizeof buf)) > 0)
                got.append(buf, static_cast<std::size_t>(n));
            ::close(fd);
        });
    }
    try {
        WriteSequenceFile(target, seq);
        EXPECT_TRUE(GetParam().Written) << "written into " << target;
    } catch (const TFileError& e) {
        EXPECT_FALSE(GetParam().Written) << e.what();
        EXPECT_NE(std::string(e.what()).find(target), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(GetParam().Problem), std::string::npos) << e.what();
    }
    if (reader.joinable()) {
        reader.join();
        EXPECT_EQ(got.size(), sizeof(TSequence));
    }
    struct stat after {};
    ASSERT_EQ(::lstat(target.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the target was replaced";
    EXPECT_EQ(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
    for (const auto& n : FolderEntries(tmp.Path())) EXPECT_FALSE(IsHiddenWriteName(n)) << n;
}

INSTANTIATE_TEST_SUITE_P(Cases, SpecialTargets,
                         testing::Values(TTargetCase{"LinkToNullDevice",
                                                     [](const std::string& d) {
                                                         const std::string p = d + "/mynull";
                                                         (void)::symlink("/dev/null", p.c_str());
                                                         return p;
                                                     },
                                                     true, ""},
                                         TTargetCase{"FifoWithReader",
                                                     [](const std::string& d) {
                                                         const std::string p = d + "/fifo";
                                                         ::mkfifo(p.c_str(), 0600);
                                                         return p;
                                                     },
                                                     true, ""},
                                         TTargetCase{"FifoWithoutReader",
                                                     [](const std::string& d) {
                                                         const std::string p = d + "/lonely";
                                                         ::mkfifo(p.c_str(), 0600);
                                                         return p;
                                                     },
                                                     false, "nothing reads"},
                                         TTargetCase{"Folder",
                                                     [](const std::string& d) {
                                                         const std::string p = d + "/folder.sqx";
                                                         ::mkdir(p.c_str(), 0700);
                                                         return p;
                                                     },
                                                     false, "is a folder"},
                                         TTargetCase{"Socket",
                                                     [](const std::string& d) {
                                                         const std::string p = d + "/sock";
                                                         const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
                                                         sockaddr_un addr{};
                                                         addr.sun_family = AF_UNIX;
                                                         std::snprintf(addr.sun_path, sizeof addr.sun_path,
                                                                       "%s", p.c_str());
                                                         (void)::bind(fd, reinterpret_cast<sockaddr*>(&addr),
                                                                      sizeof addr);
                                                         ::close(fd);
                                                         return p;
                                                     },
                                                     false, "socket"}),
                         [](const testing::TestParamInfo<TTargetCase>& p) { return p.param.Label; });

// Reading anything but a regular file is refused at once, by name.
TEST(SpecialInputs, AFifoOrAFolderIsRefusedWithoutWaiting) {
    TTempFolder tmp;
    const std::string fifo = tmp / "in.sqx";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = tmp / "dir.sqx";
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    for (const auto& [path, problem] : {std::pair{fifo, "FIFO"}, std::pair{folder, "folder"}}) {
        TSequence seq;
        try {
            ReadSequenceFile(path, seq);
            ADD_FAILURE() << path << " was read";
        } catch (const TFileError& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(problem), std::string::npos) << e.what();
        }
        std::ostringstream out, err;
        EXPECT_EQ(RunCli({"show", path}, out, err), ExitFailed);
        EXPECT_NE(err.str().find(problem), std::string::npos) << err.str();
    }
}
