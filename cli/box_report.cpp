#include "cli/box_report.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

#include "cli/atomic_output.h"
#include "cli/batch_record.h"
#include "cli/fixity_files.h"
#include "platform/folder_list.h"
#include "platform/syscalls.h"

namespace cli {
namespace {

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return platform::SysStat(path.c_str(), &st) == 0;
}

std::string Identifier(const std::map<std::string, std::string>& info, const std::string& name) {
    for (const char* key : {"identifier", "name"}) {
        auto value = info.find(key);
        if (value != info.end() && !value->second.empty()) return value->second;
    }
    return name;
}

BoxDiskette ReadDiskette(const std::string& folder, const std::string& name) {
    bool found = false;
    const auto info = ReadKeyValues(folder + "/" + name + ".info", &found);
    auto get = [&](const char* key) {
        auto value = info.find(key);
        return value == info.end() ? std::string() : value->second;
    };
    BoxDiskette d;
    d.name = name;
    d.identifier = Identifier(info, name);
    d.label = get("label-text").empty() ? get("volume-label") : get("label-text");
    d.format = get("format");
    d.result = get("result");
    d.failed = RecordFromInfo(info).Failed();
    // "3 (cylinder 5 head 1 sectors 4-6)": the count, and where they lie.
    d.unreadable = get("unreadable-sectors");
    d.unreadSectors = std::atoi(d.unreadable.c_str());
    d.sha256 = get("content-sha256");
    d.time = get("started");
    d.message = get("message");
    const std::string map = folder + "/" + name + ".map";
    d.hasPicture = PictureOfDiskette(info, Exists(map) ? map : std::string(), &d.picture);
    if (d.hasPicture) d.bytesRead = d.picture.map.Count(SectorFinished) * 512LL;
    return d;
}

}  // namespace

BoxTotals BoxReport::Totals() const {
    BoxTotals totals;
    for (const BoxDiskette& d : diskettes) {
        ++totals.diskettes;
        (d.failed ? totals.failed : totals.done)++;
        totals.unreadSectors += d.unreadSectors;
        totals.bytesRead += d.bytesRead;
    }
    return totals;
}

BoxReport ReadBoxReport(const std::string& payloadFolder, const std::string& title) {
    BoxReport report;
    report.folder = title;
    std::vector<std::string> names;
    for (const std::string& file : platform::ListFolder(payloadFolder))
        if (file[0] != '.' && EndsWith(file, ".info") && file.size() > 5)
            names.push_back(file.substr(0, file.size() - 5));
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        report.diskettes.push_back(ReadDiskette(payloadFolder, name));
    return report;
}

std::string FolderTitle(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos || path.size() == 1 ? path : path.substr(slash + 1);
}

bool WriteDiskettePicture(const std::string& infoPath, const std::string& mapPath,
                          const std::string& path, bool* drawn, std::string* error) {
    bool found = false;
    const auto info = ReadKeyValues(infoPath, &found);
    SurfacePicture picture;
    std::string name = FolderTitle(infoPath);
    if (EndsWith(name, ".info")) name.erase(name.size() - 5);
    const std::string svg = PictureOfDiskette(info, mapPath, &picture)
                                ? SurfaceSvg(picture, Identifier(info, name))
                                : std::string();
    *drawn = !svg.empty();
    if (!*drawn) {
        platform::SysUnlink(path.c_str());
        return true;
    }
    return WriteWholeFile(path, svg, error);
}

bool WriteBoxReport(const std::string& payloadFolder, const std::string& title,
                    const std::string& path, std::string* error) {
    const std::string html = BoxReportHtml(ReadBoxReport(payloadFolder, title));
    return html.empty() || WriteWholeFile(path, html, error);
}

}  // namespace cli
