#include "cli/drive_scan.h"

#include <cstdio>

#include "drive/disk_errors.h"
#include "engine/exit_codes.h"
#include "platform/drive_map.h"
#include "platform/last_error.h"
#include "platform/profile.h"

namespace cli {
namespace {

const char* MediumText(FloppyMedium medium) {
    switch (medium) {
        case FloppyMedium::Present:
            return "yes";
        case FloppyMedium::Absent:
            return "no";
        case FloppyMedium::Unknown:
            break;
    }
    return "unknown";
}

std::string OrDash(const std::string& text) {
    return text.empty() ? "-" : text;
}

}  // namespace

int RunDriveScan(bool assign, Console& console) {
    std::string profile = platform::ProfilePath();
    // The desktop's disk service where it runs, else the kernel's own list.
    bool throughService = false;
    std::vector<FloppyDrive> drives = DiscoverFloppyDrives(&throughService);
    for (FloppyDrive& drive : drives)
        if (drive.legacy) drive.medium = ProbeMedium(drive.device);
    ChooseLetters(drives);

    std::printf("Profile: %s\n",
                profile.empty() ? "(none: no home or configuration folder)" : profile.c_str());
    std::printf("%s\n", throughService ? "Found through UDisks2" : "Found in /sys");
    if (drives.empty()) {
        std::printf("No floppy drives found (a USB drive shows with a diskette in it).\n");
        std::fflush(stdout);
        return kExitDone;
    }
    std::printf("%-12s %-7s %-8s %-9s %-10s %-18s %s\n", "Device", "Kind", "Format", "Diskette",
                "Vendor", "Model", "[Drives]");
    for (const FloppyDrive& drive : drives) {
        std::string line = "-";
        if (drive.mapped)
            line = std::string(1, drive.letter) + ": already";
        else if (drive.letter)
            line = std::string(1, drive.letter) + "=" + platform::StableDevicePath(drive.device);
        else
            line = "(no free letter)";
        std::printf("%-12s %-7s %-8s %-9s %-10s %-18s %s\n", drive.device.c_str(),
                    drive.legacy ? "legacy"
                    : drive.loop ? "loop"
                                 : "usb",
                    OrDash(drive.format).c_str(), MediumText(drive.medium),
                    OrDash(drive.vendor).c_str(), OrDash(drive.model).c_str(), line.c_str());
    }
    std::fflush(stdout);
    if (!assign) return kExitDone;

    if (profile.empty()) {
        console.Error("tavrel-cli: no profile file: neither XDG_CONFIG_HOME nor HOME is set");
        return kExitFailed;
    }
    if (!AssignLetters(drives, profile)) {
        console.Error("tavrel-cli: cannot write " + profile + ": " +
                      DiskErrorText(GetLastError(), FALSE));
        return kExitFailed;
    }
    for (const FloppyDrive& drive : drives)
        if (!drive.mapped && drive.letter)
            console.Summary("Mapped " + std::string(1, drive.letter) + ": to " +
                            platform::StableDevicePath(drive.device));
    return kExitDone;
}

}  // namespace cli
