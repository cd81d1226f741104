// rescue over a drive with real read errors: a FAT diskette served by the faulty FUSE file
// system under a loop device, so every failure is the kernel's EIO on an O_DIRECT read.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <sstream>

#include "tests/cli/rescue_fixtures.h"

namespace {

using namespace std::string_literals;

const FloppyFormat& k144 = kFloppyFormats[4];

class CliRescue : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
        if (!HaveDdrescue()) SKIP_OR_FAIL("ddrescuelog (package gddrescue) is not installed");
        ASSERT_TRUE(MakeFloppyImage(dir / "original.raw", k144));
        original = ReadFileBytes(dir / "original.raw");
        ASSERT_EQ(RunTool({"compress", dir / "original.raw", dir / "compressed.tvl"}).exitCode, 0);
    }
    // The faulty drive; nullptr after a skip.
    FaultyDrive* Drive(const std::string& plan) {
        drive = std::make_unique<FaultyDrive>(dir / "original.raw", dir.path(), plan);
        return drive->problem().empty() ? drive.get() : nullptr;
    }
    ToolResult Rescue(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"rescue", drive->path(), image};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunTool(args);
    }

    TempDir dir;
    std::string original;
    std::string image = dir / "rescued.tvl";
    std::string map = image + ".map";
    std::unique_ptr<FaultyDrive> drive;
};

#define DRIVE_OR_SKIP(plan)                           \
    if (!Drive(plan)) SKIP_OR_FAIL(drive->problem()); \
    if (!drive->problem().empty()) return

TEST_F(CliRescue, ACleanDisketteGivesTheCompressImageAndAFinishedMap) {
    DRIVE_OR_SKIP("");
    ToolResult c = RunTool({"compress", drive->path(), dir / "c.tvl"});
    ASSERT_EQ(c.exitCode, 0) << c.err;
    const FaultyStats compressReads = drive->Stats();
    drive->SetPlan("");  // counts afresh

    ToolResult r = Rescue();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(SameBytes(image, dir / "compressed.tvl"));
    EXPECT_NE(r.out.find("2,880 of 2,880 sectors read; map in " + map), std::string::npos) << r.out;
    // Not one read more than a compress issues.
    EXPECT_EQ(drive->Stats().reads, compressReads.reads);
    EXPECT_EQ(ListedBy(map, '+', dir.path()).size(), 2880u);
    EXPECT_EQ(Shell("ddrescuelog -D '" + map + "' >/dev/null 2>&1"), 0) << ReadFileBytes(map);

    // Uncompressed, too, as compress writes it.
    ASSERT_EQ(
        RunTool({"compress", "--no-compression", dir / "original.raw", dir / "n.tvl"}).exitCode, 0);
    r = Rescue({"--force", "--no-compression"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(SameBytes(image, dir / "n.tvl"));
}

TEST_F(CliRescue, OneBadSectorInTheMiddleOfATrackIsAllThatIsLost) {
    const int bad = Logical(k144, 40, 1, 10);
    DRIVE_OR_SKIP("bad " + std::to_string(bad));
    ToolResult r = Rescue();
    ASSERT_EQ(r.exitCode, 4) << r.err;
    EXPECT_NE(r.out.find("2,879 of 2,880 sectors read, 1 unreadable; map in " + map),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\nUnreadable: cylinder 40 head 1 sector 10\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(RawOf(image, dir.path()), WithFill(original, {bad}));
    EXPECT_EQ(ListedBy(map, '-', dir.path()), std::set<int>{bad});
    EXPECT_EQ(ListedBy(map, '+', dir.path()).size(), 2879u);
    // The side read whole four times, then its sectors one by one, the bad one four times.
    EXPECT_EQ(drive->Stats().failed, 8);

    // info marks the side.
    r = RunTool({"info", image, "--bad", map});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("  Unreadable:   1 sector on 1 track side (" + map + ")\n"),
              std::string::npos)
        << r.out;
    std::string head1 = r.out.substr(r.out.find("    head 1  ") + 12, 80);
    EXPECT_EQ(head1.find('!'), 40u) << r.out;
    EXPECT_EQ(head1.find('!', 41), std::string::npos) << r.out;
}

// To a raw name the rescue works on NAME.img.tvl, the only file it can go on with, and makes
// the raw image once every sector is read or given up; a finished one is not gone on with.
TEST_F(CliRescue, ARawImageIsMadeOnceTheRescueIsFinished) {
    const int bad = Logical(k144, 40, 1, 10);
    DRIVE_OR_SKIP("bad " + std::to_string(bad));
    const std::string raw = dir / "rescued.img", work = raw + ".tvl", rawMap = raw + ".map";
    ToolResult r = RunTool({"rescue", drive->path(), raw});
    ASSERT_EQ(r.exitCode, 4) << r.err;
    EXPECT_EQ(ReadFileBytes(raw), WithFill(original, {bad}));
    EXPECT_FALSE(FileExists(work));
    EXPECT_EQ(ListedBy(rawMap, '-', dir.path()), std::set<int>{bad});
    r = RunTool({"rescue", drive->path(), raw});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(ReadFileBytes(raw), WithFill(original, {bad}));

    // An unfinished one (here: sector 0 left) goes on from its .tvl, and ends raw.
    drive->SetPlan("");
    ASSERT_EQ(RunTool({"rescue", "--force", drive->path(), work}).exitCode, 0);
    WriteFileBytes(work + ".map", "0x0 + 1\n0x0 0x200 -\n0x200 0x167E00 +\n");
    r = RunTool({"rescue", drive->path(), raw, "--map", work + ".map"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFileBytes(raw), original);
    EXPECT_FALSE(FileExists(work));
}

TEST_F(CliRescue, WeakSectorsAreRecoveredByTheRetries) {
    const int onSide = Logical(k144, 12, 0, 5), onSector = Logical(k144, 50, 1, 18);
    const int byChance = Logical(k144, 70, 0, 3);
    // The first is read on the side's second try; the second fails every read of its side and
    // its first read alone; the third fails half its reads, as the seed decides.
    DRIVE_OR_SKIP("weak " + std::to_string(onSide) + " 1\nweak " + std::to_string(onSector) +
                  " 8\nchance 11 50 " + std::to_string(byChance) + "\n");
    ToolResult r = Rescue({"--retries", "6"});
    ASSERT_EQ(r.exitCode, 0) << r.err << r.out;
    EXPECT_TRUE(SameBytes(image, dir / "compressed.tvl"));
    EXPECT_EQ(ListedBy(map, '+', dir.path()).size(), 2880u);

    // Without retries the same faults cost sectors.
    drive->SetPlan("weak " + std::to_string(onSide) + " 1\nweak " + std::to_string(onSector) +
                   " 8\n");
    r = Rescue({"--force", "--retries", "0"});
    ASSERT_EQ(r.exitCode, 4) << r.err;
    EXPECT_EQ(ListedBy(map, '-', dir.path()), (std::set<int>{onSector}));
}

TEST_F(CliRescue, AWholeBadTrackIsFilledWithTheGivenByte) {
    const int first = Logical(k144, 10, 0, 1);
    DRIVE_OR_SKIP("bad " + std::to_string(first) + " 18");
    ToolResult r = Rescue({"--fill-byte", "E5", "--retries", "1"});
    ASSERT_EQ(r.exitCode, 4) << r.err;
    EXPECT_NE(r.out.find("\nUnreadable: cylinder 10 head 0 sectors 1-18\n"), std::string::npos)
        << r.out;
    std::set<int> bad;
    for (int s = first; s < first + 18; ++s) bad.insert(s);
    EXPECT_EQ(RawOf(image, dir.path()), WithFill(original, bad, 0xE5));
    EXPECT_EQ(ListedBy(map, '-', dir.path()), bad);
    // Two reads of the side, two of each sector.
    EXPECT_EQ(drive->Stats().failed, 2 + 2 * 18);
}

TEST_F(CliRescue, BadSectorsBesideTheBootSectorDoNotStopTheRescue) {
    // The boot sector reads; the first FAT's sectors after it do not.
    DRIVE_OR_SKIP("bad 1 3");
    ToolResult r = Rescue();
    ASSERT_EQ(r.exitCode, 4) << r.err;
    EXPECT_NE(r.out.find("\nUnreadable: cylinder 0 head 0 sectors 2-4\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(RawOf(image, dir.path()), WithFill(original, {1, 2, 3}));

    // A weak boot sector is read again like any sector.
    drive->SetPlan("weak 0 2");
    r = Rescue({"--force"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(SameBytes(image, dir / "compressed.tvl"));

    // A resume takes the format from its image when the boot sector no longer reads, and its
    // map keeps the line that names the diskette for the next resume.
    std::string older = ReadFileBytes(map);
    const std::string whole = "0x00000000  0x00168000  +\n";
    ASSERT_NE(older.find(whole), std::string::npos) << older;
    older.replace(older.find(whole), whole.size(),
                  "0x0 0x200 +\n0x200 0x200 -\n0x400 0x167C00 +\n");
    const size_t at = older.find("# Diskette: ");
    ASSERT_NE(at, std::string::npos) << older;
    const std::string diskette = older.substr(at, older.find('\n', at) + 1 - at);
    WriteFileBytes(map, older);
    drive->SetPlan("bad 0");
    r = Rescue();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("2,880 of 2,880 sectors read (1 of them now)"), std::string::npos)
        << r.out;
    EXPECT_TRUE(SameBytes(image, dir / "compressed.tvl"));
    EXPECT_NE(r.err.find("the boot sector does not read, so it is not known whether"),
              std::string::npos)
        << r.err;
    EXPECT_NE(ReadFileBytes(map).find(diskette), std::string::npos) << ReadFileBytes(map);

    // A fresh rescue takes the format from the drive (the loop device's size) and reads
    // everything but the boot sector, which its map marks unreadable.
    r = Rescue({"--force"});
    ASSERT_EQ(r.exitCode, 4) << r.err;
    EXPECT_NE(r.err.find("Read Error: The boot sector cannot be read: the drive reports a 1.44 "
                         "MB (F0) diskette, and the rescue reads it as one."),
              std::string::npos)
        << r.err;
    EXPECT_EQ(RawOf(image, dir.path()), WithFill(original, {0}));
    EXPECT_EQ(ListedBy(map, '-', dir.path()), std::set<int>{0});
    EXPECT_EQ(ListedBy(map, '+', dir.path()).size(), 2879u);

    // A drive whose size is no format's tells nothing: the format is unknown, and it says so.
    const std::string odd = dir / "odd";
    ASSERT_EQ(::mkdir(odd.c_str(), 0700), 0);
    WriteFileBytes(odd + "/odd.raw", original + std::string(512, '\0'));
    drive = std::make_unique<FaultyDrive>(odd + "/odd.raw", odd, "bad 0");
    ASSERT_EQ(drive->problem(), "");
    const std::string before = ReadFileBytes(image);
    r = Rescue({"--force"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err,
              "Read Error: The boot sector cannot be read, so the diskette's format is unknown: "
              "Input/output error\n");
    EXPECT_EQ(ReadFileBytes(image), before);
}

TEST_F(CliRescue, EveryFormatIsKnownFromTheDriveWithoutItsBootSector) {
    // The 1.44 MB diskette is above; the drive's size tells each other format apart as well.
    for (const FloppyFormat& f : {kFloppyFormats[0], kFloppyFormats[1], kFloppyFormats[2]}) {
        SCOPED_TRACE(f.name);
        const std::string sub = dir / f.name;
        ASSERT_EQ(::mkdir(sub.c_str(), 0700), 0);
        ASSERT_TRUE(MakeFloppyImage(sub + "/disk.raw", f));
        drive = std::make_unique<FaultyDrive>(sub + "/disk.raw", sub, "bad 0");
        if (!drive->problem().empty()) SKIP_OR_FAIL(drive->problem());
        ToolResult r = Rescue({"--force"});
        ASSERT_EQ(r.exitCode, 4) << r.err;
        EXPECT_EQ(RawOf(image, sub), WithFill(ReadFileBytes(sub + "/disk.raw"), {0}));
        EXPECT_EQ(ListedBy(map, '-', sub), std::set<int>{0});
    }
}

TEST_F(CliRescue, AResumeReadsOnlyWhatIsMissingAndLosesNothing) {
    const int a = Logical(k144, 5, 1, 7), b = Logical(k144, 66, 0, 12);
    DRIVE_OR_SKIP("bad " + std::to_string(a) + "\nbad " + std::to_string(b));
    ASSERT_EQ(Rescue().exitCode, 4);

    // a reads now, b still does not: two boot sector reads, one of a, four of b.
    drive->SetPlan("bad " + std::to_string(b));
    ToolResult r = Rescue();
    ASSERT_EQ(r.exitCode, 4) << r.err;
    EXPECT_NE(r.out.find("Resumed "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2,879 of 2,880 sectors read (1 of them now), 1 unreadable"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(drive->Stats().reads, 2 + 1 + 4);
    EXPECT_EQ(RawOf(image, dir.path()), WithFill(original, {b}));
    EXPECT_EQ(ListedBy(map, '-', dir.path()), std::set<int>{b});

    // A map that lags behind its image (a crash between the two) marks a sector unread that
    // the image holds; if the drive now fails it, the image keeps it.
    drive->SetPlan("bad " + std::to_string(a) + "\nbad " + std::to_string(b));
    std::ostringstream lagging;
    lagging << "0x00000000 ? 1\n"
            << "0x0 0x" << std::hex << a * 512 << " +\n"
            << "0x" << a * 512 << " 0x200 -\n"
            << "0x" << (a + 1) * 512 << " 0x" << (b - a - 1) * 512 << " +\n"
            << "0x" << b * 512 << " 0x200 -\n"
            << "0x" << (b + 1) * 512 << " 0x" << (2880 - b - 1) * 512 << " +\n";
    WriteFileBytes(map, lagging.str());
    r = Rescue();
    ASSERT_EQ(r.exitCode, 4) << r.err;
    EXPECT_EQ(RawOf(image, dir.path()), WithFill(original, {b}));
    EXPECT_EQ(ListedBy(map, '-', dir.path()), (std::set<int>{a, b}));

    // Once the drive reads everything, the image is the one compress writes.
    drive->SetPlan("");
    r = Rescue();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(SameBytes(image, dir / "compressed.tvl"));
    r = Rescue();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Nothing to read: " + map + " marks every sector of " + image + " read\n");
}

TEST_F(CliRescue, ACancelKeepsWhatWasReadAndAResumeGoesOn) {
    const int bad = Logical(k144, 3, 0, 2);
    // Slow enough reads that the rescue is surely still running when the signal comes.
    DRIVE_OR_SKIP("delay 15\nbad " + std::to_string(bad));
    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"rescue", drive->path(), image}));
    // Well into the diskette, and far from its end. A closed terminal cancels as Ctrl+C does.
    ASSERT_TRUE(WaitWhileRunning(tool, [&] { return drive->Stats().reads >= 30; }));
    tool.Signal(SIGHUP);
    ToolResult r = tool.Wait();
    ASSERT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("Cancelled: " + image + " and " + map + " keep the "), std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "");
    // A sound image; the map has read, bad and untried sectors, and says where it stopped.
    EXPECT_EQ(RunTool({"info", image}).exitCode, 0);
    std::set<int> read = ListedBy(map, '+', dir.path()), untried = ListedBy(map, '?', dir.path());
    EXPECT_GT(read.size(), 0u);
    EXPECT_GT(untried.size(), 0u);
    EXPECT_EQ(ListedBy(map, '-', dir.path()), std::set<int>{bad});
    EXPECT_EQ(read.size() + untried.size() + 1, 2880u);
    const std::string raw = RawOf(image, dir.path());
    for (int s : read) ASSERT_EQ(raw.substr(s * 512u, 512), original.substr(s * 512u, 512)) << s;

    drive->SetPlan("");
    r = Rescue();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(SameBytes(image, dir / "compressed.tvl"));
}

TEST_F(CliRescue, AKilledRescueKeepsWhatItsLastCheckpointHeld) {
    const int bad = Logical(k144, 3, 0, 2);
    DRIVE_OR_SKIP("delay 15\nbad " + std::to_string(bad));
    {
        // Killed as soon as its first map is there: the same command still goes on.
        ToolProcess first;
        ASSERT_TRUE(first.Start({"rescue", drive->path(), image}));
        ASSERT_TRUE(WaitWhileRunning(first, [&] { return FileExists(map); }));
        first.Signal(SIGKILL);
        ASSERT_EQ(first.Wait().signal, SIGKILL);
    }
    ToolProcess tool;
    ASSERT_TRUE(tool.Start({"rescue", drive->path(), image}));
    // A side on which a read failed is kept at once; the kill comes some reads later.
    ASSERT_TRUE(WaitWhileRunning(
        tool, [&] { return ReadFileBytes(map).find("  -\n") != std::string::npos; }));
    const long long reads = drive->Stats().reads;
    ASSERT_TRUE(WaitWhileRunning(tool, [&] { return drive->Stats().reads >= reads + 10; }));
    tool.Signal(SIGKILL);
    ASSERT_EQ(tool.Wait().signal, SIGKILL);

    // Every sector the map marks read is the diskette's in a sound image.
    EXPECT_EQ(RunTool({"info", image}).exitCode, 0);
    const std::set<int> read = ListedBy(map, '+', dir.path());
    EXPECT_GE(read.size(), 7u * 18 - 1);
    EXPECT_EQ(ListedBy(map, '-', dir.path()), std::set<int>{bad});
    const std::string raw = RawOf(image, dir.path());
    for (int s : read) ASSERT_EQ(raw.substr(s * 512u, 512), original.substr(s * 512u, 512)) << s;

    // The resume reads the boot sector, then only what the map lacks, each sector once.
    drive->SetPlan("");
    ToolResult r = Rescue();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(drive->Stats().sectors, 2 + 2880 - static_cast<long long>(read.size()));
    EXPECT_TRUE(SameBytes(image, dir / "compressed.tvl"));
}

TEST_F(CliRescue, AMapThatCannotBeWrittenStopsTheRescueBeforeItReads) {
    const int bad = Logical(k144, 30, 1, 5);
    DRIVE_OR_SKIP("");
    const std::string maps = dir / "maps", ownMap = maps + "/disk.map";
    ASSERT_EQ(::mkdir(maps.c_str(), 0755), 0);
    ASSERT_EQ(Rescue({"--map", ownMap}).exitCode, 0);
    const std::string imageBytes = ReadFileBytes(image), mapBytes = ReadFileBytes(ownMap);
    if (Shell("mount --bind '" + maps + "' '" + maps + "'") != 0)
        SKIP_OR_FAIL("cannot make a bind mount here");
    struct Unmount {
        std::string path;
        ~Unmount() { Shell("umount '" + path + "'"); }
    } unmount{maps};
    if (Shell("mount -o remount,bind,ro '" + maps + "'") != 0)
        SKIP_OR_FAIL("cannot make a bind mount read-only here");

    // Started afresh on a diskette that now has a bad sector: the image must not change
    // while the older map still marks that sector read.
    drive->SetPlan("bad " + std::to_string(bad));
    ToolResult r = Rescue({"--force", "--map", ownMap});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err,
              "tavrel-cli: cannot write the map " + ownMap + ": " + std::strerror(EROFS) + "\n");
    EXPECT_EQ(drive->Stats().failed, 0) << "the rescue read before it knew the map can be written";
    const std::string raw = RawOf(image, dir.path());
    for (int s : ListedBy(ownMap, '+', dir.path()))
        ASSERT_EQ(raw.substr(s * 512u, 512), original.substr(s * 512u, 512)) << s;
    EXPECT_EQ(ReadFileBytes(image), imageBytes);
    EXPECT_EQ(ReadFileBytes(ownMap), mapBytes);
}

// Refusals that need no faulty drive: the raw file stands in for the diskette.
TEST_F(CliRescue, BadArgumentsAndMapsAreRefused) {
    const std::string disk = dir / "original.raw";
    EXPECT_EQ(RunTool({"rescue", disk, image, "--fill-byte", "1FF"}).exitCode, 64);
    EXPECT_EQ(RunTool({"rescue", disk, image, "--retries", "-1"}).exitCode, 64);
    ToolResult same = RunTool({"rescue", disk, image, "--map", dir / "./rescued.tvl"});
    EXPECT_EQ(same.exitCode, 2);
    EXPECT_EQ(same.err, "tavrel-cli: the map cannot be the image itself\n");
    ToolResult nowhere = RunTool({"rescue", disk, image, "--map", dir / "missing/disk.map"});
    EXPECT_EQ(nowhere.exitCode, 2);
    EXPECT_EQ(nowhere.err, "tavrel-cli: cannot write the map " + dir / "missing/disk.map" + ": " +
                               std::strerror(ENOENT) + "\n");
    EXPECT_FALSE(FileExists(image));

    ASSERT_EQ(RunTool({"rescue", disk, image}).exitCode, 0);
    // An image without its map, a map without its image.
    ToolResult r = RunTool({"rescue", disk, image, "--map", dir / "other.map"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "tavrel-cli: " + image + " exists but its map " + dir / "other.map" +
                         " does not; name the map with --map, or add --force to replace it\n");
    r = RunTool({"rescue", disk, dir / "other.tvl", "--map", map});
    EXPECT_EQ(r.exitCode, 2);
    // A rescue killed before its first image leaves a map that marks nothing read.
    WriteFileBytes(dir / "new.map", "0x0 ? 1\n0x0 0x168000 ?\n");
    r = RunTool({"rescue", disk, dir / "new.tvl", "--map", dir / "new.map"});
    EXPECT_EQ(r.exitCode, 0) << r.err;

    const std::string good = ReadFileBytes(map);
    struct Case {
        std::string text, error;
    };
    for (const Case& c : std::vector<Case>{
             {"", "no status line: not a map file"},
             {"0x0 + 1\n0x0 0x1000 +\n0x2000 0x200 -\n",
              "line 3: the block starts at 8192, not at 4096 where the one before ends"},
             {"0x0 + 1\n0x0 0x100 x\n",
              "line 2: expected a block 'pos size status' with status "
              "one of ?*/-+"},
             {"0x0 + 1\n0x0 0x100 +\n", "the map covers 256 bytes, not whole sectors"},
             {"0x0 + 1\n0x0 0x400000 +\n",
              "line 2: the map reaches beyond 3096576 bytes, more than any diskette holds"},
             // A NUL byte is neither a status nor part of a number.
             {"0x0 + 1\n0x0 0x168000 \0\n"s,
              "line 2: expected a block 'pos size status' with status one of ?*/-+"},
             {"0x0 + 1\n0x0 0x168000\0 ?\n"s,
              "line 2: expected a block 'pos size status' with status one of ?*/-+"},
             {"0x0 \0 1\n0x0 0x168000 ?\n"s,
              "line 1: expected the status line 'current_pos current_status current_pass'"},
         }) {
        WriteFileBytes(map, c.text);
        r = RunTool({"rescue", disk, image});
        EXPECT_EQ(r.exitCode, 2) << c.text;
        EXPECT_EQ(r.err, "tavrel-cli: " + map + ": not a usable map: " + c.error + "\n") << c.text;
    }
    // A map of another format.
    WriteFileBytes(map, "0x0 + 1\n0x0 0xB4000 -\n");
    r = RunTool({"rescue", disk, image});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "tavrel-cli: " + map + " maps 1,440 sectors, but " + image +
                         " holds 2,880: not its map\n");
    WriteFileBytes(map, good);
    EXPECT_EQ(RunTool({"rescue", disk, image}).exitCode, 0);

    // The map names its diskette: a resume on another one is refused and changes nothing.
    const std::string whole = "0x00000000  0x00168000  +\n";
    ASSERT_NE(good.find(whole), std::string::npos) << good;
    WriteFileBytes(map, std::string(good).replace(good.find(whole), whole.size(),
                                                  "0x00000000  0x000B4000  +\n"
                                                  "0x000B4000  0x000B4000  ?\n"));
    const std::string mapBytes = ReadFileBytes(map), imageBytes = ReadFileBytes(image);
    std::string other = original;
    other.replace(0x27, 4, "\x12\x34\x56\x78");
    WriteFileBytes(dir / "other.raw", other);
    r = RunTool({"rescue", dir / "other.raw", image});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find(" holds another diskette than the one " + map +
                         " maps (volume serial 7856-3412, the map's "),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("); put that diskette in, or add --force to start afresh\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadFileBytes(map), mapBytes);
    EXPECT_EQ(ReadFileBytes(image), imageBytes);
    r = RunTool({"rescue", disk, image});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("(1,440 of them now)"), std::string::npos) << r.out;
}

// A sector is read only when all of it is: split between a read block and an unread or bad
// one, in either order, it is read again. The raw file stands in for the diskette.
TEST_F(CliRescue, ASectorReadOnlyInPartIsReadAgain) {
    const std::string disk = dir / "original.raw";
    ASSERT_EQ(RunTool({"rescue", disk, image}).exitCode, 0);
    for (const char* halves : {"?+", "+?", "-+", "+-", "/+", "+*"}) {
        SCOPED_TRACE(halves);
        // Sector 5 in two halves, in a map of 1.44 MB that marks every other byte read.
        WriteFileBytes(map, "0x0 ? 1\n0x0 0xA00 +\n0xA00 0x100 "s + halves[0] + "\n0xB00 0x100 " +
                                halves[1] + "\n0xC00 0x167400 +\n");
        ToolResult r = RunTool({"rescue", disk, image});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("2,880 of 2,880 sectors read (1 of them now)"), std::string::npos)
            << r.out;
        EXPECT_EQ(ListedBy(map, '+', dir.path()).size(), 2880u);
    }
    EXPECT_TRUE(SameBytes(image, dir / "compressed.tvl"));
}

// A map whose reading fails far into it, with the kernel's EIO (the faulty file system serves
// it): an error that names the map, neither a map cut short nor a crash.
TEST_F(CliRescue, AMapThatFailsToReadMidwayIsAnError) {
    std::string text;
    while (text.size() < 2000000) text += "# a comment long enough to fill a file quickly\n";
    text += "0x0 + 1\n0x0 0x168000 +\n";
    WriteFileBytes(dir / "long.map", text);
    WriteFileBytes(dir / "plan", "bad 3000\n");
    SlowMount served(dir / "long.map", dir / "mnt", dir / "plan");
    if (!served.mounted())
        SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");
    ToolResult r = RunTool({"info", dir / "compressed.tvl", "--bad", served.file()});
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "tavrel-cli: cannot read " + served.file() + ": " + std::strerror(EIO) + "\n");
}

TEST_F(CliRescue, AResumeNeverWritesOverTheImageItReads) {
    // As an ordinary user who owns image and map but may not create files in their folder:
    // a compress would write over the image in place, a resume must not.
    const std::string disk = dir / "original.raw", folder = dir / "images";
    const std::string old = folder + "/old.tvl", oldMap = old + ".map";
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(RunTool({"rescue", disk, old}).exitCode, 0);
    // One sector left to read.
    WriteFileBytes(oldMap, "0x0 + 1\n0x0 0x200 -\n0x200 0x167E00 +\n");
    for (const std::string& path : {disk, old, oldMap})
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    const std::string imageBytes = ReadFileBytes(old);
    const std::string why = RunUnprivileged([&] {
        ToolResult r = RunTool({"rescue", disk, old});
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_EQ(r.err, "File Open Error: " + old + ": " + std::strerror(EACCES) + "\n");
        EXPECT_EQ(ReadFileBytes(old), imageBytes);
        EXPECT_EQ(ReadFileBytes(oldMap), "0x0 + 1\n0x0 0x200 -\n0x200 0x167E00 +\n");
        EXPECT_EQ(Listing(folder), (std::vector<std::string>{"old.tvl", "old.tvl.map"}));
    });
    if (!why.empty()) SKIP_OR_FAIL(why);
}

}  // namespace

// A batch through rescue: the hashes cover what the image holds, the unreadable sectors as
// filled, even though every checkpoint wrote the image anew.
TEST_F(CliRescue, ABatchThroughRescueHashesTheFilledContentAndFilesTheMap) {
    const int bad = Logical(k144, 40, 1, 10);
    DRIVE_OR_SKIP("bad " + std::to_string(bad));
    const std::string folder = dir / "box";
    ToolResult r = RunTool({"batch", drive->path(), folder, "--rescue", "--count", "1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string info = ReadFileBytes(folder + "/disk-001.info");
    EXPECT_NE(info.find("unreadable-sectors: 1 (cylinder 40 head 1 sector 10)\n"),
              std::string::npos)
        << info;
    WriteFileBytes(dir / "filled.raw", WithFill(original, {bad}));
    ASSERT_EQ(Shell("cd '" + dir.path() + "' && sha256sum filled.raw > sum.txt"), 0);
    EXPECT_NE(info.find("content-sha256: " + ReadFileBytes(dir / "sum.txt").substr(0, 64)),
              std::string::npos)
        << info;
    EXPECT_NE(ReadFileBytes(folder + "/manifest-sha256.txt").find("  disk-001.map\n"),
              std::string::npos);
    EXPECT_EQ(Shell("cd '" + folder + "' && sha256sum --quiet -c manifest-sha256.txt"), 0);
    EXPECT_EQ(RunTool({"check", folder}).exitCode, 0);
}
