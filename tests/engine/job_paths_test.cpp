// Every way a job can end: exactly one end notice, the right message with its caption and
// icon, every descriptor closed, the lock released, and no file lost or left behind.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "drive/disk_errors.h"
#include "platform/handle.h"
#include "platform/profile.h"
#include "platform/syscalls.h"
#include "tests/engine/job_harness.h"
#include "tests/support/facility.h"

namespace {

std::string Errtext(int code) {
    return std::strerror(code);
}

class JobPaths : public JobTest {
  protected:
    // The job ran in a child process, which checked its end itself.
    bool ranElsewhere = false;
    void SetUp() override {
        JobTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        fdsBefore = OpenDescriptorCount();
    }
    void TearDown() override {
        if (!IsSkipped() && !ranElsewhere) ExpectCleanEnd();
    }
    // The drive's lock was released: another exclusive lock succeeds now.
    void ExpectUnlocked(const std::string& drive) {
        int fd = ::open(drive.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
        ::close(fd);
    }
};

TEST_F(JobPaths, MissingDrive) {
    ASSERT_TRUE(Run(Compress, dir / "no-such-drive.img", dir / "disk.tvl"));
    ExpectOneBox("  Cannot find the drive specified. ", "Tavrel");
    EXPECT_TRUE(window->statusLines.empty());
    EXPECT_FALSE(FileExists(dir / "disk.tvl"));
    EXPECT_EQ(job->m_result, JobFailed);
}

TEST_F(JobPaths, DriveTheSystemWillNotOpenSaysWhy) {
    const std::string drive = Floppy(k144);
    platform::ScopedFaultHook denied([&](platform::SysCall call, const char* path) {
        return call == platform::SysCall::Open && path && drive == path ? EACCES : 0;
    });
    ASSERT_TRUE(Run(Expand, drive, dir / "disk.tvl"));
    // Linux adds nothing to the system's text: UDisks2 was asked, and says so itself.
    ExpectOneBox(Errtext(EACCES), "Drive Error");
    EXPECT_EQ(job->m_result, JobFailed);
}

TEST_F(JobPaths, LetterWithoutMapping) {
    platform::ScopedProfilePath profile(dir / "tavrel.INI");
    job->m_driveLetter = "Q";
    job->m_imagePath = dir / "disk.tvl";
    ASSERT_TRUE(RunToCompletion(*job, *window));
    ExpectOneBox("  Cannot find the drive specified. ", "Tavrel");
}

TEST_F(JobPaths, LockHeldByAnotherProgram) {
    const std::string drive = Floppy(k144);
    int other = ::open(drive.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    ASSERT_TRUE(Run(Compress, drive, dir / "disk.tvl"));
    ::close(other);
    ExpectOneBox(Errtext(EBUSY), "Drive Error");
    EXPECT_FALSE(FileExists(dir / "disk.tvl"));
}

TEST_F(JobPaths, BootSectorUnreadable) {
    const std::string drive = dir / "empty.img";
    WriteFileBytes(drive, "");
    ASSERT_TRUE(Run(Verify, drive, dir / "disk.tvl"));
    // A drive that ends before sector 0 does: a short transfer, never a stale "success".
    ExpectOneBox("Sector not found.", "Drive Error");
}

TEST_F(JobPaths, UnsupportedMediaCreatesNoImage) {
    const std::string drive = Floppy(k144);
    std::string bytes = ReadFileBytes(drive);
    bytes[0x15] = static_cast<char>(0xF8);
    WriteFileBytes(drive, bytes);
    WriteFileBytes(dir / "old.tvl", "precious");
    ASSERT_TRUE(Run(Compress, drive, dir / "old.tvl"));
    ExpectOneBox("  Drive media type not supported. ", "Tavrel");
    EXPECT_EQ(ReadFileBytes(dir / "old.tvl"), "precious");
    EXPECT_EQ(CountFilesContaining(dir.path(), ".tavrel-"), 0);
    ExpectUnlocked(drive);
}

TEST_F(JobPaths, CompressIntoMissingFolder) {
    const std::string drive = Floppy(k144);
    ASSERT_TRUE(Run(Compress, drive, dir / "nowhere/disk.tvl"));
    ExpectOneBox(Errtext(ENOENT), "File Open Error");
    ExpectUnlocked(drive);
}

TEST_F(JobPaths, CompressOntoDirectory) {
    const std::string drive = Floppy(k144);
    ::mkdir((dir / "folder.tvl").c_str(), 0755);
    ASSERT_TRUE(Run(Compress, drive, dir / "folder.tvl"));
    ExpectOneBox(Errtext(EISDIR), "File Open Error");
    EXPECT_EQ(CountFilesContaining(dir.path(), ".tavrel-"), 0);
}

TEST_F(JobPaths, CompressIntoReadOnlyFolder) {
    // Root may create files anywhere, so the job runs as an ordinary user: the test's folder
    // open to it, the drive its own, the folder for the image not writable by it.
    const std::string drive = Floppy(k144);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chown(drive.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::mkdir((dir / "ro").c_str(), 0555), 0);
    ranElsewhere = geteuid() == 0;
    const std::string why = RunUnprivileged([&] {
        ASSERT_TRUE(Run(Compress, drive, dir / "ro/disk.tvl"));
        ExpectOneBox(Errtext(EACCES), "File Open Error");
        EXPECT_FALSE(FileExists(dir / "ro/disk.tvl"));
        ExpectCleanEnd();
    });
    if (!why.empty()) {
        ranElsewhere = true;
        SKIP_OR_FAIL(why);
    }
}

TEST_F(JobPaths, CompressOntoAReadOnlyImage) {
    // A read-only image is refused, never replaced; as an ordinary user, for whom the mode
    // counts, in a folder that would let the user replace it.
    const std::string drive = Floppy(k144);
    const std::string image = dir / "rw/disk.tvl";
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chown(drive.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::mkdir((dir / "rw").c_str(), 0755), 0);
    ASSERT_EQ(::chown((dir / "rw").c_str(), 65534, 65534), 0);
    WriteFileBytes(image, "read-only image");
    ASSERT_EQ(::chown(image.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(image.c_str(), 0444), 0);
    ranElsewhere = geteuid() == 0;
    const std::string why = RunUnprivileged([&] {
        ASSERT_TRUE(Run(Compress, drive, image));
        ExpectOneBox(Errtext(EACCES), "File Open Error");
        EXPECT_EQ(ReadFileBytes(image), "read-only image");
        EXPECT_EQ(Listing(dir / "rw"), std::vector<std::string>{"disk.tvl"});
        ExpectCleanEnd();
    });
    if (!why.empty()) {
        ranElsewhere = true;
        SKIP_OR_FAIL(why);
    }
}

TEST_F(JobPaths, ExpandFromMissingImage) {
    const std::string drive = Floppy(k144);
    const std::string before = ReadFileBytes(drive);
    ASSERT_TRUE(Run(Expand, drive, dir / "missing.tvl"));
    ExpectOneBox(Errtext(ENOENT), "File Open Error");
    EXPECT_TRUE(ReadFileBytes(drive) == before);
    ExpectUnlocked(drive);
}

TEST_F(JobPaths, ShortDriveFailsWithSectorNotFound) {
    // An image file that ends inside the diskette: the read past its end fails clearly.
    const std::string drive = Floppy(k144);
    ASSERT_EQ(::truncate(drive.c_str(), 1000000), 0);
    WriteFileBytes(dir / "old.tvl", "keep me");
    ASSERT_TRUE(Run(Compress, drive, dir / "old.tvl"));
    ExpectOneBox("Sector not found.", "Read Error");
    EXPECT_EQ(ReadFileBytes(dir / "old.tvl"), "keep me");
    EXPECT_EQ(CountFilesContaining(dir.path(), ".tavrel-"), 0);
    EXPECT_EQ(job->m_result, JobFailed);
}

TEST_F(JobPaths, TruncatedImageFailsExpandWithReadError) {
    const std::string drive = Floppy(k144);
    const std::string image = dir / "disk.tvl";
    ASSERT_TRUE(CompressAside(drive, image, 0));
    ASSERT_EQ(::truncate(image.c_str(), 4 + 9218 * 100 + 17), 0);
    ASSERT_TRUE(Run(Expand, drive, image));
    ExpectOneBox("  Error reading file. ", "Read Error");
    EXPECT_EQ(window->statusLines.back(), "Reading File");
    EXPECT_EQ(window->statusLines.size(), 201u);  // 100 sides written, then the failed read
}

TEST_F(JobPaths, VerifyReportsTheFirstDifferenceOnly) {
    const std::string drive = Floppy(k720);
    const std::string image = dir / "sub/system";
    ::mkdir((dir / "sub").c_str(), 0755);
    ASSERT_TRUE(CompressAside(drive, image, 1));
    std::string bytes = ReadFileBytes(drive);
    const size_t offset = 4608u * (2 * 33 + 1) + 700;  // cylinder 33, head 1, sector 2
    bytes[offset] = static_cast<char>(bytes[offset] ^ 0x5A);
    bytes[offset + 4608 * 10] = static_cast<char>(bytes[offset + 4608 * 10] ^ 0x5A);
    WriteFileBytes(drive, bytes);

    ASSERT_TRUE(Run(Verify, drive, image));
    ExpectOneBox("  system and A: are NOT the same! ", "Tavrel", MB_ICONINFORMATION);
    EXPECT_EQ(job->m_result, JobDifferent);
    EXPECT_EQ(job->m_diffCylinder, 33);
    EXPECT_EQ(job->m_diffHead, 1);
    EXPECT_EQ(job->m_diffByte, 2 + 700);
    EXPECT_EQ(window->statusLines.back(), "Verifing Cylinder - 33  Head - 1");
}

TEST_F(JobPaths, VerifyComparesTheLastByteOfATrackSide) {
    const std::string drive = Floppy(k720);
    const std::string image = dir / "disk.tvl";
    ASSERT_TRUE(CompressAside(drive, image, 1));
    std::string bytes = ReadFileBytes(drive);
    const size_t offset = 4608u * (2 * 20 + 1) + 4607;  // cylinder 20, head 1, its last byte
    bytes[offset] = static_cast<char>(bytes[offset] ^ 0x5A);
    WriteFileBytes(drive, bytes);

    ASSERT_TRUE(Run(Verify, drive, image));
    ExpectOneBox("  disk.tvl and A: are NOT the same! ", "Tavrel", MB_ICONINFORMATION);
    EXPECT_EQ(job->m_result, JobDifferent);
    EXPECT_EQ(job->m_diffCylinder, 20);
    EXPECT_EQ(job->m_diffHead, 1);
    EXPECT_EQ(job->m_diffByte, 2 + 4607);
}

TEST_F(JobPaths, VerifyCountsARecordInTheWrongPlace) {
    const std::string drive = Floppy(k360);
    const std::string image = dir / "disk.tvl";
    ASSERT_TRUE(CompressAside(drive, image, 0));
    std::string bytes = ReadFileBytes(image);
    bytes[4 + 4610 * 3 + 1] = 0;  // record 3 (cylinder 1, head 1) now says head 0
    WriteFileBytes(image, bytes);
    ASSERT_TRUE(Run(Verify, drive, image));
    ExpectOneBox("  disk.tvl and A: are NOT the same! ", "Tavrel", MB_ICONINFORMATION);
    EXPECT_EQ(job->m_diffByte, 1);
}

TEST_F(JobPaths, FailedCompressKeepsTheOldImage) {
    const std::string drive = Floppy(k144);
    const std::string image = dir / "disk.tvl";
    WriteFileBytes(image, "the old image");
    int writes = 0;
    platform::ScopedFaultHook fault([&](platform::SysCall call, const char* path) {
        if (call == platform::SysCall::Write && path == image && ++writes == 50) return ENOSPC;
        return 0;
    });
    ASSERT_TRUE(Run(Compress, drive, image));
    ExpectOneBox("  Error writing file. ", "Write Error");
    EXPECT_EQ(ReadFileBytes(image), "the old image");
    EXPECT_EQ(CountFilesContaining(dir.path(), ".tavrel-"), 0);
    ExpectUnlocked(drive);
}

TEST_F(JobPaths, HeaderWriteFailure) {
    const std::string drive = Floppy(k144);
    const std::string image = dir / "disk.tvl";
    platform::ScopedFaultHook fault([&](platform::SysCall call, const char* path) {
        return call == platform::SysCall::Write && path == image ? EIO : 0;
    });
    ASSERT_TRUE(Run(Compress, drive, image));
    ExpectOneBox("  Error writing file header information. ", "Tavrel");
    EXPECT_FALSE(FileExists(dir / "disk.tvl"));
    EXPECT_EQ(CountFilesContaining(dir.path(), ".tavrel-"), 0);
}

TEST_F(JobPaths, FailedRenameKeepsTheOldImageAndReports) {
    const std::string drive = Floppy(k144);
    const std::string image = dir / "disk.tvl";
    WriteFileBytes(image, "old");
    platform::ScopedFaultHook fault([&](platform::SysCall call, const char*) {
        return call == platform::SysCall::Rename ? EXDEV : 0;
    });
    ASSERT_TRUE(Run(Compress, drive, image));
    ExpectOneBox(Errtext(EXDEV), "Write Error");
    EXPECT_EQ(ReadFileBytes(image), "old");
    EXPECT_EQ(CountFilesContaining(dir.path(), ".tavrel-"), 0);
    EXPECT_EQ(job->m_result, JobFailed);
}

TEST_F(JobPaths, FailedSyncOfTheNewImageKeepsTheOldImage) {
    const std::string drive = Floppy(k144);
    const std::string image = dir / "disk.tvl";
    WriteFileBytes(image, "old");
    // A compress writes nothing to the drive: its first sync is the new image's own.
    int syncs = 0;
    platform::ScopedFaultHook fault([&](platform::SysCall call, const char*) {
        return call == platform::SysCall::Sync && syncs++ == 0 ? EIO : 0;
    });
    ASSERT_TRUE(Run(Compress, drive, image));
    ExpectOneBox(Errtext(EIO), "Write Error");
    EXPECT_EQ(ReadFileBytes(image), "old");
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"disk.tvl", "drive.img"}));
    EXPECT_EQ(job->m_result, JobFailed);
    ExpectUnlocked(drive);
}

TEST_F(JobPaths, DriveReadFailureNamesTheSystemError) {
    const std::string drive = Floppy(k144);
    int reads = 0;
    platform::ScopedFaultHook fault([&](platform::SysCall call, const char* path) {
        return call == platform::SysCall::Read && drive == path && ++reads == 30 ? EIO : 0;
    });
    ASSERT_TRUE(Run(Compress, drive, dir / "disk.tvl"));
    ExpectOneBox(Errtext(EIO), "Read Error");
    EXPECT_FALSE(FileExists(dir / "disk.tvl"));
}

TEST_F(JobPaths, DriveWriteFailureDuringExpand) {
    const std::string drive = Floppy(k360);
    const std::string image = dir / "disk.tvl";
    ASSERT_TRUE(CompressAside(drive, image, 1));
    platform::ScopedFaultHook fault([&](platform::SysCall call, const char* path) {
        return call == platform::SysCall::Write && drive == path ? EROFS : 0;
    });
    ASSERT_TRUE(Run(Expand, drive, image));
    ExpectOneBox(Errtext(EROFS), "Write Error");
    ExpectUnlocked(drive);
    EXPECT_TRUE(FileExists(image));
}

}  // namespace

namespace {

TEST_F(JobPaths, ImageNamesWithSpacesAndNonAsciiAndLength) {
    const std::string drive = Floppy(k360);
    const std::string image =
        dir / ("disk image \xC3\xA9t\xC3\xA9 " + std::string(180, 'x') + ".tvl");
    ASSERT_TRUE(Run(Compress, drive, image));
    EXPECT_EQ(job->m_result, JobDone);
    EXPECT_TRUE(FileExists(image));
    NewWindow();
    ASSERT_TRUE(Run(Verify, drive, image));
    EXPECT_EQ(job->m_result, JobDone);
}

}  // namespace
