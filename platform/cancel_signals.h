// The console's cancel requests: Ctrl+C, and what ends a console session (on Linux SIGTERM and
// SIGHUP, a closed terminal or a dropped ssh session; on Windows Ctrl+Break and a closed
// console window). While an object lives they only set a flag that the main thread polls; the
// job is then cancelled and its clean-up waited for.
#pragma once

#include <memory>

namespace platform {

class CancelSignals {
  public:
    CancelSignals();
    ~CancelSignals();
    CancelSignals(const CancelSignals&) = delete;
    CancelSignals& operator=(const CancelSignals&) = delete;

    bool Requested() const;
    // The requests that came while the outermost object lived: a batch around a job lets the
    // first one end the batch and the second cancel the job.
    int Count() const;

  private:
    struct Saved;
    std::unique_ptr<Saved> m_saved;
};

// Keeps the requests away from threads started while it lives, so they always reach the main
// thread, never a worker in a read. Windows delivers them on a thread of its own.
class SignalsBlocked {
  public:
    SignalsBlocked();
    ~SignalsBlocked();
    SignalsBlocked(const SignalsBlocked&) = delete;
    SignalsBlocked& operator=(const SignalsBlocked&) = delete;

  private:
    struct Saved;
    std::unique_ptr<Saved> m_saved;
};

}  // namespace platform
