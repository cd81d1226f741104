#include "platform/floppy_format.h"

namespace platform {

// Windows' floppy driver takes the format from the diskette itself, track by track: it reads
// DMF's 21 sectors in a 1.44 MB drive, and its media types include the 160 to 320 KB
// diskettes of a 5.25" drive and 2.88 MB ones. It guesses no layout that would need
// correcting, and has no request that sets one.
bool SetFloppyLayout(HANDLE, const FloppyLayout&, bool* set) {
    *set = false;
    return true;
}

bool ClearFloppyLayout(HANDLE) {
    return true;
}

}  // namespace platform
