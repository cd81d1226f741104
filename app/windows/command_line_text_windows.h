// Where tavrel.exe prints what its command line asked for (the usage, the version): it is a
// program of the GUI subsystem and has no console of its own.
#pragma once

#include <string>

// The text (UTF-8, lines ending in "\n") into the standard output the starting program handed
// down, else into the console of the program that started it, else in a message box.
void ShowCommandLineText(const std::string& text, const std::string& caption);
