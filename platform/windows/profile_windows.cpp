#include <cstdlib>
#include <cstring>

#include "platform/profile.h"

// Below, the system's own write (platform/profile_api.h sends every other caller to the check).
#undef WritePrivateProfileStringA

namespace {

bool BreaksLine(const char* text) {
    return text && std::strpbrk(text, "\r\n") != nullptr;
}

}  // namespace

BOOL CheckedWritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                       const char* file) {
    if (BreaksLine(section) || BreaksLine(key) || BreaksLine(value)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return WritePrivateProfileStringA(section, key, value, file);
}

namespace platform {

std::string SystemProfilePath() {
    const char* appData = std::getenv("APPDATA");
    if (!appData || !*appData) return "";
    return std::string(appData) + "\\tavrel.INI";
}

// The system writes each line at once; a batch has nothing to collect.
ProfileBatch::ProfileBatch() : m_joined(false) {}
ProfileBatch::~ProfileBatch() = default;
BOOL ProfileBatch::Commit() {
    return TRUE;
}

}  // namespace platform
