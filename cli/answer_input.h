// The answers typed for --ask: a line read from standard input, while the batch keeps hearing a
// Ctrl+C.
#pragma once

#include <functional>
#include <string>

namespace cli {

enum class Answer { Given, Ended, Cancelled };

// Reads one line (without its line end). Ended at the end of input, Cancelled as soon as
// cancelled() says so.
Answer ReadAnswer(std::string* line, const std::function<bool()>& cancelled);

}  // namespace cli
