// Windows opens drives itself: no service is asked, none refuses.
#pragma once

#include <string>

namespace platform {
inline std::string UdisksLastRefusal() {
    return {};
}
}  // namespace platform
