// Hand-made FAT12 diskettes (1.44 MB) with what mkfs.fat and mtools never write: names with
// control characters or half a UTF-16 pair, entries DOS lists but The Sleuth Kit refuses, and
// folders whose entries all claim one long chain of clusters.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class HostileFat {
  public:
    static constexpr long long kBytes = 1474560;
    static constexpr long long kRoot = 19 * 512;
    static constexpr long long kData = 33 * 512;
    static constexpr int kLastCluster = 2848;

    HostileFat() : m_image(kBytes, '\0') {
        const unsigned char boot[] = {0xEB, 0x3C, 0x90, 'M', 'S', 'D', 'O', 'S', '5', '.',
                                      '0',  0x00, 0x02, 1,   1,   0,   2,   224, 0,   0x40,
                                      0x0B, 0xF0, 9,    0,   18,  0,   2,   0};
        m_image.replace(0, sizeof boot, reinterpret_cast<const char*>(boot), sizeof boot);
        m_image[510] = 0x55;
        m_image[511] = static_cast<char>(0xAA);
        SetFat(0, 0xFF0);
        SetFat(1, 0xFFF);
    }

    static long long Cluster(int cluster) { return kData + (cluster - 2) * 512LL; }

    void SetFat(int cluster, int value) {
        for (long long fat : {512LL, 10 * 512LL}) {
            auto* at = reinterpret_cast<unsigned char*>(&m_image[fat + cluster * 3 / 2]);
            if (cluster & 1) {
                at[0] = static_cast<unsigned char>((at[0] & 0x0F) | ((value << 4) & 0xF0));
                at[1] = static_cast<unsigned char>(value >> 4);
            } else {
                at[0] = static_cast<unsigned char>(value);
                at[1] = static_cast<unsigned char>((at[1] & 0xF0) | ((value >> 8) & 0x0F));
            }
        }
    }
    // Clusters first..last linked one after the other, the last ending the chain.
    void Chain(int first, int last) {
        for (int c = first; c < last; ++c) SetFat(c, c + 1);
        SetFat(last, 0xFFF);
    }
    void Write(long long at, const std::string& bytes) { m_image.replace(at, bytes.size(), bytes); }

    // A short entry: 11 name bytes as they are, the attribute, first cluster and size.
    static std::string Entry(const std::string& name11, int attributes, int cluster,
                             unsigned size) {
        std::string e(32, '\0');
        e.replace(0, 11, name11.substr(0, 11));
        e[11] = static_cast<char>(attributes);
        const unsigned char date[] = {0x00, 0x60, 0x21, 0x28};  // 2000-01-01 12:00
        for (int i = 0; i < 4; ++i) e[22 + i] = static_cast<char>(date[i]);
        e[26] = static_cast<char>(cluster & 0xFF);
        e[27] = static_cast<char>(cluster >> 8);
        for (int i = 0; i < 4; ++i) e[28 + i] = static_cast<char>(size >> (8 * i));
        return e;
    }
    // The long name's parts for a short entry, in the order they lie before it.
    static std::string LongParts(std::vector<std::uint16_t> units, const std::string& name11) {
        unsigned char sum = 0;
        for (unsigned char c : name11.substr(0, 11))
            sum = static_cast<unsigned char>(((sum & 1) << 7) + (sum >> 1) + c);
        if (units.size() % 13) {
            units.push_back(0);
            while (units.size() % 13) units.push_back(0xFFFF);
        }
        const size_t parts = units.size() / 13;
        std::string out;
        for (size_t p = parts; p-- > 0;) {
            std::string e(32, '\0');
            e[0] = static_cast<char>((p + 1) | (p + 1 == parts ? 0x40 : 0));
            e[11] = 0x0F;
            e[13] = static_cast<char>(sum);
            const int at[] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
            for (int k = 0; k < 13; ++k) {
                e[at[k]] = static_cast<char>(units[p * 13 + k] & 0xFF);
                e[at[k] + 1] = static_cast<char>(units[p * 13 + k] >> 8);
            }
            out += e;
        }
        return out;
    }

    const std::string& bytes() const { return m_image; }

  private:
    std::string m_image;
};

// Units of a long name from ASCII text.
inline std::vector<std::uint16_t> Units(const std::string& text) {
    return std::vector<std::uint16_t>(text.begin(), text.end());
}

// A folder BIG of entries (as many as its clusters hold, up to count) that each claim the whole
// chain BIG lies in, from cluster 2 to the last: listed naively, every one hashes the diskette.
// With distinct set, entry i starts at cluster 2 + i instead, each a chain of its own length.
inline HostileFat OneChainFolder(int count, bool distinct = false) {
    HostileFat fat;
    fat.Chain(2, HostileFat::kLastCluster);
    const unsigned whole = (HostileFat::kLastCluster - 1) * 512U;
    fat.Write(HostileFat::kRoot, HostileFat::Entry("BIG        ", 0x10, 2, 0));
    const int room = distinct ? HostileFat::kLastCluster - 1 : (HostileFat::kLastCluster - 1) * 16;
    for (int i = 0; i < count && i < room; ++i) {
        // Five digits: room is under 100,000 entries.
        char name[24];
        std::snprintf(name, sizeof name, "F%05d  BIN", i % 100000);
        const int first = distinct ? 2 + i : 2;
        fat.Write(HostileFat::Cluster(2) + 32LL * i,
                  HostileFat::Entry(name, 0x20, first, whole - (first - 2) * 512U));
    }
    return fat;
}
