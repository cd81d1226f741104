#include "cli/drive_scan.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "cli/exit_codes.h"
#include "drive/disk_errors.h"
#include "engine/media_table.h"
#include "platform/drive_map.h"
#include "platform/last_error.h"
#include "platform/profile.h"
#include "platform/syscalls.h"
#include "platform/sysfs_block.h"
#include "platform/udisks.h"

namespace cli {
namespace {

// The supported diskette of this many 512-byte sectors, "" for any other size.
std::string FormatOfSize(long long sectors) {
    for (int row = 0; MediaTypeTable[row].mediaCode != 0; ++row) {
        const MediaTypeEntry& entry = MediaTypeTable[row];
        if (sectors == 2LL * entry.sectorsPerTrack * (entry.lastCylinder + 1)) {
            std::string name = MediaTypeName(row);
            return name.substr(0, name.find(" ("));  // the descriptor does not show in a size
        }
    }
    return "";
}

bool IsLegacyName(const std::string& name) {
    return name.size() > 2 && name.compare(0, 2, "fd") == 0 &&
           name.find_first_not_of("0123456789", 2) == std::string::npos;
}

bool Exists(const std::string& path) {
    struct stat st;
    return platform::SysStat(path.c_str(), &st) == 0;
}

const char* MediumText(Medium medium) {
    switch (medium) {
        case Medium::Present:
            return "yes";
        case Medium::Absent:
            return "no";
        case Medium::Unknown:
            break;
    }
    return "unknown";
}

std::string OrDash(const std::string& text) {
    return text.empty() ? "-" : text;
}

}  // namespace

std::vector<FloppyDrive> FloppyDrivesAmong(const std::vector<platform::BlockDeviceInfo>& devices) {
    std::vector<FloppyDrive> drives;
    for (const platform::BlockDeviceInfo& device : devices) {
        FloppyDrive drive;
        drive.device = "/dev/" + device.name;
        drive.format = FormatOfSize(device.sectors);
        drive.vendor = device.vendor;
        drive.model = device.model;
        if (IsLegacyName(device.name)) {
            drive.legacy = true;
        } else if (device.usb && device.removable && !drive.format.empty()) {
            drive.medium = Medium::Present;  // an empty drive reports no size at all
        } else if (device.loop && !drive.format.empty()) {
            drive.loop = true;
            drive.medium = Medium::Present;
        } else {
            continue;
        }
        drives.push_back(std::move(drive));
    }
    return drives;
}

std::vector<FloppyDrive> FindFloppyDrives(const std::string& sysfsRoot) {
    return FloppyDrivesAmong(platform::ListBlockDevices(sysfsRoot));
}

Medium ProbeMedium(const std::string& device) {
    int fd = platform::SysOpen(device.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        platform::SysClose(fd, device.c_str());
        return Medium::Present;
    }
    return errno == ENXIO || errno == ENOMEDIUM ? Medium::Absent : Medium::Unknown;
}

void ChooseLetters(std::vector<FloppyDrive>& drives) {
    bool taken[26] = {};
    for (FloppyDrive& drive : drives) {
        for (char letter = 'A'; letter <= 'Z' && !drive.mapped; ++letter) {
            if (platform::ResolveDriveLetter(letter) == drive.device) {
                drive.letter = letter;
                drive.mapped = true;
                taken[letter - 'A'] = true;
            }
        }
    }
    for (FloppyDrive& drive : drives) {
        if (drive.mapped) continue;
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            if (taken[letter - 'A']) continue;
            platform::DriveSource source = platform::DriveLetterSource(letter);
            bool free = source == platform::DriveSource::None ||
                        (source == platform::DriveSource::Default &&
                         !Exists(platform::ResolveDriveLetter(letter)));
            if (!free) continue;
            drive.letter = letter;
            taken[letter - 'A'] = true;
            break;
        }
    }
}

bool AssignLetters(const std::vector<FloppyDrive>& drives, const std::string& profile) {
    std::error_code ignored;  // a folder that cannot be made fails the write below
    std::filesystem::create_directories(std::filesystem::path(profile).parent_path(), ignored);
    for (const FloppyDrive& drive : drives) {
        if (drive.mapped || drive.letter == 0) continue;
        const char key[2] = {drive.letter, '\0'};
        if (!WritePrivateProfileStringA("Drives", key, drive.device.c_str(), profile.c_str()))
            return false;
    }
    return true;
}

int RunDriveScan(bool assign, Console& console) {
    std::string profile = platform::ProfilePath();
    // The desktop's disk service where it runs, else the kernel's own list.
    std::vector<platform::BlockDeviceInfo> devices;
    bool throughService = platform::UdisksListBlockDevices(&devices);
    std::vector<FloppyDrive> drives =
        throughService ? FloppyDrivesAmong(devices) : FindFloppyDrives("/sys");
    for (FloppyDrive& drive : drives)
        if (drive.legacy) drive.medium = ProbeMedium(drive.device);
    ChooseLetters(drives);

    std::printf("Profile: %s\n",
                profile.empty() ? "(none: no home or configuration folder)" : profile.c_str());
    std::printf("%s\n", throughService ? "Found through UDisks2" : "Found in /sys");
    if (drives.empty()) {
        std::printf("No floppy drives found (a USB drive shows with a diskette in it).\n");
        std::fflush(stdout);
        return kExitDone;
    }
    std::printf("%-12s %-7s %-8s %-9s %-10s %-18s %s\n", "Device", "Kind", "Format", "Diskette",
                "Vendor", "Model", "[Drives]");
    for (const FloppyDrive& drive : drives) {
        std::string line = "-";
        if (drive.mapped)
            line = std::string(1, drive.letter) + ": already";
        else if (drive.letter)
            line = std::string(1, drive.letter) + "=" + drive.device;
        else
            line = "(no free letter)";
        std::printf("%-12s %-7s %-8s %-9s %-10s %-18s %s\n", drive.device.c_str(),
                    drive.legacy ? "legacy"
                    : drive.loop ? "loop"
                                 : "usb",
                    OrDash(drive.format).c_str(), MediumText(drive.medium),
                    OrDash(drive.vendor).c_str(), OrDash(drive.model).c_str(), line.c_str());
    }
    std::fflush(stdout);
    if (!assign) return kExitDone;

    if (profile.empty()) {
        console.Error("tavrel-cli: no profile file: neither XDG_CONFIG_HOME nor HOME is set");
        return kExitFailed;
    }
    if (!AssignLetters(drives, profile)) {
        console.Error("tavrel-cli: cannot write " + profile + ": " +
                      DiskErrorText(GetLastError(), FALSE));
        return kExitFailed;
    }
    for (const FloppyDrive& drive : drives)
        if (!drive.mapped && drive.letter)
            console.Summary("Mapped " + std::string(1, drive.letter) + ": to " + drive.device);
    return kExitDone;
}

}  // namespace cli
