// System texts for error codes: the C library's text for an errno value, in the user's locale.
#pragma once

#include <string>

#include "platform/win_types.h"

// The C library's texts have no inserts; the flag is accepted so that calls read as on Windows.
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x200;

// Only FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER (with or without
// FORMAT_MESSAGE_IGNORE_INSERTS) is supported: buffer is a char** that receives a text to be
// freed with LocalFree. Returns its length, or 0 when the system has no text for the code.
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     char* buffer, DWORD size, void* arguments);
void* LocalFree(void* memory);

namespace platform {
// The system's text for an error code, in the user's language, as UTF-8 and without a closing
// line break; false when the system has none.
bool SystemErrorText(DWORD code, std::string* text);

// Lets system texts follow the user's language as the environment sets it (LC_ALL,
// LC_MESSAGES, LANG). Only messages and their characters change: numbers and the program's
// own texts stay as they are. Called once at start-up, before any other thread runs.
void UseUserLanguage();
}  // namespace platform
