// GetPrivateProfileStringA and the rest are the system's, but for the write: the system writes
// a value holding a line break as it is, and what follows the break reads back as lines of
// their own, another section and its keys among them. Every write of the project goes through
// the project's own, which refuses a section, key or value with CR or LF (FALSE with
// ERROR_INVALID_PARAMETER, the file unchanged) and hands the rest to the system.
#pragma once

#include "platform/win_types.h"  // <windows.h>: the system's declaration comes first

BOOL CheckedWritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                       const char* file);
#define WritePrivateProfileStringA CheckedWritePrivateProfileStringA
