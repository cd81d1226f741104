// The unread sectors of a sector map, as people name them: cylinder, head and the sectors of
// the track side (counted from 1), runs within a side joined into ranges.
#pragma once

#include <string>
#include <vector>

#include "engine/sector_map.h"

namespace cli {

// "cylinder 12 head 1 sectors 4-6, cylinder 40 head 0 sector 1"; "" when every sector is read.
std::string UnreadRanges(const SectorMap& map, int sectorsPerTrack, int heads = 2);

// One flag per track side in image order (cylinder 0 head 0, cylinder 0 head 1, ...): true
// when any of its sectors is unread.
std::vector<bool> DamagedSides(const SectorMap& map, int sectorsPerTrack);

}  // namespace cli
