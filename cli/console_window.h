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

  protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnItemMessage(int controlId, UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnMessageBox(const std::string& text, const std::string& caption, UINT type) override;

  private:
    std::string Renamed(const std::string& text) const;

    Console& m_console;
};

}  // namespace cli
