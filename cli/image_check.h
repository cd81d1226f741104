// Before a job reads an image onto or against a diskette, the whole file is checked: a
// truncated or damaged image is refused with its exact fault before the drive is touched,
// rather than half-written onto a diskette.
#pragma once

#include <string>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/drive_target.h"

namespace cli {

// False, after printing one line that says why, when the image must not be used. With raw
// given, a raw image is taken too, and *raw says whether the image is one.
bool CheckImageInput(const std::string& path, Console& console, bool* raw = nullptr);

// Expand and verify: resolves the drive and checks the image (a raw one too: *raw); false after
// one line that says which of the two is unusable.
bool PrepareImageToDrive(const TransferOptions& options, DriveTarget* drive, Console& console,
                         bool* raw);

}  // namespace cli
