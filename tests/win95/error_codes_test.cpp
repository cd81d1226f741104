// The codes the Windows 95 back-ends leave in the last-error value, and the text and table
// ReportDiskError picks for them.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "drive/disk_errors.h"
#include "platform/drive_map.h"
#include "platform/last_error.h"
#include "tests/support/floppy_images.h"
#include "tests/support/recording_window.h"
#include "tests/support/temp_dir.h"
#include "tests/win95/win95_world.h"

using emulation::Fault;
using emulation::Request;
using emulation::Win95Release;

namespace {

class Win95Codes : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(HaveFatTools());
        ASSERT_TRUE(MakeFloppyImage(m_image, kFloppyFormats[3]));
        m_devices = OpenWin95Devices();
        ASSERT_TRUE(m_devices.vwin32.valid());
        ASSERT_TRUE(m_devices.driver.valid());
    }
    BOOL ReadTrackSide(BOOL driverLoaded, BOOL extended) {
        return ReadSectors(m_devices.Context(driverLoaded, extended), 0, 0, 3, 18, m_buffer,
                           sizeof m_buffer);
    }

    TempDir m_dir;
    std::string m_image = m_dir / "a.img";
    platform::ScopedDriveMapping m_a{'A', m_image};
    Win95World world{Win95Release::Osr2, true};
    OpenDevices m_devices;
    BYTE m_buffer[9216] = {};
};

TEST_F(Win95Codes, AbsoluteReadWithCarryAndAlTwoLeavesDriveNotReady) {
    world.vwin32.faults().Add(Fault::Carry(Request::AbsoluteRead, 2));
    EXPECT_FALSE(ReadTrackSide(FALSE, FALSE));
    EXPECT_EQ(GetLastError(), 0x20000002u);
    EXPECT_EQ(DiskErrorText(GetLastError(), FALSE), "Drive not ready.");
}

TEST_F(Win95Codes, OnlyAlCountsOfTheReturnedAx) {
    world.vwin32.faults().Add(Fault::Carry(Request::ExtendedRead, 0x8008));
    EXPECT_FALSE(ReadTrackSide(FALSE, TRUE));
    EXPECT_EQ(GetLastError(), 0x20000008u);
    EXPECT_EQ(DiskErrorText(GetLastError(), FALSE), "Sector not found.");
}

TEST_F(Win95Codes, WritesReportTheirCarryToo) {
    world.vwin32.faults().Add(Fault::Carry(Request::AbsoluteWrite, 0));
    world.vwin32.faults().Add(Fault::Carry(Request::ExtendedWrite, 0x0A));
    EXPECT_FALSE(WriteSectors(m_devices.Context(FALSE, FALSE), 0, 0, 0, 18, m_buffer, 9216));
    EXPECT_EQ(GetLastError(), 0x20000000u);
    EXPECT_EQ(DiskErrorText(GetLastError(), FALSE), "Write-protect error");
    EXPECT_FALSE(WriteSectors(m_devices.Context(FALSE, TRUE), 0, 0, 0, 18, m_buffer, 9216));
    EXPECT_EQ(GetLastError(), 0x2000000Au);
}

TEST_F(Win95Codes, ARequestRefusedByTheCallLeavesTheSystemCodeWithoutTheFlag) {
    world.vwin32.faults().Add(Fault::FailCall(Request::AbsoluteRead, EIO));
    world.vwin32.faults().Add(Fault::FailCall(Request::ExtendedRead, EACCES));
    EXPECT_FALSE(ReadTrackSide(FALSE, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EIO));
    EXPECT_FALSE(ReadTrackSide(FALSE, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EACCES));
    EXPECT_EQ(DiskErrorText(EACCES, FALSE), std::strerror(EACCES));
}

TEST_F(Win95Codes, ALockWithCarryLeavesTheLockedCodeWhateverAlHolds) {
    for (DWORD ax : {0x00u, 0x02u, 0x21u, 0xFFFFu}) {
        int id = world.vwin32.faults().Add(Fault::Carry(Request::Lock, ax));
        SetLastError(0);
        EXPECT_FALSE(LockVolume(m_devices.Context(FALSE, FALSE), 0, 1, 0, FALSE));
        EXPECT_EQ(GetLastError(), 0x2000000Du) << "AX " << ax;
        EXPECT_EQ(world.vwin32.faults().Hits(id), 1);
        world.vwin32.faults().Clear();
    }
    EXPECT_EQ(world.vwin32.Lock(1).holder, 0u);
    EXPECT_EQ(DiskErrorText(0x2000000D, FALSE), "The drive is locked.");
}

TEST_F(Win95Codes, ALockHeldByAnotherProgramIsRefused) {
    world.vwin32.SeizeVolume(1, 7);
    EXPECT_FALSE(LockVolume(m_devices.Context(FALSE, TRUE), 0, 1, 0, TRUE));
    EXPECT_EQ(GetLastError(), 0x2000000Du);
    EXPECT_EQ(world.vwin32.Lock(1).holder, 7u);
    world.vwin32.EndProgram(7);
    EXPECT_TRUE(LockVolume(m_devices.Context(FALSE, TRUE), 0, 1, 0, TRUE));
}

TEST_F(Win95Codes, AnUnlockWithCarryLeavesTheLockedCode) {
    EXPECT_FALSE(UnlockVolume(m_devices.Context(FALSE, FALSE), 0, FALSE));  // never locked
    EXPECT_EQ(GetLastError(), 0x2000000Du);
}

TEST_F(Win95Codes, ALockRefusedByTheCallLeavesTheSystemCode) {
    world.vwin32.faults().Add(Fault::FailCall(Request::Lock, EBUSY));
    EXPECT_FALSE(LockVolume(m_devices.Context(FALSE, FALSE), 0, 1, 0, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EBUSY));
}

TEST_F(Win95Codes, AProbeWhoseReadReturnsWithTheCarryStillCounts) {
    int id = world.vwin32.faults().Add(Fault::Carry(Request::ExtendedRead, 2));
    BYTE boot[512];
    SetLastError(4321);
    EXPECT_TRUE(ProbeExtendedAccess(m_devices.vwin32.get(), 0, boot));
    EXPECT_EQ(world.vwin32.faults().Hits(id), 1);
    EXPECT_EQ(GetLastError(), 4321u) << "the probe sets no code of its own";
}

TEST_F(Win95Codes, AProbeOfADriveWithoutUnitStillCounts) {
    BYTE boot[512];
    EXPECT_TRUE(ProbeExtendedAccess(m_devices.vwin32.get(), 20, boot));  // U: is not mapped
    auto last = world.vwin32.Captured().back();
    EXPECT_EQ(FieldAt(last.returned.data(), 24) & 1u, 1u);
    EXPECT_EQ(FieldAt(last.returned.data(), 12) & 0xFFu, 1u);  // unknown unit
}

TEST_F(Win95Codes, AProbeBeforeOsr2FailsWithTheSystemCode) {
    world.vwin32.SetRelease(Win95Release::Original);
    BYTE boot[512];
    EXPECT_FALSE(ProbeExtendedAccess(m_devices.vwin32.get(), 0, boot));
    EXPECT_EQ(GetLastError() & DISK_ERROR_FLAG, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOTTY));
}

TEST_F(Win95Codes, ADriverReadFailingWithFiveLeavesTheFlaggedFive) {
    world.driver.faults().Add(Fault::FailCall(Request::DriverRead, 5));
    EXPECT_FALSE(ReadTrackSide(TRUE, FALSE));
    EXPECT_EQ(GetLastError(), 0x20000005u);
    EXPECT_EQ(DiskErrorText(GetLastError(), TRUE), "");
}

TEST_F(Win95Codes, DriverWriteAndReleaseFailuresAreFlaggedToo) {
    world.driver.faults().Add(Fault::FailCall(Request::DriverWrite, 31));
    world.driver.faults().Add(Fault::FailCall(Request::DriverRelease, 12));
    EXPECT_FALSE(WriteSectors(m_devices.Context(TRUE, FALSE), 0, 0, 0, 18, m_buffer, 9216));
    EXPECT_EQ(GetLastError(), 0x2000001Fu);
    EXPECT_EQ(DiskErrorText(GetLastError(), TRUE), "Write protect error");
    EXPECT_FALSE(ReleaseDriver(m_devices.driver.get(), 0));
    EXPECT_EQ(GetLastError(), 0x2000000Cu);
}

TEST_F(Win95Codes, BothFlagsSendTransfersToTheDriverAndTheLockToVwin32) {
    DriveContext both = m_devices.Context(TRUE, TRUE);
    EXPECT_EQ(SelectDriveBackend(both), DriveBackend::OwnDriver);
    world.vwin32.ClearCaptured();
    ASSERT_TRUE(LockVolume(both, 0, 1, 0, TRUE));
    ASSERT_TRUE(ReadSectors(both, 0, 0, 0, 18, m_buffer, 9216));
    ASSERT_TRUE(WriteSectors(both, 0, 0, 0, 18, m_buffer, 9216));
    ASSERT_TRUE(UnlockVolume(both, 0, TRUE));
    auto v = world.vwin32.Captured();
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(CompareRegisters(v[0].received, {0x0101, 0, 0x484A, 0x440D, Any, Any, 1}), "");
    EXPECT_EQ(CompareRegisters(v[1].received, {0x0001, Any, 0x486A, 0x440D, Any, Any, 1}), "");
    auto d = world.driver.Captured();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].code, 1u);
    EXPECT_EQ(d[1].code, 2u);
}

TEST_F(Win95Codes, BackendPrecedence) {
    DriveContext c;
    c.isNT = TRUE;
    c.driverLoaded = TRUE;
    c.useExtendedAccess = TRUE;
    EXPECT_EQ(SelectDriveBackend(c), DriveBackend::NtVolume);
    c.isNT = FALSE;
    EXPECT_EQ(SelectDriveBackend(c), DriveBackend::OwnDriver);
    c.driverLoaded = FALSE;
    EXPECT_EQ(SelectDriveBackend(c), DriveBackend::Vwin32Extended);
    c.useExtendedAccess = FALSE;
    EXPECT_EQ(SelectDriveBackend(c), DriveBackend::Vwin32Absolute);
}

// The texts as the user sees them: which table, which entry.
struct TextCase {
    DWORD code;
    BOOL driverLoaded;
    const char* text;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(c.code));
    *os << code << (c.driverLoaded ? " with the own driver" : " without the own driver");
}

// Code and table: Code2000000D_Driver.
std::string TextCaseName(const ::testing::TestParamInfo<TextCase>& info) {
    char code[16];
    std::snprintf(code, sizeof code, "Code%08X", static_cast<unsigned>(info.param.code));
    return std::string(code) + (info.param.driverLoaded ? "_Driver" : "_NoDriver");
}

class DiskErrorTexts : public ::testing::TestWithParam<TextCase> {};

TEST_P(DiskErrorTexts, ShownInABoxWithTheCallersCaption) {
    RecordingWindow window;
    SetLastError(GetParam().code);
    ReportDiskError(&window, "Read Error", GetParam().driverLoaded);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text, GetParam().text);
    EXPECT_EQ(window.boxes[0].caption, "Read Error");
    EXPECT_EQ(window.boxes[0].type, MB_OK | MB_ICONERROR);
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, DiskErrorTexts,
    ::testing::Values(TextCase{0x2000000D, FALSE, "The drive is locked."},
                      TextCase{0x2000000D, TRUE, "Error allocating buffer space for I/O"},
                      TextCase{0x20000000, FALSE, "Write-protect error"},
                      TextCase{0x20000000, TRUE, ""},
                      TextCase{0x20000002, FALSE, "Drive not ready."},
                      TextCase{0x20000050, FALSE, "General failure."},
                      TextCase{0x20000050, TRUE, "General failure"},
                      TextCase{0x2000010D, FALSE, "The drive is locked."},
                      TextCase{0x2000010D, TRUE, "General failure"},
                      TextCase{0x2000002C, TRUE, "Attempt to split big I/O barfed"},
                      TextCase{0x2000002D, TRUE, "General failure"}, TextCase{0x20000005, TRUE, ""},
                      TextCase{0x2000000C, FALSE, "General failure."},
                      TextCase{0x2000000E, FALSE, "General failure."},
                      TextCase{0x20000001, TRUE, "Successful, but retries required"},
                      TextCase{0x20000020, TRUE, "Device not ready"}),
    TextCaseName);

TEST(DiskErrorTextTables, EveryEntry) {
    const char* dos[14] = {
        "Write-protect error",   "Unknown unit",          "Drive not ready.",
        "Unknown command.",      "Data error (Bad CRC).", "Bad request structure length.",
        "Seek error.",           "Unknown media type.",   "Sector not found.",
        "Printer out of paper.", "Write fault.",          "Read fault.",
        "General failure.",      "The drive is locked."};
    for (DWORD i = 0; i < 14; ++i) EXPECT_EQ(DiskErrorText(DISK_ERROR_FLAG + i, FALSE), dos[i]);
    const char* driver[45] = {"",
                              "Successful, but retries required",
                              "Successful, but retries required with ECC",
                              "",
                              "",
                              "",
                              "",
                              "",
                              "",
                              "",
                              "",
                              "",
                              "General failure",
                              "Error allocating buffer space for I/O",
                              "",
                              "",
                              "Requests on an invalid sector",
                              "Command was canceled",
                              "Command is in progress, and can't be canceled",
                              "Cancel of an invalid command",
                              "media failure",
                              "Error on recalib. drive, etc.",
                              "Command not supported or invalid",
                              "Physical or logical device nonexistant",
                              "Media removed from device",
                              "Media may have changed",
                              "Un-recoverable error",
                              "General hardware failure",
                              "Unformatted media",
                              "Error allocating DMA buffer space for I/O",
                              "Device timed out",
                              "Write protect error",
                              "Device not ready",
                              "Device is busy",
                              "Volume received unlock without lk",
                              "Eject received with drive locked",
                              "Removable request to non-removable drive",
                              "Volume is in use - used for eject",
                              "Volume lock count exceeded",
                              "Eject command was not accepted",
                              "Cdrom read on audio or attempt play on data",
                              "Illegal access to locked device",
                              "Wrong media in drive",
                              "No space on media",
                              "Attempt to split big I/O barfed"};
    for (DWORD i = 0; i < 45; ++i) EXPECT_EQ(DiskErrorText(DISK_ERROR_FLAG + i, TRUE), driver[i]);
}

TEST(DiskErrorTextTables, ACodeWithoutTheFlagShowsTheSystemsText) {
    RecordingWindow window;
    SetLastError(ENOENT);
    ReportDiskError(&window, "File Open Error", TRUE);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text, std::strerror(ENOENT));
    EXPECT_EQ(window.boxes[0].caption, "File Open Error");
}

}  // namespace
