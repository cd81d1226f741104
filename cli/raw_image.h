// A raw sector image (the diskette's sectors in logical order, as emulators and mtools use)
// turned into the image that Compress writes from that diskette, byte for byte.
#pragma once

#include <functional>
#include <string>

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

// True when the file begins like an image ("Dk"), false for anything else.
bool LooksLikeImage(const std::string& path);

}  // namespace cli
