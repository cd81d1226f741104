// The job's owner window on a console: status lines and progress steps go to callbacks, every
// message box becomes one line on standard error, and no question is ever asked.
#pragma once

#include <functional>
#include <string>

#include "cli/console.h"
#include "platform/window.h"

namespace cli {

class ConsoleWindow final : public platform::DirectWindow {
  public:
    explicit ConsoleWindow(Console& console) : m_console(console) {}

    std::function<void(const std::string&)> onStatus;
    std::function<void()> onProgress;
    int doneCount = 0;
    // What the job's messages should call what they name: the image file's name and the drive
    // letter ("Z:") as the user knows them; empty to leave them as the job says them.
    std::string imageFrom, imageTo, driveFrom, driveTo;
    // The text to print after a message box's caption, given caption and text (trimmed, with
    // the names above put in) and the job's last-error value as it stood when the job showed
    // the box; unset to print the text itself.
    std::function<std::string(const std::string& caption, const std::string& text, DWORD code)>
        onMessageText;

  protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnItemMessage(int controlId, UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnMessageBox(const std::string& text, const std::string& caption, UINT type) override;

  private:
    std::string Renamed(const std::string& text) const;

    Console& m_console;
};

}  // namespace cli
