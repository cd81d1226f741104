#include "drive/drive_discovery.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "drive/disk_format.h"
#include "platform/drive_map.h"
#include "platform/profile.h"
#include "platform/syscalls.h"
#include "platform/udisks.h"

namespace {

// The PC diskette format of this many 512-byte sectors, "" for any other size.
std::string FormatOfSize(long long sectors) {
    DiskFormat format;
    return FormatFromDrive(0, 0, 0, 512 * sectors, &format) ? FormatName(format) : "";
}

bool IsLegacyName(const std::string& name) {
    return name.size() > 2 && name.compare(0, 2, "fd") == 0 &&
           name.find_first_not_of("0123456789", 2) == std::string::npos;
}

bool Exists(const std::string& path) {
    struct stat st;
    return platform::SysStat(path.c_str(), &st) == 0;
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
            drive.medium = FloppyMedium::Present;  // an empty drive reports no size at all
        } else if (device.loop && !drive.format.empty()) {
            drive.loop = true;
            drive.medium = FloppyMedium::Present;
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

std::vector<FloppyDrive> DiscoverFloppyDrives(bool* throughService) {
    std::vector<platform::BlockDeviceInfo> devices;
    bool service = platform::UdisksListBlockDevices(&devices);
    if (throughService) *throughService = service;
    return service ? FloppyDrivesAmong(devices) : FindFloppyDrives("/sys");
}

FloppyMedium ProbeMedium(const std::string& device) {
    int fd = platform::SysOpen(device.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        platform::SysClose(fd, device.c_str());
        return FloppyMedium::Present;
    }
    return errno == ENXIO || errno == ENOMEDIUM ? FloppyMedium::Absent : FloppyMedium::Unknown;
}

void ChooseLetters(std::vector<FloppyDrive>& drives) {
    bool taken[26] = {};
    for (FloppyDrive& drive : drives) {
        for (char letter = 'A'; letter <= 'Z' && !drive.mapped; ++letter) {
            if (platform::SameDrive(platform::ResolveDriveLetter(letter), drive.device)) {
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
    platform::ProfileBatch batch;  // the file is written once, with every letter
    for (const FloppyDrive& drive : drives) {
        if (drive.mapped || drive.letter == 0) continue;
        const char key[2] = {drive.letter, '\0'};
        const std::string path = platform::StableDevicePath(drive.device);
        if (!WritePrivateProfileStringA("Drives", key, path.c_str(), profile.c_str())) return false;
    }
    return batch.Commit();
}

std::string DescribeFloppyDrive(const FloppyDrive& drive) {
    std::string name = drive.vendor;
    if (!drive.model.empty()) name += (name.empty() ? "" : " ") + drive.model;
    if (name.empty()) name = drive.legacy ? "floppy drive" : drive.loop ? "loop device" : "drive";
    std::string text = drive.device + ": " + name;
    if (!drive.format.empty()) text += ", " + drive.format;
    return text;
}
