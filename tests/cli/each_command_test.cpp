// batch --each: the user's command through the real shell, told about a filed diskette in its
// environment, its output kept and its failure said in one line.
#include "cli/each_command.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>

#include "platform/syscalls.h"
#include "tests/support/temp_dir.h"

namespace {

// What env -0 wrote: NAME=VALUE entries, each ended by a NUL, values may hold line breaks.
std::map<std::string, std::string> ReadEnvironment(const std::string& path) {
    std::map<std::string, std::string> seen;
    const std::string bytes = ReadFileBytes(path);
    for (size_t at = 0, end; (end = bytes.find('\0', at)) != std::string::npos; at = end + 1) {
        const std::string entry = bytes.substr(at, end - at);
        const size_t equals = entry.find('=');
        if (equals != std::string::npos) seen[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
    return seen;
}

cli::BatchRecord Filed(const std::string& name) {
    cli::BatchRecord record;
    record.name = name;
    record.result = "unreadable sectors";
    record.image = name + ".tvl";
    record.map = true;
    record.files = 3;
    record.identifier = "ACC 2026/" + name;
    record.labelText = "Payroll 1991";
    record.drive.label = "/dev/fd0";
    return record;
}

TEST(EachCommand, EveryDisketteVariableReachesTheCommandFromEachThreadItsOwn) {
    TempDir dir;
    std::vector<cli::EachOutcome> outcomes(3);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < outcomes.size(); ++i)
        threads.emplace_back([&, i] {
            const std::string name = "disk-00" + std::to_string(i + 1);
            outcomes[i] =
                cli::RunEachCommand("env -0 > '" + dir / name + ".env'",
                                    cli::EachCommandEnvironment(Filed(name), dir / "box/../box/"));
        });
    for (auto& thread : threads) thread.join();

    for (size_t i = 0; i < outcomes.size(); ++i) {
        EXPECT_TRUE(outcomes[i].ran);
        EXPECT_EQ(outcomes[i].failure, "");
        const std::string name = "disk-00" + std::to_string(i + 1), box = dir / "box";
        std::map<std::string, std::string> seen = ReadEnvironment(dir / name + ".env");
        EXPECT_EQ(seen["TAVREL_NAME"], name);
        EXPECT_EQ(seen["TAVREL_IDENTIFIER"], "ACC 2026/" + name);
        EXPECT_EQ(seen["TAVREL_LABEL_TEXT"], "Payroll 1991");
        EXPECT_EQ(seen["TAVREL_RESULT"], "unreadable sectors");
        EXPECT_EQ(seen["TAVREL_DRIVE"], "/dev/fd0");
        EXPECT_EQ(seen["TAVREL_FOLDER"], box);
        EXPECT_EQ(seen["TAVREL_IMAGE"], box + "/" + name + ".tvl");
        EXPECT_EQ(seen["TAVREL_INFO"], box + "/" + name + ".info");
        EXPECT_EQ(seen["TAVREL_MAP"], box + "/" + name + ".map");
        EXPECT_EQ(seen["TAVREL_FILES"], box + "/" + name + ".tvl\n" + box + "/" + name + ".map\n" +
                                            box + "/" + name + ".dfxml\n" + box + "/" + name +
                                            ".info");
        // The rest of the batch's environment goes with it.
        EXPECT_EQ(seen["PATH"], std::getenv("PATH"));
    }

    // A diskette that failed has an info file and nothing else.
    cli::BatchRecord failed;
    failed.name = "disk-004";
    const cli::EachEnvironment bare = cli::EachCommandEnvironment(failed, dir.path());
    std::map<std::string, std::string> variables(bare.begin(), bare.end());
    EXPECT_EQ(variables["TAVREL_FILES"], dir / "disk-004.info");
    EXPECT_EQ(variables["TAVREL_IMAGE"], "");
    EXPECT_EQ(variables.count("TAVREL_MAP"), 1u);
}

// What an identifier and a label text may say, each trying to end the command and start one of
// its own (in sh's words and cmd.exe's), to leave its quotes, and to be expanded again. The
// shell sees a value only where the command names it, never as part of the command.
TEST(EachCommand, AHostileIdentifierAndLabelTextRunNothingAndArriveAsTheyAre) {
    TempDir dir;
    const std::string box = dir / "box & 50% ^ $(1) !";
    ASSERT_EQ(Shell("mkdir -p '" + box + "' && printf 'image bytes' > '" + box + "/disk-001.tvl'"),
              0);
    cli::BatchRecord record = Filed("disk-001");
    record.identifier = "X&echo PWNED>pwned.txt;touch pwned-sh";
    record.labelText =
        "Lohn & Gehalt | 50% ^ <1991> %TAVREL_NAME% !\" & echo PWNED>label.txt & \" "
        "'$(touch pwned-sub)' `touch pwned-tick` $TAVREL_NAME";
    const cli::EachEnvironment told = cli::EachCommandEnvironment(record, box);
    auto run = [&](const std::string& command) {
        const cli::EachOutcome each =
            cli::RunEachCommand("cd '" + dir.path() + "' && " + command, told);
        EXPECT_EQ(each.failure, "") << command;
        return each.output;
    };
    EXPECT_EQ(run("printf '[%s] [%s]\\n' \"$TAVREL_IDENTIFIER\" \"$TAVREL_LABEL_TEXT\""),
              "[" + record.identifier + "] [" + record.labelText + "]\n");
    // Unquoted, a value is split into words, and nothing more.
    EXPECT_EQ(run("echo $TAVREL_IDENTIFIER"), record.identifier + "\n");
    EXPECT_EQ(run("cp \"$TAVREL_IMAGE\" copied.tvl && cat copied.tvl && rm copied.tvl"),
              "image bytes");
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"box & 50% ^ $(1) !"});

    // A zero byte ends a value: what follows it is no variable of its own.
    record.labelText = std::string("before\0TAVREL_INJECTED=yes", 26);
    cli::RunEachCommand("env -0 > '" + dir / "env" + "'", cli::EachCommandEnvironment(record, box));
    std::map<std::string, std::string> seen = ReadEnvironment(dir / "env");
    EXPECT_EQ(seen["TAVREL_LABEL_TEXT"], "before");
    EXPECT_EQ(seen.count("TAVREL_INJECTED"), 0u);
}

// Standard input made a pipe with a line in it, for as long as the object lives.
class TypedInput {
  public:
    TypedInput() : m_saved(dup(0)) {
        int ends[2];
        if (pipe(ends) != 0) return;
        EXPECT_EQ(write(ends[1], "typed\n", 6), 6);
        close(ends[1]);
        dup2(ends[0], 0);
        close(ends[0]);
    }
    ~TypedInput() {
        dup2(m_saved, 0);
        close(m_saved);
    }

  private:
    int m_saved;
};

TEST(EachCommand, AFailureIsOneLineAndTheOutputIsKeptInOrderAndBounded) {
    cli::EachOutcome failed;
    {
        // What is typed at the batch is the batch's: the command reads nothing.
        TypedInput typed;
        failed = cli::RunEachCommand(
            "echo printing; echo 'no paper' >&2; read line; echo \"input $?\"; exit 3", {});
    }
    EXPECT_TRUE(failed.ran);
    EXPECT_EQ(failed.exitStatus, 3);
    EXPECT_EQ(failed.output, "printing\nno paper\ninput 1\n");  // standard input is empty
    EXPECT_EQ(failed.failure, "exited with status 3: input 1");

    cli::EachOutcome missing = cli::RunEachCommand("/nonexistent/camera --shoot", {});
    EXPECT_TRUE(missing.ran);
    EXPECT_EQ(missing.failure.rfind("exited with status 127: ", 0), 0u) << missing.failure;
    EXPECT_NE(missing.failure.find("/nonexistent/camera"), std::string::npos);
    EXPECT_EQ(missing.failure.find('\n'), std::string::npos);

    cli::EachOutcome killed = cli::RunEachCommand("echo going; kill -9 $$", {});
    EXPECT_EQ(killed.failure, "killed by signal 9");
    EXPECT_EQ(killed.output, "going\n");

    cli::EachOutcome talkative = cli::RunEachCommand("seq 1 100000", {});
    EXPECT_EQ(talkative.failure, "");
    EXPECT_EQ(talkative.output.size(), cli::kEachOutputKept);
    EXPECT_EQ(talkative.output.substr(talkative.output.size() - 13), "99999\n100000\n");
}

TEST(EachCommand, AShellThatCannotStartIsSaidAndOneThatLeavesAProgramRunningIsNotWaitedOn) {
    {
        platform::ScopedFaultHook noSpawn([](platform::SysCall call, const char*) {
            return call == platform::SysCall::Spawn ? ENOENT : 0;
        });
        cli::EachOutcome none = cli::RunEachCommand("true", {});
        EXPECT_FALSE(none.ran);
        EXPECT_EQ(none.failure, "cannot run /bin/sh: No such file or directory");
    }
    // The program left in the background keeps the output open; the command's end is enough.
    const auto start = std::chrono::steady_clock::now();
    cli::EachOutcome left = cli::RunEachCommand("sleep 120 & echo $!", {});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(left.failure, "");
    const int pid = std::atoi(left.output.c_str());
    ASSERT_GT(pid, 0) << left.output;
    EXPECT_EQ(kill(pid, SIGKILL), 0);
    EXPECT_LT(took, std::chrono::seconds(60));
}

}  // namespace
