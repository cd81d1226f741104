#include "app/app.h"

#include "app/command_line_help.h"
#include "engine/exit_codes.h"
#include "platform/profile.h"
#include "platform/version.h"

CTavrelApp::~CTavrelApp() = default;

bool CTavrelApp::InitInstance(const std::vector<std::string>& arguments) {
    const std::string program = arguments.empty() ? std::string("tavrel") : arguments.front();
    CTavrelCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo, arguments);
    // First of all: the answer needs no display, no supported platform and no settings, and a
    // script asking for it must not find a dialog waiting.
    if (cmdInfo.m_ask != CommandLineAsk::Dialog) {
        ShowText(cmdInfo.m_ask == CommandLineAsk::Usage ? CommandLineUsage(program)
                                                        : VersionLine());
        m_nExitCode = kExitDone;
        return false;
    }
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    if (version.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS &&
        version.dwPlatformId != VER_PLATFORM_WIN32_NT) {
        ShowRefusal("  Tavrel supports only Windows 95 and Windows NT. ", ApplicationName(program));
        m_nExitCode = kExitFailed;
        return false;
    }

    // A renamed copy of the program keeps settings and drive map of its own.
    platform::ScopedProfilePath profile(ProfileFileFor(program));
    // The last job's own record of how it ended; no job at all reads as done.
    const JobResult last = RunMainDialog(cmdInfo);
    m_nExitCode = last == JobNotRun ? kExitDone : ExitCodeFor(last);
    return false;
}
