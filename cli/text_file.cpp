#include "cli/text_file.h"

#include "drive/disk_errors.h"
#include "platform/error_codes.h"
#include "platform/file_api.h"
#include "platform/handle.h"
#include "platform/last_error.h"

namespace cli {

// Through the platform's own reads, whose failures are reported: a stream iterator stops at a
// read error as at the end, and a file rewritten from what it gave would lose its rest.
bool ReadTextFile(const std::string& path, std::string* text, std::string* error,
                  MissingFile missing) {
    text->clear();
    auto fail = [&](DWORD code) {
        text->clear();
        *error = "tavrel-cli: cannot read " + path + ": " + DiskErrorText(code, FALSE);
        return false;
    };
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) {
        const DWORD code = GetLastError();
        if (code == platform::kErrorFileNotFound && missing == MissingFile::IsEmpty) return true;
        return fail(code);
    }
    char chunk[65536];
    for (;;) {
        DWORD done = 0;
        if (!ReadFile(file.get(), chunk, sizeof chunk, &done, nullptr)) return fail(GetLastError());
        if (done == 0) break;
        text->append(chunk, done);
    }
    return true;
}

}  // namespace cli
