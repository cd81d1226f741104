// drives: the drive map, each mapped letter with its device or file and what it allows now.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "cli/commands.h"
#include "engine/exit_codes.h"
#include "platform/drive_map.h"
#include "platform/profile.h"

namespace cli {
namespace {

const char* SourceName(platform::DriveSource source) {
    switch (source) {
        case platform::DriveSource::Process:
            return "argument";
        case platform::DriveSource::Profile:
            return "profile";
        case platform::DriveSource::Default:
            return "default";
        case platform::DriveSource::None:
            break;
    }
    return "-";
}

// Opening is the only honest test: permissions, a read-only medium or mount, a missing disk.
bool CanOpen(const std::string& path, int mode) {
    int fd = ::open(path.c_str(), mode | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

const char* Kind(const struct stat& st) {
    if (S_ISBLK(st.st_mode)) return "device";
    if (S_ISREG(st.st_mode)) return "file";
    if (S_ISDIR(st.st_mode)) return "directory";
    return "other";
}

}  // namespace

int RunDrives(Console&) {
    std::string profile = platform::ProfilePath();
    std::printf("Profile: %s\n",
                profile.empty() ? "(none: no home or configuration folder)" : profile.c_str());
    std::printf("%-6s %-9s %-10s %-8s %-9s %-9s %s\n", "Drive", "Source", "Kind", "Present",
                "Readable", "Writable", "Path");
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        platform::DriveSource source = platform::DriveLetterSource(letter);
        if (source == platform::DriveSource::None) continue;
        std::string path = platform::ResolveDriveLetter(letter);
        struct stat st;
        bool present = ::stat(path.c_str(), &st) == 0;
        bool usable = present && (S_ISBLK(st.st_mode) || S_ISREG(st.st_mode));
        std::printf("%c:     %-9s %-10s %-8s %-9s %-9s %s\n", letter, SourceName(source),
                    present ? Kind(st) : "-", present ? "yes" : "no",
                    usable && CanOpen(path, O_RDONLY) ? "yes" : "no",
                    usable && CanOpen(path, O_WRONLY) ? "yes" : "no", path.c_str());
    }
    std::fflush(stdout);
    return kExitDone;
}

}  // namespace cli
