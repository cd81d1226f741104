#include "cli/each_command.h"

#include <filesystem>

#include "platform/process_run.h"

namespace cli {
namespace {

// The last line the command wrote, where it most likely says why it failed; kept short and
// free of control characters so the failure stays one line.
std::string LastLine(const std::string& output) {
    const size_t end = output.find_last_not_of(" \t\r\n");
    if (end == std::string::npos) return "";
    const size_t start = output.find_last_of("\r\n", end);
    std::string line = output.substr(start == std::string::npos ? 0 : start + 1,
                                     end + 1 - (start == std::string::npos ? 0 : start + 1));
    for (char& c : line)
        if ((c >= 0 && c < 0x20) || c == 0x7F) c = ' ';
    constexpr size_t kLongest = 200;
    if (line.size() > kLongest) line = line.substr(0, kLongest) + "...";
    return line;
}

}  // namespace

EachOutcome RunEachCommand(const std::string& command, const EachEnvironment& environment) {
    EachOutcome each;
    platform::ShellOutcome shell = platform::RunShell(command, environment, kEachOutputKept);
    each.ran = shell.started;
    each.output = std::move(shell.output);
    if (!shell.failure.empty()) {
        each.failure = shell.failure;
    } else if (shell.exited) {
        each.exitStatus = shell.exitStatus;
        if (shell.exitStatus != 0) {
            const std::string said = LastLine(each.output);
            each.failure = "exited with status " + std::to_string(shell.exitStatus) +
                           (said.empty() ? "" : ": " + said);
        }
    } else {
        each.failure = "killed by signal " + std::to_string(shell.signal);
    }
    return each;
}

EachEnvironment EachCommandEnvironment(const BatchRecord& record, const std::string& folder) {
    std::error_code error;
    std::filesystem::path where = std::filesystem::absolute(folder, error);
    if (error) where = folder;
    where = where.lexically_normal();
    // A trailing separator ("box/") would otherwise leave an empty last part.
    if (!where.has_filename() && where.has_parent_path() && where != where.root_path())
        where = where.parent_path();
    auto in = [&](const std::string& file) { return (where / file).string(); };

    const std::string image = record.image.empty() ? "" : in(record.image);
    const std::string map = record.map ? in(record.name + ".map") : "";
    const std::string info = in(record.name + ".info");
    std::string files;
    for (const std::string& file :
         {image, map, record.files >= 0 ? in(record.name + ".dfxml") : std::string(), info})
        if (!file.empty()) files += (files.empty() ? "" : "\n") + file;
    return {
        {"TAVREL_NAME", record.name},
        {"TAVREL_IDENTIFIER", record.identifier},
        {"TAVREL_LABEL_TEXT", record.labelText},
        {"TAVREL_RESULT", record.result},
        {"TAVREL_DRIVE", record.drive.label},
        {"TAVREL_FOLDER", where.string()},
        {"TAVREL_IMAGE", image},
        {"TAVREL_INFO", info},
        {"TAVREL_MAP", map},
        {"TAVREL_FILES", files},
    };
}

}  // namespace cli
