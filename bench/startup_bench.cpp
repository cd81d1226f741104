// What every command pays before it does anything: `tavrel-cli --version` started, run and
// waited for, beside a trivial program linked statically, the least a process start costs on
// this machine; and beside them a compress and a listing of a blank 1.44 MB diskette, the one
// as quick to start as --version, the other paying for the listing module and The Sleuth Kit's
// libraries it loads. Wall time per start, and the child's CPU time (user and system), which a
// busy machine disturbs less than the wall time.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_images.h"

extern char** environ;

namespace {

// The child's CPU seconds, or a negative value when it could not be started or failed.
double StartOnce(const char* program, std::vector<std::string> arguments,
                 posix_spawn_file_actions_t* quiet) {
    std::vector<char*> argv = {const_cast<char*>(program)};
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, program, quiet, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    struct rusage usage = {};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

// The arguments are made when the benchmark runs, not when it is registered: the images are
// made only for a run that includes it.
using Arguments = std::function<std::vector<std::string>()>;

void BM_Startup(benchmark::State& state, const char* program, const Arguments& made) {
    const std::vector<std::string> arguments = made();
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    double cpu = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        double used = StartOnce(program, arguments, &quiet);
        auto end = std::chrono::steady_clock::now();
        if (used < 0) {
            state.SkipWithError((std::string(program) + " did not start or failed").c_str());
            break;
        }
        cpu += used;
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    posix_spawn_file_actions_destroy(&quiet);
    state.counters["child_cpu"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
}

std::vector<std::string> Version() {
    return {"--version"};
}

std::string BlankDiskette() {
    return BenchImagePath(kImageLayouts[2], ImageContent::Blank);
}

const bool registered = [] {
    // The programs are built beside this one; CMake hands over their paths.
    const std::pair<const char*, Arguments> commands[] = {
        {"Startup/tavrel-cli--version", Version},
        {"Startup/tavrel-cli-compress",
         [] {
             return std::vector<std::string>{"-q", "compress", "--force", BlankDiskette(),
                                             BenchWorkDir() + "/startup.tvl"};
         }},
        {"Startup/tavrel-cli-files",
         [] {
             return std::vector<std::string>{"files", BlankDiskette()};
         }},
    };
    for (const auto& [name, arguments] : commands)
        benchmark::RegisterBenchmark(name, BM_Startup, TAVREL_CLI_PATH, arguments)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Startup/static-reference", BM_Startup,
                                 TAVREL_STARTUP_REFERENCE_PATH, Arguments(Version))
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
