// How a compress puts its new image where the older one was: the older image's mode and
// owner carry over, any valid name works, the new file is locked while it is written so that
// only leftovers of killed jobs are cleared away, and what the job says after the rename is
// exactly what happened. Also: an expand whose drive cannot be flushed at the end fails.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/file_api.h"
#include "platform/syscalls.h"
#include "tests/engine/job_harness.h"

namespace {

class ImageReplace : public JobTest {
  protected:
    void SetUp() override {
        JobTest::SetUp();
        if (IsSkipped()) return;
        fdsBefore = OpenDescriptorCount();
    }
    void TearDown() override {
        if (!IsSkipped()) ExpectCleanEnd();
    }
    struct stat StatOf(const std::string& path) {
        struct stat st;
        std::memset(&st, 0, sizeof st);
        EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
        return st;
    }
    // A complete image of the drive: a verify against it finds nothing.
    void ExpectImageOf(const std::string& drive, const std::string& image) {
        NewWindow();
        ASSERT_TRUE(Run(Verify, drive, image));
        EXPECT_EQ(job->m_result, JobDone);
        EXPECT_TRUE(window->boxes.empty());
    }
};

TEST_F(ImageReplace, KeepsTheModeOwnerAndGroupOfTheOlderImage) {
    const std::string drive = Floppy(k360);
    const std::string image = dir / "private.tvl";
    WriteFileBytes(image, "older image");
    ASSERT_EQ(::chmod(image.c_str(), 0600), 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(image.c_str(), 65534, 65534), 0);
    }
    ASSERT_TRUE(Run(Compress, drive, image));
    EXPECT_EQ(job->m_result, JobDone);
    struct stat st = StatOf(image);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }

    // A new image gets the mode the umask leaves.
    mode_t before = ::umask(027);
    NewWindow();
    ASSERT_TRUE(Run(Compress, drive, dir / "new.tvl"));
    ::umask(before);
    EXPECT_EQ(job->m_result, JobDone);
    EXPECT_EQ(StatOf(dir / "new.tvl").st_mode & 07777, 0640u);
}

TEST_F(ImageReplace, NameOfTheLongestLengthAFolderTakes) {
    const std::string drive = Floppy(k360);
    const std::string image = dir / (std::string(251, 'n') + ".tvl");
    WriteFileBytes(image, "older image");
    ASSERT_TRUE(Run(Compress, drive, image));
    EXPECT_EQ(job->m_result, JobDone);
    EXPECT_TRUE(window->boxes.empty());
    ExpectImageOf(drive, image);
    EXPECT_EQ(CountFilesContaining(dir.path(), ".tavrel-"), 0);
}

TEST_F(ImageReplace, TheNewImageIsLockedWhileItIsWritten) {
    const std::string drive = Floppy(k360);
    std::string temp;
    int lockResult = 0, lockErrno = 0;
    window->onStatus = [&](const std::string& line) {
        if (line != "Reading Cylinder - 20  Head - 0") return;
        // Another open of the file, as a cleaner in another process would make it.
        platform::ForEachFolderEntry(dir.path(), [&](const char* name) {
            if (std::strncmp(name, ".tavrel-", 8) == 0) temp = dir / name;
        });
        int fd = ::open(temp.c_str(), O_RDONLY);
        lockResult = ::flock(fd, LOCK_EX | LOCK_NB);
        lockErrno = errno;
        ::close(fd);
    };
    ASSERT_TRUE(Run(Compress, drive, dir / "disk.tvl"));
    EXPECT_EQ(job->m_result, JobDone);
    ASSERT_FALSE(temp.empty()) << "no new file beside the image while it was written";
    EXPECT_EQ(lockResult, -1);
    EXPECT_EQ(lockErrno, EWOULDBLOCK);
}

TEST_F(ImageReplace, RemovesOnlyLeftoversWhoseLockIsFree) {
    const std::string drive = Floppy(k360);
    WriteFileBytes(dir / ".tavrel-Ab12cd", "left by a killed job");
    WriteFileBytes(dir / ".tavrel-Zz99yy", "being written by a job elsewhere");
    WriteFileBytes(dir / ".tavrel-toolong7", "not a name of ours");
    WriteFileBytes(dir / "disk.tvl.tavrel-partial-1", "not a name of ours either");
    int writer = ::open((dir / ".tavrel-Zz99yy").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(writer, LOCK_EX | LOCK_NB), 0);
    ASSERT_TRUE(Run(Compress, drive, dir / "disk.tvl"));
    ::close(writer);
    EXPECT_EQ(job->m_result, JobDone);
    EXPECT_FALSE(FileExists(dir / ".tavrel-Ab12cd"));
    EXPECT_TRUE(FileExists(dir / ".tavrel-Zz99yy"));
    EXPECT_TRUE(FileExists(dir / ".tavrel-toolong7"));
    EXPECT_TRUE(FileExists(dir / "disk.tvl.tavrel-partial-1"));
}

TEST_F(ImageReplace, AFolderThatCannotBeFlushedAfterTheRenameIsReportedAsSuch) {
    const std::string drive = Floppy(k360);
    const std::string image = dir / "disk.tvl";
    WriteFileBytes(image, "older image");
    int deletes = 0;
    platform::ScopedFaultHook fault([&](platform::SysCall call, const char* path) {
        if (call == platform::SysCall::Delete) ++deletes;
        return call == platform::SysCall::Sync && path == dir.path() ? EIO : 0;
    });
    ASSERT_TRUE(Run(Compress, drive, image));
    ExpectOneBox(std::string(kNotDurableText) + std::strerror(EIO) + " ", "Write Error",
                 MB_ICONEXCLAMATION);
    EXPECT_EQ(job->m_result, JobDone) << "the new image is in place";
    EXPECT_EQ(deletes, 0) << "nothing is left to delete after the rename";
    EXPECT_EQ(CountFilesContaining(dir.path(), ".tavrel-"), 0);
    ExpectImageOf(drive, image);
}

TEST_F(ImageReplace, ExpandWhoseDriveCannotBeFlushedOrClosedFails) {
    const std::string drive = Floppy(k360);
    const std::string image = dir / "disk.tvl";
    ASSERT_TRUE(CompressAside(drive, image, 1));
    for (platform::SysCall failing : {platform::SysCall::Sync, platform::SysCall::Close}) {
        SCOPED_TRACE(platform::SysCallName(failing));
        NewWindow();
        platform::ScopedFaultHook fault([&](platform::SysCall call, const char* path) {
            return call == failing && path == drive ? EIO : 0;
        });
        ASSERT_TRUE(Run(Expand, drive, image));
        ExpectOneBox(std::strerror(EIO), "Write Error");
        EXPECT_EQ(job->m_result, JobFailed);
    }
}

}  // namespace
