// rescue DRIVE IMAGE: a compress that goes on past read errors, with a map of what was read
// beside the image; run again, it reads only what the map still lacks.
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli/bad_sectors.h"
#include "cli/commands.h"
#include "cli/console_text.h"
#include "cli/drive_target.h"
#include "cli/exit_codes.h"
#include "cli/image_scan.h"
#include "cli/job_runner.h"
#include "cli/map_file.h"
#include "cli/output_path.h"
#include "engine/image_format.h"
#include "engine/media_table.h"
#include "platform/replace_file.h"

namespace cli {
namespace {

// A resume patches IMAGE: it must be a sound image of the diskette the map describes.
bool CheckResumeImage(const std::string& image, const std::string& mapPath, const SectorMap& map,
                      Console& console) {
    ImageReport report;
    if (!InspectImage(image, &report) || !report.complete() || !report.wellFormed()) {
        console.Error("tavrel-cli: " + image + ": " +
                      (report.problem.empty() ? "incomplete image" : report.problem));
        return false;
    }
    if (report.diskBytes() != map.sectors * 512LL) {
        console.Error("tavrel-cli: " + mapPath + " maps " + WithThousands(map.sectors) +
                      " sectors, but " + image + " holds " +
                      WithThousands(report.diskBytes() / 512) + ": not its map");
        return false;
    }
    return true;
}

// Where a path leads, links and folders resolved, whether or not the file exists yet.
std::string Whereabouts(const std::string& path) {
    std::string file = platform::ResolveLinks(path);
    if (file.empty()) file = path;
    const std::string folder = platform::FolderOf(file);
    char* real = ::realpath(folder.c_str(), nullptr);
    std::string where =
        (real ? std::string(real) : folder) + "/" + file.substr(file.find_last_of('/') + 1);
    std::free(real);
    return where;
}

MapStatus EndStatus(const SectorMap& map, bool cancelled, int pass) {
    MapStatus status;
    status.pass = pass;
    status.status = cancelled ? SectorNonTried : SectorFinished;
    if (cancelled) {
        int s = 0;
        while (s < map.sectors && map.states[s] != SectorNonTried) ++s;
        status.position = 512LL * (s < map.sectors ? s : 0);
    }
    return status;
}

}  // namespace

int RunRescue(const RescueOptions& options, Console& console) {
    DriveTarget drive;
    std::string error;
    if (!drive.Resolve(options.drive, &error)) {
        console.Error(error);
        return kExitFailed;
    }
    const std::string mapPath = options.map.empty() ? options.image + ".map" : options.map;
    if (Whereabouts(mapPath) == Whereabouts(options.image)) {
        console.Error("tavrel-cli: the map cannot be the image itself");
        return kExitFailed;
    }
    if (!CheckOutputPath(options.image, true, console) || !CheckOutputPath(mapPath, true, console))
        return kExitFailed;
    // Found out now rather than after a long rescue: the map's folder must be there.
    struct stat folder {};
    const bool found = ::stat(platform::FolderOf(mapPath).c_str(), &folder) == 0;
    if (!found || !S_ISDIR(folder.st_mode)) {
        console.Error("tavrel-cli: cannot write the map " + mapPath + ": " +
                      std::strerror(found ? ENOTDIR : errno));
        return kExitFailed;
    }
    const bool haveImage = FileSize(options.image) >= 0, haveMap = FileSize(mapPath) >= 0;

    RescueRequest rescue;
    rescue.retries = options.retries;
    rescue.fillByte = options.fillByte;
    MapStatus before;
    if (!options.force && (haveImage || haveMap)) {
        if (!haveImage) {
            console.Error("tavrel-cli: " + mapPath + " exists but " + options.image +
                          " does not; add --force to start afresh");
            return kExitFailed;
        }
        if (!haveMap) {
            console.Error("tavrel-cli: " + options.image + " exists but its map " + mapPath +
                          " does not; name the map with --map, or add --force to replace it");
            return kExitFailed;
        }
        if (!LoadMapFile(mapPath, &rescue.map, &before, &error)) {
            console.Error(error);
            return kExitFailed;
        }
        if (!CheckResumeImage(options.image, mapPath, rescue.map, console)) return kExitFailed;
        if (rescue.map.Unread() == 0) {
            console.Summary("Nothing to read: " + mapPath + " marks every sector of " +
                            options.image + " read");
            return kExitDone;
        }
        rescue.resume = true;
    }

    JobOutcome outcome = RunDiskJob(
        {Rescue, drive.letter(), options.image, !options.noCompression, &rescue}, console);
    if (!outcome.rescueWritten) return ExitCodeFor(outcome.result);

    // The map follows the image: if it could not, the older map marks too little read, and
    // a resume reads those sectors again but keeps the image's bytes where they fail.
    const SectorMap& map = outcome.map;
    const bool cancelled = outcome.result == JobCancelled;
    const int read = map.Count(SectorFinished), unread = map.sectors - read;
    const std::string comment = cancelled ? "Cancelled: not every sector was tried"
                                : unread  ? "Finished, with unreadable sectors"
                                          : "Finished";
    std::string warning;
    if (!SaveMapFile(
            mapPath,
            FormatMapFile(map, EndStatus(map, cancelled, rescue.resume ? before.pass + 1 : 1),
                          options.commandLine, comment),
            &error, &warning)) {
        console.Error(error + " (" + options.image +
                      " is written; a resume reads again what the older map lacks)");
        return kExitFailed;
    }
    if (!warning.empty()) console.Warning(warning);

    const std::string counts = WithThousands(read) + " of " + WithThousands(map.sectors);
    if (cancelled) {
        console.Warning("Cancelled: " + options.image + " and " + mapPath + " keep the " + counts +
                        " sectors read; run the same command again to go on");
        return kExitCancelled;
    }
    std::string line = std::string(rescue.resume ? "Resumed" : "Rescued") + " " + drive.label() +
                       " (" + MediaTypeName(outcome.mediaRow) + ") to " + options.image + " in " +
                       Duration(outcome.seconds) + ": " + counts + " sectors read";
    if (rescue.resume) line += " (" + WithThousands(outcome.recovered) + " of them now)";
    if (unread) line += ", " + WithThousands(unread) + " unreadable";
    console.Summary(line + "; map in " + mapPath);
    if (!unread) return kExitDone;
    console.Summary("Unreadable: " +
                    UnreadRanges(map, MediaTypeTable[outcome.mediaRow].sectorsPerTrack));
    return kExitUnreadable;
}

}  // namespace cli
