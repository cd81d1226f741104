// Whole jobs on the Windows 95 path: the order of opening, probing, locking, loading the own
// driver, re-reading, unlocking, releasing and closing, and every way such a job can end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "engine/disk_job.h"
#include "platform/drive_map.h"
#include "platform/handle.h"
#include "platform/syscalls.h"
#include "tests/engine/job_harness.h"
#include "tests/win95/win95_world.h"

using emulation::Fault;
using emulation::Request;
using emulation::Win95Release;

namespace {

constexpr FloppyFormat kDisk = kFloppyFormats[4];  // 1.44 MB, 18 sectors, 80 cylinders

class Win95Job : public JobTest {
  protected:
    void SetUp() override {
        JobTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(MakeFloppyImage(disk, kDisk));
        fdsBefore = OpenDescriptorCount();
    }
    void TearDown() override {
        if (IsSkipped()) return;
        EXPECT_FALSE(job->m_hVwin32.valid());
        EXPECT_FALSE(job->m_hDriver.valid());
        EXPECT_FALSE(job->m_hImage.valid());
        ExpectCleanEnd();
        if (world) {
            EXPECT_EQ(world->vwin32.OpenHandles(), 0);
            EXPECT_EQ(world->driver.OpenHandles(), 0);
        }
    }

    Win95World& Use(Win95Release release, bool withDriver) {
        world = std::make_unique<Win95World>(release, withDriver);
        return *world;
    }
    Win95World& Use(Win95Path path) {
        world = std::make_unique<Win95World>(path);
        return *world;
    }

    bool Run(int operation = Compress, int compress = 1) {
        return JobTest::Run(operation, disk, image, compress);
    }

    bool Shown(const std::string& line) const {
        const auto& s = window->statusLines;
        return std::find(s.begin(), s.end(), line) != s.end();
    }
    std::vector<emulation::Vwin32Capture> VolumeRequests() const {
        std::vector<emulation::Vwin32Capture> out;
        for (const auto& c : world->vwin32.Captured())
            if (c.request == Request::Lock || c.request == Request::Unlock) out.push_back(c);
        return out;
    }
    int Count(Request request) const {
        int n = 0;
        for (const auto& c : world->vwin32.Captured()) n += c.request == request;
        for (const auto& c : world->driver.Captured()) n += c.request == request;
        return n;
    }
    bool NoImageLeft() const {
        return !FileExists(image) && CountFilesContaining(dir.path(), ".tavrel-") == 0;
    }

    std::string disk = dir / "disk.img";
    std::string image = dir / "disk.tvl";
    std::unique_ptr<Win95World> world;
};

TEST_F(Win95Job, Osr2WithTheOwnDriverInOrder) {
    Win95World& w = Use(Win95Path::Driver);
    ASSERT_TRUE(Run());
    EXPECT_TRUE(window->boxes.empty());
    EXPECT_EQ(job->m_result, JobDone);
    ASSERT_GE(window->statusLines.size(), 2u);
    EXPECT_EQ(window->statusLines[0], "OSR2 Supported...");
    EXPECT_EQ(window->statusLines[1], "Loading Tavrel Drivers...");

    auto v = w.vwin32.Captured();
    ASSERT_EQ(v.size(), 4u);
    // The probe: an extended read of sector 0 into the boot sector.
    EXPECT_EQ(v[0].request, Request::ExtendedRead);
    EXPECT_EQ(v[0].packet, PacketBytes(0, 1, FieldAt(v[0].packet.data(), 6)));
    EXPECT_EQ(v[0].buffer, job->m_bootSector);
    // The first boot-sector read, through VWIN32 since the driver is not open yet.
    EXPECT_EQ(v[1].request, Request::ExtendedRead);
    EXPECT_EQ(v[1].packet, PacketBytes(0, 1, FieldAt(v[1].packet.data(), 6)));
    EXPECT_EQ(v[1].buffer, job->m_bootSector);
    EXPECT_EQ(CompareRegisters(v[2].received, {0x0101, 0, 0x484A, 0x440D, Any, Any, 1}), "");
    EXPECT_EQ(CompareRegisters(v[3].received, {0x0001, Any, 0x486A, 0x440D, Any, Any, 1}), "");

    // Only now the driver, and every later transfer through it.
    auto d = w.driver.Captured();
    ASSERT_EQ(d.size(), 1u + 160u + 1u + 1u);
    EXPECT_GT(w.driverOpenedAt, v[2].sequence);
    EXPECT_LT(w.driverOpenedAt, d[0].sequence);
    EXPECT_EQ(d[0].record, RecordBytes(0, 1, 0, FieldAt(d[0].record.data(), 12)));
    for (DWORD i = 0; i < 160; ++i) {
        const auto& c = d[1 + i];
        EXPECT_EQ(c.record, RecordBytes(0, 18, 18 * i, FieldAt(c.record.data(), 12))) << i;
        EXPECT_EQ(c.buffer, job->m_driveTrack.data);
    }
    // Re-read of the boot sector, then the unlock, then the release.
    EXPECT_EQ(d[161].record, RecordBytes(0, 1, 0, FieldAt(d[161].record.data(), 12)));
    EXPECT_EQ(d[161].buffer, job->m_bootSector);
    EXPECT_LT(d[161].sequence, v[3].sequence);
    EXPECT_EQ(d[162].code, 3u);
    EXPECT_EQ(d[162].record, RecordBytes(0, 0, 0, 0));
    EXPECT_GT(d[162].sequence, v[3].sequence);
    EXPECT_EQ(w.vwin32.Lock(1).holder, 0u);
    EXPECT_EQ(w.driver.Releases(0), 1);
}

TEST_F(Win95Job, Osr2WithoutTheDriverShowsNoDriverLineAndCompletes) {
    Win95World& w = Use(Win95Path::Extended);
    ASSERT_TRUE(Run());
    EXPECT_EQ(job->m_result, JobDone);
    EXPECT_TRUE(window->boxes.empty());
    EXPECT_EQ(window->statusLines[0], "OSR2 Supported...");
    EXPECT_FALSE(Shown("Loading Tavrel Drivers..."));
    EXPECT_EQ(Count(Request::ExtendedRead), 1 + 1 + 1 + 160 + 1);
    EXPECT_EQ(Count(Request::AbsoluteRead), 0);
    auto locks = VolumeRequests();
    ASSERT_EQ(locks.size(), 2u);
    EXPECT_EQ(CompareRegisters(locks[0].received, {0x0101, 0, 0x484A, 0x440D, Any, Any, 1}), "");
    EXPECT_EQ(CompareRegisters(locks[1].received, {0x0001, Any, 0x486A, 0x440D, Any, Any, 1}), "");
    EXPECT_EQ(w.vwin32.Lock(1).holder, 0u);
}

TEST_F(Win95Job, BeforeOsr2TheProbeFailsSilentlyAndInt25CarriesTheData) {
    Win95World& w = Use(Win95Path::Absolute);
    ASSERT_TRUE(Run());
    EXPECT_EQ(job->m_result, JobDone);
    EXPECT_TRUE(window->boxes.empty());
    EXPECT_FALSE(Shown("OSR2 Supported..."));
    EXPECT_FALSE(Shown("Loading Tavrel Drivers..."));
    EXPECT_EQ(window->statusLines[0], "Reading Cylinder - 0  Head - 0");
    auto v = w.vwin32.Captured();
    ASSERT_FALSE(v.empty());
    EXPECT_EQ(v[0].code, 6u);
    EXPECT_FALSE(v[0].result);
    EXPECT_EQ(Count(Request::AbsoluteRead), 1 + 1 + 160 + 1);
    auto locks = VolumeRequests();
    ASSERT_EQ(locks.size(), 2u);
    EXPECT_EQ(CompareRegisters(locks[0].received, {0x0101, 0, 0x084A, 0x440D, Any, Any, 1}), "");
    EXPECT_EQ(CompareRegisters(locks[1].received, {0x0001, Any, 0x086A, 0x440D, Any, Any, 1}), "");
}

TEST_F(Win95Job, BeforeOsr2WithTheDriverLocksWithCategoryEight) {
    Win95World& w = Use(Win95Release::Original, true);
    ASSERT_TRUE(Run());
    EXPECT_EQ(job->m_result, JobDone);
    EXPECT_EQ(window->statusLines[0], "Loading Tavrel Drivers...");
    auto locks = VolumeRequests();
    ASSERT_EQ(locks.size(), 2u);
    EXPECT_EQ(CompareRegisters(locks[0].received, {0x0101, 0, 0x084A, 0x440D, Any, Any, 1}), "");
    EXPECT_EQ(Count(Request::AbsoluteRead), 1) << "only the first boot-sector read";
    EXPECT_EQ(Count(Request::DriverRead), 1 + 160 + 1);
    EXPECT_EQ(w.driver.Releases(0), 1);
}

TEST_F(Win95Job, ADriverThatCannotBeOpenedIsPassedOverInSilence) {
    Win95World& w = Use(Win95Path::Driver);
    w.driver.FailOpen(ENOENT);
    ASSERT_TRUE(Run());
    EXPECT_EQ(job->m_result, JobDone);
    EXPECT_TRUE(window->boxes.empty());
    EXPECT_FALSE(Shown("Loading Tavrel Drivers..."));
    EXPECT_GT(w.driverOpenedAt, 0u) << "it was tried";
    EXPECT_EQ(Count(Request::DriverRead), 0);
    EXPECT_EQ(Count(Request::DriverRelease), 0);
}

TEST_F(Win95Job, NoVwin32) {
    platform::ScopedPlatformId win95(VER_PLATFORM_WIN32_WINDOWS);
    ASSERT_TRUE(Run());
    ExpectOneBox("  Unable to load driver: vwin32. ", "Tavrel");
    EXPECT_TRUE(window->statusLines.empty());
    EXPECT_TRUE(NoImageLeft());
    EXPECT_EQ(job->m_result, JobFailed);
}

TEST_F(Win95Job, Vwin32RefusesToOpen) {
    Win95World& w = Use(Win95Path::Driver);
    w.vwin32.FailOpen(EACCES);
    ASSERT_TRUE(Run());
    ExpectOneBox("  Unable to load driver: vwin32. ", "Tavrel");
    EXPECT_EQ(w.driverOpenedAt, 0u);
    EXPECT_TRUE(NoImageLeft());
}

TEST_F(Win95Job, FirstBootSectorReadFailsBeforeOsr2) {
    Win95World& w = Use(Win95Release::Original, true);
    w.vwin32.faults().Add(Fault::Carry(Request::AbsoluteRead, 2).Occurrence(1));
    ASSERT_TRUE(Run());
    ExpectOneBox("Drive not ready.", "Drive Error");
    EXPECT_EQ(Count(Request::Lock), 0);
    EXPECT_EQ(w.driverOpenedAt, 0u) << "the driver is not opened before the lock";
    EXPECT_TRUE(window->statusLines.empty());
    EXPECT_TRUE(NoImageLeft());
}

TEST_F(Win95Job, FirstBootSectorReadFailsOnOsr2) {
    Win95World& w = Use(Win95Path::Driver);
    // The first extended read is the probe, which does not look at the carry.
    w.vwin32.faults().Add(Fault::Carry(Request::ExtendedRead, 8).Occurrence(2));
    ASSERT_TRUE(Run());
    ExpectOneBox("Sector not found.", "Drive Error");
    EXPECT_EQ(window->statusLines, std::vector<std::string>{"OSR2 Supported..."});
    EXPECT_EQ(w.driverOpenedAt, 0u);
}

TEST_F(Win95Job, FirstBootSectorReadRefusedByTheSystem) {
    Win95World& w = Use(Win95Path::Absolute);
    w.vwin32.faults().Add(Fault::FailCall(Request::AbsoluteRead, EIO));
    ASSERT_TRUE(Run());
    ExpectOneBox(std::strerror(EIO), "Drive Error");
}

TEST_F(Win95Job, AProbeWithTheCarrySetStillTurnsOnExtendedAccess) {
    Win95World& w = Use(Win95Path::Extended);
    w.vwin32.faults().Add(Fault::Carry(Request::ExtendedRead, 2).Occurrence(1));
    ASSERT_TRUE(Run());
    EXPECT_EQ(job->m_result, JobDone);
    EXPECT_EQ(window->statusLines[0], "OSR2 Supported...");
    EXPECT_EQ(Count(Request::AbsoluteRead), 0);
}

TEST_F(Win95Job, TheVolumeHeldByAnotherProgram) {
    Win95World& w = Use(Win95Path::Driver);
    w.vwin32.SeizeVolume(1, 5);
    ASSERT_TRUE(Run());
    ExpectOneBox("The drive is locked.", "Drive Error");
    EXPECT_EQ(w.vwin32.Lock(1).holder, 5u);
    EXPECT_EQ(w.driverOpenedAt, 0u);
    EXPECT_EQ(Count(Request::Unlock), 0);
    EXPECT_TRUE(NoImageLeft());
}

TEST_F(Win95Job, ALockRefusedByTheSystem) {
    Win95World& w = Use(Win95Path::Absolute);
    w.vwin32.faults().Add(Fault::FailCall(Request::Lock, EBUSY));
    ASSERT_TRUE(Run());
    ExpectOneBox(std::strerror(EBUSY), "Drive Error");
}

TEST_F(Win95Job, AFailedReReadSkipsTheUnlockButReleasesAndCloses) {
    Win95World& w = Use(Win95Path::Driver);
    // Boot-sector reads through the driver: media detection, then the re-read.
    int id =
        w.driver.faults().Add(Fault::FailCall(Request::DriverRead, 32).Sectors(0, 1).Occurrence(2));
    ASSERT_TRUE(Run());
    EXPECT_EQ(w.driver.faults().Hits(id), 1);
    EXPECT_TRUE(window->boxes.empty()) << "the re-read's failure is not reported";
    EXPECT_EQ(job->m_result, JobDone);
    EXPECT_TRUE(FileExists(image));
    EXPECT_EQ(Count(Request::Unlock), 0);
    EXPECT_EQ(w.vwin32.Lock(1).holder, emulation::kThisProgram) << "left locked, as it must be";
    EXPECT_EQ(w.driver.Releases(0), 1);
}

TEST_F(Win95Job, AFailedReReadThroughVwin32SkipsTheUnlock) {
    Win95World& w = Use(Win95Path::Absolute);
    // First read, media detection, re-read.
    w.vwin32.faults().Add(Fault::Carry(Request::AbsoluteRead, 2).Sectors(0, 1).Occurrence(3));
    ASSERT_TRUE(Run(Verify));  // no image: verify fails at opening it, then the clean-up runs
    EXPECT_EQ(Count(Request::Lock), 1);
    EXPECT_EQ(Count(Request::Unlock), 0);
    ASSERT_EQ(window->boxes.size(), 1u);
    EXPECT_EQ(window->boxes[0].caption, "File Open Error");
}

TEST_F(Win95Job, AFailedUnlockOrReleaseIsNotReported) {
    Win95World& w = Use(Win95Path::Driver);
    w.vwin32.faults().Add(Fault::Carry(Request::Unlock, 1));
    w.driver.faults().Add(Fault::FailCall(Request::DriverRelease, 12));
    ASSERT_TRUE(Run());
    EXPECT_TRUE(window->boxes.empty());
    EXPECT_EQ(job->m_result, JobDone);
    EXPECT_EQ(Count(Request::DriverRelease), 1);
}

TEST_F(Win95Job, MediaDetectionReadFailsWithTheDriverInUse) {
    Win95World& w = Use(Win95Path::Driver);
    w.driver.faults().Add(Fault::FailCall(Request::DriverRead, 5).Occurrence(1));
    ASSERT_TRUE(Run());
    // 0x20000005 read against the driver's table: an empty text.
    ExpectOneBox("", "Read Error");
    EXPECT_TRUE(NoImageLeft());
    EXPECT_EQ(Count(Request::Unlock), 1);
    EXPECT_EQ(w.driver.Releases(0), 1);
}

TEST_F(Win95Job, MediaDetectionReadFailsThroughVwin32) {
    Win95World& w = Use(Win95Path::Absolute);
    w.vwin32.faults().Add(Fault::Carry(Request::AbsoluteRead, 2).Occurrence(2));
    ASSERT_TRUE(Run());
    ExpectOneBox("Drive not ready.", "Read Error");
    EXPECT_EQ(Count(Request::Unlock), 1);
}

TEST_F(Win95Job, AnUnrecognisedDiskIsUnlockedReleasedAndClosed) {
    Win95World& w = Use(Win95Path::Driver);
    std::string bytes = ReadFileBytes(disk);
    std::fill(bytes.begin(), bytes.begin() + 512, '\0');
    WriteFileBytes(disk, bytes);
    ASSERT_TRUE(Run());
    ExpectOneBox("  Drive media type not supported. ", "Tavrel");
    EXPECT_TRUE(NoImageLeft());
    EXPECT_EQ(Count(Request::Unlock), 1);
    EXPECT_EQ(w.driver.Releases(0), 1);
}

TEST_F(Win95Job, AReadFailingInThePassThroughTheDriver) {
    Win95World& w = Use(Win95Path::Driver);
    w.driver.faults().Add(Fault::FailCall(Request::DriverRead, 24).Sectors(36, 18));
    ASSERT_TRUE(Run());
    ExpectOneBox("Media removed from device", "Read Error");
    EXPECT_TRUE(NoImageLeft()) << "the partial image is deleted";
    EXPECT_EQ(job->m_result, JobFailed);
    EXPECT_EQ(Count(Request::Unlock), 1);
    EXPECT_EQ(w.driver.Releases(0), 1);
}

TEST_F(Win95Job, AReadFailingInThePassThroughInt25) {
    Win95World& w = Use(Win95Path::Absolute);
    w.vwin32.faults().Add(Fault::Carry(Request::AbsoluteRead, 4).Sectors(36, 18));
    ASSERT_TRUE(Run());
    ExpectOneBox("Data error (Bad CRC).", "Read Error");
    EXPECT_TRUE(NoImageLeft());
    EXPECT_EQ(Count(Request::Unlock), 1);
}

TEST_F(Win95Job, AWriteProtectedDiskRefusesAnExpand) {
    // An image to expand, made on the raw-volume path.
    ASSERT_TRUE(Run(Compress));
    window = std::make_unique<RecordingWindow>();
    job = std::make_unique<CDiskJob>(window.get());

    for (Win95Path path : {Win95Path::Extended, Win95Path::Absolute, Win95Path::Driver}) {
        SCOPED_TRACE(Win95PathName(path));
        Use(path);
        std::string drive = disk;
        platform::ScopedFaultHook hook([&](platform::SysCall call, const char* p) {
            return call == platform::SysCall::Write && drive == p ? EROFS : 0;
        });
        ASSERT_TRUE(Run(Expand));
        ExpectOneBox(path == Win95Path::Driver ? "Write protect error" : "Write-protect error",
                     "Write Error");
        EXPECT_TRUE(FileExists(image)) << "an expand leaves the image alone";
        EXPECT_EQ(Count(Request::Unlock), 1);
        EXPECT_EQ(window->doneCount, 1);
        window = std::make_unique<RecordingWindow>();
        job = std::make_unique<CDiskJob>(window.get());
        world.reset();
    }
    // TearDown counts the end notices of the last job only.
    window->doneCount = 1;
}

TEST_F(Win95Job, CancelledThroughTheDriver) {
    Win95World& w = Use(Win95Path::Driver);
    window->onStatus = [&](const std::string& line) {
        if (line == "Reading Cylinder - 10  Head - 0") job->Cancel();
    };
    ASSERT_TRUE(Run());
    EXPECT_EQ(job->m_result, JobCancelled);
    EXPECT_TRUE(window->boxes.empty());
    EXPECT_TRUE(NoImageLeft());
    EXPECT_EQ(Count(Request::Unlock), 1);
    EXPECT_EQ(w.driver.Releases(0), 1);
}

}  // namespace
