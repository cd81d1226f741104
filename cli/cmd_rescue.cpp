// rescue DRIVE IMAGE: a compress that goes on past read errors, with a map of what was read
// beside the image; run again, it reads only what the map still lacks.
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "cli/bad_sectors.h"
#include "cli/commands.h"
#include "cli/console_text.h"
#include "cli/drive_target.h"
#include "cli/image_scan.h"
#include "cli/job_runner.h"
#include "cli/map_file.h"
#include "cli/output_kind.h"
#include "cli/output_path.h"
#include "cli/raw_image.h"
#include "cli/shown_argument.h"
#include "drive/media_table.h"
#include "engine/exit_codes.h"
#include "engine/image_format.h"
#include "platform/cancel_signals.h"
#include "platform/replace_file.h"
#include "platform/syscalls.h"

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

// Replaces the map at every checkpoint of the job, on the job's thread. What went wrong is
// printed by the main thread once the job has ended.
class MapKeeper final : public RescueMapKeeper {
  public:
    MapKeeper(std::string path, std::string commandLine, std::string drive, int pass,
              const DisketteId& expected)
        : m_path(std::move(path)),
          m_commandLine(std::move(commandLine)),
          m_drive(std::move(drive)),
          m_pass(pass),
          m_expected(expected) {}

    bool Identify(const std::uint8_t* bootSector) override {
        if (!bootSector) {
            m_diskette = m_expected;
            if (m_expected.known)
                note = "tavrel-cli: the boot sector does not read, so it is not known whether " +
                       m_drive + " holds the diskette " + m_path + " maps";
            return true;
        }
        m_diskette = IdentifyDiskette(bootSector);
        if (!m_expected.known || m_expected.bootHash == m_diskette.bootHash) return true;
        const std::string why =
            m_diskette.hasSerial && m_expected.hasSerial && m_diskette.serial != m_expected.serial
                ? "volume serial " + SerialText(m_diskette) + ", the map's " +
                      SerialText(m_expected)
                : "its boot sector is not the one the map records";
        error = "tavrel-cli: " + m_drive + " holds another diskette than the one " + m_path +
                " maps (" + why + "); put that diskette in, or add --force to start afresh";
        return false;
    }

    bool Save(const SectorMap& map, Moment moment) override {
        MapStatus status;
        status.pass = m_pass;
        status.diskette = m_diskette;
        status.status = moment == Finished ? SectorFinished : SectorNonTried;
        if (moment != Finished) {
            int s = 0;
            while (s < map.sectors && map.states[s] != SectorNonTried) ++s;
            status.position = 512LL * (s < map.sectors ? s : 0);
        }
        const std::string comment = moment == Reading ? "Running, or stopped before its end: not "
                                                        "every sector was tried yet"
                                    : moment == Cancelled ? "Cancelled: not every sector was tried"
                                    : map.Unread()        ? "Finished, with unreadable sectors"
                                                          : "Finished";
        std::string notDurable;
        if (!SaveMapFile(m_path, FormatMapFile(map, status, m_commandLine, comment), &error,
                         &notDurable))
            return false;
        if (warning.empty()) warning = notDurable;
        saved = map;
        ++saves;
        return true;
    }

    // Read by the main thread once the job has ended.
    std::string error, warning, note;
    SectorMap saved;  // as the map at the path has it
    int saves = 0;

  private:
    std::string m_path;
    std::string m_commandLine;
    std::string m_drive;
    int m_pass;
    DisketteId m_expected;
    DisketteId m_diskette;
};

// A finished rescue's raw image, made from its .tvl, which then goes.
int FinishRaw(const std::string& work, const std::string& image, Console& console) {
    const int code = DecodeToRaw(work, image, {}, console);
    if (code != kExitDone) return code;
    platform::SysUnlink(work.c_str());
    console.Summary("Nothing to read: the raw image " + image + " is made from " + work);
    return kExitDone;
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
    const bool raw = ChooseOutputKind(options.image, options.kind, console) == OutputKind::Raw;
    // A raw image cannot be patched where a sector reads at last: the rescue works on a .tvl
    // beside it until it is finished, as a batch's does, and only that .tvl goes on.
    const std::string work = raw ? options.image + ".tvl" : options.image;
    if (platform::Whereabouts(mapPath) == platform::Whereabouts(options.image) ||
        platform::Whereabouts(mapPath) == platform::Whereabouts(work)) {
        console.Error("tavrel-cli: the map cannot be the image itself");
        return kExitFailed;
    }
    if (!CheckOutputPath(options.image, true, console) || !CheckOutputPath(work, true, console) ||
        !CheckOutputPath(mapPath, true, console))
        return kExitFailed;
    // Found out now rather than after a long rescue: the map's folder must be there.
    struct stat folder {};
    const bool found = platform::SysStat(platform::FolderOf(mapPath).c_str(), &folder) == 0;
    if (!found || !S_ISDIR(folder.st_mode)) {
        console.Error("tavrel-cli: cannot write the map " + mapPath + ": " +
                      std::strerror(found ? ENOTDIR : errno));
        return kExitFailed;
    }
    const bool haveImage = FileSize(work) >= 0, haveMap = FileSize(mapPath) >= 0;
    RescueRequest rescue;
    MapStatus before;
    // A diskette a .tvl cannot hold is rescued straight into its raw image, which each
    // checkpoint replaces whole; such a rescue goes on from the raw image and its map.
    bool direct = false;
    if (raw && !options.force && !haveImage && FileSize(options.image) >= 0) {
        SectorMap done;
        MapStatus status;
        const bool mapFits = haveMap && LoadMapFile(mapPath, &done, &status, &error) &&
                             done.sectors * 512LL == FileSize(options.image);
        if (mapFits && done.Unread() == 0) {
            console.Summary("Nothing to read: " + mapPath + " marks every sector of " +
                            options.image + " read");
            return kExitDone;
        }
        // A table format's raw image is made from its .tvl only once that is finished.
        ImageReport report;
        direct = mapFits && InspectImage(options.image, &report) &&
                 report.kind == FileKind::RawImage && report.rawFormat.mediaRow < 0;
        if (direct) {
            rescue.map = done;
            before = status;
            rescue.resume = true;
        }
    }
    if (raw && !options.force && !haveImage && FileSize(options.image) >= 0 && !direct) {
        console.Error("tavrel-cli: " + options.image + " exists without " + work +
                      " to go on with (a raw image is made once its rescue is finished); add "
                      "--force to start afresh");
        return kExitFailed;
    }

    rescue.retries = options.retries;
    rescue.fillByte = options.fillByte;
    if (!direct && !options.force && (haveImage || haveMap)) {
        // A rescue killed before its first image leaves a map that marks nothing read.
        const bool emptyMap = !haveImage && LoadMapFile(mapPath, &rescue.map, &before, &error) &&
                              rescue.map.Count(SectorFinished) == 0;
        if (!haveImage && !emptyMap) {
            console.Error("tavrel-cli: " + mapPath + " exists but " + work +
                          " does not; add --force to start afresh");
            return kExitFailed;
        }
        if (!haveMap) {
            console.Error("tavrel-cli: " + work + " exists but its map " + mapPath +
                          " does not; name the map with --map, or add --force to replace it");
            return kExitFailed;
        }
        if (haveImage) {
            if (!LoadMapFile(mapPath, &rescue.map, &before, &error)) {
                console.Error(error);
                return kExitFailed;
            }
            if (!CheckResumeImage(work, mapPath, rescue.map, console)) return kExitFailed;
            if (rescue.map.Unread() == 0) {
                // A raw image that could not be written at the end is made now.
                if (raw) return FinishRaw(work, options.image, console);
                console.Summary("Nothing to read: " + mapPath + " marks every sector of " + work +
                                " read");
                return kExitDone;
            }
            rescue.resume = true;
        }
    }

    MapKeeper keeper(mapPath, options.commandLine, drive.label(),
                     rescue.resume ? before.pass + 1 : 1,
                     rescue.resume ? before.diskette : DisketteId{});
    rescue.keeper = &keeper;
    platform::CancelSignals signals;  // outermost: heard while the raw image is written too
    JobRequest request{Rescue, drive.letter(), direct ? options.image : work,
                       !options.noCompression, &rescue};
    request.hashes = options.hashes;
    request.cancelAtSignal = options.cancelAtSignal;
    request.imageName = options.imageName;
    request.driveName = drive.label();
    request.rawImage = direct;
    // A diskette a .tvl cannot hold goes straight into the raw image asked for (or the one the
    // batch names), which each checkpoint replaces whole.
    if (!direct)
        request.rawPathIfForeign = !options.rawPathIfForeign.empty() ? options.rawPathIfForeign
                                   : raw                             ? options.image
                                                                     : "";
    request.rawCommand = "tavrel-cli rescue " + ShownArgument(options.drive) + " " +
                         ShownArgument(RawNameFor(options.image));
    JobOutcome outcome = RunDiskJob(request, console);
    const bool wentRaw = outcome.rawImage && !direct;
    if (wentRaw && raw) direct = true;
    if (options.outcome) *options.outcome = outcome;
    if (!keeper.error.empty()) console.Error(keeper.error);
    if (!keeper.note.empty()) console.Warning(keeper.note);
    if (!keeper.warning.empty()) console.Warning(keeper.warning);

    // What image and map now hold together: the map of the last checkpoint.
    const SectorMap& map = keeper.saved;
    const int read = map.Count(SectorFinished), unread = map.sectors - read;
    const std::string counts = WithThousands(read) + " of " + WithThousands(map.sectors);
    std::string shownImage = !options.imageName.empty() ? options.imageName
                             : direct                   ? options.image
                                                        : work;
    if (wentRaw && !raw) shownImage = RawNameFor(shownImage);
    const std::string shownMap = options.mapName.empty() ? mapPath : options.mapName;
    const std::string goOn =
        options.goOn.empty() ? "run the same command again to go on" : options.goOn;
    if (outcome.result == JobFailed) {
        if (keeper.saves > 0 && read > 0)
            console.Warning("tavrel-cli: " + shownImage + " and " + shownMap + " keep the " +
                            counts + " sectors read up to the last checkpoint; " + goOn);
        return kExitFailed;
    }
    if (outcome.result == JobCancelled) {
        if (keeper.saves == 0)
            console.Warning("Cancelled before the rescue began: " + shownImage + " and " +
                            shownMap + " are as they were");
        else
            console.Warning("Cancelled: " + shownImage + " and " + shownMap + " keep the " +
                            counts + " sectors read; " + goOn);
        return kExitCancelled;
    }
    if (raw && !direct) {
        const int code = signals.Requested() ? kExitCancelled
                                             : DecodeToRaw(
                                                   work, options.image,
                                                   [&] { return signals.Requested(); }, console);
        if (code == kExitCancelled)
            console.Warning("Cancelled: " + options.image + " was not written; " + work + " and " +
                            shownMap + " keep every sector tried; " + goOn);
        else if (code != kExitDone)
            console.Warning("tavrel-cli: " + work + " and " + shownMap +
                            " keep every sector tried; " + goOn);
        if (code != kExitDone) return code;
        platform::SysUnlink(work.c_str());
    }
    std::string line = std::string(rescue.resume ? "Resumed" : "Rescued") + " " + drive.label() +
                       " (" + FormatSummary(outcome.format) + ") to " +
                       (raw ? "the raw image " + options.image : shownImage) + " in " +
                       Duration(outcome.seconds) + ": " + counts + " sectors read";
    if (rescue.resume) line += " (" + WithThousands(outcome.recovered) + " of them now)";
    if (unread) line += ", " + WithThousands(unread) + " unreadable";
    console.Summary(line + "; map in " + shownMap);
    if (!unread) return kExitDone;
    console.Summary("Unreadable: " +
                    UnreadRanges(map, outcome.format.sectorsPerTrack, outcome.format.heads));
    return kExitUnreadable;
}

}  // namespace cli
