#include <cctype>

#include "platform/drive_map.h"
#include "platform/process_drive_map.h"
#include "platform/win_types.h"

namespace platform {
namespace {

char Upper(char letter) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
}

// The system assigns the letters; a letter it has is a drive.
bool SystemHasDrive(char letter) {
    return (GetLogicalDrives() >> (letter - 'A')) & 1u;
}

}  // namespace

bool SameDrive(const std::string& a, const std::string& b) {
    return a == b;
}

std::string StableDevicePath(const std::string& device, const std::string&) {
    return device;
}

DriveSource DriveLetterSource(char letter) {
    letter = Upper(letter);
    if (letter < 'A' || letter > 'Z') return DriveSource::None;
    if (ProcessDriveMapping(letter, nullptr)) return DriveSource::Process;
    if (!ProfileDriveMapping(letter).empty()) return DriveSource::Profile;
    return SystemHasDrive(letter) ? DriveSource::Default : DriveSource::None;
}

std::string ResolveDriveLetter(char letter) {
    letter = Upper(letter);
    if (letter < 'A' || letter > 'Z') return {};
    if (std::string mapped; ProcessDriveMapping(letter, &mapped)) return mapped;
    if (std::string fromProfile = ProfileDriveMapping(letter); !fromProfile.empty())
        return fromProfile;
    if (!SystemHasDrive(letter)) return {};
    return std::string("\\\\.\\") + letter + ":";
}

}  // namespace platform
