#include "cli/output_path.h"

#include <sys/stat.h>

namespace cli {

bool CheckOutputPath(const std::string& path, bool force, Console& console) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return true;
    if (S_ISDIR(st.st_mode)) {
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
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

}  // namespace cli
