// The application object: it answers a command line that asks for the usage or the version
// without any window, refuses a platform it does not support, reads the presets of one run from
// the command line and runs the main dialog; the process then ends with the exit code of the
// last job. A face supplies the three things that need the system or a toolkit.
#pragma once

#include <string>
#include <vector>

#include "app/command_line.h"
#include "engine/job_ids.h"

class CTavrelApp {
  public:
    virtual ~CTavrelApp();
    // Runs the whole program; arguments[0] is the program's path, all of them UTF-8. Always
    // false, as the application then ends with ExitInstance's code.
    bool InitInstance(const std::vector<std::string>& arguments);
    int ExitInstance() const { return m_nExitCode; }

    int m_nExitCode = 0;

  protected:
    // Prints a text the command line asked for where the user started the program; no dialog
    // follows, so a face need not start its toolkit for it.
    virtual void ShowText(const std::string& text) = 0;
    // A message box with no owner window, before any dialog exists.
    virtual void ShowRefusal(const std::string& text, const std::string& caption) = 0;
    // Runs the main dialog modally with these presets; how its last job ended.
    virtual JobResult RunMainDialog(const CTavrelCommandLineInfo& cmdInfo) = 0;
};
