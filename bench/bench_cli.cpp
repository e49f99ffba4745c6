// The command-line program as a script runs it, one process per command: `show --json` of a
// 16,000-quadripole sequence against `--help`, the cost of starting the program at all. Each runs
// with its output to /dev/null; the ratio of the two medians is printed on stderr (goal: at most 2).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/generate.h"
#include "model/sqxfile.h"
#include "tests/support/longline.h"
#include "tests/support/testdir.h"

extern char** environ;

namespace {

struct TFixture {
    TTestDir Scratch;
    const std::string Root = Scratch.Path();
    std::string File = Root + "/long.sqx";
    TFixture() {
        auto seq = LongLine();
        TNullChartSink chart;
        GenerateSequence(*seq, ModeCreate, chart);
        if (seq->NbQuadripole != MaxQuadripoles) std::abort();
        WriteSequenceFile(File, *seq);
    }
};

TFixture& Fixture() {
    static TFixture f;
    return f;
}

// Runs the program with these arguments, output to /dev/null, and waits for it.
void Run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    std::string program = TERAVOX_CLI;
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) std::abort();
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
}

void BM_Help(benchmark::State& state) {
    for (auto _ : state) Run({"--help"});
}
BENCHMARK(BM_Help)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ShowJson(benchmark::State& state) {
    const std::string file = Fixture().File;
    for (auto _ : state) Run({"show", "--json", file});
}
BENCHMARK(BM_ShowJson)->Unit(benchmark::kMillisecond)->UseRealTime();

double MedianSeconds(const std::vector<std::string>& args, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        Run(args);
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    // Interleaved, so that both see the same machine.
    std::vector<double> help, show;
    for (int round = 0; round < 5; ++round) {
        help.push_back(MedianSeconds({"--help"}, 11));
        show.push_back(MedianSeconds({"show", "--json", Fixture().File}, 11));
    }
    std::sort(help.begin(), help.end());
    std::sort(show.begin(), show.end());
    std::fprintf(stderr, "show --json of 16000 quadripoles %.2f ms, --help %.2f ms, ratio %.2f (goal <= 2)\n",
                 show[2] * 1e3, help[2] * 1e3, show[2] / help[2]);
    benchmark::Shutdown();
    return 0;
}
