// Where the tool's output goes: errors always to standard error, the summary to standard
// output, and a progress line that is redrawn in place only when standard error is a terminal.
#pragma once

#include <cstddef>
#include <string>

namespace cli {

// What redraws the progress line in place: a carriage return, the line, then either ESC [ K or,
// for a console that takes no escapes, spaces over what is left of a longer line shown before
// (shownWidth characters, counted as the console counts them: one per character, not byte).
std::string ProgressRedraw(const std::string& line, size_t shownWidth, bool escapes);
// The characters of UTF-8 text.
size_t TextWidth(const std::string& utf8);

// Where a console's lines go instead of straight to standard output and error: in a batch on
// several drives each drive has a console of its own, and they share one screen through this.
class ConsoleSink {
  public:
    virtual void Line(const std::string& line, bool toError) = 0;
    // Whether progress is shown at all, and the drive's progress line.
    virtual bool live() const = 0;
    virtual void Progress(const std::string& line) = 0;

  protected:
    ~ConsoleSink() = default;
};

class Console {
  public:
    explicit Console(bool quiet, ConsoleSink* sink = nullptr);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    bool quiet() const { return m_quiet; }
    // A live progress display is wanted: not quiet and standard error is a terminal.
    bool interactive() const { return m_interactive; }

    void Error(const std::string& line);
    void Warning(const std::string& line);
    void Summary(const std::string& line);
    // A line of the tool's result on standard output, printed even when quiet: a filed
    // diskette, a JSON line.
    void Out(const std::string& line);
    // Replaces the progress line; does nothing off a terminal.
    void Progress(const std::string& line);
    void EndProgress();
    // The last error printed, without the tool's name: what a batch logs for a diskette.
    const std::string& lastError() const { return m_lastError; }
    void ForgetLastError() { m_lastError.clear(); }

  private:
    bool m_quiet;
    ConsoleSink* m_sink;
    bool m_interactive;
    bool m_progressShown = false;
    size_t m_progressWidth = 0;
    std::string m_lastError;
};

}  // namespace cli
