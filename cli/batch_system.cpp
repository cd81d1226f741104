#include "cli/batch_system.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

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
    bool open = true;
};

BatchInput::BatchInput() : m_state(std::make_unique<State>()) {}
BatchInput::~BatchInput() = default;

bool BatchInput::Ended() {
    if (!m_state->open) return false;
    struct stat st {};
    if (fstat(0, &st) != 0 || !(isatty(0) || S_ISFIFO(st.st_mode))) {
        m_state->open = false;
        return false;
    }
    pollfd in{0, POLLIN, 0};
    if (poll(&in, 1, 0) <= 0) return false;
    char buffer[256];
    return read(0, buffer, sizeof buffer) == 0;
}

void BatchInput::Wait(int ms) {
    pollfd in{0, POLLIN, 0};
    poll(m_state->open ? &in : nullptr, m_state->open ? 1 : 0, ms);
}

}  // namespace cli
