#include "engine/worker_thread.h"

#include "platform/sync.h"
#include "platform/window.h"

CWorkerThread::CWorkerThread(Window* owner)
    : m_hCancelEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_hOwner(owner ? owner : platform::GetMainWindow()) {}

CWorkerThread::~CWorkerThread() = default;

DWORD WINAPI CWorkerThread::WorkerThreadProc(void* parameter) {
    auto* self = static_cast<CWorkerThread*>(parameter);
    self->RunJob();
    self->NotifyDone();
    return 0;
}

BOOL CWorkerThread::Start() {
    m_hThread.Close();
    // A cancel made after the previous job's last poll must not end this job.
    WaitForSingleObject(m_hCancelEvent.get(), 0);
    HANDLE thread = CreateThread(nullptr, 0, &CWorkerThread::WorkerThreadProc, this, 0, nullptr);
    if (!thread) return FALSE;
    m_hThread.reset(thread);
    return TRUE;
}

BOOL CWorkerThread::Cancel() {
    return SetEvent(m_hCancelEvent.get());
}

BOOL CWorkerThread::IsCancelRequested(DWORD milliseconds) {
    return WaitForSingleObject(m_hCancelEvent.get(), milliseconds) == WAIT_OBJECT_0;
}

int CWorkerThread::RunJob() {
    return 0;
}
int CWorkerThread::NotifyDone() {
    return 0;
}

BOOL CWorkerThread::IsRunning() const {
    if (!m_hThread.valid()) return FALSE;
    DWORD code = 0;
    if (!GetExitCodeThread(m_hThread.get(), &code)) code = 0;
    return code == STILL_ACTIVE;
}

BOOL CWorkerThread::WaitUntilEnded(DWORD milliseconds) const {
    if (!m_hThread.valid()) return TRUE;
    return WaitForSingleObject(m_hThread.get(), milliseconds) == WAIT_OBJECT_0;
}

LRESULT CWorkerThread::SendToOwner(UINT message, WPARAM wParam, LPARAM lParam) const {
    return platform::SendTo(m_hOwner, message, wParam, lParam);
}

LRESULT CWorkerThread::SendToOwnerItem(int controlId, UINT message, WPARAM wParam,
                                       LPARAM lParam) const {
    return platform::SendToItem(m_hOwner, controlId, message, wParam, lParam);
}

BOOL CWorkerThread::PostToOwner(UINT message, WPARAM wParam, LPARAM lParam) const {
    return platform::PostTo(m_hOwner, message, wParam, lParam);
}
