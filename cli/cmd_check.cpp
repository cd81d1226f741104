// check FOLDER: a batch folder read back: every file against every manifest, and every .tvl
// image decoded and its content hashed against its info file, so a damaged image is found
// without a diskette or a conversion.
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "cli/commands.h"
#include "cli/fixity_files.h"
#include "engine/exit_codes.h"
#include "engine/fixity.h"

namespace cli {
namespace {

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') names.push_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

int RunCheck(const std::string& folder, Console& console) {
    int problems = 0, checked = 0;
    auto report = [&](const std::string& line) {
        ++problems;
        std::printf("%s\n", line.c_str());
    };
    const std::vector<std::string> files = FilesIn(folder);
    std::set<std::string> covered;
    bool anyManifest = false;
    for (FixityAlgorithm algorithm : {FixityMd5, FixitySha1, FixitySha256}) {
        const std::string name = FixityName(algorithm);
        bool found = false;
        const auto lines = ReadManifest(folder + "/manifest-" + name + ".txt", &found);
        if (!found) continue;
        anyManifest = true;
        for (const ManifestLine& line : lines) {
            HashSet hashes;
            covered.insert(line.name);
            ++checked;
            if (!FileHashes(folder + "/" + line.name, algorithm, &hashes))
                report(line.name + ": missing (listed in manifest-" + name + ".txt)");
            else if (hashes[name] != line.hash)
                report(line.name + ": " + name + " differs from manifest-" + name + ".txt");
        }
    }
    if (!anyManifest) {
        console.Error("tavrel-cli: " + folder + ": no manifest-*.txt: not a batch folder");
        return kExitFailed;
    }
    for (const std::string& file : files) {
        if (!EndsWith(file, ".info")) continue;
        bool found = false;
        auto info = ReadKeyValues(folder + "/" + file, &found);
        auto image = info.find("image");
        if (image == info.end()) continue;
        if (!covered.count(image->second)) report(image->second + ": not in any manifest");
        unsigned algorithms = 0;
        for (FixityAlgorithm algorithm : {FixityMd5, FixitySha1, FixitySha256})
            if (info.count(std::string("content-") + FixityName(algorithm)))
                algorithms |= algorithm;
        if (!algorithms) continue;
        HashSet hashes;
        std::string error;
        if (!ImageContentHashes(folder + "/" + image->second, algorithms, &hashes, &error)) {
            report(image->second + ": " + error);
            continue;
        }
        for (const auto& [name, hex] : hashes)
            if (info["content-" + name] != hex)
                report(image->second + ": content " + name + " differs from " + file);
    }
    for (const std::string& file : files)
        if ((EndsWith(file, ".tvl") || EndsWith(file, ".img") || EndsWith(file, ".info")) &&
            !covered.count(file))
            report(file + ": not in any manifest");
    if (problems) {
        console.Error("tavrel-cli: " + folder + ": " + std::to_string(problems) +
                      (problems == 1 ? " problem" : " problems"));
        return kExitDifferent;
    }
    console.Summary(folder + ": " + std::to_string(checked) + " files and their content match");
    return kExitDone;
}

}  // namespace cli
