#include "cli/drive_target.h"

#include <sys/stat.h>

#include <cctype>

#include "platform/drive_holder.h"
#include "platform/syscalls.h"

namespace cli {
namespace {

constexpr char kLettersHint[] = " (tavrel-cli drives lists the drive letters)";
constexpr char kScanHint[] = " (tavrel-cli drives --scan lists the floppy drives)";

bool Exists(const std::string& path) {
    struct stat st {};
    return platform::SysStat(path.c_str(), &st) == 0;
}

// What drives --scan lists lives under /dev; anything else is reached through a drive letter.
const char* HintFor(const std::string& path) {
    return path.rfind("/dev/", 0) == 0 ? kScanHint : kLettersHint;
}

}  // namespace

bool IsDriveLetterArgument(const std::string& argument) {
    bool alpha = !argument.empty() && std::isalpha(static_cast<unsigned char>(argument[0]));
    return alpha && (argument.size() == 1 || (argument.size() == 2 && argument[1] == ':'));
}

bool DriveTarget::Resolve(const std::string& argument, std::string* error) {
    if (argument.empty()) {
        *error = "tavrel-cli: DRIVE is empty";
        return false;
    }
    if (IsDriveLetterArgument(argument)) {
        m_letter = static_cast<char>(std::toupper(static_cast<unsigned char>(argument[0])));
        m_label = std::string(1, m_letter) + ":";
        return true;
    }
    // Letters from the top down: A and B are the diskette drives people map themselves.
    for (char letter = 'Z'; letter >= 'C'; --letter) {
        if (platform::DriveLetterSource(letter) != platform::DriveSource::None) continue;
        m_letter = letter;
        m_label = argument;
        m_mapping.emplace(letter, argument);
        return true;
    }
    *error = "tavrel-cli: every drive letter is mapped; none is free for " + argument;
    return false;
}

std::string MissingDriveReason(const std::string& label, char letter) {
    if (IsDriveLetterArgument(label)) {
        const std::string mapped = platform::ResolveDriveLetter(letter);
        if (mapped.empty()) return label + " is not in the drive map" + kLettersHint;
        // A node whose device is gone (no controller, an unplugged drive) is still there.
        return label + " is " + mapped + ", which " +
               (Exists(mapped) ? "has no drive behind it" : "does not exist") + HintFor(mapped);
    }
    if (Exists(label)) return label + " has no drive behind it" + HintFor(label);
    if (label.find_first_of("/\\") == std::string::npos)
        return label + " is neither a drive letter nor an existing path" + kLettersHint;
    return label + " does not exist" + HintFor(label);
}

std::string HeldDriveReason(const std::string& label, char letter) {
    const bool isLetter = IsDriveLetterArgument(label);
    const std::string path = isLetter ? platform::ResolveDriveLetter(letter) : label;
    const std::string name = isLetter && !path.empty() ? label + " (" + path + ")" : label;
    const std::string mountPoint = platform::DeviceMountPoint(path);
    if (!mountPoint.empty()) return name + " is mounted at " + mountPoint + " (unmount it)";
    return name + " is held by another program (close it, or wait for it to end)";
}

}  // namespace cli
