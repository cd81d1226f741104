// Where the dialog's drive list learns which floppy drives the machine has.
#pragma once

#include <functional>
#include <vector>

#include "engine/drive_discovery.h"

namespace app {

// The machine's floppy drives now (DiscoverFloppyDrives), letters not chosen yet.
std::vector<FloppyDrive> FindDrives();

// Tests give the dialog a made-up machine here: while a finder is set, FindDrives returns
// what it returns. An empty finder restores the real look.
using DriveFinder = std::function<std::vector<FloppyDrive>()>;
void SetDriveFinder(DriveFinder finder);

}  // namespace app
