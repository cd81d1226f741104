#include "platform/polkit_agent.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <systemd/sd-login.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

extern char** environ;

namespace platform {
namespace {

// The agent closes its notify descriptor once polkit has it; this long at most.
constexpr int kRegisterTimeoutMs = 10000;

// A stopped agent (a background job's, stopped by SIGTTOU) ends with SIGTERM only once continued;
// one that does not end this long after gets SIGKILL, which ends any process.
constexpr int kEndTimeoutMs = 2000;

// Whether the child ended within milliseconds, reaping it when it did.
bool Reaped(pid_t pid, int milliseconds) {
    int status;
    int handle = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (handle >= 0) {
        pollfd wait{handle, POLLIN, 0};
        while (poll(&wait, 1, milliseconds) < 0 && errno == EINTR) {
        }
        close(handle);
    }
    return waitpid(pid, &status, WNOHANG) == pid;
}

void EndAgent(pid_t pid) {
    kill(pid, SIGTERM);
    kill(pid, SIGCONT);
    if (Reaped(pid, kEndTimeoutMs)) return;
    kill(pid, SIGKILL);
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

// Inside a login session a desktop agent may already be there to ask: then ours only stands
// in when it is not. Outside any session polkit never looks at a stand-in, so ours is the one.
bool InLoginSession() {
    char* session = nullptr;
    int r = sd_pid_get_session(0, &session);
    std::free(session);
    return r >= 0;
}

}  // namespace

TerminalAuthenticationAgent::TerminalAuthenticationAgent() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return;
    // The child keeps its own copy of the write end; every other descriptor closes on exec.
    int notify = fcntl(ends[1], F_DUPFD, 3);
    close(ends[1]);
    if (notify < 0) {
        close(ends[0]);
        return;
    }
    const std::string notifyText = std::to_string(notify);
    const std::string process = std::to_string(getpid());
    const char* argv[] = {"pkttyagent", "--notify-fd",   notifyText.c_str(),
                          "--process",  process.c_str(), InLoginSession() ? "--fallback" : nullptr,
                          nullptr};
    // The caller may block or catch the signals that end a job (the console tool waits for
    // them on a thread of its own): the agent starts with none blocked and all at default.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    int spawned =
        posix_spawnp(&pid, "pkttyagent", nullptr, &attributes, const_cast<char**>(argv), environ);
    posix_spawnattr_destroy(&attributes);
    close(notify);
    if (spawned != 0) {
        close(ends[0]);
        return;
    }
    m_pid = pid;

    // End of file: registered, or the agent gave up and exited.
    pollfd wait{ends[0], POLLIN, 0};
    int ready;
    do ready = poll(&wait, 1, kRegisterTimeoutMs);
    while (ready < 0 && errno == EINTR);
    close(ends[0]);
    int status;
    if (ready <= 0) {  // neither: give up on it
        EndAgent(m_pid);
        m_pid = -1;
    } else if (waitpid(m_pid, &status, WNOHANG) == m_pid) {  // it gave up
        m_pid = -1;
    }
}

TerminalAuthenticationAgent::~TerminalAuthenticationAgent() {
    if (m_pid > 0) EndAgent(m_pid);
}

}  // namespace platform
