// A small picture of a diskette's surface: every sector by cylinder (across), head (one band
// each, head 0 above) and sector (down the band), coloured read, unreadable or never tried,
// and, for a map that counts them, by the tries a sector needed. Made from a rescue's map, or,
// for an image without one, every sector read. An SVG of its own (NAME.svg, info --picture)
// and the same inside the box report.
#pragma once

#include <map>
#include <string>

#include "engine/sector_map.h"

namespace cli {

struct SurfacePicture {
    int cylinders = 0;
    int heads = 2;
    int sectorsPerTrack = 0;
    SectorMap map;  // in raw image order, as a rescue keeps it

    int Index(int cylinder, int head, int sector) const {
        return (cylinder * heads + head) * sectorsPerTrack + sector - 1;
    }
};

// What a sector of the picture shows, by the class its rectangle has.
enum class SectorLook { Read, Retried, Unreadable, NeverTried };
SectorLook LookOf(const SectorMap& map, int index);
// The rectangle's class: "read", "read tries2" ... "read tries4" (four or more),
// "unreadable", "untried".
std::string SectorClass(const SectorMap& map, int index);

// The picture of an image: its format from the image, its sectors from the map (a path, ""
// for none, when every sector of a complete image is read). False with a one-line reason.
bool PictureOfImage(const std::string& imagePath, const std::string& mapPath,
                    SurfacePicture* picture, std::string* error);

// The picture of a filed diskette from its info file's keys and its map ("" when it has none):
// false when the info names no image and there is no map, or its format is unknown.
bool PictureOfDiskette(const std::map<std::string, std::string>& info, const std::string& mapPath,
                       SurfacePicture* picture);

// False in a build without libxml2, or where it cannot be loaded, which draws no pictures (and
// no box report), with the line that says so for the command what ("report", "--picture").
bool CanDrawPictures(const std::string& what, std::string* error);

// The picture as an <svg> element with its own style, without an XML declaration, so that it
// goes into an HTML page as it is; title names the diskette. "" in a build without libxml2.
std::string SurfaceSvg(const SurfacePicture& picture, const std::string& title);

}  // namespace cli
