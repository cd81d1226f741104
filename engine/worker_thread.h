// A reusable worker thread with a cancel event and an owner window to report to.
#pragma once

#include "platform/handle.h"
#include "platform/win_types.h"

class CWorkerThread {
  public:
    // Without an owner, the application's main window (if any) becomes the owner.
    explicit CWorkerThread(Window* owner = nullptr);
    virtual ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Starts RunJob then NotifyDone on a new thread. A cancel request left over from an
    // earlier job is dropped first. 0 when no thread could be made (then no end notice follows).
    virtual BOOL Start();
    // Signals the cancel event and returns at once.
    virtual BOOL Cancel();
    // True when the cancel event is signalled within the wait; that also resets it.
    virtual BOOL IsCancelRequested(DWORD milliseconds);
    virtual int RunJob();
    virtual int NotifyDone();

    BOOL IsRunning() const;
    // Waits for the thread of the last job to end: nonzero when it has (or there is none),
    // 0 when milliseconds (INFINITE: no limit) passed first.
    BOOL WaitUntilEnded(DWORD milliseconds) const;
    LRESULT SendToOwner(UINT message, WPARAM wParam, LPARAM lParam) const;
    LRESULT SendToOwnerItem(int controlId, UINT message, WPARAM wParam, LPARAM lParam) const;
    BOOL PostToOwner(UINT message, WPARAM wParam, LPARAM lParam) const;
    Window* GetOwnerWindow() const { return m_hOwner; }

  protected:
    UniqueHandle m_hCancelEvent;
    Window* m_hOwner;

  private:
    static DWORD WINAPI WorkerThreadProc(void* parameter);
    UniqueHandle m_hThread;
};
