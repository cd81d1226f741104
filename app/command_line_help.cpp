#include "app/command_line_help.h"

#include "app/command_line.h"

#ifndef TAVREL_VERSION
#error "TAVREL_VERSION comes from the build: the project version"
#endif

std::string CommandLineUsage(const std::string& programPath) {
    return "Usage: " + ApplicationName(programPath) +
           " [/O:COMPRESS|EXPAND|VERIFY] [/D:letter] [/F:path] [/A] [/U] [/N]\n"
           "Opens the Tavrel dialog with these presets; with /O the job starts at once.\n"
           "\n"
           "  /O:COMPRESS      read the diskette in the drive into the image file\n"
           "  /O:EXPAND        write the image file back onto the diskette\n"
           "  /O:VERIFY        compare the image file with the diskette\n"
           "  /D:letter        the drive letter\n"
           "  /F:path          the image file\n"
           "  /A               close the dialog when the job ends\n"
           "  /U               do not use compression\n"
           "  /N               do not save settings and recent lists on closing\n"
           "  -h, --help, /?   print this help and exit\n"
           "  --version        print the version and exit\n"
           "\n"
           "Options start with / or -; the letter after it counts, in either case, and a later\n"
           "option overrides an earlier one. The value follows one separator (/D:B, /D=B).\n"
           "\n"
           "Exit codes:\n"
           "  0  done, or no job started\n"
           "  1  cancelled\n"
           "  2  failed\n"
           "  3  verify found a difference\n";
}

std::string VersionLine() {
    return "tavrel " TAVREL_VERSION "\n";
}
