#include "cli/job_messages.h"

#include "cli/drive_target.h"
#include "cli/image_scan.h"
#include "cli/shown_argument.h"
#include "drive/media_table.h"
#include "platform/drive_holder.h"

namespace cli {
namespace {

std::string WithoutStop(std::string text) {
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

}  // namespace

std::string ImageFormatOf(const std::string& path) {
    ImageReport report;
    // The first record tells the variant by its boot sector; the rest is not needed.
    if (!InspectImage(path, &report, [](int, int, const std::uint8_t*, int) { return false; }) ||
        report.mediaRow < 0)
        return "";
    return FormatName(report);
}

std::string JobMessageText(const std::string& caption, const std::string& text, DWORD code,
                           const JobScene& scene) {
    if (caption == "Tavrel" && text == "Cannot find the drive specified.")
        return WithoutStop(text) + ": " + MissingDriveReason(scene.drive, scene.letter);
    if (caption == "Drive Error" && platform::DriveHeldElsewhere(code))
        return text + ": " + HeldDriveReason(scene.drive, scene.letter);
    if (caption == "File Open Error") return scene.image + ": " + text;
    if (caption == "Tavrel" && text == "Invalid media type." && !scene.imageFormat.empty() &&
        scene.diskRow >= 0)
        return WithoutStop(text) + ": the image is of a " + scene.imageFormat +
               " diskette, the one in " + scene.drive + " is " + MediaTypeName(scene.diskRow) + ".";
    // The diskette is of a format only a raw image holds.
    if (caption == "Tavrel" && text == "Drive media type not supported." && scene.format.known() &&
        scene.format.mediaRow < 0) {
        const std::string line = WithoutStop(text) + " in a .tvl, which holds " +
                                 TableFormatNames() +
                                 " diskettes only: " + ShownArgument(scene.drive) + " holds " +
                                 DisketteText(scene.format);
        return scene.rawCommand.empty() ? line + ", which no .tvl can be the image of"
                                        : line + "; image it raw with " + scene.rawCommand;
    }
    // A rescue words its own read errors; the image file's have no place on the diskette.
    if (caption == "Read Error" && scene.operation != Rescue && text != "Error reading file.") {
        std::string line = WithoutStop(text) + " at cylinder " + std::to_string(scene.cylinder) +
                           " head " + std::to_string(scene.head) + " of " + scene.drive;
        // An expand reads only the boot sector of the diskette it is about to overwrite.
        if (scene.operation != Expand)
            line += " (tavrel-cli rescue images a diskette with bad sectors)";
        return line;
    }
    return text;
}

}  // namespace cli
