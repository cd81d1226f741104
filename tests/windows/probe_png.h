// A PNG of 8-bit RGB pixels, written with no library: the test's screenshots need no decoder
// on the Windows side, and Wine's encoders need not be trusted for a picture the docs show.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// rgb holds height rows of width pixels, top row first, three bytes a pixel. Nonzero on success.
int WritePng(const std::wstring& path, int width, int height, const std::vector<uint8_t>& rgb);
