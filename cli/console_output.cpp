#include "cli/console_output.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace cli {
namespace {

std::atomic<bool> g_outGone{false};

// False when the stream's pipe has no reader any more.
bool Write(FILE* stream, const std::string& text) {
    errno = 0;
    const bool written =
        std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0;
    return written || errno != EPIPE;
}

}  // namespace

void WriteOut(const std::string& utf8) {
    if (!Write(stdout, utf8)) g_outGone = true;
}

bool OutIsGone() {
    return g_outGone;
}

void WriteErr(const std::string& utf8) {
    Write(stderr, utf8);
}

bool ErrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

// Every terminal a Linux user meets speaks ANSI escapes.
bool ErrTakesEscapes() {
    return true;
}

int ErrColumns() {
    winsize size{};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

}  // namespace cli
