// bag FOLDER: a batch folder made before (without --bag) made a BagIt bag in place (see
// bagit.h). Not while a batch is at work in it: its diskette would be filed while the folder
// changes under it. What batches that stopped left is filed first, as a batch would.

#include <cerrno>
#include <cstring>

#include "cli/bagit.h"
#include "cli/batch_folder.h"
#include "cli/commands.h"
#include "engine/exit_codes.h"
#include "platform/syscalls.h"

namespace cli {

int RunBag(const std::string& folder, Console& console) {
    BatchFolder batchFolder;
    std::string error;
    if (!batchFolder.OpenExisting(folder, &error)) {
        console.Error(error);
        return kExitFailed;
    }
    BatchFolder::Held held(batchFolder, false);
    const std::vector<std::string> atWork = DiskettesAtWork(folder);
    if (!held.ok() || !atWork.empty()) {
        console.Error("tavrel-cli: a batch is at work in " + folder +
                      (atWork.empty() ? std::string() : " (on " + atWork.front() + ")") +
                      ": run bag once it has ended, or run the batch with --bag");
        return kExitFailed;
    }
    if (IsWholeBag(folder)) {
        console.Summary(folder + " is a bag already (tavrel-cli check " + folder + " checks it)");
        return kExitDone;
    }
    std::vector<std::string> said;
    const bool made = batchFolder.Recover(0, &said, &error) && batchFolder.KeepAsBag(0, {}, &error);
    for (const std::string& line : said) console.Warning(line);
    if (!made) {
        console.Error(error);
        return kExitFailed;
    }
    console.Summary(folder + " is a bag now: " + std::to_string(PayloadFiles(folder).size()) +
                    " files under " + folder + "/data");
    return kExitDone;
}

}  // namespace cli
