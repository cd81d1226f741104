#include "platform/floppy_format.h"

namespace platform {

// Windows' floppy driver finds the format of every diskette it reads (DMF and the single-sided
// and 2.88 MB media types among them): there is nothing to tell it.
bool SetFloppyLayout(HANDLE, const FloppyLayout&, bool* set) {
    *set = false;
    return true;
}

bool ClearFloppyLayout(HANDLE) {
    return true;
}

}  // namespace platform
