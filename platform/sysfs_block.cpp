#include "platform/sysfs_block.h"

#include <fcntl.h>

#include <algorithm>
#include <filesystem>

#include "platform/syscalls.h"

namespace platform {
namespace {

// An attribute file's text without surrounding white space; "" when it cannot be read.
std::string ReadAttribute(const std::string& path) {
    int fd = SysOpen(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "";
    char buffer[256];
    ssize_t n = SysPread(fd, buffer, sizeof buffer, 0, path.c_str());
    SysClose(fd, path.c_str());
    if (n <= 0) return "";
    std::string text(buffer, static_cast<size_t>(n));
    const char* blank = " \t\r\n";
    size_t first = text.find_first_not_of(blank);
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(blank) - first + 1);
}

long long ReadNumber(const std::string& path) {
    std::string text = ReadAttribute(path);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stoll(text);
}

}  // namespace

std::vector<BlockDeviceInfo> ListBlockDevices(const std::string& sysfsRoot) {
    std::vector<BlockDeviceInfo> devices;
    std::error_code error;
    std::filesystem::directory_iterator entries(sysfsRoot + "/block", error);
    if (error) return devices;
    for (const auto& entry : entries) {
        BlockDeviceInfo device;
        device.name = entry.path().filename().string();
        std::string dir = entry.path().string();
        device.sectors = ReadNumber(dir + "/size");
        device.removable = ReadAttribute(dir + "/removable") == "1";
        device.vendor = ReadAttribute(dir + "/device/vendor");
        device.model = ReadAttribute(dir + "/device/model");
        // Only a bound loop device names its file.
        device.loop = !LoopBackingFile(sysfsRoot, device.name).empty();
        // Each entry links to the device's place in the tree, which names the buses above it.
        char target[4096];
        ssize_t n = SysReadlink(dir.c_str(), target, sizeof target - 1);
        if (n > 0) {
            std::string path(target, static_cast<size_t>(n));
            device.usb = path.find("/usb") != std::string::npos;
        }
        devices.push_back(std::move(device));
    }
    std::sort(devices.begin(), devices.end(),
              [](const BlockDeviceInfo& a, const BlockDeviceInfo& b) { return a.name < b.name; });
    return devices;
}

std::string LoopBackingFile(const std::string& sysfsRoot, const std::string& name) {
    return ReadAttribute(sysfsRoot + "/block/" + name + "/loop/backing_file");
}

std::string DiskSequence(const std::string& sysfsRoot, const std::string& name) {
    return ReadAttribute(sysfsRoot + "/block/" + name + "/diskseq");
}

}  // namespace platform
