#include "tests/cli/pty_tool.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

PtyTool::~PtyTool() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_terminal >= 0) close(m_terminal);
}

bool PtyTool::Start(const std::vector<std::string>& args, int columns, const std::string& folder) {
    winsize size{};
    size.ws_row = 40;
    size.ws_col = static_cast<unsigned short>(columns);
    m_pid = forkpty(&m_terminal, nullptr, nullptr, &size);
    if (m_pid < 0) return false;
    if (m_pid == 0) {
        if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(127);
        std::vector<char*> argv;
        static std::string tool = TAVREL_CLI;
        argv.push_back(tool.data());
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    m_end = ChildExit(m_pid);
    return true;
}

bool PtyTool::ReadSome(int milliseconds) {
    pollfd in{m_terminal, POLLIN, 0};
    if (poll(&in, 1, milliseconds) <= 0) return false;
    char buffer[4096];
    const ssize_t got = read(m_terminal, buffer, sizeof buffer);
    // The terminal reads EIO once the tool and everything it started have closed it.
    if (got <= 0) return false;
    m_screen.append(buffer, static_cast<size_t>(got));
    return true;
}

bool PtyTool::WaitFor(const std::string& text, size_t from, size_t* at) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        const size_t found = m_screen.find(text, from);
        if (found != std::string::npos) {
            if (at) *at = found;
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (!ReadSome(200) && m_end.Wait(0)) {
            while (ReadSome(0)) {
            }
            if (m_screen.find(text, from) == std::string::npos) return false;
        }
    }
}

void PtyTool::Type(const std::string& keys) {
    if (write(m_terminal, keys.data(), keys.size()) < 0) std::abort();
}

int PtyTool::Wait() {
    while (!m_end.Wait(0) || ReadSome(0)) ReadSome(200);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
