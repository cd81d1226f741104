#include "cli/bad_sectors.h"

namespace cli {

std::string UnreadRanges(const SectorMap& map, int sectorsPerTrack, int heads) {
    std::string out;
    for (int s = 0; s < map.sectors;) {
        if (map.states[s] == SectorFinished) {
            ++s;
            continue;
        }
        int side = s / sectorsPerTrack;
        int end = s;
        while (end + 1 < map.sectors && (end + 1) / sectorsPerTrack == side &&
               map.states[end + 1] != SectorFinished)
            ++end;
        int first = s % sectorsPerTrack + 1, last = end % sectorsPerTrack + 1;
        if (!out.empty()) out += ", ";
        out += "cylinder " + std::to_string(side / heads) + " head " +
               std::to_string(side % heads) +
               (first == last ? " sector " + std::to_string(first)
                              : " sectors " + std::to_string(first) + "-" + std::to_string(last));
        s = end + 1;
    }
    return out;
}

std::vector<bool> DamagedSides(const SectorMap& map, int sectorsPerTrack) {
    std::vector<bool> sides(static_cast<size_t>(map.sectors / sectorsPerTrack), false);
    for (int s = 0; s < map.sectors; ++s)
        if (map.states[s] != SectorFinished) sides[static_cast<size_t>(s / sectorsPerTrack)] = true;
    return sides;
}

}  // namespace cli
