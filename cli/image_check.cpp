#include "cli/image_check.h"

#include "cli/image_scan.h"

namespace cli {

bool CheckImageInput(const std::string& path, Console& console) {
    ImageReport report;
    bool opened = InspectImage(path, &report);
    // Padding after the last record is never read by a job.
    bool onlyPadding = opened && report.complete() && report.badRecord < 0;
    if (report.wellFormed() || onlyPadding) return true;
    console.Error("tavrel-cli: " + path + ": " + report.problem);
    return false;
}

bool PrepareImageToDrive(const TransferOptions& options, DriveTarget* drive, Console& console) {
    std::string error;
    if (!drive->Resolve(options.drive, &error)) {
        console.Error(error);
        return false;
    }
    return CheckImageInput(options.image, console);
}

}  // namespace cli
