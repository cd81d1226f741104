#include "cli/surface_picture.h"

#include <cstdio>
#include <cstring>

#include "cli/image_scan.h"
#include "cli/map_file.h"
#include "drive/disk_format.h"
#include "drive/media_table.h"

namespace cli {
namespace {

// The row of a format as info files name it: "1.44 MB (F0)", or "1.44 MB" where the variant is
// unknown (both variants have the same sides).
int RowOfFormat(const std::string& format) {
    for (int row = 0; row < kMediaTypeRows; ++row) {
        const std::string name = MediaTypeName(row);
        if (name == format || name.substr(0, name.find(" (")) == format) return row;
    }
    return -1;
}

void SetGeometry(int row, SurfacePicture* picture) {
    picture->cylinders = MediaTypeTable[row].lastCylinder + 1;
    picture->heads = 2;
    picture->sectorsPerTrack = MediaTypeTable[row].sectorsPerTrack;
}

void SetGeometry(const DiskFormat& format, SurfacePicture* picture) {
    picture->cylinders = format.cylinders;
    picture->heads = format.heads;
    picture->sectorsPerTrack = format.sectorsPerTrack;
}

// An info file's "geometry" ("80×2×21 (boot sector)"), which diskettes outside the image
// table have.
bool GeometryOfInfo(const std::string& text, DiskFormat* format) {
    int c = 0, h = 0, s = 0;
    if (std::sscanf(text.c_str(), "%d\xC3\x97%d\xC3\x97%d", &c, &h, &s) != 3) return false;
    return FormatFromDrive(c, h, s, 0, format);
}

int SectorsOf(const SurfacePicture& picture) {
    return picture.cylinders * picture.heads * picture.sectorsPerTrack;
}

// The map at path, which must have the picture's sectors.
bool LoadPictureMap(const std::string& path, SurfacePicture* picture, std::string* error) {
    MapStatus status;
    if (!LoadMapFile(path, &picture->map, &status, error)) return false;
    if (picture->map.sectors != SectorsOf(*picture)) {
        *error = "tavrel-cli: " + path + " maps " + std::to_string(picture->map.sectors) +
                 " sectors, not the " + std::to_string(SectorsOf(*picture)) + " of the diskette";
        return false;
    }
    return true;
}

}  // namespace

SectorLook LookOf(const SectorMap& map, int index) {
    switch (map.states[index]) {
        case SectorFinished:
            return map.triesKnown && map.tries[index] > 1 ? SectorLook::Retried : SectorLook::Read;
        case SectorBad:
            return SectorLook::Unreadable;
        default:
            return SectorLook::NeverTried;
    }
}

std::string SectorClass(const SectorMap& map, int index) {
    switch (LookOf(map, index)) {
        case SectorLook::Read:
            return "read";
        case SectorLook::Retried:
            return "read tries" + std::to_string(map.tries[index] > 4 ? 4 : map.tries[index]);
        case SectorLook::Unreadable:
            return "unreadable";
        case SectorLook::NeverTried:
            break;
    }
    return "untried";
}

bool PictureOfImage(const std::string& imagePath, const std::string& mapPath,
                    SurfacePicture* picture, std::string* error) {
    ImageReport report;
    if (!InspectImage(imagePath, &report)) {
        *error = "tavrel-cli: " + imagePath + ": " + report.problem;
        return false;
    }
    const int row = report.headerValid ? report.mediaRow : -1;
    if (report.kind == FileKind::RawImage && report.rawFormat.known()) {
        SetGeometry(report.rawFormat, picture);
    } else if (row >= 0) {
        SetGeometry(row, picture);
    } else {
        *error = "tavrel-cli: " + imagePath + ": " + report.problem;
        return false;
    }
    if (!mapPath.empty()) return LoadPictureMap(mapPath, picture, error);
    // Without a map, what the image holds is what was read: a side it lacks was never read,
    // and one whose record is damaged cannot be read back from it.
    picture->map.Reset(SectorsOf(*picture), SectorFinished);
    const int perSide = picture->sectorsPerTrack;
    for (size_t side = 0; report.kind == FileKind::Image && side < report.sides.size(); ++side) {
        const SideState state = report.sides[side].state;
        if (state == SideState::Missing || state == SideState::Bad)
            std::memset(picture->map.states + side * perSide,
                        state == SideState::Bad ? SectorBad : SectorNonTried,
                        static_cast<size_t>(perSide));
    }
    return true;
}

bool PictureOfDiskette(const std::map<std::string, std::string>& info, const std::string& mapPath,
                       SurfacePicture* picture) {
    auto get = [&](const char* key) {
        auto found = info.find(key);
        return found == info.end() ? std::string() : found->second;
    };
    DiskFormat format;
    const int row = RowOfFormat(get("format"));
    bool known = GeometryOfInfo(get("geometry"), &format);
    if (!known && row >= 0) {
        SetGeometry(row, picture);
        known = true;
    } else if (known) {
        SetGeometry(format, picture);
    }
    std::string error;
    if (!mapPath.empty()) {
        // A map alone tells the format by its size.
        MapStatus status;
        if (!known && LoadMapFile(mapPath, &picture->map, &status, &error) &&
            FormatFromDrive(0, 0, 0, picture->map.sectors * 512LL, &format)) {
            SetGeometry(format, picture);
            known = true;
        }
        return known && LoadPictureMap(mapPath, picture, &error);
    }
    if (!known || get("image").empty()) return false;
    picture->map.Reset(SectorsOf(*picture), SectorFinished);
    return true;
}

}  // namespace cli
