// The local time of a moment, safe from any thread.
#pragma once

#include <ctime>

namespace platform {
inline bool LocalTime(std::time_t t, std::tm* local) {
    return localtime_r(&t, local) != nullptr;
}
}  // namespace platform
