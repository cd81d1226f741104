// drives on Windows: the removable drives the system has, whether a diskette is in each, and
// the letters that the drive map gives an image file (a mapped letter hides the system's drive).
// Windows assigns the drive letters itself, so --scan and --assign have nothing to find or write.
#include <string>

#include "cli/commands.h"
#include "cli/console_output.h"
#include "cli/drive_scan.h"
#include "engine/exit_codes.h"
#include "platform/drive_map.h"
#include "platform/profile.h"
#include "platform/windows/wide_path.h"

namespace cli {
namespace {

// Asking the file system about the root is what finds a medium; an empty drive must not make
// the system ask the user to insert one.
bool HasDiskette(const std::string& root) {
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    const bool present =
        GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0) != 0;
    SetErrorMode(oldMode);
    return present;
}

bool IsFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(platform::SystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Left-aligned in a column of width characters, and one space.
std::string Column(const std::string& text, size_t width) {
    return text.size() < width ? text + std::string(width - text.size(), ' ') + " " : text + " ";
}

std::string Line(char letter, const char* source, bool diskette, const std::string& path) {
    return Column(std::string(1, letter) + ":", 6) + Column(source, 8) +
           Column(diskette ? "yes" : "no", 8) + path + "\n";
}

}  // namespace

int RunDrives(Console&) {
    const std::string profile = platform::ProfilePath();
    std::string text =
        "Profile: " + (profile.empty() ? "(none: no application data folder)" : profile) + "\n";
    text += Column("Drive", 6) + Column("Source", 8) + Column("Diskette", 8) + "Path\n";
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const platform::DriveSource source = platform::DriveLetterSource(letter);
        const std::string path = platform::ResolveDriveLetter(letter);
        if (source == platform::DriveSource::Profile || source == platform::DriveSource::Process) {
            text += Line(letter, source == platform::DriveSource::Profile ? "profile" : "argument",
                         IsFile(path), path);
            continue;
        }
        const std::string root = std::string(1, letter) + ":\\";
        if (source == platform::DriveSource::None || GetDriveTypeA(root.c_str()) != DRIVE_REMOVABLE)
            continue;
        text += Line(letter, "system", HasDiskette(root), path);
    }
    WriteOut(text);
    return kExitDone;
}

int RunDriveScan(bool, Console& console) {
    console.Error(
        "tavrel-cli: Windows assigns the drive letters itself; \"tavrel-cli drives\" lists the "
        "removable drives it has and the letters of the [Drives] map");
    return kExitUsage;
}

}  // namespace cli
