#include "cli/cancel_signals.h"

#include <pthread.h>

namespace cli {
namespace {

volatile sig_atomic_t g_requested = 0;

extern "C" void OnCancelSignal(int) {
    g_requested = 1;
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
    sigaction(SIGINT, &m_oldInt, nullptr);
    sigaction(SIGTERM, &m_oldTerm, nullptr);
    sigaction(SIGHUP, &m_oldHup, nullptr);
}

bool CancelSignals::Requested() const {
    return g_requested != 0;
}

SignalsBlocked::SignalsBlocked() {
    sigset_t set = CancelSet();
    pthread_sigmask(SIG_BLOCK, &set, &m_old);
}

SignalsBlocked::~SignalsBlocked() {
    pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
}

}  // namespace cli
