// A raw sector image (the diskette's sectors in logical order, as emulators and mtools use)
// turned into the image that Compress writes from that diskette, byte for byte.
#pragma once

#include <functional>
#include <string>

#include "cli/image_scan.h"
#include "engine/track_codec.h"

namespace cli {

struct RawEncodeResult {
    int mediaRow = -1;
    long long ignoredBytes = 0;  // beyond the format's size, as a drive's extra bytes are
    bool cancelled = false;
};

// Recognises the format from the boot sector as DetectMedia does and writes header and records
// to out. False with a one-line reason; cancelled() is asked between track sides.
bool EncodeRawImage(const std::string& path, ByteSink& out, bool compress,
                    const std::function<bool()>& cancelled, RawEncodeResult* result,
                    std::string* error);

struct RawDecodeResult {
    ImageReport report;
    bool cancelled = false;
};

// The way back: the raw image an image file stands for, its track sides written to out in
// order, as convert and batch --raw write it. False when cancelled() said so before a side,
// when out refused a write (out tells why), or with a one-line reason when the image is not
// complete and sound. Padding after the last record is left out (report.trailingBytes).
bool DecodeRawImage(const std::string& path, ByteSink& out, const std::function<bool()>& cancelled,
                    RawDecodeResult* result, std::string* error);

// True when the file begins like an image ("Dk"), false for anything else.
bool LooksLikeImage(const std::string& path);

}  // namespace cli
