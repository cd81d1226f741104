// Cancel semantics of each pass, and of requests made outside a pass.
#include "tests/engine/job_harness.h"

namespace {

class JobCancel : public JobTest {
  protected:
    // Cancels when the given status line is shown.
    void CancelAt(const std::string& status) {
        window->onStatus = [this, status](const std::string& line) {
            if (line == status) job->Cancel();
        };
    }
    std::string MakeImage(const std::string& drive, int compress = 1) {
        const std::string image = dir / "disk.tvl";
        EXPECT_TRUE(Run(Compress, drive, image, compress));
        EXPECT_EQ(job->m_result, JobDone);
        NewWindow();
        return image;
    }
};

TEST_F(JobCancel, CompressLeavesNoNewFileAndTheOldOneIntact) {
    const std::string drive = Floppy(k144);
    const std::string image = dir / "disk.tvl";
    WriteFileBytes(image, "an older image");
    CancelAt("Reading Cylinder - 10  Head - 1");
    ASSERT_TRUE(Run(Compress, drive, image));
    EXPECT_TRUE(window->boxes.empty());
    EXPECT_EQ(job->m_result, JobCancelled);
    EXPECT_EQ(window->doneCount, 1);
    // The side just read is not written: the last status is the read, not "Writing File".
    EXPECT_EQ(window->statusLines.back(), "Reading Cylinder - 10  Head - 1");
    EXPECT_EQ(ReadFileBytes(image), "an older image");
    EXPECT_EQ(CountFilesContaining(dir.path(), ".tavrel-"), 0);
}

TEST_F(JobCancel, CompressWithoutOlderImageLeavesNothing) {
    const std::string drive = Floppy(k144);
    CancelAt("Reading Cylinder - 0  Head - 0");
    ASSERT_TRUE(Run(Compress, drive, dir / "disk.tvl"));
    EXPECT_EQ(job->m_result, JobCancelled);
    EXPECT_FALSE(FileExists(dir / "disk.tvl"));
    EXPECT_EQ(CountFilesContaining(dir.path(), ".tavrel-"), 0);
}

TEST_F(JobCancel, ExpandStopsAfterTheSideBeingWritten) {
    const std::string source = Floppy(k360, "source.img");
    const std::string image = MakeImage(source);
    const std::string target = dir / "target.img";
    ASSERT_TRUE(MakeFloppyImage(target, k360, false));
    const std::string blank = ReadFileBytes(target);

    CancelAt("Writing Cylinder - 5  Head - 0");
    ASSERT_TRUE(Run(Expand, target, image));
    EXPECT_TRUE(window->boxes.empty());
    EXPECT_EQ(job->m_result, JobCancelled);
    EXPECT_EQ(window->statusLines.back(), "Writing Cylinder - 5  Head - 0");
    std::string written = ReadFileBytes(target), original = ReadFileBytes(source);
    const size_t side = 4608, cut = side * (2 * 5 + 1);  // through cylinder 5, head 0
    EXPECT_TRUE(written.substr(0, cut) == original.substr(0, cut));
    EXPECT_TRUE(written.substr(cut) == blank.substr(cut));
    EXPECT_TRUE(FileExists(image));
}

TEST_F(JobCancel, VerifyStopsSilently) {
    const std::string drive = Floppy(k720);
    const std::string image = MakeImage(drive);
    const std::string before = ReadFileBytes(image);
    CancelAt("Verifing Cylinder - 40  Head - 1");
    ASSERT_TRUE(Run(Verify, drive, image));
    EXPECT_TRUE(window->boxes.empty());
    EXPECT_EQ(job->m_result, JobCancelled);
    EXPECT_EQ(window->statusLines.back(), "Verifing Cylinder - 40  Head - 1");
    EXPECT_EQ(ReadFileBytes(image), before);
}

TEST_F(JobCancel, CancelDuringSetupIsSeenAtTheFirstPoll) {
    const std::string drive = Floppy(k144);
    platform::ScopedDriveMapping mapping('A', drive);
    job->m_driveLetter = "A";
    job->m_imagePath = dir / "disk.tvl";
    job->m_operation = Compress;
    ASSERT_TRUE(job->Start());
    // The worker cannot pass its first status line until this thread pumps, so the request
    // is made before any poll.
    job->Cancel();
    job->Cancel();  // two requests count as one
    ASSERT_TRUE(window->PumpUntil([&] { return window->doneCount == 1; }, 60000));
    while (job->IsRunning()) window->PumpOnce(1);
    EXPECT_EQ(job->m_result, JobCancelled);
    EXPECT_EQ(window->statusLines, std::vector<std::string>{"Reading Cylinder - 0  Head - 0"});

    // The second request was absorbed by the first poll: the next job runs to the end.
    NewWindow();
    ASSERT_TRUE(Run(Compress, drive, dir / "disk.tvl"));
    EXPECT_EQ(job->m_result, JobDone);
}

TEST_F(JobCancel, StaleRequestDoesNotEndTheNextJob) {
    const std::string drive = Floppy(k360);
    const std::string image = MakeImage(drive);
    // A cancel after the last poll of a job, while it cleans up or after it ended...
    job->Cancel();
    ASSERT_TRUE(Run(Verify, drive, image));
    // ...is dropped when the next job starts.
    EXPECT_EQ(job->m_result, JobDone);
    EXPECT_TRUE(window->boxes.empty());
}

TEST_F(JobCancel, IsRunningFollowsTheThread) {
    EXPECT_FALSE(job->IsRunning());
    const std::string drive = Floppy(k360);
    platform::ScopedDriveMapping mapping('A', drive);
    job->m_driveLetter = "A";
    job->m_imagePath = dir / "disk.tvl";
    job->m_operation = Compress;
    ASSERT_TRUE(job->Start());
    EXPECT_TRUE(job->IsRunning());  // blocked on its first status line until we pump
    ASSERT_TRUE(window->PumpUntil([&] { return window->doneCount == 1; }, 60000));
    while (job->IsRunning()) window->PumpOnce(1);
    EXPECT_FALSE(job->IsRunning());
    EXPECT_EQ(job->m_result, JobDone);
}

}  // namespace
