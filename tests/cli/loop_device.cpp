#include "tests/cli/loop_device.h"

#include <cstdio>

#include "tests/support/temp_dir.h"

LoopDevice::LoopDevice(const std::string& file, bool directIo) {
    std::string command = std::string("losetup -f --show ") + (directIo ? "--direct-io=on " : "") +
                          "'" + file + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return;
    char line[256] = {};
    if (std::fgets(line, sizeof line, pipe)) m_path = line;
    if (pclose(pipe) != 0) m_path.clear();
    while (!m_path.empty() && (m_path.back() == '\n' || m_path.back() == ' ')) m_path.pop_back();
}

LoopDevice::~LoopDevice() {
    if (!m_path.empty()) Shell("losetup -d '" + m_path + "' 2>/dev/null");
}
