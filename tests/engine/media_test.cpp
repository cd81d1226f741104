// Recognising the layout from the boot sector, and addressing track sides.
#include <gtest/gtest.h>

#include <cstring>

#include "drive/drive_access.h"
#include "drive/media_table.h"

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

}  // namespace
