// The system's private profile calls, which Linux lacks: INI files in which sections and keys
// match without regard to case, a missing file, section or key gives the default, and writing
// one key leaves every other line as it was. A file is written whole through a ReplacementFile:
// a crash leaves the old file or the new one, a linked profile stays linked, and a missing
// folder is made (mode 0700). On Windows they are kernel32's (the override of this header).
#pragma once

#include "platform/win_types.h"

UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                           const char* file);
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                               char* buffer, DWORD size, const char* file);
// A null value removes the key; a null key removes the whole section. Inside a ProfileBatch of
// the same thread the change is kept for the batch to write. A section, key or value holding a
// line break (CR or LF) is refused: FALSE with EINVAL, nothing changed, and a batch it was
// made in still writes the rest.
BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* file);
