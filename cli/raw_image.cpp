#include "cli/raw_image.h"

#include <cstdio>
#include <memory>

#include "cli/file_source.h"
#include "drive/disk_errors.h"
#include "drive/disk_format.h"
#include "drive/media_table.h"
#include "engine/image_format.h"
#include "platform/last_error.h"
#include "platform/le.h"

namespace cli {
namespace {

struct EncodeBuffers {
    TrackBuffer track;
    std::uint8_t pack[kPackBufferBytes];
};

std::string Quoted(const std::string& path) {
    return "tavrel-cli: " + path + ": ";
}

}  // namespace

bool LooksLikeImage(const std::string& path) {
    FileSource source;
    std::uint8_t magic[2] = {};
    return source.Open(path) && source.ReadSome(magic, 2) == 2 && magic[0] == kImageMagic0 &&
           magic[1] == kImageMagic1;
}

bool DecodeRawImage(const std::string& path, ByteSink& out, const std::function<bool()>& cancelled,
                    RawDecodeResult* result, std::string* error) {
    *result = RawDecodeResult{};
    ImageReport& report = result->report;
    bool opened = InspectImage(path, &report, [&](int, int, const std::uint8_t* data, int n) {
        if (cancelled && cancelled()) {
            result->cancelled = true;
            return false;
        }
        return out.Write(data, static_cast<std::uint32_t>(n)) != 0;
    });
    if (result->cancelled) return false;
    if (!opened || !report.complete() || report.badRecord >= 0) {
        *error = Quoted(path) + report.problem;
        return false;
    }
    return true;
}

bool EncodeRawImage(const std::string& path, ByteSink& out, bool compress,
                    const std::function<bool()>& cancelled, RawEncodeResult* result,
                    std::string* error) {
    *result = RawEncodeResult{};
    FileSource source;
    if (!source.Open(path)) {
        *error = Quoted(path) + DiskErrorText(GetLastError(), FALSE);
        return false;
    }
    if (source.size() == 0) {
        *error = Quoted(path) + "the file is empty";
        return false;
    }
    auto buffers = std::make_unique<EncodeBuffers>();
    std::uint8_t* boot = buffers->track.data;
    if (source.ReadSome(boot, kSectorBytes) != kSectorBytes) {
        *error = Quoted(path) + (source.failed()
                                     ? DiskErrorText(source.error(), FALSE)
                                     : "shorter than one sector; neither an image nor a raw image");
        return false;
    }
    int row = MatchMediaType(boot);
    DiskFormat named;
    if (row < 0 && FormatFromBootSector(boot, &named)) {
        *error = Quoted(path) + "its boot sector names " + DescribeFormat(named) + " of " +
                 std::to_string(named.bytes()) + " bytes, and the file has " +
                 std::to_string(source.size()) + "; a .tvl holds " + TableFormatNames() +
                 " diskettes only";
        return false;
    }
    if (row < 0) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "boot sector not recognised (media descriptor %02X, %u sectors per track); "
                      "neither an image nor a raw image of a supported diskette",
                      boot[kBootMediaDescriptorOffset],
                      le::Get16(boot + kBootSectorsPerTrackOffset));
        *error = Quoted(path) + text;
        return false;
    }
    const MediaTypeEntry& media = MediaTypeTable[row];
    const int n = media.sectorsPerTrack * kSectorBytes;
    const long long needed = 2LL * (media.lastCylinder + 1) * n;
    if (source.size() < needed) {
        *error = Quoted(path) + "a raw " + MediaTypeName(row) + " image needs " +
                 std::to_string(needed) + " bytes, the file has " + std::to_string(source.size());
        return false;
    }
    result->mediaRow = row;
    result->ignoredBytes = source.size() - needed;

    source.Rewind();
    ImageHeader header = {{kImageMagic0, kImageMagic1},
                          static_cast<std::uint8_t>(media.mediaCode),
                          static_cast<std::uint8_t>(compress ? RunLength : None)};
    if (!out.Write(&header, sizeof header)) {
        *error = "tavrel-cli: cannot write the image header";
        return false;
    }
    for (int cylinder = 0; cylinder <= media.lastCylinder; ++cylinder) {
        for (int head = 0; head < 2; ++head) {
            if (cancelled && cancelled()) {
                result->cancelled = true;
                return false;
            }
            if (!source.Read(buffers->track.data, static_cast<std::uint32_t>(n))) {
                *error = Quoted(path) + "read error: " + DiskErrorText(source.error(), FALSE);
                return false;
            }
            buffers->track.cylinder = static_cast<std::uint8_t>(cylinder);
            buffers->track.head = static_cast<std::uint8_t>(head);
            if (!EncodeTrackRecord(out, header.compression, buffers->track, n, buffers->pack)) {
                *error = "tavrel-cli: cannot write the image";
                return false;
            }
        }
    }
    return true;
}

}  // namespace cli
