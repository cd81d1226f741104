// The error codes the engine sets or tests itself, named once per system: here errno values,
// which are what the Linux stand-ins leave in the last-error value.
#pragma once

#include <cerrno>

#include "platform/win_types.h"

namespace platform {
constexpr DWORD kErrorFileNotFound = ENOENT;
constexpr DWORD kErrorAccessDenied = EACCES;
// A write that took fewer bytes than it was given: the file system is full.
constexpr DWORD kErrorDiskFull = ENOSPC;
}  // namespace platform
