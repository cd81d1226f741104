#include <mutex>
#include <optional>
#include <utility>

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
    return SystemProfilePath();
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

}  // namespace platform
