// Run under Wine by wine_error_text_test.sh: the texts the Windows tool gives for system codes,
// through its own paths (DiskErrorText, and strerror after a failed platform call), one a line.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "drive/disk_errors.h"
#include "platform/syscalls.h"

// With codes as arguments, their texts, "CODE: TEXT" a line; otherwise the fixed cases.
int main(int argc, char** argv) {
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) {
            const DWORD code = static_cast<DWORD>(std::strtoul(argv[i], nullptr, 0));
            std::printf("%lu: %s\n", static_cast<unsigned long>(code),
                        DiskErrorText(code, FALSE).c_str());
        }
        return 0;
    }
    // What a swapped diskette returns; Windows' text has inserts no caller can fill, and so has
    // Wine's for ERROR_DISK_CHANGE ("Insert disk for drive %1.").
    std::printf("wrong disk: %s\n", DiskErrorText(ERROR_WRONG_DISK, FALSE).c_str());
    std::printf("disk change: %s\n", DiskErrorText(ERROR_DISK_CHANGE, FALSE).c_str());
    struct stat st {};
    const int failed = platform::SysLstat("C:\\no<such>name", &st);
    std::printf("invalid name: %d %s %s\n", failed, errno == ENOENT ? "ENOENT" : "not-ENOENT",
                std::strerror(errno));
    // An errno value the C library set, with no platform call behind it.
    std::printf("ENOENT: %s\n", std::strerror(ENOENT));
    std::printf("ENOTDIR: %s\n", std::strerror(ENOTDIR));
    return 0;
}
