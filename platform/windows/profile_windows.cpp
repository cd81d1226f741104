#include <cstdlib>
#include <mutex>
#include <optional>

#include "platform/profile.h"

namespace platform {
namespace {

std::mutex g_mutex;
std::optional<std::string> g_override;

}  // namespace

std::string ProfilePath() {
    {
        std::lock_guard lock(g_mutex);
        if (g_override) return *g_override;
    }
    const char* appData = std::getenv("APPDATA");
    if (!appData || !*appData) return "";
    return std::string(appData) + "\\tavrel.INI";
}

ScopedProfilePath::ScopedProfilePath(std::string path) {
    std::lock_guard lock(g_mutex);
    m_had = g_override.has_value();
    if (m_had) m_previous = *g_override;
    g_override = std::move(path);
}

ScopedProfilePath::~ScopedProfilePath() {
    std::lock_guard lock(g_mutex);
    if (m_had)
        g_override = m_previous;
    else
        g_override.reset();
}

// The system writes each line at once; a batch has nothing to collect.
ProfileBatch::ProfileBatch() : m_joined(false) {}
ProfileBatch::~ProfileBatch() = default;
BOOL ProfileBatch::Commit() {
    return TRUE;
}

}  // namespace platform
