// What every command pays before it does anything: `tavrel-cli --version` started, run and
// waited for, beside a trivial program linked statically, the least a process start costs on
// this machine. Wall time per start, and the child's CPU time (user and system), which a busy
// machine disturbs less than the wall time.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <string>

extern char** environ;

namespace {

// The child's CPU seconds, or a negative value when it could not be started or failed.
double StartOnce(const char* program, const char* argument, posix_spawn_file_actions_t* quiet) {
    char* argv[] = {const_cast<char*>(program), const_cast<char*>(argument), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, program, quiet, nullptr, argv, environ) != 0) return -1;
    int status = 0;
    struct rusage usage = {};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

void BM_Startup(benchmark::State& state, const char* program, const char* argument) {
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    double cpu = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        double used = StartOnce(program, argument, &quiet);
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

const bool registered = [] {
    // Both programs are built beside this one; CMake hands over their paths.
    benchmark::RegisterBenchmark("Startup/tavrel-cli--version", BM_Startup, TAVREL_CLI_PATH,
                                 "--version")
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Startup/static-reference", BM_Startup,
                                 TAVREL_STARTUP_REFERENCE_PATH, "--version")
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
