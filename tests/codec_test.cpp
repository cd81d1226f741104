// The run-length codec and the record encoder/decoder: the worked examples, round trips, and
// every malformed record a file can hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "engine/track_codec.h"
#include "platform/le.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Pack(const Bytes& data) {
    Bytes out(kPackBufferBytes);
    out.resize(
        static_cast<size_t>(PackTrack(data.data(), static_cast<int>(data.size()), out.data())));
    return out;
}

class MemorySink final : public ByteSink {
  public:
    Bytes bytes;
    int writes = 0;
    int failAfter = -1;  // fail the write with this index
    int Write(const void* data, std::uint32_t count) override {
        if (writes++ == failAfter) return 0;
        auto* p = static_cast<const std::uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + count);
        return 1;
    }
};

class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(Bytes b) : bytes(std::move(b)) {}
    Bytes bytes;
    size_t at = 0;
    int Read(void* data, std::uint32_t count) override {
        if (count > bytes.size() - at) return 0;
        std::memcpy(data, bytes.data() + at, count);
        at += count;
        return 1;
    }
};

TrackBuffer Track(int cylinder, int head, const Bytes& data) {
    TrackBuffer t{};
    t.cylinder = static_cast<std::uint8_t>(cylinder);
    t.head = static_cast<std::uint8_t>(head);
    std::memcpy(t.data, data.data(), data.size());
    return t;
}

Bytes Encode(const TrackBuffer& t, int n, std::uint8_t method, RecordInfo* info = nullptr) {
    MemorySink sink;
    static std::uint8_t pack[kPackBufferBytes];
    EXPECT_TRUE(EncodeTrackRecord(sink, method, t, n, pack, info));
    return sink.bytes;
}

Bytes NoTwoEqualNeighbours(int n) {
    Bytes d(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) d[static_cast<size_t>(i)] = static_cast<std::uint8_t>(i % 251);
    for (int i = 1; i < n; ++i) EXPECT_NE(d[static_cast<size_t>(i)], d[static_cast<size_t>(i - 1)]);
    return d;
}

TEST(PackTrack, WorkedExampleTwelveBytes) {
    Bytes in = {0x41, 0x42, 0x43, 0, 0, 0, 0, 0, 0x44, 0x45, 0x45, 0x46};
    EXPECT_EQ(Pack(in), (Bytes{0x03, 0x41, 0x42, 0x43, 0x05, 0x00, 0x04, 0x44, 0x45, 0x45, 0x46}));
}

TEST(PackTrack, WorkedExampleHundredLiteralsThenLongRun) {
    Bytes in(4608, 0xF6);
    for (int i = 0; i < 100; ++i) in[static_cast<size_t>(i)] = static_cast<std::uint8_t>(i);
    Bytes expected = {100};
    for (int i = 0; i < 100; ++i) expected.push_back(static_cast<std::uint8_t>(i));
    expected.insert(expected.end(), {0xFF, 0xF6});
    for (int g = 0; g < 16; ++g) expected.insert(expected.end(), {0x00, 0xFF, 0xF6});
    expected.insert(expected.end(), {0x00, 0xAD, 0xF6});
    EXPECT_EQ(Pack(in), expected);
    EXPECT_EQ(expected.size(), 154u);

    // As a record at cylinder 5, head 1: 05 01 02 9A 00, then the packed bytes.
    RecordInfo info;
    Bytes record = Encode(Track(5, 1, in), 4608, RunLength, &info);
    ASSERT_EQ(record.size(), 159u);
    EXPECT_EQ(Bytes(record.begin(), record.begin() + 5), (Bytes{0x05, 0x01, 0x02, 0x9A, 0x00}));
    EXPECT_EQ(Bytes(record.begin() + 5, record.end()), expected);
    EXPECT_EQ(info.encoding, Packed);
}

TEST(PackTrack, WorstCaseIsStoredRaw) {
    Bytes in = NoTwoEqualNeighbours(4608);
    Bytes packed = Pack(in);
    EXPECT_EQ(packed.size(), 4644u);
    EXPECT_EQ(static_cast<int>(packed.size()), MaxPackedLength(4608));
    for (size_t g = 0; g < 18; ++g) {
        EXPECT_EQ(packed[g * 258], 0xFF);
        EXPECT_EQ(packed[g * 258 + 256], 0x01);
    }
    Bytes record = Encode(Track(0, 0, in), 4608, RunLength);
    EXPECT_EQ(record.size(), 4611u);
    EXPECT_EQ(record[2], Raw);
}

TEST(PackTrack, LongestFormsFitThePackBuffer) {
    for (int n : {4608, 7680, 9216}) {
        EXPECT_EQ(static_cast<int>(Pack(NoTwoEqualNeighbours(n)).size()), MaxPackedLength(n));
        EXPECT_LE(MaxPackedLength(n), kPackBufferBytes);
    }
    EXPECT_EQ(MaxPackedLength(7680), 7740);
    EXPECT_EQ(MaxPackedLength(9216), 9288);
}

TEST(PackTrack, LastTwoPositionsNeverStartARun) {
    Bytes in = {1, 2, 3, 0x11, 0x22, 0x22};
    EXPECT_EQ(Pack(in), (Bytes{6, 1, 2, 3, 0x11, 0x22, 0x22}));
}

TEST(PackTrack, SixHundredEqualBytesSplitIntoRuns) {
    Bytes in(700, 0x37);
    for (size_t i = 600; i < 700; ++i) in[i] = static_cast<std::uint8_t>(i);
    Bytes p = Pack(in);
    EXPECT_EQ(Bytes(p.begin(), p.begin() + 9),
              (Bytes{0x00, 0xFF, 0x37, 0x00, 0xFF, 0x37, 0x00, 0x5A, 0x37}));
}

TEST(PackTrack, RunAfterFullLiteralGroupMayBeShort) {
    // 255 literals then a pair: the full literal group forces a run of the pair (length 2).
    Bytes in = NoTwoEqualNeighbours(255);
    in.push_back(0x99);
    in.push_back(0x99);
    in.push_back(0x42);
    Bytes p = Pack(in);
    ASSERT_EQ(p.size(), 1u + 255 + 2 + 2);
    EXPECT_EQ(p[0], 0xFF);
    EXPECT_EQ(p[256], 2);
    EXPECT_EQ(p[257], 0x99);
    EXPECT_EQ(p[258], 1);
    EXPECT_EQ(p[259], 0x42);
}

TEST(PackTrack, RunRemainderOfOneOrTwoBecomesLiterals) {
    Bytes in(257, 0x00);
    in.push_back(0x01);
    EXPECT_EQ(Pack(in), (Bytes{0x00, 0xFF, 0x00, 0x03, 0x00, 0x00, 0x01}));
}

TEST(Codec, RoundTripsEveryByteValueAndShape) {
    std::mt19937 random(7);
    std::uint8_t pack[kPackBufferBytes];
    for (int n : {4608, 7680, 9216}) {
        for (int shape = 0; shape < 6; ++shape) {
            for (int value = 0; value < 256; value += (shape == 0 ? 1 : 51)) {
                Bytes in(static_cast<size_t>(n));
                for (int i = 0; i < n; ++i) {
                    switch (shape) {
                        case 0:
                            in[static_cast<size_t>(i)] = static_cast<std::uint8_t>(value);
                            break;
                        case 1:
                            in[static_cast<size_t>(i)] = static_cast<std::uint8_t>(random());
                            break;
                        case 2:
                            in[static_cast<size_t>(i)] =
                                static_cast<std::uint8_t>((i / 7) % 2 ? value : 0x80 + i % 3);
                            break;
                        case 3:
                            in[static_cast<size_t>(i)] =
                                static_cast<std::uint8_t>(i % 600 < 300 ? value : i);
                            break;
                        case 4:
                            in[static_cast<size_t>(i)] =
                                static_cast<std::uint8_t>((i % 258 < 255) ? i : value);
                            break;
                        default:
                            in[static_cast<size_t>(i)] =
                                static_cast<std::uint8_t>(random() % 3 ? value : 0xFF);
                            break;
                    }
                }
                int p = PackTrack(in.data(), n, pack);
                ASSERT_LE(p, MaxPackedLength(n));
                Bytes out(static_cast<size_t>(n), 0x5A);
                ASSERT_TRUE(UnpackTrack(pack, p, out.data(), n)) << "n=" << n << " shape=" << shape;
                ASSERT_EQ(out, in);
                for (std::uint8_t method : {None, RunLength}) {
                    Bytes record = Encode(Track(3, 1, in), n, method);
                    MemorySource source(record);
                    TrackBuffer back{};
                    ASSERT_TRUE(DecodeTrackRecord(source, method, back, n, pack));
                    EXPECT_EQ(source.at, record.size());
                    EXPECT_EQ(back.cylinder, 3);
                    EXPECT_EQ(back.head, 1);
                    ASSERT_EQ(0, std::memcmp(back.data, in.data(), static_cast<size_t>(n)));
                }
            }
        }
    }
}

TEST(Records, FillOnlyUnderRunLength) {
    Bytes in(9216, 0xF6);
    EXPECT_EQ(Encode(Track(0, 0, in), 9216, RunLength), (Bytes{0x00, 0x00, 0x01, 0xF6}));
    Bytes raw = Encode(Track(0, 0, in), 9216, None);
    EXPECT_EQ(raw.size(), 9218u);
}

TEST(Records, PackedOnlyWhenStrictlyShorter) {
    // Packed length n - 2 stays raw, n - 3 packs. Grow a run at the start until P hits each.
    const int n = 512;
    std::uint8_t pack[kPackBufferBytes];
    bool sawRaw = false, sawPacked = false;
    for (int run = 3; run < 200; ++run) {
        Bytes in = NoTwoEqualNeighbours(n);
        for (int i = 0; i < run; ++i) in[static_cast<size_t>(i)] = 0xEE;
        int p = PackTrack(in.data(), n, pack);
        RecordInfo info;
        Encode(Track(0, 0, in), n, RunLength, &info);
        if (p == n - 2) {
            EXPECT_EQ(info.encoding, Raw);
            sawRaw = true;
        }
        if (p == n - 3) {
            EXPECT_EQ(info.encoding, Packed);
            sawPacked = true;
        }
    }
    EXPECT_TRUE(sawRaw);
    EXPECT_TRUE(sawPacked);
}

TEST(Records, AFailedWriteStopsTheRecord) {
    Bytes in(4608, 0);
    in[100] = 1;
    for (int failAt = 0; failAt < 4; ++failAt) {
        MemorySink sink;
        sink.failAfter = failAt;
        std::uint8_t pack[kPackBufferBytes];
        EXPECT_FALSE(EncodeTrackRecord(sink, RunLength, Track(0, 0, in), 4608, pack));
        EXPECT_EQ(sink.writes, failAt + 1);
    }
}

// Every malformed record fails, and the decoder never reads past the source or writes past
// the track side (AddressSanitizer watches the second).
struct Malformed {
    const char* name;
    Bytes record;
    RecordError error;
};

// Test names and messages show the case by name, not as the bytes of the struct.
void PrintTo(const Malformed& m, std::ostream* os) {
    *os << m.name;
}

class MalformedRecords : public ::testing::TestWithParam<Malformed> {};

TEST_P(MalformedRecords, FailWithTheirReason) {
    const int n = 4608;
    std::uint8_t pack[kPackBufferBytes];
    MemorySource source(GetParam().record);
    TrackBuffer track;
    std::memset(&track, 0xCC, sizeof track);
    RecordInfo info;
    EXPECT_FALSE(DecodeTrackRecord(source, RunLength, track, n, pack, &info));
    EXPECT_EQ(info.error, GetParam().error) << RecordErrorText(info.error);
    for (int i = n; i < kMaxTrackBytes; ++i) ASSERT_EQ(track.data[i], 0xCC);
}

Bytes PackedRecord(const Bytes& packed, int declared = -1) {
    // Sized once and filled in place: GCC 12 at -O3 misreads an insert into a short vector as
    // an out-of-bounds copy.
    Bytes r(5 + packed.size());
    r[2] = Packed;
    le::Put16(r.data() + 3, static_cast<std::uint16_t>(
                                declared < 0 ? packed.size() : static_cast<size_t>(declared)));
    std::copy(packed.begin(), packed.end(), r.begin() + 5);
    return r;
}

Bytes FullTrackPacked() {
    Bytes p;
    for (int i = 0; i < 18; ++i) p.insert(p.end(), {0, 0xFF, 0x11});
    p.insert(p.end(), {0, 0x12, 0x11});  // 18 x 255 + 18 = 4608
    return p;
}

INSTANTIATE_TEST_SUITE_P(
    Codec, MalformedRecords,
    ::testing::Values(
        Malformed{"EncodingThree", {0, 0, 3, 0xAA}, RecordError::BadEncoding},
        Malformed{"EncodingFF", {0, 0, 0xFF}, RecordError::BadEncoding},
        Malformed{"PackedLengthAboveBuffer", PackedRecord({}, kPackBufferBytes + 1),
                  RecordError::PackedTooLong},
        Malformed{"PackedLengthFFFF", PackedRecord({}, 0xFFFF), RecordError::PackedTooLong},
        Malformed{"PackedBytesMissing", PackedRecord({5, 1, 2}, 40), RecordError::ShortRead},
        Malformed{"ShortOfTrackSide", PackedRecord({0, 0xFF, 0x11}), RecordError::Malformed},
        Malformed{"RunPastTrackSide", PackedRecord([] {
                      Bytes p = FullTrackPacked();
                      p[p.size() - 2] = 0x13;
                      return p;
                  }()),
                  RecordError::Malformed},
        Malformed{"LiteralsPastTrackSide", PackedRecord([] {
                      Bytes p = FullTrackPacked();
                      p.resize(p.size() - 3);
                      p.push_back(0x13);
                      p.insert(p.end(), 0x13, 0x22);
                      return p;
                  }()),
                  RecordError::Malformed},
        Malformed{"LiteralCountPastPackedEnd", PackedRecord({200, 1, 2, 3}),
                  RecordError::Malformed},
        Malformed{"RunWithoutValue", PackedRecord({1, 0x42, 0x05}), RecordError::Malformed},
        Malformed{"RunOfLengthZero", PackedRecord([] {
                      // A full track side with an empty run slipped in before the last group.
                      Bytes p = FullTrackPacked();
                      p.insert(p.end() - 3, {0, 0x00, 0x77});
                      return p;
                  }()),
                  RecordError::Malformed},
        Malformed{"BytesLeftOver", PackedRecord([] {
                      Bytes p = FullTrackPacked();
                      p.push_back(0);
                      return p;
                  }()),
                  RecordError::Malformed},
        Malformed{"EmptyPacked", PackedRecord({}), RecordError::Malformed},
        Malformed{"TruncatedHead", {0}, RecordError::ShortRead},
        Malformed{"TruncatedFill", {0, 0, Fill}, RecordError::ShortRead},
        Malformed{"TruncatedRaw", {0, 0, Raw, 1, 2, 3}, RecordError::ShortRead}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Records, ExactPackedFormDecodes) {
    std::uint8_t pack[kPackBufferBytes];
    MemorySource source(PackedRecord(FullTrackPacked()));
    TrackBuffer track{};
    ASSERT_TRUE(DecodeTrackRecord(source, RunLength, track, 4608, pack));
    for (int i = 0; i < 4608; ++i) ASSERT_EQ(track.data[i], 0x11);
}

// The packer written exactly as the format defines it, one position at a time; the packer in
// the engine must produce the same bytes for every input.
Bytes ReferencePack(const Bytes& d) {
    const int n = static_cast<int>(d.size());
    Bytes out;
    int p = 0, s = 0, c = 0;
    auto at = [&d](int i) { return d[static_cast<size_t>(i)]; };
    while (p < n) {
        if (c != 255 && !(p + 2 < n && at(p) == at(p + 1) && at(p) == at(p + 2))) {
            ++c;
            ++p;
            continue;
        }
        out.push_back(static_cast<std::uint8_t>(c));
        out.insert(out.end(), d.begin() + s, d.begin() + s + c);
        std::uint8_t v = at(p);
        int runLength = 1;
        ++p;
        while (runLength < 255 && p < n && at(p) == v) {
            ++runLength;
            ++p;
        }
        out.push_back(static_cast<std::uint8_t>(runLength));
        out.push_back(v);
        s = p;
        c = 0;
    }
    if (c > 0) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.insert(out.end(), d.begin() + s, d.begin() + s + c);
    }
    return out;
}

// Packs from the end of an exactly sized heap block, so that AddressSanitizer sees any read
// past the last data byte, and into an exactly sized output block for the same reason.
void ExpectSameAsReference(const Bytes& in, const char* what) {
    const int n = static_cast<int>(in.size());
    std::vector<std::uint8_t> data(in);
    Bytes expected = ReferencePack(in);
    std::vector<std::uint8_t> out(static_cast<size_t>(n + 2 * (n / 256) + 1));
    int p = PackTrack(data.data(), n, out.data());
    ASSERT_EQ(p, static_cast<int>(expected.size())) << what << " n=" << n;
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), out.begin())) << what << " n=" << n;
    ASSERT_LE(p, MaxPackedLength(n)) << what;

    std::vector<std::uint8_t> packed(expected);
    std::vector<std::uint8_t> back(static_cast<size_t>(n));
    ASSERT_TRUE(UnpackTrack(packed.data(), p, back.data(), n)) << what << " n=" << n;
    ASSERT_EQ(back, in) << what;
}

TEST(PackTrack, MatchesTheReferenceOnStructuredInputs) {
    std::mt19937 random(11);
    // Lengths around every block and group boundary the packer might treat apart.
    std::vector<int> lengths;
    for (int n = 0; n <= 70; ++n) lengths.push_back(n);
    for (int base : {252, 256, 510, 512, 768, 4608, 7680, 9216})
        for (int d = -20; d <= 20; ++d) lengths.push_back(base + d);
    for (int n : lengths) {
        if (n < 0) continue;
        // Runs of every length 1..300 at every offset modulo 16, on literal backgrounds.
        for (int run : {1, 2, 3, 4, 15, 16, 17, 18, 31, 32, 33, 254, 255, 256, 257, 258, 300}) {
            for (int offset : {0, 1, 2, 13, 14, 15, 16, 17, 253, 254, 255, 256}) {
                if (offset >= n && n > 0) continue;
                Bytes in = NoTwoEqualNeighbours(n);
                for (int i = offset; i < offset + run && i < n; ++i)
                    in[static_cast<size_t>(i)] = 0xA5;
                ExpectSameAsReference(in, "run on literals");
            }
        }
        // Few distinct values, so that pairs and triples turn up everywhere.
        for (int values : {1, 2, 3, 4}) {
            Bytes in(static_cast<size_t>(n));
            for (auto& b : in)
                b = static_cast<std::uint8_t>(random() % static_cast<unsigned>(values) * 0x55);
            ExpectSameAsReference(in, "few values");
        }
        // Stretches of literals ending just before, on or after the 255th byte of a group.
        for (int stretch : {253, 254, 255, 256, 257}) {
            Bytes in = NoTwoEqualNeighbours(n);
            for (int i = stretch; i < n; ++i) in[static_cast<size_t>(i)] = 0x00;
            ExpectSameAsReference(in, "stretch then zeros");
            for (int i = stretch; i + 1 < n; i += 2) in[static_cast<size_t>(i + 1)] = 0x00;
            ExpectSameAsReference(in, "stretch then pairs");
        }
    }
}

TEST(PackTrack, MatchesTheReferenceOnRandomInputs) {
    std::mt19937 random(12);
    for (int round = 0; round < 4000; ++round) {
        int n =
            round % 3 == 0 ? static_cast<int>(random() % 9217) : static_cast<int>(random() % 700);
        Bytes in(static_cast<size_t>(n));
        // Alternating stretches of noise, runs and pairs, with random lengths.
        int i = 0;
        while (i < n) {
            int len = 1 + static_cast<int>(random() % (random() % 2 ? 8 : 400));
            int kind = static_cast<int>(random() % 4);
            std::uint8_t v = static_cast<std::uint8_t>(random());
            for (int j = 0; j < len && i < n; ++j, ++i) {
                switch (kind) {
                    case 0:
                        in[static_cast<size_t>(i)] = static_cast<std::uint8_t>(random());
                        break;
                    case 1:
                        in[static_cast<size_t>(i)] = v;
                        break;
                    case 2:
                        in[static_cast<size_t>(i)] = static_cast<std::uint8_t>(v + j / 2);
                        break;
                    default:
                        in[static_cast<size_t>(i)] =
                            static_cast<std::uint8_t>(random() % 2 ? v : 0);
                        break;
                }
            }
        }
        ExpectSameAsReference(in, "random");
    }
}

TEST(UnpackTrack, ShortGroupsNearBothEnds) {
    // Groups of every length at the very end of the packed bytes and of the track side, where
    // a fixed-size block move would not fit.
    for (int n = 1; n <= 48; ++n) {
        for (int tail = 0; tail < n; ++tail) {
            Bytes in(static_cast<size_t>(n), 0x77);
            for (int i = n - tail; i < n; ++i)
                in[static_cast<size_t>(i)] = static_cast<std::uint8_t>(i * 3 + 1);
            ExpectSameAsReference(in, "tail");
        }
    }
}

TEST(UnpackTrack, RejectsEveryTruncationAndExtension) {
    std::mt19937 random(13);
    for (int round = 0; round < 300; ++round) {
        int n = 1 + static_cast<int>(random() % 600);
        Bytes in(static_cast<size_t>(n));
        for (auto& b : in) b = static_cast<std::uint8_t>(random() % 3 ? 0 : random());
        Bytes packed = ReferencePack(in);
        for (size_t cut = 0; cut < packed.size(); ++cut) {
            std::vector<std::uint8_t> shorter(packed.begin(),
                                              packed.begin() + static_cast<long>(cut));
            std::vector<std::uint8_t> out(static_cast<size_t>(n));
            EXPECT_FALSE(UnpackTrack(shorter.data(), static_cast<int>(cut), out.data(), n));
        }
        std::vector<std::uint8_t> longer(packed);
        longer.push_back(0);
        std::vector<std::uint8_t> out(static_cast<size_t>(n));
        EXPECT_FALSE(UnpackTrack(longer.data(), static_cast<int>(longer.size()), out.data(), n));
        std::vector<std::uint8_t> fewer(static_cast<size_t>(n - 1 > 0 ? n - 1 : 1));
        EXPECT_FALSE(
            UnpackTrack(packed.data(), static_cast<int>(packed.size()), fewer.data(), n - 1));
    }
}

}  // namespace
