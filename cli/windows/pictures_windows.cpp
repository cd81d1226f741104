// The Windows tool is cross-built without libxml2, which writes the surface pictures and the
// box report: a batch files its diskettes without them, and report and info --picture say so.
#include "cli/box_report.h"
#include "cli/surface_picture.h"

namespace cli {

bool CanDrawPictures(const std::string& what, std::string* error) {
    *error = "tavrel-cli: " + what + " is not in this build (it is built without libxml2)";
    return false;
}

std::string SurfaceSvg(const SurfacePicture&, const std::string&) {
    return {};
}

std::string BoxReportHtml(const BoxReport&) {
    return {};
}

}  // namespace cli
