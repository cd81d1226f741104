// The owner window of a job, on Qt: whatever thread sends, the handlers run on the thread of
// the window's QObject. A send and a message box block the sending thread until the handler
// has run; a post is queued and returns at once.
#pragma once

#include <string>

#include "platform/window.h"

class QObject;

class QtWindow : public Window {
  public:
    explicit QtWindow(QObject* context) : m_context(context) {}

    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) final;
    BOOL Post(UINT message, WPARAM wParam, LPARAM lParam) final;
    LRESULT SendToItem(int controlId, UINT message, WPARAM wParam, LPARAM lParam) final;
    int ShowMessageBox(const char* text, const char* caption, UINT type) final;

  protected:
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual LRESULT OnItemMessage(int controlId, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual int OnMessageBox(const std::string& text, const std::string& caption, UINT type) = 0;

  private:
    QObject* m_context;
};
