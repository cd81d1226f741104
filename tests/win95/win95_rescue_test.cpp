// A rescue through each Windows 95 back-end: a side that fails whole is read sector by
// sector, so every back-end must address single sectors inside a side exactly.
#include <gtest/gtest.h>

#include "engine/disk_job.h"
#include "platform/drive_map.h"
#include "tests/support/facility.h"
#include "tests/support/floppy_images.h"
#include "tests/support/recording_window.h"
#include "tests/support/temp_dir.h"
#include "tests/win95/win95_world.h"

namespace {

using emulation::Fault;
using emulation::Request;

class Win95Rescue : public ::testing::TestWithParam<Win95Path> {};

TEST_P(Win95Rescue, ASideThatFailsIsReadSectorBySector) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mcopy are needed");
    const FloppyFormat& format = kFloppyFormats[2];  // 720 KB: 9 sectors a side
    TempDir dir;
    const std::string source = dir / "disk.img", reference = dir / "nt.tvl",
                      rescued = dir / "w95.tvl";
    ASSERT_TRUE(MakeFloppyImage(source, format));
    platform::ScopedDriveMapping mapping('A', source);
    {
        RecordingWindow window;
        CDiskJob job(&window);
        job.m_driveLetter = "A";
        job.m_imagePath = reference;
        job.m_operation = Compress;
        job.m_compress = 0;
        ASSERT_TRUE(RunToCompletion(job, window));
        ASSERT_EQ(job.m_result, JobDone);
    }

    const int side = 2 * 7 + 1, spt = format.sectorsPerTrack, bad = side * spt + 4;
    Win95World world(GetParam());
    Request read = GetParam() == Win95Path::Driver     ? Request::DriverRead
                   : GetParam() == Win95Path::Extended ? Request::ExtendedRead
                                                       : Request::AbsoluteRead;
    auto fault = [&](DWORD start, DWORD count) {
        Fault f =
            GetParam() == Win95Path::Driver ? Fault::FailCall(read, 8) : Fault::Carry(read, 8);
        return f.Sectors(start, count);
    };
    emulation::FaultPlan& plan =
        GetParam() == Win95Path::Driver ? world.driver.faults() : world.vwin32.faults();
    plan.Add(fault(static_cast<DWORD>(side * spt), static_cast<DWORD>(spt)));
    plan.Add(fault(static_cast<DWORD>(bad), 1));

    RecordingWindow window;
    CDiskJob job(&window);
    job.m_driveLetter = "A";
    job.m_imagePath = rescued;
    job.m_operation = Rescue;
    job.m_compress = 0;
    job.m_rescueRetries = 1;
    ASSERT_TRUE(RunToCompletion(job, window));
    EXPECT_EQ(job.m_result, JobDone);
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_EQ(job.m_sectorMap.sectors, 2 * format.cylinders * spt);
    EXPECT_EQ(job.m_sectorMap.Count(SectorFinished), job.m_sectorMap.sectors - 1);
    EXPECT_EQ(job.m_sectorMap.states[bad], SectorBad);

    // The compress's image, but for the bad sector, which holds the fill.
    std::string expected = ReadFileBytes(reference);
    std::string fill(512, '\0');
    FillUnreadableSector(reinterpret_cast<std::uint8_t*>(fill.data()), -1);
    expected.replace(static_cast<size_t>(4 + side * (spt * 512 + 2) + 2 + 4 * 512), 512, fill);
    EXPECT_TRUE(ReadFileBytes(rescued) == expected);
    // Each good side once, the bad side twice, its good sectors once, the bad one twice.
    EXPECT_EQ(job.m_rescueReads, (2 * format.cylinders - 1) + 2 + (spt - 1) + 2);
}

INSTANTIATE_TEST_SUITE_P(EveryPath, Win95Rescue,
                         ::testing::Values(Win95Path::Absolute, Win95Path::Extended,
                                           Win95Path::Driver),
                         [](const auto& info) { return std::string(Win95PathName(info.param)); });

}  // namespace
