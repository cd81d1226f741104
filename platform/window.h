// The owner-window side of the system interface: an abstract window that any thread can send
// to (the call returns only after the window's own thread handled the message), post to, and
// open a message box on. The dialog implements it with Qt; the console tool and the tests use
// QueuedWindow, which runs everything on the thread that pumps it.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/win_types.h"

class Window {
  public:
    virtual ~Window() = default;
    virtual LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual BOOL Post(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual LRESULT SendToItem(int controlId, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // Modal: returns the button the user chose (IDOK, IDYES, ...).
    virtual int ShowMessageBox(const char* text, const char* caption, UINT type) = 0;
};

namespace platform {

// What the engine sends its owner. Named apart from the system's SendMessage and MessageBox:
// on Windows those take a real window, and the console tool has none.
LRESULT SendTo(Window* window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostTo(Window* window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendToItem(Window* window, int controlId, UINT message, WPARAM wParam, LPARAM lParam);
int ShowMessageBox(Window* owner, const char* text, const char* caption, UINT type);

// Shows message boxes that have no owner window; the default writes "caption: text" to
// standard error and answers IDOK.
using OwnerlessMessageBox = std::function<int(const char* text, const char* caption, UINT type)>;
void SetOwnerlessMessageBox(OwnerlessMessageBox handler);

// The application's main window, which a worker thread created without an owner reports to.
void SetMainWindow(Window* window);
Window* GetMainWindow();

// What the console tool's and the tests' windows share: handlers for what the job sends, and
// a pump that the owning thread runs until the job is over. The two kinds below differ only
// in which thread runs a sent message's handler.
class PumpedWindow : public Window {
  public:
    // Handles pending calls until done() is true; false when timeoutMs passed first.
    bool PumpUntil(const std::function<bool()>& done, unsigned timeoutMs = 0xFFFFFFFFu);
    // Handles what is pending now, waiting up to timeoutMs for the first; false if none came.
    virtual bool PumpOnce(unsigned timeoutMs) = 0;

  protected:
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual LRESULT OnItemMessage(int controlId, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual int OnMessageBox(const std::string& text, const std::string& caption, UINT type) = 0;
};

// A window whose messages are handled on the thread that created it. Other threads queue
// their calls and wait; that thread handles them when it pumps.
class QueuedWindow : public PumpedWindow {
  public:
    QueuedWindow();
    ~QueuedWindow() override;

    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) final;
    BOOL Post(UINT message, WPARAM wParam, LPARAM lParam) final;
    LRESULT SendToItem(int controlId, UINT message, WPARAM wParam, LPARAM lParam) final;
    int ShowMessageBox(const char* text, const char* caption, UINT type) final;
    bool PumpOnce(unsigned timeoutMs) final;

  private:
    struct Call;
    LRESULT Dispatch(Call& call);
    LRESULT Marshal(Call& call);

    std::thread::id m_owner;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Call*> m_queue;
};

// A window whose sent messages and message boxes are handled at once on the sending thread,
// one at a time, and whose posted messages are handled by the thread that pumps it. A send
// then costs no thread switch; the handlers must only touch what is safe from either thread
// (they never run at the same time). The console tool uses it.
class DirectWindow : public PumpedWindow {
  public:
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) final;
    BOOL Post(UINT message, WPARAM wParam, LPARAM lParam) final;
    LRESULT SendToItem(int controlId, UINT message, WPARAM wParam, LPARAM lParam) final;
    int ShowMessageBox(const char* text, const char* caption, UINT type) final;
    bool PumpOnce(unsigned timeoutMs) final;

  private:
    struct Posted {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    std::recursive_mutex m_mutex;
    std::condition_variable_any m_cv;
    std::deque<Posted> m_posted;
};

}  // namespace platform
