// What info prints about an image: a text report, a map of its track sides, or one JSON object.
#pragma once

#include <string>
#include <vector>

#include "cli/image_scan.h"

namespace cli {

// One row per head, one character per cylinder.
std::vector<std::string> TrackMap(const ImageReport& report);
std::string MapLegend();

std::string InfoText(const std::string& path, const ImageReport& report, bool withMap);
std::string InfoJson(const std::string& path, const ImageReport& report, bool withMap);

}  // namespace cli
