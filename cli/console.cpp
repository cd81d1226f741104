#include "cli/console.h"

#include "cli/console_output.h"

namespace cli {

size_t TextWidth(const std::string& utf8) {
    size_t width = 0;
    for (unsigned char c : utf8) width += (c & 0xC0) != 0x80;
    return width;
}

std::string ProgressRedraw(const std::string& line, size_t shownWidth, bool escapes) {
    if (escapes) return "\r" + line + "\x1b[K";
    const size_t width = TextWidth(line);
    if (width >= shownWidth) return "\r" + line;
    // The cursor goes back to the end of the new line, where the next redraw starts from.
    return "\r" + line + std::string(shownWidth - width, ' ') + "\r" + line;
}

Console::Console(bool quiet, ConsoleSink* sink)
    : m_quiet(quiet),
      m_sink(sink),
      m_interactive(!quiet && (sink ? sink->live() : ErrIsTerminal())) {}

Console::~Console() {
    EndProgress();
}

void Console::Error(const std::string& line) {
    const std::string prefix = "tavrel-cli: ";
    m_lastError = line.compare(0, prefix.size(), prefix) == 0 ? line.substr(prefix.size()) : line;
    EndProgress();
    if (m_sink)
        m_sink->Line(line, true);
    else
        WriteErr(line + "\n");
}

void Console::Warning(const std::string& line) {
    // Beside several drives' lines only what the user has to know scrolls past.
    if (m_quiet || (m_sink && !m_sink->live())) return;
    std::string error = m_lastError;
    Error(line);
    m_lastError = error;
}

void Console::Summary(const std::string& line) {
    if (m_quiet || (m_sink && !m_sink->live())) return;
    Out(line);
}

void Console::Out(const std::string& line) {
    EndProgress();
    if (m_sink)
        m_sink->Line(line, false);
    else
        WriteOut(line + "\n");
}

void Console::Progress(const std::string& line) {
    if (!m_interactive) return;
    if (m_sink) {
        m_sink->Progress(line);
        return;
    }
    // Rewritten in place, never scrolled.
    WriteErr(ProgressRedraw(line, m_progressShown ? m_progressWidth : 0, ErrTakesEscapes()));
    m_progressShown = true;
    m_progressWidth = TextWidth(line);
}

void Console::EndProgress() {
    // A drive's line stays until the drive says what it does next.
    if (m_sink || !m_progressShown) return;
    WriteErr(ProgressRedraw("", m_progressWidth, ErrTakesEscapes()));
    m_progressShown = false;
    m_progressWidth = 0;
}

}  // namespace cli
