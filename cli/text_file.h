// Reading a whole small file (a map, a manifest, a log) into memory, with the console tool's
// one-line reason when it cannot be read.
#pragma once

#include <string>

namespace cli {

enum class MissingFile { IsAnError, IsEmpty };

// The file's bytes; false with "tavrel-cli: cannot read PATH: reason" in error.
bool ReadTextFile(const std::string& path, std::string* text, std::string* error,
                  MissingFile missing = MissingFile::IsAnError);

}  // namespace cli
