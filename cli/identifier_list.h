// The identifiers of --ids: the objects' identifiers, one a line, in the order the diskettes
// come out of the box. Each becomes a diskette's name, so each must make a safe file name and
// none may stand twice: a list that breaks either is refused whole before a diskette is read.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace cli {

class IdentifierList {
  public:
    // Reads the list; false with a one-line reason that names the file and the line. Blank
    // lines are passed over, and spaces around an identifier dropped.
    bool Load(const std::string& path, std::string* error);
    // The next identifier, "" when the list is used up. Drives take them at once.
    std::string Next();
    size_t size() const { return m_ids.size(); }

  private:
    std::vector<std::string> m_ids;
    size_t m_next = 0;
    std::mutex m_mutex;
};

}  // namespace cli
