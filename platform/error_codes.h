// The error codes the engine sets or tests itself, named once per system: here errno values,
// which are what the Linux stand-ins leave in the last-error value.
#pragma once

#include <cerrno>

#include "platform/win_types.h"

namespace platform {
constexpr DWORD kErrorFileNotFound = ENOENT;
constexpr DWORD kErrorAccessDenied = EACCES;
}  // namespace platform
