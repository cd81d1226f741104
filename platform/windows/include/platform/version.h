// GetVersionExA is the system's: Windows 95 reports VER_PLATFORM_WIN32_WINDOWS.
#pragma once

#include "platform/win_types.h"
