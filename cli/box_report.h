// The box report: report.html beside batch.csv, one page that shows a box of diskettes at a
// glance, its totals and a row for each diskette with its surface picture, made from the
// folder's files alone (each NAME.info and NAME.map) so that it can be made again at any time
// (tavrel-cli report). A page of its own: its style inside it, no scripts, nothing it loads.
#pragma once

#include <string>
#include <vector>

#include "cli/surface_picture.h"

namespace cli {

struct BoxDiskette {
    std::string name;
    // From the info file: the identifier and the label text written on the diskette, where
    // the batch was given them, else the name and the volume label.
    std::string identifier, label, format, result, unreadable, sha256, time, message;
    bool failed = false;
    int unreadSectors = 0;
    long long bytesRead = 0;  // the sectors read, in bytes; 0 without a picture
    bool hasPicture = false;
    SurfacePicture picture;
};

struct BoxTotals {
    int diskettes = 0, done = 0, failed = 0, unreadSectors = 0;
    long long bytesRead = 0;
};

struct BoxReport {
    std::string folder;  // as the page names it
    std::vector<BoxDiskette> diskettes;
    BoxTotals Totals() const;
};

// The diskettes filed in payloadFolder (the folder, or a bag's data/), by name.
BoxReport ReadBoxReport(const std::string& payloadFolder, const std::string& title);

// The page; "" in a build without libxml2.
std::string BoxReportHtml(const BoxReport& report);

// What the page calls a folder: its last name.
std::string FolderTitle(const std::string& folder);

// The picture of the diskette whose info file is infoPath (its map at mapPath, "" for none)
// written whole to path; *drawn false when it has none, or the build draws none, and then
// path is removed. False with a one-line reason when it cannot be written.
bool WriteDiskettePicture(const std::string& infoPath, const std::string& mapPath,
                          const std::string& path, bool* drawn, std::string* error);
// The page of the diskettes in payloadFolder written whole to path; nothing in a build that
// draws none.
bool WriteBoxReport(const std::string& payloadFolder, const std::string& title,
                    const std::string& path, std::string* error);

}  // namespace cli
