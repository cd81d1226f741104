#include "cli/identifier_list.h"

#include <map>

#include "cli/batch_name.h"
#include "cli/text_file.h"

namespace cli {

bool IdentifierList::Load(const std::string& path, std::string* error) {
    std::string text;
    if (!ReadTextFile(path, &text, error)) return false;
    std::map<std::string, int> seen;
    int lineNumber = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string id = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        const size_t first = id.find_first_not_of(" \t\r");
        if (first == std::string::npos) continue;
        id = id.substr(first, id.find_last_not_of(" \t\r") - first + 1);
        const std::string where =
            "tavrel-cli: --ids " + path + ", line " + std::to_string(lineNumber) + ": " + id + ": ";
        std::string why;
        if (!CheckDisketteName(id, &why)) {
            *error = where + why;
            return false;
        }
        auto [at, added] = seen.emplace(id, lineNumber);
        if (!added) {
            *error = where + "it stands on line " + std::to_string(at->second) +
                     " already: each identifier names one diskette";
            return false;
        }
        m_ids.push_back(id);
    }
    if (m_ids.empty()) {
        *error = "tavrel-cli: --ids " + path + " lists no identifier";
        return false;
    }
    return true;
}

std::string IdentifierList::Next() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_next < m_ids.size() ? m_ids[m_next++] : std::string();
}

}  // namespace cli
