// Fixity hashes of what a job reads and writes, fed a piece at a time as the track sides pass,
// so that no file has to be read again to learn them.
#pragma once

#include <cstddef>
#include <string>

#include "platform/digest.h"
#include "platform/win_types.h"

enum FixityAlgorithm : unsigned {
    FixityMd5 = 1,
    FixitySha1 = 2,
    FixitySha256 = 4,
};
constexpr unsigned kFixityAll = FixityMd5 | FixitySha1 | FixitySha256;

// "md5", "sha1" or "sha256".
const char* FixityName(FixityAlgorithm algorithm);
// A comma-separated list of the names above into a set; 0 when a name is unknown or none given.
unsigned ParseFixityList(const std::string& list);

// One digest per chosen algorithm, all fed the same bytes.
class FixityHash {
  public:
    FixityHash() = default;
    ~FixityHash();
    FixityHash(const FixityHash&) = delete;
    FixityHash& operator=(const FixityHash&) = delete;

    // Starts afresh with the algorithms given (none: hashes nothing). 0 when the digest library
    // refuses.
    BOOL Start(unsigned algorithms);
    BOOL Update(const void* data, std::size_t count);
    // Ends the digests; Hex then returns them. 0 when the digest library refuses.
    BOOL Finish();
    unsigned algorithms() const { return m_algorithms; }
    // The finished digest in lower-case hexadecimal, "" when not chosen or not finished.
    const std::string& Hex(FixityAlgorithm algorithm) const;

  private:
    static int Slot(FixityAlgorithm algorithm);
    void Free();

    unsigned m_algorithms = 0;
    platform::Digest m_digests[3];
    std::string m_hex[3];
    bool m_failed = false;
};
