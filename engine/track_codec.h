// The per-track-side run-length codec and the record encoder and decoder, independent of any
// job so that the console tool and the benchmarks use the same code as the passes.
//
// Packed form: groups of a literal count L (0-255), L literal bytes, then a run length N
// (1-255) and a run value V; only the last group may lack its run pair.
#pragma once

#include <cstdint>

#include "engine/image_format.h"

// Packs data[0..n) into out, which must hold n + 2 * (n / 256) + 1 bytes; returns the length.
int PackTrack(const std::uint8_t* data, int n, std::uint8_t* out);

// Unpacks exactly n bytes from packed[0..packedLength) into out. Returns 1 only when the packed
// form describes exactly n bytes and uses every packed byte; it never reads or writes outside
// the two ranges, whatever the input.
int UnpackTrack(const std::uint8_t* packed, int packedLength, std::uint8_t* out, int n);

// The largest packed form of n bytes.
constexpr int MaxPackedLength(int n) {
    return n + 2 * (n / 256) + (n % 256 ? 1 : 0);
}

// Where records go and come from: nonzero only when exactly count bytes moved.
class ByteSink {
  public:
    virtual int Write(const void* data, std::uint32_t count) = 0;

  protected:
    ~ByteSink() = default;
};
class ByteSource {
  public:
    virtual int Read(void* data, std::uint32_t count) = 0;

  protected:
    ~ByteSource() = default;
};

enum class RecordError : std::uint8_t {
    None,
    ShortRead,      // the file ended, or a read failed
    BadEncoding,    // an encoding byte above 2
    PackedTooLong,  // a packed length above the pack buffer's size
    Malformed,      // a packed form that does not describe exactly the track side
};
const char* RecordErrorText(RecordError error);

struct RecordInfo {
    std::uint8_t encoding = Raw;
    std::uint16_t packedLength = 0;
    RecordError error = RecordError::None;
};

// Writes the record of track (cylinder, head, first n data bytes) under method; packBuffer
// holds kPackBufferBytes. Nonzero when every write succeeded.
int EncodeTrackRecord(ByteSink& sink, std::uint8_t method, const TrackBuffer& track, int n,
                      std::uint8_t* packBuffer, RecordInfo* info = nullptr);

// Reads the next record into track. Nonzero only when the record was read whole and is
// well-formed; then its first n data bytes are the track side. On failure info says why.
int DecodeTrackRecord(ByteSource& source, std::uint8_t method, TrackBuffer& track, int n,
                      std::uint8_t* packBuffer, RecordInfo* info = nullptr);
