#include "platform/format_message.h"

#include <locale.h>
#include <string.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/file_api.h"
#include "platform/last_error.h"

DWORD FormatMessageA(DWORD flags, const void*, DWORD messageId, DWORD, char* buffer, DWORD, void*) {
    if ((flags & (FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER)) !=
            (FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER) ||
        !buffer) {
        SetLastError(EINVAL);
        return 0;
    }
    // A drive's own codes, in the words a diskette user knows.
    const char* own =
        messageId == platform::kVolumeWriteProtected ? "The diskette is write-protected."
        : messageId == platform::kVolumeNoMedium     ? "There is no diskette in the drive."
        : messageId == platform::kVolumeBadSector    ? "The diskette has a bad sector."
                                                     : nullptr;
    if (own) {
        char* copy = strdup(own);
        if (!copy) {
            SetLastError(ENOMEM);
            return 0;
        }
        *reinterpret_cast<char**>(buffer) = copy;
        return static_cast<DWORD>(std::strlen(copy));
    }
    // strerror makes up "Unknown error N" for codes it does not know; those have no text.
    if (messageId > 0x7FFFFFFF || !strerrorname_np(static_cast<int>(messageId))) {
        SetLastError(ENOENT);
        return 0;
    }
    locale_t loc = uselocale(static_cast<locale_t>(0));
    const char* text = strerror_l(static_cast<int>(messageId), loc);
    char* copy = strdup(text);
    if (!copy) {
        SetLastError(ENOMEM);
        return 0;
    }
    *reinterpret_cast<char**>(buffer) = copy;
    return static_cast<DWORD>(std::strlen(copy));
}

void* LocalFree(void* memory) {
    std::free(memory);
    return nullptr;
}

namespace platform {
bool SystemErrorText(DWORD code, std::string* text) {
    char* found = nullptr;
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                            FORMAT_MESSAGE_IGNORE_INSERTS,
                        nullptr, code, 0, reinterpret_cast<char*>(&found), 0, nullptr) ||
        !found)
        return false;
    *text = found;
    LocalFree(found);
    return true;
}

void UseUserLanguage() {
    setlocale(LC_CTYPE, "");
    setlocale(LC_MESSAGES, "");
}
}  // namespace platform
