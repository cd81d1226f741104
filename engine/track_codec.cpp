#include "engine/track_codec.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/le.h"

namespace {

// The packer spends its time looking for the next three equal bytes among literals and for
// the end of a run; both are done sixteen positions at a time where SSE2 exists (every
// x86-64), and byte by byte elsewhere. Neither reads a byte at or beyond n.

// The first t in [from, to) with d[t] == d[t + 1] == d[t + 2], or to; needs to + 2 <= n.
inline int FindTriple(const std::uint8_t* d, int from, int to, int n) {
    int t = from;
#if defined(__SSE2__)
    // A block at t reads d[t] to d[t + 17].
    for (; t < to && t + 18 <= n; t += 16) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + t));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + t + 1));
        __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + t + 2));
        unsigned hits = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, b), _mm_cmpeq_epi8(b, c))));
        if (hits) {
            int at = t + std::countr_zero(hits);
            return at < to ? at : to;
        }
    }
#else
    (void)n;
#endif
    for (; t < to; ++t)
        if (d[t] == d[t + 1] && d[t] == d[t + 2]) return t;
    return to;
}

// The first q in [from, to) with d[q] != v, or to.
inline int FindRunEnd(const std::uint8_t* d, int from, int to, std::uint8_t v) {
    int q = from;
#if defined(__SSE2__)
    __m128i value = _mm_set1_epi8(static_cast<char>(v));
    for (; q + 16 <= to; q += 16) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + q));
        unsigned differ =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, value))) ^ 0xFFFFu;
        if (differ) return q + std::countr_zero(differ);
    }
#endif
    while (q < to && d[q] == v) ++q;
    return q;
}

}  // namespace

// Equivalent to the byte-by-byte definition (a literal group grows until three equal bytes
// start inside the track side or it holds 255; then a run of at most 255 follows), but it
// jumps from one run start to the next instead of testing every position.
int PackTrack(const std::uint8_t* d, int n, std::uint8_t* out) {
    int o = 0;
    int s = 0;  // start of the current literal group
    while (s < n) {
        int limit = s + 255 < n - 2 ? s + 255 : n - 2;
        int p = FindTriple(d, s, limit > s ? limit : s, n);
        if (p == limit || limit <= s) {
            // No run starts among the next 255 positions: the group fills up and the byte
            // after it is forced to start a run, or the track side ends first.
            if (s + 255 >= n) break;
            p = s + 255;
        }
        int c = p - s;
        out[o++] = static_cast<std::uint8_t>(c);
        std::memcpy(out + o, d + s, static_cast<size_t>(c));
        o += c;
        std::uint8_t v = d[p];
        int runEnd = FindRunEnd(d, p + 1, p + 255 < n ? p + 255 : n, v);
        out[o++] = static_cast<std::uint8_t>(runEnd - p);
        out[o++] = v;
        s = runEnd;
    }
    if (s < n) {
        int c = n - s;
        out[o++] = static_cast<std::uint8_t>(c);
        std::memcpy(out + o, d + s, static_cast<size_t>(c));
        o += c;
    }
    return o;
}

namespace {
constexpr int RoundUp(int value, int block) {
    return (value + block - 1) / block * block;
}
}  // namespace

int UnpackTrack(const std::uint8_t* k, int packedLength, std::uint8_t* out, int n) {
    // Text and program files pack into many short groups (about 40 bytes each), for which a
    // library call of variable length costs more than the move itself. So short literal groups
    // and runs are moved as fixed-size blocks whenever both ranges have room for the whole
    // block: the bytes past the group's end are rewritten by the groups that follow, and
    // nothing outside [0, n) or [0, packedLength) is touched.
    constexpr int kLiteralBlock = 32;
    constexpr int kRunBlock = 16;
    int i = 0, o = 0;
    while (i < packedLength && o < n) {
        int literals = k[i++];
        if (literals > packedLength - i || literals > n - o) return 0;
        int literalSpan =
            literals <= kLiteralBlock ? kLiteralBlock : RoundUp(literals, kLiteralBlock);
        if (packedLength - i >= literalSpan && n - o >= literalSpan) {
            int j = 0;
            do {
                std::memcpy(out + o + j, k + i + j, kLiteralBlock);
                j += kLiteralBlock;
            } while (j < literals);
        } else {
            std::memcpy(out + o, k + i, static_cast<size_t>(literals));
        }
        i += literals;
        o += literals;
        if (o == n || i == packedLength) break;
        if (packedLength - i < 2) return 0;  // a run length with no run value after it
        int run = k[i];
        if (run == 0 || run > n - o) return 0;  // runs are 1 to 255 bytes long
        int runSpan = run <= kRunBlock ? kRunBlock : RoundUp(run, kRunBlock);
        if (n - o >= runSpan) {
            std::uint8_t block[kRunBlock];
            std::memset(block, k[i + 1], kRunBlock);
            int j = 0;
            do {
                std::memcpy(out + o + j, block, kRunBlock);
                j += kRunBlock;
            } while (j < run);
        } else {
            std::memset(out + o, k[i + 1], static_cast<size_t>(run));
        }
        i += 2;
        o += run;
    }
    return o == n && i == packedLength ? 1 : 0;
}

const char* RecordErrorText(RecordError error) {
    switch (error) {
        case RecordError::None:
            return "well-formed";
        case RecordError::ShortRead:
            return "the file ends inside the record";
        case RecordError::BadEncoding:
            return "unknown encoding byte";
        case RecordError::PackedTooLong:
            return "packed length larger than any track side allows";
        case RecordError::Malformed:
            return "packed data does not describe exactly one track side";
    }
    return "?";
}

int EncodeTrackRecord(ByteSink& sink, std::uint8_t method, const TrackBuffer& track, int n,
                      std::uint8_t* packBuffer, RecordInfo* info) {
    RecordInfo local;
    RecordInfo& r = info ? *info : local;
    r = RecordInfo{};
    if (method == None) return sink.Write(&track, static_cast<std::uint32_t>(n + 2));

    if (!sink.Write(&track, 2)) return 0;
    int packed = 0;
    if (n > 0 && std::memcmp(track.data, track.data + 1, static_cast<size_t>(n - 1)) == 0) {
        r.encoding = Fill;
    } else {
        packed = PackTrack(track.data, n, packBuffer);
        r.encoding = packed + 2 < n ? Packed : Raw;
    }
    if (!sink.Write(&r.encoding, 1)) return 0;
    switch (r.encoding) {
        case Fill:
            return sink.Write(track.data, 1);
        case Raw:
            return sink.Write(track.data, static_cast<std::uint32_t>(n));
        default: {
            std::uint8_t length[2];
            le::Put16(length, static_cast<std::uint16_t>(packed));
            r.packedLength = static_cast<std::uint16_t>(packed);
            if (!sink.Write(length, 2)) return 0;
            return sink.Write(packBuffer, static_cast<std::uint32_t>(packed));
        }
    }
}

int DecodeTrackRecord(ByteSource& source, std::uint8_t method, TrackBuffer& track, int n,
                      std::uint8_t* packBuffer, RecordInfo* info) {
    RecordInfo local;
    RecordInfo& r = info ? *info : local;
    r = RecordInfo{};
    auto fail = [&r](RecordError e) {
        r.error = e;
        return 0;
    };
    if (method == None) {
        return source.Read(&track, static_cast<std::uint32_t>(n + 2))
                   ? 1
                   : fail(RecordError::ShortRead);
    }
    if (!source.Read(&track, 2) || !source.Read(&r.encoding, 1))
        return fail(RecordError::ShortRead);
    switch (r.encoding) {
        case Raw:
            return source.Read(track.data, static_cast<std::uint32_t>(n))
                       ? 1
                       : fail(RecordError::ShortRead);
        case Fill: {
            std::uint8_t value;
            if (!source.Read(&value, 1)) return fail(RecordError::ShortRead);
            std::memset(track.data, value, static_cast<size_t>(n));
            return 1;
        }
        case Packed: {
            std::uint8_t length[2];
            if (!source.Read(length, 2)) return fail(RecordError::ShortRead);
            r.packedLength = le::Get16(length);
            if (r.packedLength > kPackBufferBytes) return fail(RecordError::PackedTooLong);
            if (!source.Read(packBuffer, r.packedLength)) return fail(RecordError::ShortRead);
            if (!UnpackTrack(packBuffer, r.packedLength, track.data, n))
                return fail(RecordError::Malformed);
            return 1;
        }
        default:
            return fail(RecordError::BadEncoding);
    }
}
