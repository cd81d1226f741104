// FormatMessageA and LocalFree are the system's; its texts come in the user's language.
#pragma once

#include "platform/win_types.h"

namespace platform {
inline void UseUserLanguage() {}
}  // namespace platform
