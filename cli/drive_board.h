// The screen of a batch on several drives: a line for each drive at the bottom of the terminal,
// redrawn in place (what it waits for, the cylinder it reads, what it filed last), and above
// them the lines that scroll: the filed diskettes on standard output, messages on standard
// error. Off a terminal, or quiet, there is no board and only the scrolling lines are written.
// The drives' threads write to it at once.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/console.h"

namespace cli {

class DriveBoard {
  public:
    // live: the board is drawn (standard error is a terminal that takes escapes).
    DriveBoard(const std::vector<std::string>& driveLabels, bool live);
    ~DriveBoard();
    DriveBoard(const DriveBoard&) = delete;
    DriveBoard& operator=(const DriveBoard&) = delete;

    bool live() const { return m_live; }
    // The console of drive i: its progress is its line, its messages scroll, named for it.
    ConsoleSink& SinkFor(size_t drive);

    void SetLine(size_t drive, const std::string& text);
    // A line that scrolls above the board.
    void Scroll(const std::string& line, bool toError);
    // Takes the board off the screen and holds it off while the object lives, so a question
    // can be asked and answered on the terminal; one at a time.
    class Aside {
      public:
        explicit Aside(DriveBoard& board);
        ~Aside();
        Aside(const Aside&) = delete;
        Aside& operator=(const Aside&) = delete;

      private:
        DriveBoard& m_board;
        std::unique_lock<std::mutex> m_asking;
    };
    // Takes the board off the screen for good: the batch has ended.
    void Close();

  private:
    class DriveSink;
    void EraseLocked();
    void DrawLocked();

    const bool m_live;
    std::vector<std::string> m_labels;
    std::vector<std::string> m_lines;
    std::vector<std::unique_ptr<DriveSink>> m_sinks;
    std::mutex m_mutex;   // the screen and the lines
    std::mutex m_asking;  // a question on the terminal
    bool m_held = false;  // a question is being asked: nothing is drawn or scrolled
    std::vector<std::pair<std::string, bool>> m_heldLines;  // scrolled while a question was asked
    bool m_closed = false;
    size_t m_drawn = 0;  // lines of the board on the screen now
    // A job says where it is at every track side: the board is drawn at most ten times a
    // second, or it would flicker and fill a slow terminal's line.
    std::chrono::steady_clock::time_point m_lastDraw;
    bool m_stale = false;  // a line changed since the board was drawn
};

// The board's line of one drive: its label padded to width, then what it does.
std::string BoardLine(const std::string& label, size_t width, const std::string& text,
                      size_t columns);

}  // namespace cli
