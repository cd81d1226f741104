#include <atomic>

#include "platform/cancel_signals.h"
#include "platform/win_types.h"

namespace platform {
namespace {

std::atomic<int> g_requested{0};
std::atomic<bool> g_ended{false};
std::atomic<int> g_depth{0};  // objects live on every drive's thread of a batch at once

// Set while no object lives: the job's clean-up is done. Never closed, since a handler may
// still wait on it as the process ends.
HANDLE CleanedUp() {
    static const HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    return event;
}

// Set by every request, for whoever waits in WaitForRequest; an auto-reset event wakes one.
HANDLE Arrived() {
    static const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return event;
}

// Runs on a thread the system starts for the event. The system ends the process once the
// handler of a close, logoff or shutdown returns, or when its time is up (a few seconds): the
// job is cancelled at once, and the handler waits for its clean-up, and no longer.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            ++g_requested;
            SetEvent(Arrived());
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            g_ended = true;
            ++g_requested;
            SetEvent(Arrived());
            WaitForSingleObject(CleanedUp(), INFINITE);
            return TRUE;
    }
    return FALSE;
}

}  // namespace

struct CancelSignals::Saved {};

CancelSignals::CancelSignals() {
    Arrived();
    if (g_depth++ > 0) return;
    g_requested = 0;
    g_ended = false;
    ResetEvent(CleanedUp());
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

CancelSignals::~CancelSignals() {
    if (--g_depth > 0) return;
    // First: the system may hold the handler list while a handler runs, so a handler still
    // waiting would keep SetConsoleCtrlHandler from returning.
    SetEvent(CleanedUp());
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}

bool CancelSignals::Requested() const {
    return g_requested.load() != 0;
}

int CancelSignals::Count() const {
    return g_requested.load();
}

bool CancelSignals::SessionEnded() const {
    return g_ended.load();
}

int CancelSignals::WaitForRequest(int ms) const {
    const HANDLE arrived = Arrived();
    if (arrived)
        WaitForSingleObject(arrived, static_cast<DWORD>(ms));
    else
        Sleep(static_cast<DWORD>(ms));
    return g_requested.load();
}

void CancelSignals::Wake() const {
    if (const HANDLE arrived = Arrived()) SetEvent(arrived);
}

// A write to a pipe whose reader has gone fails with ERROR_NO_DATA: there is no signal to keep
// away.
struct BrokenPipeSurvived::Saved {};

BrokenPipeSurvived::BrokenPipeSurvived() = default;
BrokenPipeSurvived::~BrokenPipeSurvived() = default;

struct SignalsBlocked::Saved {};

SignalsBlocked::SignalsBlocked() = default;
SignalsBlocked::~SignalsBlocked() = default;

}  // namespace platform
