#include "cli/image_scan.h"

#include <cstdio>
#include <memory>

#include "cli/file_source.h"
#include "drive/disk_errors.h"
#include "drive/media_table.h"
#include "engine/image_format.h"
#include "engine/track_codec.h"
#include "platform/last_error.h"

namespace cli {
namespace {

// Decoding scratch, sized like the job's own buffers; allocated once per image.
struct DecodeBuffers {
    TrackBuffer track;
    std::uint8_t pack[kPackBufferBytes];
};

bool IsDiskSize(long long size) {
    DiskFormat format;
    return FormatFromDrive(0, 0, 0, size, &format);
}

std::string HeaderProblem(const std::uint8_t* header, std::size_t got, long long fileSize) {
    if (fileSize == 0) return "the file is empty";
    if (got < 4)
        return "the file ends inside the 4-byte header (" + std::to_string(got) + " bytes)";
    if (header[0] != kImageMagic0 || header[1] != kImageMagic1) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "not an image: no \"Dk\" header (the file begins %02X %02X %02X %02X), "
                      "nor a raw image: %lld bytes is no diskette's size",
                      header[0], header[1], header[2], header[3], fileSize);
        return text;
    }
    if (MediaRowForCode(header[2]) < 0) return "unknown media code " + std::to_string(header[2]);
    if (header[3] > RunLength) return "unknown compression method " + std::to_string(header[3]);
    return {};
}

}  // namespace

const char* const kRawImageProblem =
    "this is a raw image: `tavrel-cli convert` makes a .tvl from it";

FileKind ClassifyImageFile(const std::uint8_t* start, std::size_t got, long long fileSize,
                           std::string* problem) {
    std::string header = HeaderProblem(start, got, fileSize);
    const bool diskSized = IsDiskSize(fileSize);
    if (header.empty()) {
        // A raw image's layout is told by its boot sector's parameter block, not by its first
        // bytes, so one may begin with "Dk", a media code and a method. An image is taken for
        // raw only if it is a diskette's size (a method 0 one never is) and, by a second
        // chance, its record 0 has bytes naming a format of that very size where a boot
        // sector's parameter block would be.
        DiskFormat boot;
        const bool named = got >= kSectorBytes && FormatFromBootSector(start, &boot);
        return diskSized && named && boot.bytes() == fileSize ? FileKind::RawImage
                                                              : FileKind::Image;
    }
    if (diskSized) return FileKind::RawImage;
    *problem = header;
    return FileKind::Neither;
}

bool RawImageFormat(const std::uint8_t* start, std::size_t got, long long fileSize,
                    DiskFormat* format) {
    // The file's size is the diskette's: a boot sector or FAT ID that says otherwise is not
    // this diskette's word on its layout.
    if (got >= kSectorBytes && FormatFromBootSector(start, format) && format->bytes() == fileSize)
        return true;
    if (got >= 2 * kSectorBytes && FormatFromFatId(start + kSectorBytes, 0, format) &&
        FormatFromFatId(start + kSectorBytes, CylindersOfSize(*format, fileSize), format) &&
        format->bytes() == fileSize)
        return true;
    // A file's size says nothing of what its boot sector would match.
    const bool sized = FormatFromDrive(0, 0, 0, fileSize, format);
    format->mediaRow = -1;
    return sized;
}

std::string RecordName(int index) {
    return "record " + std::to_string(index) + " (cylinder " + std::to_string(index / 2) +
           ", head " + std::to_string(index % 2) + ")";
}

std::string FormatName(const ImageReport& report) {
    if (report.bootRow >= 0) return MediaTypeName(report.bootRow);
    std::string name = MediaTypeName(report.mediaRow);
    // Two rows share a media code; without the boot sector the variant is unknown.
    size_t variant = name.find(" (");
    return variant == std::string::npos ? name : name.substr(0, variant);
}

bool InspectImage(const std::string& path, ImageReport* report, const TrackVisitor& visit) {
    *report = ImageReport{};
    FileSource source;
    if (!source.Open(path)) {
        report->problem = DiskErrorText(GetLastError(), FALSE);
        return false;
    }
    report->fileSize = source.size();

    std::uint8_t start[2 * kSectorBytes] = {};
    DWORD got = source.ReadSome(start, sizeof start);
    if (source.failed()) {
        report->problem = "read error: " + DiskErrorText(source.error(), FALSE);
        return false;
    }
    report->kind = ClassifyImageFile(start, got, report->fileSize, &report->problem);
    if (report->kind == FileKind::RawImage) {
        report->problem = kRawImageProblem;  // its first bytes are no header
        RawImageFormat(start, got, report->fileSize, &report->rawFormat);
        return true;
    }
    if (got >= 4) {
        report->mediaCode = start[2];
        report->method = start[3];
    }
    if (report->kind != FileKind::Image) return true;
    source.Rewind();
    std::uint8_t header[4];
    if (!source.Read(header, sizeof header)) {
        report->problem = "read error: " + DiskErrorText(source.error(), FALSE);
        return false;
    }

    report->headerValid = true;
    report->mediaRow = MediaRowForCode(report->mediaCode);
    const MediaTypeEntry& media = MediaTypeTable[report->mediaRow];
    report->cylinders = media.lastCylinder + 1;
    report->sectorsPerTrack = media.sectorsPerTrack;
    report->expected = 2 * report->cylinders;
    report->sides.assign(static_cast<size_t>(report->expected), SideReport{});

    auto buffers = std::make_unique<DecodeBuffers>();
    const int n = report->trackBytes();
    for (int index = 0; index < report->expected; ++index) {
        SideReport& side = report->sides[static_cast<size_t>(index)];
        side.offset = source.position();
        if (side.offset == report->fileSize) {
            side.offset = -1;
            report->problem =
                index == 0 ? std::string("truncated: the file holds the header and no record")
                           : "truncated: the file ends after " + RecordName(index - 1) + ", " +
                                 std::to_string(index) + " of " + std::to_string(report->expected) +
                                 " records";
            return true;
        }
        RecordInfo info;
        if (!DecodeTrackRecord(source, static_cast<std::uint8_t>(report->method), buffers->track, n,
                               buffers->pack, &info)) {
            side.state = SideState::Bad;
            report->badRecord = index;
            if (source.failed())
                report->problem = "read error in " + RecordName(index) + ": " +
                                  DiskErrorText(source.error(), FALSE);
            else if (info.error == RecordError::ShortRead)
                report->problem = "truncated: the file ends inside " + RecordName(index);
            else
                report->problem =
                    RecordName(index) + " at offset " + std::to_string(side.offset) + ": " +
                    RecordErrorText(info.error) +
                    (info.error == RecordError::BadEncoding ? " " + std::to_string(info.encoding)
                                                            : std::string());
            return true;
        }
        if (buffers->track.cylinder != index / 2 || buffers->track.head != index % 2) {
            // Decoded whole, so the next record starts where it should; go on reading.
            side.state = SideState::Bad;
            if (report->badRecord < 0) {
                report->badRecord = index;
                report->problem = RecordName(index) + " at offset " + std::to_string(side.offset) +
                                  ": labelled cylinder " + std::to_string(buffers->track.cylinder) +
                                  ", head " + std::to_string(buffers->track.head);
            }
            continue;
        }
        ++report->present;
        if (report->method == None || info.encoding == Raw) {
            side.state = SideState::Raw;
            ++report->raw;
        } else if (info.encoding == Fill) {
            side.state = SideState::Fill;
            ++report->fill;
        } else {
            side.state = SideState::Packed;
            side.packedLength = info.packedLength;
            ++report->packed;
        }
        if (index == 0) {
            int row = MatchMediaType(buffers->track.data);
            if (row >= 0 && MediaTypeTable[row].mediaCode == report->mediaCode)
                report->bootRow = row;
        }
        if (visit && report->badRecord < 0 &&
            !visit(index / 2, index % 2, buffers->track.data, n)) {
            report->problem = "stopped";
            return true;
        }
    }
    report->trailingBytes = report->fileSize - source.position();
    if (report->problem.empty() && report->trailingBytes > 0)
        report->problem =
            std::to_string(report->trailingBytes) + " trailing bytes after the last record";
    return true;
}

}  // namespace cli
