// The Windows tool is cross-built without The Sleuth Kit: files says so, and a batch files its
// diskettes without a listing, its info saying why.
#include "cli/commands.h"
#include "cli/file_listing.h"
#include "engine/exit_codes.h"

namespace cli {

namespace {
constexpr const char* kWithoutTsk = "the Windows tool is built without The Sleuth Kit";
}  // namespace

bool ListImage(const std::string& imagePath, const std::string&, DisketteListing* listing,
               std::string*, const std::function<bool()>&) {
    *listing = DisketteListing{};
    listing->imagePath = imagePath;
    listing->why = kWithoutTsk;
    return true;
}

std::string ListingDfxml(const DisketteListing&, const std::string&) {
    return {};
}

bool CanWriteDfxml(std::string* why) {
    *why = "the Windows tool is built without libxml2";
    return false;
}

int RunFiles(const FilesOptions&, Console& console) {
    console.Error(std::string("tavrel-cli: files is not in this build (") + kWithoutTsk + ")");
    return kExitFailed;
}

}  // namespace cli
