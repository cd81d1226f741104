// What info prints about an image: a text report, a map of its track sides, or one JSON object.
#pragma once

#include <string>
#include <vector>

#include "cli/fixity_files.h"
#include "cli/image_scan.h"

namespace cli {

// What a rescue's map adds: the sectors it marks unread, and per track side in image order
// whether it has any.
struct UnreadMarks {
    std::string mapPath;
    int unreadSectors = 0;
    std::vector<bool> damagedSides;
};

// One row per head, one character per cylinder; a side with unread sectors is '!'.
std::vector<std::string> TrackMap(const ImageReport& report, const UnreadMarks* marks = nullptr);
std::string MapLegend(const UnreadMarks* marks = nullptr);

std::string InfoText(const std::string& path, const ImageReport& report, bool withMap,
                     const UnreadMarks* marks = nullptr);
// One line; the content hashes, where given, come last.
std::string InfoJson(const std::string& path, const ImageReport& report, bool withMap,
                     const UnreadMarks* marks = nullptr, const HashSet* hashes = nullptr);

// A raw image: its format, its layout and what told it, in the same two forms; with a rescue's
// map (unread >= 0), the sectors it marks unread.
std::string RawInfoText(const std::string& path, const ImageReport& report, int unread = -1,
                        const std::string& mapPath = {});
std::string RawInfoJson(const std::string& path, const ImageReport& report,
                        const HashSet* hashes = nullptr, int unread = -1);

}  // namespace cli
