// Runs the built tavrel-cli on a terminal of its own, as a person at the keyboard does: what it
// writes to the terminal is collected, and lines are typed to it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/child_exit.h"

class PtyTool {
  public:
    PtyTool() = default;
    ~PtyTool();
    PtyTool(const PtyTool&) = delete;
    PtyTool& operator=(const PtyTool&) = delete;

    // columns: the terminal's width; folder: where it runs, "" for here.
    bool Start(const std::vector<std::string>& args, int columns = 100,
               const std::string& folder = "");
    // Reads what the tool writes until text appears after position from (true, with its
    // position in *at), or the tool ends or a minute passes (false).
    bool WaitFor(const std::string& text, size_t from = 0, size_t* at = nullptr);
    void Type(const std::string& keys);
    // Waits for the tool's end, reading on, and gives its exit code (-1 for a signal).
    int Wait();
    const std::string& screen() const { return m_screen; }

  private:
    bool ReadSome(int milliseconds);

    pid_t m_pid = -1;
    int m_terminal = -1;
    ChildExit m_end;
    std::string m_screen;  // everything written to the terminal so far
};
