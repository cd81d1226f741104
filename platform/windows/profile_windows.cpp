#include <cstdlib>

#include "platform/profile.h"

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
