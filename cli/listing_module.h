// Between the console tool and its listing module (tavrel-listing.so), which alone links The
// Sleuth Kit: the tool reads the image and its map through the platform layer, the module walks
// the file system in the diskette's bytes. Only files and a batch list, so only they load it.
#pragma once

#include <functional>
#include <string>

#include "cli/file_listing.h"
#include "engine/sector_map.h"

namespace cli {

// What the tool has read for the module.
struct ListingInput {
    const std::string* imagePath = nullptr;  // for its messages
    std::string* bytes = nullptr;    // the diskette's content; the first FAT may be mended in it
    const SectorMap* map = nullptr;  // nullptr when there is no map
    const std::function<bool()>* cancelled = nullptr;
};

// The module's entry: fills in the listing's file system, files and damage (the rest of it is
// the tool's), as ListImage describes. Both sides are built from one tree and installed side
// by side; the number in the name changes whenever what crosses changes, so a module of another
// build is refused when it is loaded rather than misread.
using ListFileSystem = bool (*)(const ListingInput& input, DisketteListing* listing,
                                std::string* error);
constexpr const char* kListingEntry = "tavrel_list_file_system_1";

// The module's entry, loaded on the first call; nullptr with a one-line reason (the module's
// path and what kept it from loading) when it cannot be had, the same on every later call.
ListFileSystem FindListing(std::string* error);

}  // namespace cli

extern "C" bool tavrel_list_file_system_1(const cli::ListingInput& input,
                                          cli::DisketteListing* listing, std::string* error);
