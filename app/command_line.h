// The command line of the dialog program: the presets of one run, and the names a run takes
// from the program's own name. No toolkit: both faces of the dialog use it.
#pragma once

#include <string>
#include <vector>

// What a run is for: the dialog, or only a text printed where the program was started.
enum class CommandLineAsk { Dialog, Usage, Version };

class CTavrelCommandLineInfo {
  public:
    virtual ~CTavrelCommandLineInfo();
    // One argument (UTF-8) without its leading "/" or "-"; the flags are not looked at, so a
    // bare argument counts as an option too.
    virtual void ParseParam(const std::string& param, bool isFlag, bool isLast);

    int m_nOperation = -1;
    std::string m_strDriveLetter;
    std::string m_strImageFile;
    int m_nCompression = -1;
    int m_nAutoClose = -1;
    int m_nSaveSettings = -1;
    // Set by ParseCommandLine from whole arguments (--help, -h, /?, --version); the first of
    // them on the line counts.
    CommandLineAsk m_ask = CommandLineAsk::Dialog;
};

// Walks the arguments after the program's name, left to right, into ParseParam, apart from the
// whole arguments that ask for the usage or the version.
void ParseCommandLine(CTavrelCommandLineInfo& info, const std::vector<std::string>& arguments);

// The profile file of a program: its name without path and extension plus ".INI", in the
// folder that keeps settings.
std::string ProfileFileFor(const std::string& programPath);
// The name a refusal is shown under: the program's name without path and extension.
std::string ApplicationName(const std::string& programPath);
