// The job's owner window on Windows: the dialog's own HWND. The worker's sends are the
// system's synchronous SendMessageW, so the dialog procedure handles them on the dialog's
// thread while the worker waits; the dialog itself never waits for the job.
#pragma once

#include "platform/window.h"

class DialogWindow final : public Window {
  public:
    // The dialog's window, once WM_INITDIALOG has it; null before.
    void Attach(HWND dialog) { m_hwnd = dialog; }
    HWND Handle() const { return m_hwnd; }

    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL Post(UINT message, WPARAM wParam, LPARAM lParam) override;
    // WM_SETTEXT carries UTF-8 from the job; the control gets it as UTF-16.
    LRESULT SendToItem(int controlId, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Shown from the calling thread (the job's worker), owned by the dialog: the system
    // disables the owner for as long as the box is up, whichever thread shows it.
    int ShowMessageBox(const char* text, const char* caption, UINT type) override;

  private:
    HWND m_hwnd = nullptr;
};
