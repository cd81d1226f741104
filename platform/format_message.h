// System texts for error codes: the C library's text for an errno value, in the user's locale.
#pragma once

#include "platform/win_types.h"

// Only FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER is supported: buffer is a
// char** that receives a text to be freed with LocalFree. Returns its length, or 0 when the
// system has no text for the code.
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     char* buffer, DWORD size, void* arguments);
void* LocalFree(void* memory);

namespace platform {
// Lets system texts follow the user's language as the environment sets it (LC_ALL,
// LC_MESSAGES, LANG). Only messages and their characters change: numbers and the program's
// own texts stay as they are. Called once at start-up, before any other thread runs.
void UseUserLanguage();
}  // namespace platform
