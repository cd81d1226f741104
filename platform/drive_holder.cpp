#include "platform/drive_holder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <sstream>

#include "platform/syscalls.h"

namespace platform {
namespace {

// The whole of a file of /proc or /sys; "" when it cannot be read.
std::string ReadWhole(const std::string& path) {
    int fd = SysOpen(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "";
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = SysRead(fd, buffer, sizeof buffer, path.c_str())) > 0)
        text.append(buffer, static_cast<size_t>(n));
    SysClose(fd, path.c_str());
    return text;
}

bool Octal(char c) {
    return c >= '0' && c <= '7';
}

// The mount table writes a blank, tab, newline and backslash in a path as \NNN in octal.
std::string Unescaped(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && Octal(field[i + 1]) &&
            Octal(field[i + 2]) && Octal(field[i + 3])) {
            out += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

}  // namespace

bool DriveHeldElsewhere(DWORD code) {
    return code == EBUSY;
}

std::string DeviceMountPoint(const std::string& path) {
    struct stat st {};
    if (SysStat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return "";
    const std::string device =
        std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
    std::istringstream table(ReadWhole("/proc/self/mountinfo"));
    // "36 35 8:17 / /media/me/DISK rw,nosuid - vfat /dev/sdb1 rw": the third field is the
    // mounted device, the fifth where.
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string id, parent, mounted, root, point;
        if (!(fields >> id >> parent >> mounted >> root >> point)) continue;
        if (mounted == device) return Unescaped(point);
    }
    return "";
}

}  // namespace platform
