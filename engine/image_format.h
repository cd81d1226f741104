// The image file, byte for byte: a 4-byte header ('D', 'k', media code, compression method),
// then one record per track side in the order cylinder 0 head 0, cylinder 0 head 1, ...
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kSectorBytes = 512;
// The image table's formats have up to 18; a raw image's up to 36 (2.88 MB).
constexpr int kMaxSectorsPerTrack = 36;
constexpr int kMaxTrackBytes = kMaxSectorsPerTrack * kSectorBytes;  // 18432
constexpr int kPackBufferBytes = 3 * kMaxTrackBytes;                // 55296

enum CompressionMethod : std::uint8_t { None = 0, RunLength = 1 };
enum TrackEncoding : std::uint8_t { Raw = 0, Fill = 1, Packed = 2 };

struct ImageHeader {
    std::uint8_t magic[2];
    std::uint8_t mediaCode;
    std::uint8_t compression;
};
static_assert(sizeof(ImageHeader) == 4);

constexpr std::uint8_t kImageMagic0 = 'D';
constexpr std::uint8_t kImageMagic1 = 'k';

// A method 0 record, and the first two bytes of a method 1 record, are the first
// trackBytes + 2 bytes of this buffer taken in one piece.
struct TrackBuffer {
    std::uint8_t cylinder;
    std::uint8_t head;
    std::uint8_t data[kMaxTrackBytes];
};
static_assert(sizeof(TrackBuffer) == 2 + kMaxTrackBytes);
static_assert(offsetof(TrackBuffer, data) == 2);

// The header record the job writes and reads into. It outlives the job: the next job of the
// same owner starts from what the last one left (a short header is judged by the bytes the
// last image left). One record for each thread that owns jobs, so that a batch running a job on
// every drive at once keeps each drive's apart; a job's own thread works on a copy of its
// owner's record and hands it back as it ends.
extern thread_local ImageHeader g_imageHeader;

// Size of a method 0 image: 4 + 2 x cylinders x (trackBytes + 2).
constexpr long long UncompressedImageSize(int cylinders, int trackBytes) {
    return 4 + 2LL * cylinders * (trackBytes + 2);
}
