// How a compress puts its new image where the older one was: the older image's mode and
// owner carry over before the new one is flushed, any valid name works, the new file has no
// name while it is written or, where the file system cannot do that, is locked so that only
// leftovers of killed jobs are cleared away, a link of another user in a shared folder is not
// followed, and what the job says after the rename is exactly what happened. Also: an expand
// whose drive cannot be flushed at the end fails.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

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
    // The new file is written under a hidden name, as on file systems without nameless files.
    platform::ScopedFaultHook NoNamelessFiles() {
        return platform::ScopedFaultHook([](platform::SysCall call, const char*) {
            return call == platform::SysCall::TempFile ? EOPNOTSUPP : 0;
        });
    }
    // Whether another open file (as a cleaner in another process or on another NFS client
    // would hold it) may take the lock a writer holds.
    static bool Lockable(const std::string& path) {
        int fd = ::open(path.c_str(), O_WRONLY);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        bool free = fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
        ::close(fd);
        return free;
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
    // The attributes are set before the file is flushed, so the flush makes them durable.
    std::vector<platform::SysCall> calls;
    {
        platform::ScopedFaultHook record([&](platform::SysCall call, const char* path) {
            if ((call == platform::SysCall::Chmod || call == platform::SysCall::Sync) &&
                path != dir.path() && path != drive)
                calls.push_back(call);
            return 0;
        });
        ASSERT_TRUE(Run(Compress, drive, image));
    }
    EXPECT_EQ(job->m_result, JobDone);
    ASSERT_NE(std::find(calls.begin(), calls.end(), platform::SysCall::Chmod), calls.end());
    EXPECT_EQ(calls.back(), platform::SysCall::Sync) << "attributes set after the flush";
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

// Changing the owner clears the set-id bits, for root too: the mode must come after it.
TEST_F(ImageReplace, KeepsTheSetIdBitsOfAnImageOfAnotherOwner) {
    if (geteuid() != 0) SKIP_OR_FAIL("giving a file to another owner needs root");
    const std::string drive = Floppy(k360);
    const std::string image = dir / "setid.tvl";
    WriteFileBytes(image, "older image");
    ASSERT_EQ(::chown(image.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(image.c_str(), 06755), 0);
    ASSERT_TRUE(Run(Compress, drive, image));
    EXPECT_EQ(job->m_result, JobDone);
    struct stat st = StatOf(image);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 06755u);
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

TEST_F(ImageReplace, TheNewImageHasNoNameOrIsLockedWhileItIsWritten) {
    const std::string drive = Floppy(k360);
    std::string temp;
    bool lockable = true;
    window->onStatus = [&](const std::string& line) {
        if (line != "Reading Cylinder - 20  Head - 0") return;
        platform::ForEachFolderEntry(dir.path(), [&](const char* name) {
            if (std::strncmp(name, ".tavrel-", 8) == 0) temp = dir / name;
        });
        if (!temp.empty()) lockable = Lockable(temp);
    };
    ASSERT_TRUE(Run(Compress, drive, dir / "disk.tvl"));
    EXPECT_EQ(job->m_result, JobDone);
    EXPECT_EQ(temp, "") << "a name in the folder while the image was written";

    auto named = NoNamelessFiles();
    NewWindow();
    window->onStatus = [&](const std::string& line) {
        if (line != "Reading Cylinder - 20  Head - 0") return;
        platform::ForEachFolderEntry(dir.path(), [&](const char* name) {
            if (std::strncmp(name, ".tavrel-", 8) == 0) temp = dir / name;
        });
        lockable = Lockable(temp);
    };
    ASSERT_TRUE(Run(Compress, drive, dir / "disk.tvl"));
    EXPECT_EQ(job->m_result, JobDone);
    ASSERT_FALSE(temp.empty()) << "no new file beside the image while it was written";
    EXPECT_FALSE(lockable);
    ExpectImageOf(drive, dir / "disk.tvl");
    EXPECT_EQ(CountFilesContaining(dir.path(), ".tavrel-"), 0);
}

TEST_F(ImageReplace, RemovesOnlyLeftoversWhoseLockIsFree) {
    const std::string drive = Floppy(k360);
    WriteFileBytes(dir / ".tavrel-Ab12cd", "left by a killed job");
    WriteFileBytes(dir / ".tavrel-Zz99yy", "being written by a job elsewhere");
    WriteFileBytes(dir / ".tavrel-toolong7", "not a name of ours");
    WriteFileBytes(dir / "disk.tvl.tavrel-partial-1", "not a name of ours either");
    int writer = ::open((dir / ".tavrel-Zz99yy").c_str(), O_WRONLY);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    ASSERT_EQ(::fcntl(writer, F_OFD_SETLK, &lock), 0);
    ASSERT_TRUE(Run(Compress, drive, dir / "disk.tvl"));
    ::close(writer);
    EXPECT_EQ(job->m_result, JobDone);
    EXPECT_FALSE(FileExists(dir / ".tavrel-Ab12cd"));
    EXPECT_TRUE(FileExists(dir / ".tavrel-Zz99yy"));
    EXPECT_TRUE(FileExists(dir / ".tavrel-toolong7"));
    EXPECT_TRUE(FileExists(dir / "disk.tvl.tavrel-partial-1"));
}

TEST_F(ImageReplace, ALinkOfAnotherUserInASharedFolderIsNotFollowed) {
    if (geteuid() != 0) SKIP_OR_FAIL("giving a link to another user needs root");
    const std::string drive = Floppy(k360), shared = dir / "shared", kept = dir / "kept";
    ASSERT_EQ(::mkdir(shared.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    WriteFileBytes(kept, "root's file");
    ASSERT_EQ(::symlink(kept.c_str(), (shared + "/disk.tvl").c_str()), 0);
    ASSERT_EQ(::lchown((shared + "/disk.tvl").c_str(), 65534, 65534), 0);
    ASSERT_TRUE(Run(Compress, drive, shared + "/disk.tvl"));
    ExpectOneBox(std::strerror(EACCES), "File Open Error");
    EXPECT_TRUE(ReadFileBytes(kept) == "root's file") << "written through the link";
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
