// The one way the tool's text leaves the process. Text is UTF-8 everywhere inside; what a
// console shows it as, and whether the progress line may use escapes, is the system's business.
#pragma once

#include <string>

namespace cli {

// Standard output and standard error, each written and flushed at once: pipes and files get the
// UTF-8 bytes, a console the characters.
void WriteOut(const std::string& utf8);
void WriteErr(const std::string& utf8);
// Standard output went away: a write to it found the pipe's reader gone (`batch ... | head -1`;
// see BrokenPipeSurvived). What is written to it after is lost.
bool OutIsGone();
// Standard error is a terminal, where a progress line is worth redrawing.
bool ErrIsTerminal();
// That terminal erases to the end of the line on ESC [ K; asked once, it may switch it on.
bool ErrTakesEscapes();
// The columns of the terminal on standard error; 80 where it does not say.
int ErrColumns();

}  // namespace cli
