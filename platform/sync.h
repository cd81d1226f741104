// Events and threads with the semantics the job relies on: auto-reset events consumed by a
// successful wait, and a thread whose exit code reads STILL_ACTIVE while it runs.
#pragma once

#include "platform/win_types.h"

using ThreadProc = DWORD (*)(void* parameter);

// Unnamed events only; security attributes and name are accepted for shape and ignored.
HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

HANDLE CreateThread(void* security, DWORD stackSize, ThreadProc proc, void* parameter, DWORD flags,
                    DWORD* threadId);
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);
void Sleep(DWORD milliseconds);
