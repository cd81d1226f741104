// The calling thread's last-error value: system codes are errno values, codes made by the
// program carry bit 29 (see drive/disk_errors.h).
#pragma once

#include "platform/win_types.h"

DWORD GetLastError();
void SetLastError(DWORD code);
