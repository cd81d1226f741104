// Ctrl+C, SIGTERM and SIGHUP (a closed terminal, a dropped ssh session) as a cancel request:
// while an object lives, the three signals only set a flag that the main thread polls; the job
// is then cancelled and its clean-up waited for.
#pragma once

#include <signal.h>

namespace cli {

class CancelSignals {
  public:
    CancelSignals();
    ~CancelSignals();
    CancelSignals(const CancelSignals&) = delete;
    CancelSignals& operator=(const CancelSignals&) = delete;

    bool Requested() const;
    // The signals that came while the outermost object lived.
    int Count() const;

  private:
    struct sigaction m_oldInt;
    struct sigaction m_oldTerm;
    struct sigaction m_oldHup;
};

// Blocks the three signals in the calling thread while it lives. Threads started meanwhile
// inherit the mask, so the signals always reach the main thread, never a worker in a read.
class SignalsBlocked {
  public:
    SignalsBlocked();
    ~SignalsBlocked();
    SignalsBlocked(const SignalsBlocked&) = delete;
    SignalsBlocked& operator=(const SignalsBlocked&) = delete;

  private:
    sigset_t m_old;
};

}  // namespace cli
