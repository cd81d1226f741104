#include "platform/cancel_signals.h"

#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <time.h>

#include <atomic>
#include <cerrno>

namespace platform {
namespace {

// Atomics, not volatile flags: a batch reads them on every drive's thread, and a lock-free
// atomic may be written from a signal handler.
std::atomic<int> g_requested{0};
std::atomic<int> g_ended{0};
static_assert(std::atomic<int>::is_always_lock_free);
// Objects live on every drive's thread of a batch at once.
std::atomic<int> g_depth{0};

// Posted by the handler (sem_post may be called there) for whoever waits in WaitForRequest.
sem_t* Arrived() {
    static sem_t semaphore;
    static const bool made = sem_init(&semaphore, 0, 0) == 0;
    return made ? &semaphore : nullptr;
}

extern "C" void OnCancelSignal(int signal) {
    const int saved = errno;
    if (signal == SIGHUP) g_ended = 1;
    ++g_requested;
    if (sem_t* arrived = Arrived()) sem_post(arrived);
    errno = saved;
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

struct CancelSignals::Saved {
    struct sigaction oldInt;
    struct sigaction oldTerm;
    struct sigaction oldHup;
};

CancelSignals::CancelSignals() : m_saved(std::make_unique<Saved>()) {
    Arrived();  // made here, never first in the handler
    if (g_depth++ > 0) return;
    g_requested = 0;
    g_ended = 0;
    struct sigaction action = {};
    action.sa_handler = OnCancelSignal;
    sigemptyset(&action.sa_mask);
    // Reads and writes in progress go on; the flag is looked at between track sides.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &m_saved->oldInt);
    sigaction(SIGTERM, &action, &m_saved->oldTerm);
    sigaction(SIGHUP, &action, &m_saved->oldHup);
}

CancelSignals::~CancelSignals() {
    if (--g_depth > 0) return;
    sigaction(SIGINT, &m_saved->oldInt, nullptr);
    sigaction(SIGTERM, &m_saved->oldTerm, nullptr);
    sigaction(SIGHUP, &m_saved->oldHup, nullptr);
}

bool CancelSignals::Requested() const {
    return g_requested != 0;
}

int CancelSignals::Count() const {
    return g_requested;
}

bool CancelSignals::SessionEnded() const {
    return g_ended != 0;
}

int CancelSignals::WaitForRequest(int ms) const {
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += ms / 1000;
    until.tv_nsec += (ms % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        ++until.tv_sec;
        until.tv_nsec -= 1000000000L;
    }
    if (sem_t* arrived = Arrived()) {
        // Interrupted by the handler on this thread, the wait finds its post at once.
        while (sem_timedwait(arrived, &until) != 0 && errno == EINTR) {
        }
    } else {
        clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &until, nullptr);
    }
    return g_requested;
}

void CancelSignals::Wake() const {
    if (sem_t* arrived = Arrived()) sem_post(arrived);
}

struct BrokenPipeSurvived::Saved {
    struct sigaction oldPipe;
};

BrokenPipeSurvived::BrokenPipeSurvived() : m_saved(std::make_unique<Saved>()) {
    struct sigaction action = {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, &m_saved->oldPipe);
}

BrokenPipeSurvived::~BrokenPipeSurvived() {
    sigaction(SIGPIPE, &m_saved->oldPipe, nullptr);
}

struct SignalsBlocked::Saved {
    sigset_t old;
};

SignalsBlocked::SignalsBlocked() : m_saved(std::make_unique<Saved>()) {
    sigset_t set = CancelSet();
    pthread_sigmask(SIG_BLOCK, &set, &m_saved->old);
}

SignalsBlocked::~SignalsBlocked() {
    pthread_sigmask(SIG_SETMASK, &m_saved->old, nullptr);
}

}  // namespace platform
