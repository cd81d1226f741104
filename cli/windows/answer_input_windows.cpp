#include <windows.h>

#include "cli/answer_input.h"

namespace cli {

// A console reads a whole line before ReadFile returns, and a Ctrl+C ends that read; a pipe or
// file is read a byte at a time, so nothing after the line is taken from the next question.
Answer ReadAnswer(std::string* line, const std::function<bool()>& cancelled) {
    line->clear();
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    for (;;) {
        if (cancelled()) return Answer::Cancelled;
        char c = 0;
        DWORD got = 0;
        if (!ReadFile(input, &c, 1, &got, nullptr) || got == 0) {
            if (cancelled()) return Answer::Cancelled;
            return line->empty() ? Answer::Ended : Answer::Given;
        }
        // Ctrl+Z, Enter at the start of a line is the console's end of input.
        if (c == '\x1a' && line->empty()) return Answer::Ended;
        if (c == '\n') break;
        *line += c;
    }
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return Answer::Given;
}

}  // namespace cli
