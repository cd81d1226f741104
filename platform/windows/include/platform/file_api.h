// Files, volumes and devices are the system's: CreateFileA, ReadFile, DeviceIoControl and the rest.
#pragma once

#include "platform/win_types.h"
// after windows.h, whose types it uses
#include <winioctl.h>
