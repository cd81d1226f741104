// Tells a floppy driver the diskette's layout where it would guess another one. Linux's driver
// tries a fixed list of formats for each drive type and takes the first whose track 0 reads, so
// a 21-sector diskette passes for an 18-sector one and a 40-track diskette in a 1.2 MB drive for
// a 360 KB one: reads by sector number would then land on other sectors without an error.
#pragma once

#include "platform/win_types.h"

namespace platform {

struct FloppyLayout {
    int cylinders = 0;
    int heads = 0;
    int sectorsPerTrack = 0;
};

// Makes the driver of volume use layout until ClearFloppyLayout. *set tells whether anything
// was changed: not for a device of another driver, an image file, or a driver that already
// uses that layout. False, with the error in the last-error value, when the driver refused.
bool SetFloppyLayout(HANDLE volume, const FloppyLayout& layout, bool* set);

// Gives the driver back its own detection after SetFloppyLayout set a layout.
bool ClearFloppyLayout(HANDLE volume);

}  // namespace platform
