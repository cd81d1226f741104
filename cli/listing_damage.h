// The rescue's map over the listing: which files an unreadable sector damaged, what the other
// unreadable sectors were, and the first FAT's unreadable sectors read from the second copy.
#pragma once

#include <string>
#include <vector>

#include "cli/file_listing.h"
#include "cli/listing_tsk.h"
#include "engine/sector_map.h"

namespace cli {

// Where an unreadable sector lies: the runs of The Sleuth Kit's virtual files and folders
// name the parts that are no file.
struct Region {
    long long start, end;  // bytes of the image
    std::string what;
};

std::vector<Region> SystemRegions(TSK_FS_INFO* fs, long long blockSize);

// Marks the files the map's unreadable sectors touch, and names the other unreadable sectors.
void MarkDamage(TSK_FS_INFO* fs, const SectorMap& map, const std::vector<Region>& system,
                DisketteListing* listing);

// Copies the second FAT's sector over each unreadable one of the first where the second's was
// read; true when it copied any (their count in mended).
bool MendFirstFat(const std::vector<Region>& system, const SectorMap& map, std::string* bytes,
                  int* mended);

}  // namespace cli
