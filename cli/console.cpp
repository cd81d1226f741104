#include "cli/console.h"

#include <unistd.h>

#include <cstdio>

namespace cli {

Console::Console(bool quiet)
    : m_quiet(quiet), m_interactive(!quiet && isatty(STDERR_FILENO) == 1) {}

Console::~Console() {
    EndProgress();
}

void Console::Error(const std::string& line) {
    const std::string prefix = "tavrel-cli: ";
    m_lastError = line.compare(0, prefix.size(), prefix) == 0 ? line.substr(prefix.size()) : line;
    EndProgress();
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

void Console::Warning(const std::string& line) {
    if (m_quiet) return;
    std::string error = m_lastError;
    Error(line);
    m_lastError = error;
}

void Console::Summary(const std::string& line) {
    if (m_quiet) return;
    EndProgress();
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

void Console::Progress(const std::string& line) {
    if (!m_interactive) return;
    // Carriage return and erase-to-end-of-line: the line is rewritten, never scrolled.
    std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
    std::fflush(stderr);
    m_progressShown = true;
}

void Console::EndProgress() {
    if (!m_progressShown) return;
    std::fprintf(stderr, "\r\x1b[K");
    std::fflush(stderr);
    m_progressShown = false;
}

}  // namespace cli
