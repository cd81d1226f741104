// The own-driver stand-in as a service: the record it takes and the statuses it fails with.
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

class OwnDriver : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(HaveFatTools());
        ASSERT_TRUE(MakeFloppyImage(m_image, kFloppyFormats[2]));  // 1440 sectors
        m_driver.reset(CreateFileA("\\\\.\\vtavrel.vxd", GENERIC_READ | GENERIC_WRITE, 3, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(m_driver.valid());
    }

    // Returns 0 on success, else the status the call failed with.
    DWORD Send(DWORD code, DWORD drive, DWORD count, DWORD start) {
        platform::FlatMapping flat(m_buffer, sizeof m_buffer);
        BYTE record[16];
        StoreDriverRequest({drive, count, start, code == 3 ? 0 : flat.address()}, record);
        SetLastError(0);
        DWORD returned = 99;
        if (DeviceIoControl(m_driver.get(), code, record, 16, nullptr, 0, &returned, nullptr))
            return 0;
        return GetLastError();
    }

    TempDir m_dir;
    std::string m_image = m_dir / "a.img";
    platform::ScopedDriveMapping m_a{'A', m_image};
    Win95World world{Win95Release::Original, true};
    UniqueHandle m_driver;
    BYTE m_buffer[9216] = {};
};

TEST_F(OwnDriver, ReadsAndWritesWholeSectors) {
    EXPECT_EQ(Send(1, 0, 9, 27), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(m_buffer), 4608),
              ReadFileBytes(m_image).substr(27 * 512, 4608));
    std::memset(m_buffer, 0x77, sizeof m_buffer);
    EXPECT_EQ(Send(2, 0, 9, 27), 0u);
    EXPECT_EQ(ReadFileBytes(m_image).substr(27 * 512, 4608), std::string(4608, '\x77'));
}

TEST_F(OwnDriver, ReleaseLetsGoOfTheDrive) {
    int before = OpenDescriptorCount();
    EXPECT_EQ(Send(1, 0, 1, 0), 0u);
    EXPECT_EQ(OpenDescriptorCount(), before + 1);
    EXPECT_EQ(Send(3, 0, 0, 0), 0u);
    EXPECT_EQ(OpenDescriptorCount(), before);
    EXPECT_EQ(world.driver.Releases(0), 1);
    EXPECT_EQ(Send(1, 0, 1, 0), 0u) << "a later transfer opens it again";
}

TEST_F(OwnDriver, MalformedRequestsAreRefusedWithStatus22) {
    BYTE record[16] = {};
    DWORD returned;
    EXPECT_FALSE(DeviceIoControl(m_driver.get(), 1, record, 12, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(GetLastError(), emulation::kDriverBadRequest);
    EXPECT_EQ(Send(4, 0, 1, 0), emulation::kDriverBadRequest);
    // Buffer address 0 was never mapped.
    StoreDriverRequest({0, 1, 0, 0}, record);
    EXPECT_FALSE(DeviceIoControl(m_driver.get(), 1, record, 16, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(GetLastError(), emulation::kDriverBadRequest);
    EXPECT_EQ(Send(1, 0, 0x10000, 0), emulation::kDriverBadRequest);
    EXPECT_EQ(Send(1, 0, 19, 0), emulation::kDriverBadRequest) << "more than the mapped buffer";
}

TEST_F(OwnDriver, MediaFailuresBecomeStatuses) {
    EXPECT_EQ(Send(1, 0, 18, 1431), 16u) << "past the end";
    EXPECT_EQ(Send(1, 5, 1, 0), 23u) << "F: has no drive";
    {
        platform::ScopedDriveMapping b('B', m_dir / "missing.img");
        EXPECT_EQ(Send(1, 1, 1, 0), 32u);
    }
    std::string image = m_image;
    platform::ScopedFaultHook hook([&](platform::SysCall call, const char* path) {
        if (image != path) return 0;
        if (call == platform::SysCall::Write) return EROFS;
        if (call == platform::SysCall::Read) return EIO;
        return 0;
    });
    EXPECT_EQ(Send(2, 0, 9, 0), 31u);
    EXPECT_EQ(Send(1, 0, 9, 0), 26u);
}

TEST_F(OwnDriver, InjectedStatuses) {
    int id = world.driver.faults().Add(
        Fault::FailCall(Request::DriverRead, 5).Sectors(0, 1).Occurrence(2));
    EXPECT_EQ(Send(1, 0, 1, 0), 0u);
    EXPECT_EQ(Send(1, 0, 9, 0), 0u);
    EXPECT_EQ(Send(1, 0, 1, 0), 5u);
    EXPECT_EQ(Send(1, 0, 1, 0), 0u);
    EXPECT_EQ(world.driver.faults().Hits(id), 1);
    world.driver.faults().Add(Fault::FailCall(Request::DriverRelease, 0));
    EXPECT_EQ(Send(3, 0, 0, 0), 0u) << "status 0 is a failure all the same";
    EXPECT_FALSE(world.driver.Captured().back().result);
}

TEST_F(OwnDriver, RefusedOpen) {
    world.driver.FailOpen(ENOENT);
    UniqueHandle h(CreateFileA("\\\\.\\vtavrel.vxd", GENERIC_READ | GENERIC_WRITE, 3, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(h.valid());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOENT));
}

}  // namespace
