// drives --scan: the floppy drives found, the drive letter that reaches each or a free one that
// would, and the profile lines that map them.
#pragma once

#include "cli/console.h"
#include "drive/drive_discovery.h"

namespace cli {

int RunDriveScan(bool assign, Console& console);

}  // namespace cli
