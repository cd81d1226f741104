// report FOLDER: the box report and every diskette's surface picture made again from the
// folder's info and map files, for a folder from a run that made none, or after they were
// lost. Under the folder's lock, so a batch at work files its next diskette before or after,
// never in between; the manifests (and a bag's tag files) take the files made.
#include <sys/stat.h>

#include "cli/bagit.h"
#include "cli/batch_folder.h"
#include "cli/box_report.h"
#include "cli/commands.h"
#include "engine/exit_codes.h"
#include "platform/syscalls.h"

namespace cli {

int RunReport(const std::string& folder, Console& console) {
    std::string error;
    if (!CanDrawPictures("report", &error)) {
        console.Error(error);
        return kExitFailed;
    }
    BatchFolder batchFolder;
    if (!batchFolder.OpenExisting(folder, &error)) {
        console.Error(error);
        return kExitFailed;
    }
    BatchFolder::Held held(batchFolder);
    if (!held.ok()) {
        console.Error("tavrel-cli: cannot lock " + folder);
        return kExitFailed;
    }
    // What stopped batches left is filed first, so the report has every diskette read.
    std::vector<std::string> said;
    const bool recovered = batchFolder.Recover(0, &said, &error);
    for (const std::string& line : said) console.Warning(line);
    if (!recovered) {
        console.Error(error);
        return kExitFailed;
    }
    const BoxReport box = ReadBoxReport(batchFolder.PayloadFolder(), FolderTitle(folder));
    struct stat csv {};
    if (box.diskettes.empty() &&
        platform::SysStat(batchFolder.PayloadPath("batch.csv").c_str(), &csv) != 0) {
        console.Error("tavrel-cli: " + folder + ": no diskette is filed in it: not a batch folder");
        return kExitFailed;
    }
    // Stopped between the files and the manifests, the folder is told unfinished, and finished
    // by the next command to take it.
    if (!batchFolder.BeginRelisting(&error)) {
        console.Error(error);
        return kExitFailed;
    }
    std::vector<std::string> made;
    struct stat st {};
    int pictures = 0;
    for (const BoxDiskette& d : box.diskettes) {
        const std::string map = batchFolder.PayloadPath(d.name + ".map");
        bool drawn = false;
        if (!WriteDiskettePicture(batchFolder.PayloadPath(d.name + ".info"),
                                  platform::SysStat(map.c_str(), &st) == 0 ? map : std::string(),
                                  batchFolder.PayloadPath(d.name + ".svg"), &drawn, &error)) {
            console.Error(error);
            return kExitFailed;
        }
        pictures += drawn;
        made.push_back(batchFolder.Listed(d.name + ".svg"));
    }
    if (!WriteBoxReport(batchFolder.PayloadFolder(), FolderTitle(folder),
                        batchFolder.PayloadPath("report.html"), &error)) {
        console.Error(error);
        return kExitFailed;
    }
    made.push_back(batchFolder.Listed("report.html"));
    if (!batchFolder.Relist(made, &error) || !batchFolder.EndRelisting(&error)) {
        console.Error(error);
        return kExitFailed;
    }
    console.Summary(batchFolder.PayloadPath("report.html") + ": " +
                    std::to_string(box.diskettes.size()) +
                    (box.diskettes.size() == 1 ? " diskette, " : " diskettes, ") +
                    std::to_string(pictures) + (pictures == 1 ? " picture" : " pictures"));
    return kExitDone;
}

}  // namespace cli
