// The application object and its command line. The application refuses a platform it does
// not support, reads the presets of one run from the command line and runs the main dialog;
// the process then ends with the exit code of the last job.
#pragma once

#include <QStringList>
#include <string>

class CTavrelCommandLineInfo {
  public:
    virtual ~CTavrelCommandLineInfo();
    // One argument without its leading "/" or "-"; the flags are not looked at, so a bare
    // argument counts as an option too.
    virtual void ParseParam(const std::string& param, bool isFlag, bool isLast);

    int m_nOperation = -1;
    std::string m_strDriveLetter;
    std::string m_strImageFile;
    int m_nCompression = -1;
    int m_nAutoClose = -1;
    int m_nSaveSettings = -1;
};

// Walks the arguments after the program's name, left to right, into ParseParam.
void ParseCommandLine(CTavrelCommandLineInfo& info, const QStringList& arguments);

class CMainDlg;

class CTavrelApp {
  public:
    // Runs the whole program; arguments[0] is the program's path. Always false, as the
    // application then ends with ExitInstance's code.
    bool InitInstance(const QStringList& arguments);
    int ExitInstance() const { return m_nExitCode; }

    int m_nExitCode = 0;
};

// The profile file of a program: its name without path and extension plus ".INI", in the
// folder that keeps settings.
std::string ProfileFileFor(const QString& programPath);
// The name a refusal is shown under: the program's name without path and extension.
QString ApplicationName(const QString& programPath);
