#include "platform/process_drive_map.h"

#include <cctype>
#include <map>
#include <mutex>

#include "platform/drive_map.h"
#include "platform/profile.h"

namespace platform {
namespace {

std::mutex g_mutex;
std::map<char, std::string>& Mapped() {
    static std::map<char, std::string> mapped;
    return mapped;
}

}  // namespace

bool ProcessDriveMapping(char letter, std::string* path) {
    std::lock_guard lock(g_mutex);
    auto it = Mapped().find(letter);
    if (it == Mapped().end()) return false;
    if (path) *path = it->second;
    return true;
}

std::string ProfileDriveMapping(char letter) {
    std::string file = ProfilePath();
    if (file.empty()) return {};
    char key[2] = {letter, 0};
    char value[4096];
    GetPrivateProfileStringA("Drives", key, "", value, sizeof value, file.c_str());
    return value;
}

ScopedDriveMapping::ScopedDriveMapping(char letter, std::string path)
    : m_letter(static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))) {
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
