// The VWIN32 stand-in as a service: what it accepts, what it refuses and how it says so.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "drive/win95_wire.h"
#include "platform/drive_map.h"
#include "platform/file_api.h"
#include "platform/flat_memory.h"
#include "platform/last_error.h"
#include "platform/syscalls.h"
#include "tests/support/floppy_images.h"
#include "tests/support/recording_window.h"
#include "tests/support/temp_dir.h"
#include "tests/win95/win95_world.h"

using emulation::Fault;
using emulation::Request;
using emulation::Win95Release;

namespace {

struct Answer {
    BOOL ok;
    DWORD error;
    DIOC_REGISTERS regs;
    DWORD returned;
    bool carry() const { return regs.reg_Flags & 1; }
    DWORD al() const { return regs.reg_EAX & 0xFF; }
};

Answer Ask(HANDLE vwin32, DWORD code, const DIOC_REGISTERS& in) {
    BYTE block[28];
    StoreRegisters(in, block);
    Answer a{};
    SetLastError(0);
    a.ok = DeviceIoControl(vwin32, code, block, 28, block, 28, &a.returned, nullptr);
    a.error = GetLastError();
    a.regs = LoadRegisters(block);
    return a;
}

DIOC_REGISTERS LockRegs(DWORD level, DWORD number, DWORD category, DWORD minor) {
    DIOC_REGISTERS r{};
    r.reg_EAX = 0x440D;
    r.reg_EBX = level * 256 + number;
    r.reg_ECX = category * 256 + minor;
    r.reg_Flags = 1;
    return r;
}

class Vwin32Service : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(HaveFatTools());
        ASSERT_TRUE(MakeFloppyImage(m_image, kFloppyFormats[0]));  // 720 sectors
        m_vwin32.reset(world.vwin32.Open(emulation::kThisProgram));
        ASSERT_TRUE(m_vwin32.valid());
    }

    // An Int 25h/26h or 7305h request for count sectors at start into m_buffer.
    Answer Transfer(DWORD code, DWORD driveField, DWORD start, WORD count, DWORD si = 0) {
        platform::FlatMapping buffer(m_buffer, sizeof m_buffer);
        BYTE packet[10];
        StorePacket({start, count, buffer.address()}, packet);
        platform::FlatMapping flatPacket(packet, sizeof packet);
        DIOC_REGISTERS r{};
        r.reg_EBX = flatPacket.address();
        r.reg_ECX = 0xFFFF;
        if (code == VWIN32_DIOC_DOS_DRIVEINFO) {
            r.reg_EAX = 0x7305;
            r.reg_EDX = driveField;
            r.reg_ESI = si;
        } else {
            r.reg_EAX = driveField;
            r.reg_Flags = 1;
        }
        return Ask(m_vwin32.get(), code, r);
    }

    TempDir m_dir;
    std::string m_image = m_dir / "a.img";
    platform::ScopedDriveMapping m_a{'A', m_image};
    Win95World world{Win95Release::Osr2, false};
    UniqueHandle m_vwin32;
    BYTE m_buffer[9216] = {};
};

TEST_F(Vwin32Service, OpensOnlyWhileRegisteredAndCountsItsHandles) {
    EXPECT_EQ(world.vwin32.OpenHandles(), 1);
    {
        UniqueHandle second(CreateFileA("\\\\.\\VWIN32", GENERIC_READ | GENERIC_WRITE, 3, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
        EXPECT_TRUE(second.valid()) << "device names are not case-sensitive";
        EXPECT_EQ(world.vwin32.OpenHandles(), 2);
    }
    EXPECT_EQ(world.vwin32.OpenHandles(), 1);
    world.vwin32.FailOpen(EACCES);
    EXPECT_FALSE(
        UniqueHandle(CreateFileA("\\\\.\\vwin32", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr))
            .valid());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EACCES));
}

TEST_F(Vwin32Service, WritesTheRegistersBackAndReportsTheBlockSize) {
    Answer a = Transfer(VWIN32_DIOC_DOS_INT25, 0, 9, 9);
    ASSERT_TRUE(a.ok);
    EXPECT_FALSE(a.carry()) << "the carry preset by the caller is cleared on success";
    EXPECT_EQ(a.returned, 28u);
    EXPECT_EQ(a.regs.reg_EAX, 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(m_buffer), 4608),
              ReadFileBytes(m_image).substr(9 * 512, 4608));
}

TEST_F(Vwin32Service, BeforeOsr2CodeSixFailsAsACall) {
    world.vwin32.SetRelease(Win95Release::Original);
    Answer a = Transfer(VWIN32_DIOC_DOS_DRIVEINFO, 1, 0, 1);
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(a.error, static_cast<DWORD>(ENOTTY));
    // Int 25h is still there.
    EXPECT_TRUE(Transfer(VWIN32_DIOC_DOS_INT25, 0, 0, 1).ok);
}

TEST_F(Vwin32Service, BeforeOsr2TheFat32LockCategoryIsAnInvalidFunction) {
    world.vwin32.SetRelease(Win95Release::Original);
    Answer a = Ask(m_vwin32.get(), 1, LockRegs(1, 1, 0x48, 0x4A));
    ASSERT_TRUE(a.ok);
    EXPECT_TRUE(a.carry());
    EXPECT_EQ(a.al(), emulation::kDosInvalidFunction);
    a = Ask(m_vwin32.get(), 1, LockRegs(1, 1, 0x08, 0x4A));
    EXPECT_FALSE(a.carry());
}

TEST_F(Vwin32Service, UnknownCodesAndShortBlocksFailTheCall) {
    BYTE block[28] = {};
    DWORD returned;
    EXPECT_FALSE(DeviceIoControl(m_vwin32.get(), 4, block, 28, block, 28, &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOTTY));
    EXPECT_FALSE(DeviceIoControl(m_vwin32.get(), 2, block, 27, block, 28, &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL));
    EXPECT_FALSE(DeviceIoControl(m_vwin32.get(), 1, block, 28, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL));
}

TEST_F(Vwin32Service, AnUnmappedPacketOrBufferAddressFailsTheCall) {
    DIOC_REGISTERS r{};
    r.reg_EAX = 0;
    r.reg_EBX = 0x00001234;  // never mapped
    r.reg_ECX = 0xFFFF;
    Answer a = Ask(m_vwin32.get(), 2, r);
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(a.error, static_cast<DWORD>(EFAULT));

    BYTE packet[10];
    StorePacket({0, 1, 0x00001234}, packet);
    platform::FlatMapping flatPacket(packet, sizeof packet);
    r.reg_EBX = flatPacket.address();
    a = Ask(m_vwin32.get(), 2, r);
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(a.error, static_cast<DWORD>(EFAULT));

    // A buffer mapped shorter than the transfer is no buffer for it.
    BYTE small[512];
    platform::FlatMapping flatSmall(small, sizeof small);
    StorePacket({0, 2, flatSmall.address()}, packet);
    a = Ask(m_vwin32.get(), 2, r);
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(a.error, static_cast<DWORD>(EFAULT));
}

TEST_F(Vwin32Service, DriveAddressing) {
    // Int 25h: AL = drive index; 7305h: DL = drive number, 0 (default drive) not served.
    EXPECT_FALSE(Transfer(VWIN32_DIOC_DOS_INT25, 0, 0, 1).carry());
    EXPECT_FALSE(Transfer(VWIN32_DIOC_DOS_DRIVEINFO, 1, 0, 1).carry());
    Answer a = Transfer(VWIN32_DIOC_DOS_DRIVEINFO, 0, 0, 1);
    EXPECT_TRUE(a.carry());
    EXPECT_EQ(a.al(), 1u);
    a = Transfer(VWIN32_DIOC_DOS_INT25, 20, 0, 1);  // U: has no drive behind it
    EXPECT_TRUE(a.carry());
    EXPECT_EQ(a.al(), 1u);
    a = Transfer(VWIN32_DIOC_DOS_INT25, 26, 0, 1);
    EXPECT_TRUE(a.carry());
    EXPECT_EQ(a.al(), 1u);
}

TEST_F(Vwin32Service, AMappedDriveWhoseMediumIsMissingIsNotReady) {
    platform::ScopedDriveMapping b('B', m_dir / "missing.img");
    Answer a = Transfer(VWIN32_DIOC_DOS_INT25, 1, 0, 1);
    ASSERT_TRUE(a.ok);
    EXPECT_TRUE(a.carry());
    EXPECT_EQ(a.al(), 2u);
}

TEST_F(Vwin32Service, ATransferPastTheEndIsSectorNotFound) {
    Answer a = Transfer(VWIN32_DIOC_DOS_INT25, 0, 711, 18);  // 720 sectors in all
    EXPECT_TRUE(a.carry());
    EXPECT_EQ(a.al(), 8u);
    EXPECT_FALSE(Transfer(VWIN32_DIOC_DOS_INT25, 0, 711, 9).carry());
}

TEST_F(Vwin32Service, SystemFailuresOfTheDriveBecomeCriticalErrorCodes) {
    struct Case {
        platform::SysCall call;
        int errnoValue;
        DWORD code;
        DWORD al;
    } cases[] = {
        {platform::SysCall::Read, EIO, VWIN32_DIOC_DOS_INT25, 0x0B},
        {platform::SysCall::Write, EIO, VWIN32_DIOC_DOS_INT26, 0x0A},
        {platform::SysCall::Write, EROFS, VWIN32_DIOC_DOS_INT26, 0x00},
        {platform::SysCall::Seek, EIO, VWIN32_DIOC_DOS_INT25, 0x06},
        {platform::SysCall::Read, EINVAL, VWIN32_DIOC_DOS_INT25, 0x0C},
        {platform::SysCall::Open, ENOMEDIUM, VWIN32_DIOC_DOS_INT25, 0x02},
    };
    for (const Case& c : cases) {
        // A fresh handle, so that the drive is opened again under the fault.
        UniqueHandle vwin32(world.vwin32.Open(emulation::kThisProgram));
        std::string image = m_image;
        platform::ScopedFaultHook hook([&](platform::SysCall call, const char* path) {
            return call == c.call && image == path ? c.errnoValue : 0;
        });
        std::swap(m_vwin32, vwin32);
        Answer a = Transfer(c.code, 0, 0, 9);
        std::swap(m_vwin32, vwin32);
        ASSERT_TRUE(a.ok);
        EXPECT_TRUE(a.carry()) << platform::SysCallName(c.call);
        EXPECT_EQ(a.al(), c.al) << platform::SysCallName(c.call) << " " << c.errnoValue;
    }
}

TEST_F(Vwin32Service, Int25WithoutThePacketFormIsAnUnknownCommand) {
    DIOC_REGISTERS r{};
    r.reg_ECX = 1;  // the old form: CX sectors, DX first sector, BX the buffer
    r.reg_Flags = 1;
    Answer a = Ask(m_vwin32.get(), 2, r);
    ASSERT_TRUE(a.ok);
    EXPECT_TRUE(a.carry());
    EXPECT_EQ(a.al(), 3u);
}

TEST_F(Vwin32Service, OtherDosCallsAreInvalidFunctions) {
    DIOC_REGISTERS r{};
    r.reg_EAX = 0x7302;  // get DPB: not served
    Answer a = Ask(m_vwin32.get(), 6, r);
    EXPECT_TRUE(a.carry());
    EXPECT_EQ(a.al(), emulation::kDosInvalidFunction);
    a = Ask(m_vwin32.get(), 1, LockRegs(0, 1, 0x08, 0x66));  // 440Dh minor 66h: not served
    EXPECT_TRUE(a.carry());
    EXPECT_EQ(a.al(), emulation::kDosInvalidFunction);
}

TEST_F(Vwin32Service, LocksBelongToAProgram) {
    UniqueHandle other(world.vwin32.Open(9));
    ASSERT_TRUE(Ask(m_vwin32.get(), 1, LockRegs(1, 1, 0x08, 0x4A)).ok);
    EXPECT_EQ(world.vwin32.Lock(1).holder, emulation::kThisProgram);

    Answer refused = Ask(other.get(), 1, LockRegs(1, 1, 0x08, 0x4A));
    ASSERT_TRUE(refused.ok);
    EXPECT_TRUE(refused.carry());
    EXPECT_EQ(refused.al(), emulation::kDosAccessDenied);
    // Another program cannot unlock it either, but may lock another drive.
    EXPECT_TRUE(Ask(other.get(), 1, LockRegs(0, 1, 0x08, 0x6A)).carry());
    EXPECT_FALSE(Ask(other.get(), 1, LockRegs(1, 2, 0x08, 0x4A)).carry());

    // The holder may take its lock again; each unlock gives one back.
    EXPECT_FALSE(Ask(m_vwin32.get(), 1, LockRegs(1, 1, 0x08, 0x4A)).carry());
    EXPECT_EQ(world.vwin32.Lock(1).count, 2);
    EXPECT_FALSE(Ask(m_vwin32.get(), 1, LockRegs(0, 1, 0x08, 0x6A)).carry());
    EXPECT_EQ(world.vwin32.Lock(1).holder, emulation::kThisProgram);
    EXPECT_FALSE(Ask(m_vwin32.get(), 1, LockRegs(0, 1, 0x08, 0x6A)).carry());
    EXPECT_EQ(world.vwin32.Lock(1).holder, 0u);
    EXPECT_FALSE(Ask(other.get(), 1, LockRegs(1, 1, 0x08, 0x4A)).carry());
}

TEST_F(Vwin32Service, ALockOutlivesTheHandleThatTookIt) {
    {
        UniqueHandle h(world.vwin32.Open(emulation::kThisProgram));
        ASSERT_FALSE(Ask(h.get(), 1, LockRegs(1, 1, 0x08, 0x4A)).carry());
    }
    EXPECT_EQ(world.vwin32.Lock(1).holder, emulation::kThisProgram);
    world.vwin32.EndProgram(emulation::kThisProgram);
    EXPECT_EQ(world.vwin32.Lock(1).holder, 0u);
}

TEST_F(Vwin32Service, LockArgumentsOutOfRange) {
    Answer a = Ask(m_vwin32.get(), 1, LockRegs(4, 1, 0x08, 0x4A));
    EXPECT_TRUE(a.carry());
    EXPECT_EQ(a.al(), emulation::kDosInvalidParameter);
    a = Ask(m_vwin32.get(), 1, LockRegs(1, 0, 0x08, 0x4A));
    EXPECT_TRUE(a.carry());
    EXPECT_EQ(a.al(), emulation::kDosInvalidDrive);
    a = Ask(m_vwin32.get(), 1, LockRegs(1, 1, 0x09, 0x4A));
    EXPECT_TRUE(a.carry());
    EXPECT_EQ(a.al(), emulation::kDosInvalidFunction);
}

TEST_F(Vwin32Service, FaultsFireOnTheChosenRequestOnly) {
    int id = world.vwin32.faults().Add(
        Fault::Carry(Request::AbsoluteRead, 0x04).Sectors(18, 9).Occurrence(2));
    EXPECT_FALSE(Transfer(VWIN32_DIOC_DOS_INT25, 0, 18, 9).carry());  // first: let through
    EXPECT_FALSE(Transfer(VWIN32_DIOC_DOS_INT25, 0, 0, 9).carry());   // other sectors
    Answer a = Transfer(VWIN32_DIOC_DOS_INT25, 0, 18, 9);
    EXPECT_TRUE(a.carry());
    EXPECT_EQ(a.al(), 4u);
    EXPECT_FALSE(Transfer(VWIN32_DIOC_DOS_INT25, 0, 18, 9).carry());
    EXPECT_EQ(world.vwin32.faults().Hits(id), 1);
    EXPECT_FALSE(Transfer(VWIN32_DIOC_DOS_DRIVEINFO, 1, 18, 9).carry()) << "another request";
}

TEST_F(Vwin32Service, AnInjectedCarryMovesNoData) {
    std::memset(m_buffer, 0xEE, sizeof m_buffer);
    world.vwin32.faults().Add(Fault::Carry(Request::ExtendedWrite, 0x0A));
    std::string before = ReadFileBytes(m_image);
    EXPECT_TRUE(Transfer(VWIN32_DIOC_DOS_DRIVEINFO, 1, 0, 9, 1).carry());
    EXPECT_EQ(ReadFileBytes(m_image), before);
}

TEST_F(Vwin32Service, SiBitZeroAloneChoosesWriting) {
    std::memset(m_buffer, 0x3C, sizeof m_buffer);
    // Bits 13 to 15 of SI only say what kind of data is written.
    EXPECT_FALSE(Transfer(VWIN32_DIOC_DOS_DRIVEINFO, 1, 9, 9, 0x6001).carry());
    EXPECT_EQ(ReadFileBytes(m_image).substr(9 * 512, 4608), std::string(4608, '\x3C'));
    std::memset(m_buffer, 0, sizeof m_buffer);
    EXPECT_FALSE(Transfer(VWIN32_DIOC_DOS_DRIVEINFO, 1, 9, 9, 0x6000).carry());
    EXPECT_EQ(m_buffer[0], 0x3C);
}

}  // namespace
