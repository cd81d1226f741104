// What a failed job says on the console names what the job looked at: the drive as the user
// named it and what the drive map says of it, the image, the track side that did not read, the
// formats that differ, and what holds a busy drive (another program's hold: cli_loop_test.cpp).
// Each line still starts with the job's own caption and words, which scripts match.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tests/cli/cli_fixtures.h"
#include "tests/cli/faulty_drive.h"
#include "tests/cli/loop_device.h"
#include "tests/support/facility.h"

namespace {

const std::string kLetters = " (tavrel-cli drives lists the drive letters)\n";
const std::string kScan = " (tavrel-cli drives --scan lists the floppy drives)\n";
const std::string kRescue = " (tavrel-cli rescue images a diskette with bad sectors)\n";

class CliMessages : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
        ASSERT_TRUE(MakeFloppyImage(raw, kFloppyFormats[4]));
        ASSERT_EQ(Shell("mkdir -p '" + config + "'"), 0);
    }
    // The error output of a run that must fail with exit code 2.
    std::string Failure(const std::vector<std::string>& args) {
        ToolResult r = RunTool(args, {{"XDG_CONFIG_HOME", config}});
        EXPECT_EQ(r.exitCode, 2) << args[0] << ": " << r.err;
        return r.err;
    }

    TempDir dir;
    std::string raw = dir / "original.raw";
    std::string image = dir / "a.tvl";
    std::string config = dir / "config";
};

TEST_F(CliMessages, AMissingDriveIsNamedWithWhatTheDriveMapSays) {
    WriteFileBytes(config + "/tavrel.INI",
                   "[Drives]\nA=/nowhere/missing.img\nB=/dev/tavrel-no-such-drive\n");
    const std::string missing = "Tavrel: Cannot find the drive specified: ";
    EXPECT_EQ(Failure({"compress", "Q:", image}),
              missing + "Q: is not in the drive map" + kLetters);
    EXPECT_EQ(Failure({"compress", "a", image}),
              missing + "A: is /nowhere/missing.img, which does not exist" + kLetters);
    EXPECT_EQ(Failure({"rescue", "B:", image}),
              missing + "B: is /dev/tavrel-no-such-drive, which does not exist" + kScan);
    EXPECT_EQ(Failure({"compress", "/dev/tavrel-no-such-drive", image}),
              missing + "/dev/tavrel-no-such-drive does not exist" + kScan);
    EXPECT_EQ(Failure({"compress", "AB", image}),
              missing + "AB is neither a drive letter nor an existing path" + kLetters);
    ASSERT_EQ(RunTool({"compress", raw, image}).exitCode, 0);
    EXPECT_EQ(Failure({"verify", image, dir / "typo.raw"}),
              missing + (dir / "typo.raw") + " does not exist" + kLetters);
    // A batch looks for its drives before it starts, and words them alike.
    for (const auto& [drive, said] : std::vector<std::pair<std::string, std::string>>{
             {"a", "A: is /nowhere/missing.img, which does not exist" + kLetters},
             {"/dev/tavrel-no-such-drive", "/dev/tavrel-no-such-drive does not exist" + kScan}}) {
        ToolResult r = RunTool({"batch", drive, dir / "box"}, {{"XDG_CONFIG_HOME", config}});
        EXPECT_EQ(r.exitCode, 64) << drive;
        EXPECT_EQ(r.err, "tavrel-cli: " + said);
    }
}

TEST_F(CliMessages, ADeviceNodeWithoutItsDeviceIsToldFromAMissingOne) {
    // As /dev/fd0 is on a PC without a floppy controller.
    const std::string node = dir / "fd9";
    if (::mknod(node.c_str(), S_IFBLK | 0600, makedev(2, 99)) != 0)
        SKIP_OR_FAIL("cannot make a device node here (needs root)");
    WriteFileBytes(config + "/tavrel.INI", "[Drives]\nA=" + node + "\n");
    const std::string missing = "Tavrel: Cannot find the drive specified: ";
    EXPECT_EQ(Failure({"compress", "A:", image}),
              missing + "A: is " + node + ", which has no drive behind it" + kLetters);
    EXPECT_EQ(Failure({"compress", node, image}),
              missing + node + " has no drive behind it" + kLetters);
}

TEST_F(CliMessages, AnImageThatCannotBeOpenedIsNamed) {
    const std::string nowhere = dir / "no/such/folder/x.tvl";
    EXPECT_EQ(Failure({"compress", raw, nowhere}),
              "File Open Error: " + nowhere + ": " + std::strerror(ENOENT) + "\n");
    // A folder the user may not write to.
    const std::string folder = dir / "locked", locked = folder + "/x.tvl";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(raw.c_str(), 0644), 0);
    const std::string why = RunUnprivileged([&] {
        ToolResult r = RunTool({"compress", raw, locked});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err, "File Open Error: " + locked + ": " + std::strerror(EACCES) + "\n");
    });
    if (!why.empty()) SKIP_OR_FAIL(why);
}

TEST_F(CliMessages, AnImageOfAnotherFormatNamesBothFormats) {
    const std::string small = dir / "720.raw";
    ASSERT_TRUE(MakeFloppyImage(small, kFloppyFormats[2]));
    ASSERT_EQ(RunTool({"compress", small, image}).exitCode, 0);
    const std::string before = ReadFileBytes(raw);
    for (const char* command : {"verify", "expand"})
        EXPECT_EQ(Failure({command, image, raw}),
                  "Tavrel: Invalid media type: the image is of a 720 KB diskette, the one in " +
                      raw + " is 1.44 MB (F0).\n");
    EXPECT_TRUE(ReadFileBytes(raw) == before);
}

TEST_F(CliMessages, AReadErrorNamesTheTrackSideAndTheDrive) {
    ASSERT_EQ(RunTool({"compress", raw, image}).exitCode, 0);
    // Sector 5 of cylinder 20, head 1.
    const int bad = (2 * 20 + 1) * kFloppyFormats[4].sectorsPerTrack + 4;
    FaultyDrive drive(raw, dir.path(), "bad " + std::to_string(bad));
    if (!drive.problem().empty()) SKIP_OR_FAIL(drive.problem());
    const std::string line = "Read Error: " + std::string(std::strerror(EIO)) +
                             " at cylinder 20 head 1 of " + drive.path() + kRescue;
    EXPECT_EQ(Failure({"compress", drive.path(), dir / "b.tvl"}), line);
    EXPECT_EQ(Failure({"verify", image, drive.path()}), line);
}

// Unmounts what it mounted.
class Mounted {
  public:
    Mounted(const std::string& device, const std::string& point) : m_point(point) {
        m_mounted = Shell("mkdir -p '" + point + "' && mount -o ro '" + device + "' '" + point +
                          "' 2>/dev/null") == 0;
    }
    ~Mounted() {
        if (m_mounted) Shell("umount '" + m_point + "'");
    }
    bool mounted() const { return m_mounted; }

  private:
    std::string m_point;
    bool m_mounted = false;
};

TEST_F(CliMessages, AMountedDriveNamesWhereItIsMounted) {
    // Any file system the kernel mounts holds the drive; not every kernel has FAT built in.
    const std::string disk = dir / "ext2.raw";
    if (Shell("mkfs.ext2 -q -F '" + disk + "' 1440 >/dev/null 2>&1") != 0)
        SKIP_OR_FAIL("mkfs.ext2 (e2fsprogs) is not installed");
    LoopDevice device(disk);
    if (device.path().empty()) SKIP_OR_FAIL("no loop device: losetup is not allowed here");
    // The mount table writes the blank as \040.
    const std::string point = dir / "mount point";
    Mounted mount(device.path(), point);
    if (!mount.mounted()) SKIP_OR_FAIL("cannot mount an ext2 file system here (needs root)");
    const std::string busy = "Drive Error: " + std::string(std::strerror(EBUSY)) + ": ";
    EXPECT_EQ(Failure({"compress", device.path(), dir / "b.tvl"}),
              busy + device.path() + " is mounted at " + point + " (unmount it)\n");
    ASSERT_EQ(RunTool({"compress", raw, image}).exitCode, 0);
    WriteFileBytes(config + "/tavrel.INI", "[Drives]\nB=" + device.path() + "\n");
    EXPECT_EQ(Failure({"verify", image, "B:"}),
              busy + "B: (" + device.path() + ") is mounted at " + point + " (unmount it)\n");
}

TEST_F(CliMessages, ADriveGivenAsAPathIsNamedByThatPath) {
    const std::string other = dir / "other.raw";
    ASSERT_TRUE(MakeFloppyImage(other, kFloppyFormats[4], false));
    ASSERT_EQ(RunTool({"compress", raw, image}).exitCode, 0);
    ToolResult r = RunTool({"verify", image, other});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("Tavrel: a.tvl and " + other + " are NOT the same!"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("Z:"), std::string::npos) << r.err;
}

}  // namespace
