// batch on Windows: not there yet. Telling insertion and removal of a diskette apart needs the
// drive's media state from the system (IOCTL_STORAGE_CHECK_VERIFY), which has no test under
// Wine, so the command says so instead of imaging a box blind. check works as on Linux.
#include "cli/commands.h"
#include "engine/exit_codes.h"

namespace cli {

int RunBatch(const BatchOptions&, Console& console) {
    console.Error(
        "tavrel-cli: batch is not available on Windows yet; image each diskette with compress "
        "(and check a folder with check)");
    return kExitUsage;
}

}  // namespace cli
