// Parts of the program loaded when first used, from beside the program: a part whose libraries
// every start would otherwise load and relocate before main, though few commands need them.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Where the running program's installation begins: "/usr" for /usr/bin/tavrel-cli, the build
// folder for build/cli/tavrel-cli. "" when the program's path cannot be read.
std::string ProgramPrefix();

// Loads the module at path with every library it needs, for the rest of the process (it is
// never unloaded), and returns the address of its function entry; nullptr with a one-line
// reason when the module or one of its libraries is missing or does not fit.
void* LoadModuleEntry(const std::string& path, const char* entry, std::string* error);

// Loads a system library by its soname, found as the loader finds any library, for the rest of
// the process, and the addresses of its functions names[0 .. count) into addresses; false with
// a one-line reason (the first function missing, when the library is too old) otherwise.
bool LoadLibraryFunctions(const char* soname, const char* const* names, size_t count,
                          void** addresses, std::string* error);

}  // namespace platform
