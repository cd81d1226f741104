// Windows: no system error box for the whole process, and the command line taken in UTF-16.
#include "cli/startup.h"
#include "platform/windows/wide_path.h"
// after windows.h, whose types it uses
#include <shellapi.h>

namespace cli {

std::vector<std::string> StartUp(int argc, char** argv) {
    // An empty drive, a write-protected or pulled diskette would otherwise raise "No Disk" or
    // "Write Protect Error" boxes from the job's thread, and an unattended run would wait on
    // them for good; the call then fails with its code instead. Set for the process at start,
    // as the system's documentation advises.
    SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    // argv is in the ANSI code page wherever the manifest's UTF-8 code page is not honoured
    // (before Windows 10 1903), where a name outside it arrives with '?' in it; the wide command
    // line is always whole.
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    args.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) args.push_back(platform::Narrow(wide[i]));
    LocalFree(wide);
    return args;
}

}  // namespace cli
