#include "cli/batch_system.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/syscalls.h"
#include "platform/sysfs_block.h"

namespace cli {

DriveModel DescribeDevice(const std::string& device) {
    DriveModel drive;
    for (const auto& info : platform::ListBlockDevices("/sys"))
        if ("/dev/" + info.name == device) {
            drive.vendor = info.vendor;
            drive.model = info.model;
        }
    return drive;
}

const char* const kEndOfInputKeys = "Ctrl+D";

struct BatchInput::State {
    bool terminalOnly = false;
    bool ended = false;
};

BatchInput::BatchInput(bool terminalOnly) : m_state(std::make_unique<State>()) {
    m_state->terminalOnly = terminalOnly;
}
BatchInput::~BatchInput() = default;

namespace {

// A process in the background of its terminal is stopped (SIGTTIN) when it reads from it: the
// terminal is read only while the batch is in the foreground.
bool ForegroundTerminal() {
    const pid_t foreground = platform::SysTcgetpgrp(0);
    return foreground >= 0 && foreground == getpgrp();
}

}  // namespace

bool BatchInput::Ended() {
    if (m_state->ended) return true;
    struct stat st {};
    const bool terminal = isatty(0) != 0;
    if (fstat(0, &st) != 0) return false;
    if (!terminal && !S_ISFIFO(st.st_mode) && !S_ISSOCK(st.st_mode)) {
        // A file or the null device: nothing will ever be typed.
        m_state->ended = !m_state->terminalOnly;
        return m_state->ended;
    }
    if (!terminal && m_state->terminalOnly) return false;
    if (terminal && !ForegroundTerminal()) return false;
    pollfd in{0, POLLIN, 0};
    if (poll(&in, 1, 0) <= 0) return false;
    char buffer[256];
    m_state->ended = read(0, buffer, sizeof buffer) == 0;
    return m_state->ended;
}

void BatchInput::Wait(int ms) {
    struct stat st {};
    const bool terminal = isatty(0) != 0;
    const bool pipe = fstat(0, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
    const bool watched = !m_state->ended && ((terminal && ForegroundTerminal()) ||
                                             (pipe && !terminal && !m_state->terminalOnly));
    pollfd in{0, POLLIN, 0};
    poll(watched ? &in : nullptr, watched ? 1 : 0, ms);
}

}  // namespace cli
