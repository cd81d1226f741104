#include "cli/cancel_signals.h"

#include <pthread.h>

namespace cli {
namespace {

// Signals counted since the outermost object was made: a batch around a job lets the first
// one end the batch and the second cancel the job.
volatile sig_atomic_t g_requested = 0;
int g_depth = 0;

extern "C" void OnCancelSignal(int) {
    g_requested = g_requested + 1;
}

sigset_t CancelSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

CancelSignals::CancelSignals() {
    if (g_depth++ > 0) return;
    g_requested = 0;
    struct sigaction action = {};
    action.sa_handler = OnCancelSignal;
    sigemptyset(&action.sa_mask);
    // Reads and writes in progress go on; the flag is looked at between track sides.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &m_oldInt);
    sigaction(SIGTERM, &action, &m_oldTerm);
    sigaction(SIGHUP, &action, &m_oldHup);
}

CancelSignals::~CancelSignals() {
    if (--g_depth > 0) return;
    sigaction(SIGINT, &m_oldInt, nullptr);
    sigaction(SIGTERM, &m_oldTerm, nullptr);
    sigaction(SIGHUP, &m_oldHup, nullptr);
}

bool CancelSignals::Requested() const {
    return g_requested != 0;
}

int CancelSignals::Count() const {
    return g_requested;
}

SignalsBlocked::SignalsBlocked() {
    sigset_t set = CancelSet();
    pthread_sigmask(SIG_BLOCK, &set, &m_old);
}

SignalsBlocked::~SignalsBlocked() {
    pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
}

}  // namespace cli
