#include "platform/sysfs_block.h"

#include <fcntl.h>
#include <sys/stat.h>

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

// An attribute's bytes as they are (a binary page); "" when it cannot be read.
std::string ReadBytes(const std::string& path) {
    int fd = SysOpen(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "";
    char buffer[512];
    ssize_t n = SysPread(fd, buffer, sizeof buffer, 0, path.c_str());
    SysClose(fd, path.c_str());
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

// Text a device reports, trimmed of the blanks and NULs that pad its fields; anything that is
// not printable ASCII becomes "?" so the value stays one line of text.
std::string Printable(const std::string& text) {
    const size_t first = text.find_first_not_of(std::string(" \t\r\n\0", 5));
    if (first == std::string::npos) return "";
    const size_t last = text.find_last_not_of(std::string(" \t\r\n\0", 5));
    std::string clean = text.substr(first, last - first + 1);
    for (char& c : clean)
        if (c < 0x20 || c > 0x7E) c = '?';
    return clean;
}

// The SCSI unit serial number page: page code 0x80, its length in bytes 2 and 3, then the text.
std::string UnitSerialNumber(const std::string& page) {
    if (page.size() < 4 || static_cast<unsigned char>(page[1]) != 0x80) return "";
    const size_t length =
        static_cast<unsigned char>(page[2]) << 8 | static_cast<unsigned char>(page[3]);
    return Printable(page.substr(4, length));
}

// Where a link in the tree leads, as a path within the tree; the link itself when it is none.
std::filesystem::path LinkTarget(const std::filesystem::path& link) {
    char target[4096];
    const ssize_t n = SysReadlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) return link;
    const std::filesystem::path to(std::string(target, static_cast<size_t>(n)));
    return to.is_absolute() ? to : (link.parent_path() / to).lexically_normal();
}

// The bus from the device's name and its place in the tree. A USB bridge may put an ATA or
// SCSI host below it, so USB is looked for first.
std::string BusOf(const std::string& name, const std::string& place) {
    auto has = [&](const char* part) { return place.find(part) != std::string::npos; };
    if (name.rfind("fd", 0) == 0 || has("/floppy")) return "floppy";
    if (name.rfind("loop", 0) == 0) return "loop";
    if (has("/usb")) return "usb";
    if (has("/virtio")) return "virtio";
    if (has("/nvme")) return "nvme";
    if (has("/mmc")) return "mmc";
    if (has("/ata")) return "ata";
    if (has("/host") || has("/target")) return "scsi";
    return "";
}

// A USB device's serial number: the USB device (the folder with idVendor) above the disk.
std::string UsbSerial(const std::filesystem::path& sysfsRoot, std::filesystem::path place) {
    const std::string root = sysfsRoot.lexically_normal().string();
    for (; place.string().size() > root.size() && place.has_relative_path();
         place = place.parent_path()) {
        if (ReadAttribute((place / "idVendor").string()).empty()) continue;
        return Printable(ReadAttribute((place / "serial").string()));
    }
    return "";
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

BlockDeviceIdentity IdentifyBlockDevice(const std::string& sysfsRoot, const std::string& name) {
    BlockDeviceIdentity identity;
    const std::filesystem::path entry = std::filesystem::path(sysfsRoot) / "block" / name;
    struct stat st {};
    if (name.empty() || name.find('/') != std::string::npos || SysStat(entry.c_str(), &st) != 0)
        return identity;
    const std::filesystem::path place = LinkTarget(entry);
    const std::string dir = entry.string();
    identity.bus = BusOf(name, place.string());
    identity.vendor = ReadAttribute(dir + "/device/vendor");
    identity.model = ReadAttribute(dir + "/device/model");
    identity.backingFile = LoopBackingFile(sysfsRoot, name);
    if (identity.bus == "usb") identity.serial = UsbSerial(sysfsRoot, place);
    if (identity.serial.empty())
        identity.serial = UnitSerialNumber(ReadBytes(dir + "/device/vpd_pg80"));
    for (const char* attribute : {"/serial", "/device/serial", "/device/wwid", "/wwid"}) {
        if (!identity.serial.empty()) break;
        identity.serial = Printable(ReadAttribute(dir + attribute));
    }
    return identity;
}

std::string BlockDeviceName(const std::string& sysfsRoot, unsigned major, unsigned minor) {
    const std::filesystem::path link = std::filesystem::path(sysfsRoot) / "dev" / "block" /
                                       (std::to_string(major) + ":" + std::to_string(minor));
    const std::filesystem::path target = LinkTarget(link);
    if (target == link) return "";
    // A partition's folder lies in its disk's: .../block/sdb/sdb1.
    const std::filesystem::path above = target.parent_path();
    return (above.filename() == "block" ? target : above).filename().string();
}

std::string DiskSequence(const std::string& sysfsRoot, const std::string& name) {
    return ReadAttribute(sysfsRoot + "/block/" + name + "/diskseq");
}

}  // namespace platform
