#include "app/windows/dialog_window_windows.h"

#include <string>

#include "platform/windows/wide_path.h"

LRESULT DialogWindow::Send(UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageW(m_hwnd, message, wParam, lParam);
}

BOOL DialogWindow::Post(UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(m_hwnd, message, wParam, lParam);
}

LRESULT DialogWindow::SendToItem(int controlId, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT) {
        const char* text = reinterpret_cast<const char*>(lParam);
        std::wstring wide = platform::Widen(text ? text : "");
        return SendDlgItemMessageW(m_hwnd, controlId, WM_SETTEXT, wParam,
                                   reinterpret_cast<LPARAM>(wide.c_str()));
    }
    return SendDlgItemMessageW(m_hwnd, controlId, message, wParam, lParam);
}

int DialogWindow::ShowMessageBox(const char* text, const char* caption, UINT type) {
    std::wstring wideText = platform::Widen(text ? text : "");
    std::wstring wideCaption = platform::Widen(caption ? caption : "");
    return MessageBoxW(m_hwnd, wideText.c_str(), wideCaption.c_str(), type);
}
