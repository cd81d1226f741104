// The error codes the engine sets or tests itself, as the system's own, so that FormatMessage
// gives their texts in the user's language.
#pragma once

#include "platform/win_types.h"

namespace platform {
constexpr DWORD kErrorFileNotFound = ERROR_FILE_NOT_FOUND;
constexpr DWORD kErrorAccessDenied = ERROR_ACCESS_DENIED;
// A write that took fewer bytes than it was given: the disk is full.
constexpr DWORD kErrorDiskFull = ERROR_DISK_FULL;
}  // namespace platform
