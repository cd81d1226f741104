// The listing module, found where the installation keeps it: PREFIX/lib/ARCH/tavrel/ beside
// PREFIX/bin/tavrel-cli, and the same place in a build folder (build/lib/ARCH/tavrel/ for
// build/cli/tavrel-cli and for the tests and benchmarks one folder down from the build's top).
#include "cli/listing_module.h"
#include "platform/module_load.h"

namespace cli {

namespace {

struct Loaded {
    ListFileSystem entry = nullptr;
    std::string error;
};

Loaded Load() {
    Loaded loaded;
    const std::string prefix = platform::ProgramPrefix();
    if (prefix.empty()) {
        loaded.error =
            "tavrel-cli: the listing module cannot be found: the program's own path "
            "cannot be read";
        return loaded;
    }
    const std::string path = prefix + "/" TAVREL_LISTING_MODULE;
    std::string why;
    loaded.entry =
        reinterpret_cast<ListFileSystem>(platform::LoadModuleEntry(path, kListingEntry, &why));
    if (!loaded.entry)
        loaded.error = "tavrel-cli: the listing module " + path + " cannot be loaded: " + why;
    return loaded;
}

}  // namespace

ListFileSystem FindListing(std::string* error) {
    // Loaded once, whichever thread lists first; a module that failed is not tried again.
    static const Loaded loaded = Load();
    if (!loaded.entry) *error = loaded.error;
    return loaded.entry;
}

}  // namespace cli
