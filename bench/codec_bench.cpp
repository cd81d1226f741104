// The codec on every track side of real diskette images: packing, unpacking, and the record
// encoder and decoder against memory, so that only the codec's own cost is measured.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_images.h"
#include "engine/track_codec.h"

namespace {

struct Sides {
    int trackBytes = 0;
    std::vector<TrackBuffer> tracks;
};

Sides SidesOf(const ImageLayout& layout, ImageContent content) {
    Sides s;
    s.trackBytes = layout.sectorsPerTrack * kSectorBytes;
    const std::vector<std::uint8_t>& image = BenchImage(layout, content);
    size_t count = image.size() / static_cast<size_t>(s.trackBytes);
    s.tracks.resize(count);
    for (size_t k = 0; k < count; ++k) {
        TrackBuffer& t = s.tracks[k];
        std::memset(&t, 0, sizeof t);
        t.cylinder = static_cast<std::uint8_t>(k / 2);
        t.head = static_cast<std::uint8_t>(k % 2);
        std::memcpy(t.data, image.data() + k * static_cast<size_t>(s.trackBytes),
                    static_cast<size_t>(s.trackBytes));
    }
    return s;
}

// Records land in one buffer sized for the whole image under the worst encoding.
class ArraySink final : public ByteSink {
  public:
    explicit ArraySink(size_t capacity) : bytes(capacity) {}
    int Write(const void* data, std::uint32_t count) override {
        if (count > bytes.size() - used) return 0;
        std::memcpy(bytes.data() + used, data, count);
        used += count;
        return 1;
    }
    std::vector<std::uint8_t> bytes;
    size_t used = 0;
};

class ArraySource final : public ByteSource {
  public:
    ArraySource(const std::uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    int Read(void* data, std::uint32_t count) override {
        if (count > m_size - at) return 0;
        std::memcpy(data, m_data + at, count);
        at += count;
        return 1;
    }
    size_t at = 0;

  private:
    const std::uint8_t* m_data;
    size_t m_size;
};

void SetBytes(benchmark::State& state, const Sides& s) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(s.tracks.size()) * s.trackBytes);
    state.counters["sides"] = static_cast<double>(s.tracks.size());
}

void BM_Pack(benchmark::State& state, const ImageLayout* layout, ImageContent content) {
    Sides s = SidesOf(*layout, content);
    if (s.tracks.empty()) return state.SkipWithError("no image");
    static std::uint8_t out[kPackBufferBytes];
    long long packedTotal = 0;
    for (auto _ : state) {
        packedTotal = 0;
        for (const TrackBuffer& t : s.tracks) {
            packedTotal += PackTrack(t.data, s.trackBytes, out);
            benchmark::DoNotOptimize(out);
        }
    }
    SetBytes(state, s);
    state.counters["ratio"] =
        static_cast<double>(packedTotal) / (static_cast<double>(s.tracks.size()) * s.trackBytes);
}

void BM_Unpack(benchmark::State& state, const ImageLayout* layout, ImageContent content) {
    Sides s = SidesOf(*layout, content);
    if (s.tracks.empty()) return state.SkipWithError("no image");
    std::vector<std::vector<std::uint8_t>> packed;
    for (const TrackBuffer& t : s.tracks) {
        std::vector<std::uint8_t> p(kPackBufferBytes);
        p.resize(static_cast<size_t>(PackTrack(t.data, s.trackBytes, p.data())));
        packed.push_back(std::move(p));
    }
    static TrackBuffer out;
    for (auto _ : state) {
        for (const auto& p : packed) {
            if (!UnpackTrack(p.data(), static_cast<int>(p.size()), out.data, s.trackBytes))
                return state.SkipWithError("unpack failed");
            benchmark::DoNotOptimize(out);
        }
    }
    SetBytes(state, s);
}

void BM_Encode(benchmark::State& state, const ImageLayout* layout, ImageContent content) {
    Sides s = SidesOf(*layout, content);
    if (s.tracks.empty()) return state.SkipWithError("no image");
    ArraySink sink(s.tracks.size() * static_cast<size_t>(s.trackBytes + 8));
    static std::uint8_t pack[kPackBufferBytes];
    for (auto _ : state) {
        sink.used = 0;
        for (const TrackBuffer& t : s.tracks)
            if (!EncodeTrackRecord(sink, RunLength, t, s.trackBytes, pack))
                return state.SkipWithError("encode failed");
        benchmark::DoNotOptimize(sink.bytes.data());
    }
    SetBytes(state, s);
    state.counters["ratio"] =
        static_cast<double>(sink.used) / (static_cast<double>(s.tracks.size()) * s.trackBytes);
}

void BM_Decode(benchmark::State& state, const ImageLayout* layout, ImageContent content) {
    Sides s = SidesOf(*layout, content);
    if (s.tracks.empty()) return state.SkipWithError("no image");
    ArraySink sink(s.tracks.size() * static_cast<size_t>(s.trackBytes + 8));
    static std::uint8_t pack[kPackBufferBytes];
    for (const TrackBuffer& t : s.tracks) EncodeTrackRecord(sink, RunLength, t, s.trackBytes, pack);
    static TrackBuffer out;
    for (auto _ : state) {
        ArraySource source(sink.bytes.data(), sink.used);
        for (size_t k = 0; k < s.tracks.size(); ++k)
            if (!DecodeTrackRecord(source, RunLength, out, s.trackBytes, pack))
                return state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out);
    }
    SetBytes(state, s);
}

const bool registered = [] {
    using Fn = void (*)(benchmark::State&, const ImageLayout*, ImageContent);
    const std::pair<const char*, Fn> kinds[] = {
        {"Pack", BM_Pack}, {"Unpack", BM_Unpack}, {"Encode", BM_Encode}, {"Decode", BM_Decode}};
    for (const auto& [kind, fn] : kinds)
        for (const ImageLayout& layout : kImageLayouts)
            for (ImageContent content : kImageContents) {
                std::string name = std::string(kind) + "/" +
                                   std::to_string(layout.sectorsPerTrack * kSectorBytes) + "/" +
                                   ImageContentName(content);
                benchmark::RegisterBenchmark(name.c_str(), fn, &layout, content);
            }
    return true;
}();

}  // namespace
