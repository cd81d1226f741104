#include <algorithm>

#include "platform/folder_list.h"
#include "platform/windows/wide_path.h"

namespace platform {

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileExW(SystemPath(folder + "\\*").c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = Narrow(found.cFileName);
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace platform
