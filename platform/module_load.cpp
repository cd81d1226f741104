#include "platform/module_load.h"

#include <climits>

#include "platform/syscalls.h"

namespace platform {

namespace {

// The loader's reasons begin with the path it was given, which the caller names already.
std::string Reason(std::string text, const std::string& path) {
    if (text.rfind(path + ": ", 0) == 0) text.erase(0, path.size() + 2);
    for (char& c : text)
        if (c == '\n') c = ' ';
    return text;
}

}  // namespace

std::string ProgramPrefix() {
    char path[PATH_MAX];
    const ssize_t n = SysReadlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    std::string program(path, static_cast<size_t>(n));
    // The program's own folder, then the one above it: bin/ in an installation, cli/ in a build.
    for (int up = 0; up < 2; ++up) {
        const size_t slash = program.find_last_of('/');
        if (slash == std::string::npos) return {};
        program.erase(slash);
    }
    return program.empty() ? std::string("/") : program;
}

void* LoadModuleEntry(const std::string& path, const char* entry, std::string* error) {
    std::string reason;
    void* module = SysLoadModule(path.c_str(), &reason);
    if (!module) {
        *error = Reason(reason, path);
        return nullptr;
    }
    void* address = SysModuleSymbol(module, entry, path.c_str(), &reason);
    if (!address) *error = Reason(reason, path);
    return address;
}

bool LoadLibraryFunctions(const char* soname, const char* const* names, size_t count,
                          void** addresses, std::string* error) {
    std::string reason;
    void* library = SysLoadModule(soname, &reason);
    if (!library) {
        *error = Reason(reason, soname);
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        addresses[i] = SysModuleSymbol(library, names[i], soname, &reason);
        if (!addresses[i]) {
            *error = Reason(reason, soname);
            return false;
        }
    }
    return true;
}

}  // namespace platform
