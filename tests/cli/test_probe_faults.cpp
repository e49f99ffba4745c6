// The faults found when the program was probed with bad input, full disks and vanishing devices: one
// case each, through the command line where a user meets it and through the engine where the desktop
// program meets it too.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

#include "link/linktexts.h"
#include "link/portcom.h"
#include "link/portusb.h"
#include "model/cable.h"
#include "model/fileio.h"
#include "model/generate.h"
#include "model/sqxfile.h"
#include "storage/sequenceset.h"
#include "tests/cli/clirun.h"
#include "tests/support/d2xxsim.h"
#include "tests/support/testdir.h"

namespace {

struct TFaultCase {
    const char* Name;
    std::function<void(TTestDir&)> Check;
};

bool Says(const TCliRun& r, const std::string& text) { return r.Err.find(text) != std::string::npos; }

void MakeCable(TTestDir& dir) {
    auto r = Cli({"cable", "create", dir.Path("l48.cbl"), "--name", "L48", "--segment", "Red:1-48:5"});
    ASSERT_EQ(r.Status, 0) << r.Err;
}

void MakeLine(TTestDir& dir, const std::string& out) {
    MakeCable(dir);
    auto r = Cli({"generate", "--cable", dir.Path("l48.cbl"), "--array", "dd", "--spacing", "5", "--levels",
                  "1-6", "--name", "Line1", "-o", out});
    ASSERT_EQ(r.Status, 0) << r.Err;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    return names;
}

// A link host that answers every question with OK and, like a user at the stop button, closes the
// link when an exchange is still running after `patience`; it records whether it had to.
class TPatientHost : public TLinkHost {
   public:
    explicit TPatientHost(std::chrono::milliseconds patience) : patience_(patience) {}
    TPortVirt* Link = nullptr;
    bool HadToStop = false;
    void Start() { start_ = std::chrono::steady_clock::now(); }
    void ProcessEvents() override {
        if (Link && Link->IsOpen() && std::chrono::steady_clock::now() - start_ > patience_) {
            HadToStop = true;
            Link->Disconnect();
        }
    }
    void SetBusyCursor(bool) override {}
    void ShowMessage(const std::string&) override {}
    bool Ask(const std::string&, const std::string&, TButtons) override { return true; }

   private:
    std::chrono::milliseconds patience_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Writes bytes until the link gives up; how long that took.
std::chrono::milliseconds WriteUntilItFails(TPortVirt& link, TPatientHost& host) {
    host.Link = &link;
    host.Start();
    const auto t0 = std::chrono::steady_clock::now();
    try {
        for (int i = 0; i < 100000; ++i) link.PutByte(Wire::Sync);
        ADD_FAILURE() << "the writes never failed";
    } catch (const TLinkError& e) {
        EXPECT_STREQ(e.what(), LinkText::PortErrPutcom);
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

std::vector<TFaultCase> Cases() {
    std::vector<TFaultCase> cases;

    cases.push_back({"MoveAlongFarBeforeTheLineEndsAtOnce", [](TTestDir& dir) {
                         MakeLine(dir, dir.Path("L.sqx"));
                         // At -1e9 a float32 position no longer moves by 5: the walk along the line would
                         // never end.
                         auto seq = std::make_unique<TSequence>();
                         ReadSequenceFile(dir.Path("L.sqx"), *seq);
                         seq->Electrodes[seq->FirstElectrode].X = -1e9f;
                         auto p = GenerationPrecondition(*seq);
                         ASSERT_TRUE(p.has_value());
                         EXPECT_EQ(p->Field, TGenerationField::FirstX);
                         auto r = Cli({"generate", "--move-along", dir.Path("L.sqx"), "--start-x", "-1e9",
                                       "-o", dir.Path("o.sqx")});
                         EXPECT_EQ(r.Status, ExitUsage);
                         EXPECT_TRUE(Says(r, "--start-x")) << r.Err;
                         EXPECT_FALSE(FileExists(dir.Path("o.sqx")));
                     }});

    cases.push_back(
        {"NumbersNoSurveyUsesAreRefusedNamingTheOption", [](TTestDir& dir) {
             MakeLine(dir, dir.Path("L.sqx"));
             const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
                 {{"--x", "2147483648"}, "--x"},
                 {{"--x", "1e38"}, "--x"},
                 {{"--y", "-1e6"}, "--y"},
                 {{"--z", "999999"}, "--z"},
                 {{"--spacing", "1e38"}, "--spacing"},
                 {{"--spacing", "30000"}, "--spacing"},  // 48 nodes 30,000 apart reach past 999,999
                 {{"--x", "999000", "--spacing", "50"}, "--x"},
                 {{"--x", "500000", "--spacing", "0.3"}, "--spacing"},  // not steppable in float32 there
             };
             for (const auto& [options, named] : refused) {
                 std::vector<std::string> args = {"generate", "--cable", dir.Path("l48.cbl"),
                                                  "--array",  "dd",      "--levels",
                                                  "1-6",      "-o",      dir.Path("o.sqx")};
                 if (std::find(options.begin(), options.end(), "--spacing") == options.end())
                     args.insert(args.end(), {"--spacing", "5"});
                 args.insert(args.end(), options.begin(), options.end());
                 auto r = Cli(args);
                 EXPECT_EQ(r.Status, ExitUsage) << options[1];
                 EXPECT_TRUE(Says(r, named)) << r.Err;
                 EXPECT_FALSE(FileExists(dir.Path("o.sqx"))) << options[1];
             }
             auto moved = Cli({"generate", "--move-along", dir.Path("L.sqx"), "--start-x", "1e20", "-o",
                               dir.Path("o.sqx")});
             EXPECT_EQ(moved.Status, ExitUsage);
             EXPECT_TRUE(Says(moved, "--start-x")) << moved.Err;
             // A line at projected coordinates, with a spacing that steps exactly there, is a survey.
             auto utm = Cli({"generate", "--cable", dir.Path("l48.cbl"), "--array", "dd", "--spacing", "5",
                             "--levels", "1-6", "--x", "512345.5", "-o", dir.Path("utm.sqx")});
             EXPECT_EQ(utm.Status, ExitOk) << utm.Err;
             EXPECT_EQ(utm.Out, "NoName: 48 electrodes, 255 quadripoles\n");
         }});

    cases.push_back({"VanishedDeviceEndsTheExchangeWithinTwoSeconds", [](TTestDir&) {
                         // A serial device whose far end closes: a pseudo-terminal, as an unplugged
                         // USB-serial port.
                         int master = ::posix_openpt(O_RDWR | O_NOCTTY);
                         ASSERT_GE(master, 0);
                         ASSERT_EQ(::grantpt(master), 0);
                         ASSERT_EQ(::unlockpt(master), 0);
                         SetComDevicePath(4, ::ptsname(master));
                         TPatientHost comHost(std::chrono::seconds(5));
                         TPortCOM com(comHost);
                         ASSERT_EQ(com.Connect(4, 115200, 0, "", false, ""), 4);
                         ::close(master);
                         EXPECT_LT(WriteUntilItFails(com, comHost), std::chrono::seconds(2));
                         EXPECT_FALSE(comHost.HadToStop);

                         // A USB adapter pulled out.
                         auto sim = std::make_shared<TD2xxSim>();
                         TPatientHost usbHost(std::chrono::seconds(5));
                         TPortUSB usb(usbHost, sim);
                         ASSERT_EQ(usb.Connect(1, 115200, 0, "", false, ""), 1);
                         sim->SetAttached(0);
                         EXPECT_LT(WriteUntilItFails(usb, usbHost), std::chrono::seconds(2));
                         EXPECT_FALSE(usbHost.HadToStop);
                     }});

    cases.push_back({"ReplacingWritesThroughLinksAndKeepsPermissions", [](TTestDir& dir) {
                         MakeLine(dir, dir.Path("real.sqx"));
                         ASSERT_EQ(::symlink("real.sqx", dir.Path("link.sqx").c_str()), 0);
                         auto r = Cli({"generate", "--move-along", dir.Path("real.sqx"), "--start-x", "300",
                                       "--name", "Moved", "-o", dir.Path("link.sqx")});
                         ASSERT_EQ(r.Status, 0) << r.Err;
                         EXPECT_TRUE(std::filesystem::is_symlink(dir.Path("link.sqx")));
                         auto seq = std::make_unique<TSequence>();
                         ReadSequenceFile(dir.Path("real.sqx"), *seq);
                         EXPECT_EQ(seq->Name.Get(), "Moved");

                         ASSERT_EQ(::chmod(dir.Path("real.sqx").c_str(), 0600), 0);
                         WriteSequenceFile(dir.Path("link.sqx"), *seq);
                         EXPECT_EQ(ModeOf(dir.Path("real.sqx")), 0600u);

                         const mode_t old = ::umask(027);
                         WriteSequenceFile(dir.Path("new.sqx"), *seq);
                         ::umask(old);
                         EXPECT_EQ(ModeOf(dir.Path("new.sqx")), 0640u);
                     }});

    cases.push_back(
        {"SetSaveFlushesEveryFileBeforeItsRename", [](TTestDir& dir) {
             struct TRecordingFiles : TSetFiles {
                 std::vector<std::string> Log;
                 TPendingFile WriteTemporary(const std::string& folder, const std::string& target,
                                             const void* data, std::size_t size) override {
                     Log.push_back("write " + target);
                     return TSetFiles::WriteTemporary(folder, target, data, size);
                 }
                 void Flush(const std::vector<TPendingFile>& temporaries) override {
                     Log.push_back("flush " + std::to_string(temporaries.size()));
                     TSetFiles::Flush(temporaries);
                 }
                 void Replace(const TPendingFile& file) override {
                     Log.push_back("replace " + file.Target.substr(file.Target.rfind('/') + 1));
                     TSetFiles::Replace(file);
                 }
                 void FlushFolder(const std::string& folder) override {
                     Log.push_back("flush folder");
                     TSetFiles::FlushFolder(folder);
                 }
             } files;
             TSequenceSet set(files);
             for (const char* name : {"A", "B"}) {
                 auto seq = std::make_unique<TSequence>();
                 seq->Name.Set(name);
                 set.AddSequence(std::move(seq));
             }
             ASSERT_EQ(set.SaveAs(dir.Path("set")), TSaveAsResult::Saved);
             EXPECT_EQ(files.Log, (std::vector<std::string>{"write Comment.Txt", "write A.sqx", "write B.sqx",
                                                            "flush 3", "replace Comment.Txt", "replace A.sqx",
                                                            "replace B.sqx", "flush folder"}));
         }});

    cases.push_back(
        {"ImportsRefuseDevicesAndFilesLargerThanTheirFormatBeforeReading", [](TTestDir& dir) {
             ASSERT_EQ(::symlink("/dev/zero", dir.Path("zero.txt").c_str()), 0);
             ASSERT_EQ(::symlink("/dev/zero", dir.Path("zero.seq").c_str()), 0);
             {
                 // 100 MB that take no room: refused from its size, without reading it.
                 int fd = ::open(dir.Path("big.txt").c_str(), O_WRONLY | O_CREAT, 0644);
                 ASSERT_GE(fd, 0);
                 ASSERT_EQ(::ftruncate(fd, 100 * 1000 * 1000), 0);
                 ::close(fd);
             }
             for (const char* name : {"zero.txt", "zero.seq", "big.txt"}) {
                 const auto t0 = std::chrono::steady_clock::now();
                 auto r = Cli({"import", dir.Path(name), "-o", dir.Path("o.sqx")});
                 EXPECT_EQ(r.Status, ExitFailed) << name;
                 // A device that keeps giving bytes is no file at all.
                 const bool device = std::string(name).rfind("zero", 0) == 0;
                 EXPECT_TRUE(Says(
                     r, dir.Path(name) + (device ? ": cannot read: is a character device" : ": larger than")))
                     << r.Err;
                 EXPECT_FALSE(Says(r, "bad_alloc")) << r.Err;
                 EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5)) << name;
             }
             EXPECT_FALSE(FileExists(dir.Path("o.sqx")));
         }});

    cases.push_back(
        {"NamesUpTo255BytesCanBeWritten", [](TTestDir& dir) {
             MakeLine(dir, dir.Path("L.sqx"));
             for (std::size_t length : {235u, 250u, 255u}) {
                 const std::string name = std::string(length - 4, 'n') + ".sqx";
                 auto r = Cli({"import", dir.Path("L.sqx"), "-o", dir.Path(name)});
                 EXPECT_EQ(r.Status, ExitOk) << length << ": " << r.Err;
                 EXPECT_TRUE(FileExists(dir.Path(name))) << length;
             }
             for (const char* short_name : {"a", "ab.sqx"})
                 EXPECT_LE(HiddenNameBeside(dir.Path(short_name), 't').size() - dir.Path("").size() - 1, 16u);
             EXPECT_EQ(FolderEntries(dir.Path()).size(), 5u);  // no temporary left behind
         }});

    cases.push_back({"ExportV1ErrorsNameTheUsersTarget", [](TTestDir& dir) {
                         MakeLine(dir, dir.Path("L.sqx"));
                         std::vector<unsigned char> v1(179, 0);
                         std::memcpy(v1.data(), "_DOC_Teravox", 12);
                         WriteFileAtomic(dir.Path("t.seq"), v1.data(), v1.size());
                         // A file size limit stands for a full disk: the write of the export fails.
                         rlimit old{};
                         ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
                         auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
                         rlimit small = old;
                         small.rlim_cur = 1024;
                         ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
                         auto r = Cli({"export", "v1", dir.Path("L.sqx"), "--to", dir.Path("t.seq")});
                         ::setrlimit(RLIMIT_FSIZE, &old);
                         std::signal(SIGXFSZ, oldHandler);
                         EXPECT_EQ(r.Status, ExitFailed);
                         EXPECT_EQ(r.Err.rfind(dir.Path("t.seq") + ": ", 0), 0u) << r.Err;
                         EXPECT_FALSE(Says(r, ".export-")) << r.Err;
                         EXPECT_EQ(ReadWholeFile(dir.Path("t.seq")), v1);
                         EXPECT_EQ(FolderEntries(dir.Path()).size(), 3u);  // no work file left behind
                     }});

    cases.push_back(
        {"NamesReachTheTerminalEscaped", [](TTestDir& dir) {
             MakeCable(dir);
             const std::string name = "\x1b]0;owned\x07\x1b[31mA\nB";
             const std::string shown = "\\x1b]0;owned\\x07\\x1b[31mA\\x0aB";
             auto g = Cli({"generate", "--cable", dir.Path("l48.cbl"), "--array", "dd", "--spacing", "5",
                           "--levels", "1-6", "--name",
                           "\x1b[2J\x9b"
                           "1m",
                           "-o", dir.Path("g.sqx")});
             EXPECT_EQ(g.Status, ExitOk) << g.Err;
             EXPECT_EQ(g.Out, "\\x1b[2J\\u009b1m: 48 electrodes, 255 quadripoles\n");
             auto seq = std::make_unique<TSequence>();
             ReadSequenceFile(dir.Path("g.sqx"), *seq);
             seq->Name.Set(name);
             seq->CableName.Set(name);
             WriteSequenceFile(dir.Path("s.sqx"), *seq);
             auto show = Cli({"show", dir.Path("s.sqx")});
             EXPECT_EQ(show.Status, ExitOk);
             EXPECT_NE(show.Out.find("Sequence " + shown + "\n"), std::string::npos) << show.Out;
             EXPECT_EQ(show.Out.find('\x1b'), std::string::npos);
             auto json = Cli({"show", dir.Path("s.sqx"), "--json"});
             EXPECT_NE(json.Out.find("\\u001b]0;owned\\u0007"), std::string::npos);  // JSON's own escapes
             TCable cable = *seq;
             WriteCableFile(dir.Path("c.cbl"), cable);
             auto cshow = Cli({"cable", "show", dir.Path("c.cbl")});
             EXPECT_EQ(cshow.Out.rfind("Cable set " + shown + "\n", 0), 0u) << cshow.Out;
             // A message naming a refused segment.
             auto refused =
                 Cli({"cable", "create", dir.Path("x.cbl"), "--name", "X", "--segment", "\x1b[8m:1-24:0"});
             EXPECT_EQ(refused.Status, ExitFailed);
             EXPECT_NE(refused.Err.find("\\x1b[8m"), std::string::npos) << refused.Err;
             EXPECT_EQ(refused.Err.find('\x1b'), std::string::npos);
             EXPECT_EQ(std::count(refused.Err.begin(), refused.Err.end(), '\n'), 1);
         }});

    cases.push_back({"EveryCommandValidatesByTheSameRules", [](TTestDir& dir) {
                         MakeCable(dir);
                         // A cable part that show refuses in a .sqx is refused as a .cbl too.
                         std::vector<unsigned char> ff(1444, 0xFF);
                         WriteFileAtomic(dir.Path("ff.cbl"), ff.data(), ff.size());
                         WriteFileAtomic(dir.Path("ff.sqx"), ff.data(), ff.size());
                         for (const std::vector<std::string>& args :
                              {std::vector<std::string>{"cable", "show", dir.Path("ff.cbl")},
                               std::vector<std::string>{"show", dir.Path("ff.sqx")}}) {
                             auto r = Cli(args);
                             EXPECT_EQ(r.Status, ExitFailed) << args[0];
                             EXPECT_TRUE(Says(r, "has nodes -1 to -1")) << r.Err;
                         }
                         auto gen = Cli({"generate", "--cable", dir.Path("ff.cbl"), "--array", "dd",
                                         "--spacing", "5", "--levels", "1", "-o", dir.Path("o.sqx")});
                         EXPECT_EQ(gen.Status, ExitFailed) << gen.Err;
                         // Names that do not fit are refused, never cut.
                         auto longCable = Cli({"cable", "create", dir.Path("n.cbl"), "--name",
                                               std::string(10000, 'c'), "--segment", "A:1-24:5"});
                         EXPECT_EQ(longCable.Status, ExitUsage);
                         EXPECT_TRUE(Says(longCable, "--name: at most 31 bytes, not 10000")) << longCable.Err;
                         auto longSegment = Cli({"cable", "create", dir.Path("n.cbl"), "--name", "N",
                                                 "--segment", std::string(32, 's') + ":1-24:5"});
                         EXPECT_EQ(longSegment.Status, ExitUsage);
                         EXPECT_FALSE(FileExists(dir.Path("n.cbl")));
                         auto fits = Cli({"cable", "create", dir.Path("n.cbl"), "--name",
                                          std::string(31, 'c'), "--segment", "A:1-24:5"});
                         EXPECT_EQ(fits.Status, ExitOk) << fits.Err;
                         // An empty text is no number, for any option that takes one.
                         const std::vector<std::string> base = {
                             "generate",       "--cable", dir.Path("l48.cbl"), "--array", "dd",
                             "--spacing",      "5",       "--levels",          "1-6",     "-o",
                             dir.Path("e.sqx")};
                         for (const char* option : {"--first", "--x", "--electrodes", "--time", "--area"}) {
                             std::vector<std::string> args = base;
                             args.insert(args.end(), {option, ""});
                             auto r = Cli(args);
                             EXPECT_EQ(r.Status, ExitUsage) << option;
                             EXPECT_TRUE(Says(r, "not a number")) << option << ": " << r.Err;
                         }
                         EXPECT_FALSE(FileExists(dir.Path("e.sqx")));
                     }});

    return cases;
}

class ProbeFaults : public ::testing::TestWithParam<TFaultCase> {};

TEST_P(ProbeFaults, IsMended) {
    TTestDir dir;
    GetParam().Check(dir);
}

INSTANTIATE_TEST_SUITE_P(Probe, ProbeFaults, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<TFaultCase>& c) {
                             return std::string(c.param.Name);
                         });

}  // namespace
