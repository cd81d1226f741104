#include "platform/process_run.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "platform/syscalls.h"

extern char** environ;

namespace platform {
namespace {

constexpr const char* kShell = "/bin/sh";
// How often a shell whose output is still open (by something it left in the background) is
// looked at to see whether it has ended.
constexpr int kLookMs = 200;

// Closes the descriptor when it goes.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) SysClose(fd);
    }
};

// This process's environment, the added names taken out, then the added variables.
std::vector<std::string> Environment(
    const std::vector<std::pair<std::string, std::string>>& variables) {
    std::set<std::string> added;
    for (const auto& [name, value] : variables) added.insert(name);
    std::vector<std::string> entries;
    for (char** entry = environ; entry && *entry; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (equals && added.count(std::string(*entry, static_cast<size_t>(equals - *entry))))
            continue;
        entries.emplace_back(*entry);
    }
    for (const auto& [name, value] : variables) entries.push_back(name + "=" + value);
    return entries;
}

void Keep(std::string* output, const char* bytes, size_t count, size_t keep) {
    output->append(bytes, count);
    // Cut now and then, not at every read: the output stays bounded by twice what is kept.
    if (output->size() > 2 * keep + 4096) output->erase(0, output->size() - keep);
}

// Reads what is there (all of it when ready says so); false at the end of the output.
bool Drain(int fd, std::string* output, size_t keep) {
    char buffer[4096];
    const ssize_t n = SysRead(fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    Keep(output, buffer, static_cast<size_t>(n), keep);
    return true;
}

// A spawn's attributes and file actions, destroyed when they go.
struct SpawnSetup {
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
    bool ok = false;
    SpawnSetup() {
        ok = posix_spawnattr_init(&attributes) == 0;
        if (ok && posix_spawn_file_actions_init(&actions) != 0) {
            posix_spawnattr_destroy(&attributes);
            ok = false;
        }
    }
    ~SpawnSetup() {
        if (!ok) return;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
};

}  // namespace

ShellOutcome RunShell(const std::string& command,
                      const std::vector<std::pair<std::string, std::string>>& variables,
                      size_t keepOutput) {
    ShellOutcome outcome;
    int ends[2];
    if (SysPipe(ends) != 0) {
        outcome.failure = std::string("cannot make a pipe: ") + std::strerror(errno);
        return outcome;
    }
    Fd reading{ends[0]}, writing{ends[1]};
    SpawnSetup setup;
    if (!setup.ok) {
        outcome.failure = "cannot run " + std::string(kShell) + ": out of memory";
        return outcome;
    }
    // The command starts as from a shell: no signal blocked, the ones the tool catches or
    // ignores at their defaults (a handler is reset by the start anyway; an ignored SIGPIPE
    // would be kept).
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    // The pipe's ends are close-on-exec; the copies made on 1 and 2 are not.
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, writing.fd, 1);
    posix_spawn_file_actions_adddup2(&setup.actions, writing.fd, 2);

    std::vector<std::string> environment = Environment(variables);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string shell = kShell, dashC = "-c", line = command;
    char* argv[] = {shell.data(), dashC.data(), line.data(), nullptr};

    const pid_t pid = SysSpawn(kShell, &setup.actions, &setup.attributes, argv, envp.data());
    if (pid < 0) {
        outcome.failure = "cannot run " + std::string(kShell) + ": " + std::strerror(errno);
        return outcome;
    }
    outcome.started = true;
    SysClose(writing.fd);
    writing.fd = -1;

    // Read until the output ends, or until the shell has ended and what it wrote is read: a
    // program it left in the background may hold the output open for as long as it runs.
    int status = 0;
    pid_t ended = 0;
    for (;;) {
        pollfd ready{reading.fd, POLLIN, 0};
        const int r = SysPoll(&ready, 1, kLookMs);
        if (r < 0) break;
        if (r > 0 && !Drain(reading.fd, &outcome.output, keepOutput)) break;
        if (r == 0 && (ended = SysWaitpid(pid, &status, WNOHANG)) != 0) {
            pollfd left{reading.fd, POLLIN, 0};
            while (SysPoll(&left, 1, 0) > 0 && Drain(reading.fd, &outcome.output, keepOutput)) {
            }
            break;
        }
    }
    if (ended == 0) ended = SysWaitpid(pid, &status, 0);
    if (outcome.output.size() > keepOutput)
        outcome.output.erase(0, outcome.output.size() - keepOutput);
    if (ended != pid) {
        outcome.failure = std::string("cannot wait for ") + kShell + ": " + std::strerror(errno);
        return outcome;
    }
    if (WIFEXITED(status)) {
        outcome.exited = true;
        outcome.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        outcome.signal = WTERMSIG(status);
    }
    return outcome;
}

}  // namespace platform
