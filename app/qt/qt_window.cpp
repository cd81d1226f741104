#include "app/qt/qt_window.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <atomic>
#include <memory>
#include <thread>

namespace {

// Runs call on the context's thread and returns its result; the calling thread waits. The
// handler's thread usually answers within microseconds, so the caller spins briefly before it
// sleeps: a sleep and a wake-up per status line would cost more than the line itself.
template <typename Call>
LRESULT RunOn(QObject* context, Call call) {
    if (QThread::currentThread() == context->thread()) return call();
    struct Reply {
        std::atomic<int> done{0};
        LRESULT result = 0;
    } reply;
    // The answer is given when the queued call is destroyed, run or not: a window that goes
    // away with the call still queued must not leave the caller waiting for ever.
    std::shared_ptr<void> answer(nullptr, [&reply](void*) {
        reply.done.store(1, std::memory_order_release);
        reply.done.notify_one();
    });
    QMetaObject::invokeMethod(
        context, [&reply, call, answer] { reply.result = call(); }, Qt::QueuedConnection);
    answer.reset();
    for (int spin = 0; spin < 4000 && !reply.done.load(std::memory_order_acquire); ++spin)
        std::this_thread::yield();
    reply.done.wait(0, std::memory_order_acquire);
    return reply.result;
}

}  // namespace

LRESULT QtWindow::Send(UINT message, WPARAM wParam, LPARAM lParam) {
    return RunOn(m_context, [&] { return OnMessage(message, wParam, lParam); });
}

BOOL QtWindow::Post(UINT message, WPARAM wParam, LPARAM lParam) {
    return QMetaObject::invokeMethod(
        m_context, [this, message, wParam, lParam] { OnMessage(message, wParam, lParam); },
        Qt::QueuedConnection);
}

LRESULT QtWindow::SendToItem(int controlId, UINT message, WPARAM wParam, LPARAM lParam) {
    return RunOn(m_context, [&] { return OnItemMessage(controlId, message, wParam, lParam); });
}

int QtWindow::ShowMessageBox(const char* text, const char* caption, UINT type) {
    std::string t = text ? text : "", c = caption ? caption : "";
    return static_cast<int>(RunOn(m_context, [&] { return LRESULT{OnMessageBox(t, c, type)}; }));
}
