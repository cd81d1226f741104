// info IMAGE: what an image holds and whether it is sound, without a drive; with a rescue's
// map, which of its track sides have sectors that could not be read.
#include <cstdio>

#include "cli/atomic_output.h"
#include "cli/bad_sectors.h"
#include "cli/box_report.h"
#include "cli/commands.h"
#include "cli/console_output.h"
#include "cli/fixity_files.h"
#include "cli/image_scan.h"
#include "cli/info_report.h"
#include "cli/map_file.h"
#include "cli/surface_picture.h"
#include "engine/exit_codes.h"

namespace cli {
namespace {

// The picture of the image with the map given, else the one beside it, written to path.
bool WritePicture(const InfoOptions& options, std::string* error) {
    if (!CanDrawPictures("--picture", error)) return false;
    const std::string map = options.badMap.empty() ? MapBesideImage(options.image) : options.badMap;
    SurfacePicture picture;
    return PictureOfImage(options.image, map, &picture, error) &&
           WriteWholeFile(options.picture, SurfaceSvg(picture, FolderTitle(options.image)), error);
}

}  // namespace

int RunInfo(const InfoOptions& options, Console& console) {
    ImageReport report;
    if (!InspectImage(options.image, &report)) {
        console.Error("tavrel-cli: " + options.image + ": " + report.problem);
        return kExitFailed;
    }
    if (report.kind == FileKind::RawImage && report.rawFormat.known()) {
        HashSet hashes;
        std::string error;
        int unread = -1;
        if (!options.badMap.empty()) {
            SectorMap map;
            MapStatus status;
            if (!LoadMapFile(options.badMap, &map, &status, &error)) {
                console.Error(error);
                return kExitFailed;
            }
            if (map.sectors != report.rawFormat.sectors()) {
                console.Error("tavrel-cli: " + options.badMap + " maps " +
                              std::to_string(map.sectors) + " sectors, not those of " +
                              options.image);
                return kExitFailed;
            }
            unread = map.Unread();
        }
        if (options.hashes && !ImageContentHashes(options.image, options.hashes, &hashes, &error)) {
            console.Error("tavrel-cli: " + options.image + ": " + error);
            return kExitFailed;
        }
        WriteOut(options.json ? RawInfoJson(options.image, report, &hashes, unread)
                              : RawInfoText(options.image, report, unread, options.badMap));
        if (!options.json)
            for (const auto& [name, hex] : hashes) WriteOut("content-" + name + ": " + hex + "\n");
        if (!options.picture.empty() && !WritePicture(options, &error)) {
            console.Error(error);
            return kExitFailed;
        }
        return kExitDone;
    }
    UnreadMarks marks;
    // A file that is no image has no sides to mark: the report says what is wrong with it.
    const bool withMarks = !options.badMap.empty() && report.headerValid;
    if (withMarks) {
        SectorMap map;
        MapStatus status;
        std::string error;
        if (!LoadMapFile(options.badMap, &map, &status, &error)) {
            console.Error(error);
            return kExitFailed;
        }
        if (map.sectors * 512LL != report.diskBytes()) {
            console.Error("tavrel-cli: " + options.badMap + " maps " + std::to_string(map.sectors) +
                          " sectors, not those of " + options.image);
            return kExitFailed;
        }
        marks.mapPath = options.badMap;
        marks.unreadSectors = map.Unread();
        marks.damagedSides = DamagedSides(map, report.sectorsPerTrack);
    }
    HashSet hashes;
    if (options.hashes && report.wellFormed()) {
        std::string error;
        if (!ImageContentHashes(options.image, options.hashes, &hashes, &error)) {
            console.Error("tavrel-cli: " + options.image + ": " + error);
            return kExitFailed;
        }
    }
    const UnreadMarks* shown = withMarks ? &marks : nullptr;
    const bool withMap = options.map || withMarks;
    // The report is the command's result, so --quiet does not hold it back.
    if (options.json) {
        WriteOut(InfoJson(options.image, report, withMap, shown, &hashes));
    } else if (report.headerValid) {
        WriteOut(InfoText(options.image, report, withMap, shown));
        // What a person can hash again: the content, not this file.
        if (!hashes.empty())
            WriteOut(
                "  Content hash: of the diskette's sectors in order, the sha256sum (or md5sum, "
                "sha1sum) of the raw image tavrel-cli convert makes, not of this file\n");
        // The same keys as in a batch's info files, so the two can be compared line by line.
        for (const auto& [name, hex] : hashes) WriteOut("content-" + name + ": " + hex + "\n");
    }
    if (!report.wellFormed()) {
        console.Error("tavrel-cli: " + options.image + ": " + report.problem);
        return kExitFailed;
    }
    std::string error;
    if (!options.picture.empty() && !WritePicture(options, &error)) {
        console.Error(error);
        return kExitFailed;
    }
    return kExitDone;
}

}  // namespace cli
