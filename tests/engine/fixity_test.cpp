// The fixity hashes against the system's own md5sum, sha1sum and sha256sum, on a whole
// diskette's worth of bytes fed in uneven pieces and on nothing at all, from two threads at once
// as two jobs would.
#include "engine/fixity.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>

#include "tests/support/temp_dir.h"

namespace {

// What the system's tool (md5sum, sha1sum, sha256sum) says of the file.
std::string SumOf(const TempDir& dir, FixityAlgorithm algorithm, const std::string& file) {
    const std::string out = dir / "sum.txt";
    EXPECT_EQ(Shell(std::string(FixityName(algorithm)) + "sum '" + file + "' > '" + out + "'"), 0);
    std::string line = ReadFileBytes(out);
    return line.substr(0, line.find(' '));
}

// All three hashes of bytes, fed in pieces of 1, 7, 9216, 511, ... bytes.
void HashInPieces(const std::string& bytes, FixityHash& hash) {
    const std::size_t pieces[] = {1, 7, 9216, 511};
    ASSERT_TRUE(hash.Start(kFixityAll));
    for (std::size_t at = 0, i = 0; at < bytes.size(); ++i) {
        std::size_t count = std::min(pieces[i % 4], bytes.size() - at);
        ASSERT_TRUE(hash.Update(bytes.data() + at, count));
        at += count;
    }
    ASSERT_TRUE(hash.Finish());
}

TEST(Fixity, HashesAsTheSystemsToolsDoInPiecesOnTwoThreads) {
    TempDir dir;
    std::string diskette(1474560, '\0');
    std::mt19937 random(1440);
    for (char& byte : diskette) byte = static_cast<char>(random());
    WriteFileBytes(dir / "diskette", diskette);
    WriteFileBytes(dir / "empty", "");

    FixityHash hashes[2], empty;
    std::thread other([&] { HashInPieces(diskette, hashes[1]); });
    HashInPieces(diskette, hashes[0]);
    other.join();
    HashInPieces("", empty);
    for (FixityAlgorithm algorithm : {FixityMd5, FixitySha1, FixitySha256}) {
        SCOPED_TRACE(FixityName(algorithm));
        std::string sum = SumOf(dir, algorithm, dir / "diskette");
        EXPECT_EQ(hashes[0].Hex(algorithm), sum);
        EXPECT_EQ(hashes[1].Hex(algorithm), sum);
        EXPECT_EQ(empty.Hex(algorithm), SumOf(dir, algorithm, dir / "empty"));
    }
}

TEST(Fixity, AHashNotStartedOrAlreadyFinishedTakesNoMoreBytes) {
    FixityHash hash;
    ASSERT_TRUE(hash.Start(FixitySha256));
    ASSERT_TRUE(hash.Finish());
    EXPECT_EQ(hash.Hex(FixitySha256).size(), 64u);
    EXPECT_EQ(hash.Hex(FixityMd5), "");
    platform::Digest digest;
    unsigned char out[platform::kMaxDigestBytes];
    EXPECT_FALSE(digest.Update("x", 1));
    EXPECT_EQ(digest.Finish(out), 0u);
}

}  // namespace
