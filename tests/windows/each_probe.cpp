// Run under Wine by wine_each_test.sh: the command after each diskette through the Windows
// build's cmd.exe path, and the drive description of a file standing in for a drive. Prints
// "KEY: value" lines, line breaks in a value shown as "|".
#include <cstdio>
#include <string>

#include "cli/batch_system.h"
#include "cli/each_command.h"

namespace {

void Say(const char* key, std::string value) {
    std::string shown;
    for (char c : value)
        if (c == '\n')
            shown += '|';
        else if (c != '\r')
            shown += c;
    std::printf("%s: %s\n", key, shown.c_str());
}

}  // namespace

// FOLDER IMAGE: the folder named to the command, and a file to describe as a drive.
int main(int argc, char** argv) {
    if (argc != 3) return 64;
    cli::BatchRecord record;
    record.name = "disk-001";
    record.image = "disk-001.tvl";
    record.identifier = "ACC 7";
    record.result = "done";
    record.files = 2;
    record.drive.label = "A:";
    cli::EachOutcome told =
        cli::RunEachCommand("set TAVREL_", cli::EachCommandEnvironment(record, argv[1]));
    Say("told", told.output);
    Say("told failure", told.failure);
    cli::EachOutcome failed = cli::RunEachCommand("echo printing& echo no paper 1>&2& exit 3", {});
    Say("failed output", failed.output);
    Say("failed failure", failed.failure);
    Say("missing failure", cli::RunEachCommand("tavrel-no-such-command", {}).failure);
    Say("kind", cli::DescribeDevice(argv[2]).kind);
    return 0;
}
