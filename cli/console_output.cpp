#include "cli/console_output.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

namespace cli {
namespace {

void Write(FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

}  // namespace

void WriteOut(const std::string& utf8) {
    Write(stdout, utf8);
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
