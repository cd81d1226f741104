// files IMAGE: what is on a diskette image, and which files its unreadable sectors damaged.
#include "cli/commands.h"
#include "cli/console_output.h"
#include "cli/file_listing.h"
#include "cli/listing_report.h"
#include "engine/exit_codes.h"
#include "platform/cancel_signals.h"

namespace cli {

int RunFiles(const FilesOptions& options, Console& console) {
    // Ctrl+C, SIGTERM and SIGHUP end even a hostile diskette's listing within moments: it asks
    // between entries and reads.
    platform::CancelSignals signals;
    DisketteListing listing;
    std::string error;
    if (!ListImage(options.image, options.map, &listing, &error,
                   [&] { return signals.Requested(); })) {
        if (listing.cancelled) {
            console.Warning("Cancelled: nothing was listed");
            return kExitCancelled;
        }
        console.Error(error);
        return kExitFailed;
    }
    // The listing is the command's result, so --quiet does not hold it back.
    if (options.dfxml) {
        const size_t slash = options.image.find_last_of('/');
        const std::string name =
            slash == std::string::npos ? options.image : options.image.substr(slash + 1);
        const std::string xml = ListingDfxml(listing, name);
        if (xml.empty()) {
            std::string why;
            console.Error("tavrel-cli: the XML of the listing could not be written" +
                          (CanWriteDfxml(&why) ? std::string() : ": " + why));
            return kExitFailed;
        }
        WriteOut(xml);
    } else if (options.json) {
        WriteOut(ListingJson(listing));
    } else {
        WriteOut(ListingText(listing, options.wide));
    }
    // As after a rescue: the listing is whole, but the diskette had sectors nobody could read.
    return listing.unreadableSectors > 0 ? kExitUnreadable : kExitDone;
}

}  // namespace cli
