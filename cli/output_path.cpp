#include "cli/output_path.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "platform/replace_file.h"
#include "platform/syscalls.h"

namespace cli {

bool CheckOutputPath(const std::string& path, bool force, Console& console) {
    std::string refused;
    if (platform::ResolveLinks(path, &refused).empty() && !refused.empty()) {
        console.Error("tavrel-cli: cannot write " + path + ": " + refused +
                      " is a link of another user in a folder that everyone may write to; it is "
                      "not followed");
        return false;
    }
    // A link is an output that exists, also one that points at nothing yet.
    namespace fs = std::filesystem;
    std::error_code error;
    // The name is UTF-8; a plain string is read in the ANSI code page on Windows.
    const fs::path name(std::u8string(path.begin(), path.end()));
    if (!fs::exists(fs::symlink_status(name, error))) return true;
    if (fs::is_directory(name, error)) {
        console.Error("tavrel-cli: " + path + " is a directory");
        return false;
    }
    if (!force) {
        console.Error("tavrel-cli: " + path + " exists; add --force to replace it");
        return false;
    }
    return true;
}

long long FileSize(const std::string& path) {
    // Through the platform, which on Windows takes the path wide and at any length.
    struct stat st {};
    return platform::SysStat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

}  // namespace cli
