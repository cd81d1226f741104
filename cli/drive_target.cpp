#include "cli/drive_target.h"

#include <cctype>

namespace cli {

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

}  // namespace cli
