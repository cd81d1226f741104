#include "cli/answer_input.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace cli {

// Byte by byte, so nothing typed after the line is taken from the next question.
Answer ReadAnswer(std::string* line, const std::function<bool()>& cancelled) {
    line->clear();
    for (;;) {
        if (cancelled()) return Answer::Cancelled;
        pollfd in{STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&in, 1, 250);
        if (ready < 0 && errno != EINTR) return Answer::Ended;
        if (ready <= 0) continue;
        char c = 0;
        const ssize_t got = read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return line->empty() ? Answer::Ended : Answer::Given;
        if (c == '\n') break;
        *line += c;
    }
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return Answer::Given;
}

}  // namespace cli
