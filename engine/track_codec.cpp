#include "engine/track_codec.h"

#include <cstring>

#include "engine/le.h"

int PackTrack(const std::uint8_t* d, int n, std::uint8_t* out) {
    int p = 0, s = 0, o = 0;
    int c = 0;  // literal count, at most 255
    while (p < n) {
        if (c != 255 && !(p + 2 < n && d[p] == d[p + 1] && d[p] == d[p + 2])) {
            ++c;
            ++p;
            continue;
        }
        out[o++] = static_cast<std::uint8_t>(c);
        std::memcpy(out + o, d + s, static_cast<size_t>(c));
        o += c;
        std::uint8_t v = d[p];
        int runEnd = p + 255 < n ? p + 255 : n;
        int q = p + 1;
        while (q < runEnd && d[q] == v) ++q;
        out[o++] = static_cast<std::uint8_t>(q - p);
        out[o++] = v;
        p = s = q;
        c = 0;
    }
    if (c > 0) {
        out[o++] = static_cast<std::uint8_t>(c);
        std::memcpy(out + o, d + s, static_cast<size_t>(c));
        o += c;
    }
    return o;
}

int UnpackTrack(const std::uint8_t* k, int packedLength, std::uint8_t* out, int n) {
    int i = 0, o = 0;
    while (i < packedLength && o < n) {
        int literals = k[i++];
        if (literals > packedLength - i || literals > n - o) return 0;
        std::memcpy(out + o, k + i, static_cast<size_t>(literals));
        i += literals;
        o += literals;
        if (o == n || i == packedLength) break;
        if (packedLength - i < 2) return 0;  // a run length with no run value after it
        int run = k[i];
        if (run > n - o) return 0;
        std::memset(out + o, k[i + 1], static_cast<size_t>(run));
        i += 2;
        o += run;
    }
    return o == n && i == packedLength ? 1 : 0;
}

const char* RecordErrorText(RecordError error) {
    switch (error) {
        case RecordError::None: return "well-formed";
        case RecordError::ShortRead: return "the file ends inside the record";
        case RecordError::BadEncoding: return "unknown encoding byte";
        case RecordError::PackedTooLong: return "packed length larger than any track side allows";
        case RecordError::Malformed: return "packed data does not describe exactly one track side";
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
        case Fill: return sink.Write(track.data, 1);
        case Raw: return sink.Write(track.data, static_cast<std::uint32_t>(n));
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
        return source.Read(&track, static_cast<std::uint32_t>(n + 2)) ? 1 : fail(RecordError::ShortRead);
    }
    if (!source.Read(&track, 2) || !source.Read(&r.encoding, 1)) return fail(RecordError::ShortRead);
    switch (r.encoding) {
        case Raw:
            return source.Read(track.data, static_cast<std::uint32_t>(n)) ? 1
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
            if (!UnpackTrack(packBuffer, r.packedLength, track.data, n)) return fail(RecordError::Malformed);
            return 1;
        }
        default: return fail(RecordError::BadEncoding);
    }
}
