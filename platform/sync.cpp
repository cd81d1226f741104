#include "platform/sync.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "platform/handle.h"
#include "platform/last_error.h"

namespace {

struct EventObject final : KernelObject {
    EventObject(bool manual, bool initial) : m_manual(manual), m_signalled(initial) {}

    void Set() {
        std::lock_guard lock(m_mutex);
        m_signalled = true;
        m_cv.notify_all();
    }
    void Reset() {
        std::lock_guard lock(m_mutex);
        m_signalled = false;
    }
    DWORD Wait(DWORD ms) override {
        std::unique_lock lock(m_mutex);
        auto ready = [this] { return m_signalled; };
        if (ms == INFINITE)
            m_cv.wait(lock, ready);
        else if (ms == 0 ? !ready() : !m_cv.wait_for(lock, std::chrono::milliseconds(ms), ready))
            return WAIT_TIMEOUT;
        if (!m_manual) m_signalled = false;
        return WAIT_OBJECT_0;
    }

    const bool m_manual;
    bool m_signalled;
    std::mutex m_mutex;
    std::condition_variable m_cv;
};

// Shared between the handle and the running thread, so either may go first.
struct ThreadState {
    std::mutex mutex;
    std::condition_variable cv;
    DWORD exitCode = STILL_ACTIVE;
    bool finished = false;
};

struct ThreadObject final : KernelObject {
    std::shared_ptr<ThreadState> state;
    std::thread thread;

    BOOL Close() override {
        if (!thread.joinable()) return TRUE;
        bool finished;
        {
            std::lock_guard lock(state->mutex);
            finished = state->finished;
        }
        // An ended thread is joined; one still running is let go, as closing a handle does.
        if (finished)
            thread.join();
        else
            thread.detach();
        return TRUE;
    }
    DWORD Wait(DWORD ms) override {
        std::unique_lock lock(state->mutex);
        auto done = [this] { return state->finished; };
        if (ms == INFINITE)
            state->cv.wait(lock, done);
        else if (ms == 0 ? !done() : !state->cv.wait_for(lock, std::chrono::milliseconds(ms), done))
            return WAIT_TIMEOUT;
        return WAIT_OBJECT_0;
    }
};

EventObject* AsEvent(HANDLE h) {
    return IsValidHandle(h) ? dynamic_cast<EventObject*>(h) : nullptr;
}

}  // namespace

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, const char*) {
    return new EventObject(manualReset != 0, initialState != 0);
}

BOOL SetEvent(HANDLE event) {
    EventObject* e = AsEvent(event);
    if (!e) {
        SetLastError(EBADF);
        return FALSE;
    }
    e->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE event) {
    EventObject* e = AsEvent(event);
    if (!e) {
        SetLastError(EBADF);
        return FALSE;
    }
    e->Reset();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    if (!IsValidHandle(handle)) {
        SetLastError(EBADF);
        return WAIT_FAILED;
    }
    return handle->Wait(milliseconds);
}

HANDLE CreateThread(void*, DWORD, ThreadProc proc, void* parameter, DWORD, DWORD* threadId) {
    auto* object = new ThreadObject;
    object->state = std::make_shared<ThreadState>();
    try {
        object->thread = std::thread([state = object->state, proc, parameter] {
            DWORD code = proc(parameter);
            std::lock_guard lock(state->mutex);
            state->exitCode = code;
            state->finished = true;
            state->cv.notify_all();
        });
    } catch (const std::system_error& e) {
        delete object;
        SetLastError(static_cast<DWORD>(e.code().value()));
        return nullptr;
    }
    static std::atomic<DWORD> nextId{1};
    if (threadId) *threadId = nextId++;
    return object;
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode) {
    auto* t = IsValidHandle(thread) ? dynamic_cast<ThreadObject*>(thread) : nullptr;
    if (!t || !exitCode) {
        SetLastError(EBADF);
        return FALSE;
    }
    std::lock_guard lock(t->state->mutex);
    *exitCode = t->state->exitCode;
    return TRUE;
}

void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
