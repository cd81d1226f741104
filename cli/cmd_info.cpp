// info IMAGE: what an image holds and whether it is sound, without a drive.
#include <cstdio>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/image_scan.h"
#include "cli/info_report.h"

namespace cli {

int RunInfo(const InfoOptions& options, Console& console) {
    ImageReport report;
    if (!InspectImage(options.image, &report)) {
        console.Error("tavrel-cli: " + options.image + ": " + report.problem);
        return kExitFailed;
    }
    // The report is the command's result, so --quiet does not hold it back.
    if (options.json) {
        std::fputs(InfoJson(options.image, report, options.map).c_str(), stdout);
    } else if (report.headerValid) {
        std::fputs(InfoText(options.image, report, options.map).c_str(), stdout);
    }
    std::fflush(stdout);
    if (!report.wellFormed()) {
        console.Error("tavrel-cli: " + options.image + ": " + report.problem);
        return kExitFailed;
    }
    return kExitDone;
}

}  // namespace cli
