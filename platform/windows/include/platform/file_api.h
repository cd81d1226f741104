// Files, volumes and devices are the system's: CreateFileA, ReadFile, DeviceIoControl and the rest.
#pragma once

#include <winioctl.h>

#include "platform/win_types.h"
