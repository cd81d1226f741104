// Every request the Windows 95 back-ends make, as the service receives it: the register block,
// the disk I/O packet and the driver record, byte for byte.
#include <gtest/gtest.h>

#include <cstring>

#include "drive/win95_wire.h"
#include "platform/drive_map.h"
#include "tests/support/floppy_images.h"
#include "tests/support/temp_dir.h"
#include "tests/win95/win95_world.h"

using emulation::DriverCapture;
using emulation::Request;
using emulation::Vwin32Capture;
using emulation::Win95Release;

namespace {

class RequestBytes : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(HaveFatTools());
        ASSERT_TRUE(MakeFloppyImage(m_image, kFloppyFormats[4]));
        ASSERT_TRUE(MakeFloppyImage(m_imageB, kFloppyFormats[0]));
        m_devices = OpenWin95Devices();
        ASSERT_TRUE(m_devices.vwin32.valid());
        ASSERT_TRUE(m_devices.driver.valid());
    }

    Vwin32Capture LastVwin32() const {
        auto all = world.vwin32.Captured();
        EXPECT_FALSE(all.empty());
        return all.empty() ? Vwin32Capture{} : all.back();
    }
    DriverCapture LastDriver() const {
        auto all = world.driver.Captured();
        EXPECT_FALSE(all.empty());
        return all.empty() ? DriverCapture{} : all.back();
    }
    std::string ImageBytes(DWORD start, DWORD count) const {
        return ReadFileBytes(m_image).substr(start * 512, count * 512);
    }

    TempDir m_dir;
    std::string m_image = m_dir / "a.img";
    std::string m_imageB = m_dir / "b.img";
    platform::ScopedDriveMapping m_a{'A', m_image};
    platform::ScopedDriveMapping m_b{'B', m_imageB};
    Win95World world{Win95Release::Osr2, true};
    OpenDevices m_devices;
    BYTE m_buffer[9216] = {};
};

TEST_F(RequestBytes, LockThroughVwin32CategoryEight) {
    ASSERT_TRUE(LockVolume(m_devices.Context(FALSE, FALSE), 0, 1, 0, FALSE));
    Vwin32Capture c = LastVwin32();
    EXPECT_EQ(c.code, 1u);
    EXPECT_EQ(c.inSize, 28u);
    EXPECT_EQ(c.outSize, 28u);
    EXPECT_EQ(c.request, Request::Lock);
    // BH = level 1, BL = drive number 1; CX = 084Ah; DX = permissions; carry preset.
    EXPECT_EQ(CompareRegisters(c.received, {0x0101, 0, 0x084A, 0x440D, Any, Any, 1}), "");
    EXPECT_EQ(world.vwin32.Lock(1).holder, emulation::kThisProgram);
}

TEST_F(RequestBytes, LockWithExtendedUsesCategory48AndCarriesLevelAndPermissions) {
    ASSERT_TRUE(LockVolume(m_devices.Context(FALSE, TRUE), 1, 3, 0x0002, TRUE));
    Vwin32Capture c = LastVwin32();
    EXPECT_EQ(c.code, 1u);
    EXPECT_EQ(CompareRegisters(c.received, {0x0302, 0x0002, 0x484A, 0x440D, Any, Any, 1}), "");
    EXPECT_EQ(world.vwin32.Lock(2).level, 3);
    EXPECT_EQ(world.vwin32.Lock(2).permissions, 2u);
}

TEST_F(RequestBytes, UnlockBothCategories) {
    ASSERT_TRUE(LockVolume(m_devices.Context(FALSE, FALSE), 0, 1, 0, FALSE));
    ASSERT_TRUE(UnlockVolume(m_devices.Context(FALSE, FALSE), 0, FALSE));
    Vwin32Capture c = LastVwin32();
    EXPECT_EQ(c.code, 1u);
    EXPECT_EQ(c.request, Request::Unlock);
    // BH = 0 and BL = drive number.
    EXPECT_EQ(CompareRegisters(c.received, {0x0001, Any, 0x086A, 0x440D, Any, Any, 1}), "");

    ASSERT_TRUE(LockVolume(m_devices.Context(FALSE, TRUE), 1, 1, 0, TRUE));
    ASSERT_TRUE(UnlockVolume(m_devices.Context(FALSE, TRUE), 1, TRUE));
    c = LastVwin32();
    EXPECT_EQ(CompareRegisters(c.received, {0x0002, Any, 0x486A, 0x440D, Any, Any, 1}), "");
    EXPECT_EQ(world.vwin32.Lock(1).holder, 0u);
    EXPECT_EQ(world.vwin32.Lock(2).holder, 0u);
}

TEST_F(RequestBytes, ExtendedReadOfTheLastTrackSide) {
    ASSERT_TRUE(
        ReadSectors(m_devices.Context(FALSE, TRUE), 0, 1, 79, 18, m_buffer, sizeof m_buffer));
    Vwin32Capture c = LastVwin32();
    EXPECT_EQ(c.code, 6u);
    EXPECT_EQ(c.request, Request::ExtendedRead);
    ASSERT_TRUE(c.packetRead) << "EBX did not stand for a mapped packet";
    EXPECT_EQ(CompareRegisters(c.received, {Any, 1, 0xFFFF, 0x7305, Any, 0, 0}), "");
    EXPECT_EQ(c.buffer, m_buffer);
    EXPECT_EQ(c.packet, PacketBytes(2862, 18, FieldAt(c.packet.data(), 6)));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(m_buffer), 9216), ImageBytes(2862, 18));
    // Written back: carry clear.
    EXPECT_EQ(FieldAt(c.returned.data(), 24) & 1u, 0u);
}

TEST_F(RequestBytes, ExtendedWriteSetsSiBitZero) {
    std::memset(m_buffer, 0x5A, sizeof m_buffer);
    ASSERT_TRUE(
        WriteSectors(m_devices.Context(FALSE, TRUE), 0, 0, 1, 18, m_buffer, sizeof m_buffer));
    Vwin32Capture c = LastVwin32();
    EXPECT_EQ(c.code, 6u);
    EXPECT_EQ(c.request, Request::ExtendedWrite);
    EXPECT_EQ(CompareRegisters(c.received, {Any, 1, 0xFFFF, 0x7305, Any, 1, 0}), "");
    EXPECT_EQ(c.packet, PacketBytes(36, 18, FieldAt(c.packet.data(), 6)));
    EXPECT_EQ(c.buffer, m_buffer);
    EXPECT_EQ(ImageBytes(36, 18), std::string(9216, '\x5A'));
}

TEST_F(RequestBytes, ProbeIsAnExtendedReadOfSectorZeroIntoTheBootSector) {
    BYTE boot[512] = {};
    ASSERT_TRUE(ProbeExtendedAccess(m_devices.vwin32.get(), 0, boot));
    Vwin32Capture c = LastVwin32();
    EXPECT_EQ(c.code, 6u);
    EXPECT_EQ(CompareRegisters(c.received, {Any, 1, 0xFFFF, 0x7305, Any, 0, 0}), "");
    EXPECT_EQ(c.packet, PacketBytes(0, 1, FieldAt(c.packet.data(), 6)));
    EXPECT_EQ(c.buffer, boot);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(boot), 512), ImageBytes(0, 1));
}

TEST_F(RequestBytes, AbsoluteReadIsInt25WithTheDriveIndexInAl) {
    ASSERT_TRUE(
        ReadSectors(m_devices.Context(FALSE, FALSE), 0, 1, 0, 18, m_buffer, sizeof m_buffer));
    Vwin32Capture c = LastVwin32();
    EXPECT_EQ(c.code, 2u);
    EXPECT_EQ(c.request, Request::AbsoluteRead);
    EXPECT_EQ(CompareRegisters(c.received, {Any, Any, 0xFFFF, 0, Any, Any, 1}), "");
    EXPECT_EQ(c.packet, PacketBytes(18, 18, FieldAt(c.packet.data(), 6)));
    EXPECT_EQ(c.buffer, m_buffer);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(m_buffer), 9216), ImageBytes(18, 18));

    // Drive B: is index 1 in AL; its first track side of nine sectors.
    ASSERT_TRUE(
        ReadSectors(m_devices.Context(FALSE, FALSE), 1, 0, 0, 9, m_buffer, sizeof m_buffer));
    c = LastVwin32();
    EXPECT_EQ(CompareRegisters(c.received, {Any, Any, 0xFFFF, 1, Any, Any, 1}), "");
    EXPECT_EQ(c.packet, PacketBytes(0, 9, FieldAt(c.packet.data(), 6)));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(m_buffer), 4608),
              ReadFileBytes(m_imageB).substr(0, 4608));
}

TEST_F(RequestBytes, AbsoluteWriteIsInt26) {
    std::memset(m_buffer, 0xC3, sizeof m_buffer);
    ASSERT_TRUE(
        WriteSectors(m_devices.Context(FALSE, FALSE), 0, 0, 1, 18, m_buffer, sizeof m_buffer));
    Vwin32Capture c = LastVwin32();
    EXPECT_EQ(c.code, 3u);
    EXPECT_EQ(c.request, Request::AbsoluteWrite);
    EXPECT_EQ(CompareRegisters(c.received, {Any, Any, 0xFFFF, 0, Any, Any, 1}), "");
    EXPECT_EQ(c.packet, PacketBytes(36, 18, FieldAt(c.packet.data(), 6)));
    EXPECT_EQ(ImageBytes(36, 18), std::string(9216, '\xC3'));
}

TEST_F(RequestBytes, DriverReadRecordPutsTheCountBeforeTheStart) {
    ASSERT_TRUE(
        ReadSectors(m_devices.Context(TRUE, FALSE), 0, 1, 79, 18, m_buffer, sizeof m_buffer));
    DriverCapture c = LastDriver();
    EXPECT_EQ(c.code, 1u);
    EXPECT_EQ(c.inSize, 16u);
    EXPECT_EQ(c.outSize, 0u);
    EXPECT_FALSE(c.hadOutBuffer);
    EXPECT_EQ(c.buffer, m_buffer);
    EXPECT_EQ(c.record, RecordBytes(0, 18, 2862, FieldAt(c.record.data(), 12)));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(m_buffer), 9216), ImageBytes(2862, 18));
}

TEST_F(RequestBytes, DriverWriteRecord) {
    std::memset(m_buffer, 0x11, sizeof m_buffer);
    ASSERT_TRUE(
        WriteSectors(m_devices.Context(TRUE, FALSE), 0, 0, 1, 18, m_buffer, sizeof m_buffer));
    DriverCapture c = LastDriver();
    EXPECT_EQ(c.code, 2u);
    EXPECT_EQ(c.record, RecordBytes(0, 18, 36, FieldAt(c.record.data(), 12)));
    EXPECT_EQ(c.buffer, m_buffer);
    EXPECT_EQ(ImageBytes(36, 18), std::string(9216, '\x11'));
}

TEST_F(RequestBytes, DriverBootSectorReadOfDriveB) {
    BYTE boot[512];
    ASSERT_TRUE(ReadSectors(m_devices.Context(TRUE, FALSE), 1, 0, 0, 1, boot, sizeof boot));
    DriverCapture c = LastDriver();
    EXPECT_EQ(c.record, RecordBytes(1, 1, 0, FieldAt(c.record.data(), 12)));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(boot), 512),
              ReadFileBytes(m_imageB).substr(0, 512));
}

TEST_F(RequestBytes, ReleaseIsCodeThreeWithTheDriveIndexAndThreeZeros) {
    ASSERT_TRUE(ReleaseDriver(m_devices.driver.get(), 1));
    DriverCapture c = LastDriver();
    EXPECT_EQ(c.code, 3u);
    EXPECT_EQ(c.inSize, 16u);
    EXPECT_FALSE(c.hadOutBuffer);
    EXPECT_EQ(c.record, RecordBytes(1, 0, 0, 0));
    EXPECT_EQ(world.driver.Releases(1), 1);
}

TEST_F(RequestBytes, TransfersAreOneRequestPerTrackSide) {
    world.vwin32.ClearCaptured();
    ASSERT_TRUE(
        ReadSectors(m_devices.Context(FALSE, FALSE), 0, 0, 40, 18, m_buffer, sizeof m_buffer));
    ASSERT_TRUE(
        ReadSectors(m_devices.Context(FALSE, TRUE), 0, 0, 40, 18, m_buffer, sizeof m_buffer));
    EXPECT_EQ(world.vwin32.Captured().size(), 2u);
    world.driver.ClearCaptured();
    ASSERT_TRUE(
        ReadSectors(m_devices.Context(TRUE, FALSE), 0, 0, 40, 18, m_buffer, sizeof m_buffer));
    EXPECT_EQ(world.driver.Captured().size(), 1u);
}

TEST(StartSector, TrackSidesFollowCylinderThenHead) {
    EXPECT_EQ(StartSector(1, 0, 18), 18u);
    EXPECT_EQ(StartSector(0, 1, 18), 36u);
    EXPECT_EQ(StartSector(1, 79, 18), 2862u);
    EXPECT_EQ(StartSector(0, 0, 1), 0u);
}

TEST(WireLayout, RegisterBlockFieldsInOrder) {
    DIOC_REGISTERS r{0x11111111, 0x22222222, 0x33333333, 0x44444444, 0x55555555, 0x66666666, 0x77};
    BYTE block[28];
    StoreRegisters(r, block);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(FieldAt(block, 4 * i), 0x11111111u * static_cast<DWORD>(i + 1));
    EXPECT_EQ(FieldAt(block, 24), 0x77u);
    DIOC_REGISTERS back = LoadRegisters(block);
    EXPECT_EQ(back.reg_EAX, 0x44444444u);
    EXPECT_EQ(back.reg_Flags, 0x77u);
}

TEST(WireLayout, PacketIsTenBytesWithoutAGap) {
    BYTE p[kDiskIoPacketBytes];
    StorePacket({0x0B2E, 18, 0x00500010}, p);
    const BYTE expected[10] = {0x2E, 0x0B, 0, 0, 18, 0, 0x10, 0x00, 0x50, 0x00};
    EXPECT_EQ(std::memcmp(p, expected, 10), 0);
    DiskIoPacket back = LoadPacket(p);
    EXPECT_EQ(back.startSector, 0x0B2Eu);
    EXPECT_EQ(back.count, 18);
    EXPECT_EQ(back.buffer, 0x00500010u);
}

TEST(WireLayout, DriverRecordIsSixteenBytes) {
    BYTE r[kDriverRequestBytes];
    StoreDriverRequest({2, 18, 36, 0x00400000}, r);
    const BYTE expected[16] = {2, 0, 0, 0, 18, 0, 0, 0, 36, 0, 0, 0, 0, 0, 0x40, 0};
    EXPECT_EQ(std::memcmp(r, expected, 16), 0);
}

TEST(WireLayout, ControlCodes) {
    EXPECT_EQ(VWIN32_DIOC_DOS_IOCTL, 1u);
    EXPECT_EQ(VWIN32_DIOC_DOS_INT25, 2u);
    EXPECT_EQ(VWIN32_DIOC_DOS_INT26, 3u);
    EXPECT_EQ(VWIN32_DIOC_DOS_DRIVEINFO, 6u);
    EXPECT_EQ(kDriverRead, 1u);
    EXPECT_EQ(kDriverWrite, 2u);
    EXPECT_EQ(kDriverRelease, 3u);
}

}  // namespace
