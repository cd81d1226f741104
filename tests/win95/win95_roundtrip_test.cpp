// Whole compress, expand and verify jobs through each Windows 95 back-end give exactly what the
// raw-volume path gives on the same disk, for every supported format.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "engine/disk_job.h"
#include "platform/drive_map.h"
#include "platform/handle.h"
#include "tests/support/facility.h"
#include "tests/support/floppy_images.h"
#include "tests/support/recording_window.h"
#include "tests/support/temp_dir.h"
#include "tests/win95/win95_world.h"

namespace {

struct Outcome {
    JobResult result = JobNotRun;
    std::vector<ShownBox> boxes;
    std::vector<std::string> statusLines;
    int diffCylinder = -1, diffHead = -1, diffByte = -1;
};

// One job on drive A: mapped to drive, on the raw-volume path or (with a path) on Windows 95.
Outcome RunOne(std::optional<Win95Path> path, int operation, const std::string& drive,
               const std::string& image, int compress = 1) {
    std::optional<Win95World> world;
    if (path) world.emplace(*path);
    platform::ScopedDriveMapping mapping('A', drive);
    RecordingWindow window;
    CDiskJob job(&window);
    job.m_driveLetter = "A";
    job.m_imagePath = image;
    job.m_operation = operation;
    job.m_compress = compress;
    Outcome o;
    EXPECT_TRUE(RunToCompletion(job, window));
    EXPECT_EQ(window.doneCount, 1);
    o.result = job.m_result;
    o.boxes = window.boxes;
    o.statusLines = window.statusLines;
    o.diffCylinder = job.m_diffCylinder;
    o.diffHead = job.m_diffHead;
    o.diffByte = job.m_diffByte;
    if (world) {
        EXPECT_EQ(world->vwin32.OpenHandles(), 0);
        EXPECT_EQ(world->driver.OpenHandles(), 0);
        EXPECT_EQ(world->vwin32.Lock(1).holder, 0u) << "the volume was left locked";
        // The back-end that was meant to carry the data did.
        bool viaDriver = false, viaExtended = false, viaAbsolute = false;
        for (const auto& c : world->driver.Captured())
            viaDriver |= c.request == emulation::Request::DriverRead ||
                         c.request == emulation::Request::DriverWrite;
        for (const auto& c : world->vwin32.Captured()) {
            viaExtended |= c.request == emulation::Request::ExtendedWrite ||
                           (c.request == emulation::Request::ExtendedRead && c.packet[4] > 1);
            viaAbsolute |= c.request == emulation::Request::AbsoluteWrite ||
                           (c.request == emulation::Request::AbsoluteRead && c.packet[4] > 1);
        }
        EXPECT_EQ(viaDriver, *path == Win95Path::Driver);
        EXPECT_EQ(viaExtended, *path == Win95Path::Extended);
        EXPECT_EQ(viaAbsolute, *path == Win95Path::Absolute);
    }
    return o;
}

using Param = std::tuple<Win95Path, int>;

class Win95RoundTrip : public ::testing::TestWithParam<Param> {
  protected:
    void SetUp() override {
        if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mcopy are needed");
        ASSERT_TRUE(MakeFloppyImage(source, format));
        handlesBefore = platform::LiveHandleCount();
        fdsBefore = OpenDescriptorCount();
    }
    void TearDown() override {
        if (IsSkipped()) return;
        EXPECT_EQ(platform::LiveHandleCount(), handlesBefore);
        EXPECT_EQ(OpenDescriptorCount(), fdsBefore);
    }

    Win95Path path = std::get<0>(GetParam());
    FloppyFormat format = kFloppyFormats[std::get<1>(GetParam())];
    TempDir dir;
    std::string source = dir / "disk.img";
    int handlesBefore = 0;
    int fdsBefore = 0;
};

TEST_P(Win95RoundTrip, CompressGivesTheSameImageAsTheRawVolume) {
    for (int compress : {1, 0}) {
        SCOPED_TRACE(compress ? "run-length" : "raw");
        std::string reference = dir / "nt.tvl", ours = dir / "w95.tvl";
        Outcome nt = RunOne(std::nullopt, Compress, source, reference, compress);
        ASSERT_EQ(nt.result, JobDone);
        Outcome w = RunOne(path, Compress, source, ours, compress);
        ASSERT_EQ(w.result, JobDone);
        EXPECT_TRUE(w.boxes.empty());
        std::string a = ReadFileBytes(reference), b = ReadFileBytes(ours);
        ASSERT_FALSE(a.empty());
        EXPECT_TRUE(a == b) << "images differ (" << a.size() << " and " << b.size() << " bytes)";
        EXPECT_EQ(nt.statusLines.size() + (path == Win95Path::Absolute ? 0 : 1) +
                      (path == Win95Path::Driver ? 1 : 0),
                  w.statusLines.size());
    }
}

TEST_P(Win95RoundTrip, ExpandThenVerify) {
    std::string image = dir / "disk.tvl";
    ASSERT_EQ(RunOne(std::nullopt, Compress, source, image).result, JobDone);

    std::string ntTarget = dir / "nt-target.img", ourTarget = dir / "w95-target.img";
    ASSERT_TRUE(MakeFloppyImage(ntTarget, format, false));
    ASSERT_TRUE(MakeFloppyImage(ourTarget, format, false));
    ASSERT_EQ(RunOne(std::nullopt, Expand, ntTarget, image).result, JobDone);
    Outcome expand = RunOne(path, Expand, ourTarget, image);
    ASSERT_EQ(expand.result, JobDone);
    EXPECT_TRUE(expand.boxes.empty());
    std::string written = ReadFileBytes(ourTarget);
    EXPECT_TRUE(written == ReadFileBytes(ntTarget)) << "the disks differ after expanding";
    EXPECT_TRUE(written == ReadFileBytes(source)) << "the disk is not the one imaged";

    Outcome verify = RunOne(path, Verify, ourTarget, image);
    EXPECT_EQ(verify.result, JobDone);
    EXPECT_TRUE(verify.boxes.empty());

    // One byte changed on the disk: both paths find the same first difference.
    size_t at = static_cast<size_t>(format.sectorsPerTrack) * 512 * 2 * 5 + 777;
    written[at] = static_cast<char>(written[at] ^ 0x5A);
    WriteFileBytes(ourTarget, written);
    Outcome ntDiff = RunOne(std::nullopt, Verify, ourTarget, image);
    Outcome ourDiff = RunOne(path, Verify, ourTarget, image);
    ASSERT_EQ(ourDiff.result, JobDifferent);
    EXPECT_EQ(ourDiff.diffCylinder, 5);
    EXPECT_EQ(ourDiff.diffHead, 0);
    EXPECT_EQ(ourDiff.diffByte, 2 + 777);
    EXPECT_EQ(ntDiff.diffCylinder, ourDiff.diffCylinder);
    EXPECT_EQ(ntDiff.diffByte, ourDiff.diffByte);
    ASSERT_EQ(ourDiff.boxes.size(), 1u);
    EXPECT_EQ(ourDiff.boxes[0].text, "  disk.tvl and A: are NOT the same! ");
    EXPECT_EQ(ourDiff.boxes[0].type, MB_OK | MB_ICONINFORMATION);
}

INSTANTIATE_TEST_SUITE_P(EveryPathAndFormat, Win95RoundTrip,
                         ::testing::Combine(::testing::Values(Win95Path::Absolute,
                                                              Win95Path::Extended,
                                                              Win95Path::Driver),
                                            ::testing::Range(0, 5)),
                         [](const ::testing::TestParamInfo<Param>& info) {
                             std::string name =
                                 std::string(Win95PathName(std::get<0>(info.param))) + "_" +
                                 kFloppyFormats[std::get<1>(info.param)].name;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

}  // namespace
