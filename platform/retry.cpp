#include "platform/retry.h"

#include "platform/last_error.h"
#include "platform/sync.h"

namespace platform {

BOOL RetryWhile(const std::function<BOOL()>& attempt, const std::function<bool(DWORD)>& transient,
                int tries, DWORD pauseMs) {
    for (int tried = 1;; ++tried) {
        if (attempt()) return TRUE;
        const DWORD code = GetLastError();
        if (tried >= tries || !transient(code)) return FALSE;
        Sleep(pauseMs);
    }
}

}  // namespace platform
