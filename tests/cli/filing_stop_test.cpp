// A batch stopped at every step of filing a diskette that was read and verified, one step at a
// time: the fault seam ends the process at the Nth system call of filing, as a kill would. From
// the moment the diskette is marked read, its image is never lost: check says in one line that
// a filing was interrupted (never a list of mismatches), the next command that takes the folder
// files it, and then the folder checks and a bag is valid to the reference validator.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cli/batch_folder.h"
#include "cli/fixity_files.h"
#include "engine/fixity.h"
#include "platform/syscalls.h"
#include "tests/cli/batch_fixture.h"
#include "tests/support/facility.h"

namespace {

const std::string kValidator =
    std::string(TAVREL_SOURCE_DIR) + "/../shared/tools/bagit_validate.py";
constexpr int kStopped = 99;

class FilingStop : public BatchFixture {
  protected:
    // Files tvl as the next diskette of folder in a child process that ends at the stopAt-th
    // system call of filing; true when it ended there, false when it filed to the end.
    // The next diskette of folder reserved in box, read and verified as tvl: what a batch has
    // when it files it.
    bool ReadAndVerified(cli::BatchFolder& box, const std::string& tvl, const cli::HashSet& content,
                         cli::Reservation* reservation, cli::BatchRecord* record) {
        std::string error;
        int number = 1;
        if (!box.Open(folder, &error)) return false;
        {
            cli::BatchFolder::Held held(box);
            if (!box.Reserve("disk-{n:03}", &number, cli::BatchRecord{}, reservation, &error))
                return false;
        }
        record->name = reservation->name;
        record->result = "done";
        record->verify = "same";
        record->format = "1.44 MB";
        record->image = record->name + ".tvl";
        record->content = content;
        return Shell("cp '" + tvl + "' '" + box.PartPath(record->name, "tvl") + "'") == 0;
    }

    bool FileStoppingAt(const std::string& tvl, const cli::HashSet& content, int stopAt) {
        const pid_t child = ::fork();
        if (child == 0) {
            cli::BatchFolder box;
            cli::Reservation reservation;
            cli::BatchRecord record;
            std::string error;
            if (!ReadAndVerified(box, tvl, content, &reservation, &record)) ::_exit(3);
            int calls = 0;
            // A stop between two reads is the same as one at the next change: only the calls
            // that change the folder are steps.
            platform::ScopedFaultHook stop([&](platform::SysCall call, const char*) {
                using platform::SysCall;
                const bool changes = call == SysCall::Write || call == SysCall::Rename ||
                                     call == SysCall::Delete || call == SysCall::Sync ||
                                     call == SysCall::TempFile || call == SysCall::Chmod ||
                                     call == SysCall::MakeFolder;
                if (changes && ++calls == stopAt) ::_exit(kStopped);
                return 0;
            });
            if (!box.Prepare(record, nullptr, &error)) ::_exit(5);
            cli::BatchFolder::Held held(box);
            ::_exit(held.ok() && box.File(record, FixitySha256, &reservation, &error) ? 0 : 6);
        }
        int status = 0;
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_TRUE(WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == kStopped)
            << "filing failed on its own at step " << stopAt << ": " << WEXITSTATUS(status);
        return WEXITSTATUS(status) == kStopped;
    }

    void ExpectWhole(bool bag, const std::string& when) {
        ToolResult r = RunTool({"check", folder});
        EXPECT_EQ(r.exitCode, 0) << when << ": " << r.out << r.err;
        if (!bag) return;
        EXPECT_EQ(Shell("python3 '" + kValidator + "' '" + folder + "' >/dev/null 2>&1"), 0)
            << when;
    }

    // One diskette filed, so the folder has manifests, batch.csv and a report to keep whole;
    // the next one read into tvl, its content hashed.
    void FirstFiledNextRead(bool bag) {
        std::vector<std::string> first{"batch", Disk(1), folder, "--count", "1"};
        if (bag) first.push_back("--bag");
        ASSERT_EQ(RunTool(first).exitCode, 0);
        ASSERT_EQ(RunTool({"compress", Disk(0), tvl}).exitCode, 0);
        std::string error;
        ASSERT_TRUE(cli::ImageContentHashes(tvl, FixitySha256, &content, &error)) << error;
    }

    void StopAtEveryStep(bool bag) {
        FirstFiledNextRead(bag);
        const std::string start = dir / "start";
        ASSERT_EQ(Shell("cp -a '" + folder + "' '" + start + "'"), 0);
        const std::string payload = folder + (bag ? "/data/" : "/");
        // Filed without a stop: what its info says of the listing.
        ASSERT_FALSE(FileStoppingAt(tvl, content, -1));
        bool found = false;
        const std::string listed = cli::ReadKeyValues(payload + "disk-002.info", &found)["files"];
        ASSERT_TRUE(found);
        ASSERT_FALSE(listed.empty() || listed[0] < '1' || listed[0] > '9') << listed;
        int interrupted = 0, lost = 0;
        for (int step = 1;; ++step) {
            ASSERT_EQ(Shell("rm -rf '" + folder + "' && cp -a '" + start + "' '" + folder + "'"),
                      0);
            const std::string when =
                (bag ? "bag, " : "folder, ") + std::string("stopped at ") + std::to_string(step);
            if (!FileStoppingAt(tvl, content, step)) {
                ExpectWhole(bag, "filed to the end");
                EXPECT_GT(step, 10) << "filing took too few steps to be stopped in each";
                break;
            }
            const bool markedRead = SizeOf(folder + "/.disk-002.part.info") >= 0 ||
                                    SizeOf(payload + "disk-002.info") >= 0;
            // Only a stop while the mark itself is written loses the image: the very first
            // steps, before anything else of the diskette's was written.
            if (!markedRead) {
                EXPECT_EQ(lost++, step - 1) << when << ": lost after one was kept";
                EXPECT_LT(SizeOf(folder + "/.disk-002.part.dfxml"), 0) << when;
            }
            ToolResult check = RunTool({"check", folder});
            if (check.exitCode == 5) {
                ++interrupted;
                EXPECT_EQ(check.out, "filing of disk-002 was interrupted: run tavrel-cli report " +
                                         folder + " (or any batch on the folder) to finish it\n")
                    << when;
            } else {
                EXPECT_EQ(check.exitCode, 0) << when << ": " << check.out << check.err;
            }
            ASSERT_EQ(RunTool({"report", folder}).exitCode, 0) << when;
            ExpectWhole(bag, when + ", then report");
            if (!markedRead) continue;
            // Read and marked so: filed, content and all.
            EXPECT_GE(SizeOf(payload + "disk-002.tvl"), 0) << when;
            auto info = cli::ReadKeyValues(payload + "disk-002.info", &found);
            EXPECT_EQ(info["verify"], "same") << when;
            EXPECT_EQ(info["content-sha256"], content["sha256"]) << when;
            EXPECT_EQ(info["files"], listed) << when;
        }
        EXPECT_GT(interrupted, 5) << "no stop fell inside the filing proper";
        // Writing the mark takes a few steps (a new file, its bytes, to disk, its name).
        EXPECT_LE(lost, 6);
    }

    const std::string tvl = dir / "read.tvl";
    cli::HashSet content;
};

// A second Ctrl+C while the files are listed: the image read and verified is filed all the
// same, unlisted and marked cancelled, and the folder checks.
TEST_F(FilingStop, ACancelWhileListingKeepsTheImageMarkedCancelled) {
    FirstFiledNextRead(false);
    std::string error;
    cli::BatchFolder box;
    cli::Reservation reservation;
    cli::BatchRecord record;
    ASSERT_TRUE(ReadAndVerified(box, tvl, content, &reservation, &record));
    ASSERT_TRUE(box.Prepare(
        record, [] { return true; }, &error))
        << error;
    {
        cli::BatchFolder::Held held(box);
        ASSERT_TRUE(box.File(record, FixitySha256, &reservation, &error)) << error;
    }
    bool found = false;
    auto info = cli::ReadKeyValues(folder + "/disk-002.info", &found);
    EXPECT_EQ(info["result"], "cancelled");
    EXPECT_EQ(info["verify"], "same");
    EXPECT_EQ(info["files"], "none (cancelled before its files were listed)");
    EXPECT_TRUE(SameBytes(folder + "/disk-002.tvl", tvl));
    EXPECT_LT(SizeOf(folder + "/disk-002.dfxml"), 0);
    ToolResult r = RunTool({"check", folder});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
}

TEST_F(FilingStop, AStopAtAnyStepLosesNoReadImageAndTheNextCommandFinishesIt) {
    StopAtEveryStep(false);
}

TEST_F(FilingStop, AStopAtAnyStepLeavesABagTheNextCommandMakesValid) {
    if (!FileExists(kValidator)) SKIP_OR_FAIL("the BagIt validator is not at " + kValidator);
    StopAtEveryStep(true);
}

}  // namespace
