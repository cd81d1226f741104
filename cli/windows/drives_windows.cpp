// drives on Windows: the removable drives the system has, and whether a diskette is in each.
// Windows assigns the drive letters itself, so --scan and --assign have nothing to find or write.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/drive_scan.h"
#include "engine/exit_codes.h"
#include "platform/win_types.h"

namespace cli {

int RunDrives(Console&) {
    std::printf("%-6s %-8s\n", "Drive", "Diskette");
    const DWORD drives = GetLogicalDrives();
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        if (!((drives >> (letter - 'A')) & 1u)) continue;
        const std::string root = std::string(1, letter) + ":\\";
        if (GetDriveTypeA(root.c_str()) != DRIVE_REMOVABLE) continue;
        // Asking the file system about the root is what finds a medium; an empty drive must
        // not make the system ask the user to insert one.
        const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
        const bool present = GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr,
                                                   nullptr, nullptr, 0) != 0;
        SetErrorMode(oldMode);
        std::printf("%c:     %-8s\n", letter, present ? "yes" : "no");
    }
    std::fflush(stdout);
    return kExitDone;
}

int RunDriveScan(bool, Console& console) {
    console.Error(
        "tavrel-cli: Windows assigns the drive letters itself; \"tavrel-cli drives\" lists the "
        "removable drives it has");
    return kExitUsage;
}

}  // namespace cli
