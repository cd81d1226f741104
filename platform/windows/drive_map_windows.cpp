#include <cctype>
#include <map>
#include <mutex>

#include "platform/drive_map.h"
#include "platform/win_types.h"

namespace platform {
namespace {

std::mutex g_mutex;
std::map<char, std::string>& Mapped() {
    static std::map<char, std::string> mapped;
    return mapped;
}

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
    {
        std::lock_guard lock(g_mutex);
        if (Mapped().count(letter)) return DriveSource::Process;
    }
    return SystemHasDrive(letter) ? DriveSource::Default : DriveSource::None;
}

std::string ResolveDriveLetter(char letter) {
    letter = Upper(letter);
    if (letter < 'A' || letter > 'Z') return {};
    {
        std::lock_guard lock(g_mutex);
        auto it = Mapped().find(letter);
        if (it != Mapped().end()) return it->second;
    }
    if (!SystemHasDrive(letter)) return {};
    return std::string("\\\\.\\") + letter + ":";
}

ScopedDriveMapping::ScopedDriveMapping(char letter, std::string path) : m_letter(Upper(letter)) {
    std::lock_guard lock(g_mutex);
    auto it = Mapped().find(m_letter);
    m_had = it != Mapped().end();
    if (m_had) m_previous = it->second;
    Mapped()[m_letter] = std::move(path);
}

ScopedDriveMapping::~ScopedDriveMapping() {
    std::lock_guard lock(g_mutex);
    if (m_had)
        Mapped()[m_letter] = m_previous;
    else
        Mapped().erase(m_letter);
}

}  // namespace platform
