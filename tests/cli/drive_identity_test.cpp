// The drive that read a diskette, as the info file names it: a fake sysfs tree laid out as the
// kernel lays out a USB diskette drive, the floppy controller's drive and a loop device (links
// from block/ into devices/, the USB device's serial two levels above the disk), and an image
// file standing in for a drive, described while other threads describe it too.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "cli/batch_record.h"
#include "cli/batch_system.h"
#include "platform/sysfs_block.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

void Attribute(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    WriteFileBytes(path.string(), text);
}

// A device's folder under devices/, its block/NAME entry, and the link to it as sysfs has it.
fs::path Disk(const fs::path& sys, const std::string& place, const std::string& name) {
    const fs::path dir = sys / "devices" / place / "block" / name;
    fs::create_directories(dir);
    fs::create_directories(sys / "block");
    fs::create_symlink(fs::path("../devices") / place / "block" / name, sys / "block" / name);
    Attribute(dir / "size", "2880\n");
    return dir;
}

class DriveIdentity : public ::testing::Test {
  protected:
    void SetUp() override {
        // A USB diskette drive: the serial is the USB device's, above the SCSI disk the bridge
        // makes; the bridge's own unit serial page and the root hub's serial are not it.
        const std::string usbDevice = "pci0000:00/0000:00:14.0/usb1/1-2";
        Attribute(sys / "devices/pci0000:00/0000:00:14.0/usb1/idVendor", "1d6b\n");
        Attribute(sys / "devices/pci0000:00/0000:00:14.0/usb1/serial", "0000:00:14.0\n");
        Attribute(sys / "devices" / usbDevice / "idVendor", "0644\n");
        Attribute(sys / "devices" / usbDevice / "serial", "  A1B2C3  \n");
        const std::string scsi = usbDevice + "/1-2:1.0/host6/target6:0:0/6:0:0:0";
        const fs::path sdb = Disk(sys, scsi, "sdb");
        fs::create_directory_symlink("../../../6:0:0:0", sdb / "device");
        Attribute(sys / "devices" / scsi / "vendor", "TEAC    \n");
        Attribute(sys / "devices" / scsi / "model", "FD-05PUB        \n");
        Attribute(sys / "devices" / scsi / "vpd_pg80", std::string("\0\x80\0\x04WRONG", 9));

        // An ATA disk without a USB device: its unit serial number page.
        const std::string ata = "pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0";
        fs::create_directory_symlink("../../../0:0:0:0", Disk(sys, ata, "sda") / "device");
        Attribute(sys / "devices" / ata / "vpd_pg80", std::string("\0\x80\0\x0c  WD-123456\0", 16));

        Disk(sys, "platform/floppy.0", "fd0");
        const fs::path loop = Disk(sys, "virtual", "loop0");
        Attribute(loop / "loop/backing_file", "/srv/box/disk 7.img\n");
        fs::create_directories(sys / "dev/block");
        fs::create_symlink("../../devices/platform/floppy.0/block/fd0", sys / "dev/block/2:0");
        fs::create_symlink("../../devices/" + scsi + "/block/sdb/sdb1", sys / "dev/block/8:17");
    }
    TempDir dir;
    const fs::path sys = dir / "sys";
};

TEST_F(DriveIdentity, EachKindOfDriveIsToldWithTheSerialNumberItHas) {
    const std::string root = sys.string();
    cli::DriveModel usb = cli::DescribeSysfsDevice(root, "sdb");
    EXPECT_EQ(usb.kind, "USB");
    EXPECT_EQ(usb.serial, "A1B2C3");
    EXPECT_EQ(usb.vendor, "TEAC");
    EXPECT_EQ(usb.model, "FD-05PUB");

    cli::DriveModel ata = cli::DescribeSysfsDevice(root, "sda");
    EXPECT_EQ(ata.kind, "ATA");
    EXPECT_EQ(ata.serial, "WD-123456");

    cli::DriveModel floppy = cli::DescribeSysfsDevice(root, "fd0");
    EXPECT_EQ(floppy.kind, "floppy controller");
    EXPECT_EQ(floppy.serial, "");
    EXPECT_EQ(platform::BlockDeviceName(root, 2, 0), "fd0");
    EXPECT_EQ(platform::BlockDeviceName(root, 2, 1), "");
    // A partition of the USB drive's diskette is read by the USB drive.
    EXPECT_EQ(platform::BlockDeviceName(root, 8, 17), "sdb");

    EXPECT_EQ(cli::DescribeSysfsDevice(root, "loop0").kind, "loop device on /srv/box/disk 7.img");
    // A name that is no device, or that leads out of block/, tells nothing.
    EXPECT_EQ(platform::IdentifyBlockDevice(root, "sdz").bus, "");
    EXPECT_EQ(platform::IdentifyBlockDevice(root, "../block/sdb").serial, "");
}

TEST_F(DriveIdentity, AnImageFileIsToldAsSuchFromAnyNumberOfThreadsAtOnce) {
    const std::string image = dir / "drive.img";
    WriteFileBytes(image, std::string(1474560, '\0'));
    std::vector<cli::DriveModel> seen(4);
    std::vector<std::thread> threads;
    for (auto& model : seen) threads.emplace_back([&] { model = cli::DescribeDevice(image); });
    for (auto& thread : threads) thread.join();
    for (const auto& model : seen) EXPECT_EQ(model.kind, "image file");
    EXPECT_EQ(cli::DescribeDevice(dir / "missing").kind, "");
}

// What an operator typed may hold a line break or a tab (a scanner's), which must not start a
// line of its own that reads back as another key.
TEST(DriveRecord, TypedFieldsStayOnTheirLineAndReadBack) {
    cli::BatchRecord record;
    record.name = "disk-001";
    record.identifier = "ACC-2026/17";
    record.labelText = "Payroll 1991\nresult: done";
    record.operatorName = "M. Weber";
    record.note = "sticky\tlabel\r";
    record.drive = {"A:", "/dev/sdb", "TEAC", "FD-05PUB", "USB", "A1B2C3"};
    const std::string info = cli::InfoText(record);
    EXPECT_NE(info.find("\nlabel-text: Payroll 1991 result: done\n"), std::string::npos) << info;
    EXPECT_NE(info.find("\ndrive-kind: USB\ndrive-serial: A1B2C3\n"), std::string::npos) << info;

    std::map<std::string, std::string> keys;
    for (size_t at = 0, end; (end = info.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = info.substr(at, end - at);
        const size_t colon = line.find(": ");
        ASSERT_NE(colon, std::string::npos) << line;
        EXPECT_TRUE(keys.emplace(line.substr(0, colon), line.substr(colon + 2)).second) << line;
    }
    const cli::BatchRecord back = cli::RecordFromInfo(keys);
    EXPECT_EQ(back.identifier, record.identifier);
    EXPECT_EQ(back.operatorName, record.operatorName);
    EXPECT_EQ(back.note, "sticky label ");
    EXPECT_EQ(back.drive.kind, "USB");
    EXPECT_EQ(back.drive.serial, "A1B2C3");
    // The columns readers know come first, as before; the new ones after them.
    EXPECT_EQ(std::string(cli::kCsvHeader)
                  .rfind("name,time,format,result,unreadable sectors,content sha256,message,", 0),
              0u);
    // In batch.csv too: the row is one line.
    EXPECT_NE(cli::CsvRow(record).find(",ACC-2026/17,Payroll 1991 result: done,M. Weber,sticky "
                                       "label ,USB,A1B2C3\n"),
              std::string::npos)
        << cli::CsvRow(record);
}

}  // namespace
