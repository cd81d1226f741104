#include "platform/drive_holder.h"

namespace platform {

// A drive in use shows as a refused volume lock, whose own text names what to close.
bool DriveHeldElsewhere(DWORD) {
    return false;
}

// Windows mounts a volume at its letter, which the user named already.
std::string DeviceMountPoint(const std::string&) {
    return "";
}

}  // namespace platform
