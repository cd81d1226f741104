// The console tool under abuse: killed at random moments, two jobs on one drive, and inputs
// at the edges. An older image is never lost and nothing is left locked or half-written.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "cli/commands.h"
#include "cli/map_file.h"
#include "cli/text_file.h"
#include "platform/syscalls.h"
#include "tests/cli/cli_fixtures.h"
#include "tests/cli/loop_device.h"
#include "tests/cli/slow_mount.h"
#include "tests/support/facility.h"

namespace {

// A small file system of its own at path, to fill up; why says what kept it from being mounted.
struct SmallTmpfs {
    std::string path, why;
    SmallTmpfs(const std::string& at, const std::string& size) : path(at) {
        if (geteuid() != 0) {
            why = "mounting a small tmpfs needs root";
        } else if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
            why = std::string("cannot make ") + path + ": " + std::strerror(errno);
        } else if (::mount("tmpfs", path.c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0) {
            why = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
        }
    }
    ~SmallTmpfs() {
        if (why.empty()) ::umount2(path.c_str(), MNT_DETACH);
    }
};

class CliHardening : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
        ASSERT_TRUE(MakeFloppyImage(disk, kFloppyFormats[4]));
        ASSERT_EQ(Shell("mkdir -p '" + out + "'"), 0);
    }
    TempDir dir;
    const std::string disk = dir / "disk.raw";
    const std::string out = dir / "out";
};

TEST_F(CliHardening, KilledCompressNeverDamagesTheOlderImage) {
    // The older image: a real, complete image of another diskette.
    const std::string other = dir / "other.raw";
    ASSERT_TRUE(MakeFloppyImage(other, kFloppyFormats[3]));
    const std::string image = out + "/disk.tvl";
    ASSERT_EQ(RunTool({"convert", other, image}).exitCode, 0);
    const std::string older = ReadFileBytes(image);
    // The size the new image grows to, evenly while uncompressed; each kill lands when the run
    // has written a random part of it, or after it has finished writing.
    ASSERT_EQ(RunTool({"compress", "--no-compression", disk, dir / "new.tvl"}).exitCode, 0);
    const long long complete = SizeOf(dir / "new.tvl");
    ASSERT_GT(complete, 0);

    SlowMount slow(disk, dir / "mnt", 10);
    if (!slow.mounted())
        SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");

    std::mt19937 random(20261207);
    int killedWhileWriting = 0;
    for (int trial = 0; trial < 8; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        WriteFileBytes(image, older);
        const long long killAt = static_cast<long long>(random() % (complete + complete / 4));
        ToolProcess tool;
        ASSERT_TRUE(tool.Start({"compress", "--force", "--no-compression", slow.file(), image}));
        std::string partial;
        WaitWhileRunning(tool, [&] {
            if (partial.empty()) partial = tool.FileBeingWritten(out);
            if (partial.empty()) return false;
            const long long size = SizeOf(partial);
            return size < 0 || size >= killAt;  // gone: it has replaced the image
        });
        ASSERT_FALSE(partial.empty()) << "the run wrote no new file beside the image";
        tool.Signal(SIGKILL);
        ToolResult r = tool.Wait();
        if (r.signal != SIGKILL) {
            ASSERT_EQ(r.exitCode, 0) << r.err;  // it finished first
        } else if (ReadFileBytes(image) == older) {
            ++killedWhileWriting;
        }
        // The older image, or the complete new one: never anything between.
        if (ReadFileBytes(image) != older) {
            ToolResult v = RunTool({"verify", image, disk});
            ASSERT_EQ(v.exitCode, 0) << "neither the older image nor a complete new one: " << v.err;
        }
        // What a killed run leaves is named for what it is.
        for (const std::string& name : Listing(out))
            ASSERT_TRUE(name == "disk.tvl" || name.find(".tavrel-") == 0) << name;
    }
    RecordProperty("killed_while_writing", killedWhileWriting);
    EXPECT_GE(killedWhileWriting, 4);

    // The next run cleans up after the killed ones and replaces the image.
    ToolResult r = RunTool({"compress", "--force", disk, image});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Listing(out), std::vector<std::string>{"disk.tvl"});
    EXPECT_EQ(RunTool({"verify", image, disk}).exitCode, 0);
}

TEST_F(CliHardening, SecondJobOnABusyImageDriveChangesNothing) {
    SlowMount slow(disk, dir / "mnt", 10);
    if (!slow.mounted())
        SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");
    ASSERT_EQ(RunTool({"convert", disk, dir / "disk.tvl"}).exitCode, 0);
    ToolProcess first;
    ASSERT_TRUE(first.Start({"compress", slow.file(), out + "/first.tvl"}));
    ASSERT_TRUE(WaitWhileRunning(first, [&] { return first.HoldsLockOn(slow.file()); }));
    const std::string before = ReadFileBytes(disk);

    ToolResult second = RunTool({"compress", slow.file(), out + "/second.tvl"});
    EXPECT_EQ(second.exitCode, 2);
    EXPECT_EQ(second.err, "Drive Error: Device or resource busy: " + slow.file() +
                              " is held by another program (close it, or wait for it to end)\n");
    ToolResult expand = RunTool({"expand", dir / "disk.tvl", slow.file()});
    EXPECT_EQ(expand.exitCode, 2);
    EXPECT_EQ(expand.err, "Drive Error: Device or resource busy: " + slow.file() +
                              " is held by another program (close it, or wait for it to end)\n");

    ToolResult done = first.Wait();
    EXPECT_EQ(done.exitCode, 0) << done.err;
    EXPECT_TRUE(ReadFileBytes(disk) == before);
    EXPECT_EQ(Listing(out), std::vector<std::string>{"first.tvl"});
}

TEST_F(CliHardening, SecondJobOnABusyLoopDeviceChangesNothing) {
    if (geteuid() != 0) SKIP_OR_FAIL("loop devices need root");
    SlowMount slow(disk, dir / "mnt", 10);
    if (!slow.mounted())
        SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");
    LoopDevice loop(slow.file());
    if (loop.path().empty()) SKIP_OR_FAIL("this machine does not allow attaching a loop device");

    ASSERT_EQ(RunTool({"convert", disk, out + "/disk.tvl"}).exitCode, 0);
    const std::string before = ReadFileBytes(disk);
    ToolProcess first;
    ASSERT_TRUE(first.Start({"verify", out + "/disk.tvl", loop.path()}));
    // The job opens the image only once it holds the device exclusively.
    ASSERT_TRUE(WaitWhileRunning(first, [&] {
        return first.DescriptorsOn(loop.path()) > 0 && first.DescriptorsOn(out + "/disk.tvl") > 0;
    }));
    ToolResult second = RunTool({"expand", out + "/disk.tvl", loop.path()});
    EXPECT_EQ(second.exitCode, 2);
    EXPECT_EQ(second.err, "Drive Error: Device or resource busy: " + loop.path() +
                              " is held by another program (close it, or wait for it to end)\n");
    ToolResult done = first.Wait();
    EXPECT_EQ(done.exitCode, 0) << done.err;
    EXPECT_TRUE(ReadFileBytes(disk) == before) << "the refused expand wrote to the diskette";
}

TEST_F(CliHardening, DriveNamesOutsideTheAlphabet) {
    ASSERT_EQ(RunTool({"convert", disk, out + "/disk.tvl"}).exitCode, 0);
    for (const std::string drive : {"1", "1:", "[", "AA", "\xC3\xA9", "A:B", ":", " "}) {
        ToolResult r = RunTool({"verify", out + "/disk.tvl", drive});
        EXPECT_EQ(r.exitCode, 2) << "'" << drive << "'";
        EXPECT_EQ(LineCount(r.err), 1) << r.err;
        EXPECT_EQ(r.signal, 0);
    }
}

TEST_F(CliHardening, ImagePathsThatAreNotPlainFiles) {
    ASSERT_EQ(::mkfifo((out + "/fifo").c_str(), 0600), 0);
    for (const std::string& target : {out + "/fifo", std::string("/dev/null"), out}) {
        ToolResult r = RunTool({"compress", "--force", disk, target});
        EXPECT_EQ(r.exitCode, 2) << target;
        EXPECT_EQ(LineCount(r.err), 1) << r.err;
        ToolResult v = RunTool({"verify", target, disk});
        EXPECT_EQ(v.exitCode, 2) << target;
    }
    EXPECT_EQ(Listing(out), std::vector<std::string>{"fifo"});
}

TEST_F(CliHardening, SymlinkedImageIsReadThroughAndReplacedAsALink) {
    ASSERT_EQ(RunTool({"convert", disk, out + "/real.tvl"}).exitCode, 0);
    const std::string real = ReadFileBytes(out + "/real.tvl");
    ASSERT_EQ(::symlink("real.tvl", (out + "/link.tvl").c_str()), 0);
    EXPECT_EQ(RunTool({"verify", out + "/link.tvl", disk}).exitCode, 0);
    // Replacing the image replaces the file the link points to; the link stays a link. The
    // same holds for convert and for a link that points at nothing yet.
    ASSERT_EQ(
        RunTool({"compress", "--force", "--no-compression", disk, out + "/link.tvl"}).exitCode, 0);
    struct stat st;
    ASSERT_EQ(::lstat((out + "/link.tvl").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(SizeOf(out + "/real.tvl"), 1474884);
    ASSERT_EQ(RunTool({"convert", "--force", disk, out + "/link.tvl"}).exitCode, 0);
    EXPECT_EQ(ReadFileBytes(out + "/real.tvl"), real);
    ASSERT_EQ(::symlink("sub/../later.tvl", (out + "/dangling.tvl").c_str()), 0);
    ASSERT_EQ(Shell("mkdir '" + out + "/sub'"), 0);
    // A link is an output that exists, also one that points at nothing yet.
    EXPECT_EQ(RunTool({"compress", disk, out + "/dangling.tvl"}).err,
              "tavrel-cli: " + out + "/dangling.tvl exists; add --force to replace it\n");
    ASSERT_EQ(RunTool({"compress", "--force", disk, out + "/dangling.tvl"}).exitCode, 0);
    EXPECT_EQ(ReadFileBytes(out + "/later.tvl"), real);
    EXPECT_EQ(Listing(out), (std::vector<std::string>{"dangling.tvl", "later.tvl", "link.tvl",
                                                      "real.tvl", "sub"}));
}

TEST_F(CliHardening, LinksOfOtherUsersInASharedFolderAreNotFollowed) {
    if (geteuid() != 0) SKIP_OR_FAIL("giving links to other users needs root");
    // A folder like /tmp but nobody's, where a third user left links to root's files.
    const std::string shared = dir / "shared", keys = dir / "authorized_keys", home = dir / "home";
    ASSERT_EQ(Shell("mkdir -m 1777 '" + shared + "' && mkdir -m 700 '" + home + "'"), 0);
    ASSERT_EQ(::chown(shared.c_str(), 65534, 65534), 0);
    WriteFileBytes(keys, "root's keys");
    for (const auto& [name, to, owner] :
         {std::tuple{"keys.tvl", keys, 65533}, std::tuple{"home", home, 65533},
          std::tuple{"nobodys.tvl", dir / "nobodys.tvl", 65534},
          std::tuple{"roots.tvl", dir / "roots.tvl", 0}}) {
        ASSERT_EQ(::symlink(to.c_str(), (shared + "/" + name).c_str()), 0);
        ASSERT_EQ(::lchown((shared + "/" + name).c_str(), owner, owner), 0);
    }
    const std::string link = shared + "/keys.tvl", viaLink = shared + "/home/new.tvl";
    for (const auto& [args, target, refused] :
         {std::tuple{std::vector<std::string>{"compress", "--force", disk, link}, link, link},
          {{"convert", "--force", disk, link}, link, link},
          {{"convert", disk, viaLink}, viaLink, shared + "/home"},
          {{"rescue", "--force", disk, link}, link, link},
          {{"rescue", "--force", disk, out + "/r.img", "--map", link}, link, link}}) {
        ToolResult r = RunTool(args);
        EXPECT_EQ(r.exitCode, 2) << args[0];
        EXPECT_EQ(r.err, "tavrel-cli: cannot write " + target + ": " + refused +
                             " is a link of another user in a folder that everyone may write "
                             "to; it is not followed\n");
    }
    EXPECT_TRUE(ReadFileBytes(keys) == "root's keys") << "written through the link";
    EXPECT_EQ(Listing(home), std::vector<std::string>{});
    EXPECT_EQ(Listing(out), std::vector<std::string>{});
    // The folder owner's links are followed, and the caller's own.
    EXPECT_EQ(RunTool({"convert", "--force", disk, shared + "/nobodys.tvl"}).err, "");
    EXPECT_EQ(RunTool({"convert", "--force", disk, shared + "/roots.tvl"}).err, "");
    EXPECT_TRUE(SameBytes(dir / "nobodys.tvl", dir / "roots.tvl"));
}

TEST_F(CliHardening, ImageReplacedByAMemberOfItsGroupKeepsTheGroup) {
    if (geteuid() != 0) SKIP_OR_FAIL("acting as another user needs root");
    if (Shell("command -v setpriv >/dev/null") != 0)
        SKIP_OR_FAIL("setpriv (util-linux) is needed to run the tool as another user");
    // Root's image of group 4242, replaced by nobody, a member of that group besides its own.
    const std::string image = out + "/disk.tvl", err = dir / "err.txt";
    WriteFileBytes(image, "older image");
    ASSERT_EQ(::chown(image.c_str(), 0, 4242), 0);
    ASSERT_EQ(::chmod(image.c_str(), 0660), 0);
    ASSERT_EQ(::chown(out.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(disk.c_str(), 0644), 0);
    EXPECT_EQ(
        Shell("setpriv --reuid=65534 --regid=65534 --groups=4242 " TAVREL_CLI " convert --force '" +
              disk + "' '" + image + "' >/dev/null 2>'" + err + "'"),
        0)
        << ReadFileBytes(err);
    struct stat st;
    ASSERT_EQ(::stat(image.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u) << "root's ownership cannot be kept";
    EXPECT_EQ(st.st_gid, 4242u);
    EXPECT_EQ(st.st_mode & 07777, 0660u);
    EXPECT_EQ(RunTool({"verify", image, disk}).exitCode, 0);
}

TEST_F(CliHardening, FullDiskWhileWriting) {
    const std::string small = dir / "small";
    SmallTmpfs tmpfs(small, "256k");
    if (!tmpfs.why.empty()) SKIP_OR_FAIL(tmpfs.why);
    WriteFileBytes(small + "/disk.tvl", "older image");

    ToolResult r = RunTool({"compress", "--force", "--no-compression", disk, small + "/disk.tvl"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "Write Error: Error writing file.\n");
    EXPECT_EQ(ReadFileBytes(small + "/disk.tvl"), "older image");
    EXPECT_EQ(Listing(small), std::vector<std::string>{"disk.tvl"});

    ToolResult c = RunTool({"convert", "--force", "--no-compression", disk, small + "/disk.tvl"});
    EXPECT_EQ(c.exitCode, 2);
    EXPECT_EQ(LineCount(c.err), 1) << c.err;
    EXPECT_EQ(ReadFileBytes(small + "/disk.tvl"), "older image");
    EXPECT_EQ(Listing(small), std::vector<std::string>{"disk.tvl"});
}

// A batch's folder that fills up as a manifest takes the diskette's lines: the manifest keeps
// what it had, without half a line, which an append would leave.
TEST_F(CliHardening, FullDiskKeepsTheBatchManifestWhole) {
    ASSERT_EQ(RunTool({"compress", disk, dir / "disk.tvl"}).exitCode, 0);
    const std::string small = dir / "small", box = small + "/box";
    SmallTmpfs tmpfs(small, "1m");
    if (!tmpfs.why.empty()) SKIP_OR_FAIL(tmpfs.why);
    // An earlier run's manifest, its last page nearly full.
    std::string older;
    while (older.size() < 4000) older += std::string(64, '0') + "  disk-000.info\n";
    ASSERT_EQ(Shell("mkdir '" + box + "'"), 0);
    WriteFileBytes(box + "/manifest-sha256.txt", older);
    // Room for the image and the info file, and not a page more.
    struct statvfs fs {};
    ASSERT_EQ(::statvfs(small.c_str(), &fs), 0);
    const long long page = static_cast<long long>(fs.f_bsize);
    const long long spare =
        static_cast<long long>(fs.f_bavail) - (SizeOf(dir / "disk.tvl") + page - 1) / page - 1;
    WriteFileBytes(small + "/filler", std::string(static_cast<size_t>(spare * page), 'f'));

    ToolResult r = RunTool({"batch", disk, box, "--count", "1"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(ReadFileBytes(box + "/manifest-sha256.txt"), older);
    // Nothing is filed: the diskette's files keep their hidden names until a rerun with room
    // clears them and files the diskette.
    std::vector<std::string> visible;
    for (const std::string& name : Listing(box))
        if (name[0] != '.') visible.push_back(name);
    EXPECT_EQ(visible, std::vector<std::string>{"manifest-sha256.txt"});
    ASSERT_EQ(::unlink((small + "/filler").c_str()), 0);
    ToolResult rerun = RunTool({"batch", disk, box, "--count", "1"});
    EXPECT_EQ(rerun.exitCode, 0) << rerun.err;
    EXPECT_NE(rerun.err.find("disk-001: the unfinished image"), std::string::npos) << rerun.err;
    EXPECT_EQ(Listing(box),
              (std::vector<std::string>{".batch.lock", "batch.csv", "disk-001.dfxml",
                                        "disk-001.info", "disk-001.svg", "disk-001.tvl",
                                        "manifest-sha256.txt", "report.html"}));
}

TEST_F(CliHardening, ConvertWhoseSyncFailsKeepsTheOlderFile) {
    // Run in this process, where the system calls can be made to fail; the output's sync
    // is convert's first.
    const std::string target = out + "/disk.tvl";
    WriteFileBytes(target, "older image");
    int syncs = 0;
    platform::ScopedFaultHook fault([&](platform::SysCall call, const char*) {
        return call == platform::SysCall::Sync && syncs++ == 0 ? EIO : 0;
    });
    cli::Console console(true);
    cli::ConvertOptions options;
    options.source = disk;
    options.target = target;
    options.force = true;
    ::testing::internal::CaptureStderr();
    const int code = cli::RunConvert(options, console);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 2);
    EXPECT_EQ(LineCount(err), 1) << err;
    EXPECT_NE(err.find(std::strerror(EIO)), std::string::npos) << err;
    EXPECT_EQ(ReadFileBytes(target), "older image");
    EXPECT_EQ(Listing(out), std::vector<std::string>{"disk.tvl"});
}

// A checkpoint in the middle of a rescue whose image cannot be put in place: the map at the
// path must not mark read what the image at the path lacks. Run in this process, where one
// read of the drive fails (its side is then read sector by sector and kept at once) and that
// checkpoint's rename of the image fails.
TEST_F(CliHardening, ARescueCheckpointWhoseImageFailsLeavesTheMapBehindTheImage) {
    const std::string image = out + "/disk.tvl", map = image + ".map";
    int driveReads = 0, imageRenames = 0;
    platform::ScopedFaultHook fault([&](platform::SysCall call, const char* path) {
        if (call == platform::SysCall::Read && path == disk && ++driveReads == 20) return EIO;
        if (call == platform::SysCall::Rename && path == image && ++imageRenames == 2) return EIO;
        return 0;
    });
    cli::Console console(true);
    cli::RescueOptions options;
    options.drive = disk;
    options.image = image;
    options.retries = 0;
    ::testing::internal::CaptureStderr();
    const int code = cli::RunRescue(options, console);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 2) << err;
    ASSERT_EQ(imageRenames, 2) << "no checkpoint after the failed read: " << err;

    SectorMap marked;
    cli::MapStatus status;
    std::string error;
    ASSERT_TRUE(cli::LoadMapFile(map, &marked, &status, &error)) << error;
    ASSERT_EQ(RunTool({"convert", image, dir / "image.raw"}).exitCode, 0);
    const std::string held = ReadFileBytes(dir / "image.raw"), diskette = ReadFileBytes(disk);
    for (int s = 0; s < marked.sectors; ++s) {
        if (marked.states[s] != SectorFinished) continue;
        ASSERT_EQ(held.substr(s * 512u, 512), diskette.substr(s * 512u, 512))
            << "the map marks sector " << s << " read, the image lacks it";
    }
}

// A batch stopped between two manifest rewrites: check sees the manifests disagree, and the
// next batch on the folder makes them whole. Run in this process, where the second manifest's
// rename fails.
TEST_F(CliHardening, ABatchStoppedBetweenTwoManifestsIsMendedByTheNext) {
    const std::string box = dir / "box";
    cli::BatchOptions options;
    options.drives = {disk};
    options.folder = box;
    options.count = 1;
    options.hashes = 1 | 4;  // md5 and sha256
    ASSERT_EQ(RunTool({"batch", disk, box, "--count", "1", "--hash", "md5,sha256"}).exitCode, 0);
    int failed = 0;
    {
        platform::ScopedFaultHook fault([&](platform::SysCall call, const char* path) {
            const bool second = path && std::string(path) == box + "/manifest-sha256.txt";
            return call == platform::SysCall::Rename && second && ++failed == 1 ? EIO : 0;
        });
        cli::Console console(true);
        ::testing::internal::CaptureStderr();
        const int code = cli::RunBatch(options, console);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, 2) << err;
    }
    ASSERT_EQ(failed, 1);
    // Not the mismatches such a stop leaves, but the stop itself, until the filing is finished.
    ToolResult check = RunTool({"check", box});
    EXPECT_EQ(check.exitCode, 5) << check.out;
    EXPECT_EQ(check.out, "filing of disk-002 was interrupted: run tavrel-cli report " + box +
                             " (or any batch on the folder) to finish it\n");
    ToolResult rerun = RunTool({"batch", disk, box, "--count", "1"});
    EXPECT_EQ(rerun.exitCode, 0) << rerun.err;
    EXPECT_NE(rerun.err.find("disk-002: its manifest lines and batch.csv row made whole"),
              std::string::npos)
        << rerun.err;
    EXPECT_NE(rerun.out.find("disk-003: done"), std::string::npos) << rerun.out;
    EXPECT_EQ(RunTool({"check", box}).exitCode, 0);
    EXPECT_EQ(Shell("cd '" + box + "' && md5sum --quiet -c manifest-md5.txt"), 0);
}

// A read that fails in the middle of a file is an error, not its end: a manifest or map
// rewritten from what came before it would lose the rest.
TEST_F(CliHardening, AReadErrorInTheMiddleOfATextFileIsAnError) {
    const std::string path = dir / "long.txt";
    std::string lines;
    while (lines.size() < 300000) lines += std::to_string(lines.size()) + "  disk.info\n";
    WriteFileBytes(path, lines);
    std::string text, error;
    ASSERT_TRUE(cli::ReadTextFile(path, &text, &error)) << error;
    EXPECT_EQ(text, lines);

    int reads = 0;
    platform::ScopedFaultHook fault([&](platform::SysCall call, const char* at) {
        return call == platform::SysCall::Read && at == path && ++reads == 2 ? EIO : 0;
    });
    EXPECT_FALSE(cli::ReadTextFile(path, &text, &error));
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(error, "tavrel-cli: cannot read " + path + ": " + std::strerror(EIO));
    EXPECT_TRUE(text.empty()) << "what came before the failed read was kept";
}

TEST_F(CliHardening, WriteProtectedDisketteReadsButRefusesWrites) {
    if (geteuid() != 0) SKIP_OR_FAIL("loop devices need root");
    std::string device;
    {
        FILE* p = popen(("losetup -f --show -r '" + disk + "' 2>/dev/null").c_str(), "r");
        char line[128] = {};
        if (p && fgets(line, sizeof line, p)) device = std::string(line, strcspn(line, "\n"));
        if (p) pclose(p);
    }
    if (device.empty()) SKIP_OR_FAIL("this machine does not allow attaching a loop device");
    struct Detach {
        std::string device;
        ~Detach() { Shell("losetup -d " + device); }
    } detach{device};
    const std::string before = ReadFileBytes(disk);
    EXPECT_EQ(RunTool({"compress", device, out + "/disk.tvl"}).exitCode, 0);
    ToolResult r = RunTool({"expand", out + "/disk.tvl", device});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "Write Error: The diskette is write-protected.\n");
    EXPECT_TRUE(ReadFileBytes(disk) == before);
}

}  // namespace
