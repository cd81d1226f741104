// A box of diskettes through batch: an image file stands in for the drive, and putting another
// file in its place is putting in the next diskette. What is filed is checked by the system's
// own sha256sum and md5sum as well as by the tool's check.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "tests/cli/batch_fixture.h"
#include "tests/cli/loop_device.h"
#include "tests/cli/pty_tool.h"
#include "tests/cli/slow_mount.h"
#include "tests/support/child_exit.h"
#include "tests/support/facility.h"

namespace {

const std::string kFirstCtrlC = "Ending after this diskette; Ctrl+C again cancels it.";

// The tool with its standard output into a pipe that the test reads and then closes, as
// `batch ... | head -1` has it; standard error goes to errFile.
class PipedTool {
  public:
    ~PipedTool() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        CloseOutput();
    }
    bool Start(const std::vector<std::string>& args, const std::string& errFile) {
        m_errFile = errFile;
        std::vector<std::string> strings = {TAVREL_CLI};
        strings.insert(strings.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : strings) argv.push_back(arg.data());
        argv.push_back(nullptr);
        int out[2];
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (err < 0 || pipe2(out, O_CLOEXEC) != 0) return false;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            dup2(err, STDERR_FILENO);
            dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
            signal(SIGPIPE, SIG_DFL);  // as a shell starts a pipeline
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err);
        m_out = out[0];
        return m_pid > 0;
    }
    // The next line written, without its end; "" when the output ends first or a minute passes.
    std::string ReadLine() {
        std::string line;
        char c = 0;
        pollfd in{m_out, POLLIN, 0};
        while (poll(&in, 1, 60000) == 1 && read(m_out, &c, 1) == 1 && c != '\n') line += c;
        return c == '\n' ? line : "";
    }
    void CloseOutput() {
        if (m_out >= 0) close(m_out);
        m_out = -1;
    }
    // The end, or after a minute the tool killed: a batch that goes on waits for ever.
    ToolResult Wait() {
        if (!ChildExit(m_pid).Wait(60000)) kill(m_pid, SIGKILL);
        ToolResult result;
        int status = 0;
        if (waitpid(m_pid, &status, 0) == m_pid) {
            if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
            if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
        }
        m_pid = -1;
        result.err = ReadFileBytes(m_errFile);
        return result;
    }

  private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_errFile;
};

class CliBatch : public BatchFixture {
  protected:
    // Puts diskette i in the drive: written over the drive's file in place, as `cat b.img > drive`
    // does, which keeps its inode and size.
    void Overwrite(int i) { ASSERT_EQ(Shell("cat '" + Disk(i) + "' > '" + drive + "'"), 0); }
    // Puts diskette i in the drive: a new file takes the drive's name at once.
    void Insert(int i) {
        ASSERT_EQ(Shell("cp '" + Disk(i) + "' '" + drive + ".new' && mv '" + drive + ".new' '" +
                        drive + "'"),
                  0);
    }
    const std::string drive = dir / "drive";
    // The files (not folders) the listing of an image counts.
    int FilesIn(const std::string& image) {
        const std::string out = RunTool({"files", image, "--json"}).out;
        const size_t at = out.find("\"fileCount\": ");
        return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + 13);
    }
};

TEST_F(CliBatch, DiskettesSwappedAreImagedHashedFiledAndCheckedAndARunGoesOn) {
    Insert(0);
    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"batch", drive, folder, "--count", "3", "--hash", "md5,sha256"}));
    for (int i = 1; i < 3; ++i) {
        // Swapped once the diskette is filed, its line printed: the batch must wait for another.
        const std::string filed = "disk-00" + std::to_string(i) + ": ";
        ASSERT_TRUE(WaitWhileRunning(tool, [&] {
            return tool.OutputSoFar().find(filed) != std::string::npos;
        })) << filed;
        if (i == 2) {
            ASSERT_EQ(::remove(drive.c_str()), 0);  // taken out before the next goes in
            Insert(i);
        } else {
            Overwrite(i);
        }
    }
    ToolResult batch = tool.Wait();
    ASSERT_EQ(batch.exitCode, 0) << batch.err;
    EXPECT_EQ(LineCount(batch.out), 3) << batch.out;

    for (int i = 0; i < 3; ++i) {
        const std::string name = folder + "/disk-00" + std::to_string(i + 1);
        const std::string info = ReadFileBytes(name + ".info");
        // The content hash is that of the diskette's sectors, and the image alone gives it back.
        const std::string content = "content-sha256: " + Sha256Of(Disk(i)) + "\n";
        EXPECT_NE(info.find(content), std::string::npos) << info;
        EXPECT_NE(info.find("verify: same\n"), std::string::npos) << info;
        EXPECT_NE(info.find("volume-serial: "), std::string::npos) << info;
        EXPECT_NE(info.find("image-sha256: " + Sha256Of(name + ".tvl")), std::string::npos);
        ToolResult shown = RunTool({"info", name + ".tvl", "--hash", "sha256"});
        EXPECT_NE(shown.out.find(content), std::string::npos) << shown.out;
        // What is on it, filed beside it: the listing files writes, and its count in the info.
        ToolResult listed = RunTool({"files", name + ".tvl", "--dfxml"});
        EXPECT_EQ(ReadFileBytes(name + ".dfxml"), listed.out);
        EXPECT_NE(listed.out.find("<fileobject>"), std::string::npos) << listed.out;
        EXPECT_NE(info.find("files: " + std::to_string(FilesIn(name + ".tvl")) + ", damaged: 0\n"),
                  std::string::npos)
            << info;
    }
    EXPECT_EQ(LineCount(ReadFileBytes(folder + "/batch.csv")), 4);
    EXPECT_EQ(Shell("cd '" + folder + "' && sha256sum --quiet -c manifest-sha256.txt"), 0);
    EXPECT_EQ(Shell("cd '" + folder + "' && md5sum --quiet -c manifest-md5.txt"), 0);
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);

    // A second run on the folder goes on with the next number and the same manifests.
    Insert(1);
    ToolResult again = RunTool({"-q", "batch", drive, folder, "--count", "1", "--json"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.out.rfind("{\"name\":\"disk-004\"", 0), 0u) << again.out;
    // Four files a diskette, and batch.csv and report.html.
    EXPECT_EQ(LineCount(ReadFileBytes(folder + "/manifest-sha256.txt")), 18);
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);

    // A changed byte is found, and so is a file gone.
    FlipByte(folder + "/disk-002.tvl", SizeOf(folder + "/disk-002.tvl") / 2);
    ASSERT_EQ(::remove((folder + "/disk-003.info").c_str()), 0);
    ToolResult check = RunTool({"check", folder});
    EXPECT_EQ(check.exitCode, 3);
    EXPECT_NE(check.out.find("disk-002.tvl: sha256 differs"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("disk-003.info: missing"), std::string::npos) << check.out;
}

TEST_F(CliBatch, RawImagesAndAFailedDisketteAreFiledToo) {
    // Not a diskette (a boot sector that names no format, a size that is no diskette's): logged
    // with its reason and what its boot sector said, and the batch goes on to the next.
    WriteFileBytes(drive, std::string("\xEB\x3C\x90MSDOS5.0", 11) + std::string(999989, '\0'));
    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"batch", drive, folder, "--count", "2", "--raw", "--name", "box{n}"}));
    ASSERT_TRUE(WaitWhileRunning(tool, [&] { return SizeOf(folder + "/box1.info") > 0; }));
    Insert(2);
    ToolResult batch = tool.Wait();
    EXPECT_EQ(batch.exitCode, 2) << batch.err;
    const std::string failed = ReadFileBytes(folder + "/box1.info");
    EXPECT_NE(failed.find("result: failed\n"), std::string::npos) << failed;
    EXPECT_NE(failed.find("oem-name: MSDOS5.0\n"), std::string::npos) << failed;
    EXPECT_TRUE(SameBytes(folder + "/box2.img", Disk(2)));
    EXPECT_EQ(
        Listing(folder),
        (std::vector<std::string>{".batch.lock", "batch.csv", "box1.info", "box2.dfxml", "box2.img",
                                  "box2.info", "box2.svg", "manifest-sha256.txt", "report.html"}));
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
    // A name whose only file is its info is taken: a rerun goes on with the next.
    ToolResult rerun = RunTool({"batch", drive, folder, "--count", "1", "--name", "box{n}"});
    EXPECT_EQ(rerun.exitCode, 0) << rerun.err;
    EXPECT_NE(rerun.out.find("box3: done"), std::string::npos) << rerun.out;

    // A letter with no drive behind it is refused at once, not waited on for ever.
    ToolResult none = RunTool({"batch", "Q:", dir / "other"});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_EQ(none.err,
              "Tavrel: Cannot find the drive specified: Q: is not in the drive map (tavrel-cli "
              "drives lists the drive letters)\n");
}

// The first Ctrl+C ends the batch once the diskette in the drive is filed; a second one
// cancels that diskette, which is logged as such.
TEST_F(CliBatch, CtrlCEndsTheBatchAfterTheDisketteAndASecondCancelsIt) {
    SlowMount slow(Disk(0), dir / "mnt", 10);
    if (!slow.mounted())
        SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");
    for (int signals : {1, 2}) {
        const std::string box = folder + std::to_string(signals);
        ToolProcess tool;
        ASSERT_TRUE(tool.Start({"batch", slow.file(), box}));
        ASSERT_TRUE(WaitWhileRunning(tool, [&] { return !tool.FileBeingWritten(box).empty(); }));
        // Two of one signal may arrive as one; a SIGTERM counts as a Ctrl+C.
        tool.Signal(SIGINT);
        if (signals == 2) tool.Signal(SIGTERM);
        ToolResult r = tool.Wait();
        const std::string info = ReadFileBytes(box + "/disk-001.info");
        if (signals == 1) {
            EXPECT_EQ(r.exitCode, 0) << r.err;
            // Off a terminal too the first is answered.
            EXPECT_EQ(r.err,
                      kFirstCtrlC + "\nBatch ended: 1 done, 0 failed, 0 unreadable sectors\n");
            EXPECT_EQ(RunTool({"verify", box + "/disk-001.tvl", Disk(0)}).exitCode, 0);
            EXPECT_NE(info.find("verify: same\n"), std::string::npos) << info;
        } else {
            EXPECT_EQ(r.exitCode, 2) << r.err;
            EXPECT_NE(info.find("result: cancelled\n"), std::string::npos) << info;
            EXPECT_EQ(SizeOf(box + "/disk-001.tvl"), -1);
        }
        EXPECT_EQ(LineCount(r.out), 1) << r.out;
        EXPECT_EQ(RunTool({"check", box}).exitCode, 0);
    }
}

// On a terminal the first Ctrl+C is answered at once, while the diskette is still read, and the
// diskette is finished all the same.
TEST_F(CliBatch, TheFirstCtrlCIsAnsweredAtOnce) {
    // 160 track sides at 20 ms a read, and as many to verify: far longer than an answer takes.
    SlowMount slow(Disk(0), dir / "mnt", 20);
    if (!slow.mounted())
        SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");
    PtyTool tool;
    ASSERT_TRUE(tool.Start({"batch", slow.file(), folder}));
    size_t at = 0;
    ASSERT_TRUE(tool.WaitFor("cylinder", 0, &at)) << tool.screen();
    tool.Type("\x03");
    ASSERT_TRUE(tool.WaitFor(kFirstCtrlC, at, &at)) << tool.screen();
    EXPECT_FALSE(FileExists(folder + "/disk-001.info")) << "answered only once it was filed";
    EXPECT_EQ(tool.Wait(), 0) << tool.screen();
    EXPECT_EQ(tool.screen().find(kFirstCtrlC, at + 1), std::string::npos) << tool.screen();
    const std::string info = ReadFileBytes(folder + "/disk-001.info");
    EXPECT_NE(info.find("result: done\n"), std::string::npos) << info;
    EXPECT_NE(info.find("verify: same\n"), std::string::npos) << info;
}

// --ask takes a diskette of --count at its question: the diskette asked for is imaged all the
// same, as many as the count says.
TEST_F(CliBatch, AskImagesAsManyDiskettesAsTheCountSays) {
    for (int count : {1, 2}) {
        const std::string box = folder + std::to_string(count);
        Insert(0);
        PtyTool tool;
        ASSERT_TRUE(tool.Start({"batch", drive, box, "--ask", "--count", std::to_string(count)}));
        size_t at = 0;
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(tool.WaitFor("Identifier of the next diskette in ", at, &at))
                << tool.screen();
            tool.Type("\n");
            ASSERT_TRUE(tool.WaitFor("Text on its label", at, &at)) << tool.screen();
            tool.Type("label " + std::to_string(i + 1) + "\n");
            if (i > 0) Insert(i);
        }
        EXPECT_EQ(tool.Wait(), 0) << tool.screen();
        for (int i = 0; i < count; ++i) {
            const std::string info =
                ReadFileBytes(box + "/disk-00" + std::to_string(i + 1) + ".info");
            EXPECT_NE(info.find("label-text: label " + std::to_string(i + 1) + "\n"),
                      std::string::npos)
                << count << ": " << info;
            EXPECT_NE(info.find("content-sha256: " + Sha256Of(Disk(i))), std::string::npos);
        }
        EXPECT_EQ(LineCount(ReadFileBytes(box + "/batch.csv")), count + 1) << count;
    }
}

// A closed standard output (`batch ... | head -1`) ends the batch as the first Ctrl+C does: the
// diskettes in hand are finished and filed, standard error says why, and the exit code that
// lines were lost. A second drive, slow, is in the middle of its diskette when it happens.
TEST_F(CliBatch, AClosedOutputEndsTheBatchOnceTheDiskettesInHandAreFiled) {
    SlowMount slow(Disk(2), dir / "mnt", 20);
    if (!slow.mounted())
        SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");
    Insert(0);
    PipedTool tool;
    ASSERT_TRUE(tool.Start({"batch", drive, slow.file(), folder, "--count", "5"}, dir / "err"));
    const std::string first = tool.ReadLine();
    ASSERT_EQ(first.rfind(drive + "  disk-00", 0), 0u) << first;
    tool.CloseOutput();
    Insert(1);
    ToolResult r = tool.Wait();
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find("tavrel-cli: standard output is closed: the batch ends once the "
                         "diskettes being imaged are filed (batch.csv lists every one)\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("\nBatch ended: 3 done, 0 failed, 0 unreadable sectors\n"),
              std::string::npos)
        << r.err;
    const std::string csv = ReadFileBytes(folder + "/batch.csv");
    EXPECT_EQ(LineCount(csv), 4) << csv;
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(csv.find(Sha256Of(Disk(i))), std::string::npos) << i << ": " << csv;
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
}

// A diskette whose boot sector names its format but whose file system is not FAT (no root
// folder) is imaged and filed all the same; its info says why nothing is listed.
TEST_F(CliBatch, ADisketteWithoutAFatFileSystemIsFiledWithTheReason) {
    std::string bytes = ReadFileBytes(Disk(0));
    bytes[17] = bytes[18] = '\0';  // no root folder entries: no FAT file system
    WriteFileBytes(drive, bytes);
    ToolResult r = RunTool({"batch", drive, folder, "--count", "1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string info = ReadFileBytes(folder + "/disk-001.info");
    EXPECT_NE(info.find("result: done\n"), std::string::npos) << info;
    EXPECT_NE(info.find("files: none (no FAT file system"), std::string::npos) << info;
    // The drive that read it: here a file standing in for one.
    EXPECT_NE(info.find("\ndrive-kind: image file\n"), std::string::npos) << info;
    EXPECT_FALSE(FileExists(folder + "/disk-001.dfxml"));
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
}

// A block device: the diskette is taken out (the loop device detached, its size 0) and another
// put in (a new file attached), and the batch sees both from the device.
TEST_F(CliBatch, ADisketteSwappedInABlockDeviceIsSeen) {
    LoopDevice loop(Disk(0));
    if (loop.path().empty()) SKIP_OR_FAIL("no loop device can be set up here");
    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"batch", loop.path(), folder, "--count", "2"}));
    ASSERT_TRUE(WaitWhileRunning(tool, [&] { return SizeOf(folder + "/disk-001.info") > 0; }));
    // The batch's own look at the device may hold it open a moment: losetup is tried again.
    ASSERT_EQ(Shell("losetup -d " + loop.path() + " && until losetup " + loop.path() + " '" +
                    Disk(1) + "' 2>/dev/null; do :; done"),
              0);
    ToolResult r = tool.Wait();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string info = ReadFileBytes(folder + "/disk-002.info");
    EXPECT_NE(info.find("content-sha256: " + Sha256Of(Disk(1))), std::string::npos);
    EXPECT_NE(info.find("\ndrive-kind: loop device on "), std::string::npos) << info;
}

}  // namespace
