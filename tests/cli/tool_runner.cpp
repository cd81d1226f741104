#include "tests/cli/tool_runner.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/support/temp_dir.h"

namespace {

std::string MakeTempFile(const char* tag) {
    std::string pattern = std::string("/tmp/tavrel-cli-") + tag + "-XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0) return {};
    close(fd);
    return pattern;
}

}  // namespace

ToolProcess::~ToolProcess() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    if (!m_outPath.empty()) unlink(m_outPath.c_str());
    if (!m_errPath.empty()) unlink(m_errPath.c_str());
}

bool ToolProcess::Start(const std::vector<std::string>& args, const ToolEnv& env) {
    m_outPath = MakeTempFile("out");
    m_errPath = MakeTempFile("err");
    // Everything the child needs is built before fork: after it only exec-safe calls are made.
    std::vector<std::string> strings;
    strings.push_back(TAVREL_CLI);
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        bool replaced = false;
        for (const auto& [name, value] : env) replaced |= entry.rfind(name + "=", 0) == 0;
        if (!replaced) envStrings.push_back(entry);
    }
    for (const auto& [name, value] : env) envStrings.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);

    int out = open(m_outPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    int err = open(m_errPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (out < 0 || err < 0) return false;
    m_pid = fork();
    if (m_pid == 0) {
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        int null = open("/dev/null", O_RDONLY);
        dup2(null, STDIN_FILENO);
        // The test runner may have blocked or ignored signals; the tool must see them as a shell
        // would.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        signal(SIGHUP, SIG_DFL);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(out);
    close(err);
    m_end = ChildExit(m_pid);
    return m_pid > 0;
}

std::string ToolProcess::OutputSoFar() const {
    std::ifstream in(m_outPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void ToolProcess::Signal(int signal) const {
    if (m_pid > 0) kill(m_pid, signal);
}

bool ToolProcess::Running() const {
    if (m_pid <= 0) return false;
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    // WNOWAIT leaves an ended child to be reaped by Wait().
    if (waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return false;
    return info.si_pid == 0;
}

int ToolProcess::DescriptorsOn(const std::string& path) const {
    char resolved[PATH_MAX];
    if (m_pid <= 0 || !realpath(path.c_str(), resolved)) return 0;
    const std::string folder = "/proc/" + std::to_string(m_pid) + "/fd";
    int count = 0;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            char target[PATH_MAX];
            ssize_t n = readlink((folder + "/" + e->d_name).c_str(), target, sizeof target - 1);
            if (n > 0 && std::string(target, static_cast<size_t>(n)) == resolved) ++count;
        }
        closedir(d);
    }
    return count;
}

std::string ToolProcess::FileBeingWritten(const std::string& folder) const {
    char resolved[PATH_MAX];
    if (m_pid <= 0 || !realpath(folder.c_str(), resolved)) return "";
    const std::string fds = "/proc/" + std::to_string(m_pid) + "/fd",
                      in = resolved + std::string("/");
    const std::string nameless = " (deleted)";
    std::string found;
    if (DIR* d = opendir(fds.c_str())) {
        while (dirent* e = readdir(d)) {
            char target[PATH_MAX];
            ssize_t n = readlink((fds + "/" + e->d_name).c_str(), target, sizeof target - 1);
            const std::string t(target, n > 0 ? static_cast<size_t>(n) : 0);
            if (t.rfind(in, 0) != 0 || t.find('/', in.size()) != std::string::npos) continue;
            const bool hidden = t.compare(in.size(), 8, ".tavrel-") == 0;
            if (hidden || (t.size() > nameless.size() &&
                           t.compare(t.size() - nameless.size(), nameless.size(), nameless) == 0))
                found = fds + "/" + e->d_name;
        }
        closedir(d);
    }
    return found;
}

namespace {

// Whether a line of /proc/locks about the file at path matches: "1: FLOCK  ADVISORY  WRITE 4711
// 00:2f:1234 0 EOF" for a holder, "1: -> FLOCK ..." for a process waiting for the lock.
bool AnyLockOn(const std::string& path,
               const std::function<bool(bool waits, const std::string& pid)>& match) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    char file[64];
    std::snprintf(file, sizeof file, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, where;
        fields >> number >> kind;
        const bool waits = kind == "->";
        if (waits) fields >> kind;
        fields >> mode >> access >> pid >> where;
        if (where == file && match(waits, pid)) return true;
    }
    return false;
}

}  // namespace

bool ToolProcess::HoldsLockOn(const std::string& path) const {
    return m_pid > 0 && AnyLockOn(path, [this](bool waits, const std::string& pid) {
               return !waits && pid == std::to_string(m_pid);
           });
}

bool SomeoneWaitsForLockOn(const std::string& path) {
    return AnyLockOn(path, [](bool waits, const std::string&) { return waits; });
}

ToolResult ToolProcess::Wait() {
    ToolResult result;
    int status = 0;
    if (m_pid > 0 && waitpid(m_pid, &status, 0) == m_pid) {
        if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    }
    m_pid = -1;
    result.out = ReadFileBytes(m_outPath);
    result.err = ReadFileBytes(m_errPath);
    return result;
}

bool WaitWhileRunning(const ToolProcess& tool, const std::function<bool()>& ready, int seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ready()) return true;
        if (tool.WaitForEnd(2)) return ready();
    }
    return false;
}

ToolResult RunTool(const std::vector<std::string>& args, const ToolEnv& env) {
    ToolProcess process;
    if (!process.Start(args, env)) return {};
    return process.Wait();
}

int LineCount(const std::string& text) {
    int lines = 0;
    for (char c : text) lines += c == '\n';
    if (!text.empty() && text.back() != '\n') ++lines;
    return lines;
}
