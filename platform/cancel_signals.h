// The console's cancel requests: Ctrl+C, SIGTERM and Ctrl+Break, and the end of the console
// session (on Linux SIGHUP, a closed terminal or a dropped ssh session; on Windows a closed
// console window, a logoff or a shutdown). While an object lives they only set a flag that the
// main thread polls; the job is then cancelled and its clean-up waited for.
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
    // The session ended: whatever runs is cancelled at once, however many requests it waits
    // for, since nobody is left to ask again and the system may end the process soon (Windows
    // does, seconds after a console window is closed). It counts as a request too.
    bool SessionEnded() const;
    // Waits until a request comes, Wake() is called or ms pass, and gives Count(): a thread can
    // answer a request the moment it comes instead of looking again and again.
    int WaitForRequest(int ms) const;
    // Ends a WaitForRequest on another thread.
    void Wake() const;

  private:
    struct Saved;
    std::unique_ptr<Saved> m_saved;
};

// While it lives, a write to a pipe whose reader has gone fails with EPIPE instead of ending the
// process (SIGPIPE; Windows has no such signal, the write fails there as it is), so a batch can
// finish the diskette in hand and say why it stops. Programs started meanwhile get the signal's
// default back (see process_run.cpp).
class BrokenPipeSurvived {
  public:
    BrokenPipeSurvived();
    ~BrokenPipeSurvived();
    BrokenPipeSurvived(const BrokenPipeSurvived&) = delete;
    BrokenPipeSurvived& operator=(const BrokenPipeSurvived&) = delete;

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
