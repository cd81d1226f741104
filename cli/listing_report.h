// How files shows a listing: a table for people, JSON for scripts (the DFXML document is
// ListingDfxml in file_listing.h).
#pragma once

#include <string>

#include "cli/file_listing.h"

namespace cli {

// The table, one line per entry; wide adds the times and the attributes. Ends with what was
// left out and the damage line. Every name shows its control characters (\x1b), so a name
// cannot move the cursor, retitle the window or forge a row.
std::string ListingText(const DisketteListing& listing, bool wide);

// "2 files damaged by 5 unreadable sectors: a.txt (512 of 3000 bytes), ...; not in a file:
// FAT (1 sector), free space (2 sectors)", or why no damage is known or there is none.
std::string DamageLine(const DisketteListing& listing);

// A line for each thing the listing left out: "Left out: PATH: why".
std::string LeftOutText(const DisketteListing& listing);

// One JSON object.
std::string ListingJson(const DisketteListing& listing);

// "RHSA" letters for a FAT attribute byte ("-" for each clear one), "" when unknown.
std::string AttributeLetters(int attributes);

}  // namespace cli
