// What keeps a drive from a job: where the system mounted it, for a console line that tells the
// user what to unmount or close.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace platform {

// Whether the code a refused open or lock of a drive left says that something else holds it.
bool DriveHeldElsewhere(DWORD code);

// Where the block device at path is mounted in this process's view of the mounts: the first
// such mount point; "" when path is no block device or it is mounted nowhere. A mounted
// partition is not looked for: diskettes have none.
std::string DeviceMountPoint(const std::string& path);

}  // namespace platform
