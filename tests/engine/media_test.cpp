// Recognising the layout from the boot sector, and addressing track sides.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "drive/disk_format.h"
#include "drive/drive_access.h"
#include "drive/media_table.h"
#include "engine/sector_map.h"
#include "platform/le.h"

namespace {

int Match(int descriptor, int sectorsPerTrack) {
    std::uint8_t boot[512] = {};
    boot[0x15] = static_cast<std::uint8_t>(descriptor);
    boot[0x18] = static_cast<std::uint8_t>(sectorsPerTrack & 0xFF);
    boot[0x19] = static_cast<std::uint8_t>(sectorsPerTrack >> 8);
    return MatchMediaType(boot);
}

TEST(MediaTable, RecognisesTheFiveLayouts) {
    EXPECT_EQ(Match(0xFD, 9), 0);
    EXPECT_EQ(Match(0xF9, 15), 1);
    EXPECT_EQ(Match(0xF9, 9), 2);  // 720 KB, not the 360 KB row
    EXPECT_EQ(Match(0xF9, 18), 3);
    EXPECT_EQ(Match(0xF0, 18), 4);
    EXPECT_EQ(MediaTypeTable[3].mediaCode, MediaTypeTable[4].mediaCode);
    EXPECT_EQ(MediaTypeTable[0].lastCylinder, 39);
    EXPECT_EQ(MediaTypeTable[2].lastCylinder, 79);
}

TEST(MediaTable, RefusesEverythingElse) {
    EXPECT_EQ(Match(0xF0, 36), -1);
    EXPECT_EQ(Match(0xF0, 21), -1);
    EXPECT_EQ(Match(0xF8, 18), -1);
    EXPECT_EQ(Match(0, 0), -1);
    EXPECT_EQ(Match(0xF0, 18 + 256), -1) << "the high byte of the word counts";
    EXPECT_EQ(Match(0xFD, 9 + 0x100), -1);
}

TEST(MediaTable, OnlyDescriptorAndSectorsCount) {
    std::uint8_t boot[512];
    std::memset(boot, 0xEE, sizeof boot);
    boot[0x15] = 0xF0;
    boot[0x18] = 18;
    boot[0x19] = 0;
    EXPECT_EQ(MatchMediaType(boot), 4);
}

TEST(TrackAddressing, StartSectors) {
    EXPECT_EQ(StartSector(1, 0, 18), 18u);
    EXPECT_EQ(StartSector(0, 1, 18), 36u);
    EXPECT_EQ(StartSector(1, 79, 18), 2862u);
    EXPECT_EQ(StartSector(0, 0, 1), 0u);
    EXPECT_EQ(StartSector(1, 39, 9), 9u * 79);
}

TEST(TrackAddressing, BackendFollowsTheFlagsInOrder) {
    DriveContext d;
    EXPECT_EQ(SelectDriveBackend(d), DriveBackend::Vwin32Absolute);
    d.useExtendedAccess = 1;
    EXPECT_EQ(SelectDriveBackend(d), DriveBackend::Vwin32Extended);
    d.driverLoaded = 1;
    EXPECT_EQ(SelectDriveBackend(d), DriveBackend::OwnDriver);
    d.isNT = 1;
    EXPECT_EQ(SelectDriveBackend(d), DriveBackend::NtVolume);
}

// A parameter block is a diskette's word on its own layout: taken only when whole and within
// what the job's buffers hold, since a rescue keeps every sector it names.
TEST(DiskFormat, AParameterBlockIsTakenOnlyWhole) {
    auto bpb = [](int bytes, int heads, int sectors, int total, int descriptor = 0xF0) {
        std::vector<std::uint8_t> boot(512, 0);
        le::Put16(&boot[0x0B], static_cast<std::uint16_t>(bytes));
        boot[0x0D] = 1;
        boot[0x10] = 2;
        le::Put16(&boot[0x13], static_cast<std::uint16_t>(total));
        boot[0x15] = static_cast<std::uint8_t>(descriptor);
        le::Put16(&boot[0x18], static_cast<std::uint16_t>(sectors));
        le::Put16(&boot[0x1A], static_cast<std::uint16_t>(heads));
        return boot;
    };
    DiskFormat f;
    ASSERT_TRUE(FormatFromBootSector(bpb(512, 2, 21, 3360).data(), &f));
    EXPECT_EQ(DescribeFormat(f), "a DMF 1.68 MB diskette (F0, 21 sectors per track)");
    EXPECT_EQ(f.mediaRow, -1);
    // A table layout with another descriptor is no row of the table: only a raw image takes it.
    ASSERT_TRUE(FormatFromBootSector(bpb(512, 2, 18, 2880, 0xF8).data(), &f));
    EXPECT_EQ(f.mediaRow, -1);
    EXPECT_EQ(f.cylinders, 80);
    ASSERT_TRUE(FormatFromBootSector(bpb(512, 2, 36, 84 * 72).data(), &f));
    EXPECT_LE(f.sectors(), kMaxDiskSectors);
    EXPECT_FALSE(FormatFromBootSector(bpb(512, 2, 36, 85 * 72).data(), &f));
    EXPECT_FALSE(FormatFromBootSector(bpb(512, 2, 37, 80 * 74).data(), &f));
    // (F8: the table's own match by descriptor and sectors alone does not step in.)
    EXPECT_FALSE(FormatFromBootSector(bpb(512, 3, 18, 80 * 54, 0xF8).data(), &f));
    EXPECT_FALSE(FormatFromBootSector(bpb(1024, 2, 18, 2880, 0xF8).data(), &f));
    EXPECT_FALSE(FormatFromBootSector(bpb(512, 2, 18, 2881, 0xF8).data(), &f));
    EXPECT_FALSE(FormatFromBootSector(bpb(512, 2, 0, 2880, 0xF8).data(), &f));
    EXPECT_FALSE(FormatFromBootSector(bpb(512, 2, 18, 2880, 0xE5).data(), &f));
    EXPECT_FALSE(f.known());
}

TEST(DiskFormat, FatIdAndDriveSize) {
    std::uint8_t fat[3] = {0xFF, 0xFF, 0xFF};
    DiskFormat f;
    ASSERT_TRUE(FormatFromFatId(fat, 0, &f));
    EXPECT_EQ(GeometryText(f), "40\u00D72\u00D78");
    EXPECT_EQ(DescribeFormat(f), "a 320 KB double-sided DOS 1.x diskette (FAT ID FF)");
    fat[0] = 0xFC;
    ASSERT_TRUE(FormatFromFatId(fat, 80, &f));
    EXPECT_EQ(f.cylinders, 80);
    fat[2] = 0x00;
    EXPECT_FALSE(FormatFromFatId(fat, 0, &f));
    ASSERT_TRUE(FormatFromDrive(0, 0, 0, 1763328, &f));
    EXPECT_EQ(FormatName(f), "1.72 MB");
    EXPECT_EQ(DescribeFormat(f),
              "no FAT boot sector: imaged by the drive's geometry, 82\u00D72\u00D721");
    EXPECT_FALSE(FormatFromDrive(0, 0, 0, 1474560 + 512, &f));
    EXPECT_FALSE(FormatFromDrive(90, 2, 18, 0, &f));
}

}  // namespace
