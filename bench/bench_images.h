// Diskette images for the benchmarks, made the way users make them: formatted by mkfs.fat and
// filled with mcopy, plus two synthetic contents that bound the codec from both sides.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class ImageContent { Blank, Half, Full, Random, Worst };
constexpr ImageContent kImageContents[] = {ImageContent::Blank, ImageContent::Half,
                                           ImageContent::Full, ImageContent::Random,
                                           ImageContent::Worst};

struct ImageLayout {
    const char* name;
    int kilobytes;
    int sectorsPerTrack;
    int mediaDescriptor;
};
// One layout per track side size: 4608, 7680 and 9216 bytes.
constexpr ImageLayout kImageLayouts[] = {
    {"720K", 720, 9, 0xF9},
    {"1200K", 1200, 15, 0xF9},
    {"1440K", 1440, 18, 0xF0},
};

const char* ImageContentName(ImageContent content);

// Writes the image to path; false (with a line on standard error) when a tool failed.
bool MakeBenchImage(const std::string& path, const ImageLayout& layout, ImageContent content);

// The image's bytes, made once per process in a private folder that is removed at exit.
const std::vector<std::uint8_t>& BenchImage(const ImageLayout& layout, ImageContent content);
// Where BenchImage keeps the file, for the whole-job benchmarks that need it on disk.
std::string BenchImagePath(const ImageLayout& layout, ImageContent content);
// The private folder itself.
const std::string& BenchWorkDir();
