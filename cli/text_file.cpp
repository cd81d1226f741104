#include "cli/text_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace cli {

bool ReadTextFile(const std::string& path, std::string* text, std::string* error,
                  MissingFile missing) {
    text->clear();
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in && errno == ENOENT && missing == MissingFile::IsEmpty) return true;
    if (in) text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
        *error = "tavrel-cli: cannot read " + path + ": " + std::strerror(errno ? errno : EIO);
        return false;
    }
    return true;
}

}  // namespace cli
