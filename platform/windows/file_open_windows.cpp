#include "platform/file_api.h"
#include "platform/retry.h"

namespace platform {
namespace {

constexpr int kShareTries = 5;
constexpr DWORD kSharePauseMs = 500;

}  // namespace

HANDLE CreateFileShared(const char* path, DWORD access, DWORD shareMode,
                        SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags,
                        HANDLE templateFile) {
    // A reader asking for the file to itself would be refused while a scanner reads it, and
    // would refuse the scanner in turn; reading alongside other readers is all it needs.
    if (access == GENERIC_READ && shareMode == 0) shareMode = FILE_SHARE_READ;
    HANDLE file = INVALID_HANDLE_VALUE;
    RetryWhile(
        [&] {
            file = CreateFileW(SystemPath(path).c_str(), access, shareMode, security, disposition,
                               flags, templateFile);
            return file != INVALID_HANDLE_VALUE;
        },
        [](DWORD code) { return code == ERROR_SHARING_VIOLATION; }, kShareTries, kSharePauseMs);
    return file;
}

}  // namespace platform
