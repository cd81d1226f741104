// A layout the kernel's floppy driver refuses, or a request that fails, on a real floppy drive:
// run in the test machine (guest_cases.sh) with a write-protected diskette in TAVREL_FLOPPY whose
// layout ("80 2 21") the driver guesses wrong, in TAVREL_FLOPPY_LAYOUT, and the image it was made
// from in TAVREL_FLOPPY_IMAGE. That the diskette then reads as served, and the driver's own
// format comes back after the job, the test machine's compress cases show.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/drive_map.h"
#include "platform/drive_volume.h"
#include "platform/file_api.h"
#include "platform/floppy_format.h"
#include "platform/handle.h"
#include "platform/last_error.h"
#include "platform/medium_geometry.h"
#include "platform/syscalls.h"

namespace {

constexpr DWORD kSector = 512;

struct Guess {
    long long cylinders;
    long heads, sectors;
    bool operator==(const Guess& o) const {
        return cylinders == o.cylinders && heads == o.heads && sectors == o.sectors;
    }
};

class FloppyLayoutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* device = std::getenv("TAVREL_FLOPPY");
        const char* image = std::getenv("TAVREL_FLOPPY_IMAGE");
        const char* layout = std::getenv("TAVREL_FLOPPY_LAYOUT");
        ASSERT_TRUE(device && image && layout) << "run by tests/vm/guest_cases.sh";
        ASSERT_EQ(std::sscanf(layout, "%d %d %d", &m_layout.cylinders, &m_layout.heads,
                              &m_layout.sectorsPerTrack),
                  3);
        std::ifstream in(image, std::ios::binary);
        m_image.assign(std::istreambuf_iterator<char>(in), {});
        ASSERT_EQ(m_image.size(), static_cast<size_t>(m_layout.cylinders * m_layout.heads *
                                                      m_layout.sectorsPerTrack) *
                                      kSector);
        m_mapping = std::make_unique<platform::ScopedDriveMapping>('A', device);
        // Read-only, as a compress opens it; the diskette is write-protected as well.
        m_volume = platform::OpenDriveVolume('A', GENERIC_READ, FILE_SHARE_READ);
        ASSERT_NE(m_volume, INVALID_HANDLE_VALUE) << "cannot open " << device;
    }
    void TearDown() override {
        // Cleared only where a test stopped with the layout set, as a job does: a second clear
        // costs the driver its next diskette's probe (QEMU's controller at least).
        if (m_set) platform::ClearFloppyLayout(m_volume);
        if (m_volume != INVALID_HANDLE_VALUE) CloseHandle(m_volume);
    }
    Guess DriverLayout() {
        platform::MediumGeometry g;
        if (!platform::QueryMediumGeometry(m_volume, &g)) return {};
        return {g.cylinders, g.heads, g.sectorsPerTrack};
    }

    platform::FloppyLayout m_layout;
    std::vector<char> m_image;
    std::unique_ptr<platform::ScopedDriveMapping> m_mapping;
    HANDLE m_volume = INVALID_HANDLE_VALUE;
    bool m_set = false;
};

TEST_F(FloppyLayoutTest, ARefusedLayoutIsReportedAndChangesNothing) {
    const Guess guess = DriverLayout();
    // More cylinders than any drive steps to: the driver itself refuses.
    bool set = true;
    EXPECT_FALSE(platform::SetFloppyLayout(m_volume, {90, 2, m_layout.sectorsPerTrack}, &set));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL));
    EXPECT_FALSE(set);
    EXPECT_TRUE(DriverLayout() == guess);

    // Every request that would change the driver's state fails.
    platform::ScopedFaultHook hook([](platform::SysCall call, const char* path) {
        return call == platform::SysCall::Ioctl && std::strncmp(path, "/proc/", 6) == 0 ? EIO : 0;
    });
    set = true;
    EXPECT_FALSE(platform::SetFloppyLayout(m_volume, m_layout, &set));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EIO));
    EXPECT_FALSE(set);
    EXPECT_TRUE(DriverLayout() == guess);
    EXPECT_FALSE(platform::ClearFloppyLayout(m_volume));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EIO));
}

}  // namespace
