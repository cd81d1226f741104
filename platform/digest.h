// One running message digest (MD5, SHA-1 or SHA-256), fed a piece at a time. On Linux the
// digests come from libgcrypt, on Windows from the system's own CNG provider.
#pragma once

#include <cstddef>

namespace platform {

enum class DigestKind { Md5, Sha1, Sha256 };

constexpr std::size_t kMaxDigestBytes = 32;

class Digest {
  public:
    Digest() = default;
    ~Digest();
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    // Starts afresh; false when the library refuses.
    bool Start(DigestKind kind);
    bool Update(const void* data, std::size_t count);
    // Ends the digest into out (kMaxDigestBytes at least): its length, 0 when it failed.
    std::size_t Finish(unsigned char* out);
    bool Running() const { return m_context != nullptr; }
    void Reset();

  private:
    void* m_context = nullptr;
    void* m_provider = nullptr;  // the CNG provider on Windows; unused on Linux
};

}  // namespace platform
