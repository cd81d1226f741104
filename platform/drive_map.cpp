#include "platform/drive_map.h"

#include <sys/stat.h>

#include <cctype>
#include <filesystem>

#include "platform/process_drive_map.h"
#include "platform/syscalls.h"

namespace platform {
namespace {

bool IsPartitionLink(const std::string& name) {
    size_t at = name.rfind("-part");
    return at != std::string::npos && at + 5 < name.size() &&
           name.find_first_not_of("0123456789", at + 5) == std::string::npos;
}

}  // namespace

bool SameDrive(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat sa, sb;
    if (a.empty() || b.empty() || SysStat(a.c_str(), &sa) != 0 || SysStat(b.c_str(), &sb) != 0)
        return false;
    if (S_ISBLK(sa.st_mode) && S_ISBLK(sb.st_mode)) return sa.st_rdev == sb.st_rdev;
    return S_ISREG(sa.st_mode) && S_ISREG(sb.st_mode) && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::string StableDevicePath(const std::string& device, const std::string& byId) {
    struct stat wanted;
    if (SysStat(device.c_str(), &wanted) != 0 || !S_ISBLK(wanted.st_mode)) return device;
    std::string best;
    bool bestPreferred = false;
    std::error_code error;
    for (std::filesystem::directory_iterator it(byId, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        const std::string path = it->path().string();
        struct stat st;
        if (IsPartitionLink(name) || SysStat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode) ||
            st.st_rdev != wanted.st_rdev)
            continue;
        // The names of the drive's bus say what it is; wwn- and the like only number it.
        bool preferred = name.rfind("usb-", 0) == 0 || name.rfind("ata-", 0) == 0;
        if (best.empty() || (preferred && !bestPreferred) ||
            (preferred == bestPreferred && path < best)) {
            best = path;
            bestPreferred = preferred;
        }
    }
    return best.empty() ? device : best;
}

DriveSource DriveLetterSource(char letter) {
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (letter < 'A' || letter > 'Z') return DriveSource::None;
    if (ProcessDriveMapping(letter, nullptr)) return DriveSource::Process;
    if (!ProfileDriveMapping(letter).empty()) return DriveSource::Profile;
    if (letter == 'A' || letter == 'B') return DriveSource::Default;
    return DriveSource::None;
}

std::string ResolveDriveLetter(char letter) {
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (letter < 'A' || letter > 'Z') return {};
    if (std::string mapped; ProcessDriveMapping(letter, &mapped)) return mapped;
    std::string fromProfile = ProfileDriveMapping(letter);
    if (!fromProfile.empty()) return fromProfile;
    if (letter == 'A') return "/dev/fd0";
    if (letter == 'B') return "/dev/fd1";
    return {};
}

}  // namespace platform
