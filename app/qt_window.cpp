#include "app/qt_window.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace {

// Runs call on the context's thread and returns its result; the calling thread waits.
template <typename Call>
LRESULT RunOn(QObject* context, Call call) {
    if (QThread::currentThread() == context->thread()) return call();
    LRESULT result = 0;
    QMetaObject::invokeMethod(
        context, [&] { result = call(); }, Qt::BlockingQueuedConnection);
    return result;
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
