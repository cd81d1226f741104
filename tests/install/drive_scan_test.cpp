// Drive discovery on a made-up sysfs tree: which block devices count as floppy drives, the
// letters they get, and the lines --assign writes into a real profile file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "drive/drive_discovery.h"
#include "platform/drive_map.h"
#include "platform/profile.h"
#include "tests/cli/loop_device.h"
#include "tests/cli/tool_runner.h"
#include "tests/support/facility.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// A block device as the kernel shows it: the device in the tree under its bus, and the link
// in block/ that leads to it.
void AddDevice(const TempDir& sys, const std::string& name, const std::string& bus,
               long long sectors, int removable, const std::string& vendor = "",
               const std::string& model = "", const std::string& backingFile = "") {
    fs::path device = fs::path(sys.path()) / "devices" / bus / "block" / name;
    Write(device / "size", std::to_string(sectors) + "\n");
    if (!backingFile.empty()) Write(device / "loop" / "backing_file", backingFile + "\n");
    Write(device / "removable", std::to_string(removable) + "\n");
    if (!vendor.empty()) Write(device / "device" / "vendor", vendor + "\n");
    if (!model.empty()) Write(device / "device" / "model", model + "\n");
    fs::create_directories(fs::path(sys.path()) / "block");
    fs::create_directory_symlink("../devices/" + bus + "/block/" + name,
                                 fs::path(sys.path()) / "block" / name);
}

const std::string kUsb = "pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host6/target6:0:0/6:0:0:0";

TEST(DriveScan, FindsLegacyDrivesUsbDrivesHoldingADisketteAndDisketteSizedLoops) {
    TempDir sys;
    AddDevice(sys, "fd0", "platform/floppy.0", 2880, 1);
    AddDevice(sys, "sdb", kUsb, 2880, 1, "TEAC    ", "USB UF000x      ");
    AddDevice(sys, "sdc", kUsb + "x", 0, 1, "TEAC", "USB UF000x");  // no diskette in
    AddDevice(sys, "sdd", kUsb + "y", 15523840, 1, "Generic", "Flash Disk");
    AddDevice(sys, "sde", kUsb + "z", 1440, 1, "Y-E DATA", "USB-FDU");
    AddDevice(sys, "sdf", kUsb + "w", 2880, 0, "Fixed", "Disk");  // not removable
    AddDevice(sys, "sda", "pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0", 2880, 1);
    AddDevice(sys, "vda", "pci0000:00/0000:00:04.0/virtio1", 2400, 0);
    AddDevice(sys, "loop0", "virtual", 2880, 0, "", "", "/srv/floppies/a.img");
    AddDevice(sys, "loop1", "virtual", 2048, 0, "", "", "/srv/disk.img");  // no diskette's size
    AddDevice(sys, "loop2", "virtual", 2880, 0);  // not a loop device: it names no file

    std::vector<FloppyDrive> drives = FindFloppyDrives(sys.path());
    ASSERT_EQ(drives.size(), 4u);
    EXPECT_EQ(drives[0].device, "/dev/fd0");
    EXPECT_TRUE(drives[0].legacy);
    EXPECT_EQ(drives[0].format, "1.44 MB");
    EXPECT_EQ(drives[0].medium, FloppyMedium::Unknown);
    EXPECT_EQ(drives[1].device, "/dev/loop0");
    EXPECT_TRUE(drives[1].loop);
    EXPECT_EQ(drives[1].format, "1.44 MB");
    EXPECT_EQ(drives[1].medium, FloppyMedium::Present);
    EXPECT_EQ(drives[2].device, "/dev/sdb");
    EXPECT_FALSE(drives[2].legacy);
    EXPECT_FALSE(drives[2].loop);
    EXPECT_EQ(drives[2].format, "1.44 MB");
    EXPECT_EQ(drives[2].medium, FloppyMedium::Present);
    EXPECT_EQ(drives[2].vendor, "TEAC");
    EXPECT_EQ(drives[2].model, "USB UF000x");
    EXPECT_EQ(drives[3].device, "/dev/sde");
    EXPECT_EQ(drives[3].format, "720 KB");

    EXPECT_TRUE(FindFloppyDrives(sys / "missing").empty());
}

TEST(DriveScan, AssignAddsOnlyTheMissingLettersAndKeepsEveryOtherLine) {
    TempDir sys;
    AddDevice(sys, "fd0", "platform/floppy.0", 2880, 1);
    AddDevice(sys, "sdb", kUsb, 2880, 1, "TEAC", "USB UF000x");
    AddDevice(sys, "sde", kUsb + "z", 2400, 1, "Y-E DATA", "USB-FDU");

    TempDir home;
    const std::string profile = home / "config/tavrel.INI";
    const std::string before =
        "; my diskettes\n"
        "[Options]\n"
        "Compression=1\n"
        "\n"
        "[drives]\n"
        "A = /srv/floppies/a.img\n"
        "b=/dev/sdb\n"
        "\n"
        "[File Names]\n"
        "Entry0=/home/me/work.tvl\n";
    Write(profile, before);
    platform::ScopedProfilePath scoped(profile);

    std::vector<FloppyDrive> drives = FindFloppyDrives(sys.path());
    ChooseLetters(drives);
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].letter, 'C');  // A is taken by a file, so /dev/fd0 needs a letter
    EXPECT_FALSE(drives[0].mapped);
    EXPECT_EQ(drives[1].letter, 'B');
    EXPECT_TRUE(drives[1].mapped);
    EXPECT_EQ(drives[2].letter, 'D');
    EXPECT_FALSE(drives[2].mapped);

    ASSERT_TRUE(AssignLetters(drives, profile));
    const std::string after =
        "; my diskettes\n"
        "[Options]\n"
        "Compression=1\n"
        "\n"
        "[drives]\n"
        "A = /srv/floppies/a.img\n"
        "b=/dev/sdb\n"
        "C=/dev/fd0\n"
        "D=/dev/sde\n"
        "\n"
        "[File Names]\n"
        "Entry0=/home/me/work.tvl\n";
    EXPECT_EQ(ReadFileBytes(profile), after);

    // A second scan finds every drive mapped and changes nothing.
    drives = FindFloppyDrives(sys.path());
    ChooseLetters(drives);
    for (const FloppyDrive& drive : drives) EXPECT_TRUE(drive.mapped) << drive.device;
    ASSERT_TRUE(AssignLetters(drives, profile));
    EXPECT_EQ(ReadFileBytes(profile), after);
}

TEST(DriveScan, ToolScansThisMachineAndAssignNeedsScan) {
    TempDir config;
    ToolResult scan = RunTool({"drives", "--scan"}, {{"XDG_CONFIG_HOME", config.path()}});
    EXPECT_EQ(scan.exitCode, 0) << scan.err;
    EXPECT_EQ(scan.out.rfind("Profile: " + config.path() + "/tavrel.INI\n", 0), 0u) << scan.out;

    ToolResult assign = RunTool({"drives", "--assign"}, {{"XDG_CONFIG_HOME", config.path()}});
    EXPECT_EQ(assign.exitCode, 64);
    EXPECT_FALSE(FileExists(config / "tavrel.INI"));
}

// A drive is known by its device, whatever name leads there: a [Drives] entry that is a link to
// a loop device reaches it already. A drive gets its udev by-id name (here in a folder standing
// in for /dev/disk/by-id), which outlives /dev/sdX; a loop device has none and keeps its own.
TEST(DriveScan, ADriveIsKnownByItsDeviceAndSavedByItsById) {
    TempDir dir;
    std::ofstream(dir / "a.raw").write(std::string(1474560, '\0').data(), 1474560);
    fs::copy_file(dir / "a.raw", dir / "b.raw");
    LoopDevice a(dir / "a.raw"), b(dir / "b.raw");
    if (a.path().empty() || b.path().empty())
        SKIP_OR_FAIL("no loop devices: losetup is not allowed");

    const fs::path byId = dir / "by-id";
    fs::create_directory(byId);
    for (const char* name : {"wwn-0x5000", "usb-TEAC_FD-05PUB-0:0-part1", "usb-TEAC_FD-05PUB-0:0"})
        fs::create_symlink(a.path(), byId / name);
    fs::create_symlink(b.path(), byId / "ata-Other");
    EXPECT_EQ(platform::StableDevicePath(a.path(), byId), byId / "usb-TEAC_FD-05PUB-0:0");
    EXPECT_EQ(platform::StableDevicePath(b.path(), byId), byId / "ata-Other");
    fs::remove(byId / "usb-TEAC_FD-05PUB-0:0");
    EXPECT_EQ(platform::StableDevicePath(a.path(), byId), byId / "wwn-0x5000");
    EXPECT_EQ(platform::StableDevicePath(a.path(), dir / "none"), a.path());

    fs::create_symlink(a.path(), dir / "floppy");
    Write(dir / "tavrel.INI", "[Drives]\nC=" + dir / "floppy" + "\n");
    ToolResult scan = RunTool({"drives", "--scan", "--assign"}, {{"XDG_CONFIG_HOME", dir.path()}});
    EXPECT_EQ(scan.exitCode, 0) << scan.err;
    size_t at = scan.out.find("\n" + a.path() + " ");
    ASSERT_NE(at, std::string::npos) << scan.out;
    std::string line = scan.out.substr(at + 1, scan.out.find('\n', at + 1) - at - 1);
    EXPECT_EQ(line.substr(line.size() - 10), "C: already") << line;
    std::string profile = ReadFileBytes(dir / "tavrel.INI");
    EXPECT_EQ(profile.find("=" + a.path() + "\n"), std::string::npos) << profile;
    EXPECT_NE(profile.find("=" + b.path() + "\n"), std::string::npos) << profile;
}

}  // namespace
