// ListImage on the tool's side: the image and its map read through the platform layer, then
// handed to the listing module, loaded on this first use (cli/listing_module.h).
#include "cli/file_listing.h"

#include <cstring>
#include <functional>
#include <mutex>

#include "cli/dos1_boot.h"
#include "cli/image_scan.h"
#include "cli/listing_module.h"
#include "cli/map_file.h"
#include "drive/disk_errors.h"
#include "platform/file_api.h"
#include "platform/handle.h"
#include "platform/last_error.h"

namespace cli {

namespace {

using Cancelled = std::function<bool()>;

constexpr long long kSector = 512;

bool Asked(const Cancelled& cancelled) {
    return cancelled && cancelled();
}

// A raw image's bytes, read in pieces so a cancel is heard between them.
bool ReadRaw(const std::string& path, std::string* bytes, std::string* error,
             const Cancelled& cancelled) {
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) {
        *error = "tavrel-cli: cannot read " + path + ": " + DiskErrorText(GetLastError(), FALSE);
        return false;
    }
    char chunk[65536];
    for (;;) {
        if (Asked(cancelled)) return false;
        DWORD done = 0;
        if (!ReadFile(file.get(), chunk, sizeof chunk, &done, nullptr)) {
            *error =
                "tavrel-cli: cannot read " + path + ": " + DiskErrorText(GetLastError(), FALSE);
            return false;
        }
        if (done == 0) return true;
        bytes->append(chunk, done);
    }
}

// The diskette's sectors: a raw image's bytes, or an image's track sides decoded in place.
bool LoadContent(const std::string& path, std::string* bytes, std::string* error,
                 const Cancelled& cancelled) {
    ImageReport report;
    std::string content;
    const bool read =
        InspectImage(path, &report, [&](int cylinder, int head, const std::uint8_t* data, int n) {
            const size_t at = static_cast<size_t>((cylinder * 2 + head) * n);
            if (content.size() < at + static_cast<size_t>(n)) content.resize(at + n);
            std::memcpy(content.data() + at, data, static_cast<size_t>(n));
            return !Asked(cancelled);
        });
    if (Asked(cancelled)) return false;
    if (read && report.kind == FileKind::RawImage) return ReadRaw(path, bytes, error, cancelled);
    if (!read || !report.complete() || !report.wellFormed()) {
        *error = "tavrel-cli: " + path + ": " +
                 (report.problem.empty() ? std::string("incomplete image") : report.problem);
        return false;
    }
    content.resize(static_cast<size_t>(report.diskBytes()));
    *bytes = std::move(content);
    return true;
}

bool LoadMap(const std::string& path, long long imageBytes, SectorMap* map, std::string* error) {
    MapStatus status;
    if (!LoadMapFile(path, map, &status, error)) return false;
    if (map->sectors * kSector != imageBytes) {
        *error = "tavrel-cli: " + path + " maps " + std::to_string(map->sectors) +
                 " sectors, not the " + std::to_string(imageBytes / kSector) + " of the image";
        return false;
    }
    return true;
}

}  // namespace

const char* LeftOutKindName(LeftOut::Kind kind) {
    switch (kind) {
        case LeftOut::Entry:
            return "entry";
        case LeftOut::Content:
            return "content";
        case LeftOut::Folder:
            return "folder";
        case LeftOut::Rest:
            break;
    }
    return "rest";
}

bool ListImage(const std::string& imagePath, const std::string& mapPath, DisketteListing* listing,
               std::string* error, const std::function<bool()>& cancelled) {
    *listing = DisketteListing{};
    listing->imagePath = imagePath;
    const ListFileSystem listFileSystem = FindListing(error);
    if (!listFileSystem) return false;
    std::string bytes;
    if (!LoadContent(imagePath, &bytes, error, cancelled)) {
        listing->cancelled = Asked(cancelled);
        if (listing->cancelled) error->clear();
        return false;
    }
    listing->imageBytes = static_cast<long long>(bytes.size());
    SupplyDos1ParameterBlock(&bytes);
    listing->mapPath = mapPath.empty() ? MapBesideImage(imagePath) : mapPath;
    SectorMap map;
    if (!listing->mapPath.empty() && !LoadMap(listing->mapPath, listing->imageBytes, &map, error))
        return false;
    listing->unreadableSectors = listing->mapPath.empty() ? 0 : map.Unread();
    const ListingInput input{&imagePath, &bytes, listing->mapPath.empty() ? nullptr : &map,
                             &cancelled};
    // One walk at a time in a process (the drives of a batch list on threads of their own):
    // The Sleuth Kit keeps state of its own, and the FAT times go through the C library's time
    // zone, which it does not guard. A walk is bounded, so a drive waits a second or two at most.
    static std::mutex walking;
    std::lock_guard<std::mutex> one(walking);
    return listFileSystem(input, listing, error);
}

}  // namespace cli
