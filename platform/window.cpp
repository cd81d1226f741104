#include "platform/window.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>

namespace platform {
namespace {

std::mutex g_mutex;
OwnerlessMessageBox g_ownerless;
std::atomic<Window*> g_mainWindow{nullptr};

}  // namespace

void SetOwnerlessMessageBox(OwnerlessMessageBox handler) {
    std::lock_guard lock(g_mutex);
    g_ownerless = std::move(handler);
}

void SetMainWindow(Window* window) {
    g_mainWindow = window;
}
Window* GetMainWindow() {
    return g_mainWindow.load();
}

bool PumpedWindow::PumpUntil(const std::function<bool()>& done, unsigned timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        auto now = std::chrono::steady_clock::now();
        if (timeoutMs != 0xFFFFFFFFu && now >= deadline) return false;
        unsigned slice = 50;
        if (timeoutMs != 0xFFFFFFFFu) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
            if (left < slice) slice = static_cast<unsigned>(left);
        }
        PumpOnce(slice);
    }
    return true;
}

struct QueuedWindow::Call {
    enum Kind { Message, Item, Box, Posted };
    explicit Call(Kind k) : kind(k) {}
    Kind kind;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    int controlId = 0;
    std::string text, caption;
    LRESULT result = 0;
    bool done = false;
};

QueuedWindow::QueuedWindow() : m_owner(std::this_thread::get_id()) {}

QueuedWindow::~QueuedWindow() {
    std::lock_guard lock(m_mutex);
    for (Call* c : m_queue)
        if (c->kind == Call::Posted) delete c;
}

LRESULT QueuedWindow::Dispatch(Call& call) {
    switch (call.kind) {
        case Call::Message:
        case Call::Posted:
            return OnMessage(call.message, call.wParam, call.lParam);
        case Call::Item:
            return OnItemMessage(call.controlId, call.message, call.wParam, call.lParam);
        case Call::Box:
            return OnMessageBox(call.text, call.caption, static_cast<UINT>(call.message));
    }
    return 0;
}

LRESULT QueuedWindow::Marshal(Call& call) {
    if (std::this_thread::get_id() == m_owner) return Dispatch(call);
    std::unique_lock lock(m_mutex);
    m_queue.push_back(&call);
    m_cv.notify_all();
    m_cv.wait(lock, [&] { return call.done; });
    return call.result;
}

LRESULT QueuedWindow::Send(UINT message, WPARAM wParam, LPARAM lParam) {
    Call call(Call::Message);
    call.message = message;
    call.wParam = wParam;
    call.lParam = lParam;
    return Marshal(call);
}

BOOL QueuedWindow::Post(UINT message, WPARAM wParam, LPARAM lParam) {
    auto* call = new Call(Call::Posted);
    call->message = message;
    call->wParam = wParam;
    call->lParam = lParam;
    std::lock_guard lock(m_mutex);
    m_queue.push_back(call);
    m_cv.notify_all();
    return TRUE;
}

LRESULT QueuedWindow::SendToItem(int controlId, UINT message, WPARAM wParam, LPARAM lParam) {
    Call call(Call::Item);
    call.controlId = controlId;
    call.message = message;
    call.wParam = wParam;
    call.lParam = lParam;
    return Marshal(call);
}

int QueuedWindow::ShowMessageBox(const char* text, const char* caption, UINT type) {
    Call call(Call::Box);
    call.text = text ? text : "";
    call.caption = caption ? caption : "";
    call.message = type;
    return static_cast<int>(Marshal(call));
}

bool QueuedWindow::PumpOnce(unsigned timeoutMs) {
    std::deque<Call*> batch;
    {
        std::unique_lock lock(m_mutex);
        if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return !m_queue.empty(); }))
            return false;
        batch.swap(m_queue);
    }
    for (Call* call : batch) {
        LRESULT result = Dispatch(*call);
        if (call->kind == Call::Posted) {
            delete call;
            continue;
        }
        std::lock_guard lock(m_mutex);
        call->result = result;
        call->done = true;
        m_cv.notify_all();
    }
    return true;
}

LRESULT DirectWindow::Send(UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard lock(m_mutex);
    return OnMessage(message, wParam, lParam);
}

BOOL DirectWindow::Post(UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard lock(m_mutex);
        m_posted.push_back({message, wParam, lParam});
    }
    m_cv.notify_all();
    return TRUE;
}

LRESULT DirectWindow::SendToItem(int controlId, UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard lock(m_mutex);
    return OnItemMessage(controlId, message, wParam, lParam);
}

int DirectWindow::ShowMessageBox(const char* text, const char* caption, UINT type) {
    std::lock_guard lock(m_mutex);
    return OnMessageBox(text ? text : "", caption ? caption : "", type);
}

bool DirectWindow::PumpOnce(unsigned timeoutMs) {
    std::unique_lock lock(m_mutex);
    if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                       [&] { return !m_posted.empty(); }))
        return false;
    while (!m_posted.empty()) {
        Posted p = m_posted.front();
        m_posted.pop_front();
        OnMessage(p.message, p.wParam, p.lParam);
    }
    return true;
}

}  // namespace platform

LRESULT platform::SendTo(Window* window, UINT message, WPARAM wParam, LPARAM lParam) {
    return window ? window->Send(message, wParam, lParam) : 0;
}

BOOL platform::PostTo(Window* window, UINT message, WPARAM wParam, LPARAM lParam) {
    return window ? window->Post(message, wParam, lParam) : FALSE;
}

LRESULT platform::SendToItem(Window* window, int controlId, UINT message, WPARAM wParam,
                             LPARAM lParam) {
    return window ? window->SendToItem(controlId, message, wParam, lParam) : 0;
}

int platform::ShowMessageBox(Window* owner, const char* text, const char* caption, UINT type) {
    if (owner) return owner->ShowMessageBox(text, caption, type);
    platform::OwnerlessMessageBox handler;
    {
        std::lock_guard lock(platform::g_mutex);
        handler = platform::g_ownerless;
    }
    if (handler) return handler(text, caption, type);
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    return IDOK;
}
