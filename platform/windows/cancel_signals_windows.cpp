#include <atomic>

#include "platform/cancel_signals.h"
#include "platform/win_types.h"

namespace platform {
namespace {

std::atomic<int> g_requested{0};
int g_depth = 0;

// Runs on a thread the system starts for the event. Returning from a close event ends the
// process, so that one waits a while for the job's clean-up to be done by the main thread.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            ++g_requested;
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            ++g_requested;
            Sleep(4000);
            return TRUE;
    }
    return FALSE;
}

}  // namespace

struct CancelSignals::Saved {};

CancelSignals::CancelSignals() {
    if (g_depth++ > 0) return;
    g_requested = 0;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

CancelSignals::~CancelSignals() {
    if (--g_depth > 0) return;
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}

bool CancelSignals::Requested() const {
    return g_requested.load() != 0;
}

int CancelSignals::Count() const {
    return g_requested.load();
}

struct SignalsBlocked::Saved {};

SignalsBlocked::SignalsBlocked() = default;
SignalsBlocked::~SignalsBlocked() = default;

}  // namespace platform
