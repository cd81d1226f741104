// A call that another program may stand in the way of for a moment (a virus scanner or an
// indexer reading a fresh file, an Explorer window on a just-inserted diskette), tried again
// for a short while before its refusal stands.
#pragma once

#include <functional>

#include "platform/win_types.h"

namespace platform {

// Calls attempt until it succeeds, fails with a code for which transient(code) is false, or has
// been called tries times, pausing pauseMs between calls. Returns the last call's result, with
// its code left in the thread's last-error value.
BOOL RetryWhile(const std::function<BOOL()>& attempt, const std::function<bool(DWORD)>& transient,
                int tries, DWORD pauseMs);

}  // namespace platform
