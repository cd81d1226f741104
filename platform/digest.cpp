// libgcrypt rather than libcrypto: libsystemd, which the platform needs for the system bus,
// already brings libgcrypt into every process, so the digests add nothing to the start of a
// command; libcrypto cost about a millisecond there, paid by commands that hash nothing.
#include "platform/digest.h"

#include <gcrypt.h>

#include <cstring>
#include <mutex>

namespace platform {
namespace {

int Algorithm(DigestKind kind) {
    switch (kind) {
        case DigestKind::Md5:
            return GCRY_MD_MD5;
        case DigestKind::Sha1:
            return GCRY_MD_SHA1;
        default:
            return GCRY_MD_SHA256;
    }
}

// libgcrypt wants its version checked before its first use, and that check is not safe to
// run on two threads at once.
bool LibraryReady() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = gcry_check_version(GCRYPT_VERSION) != nullptr; });
    return ready;
}

gcry_md_hd_t Handle(void* context) {
    return static_cast<gcry_md_hd_t>(context);
}

}  // namespace

Digest::~Digest() {
    Reset();
}

void Digest::Reset() {
    if (m_context) gcry_md_close(Handle(m_context));
    m_context = nullptr;
    m_provider = nullptr;
}

bool Digest::Start(DigestKind kind) {
    Reset();
    gcry_md_hd_t handle = nullptr;
    if (!LibraryReady() || gcry_md_open(&handle, Algorithm(kind), 0) != 0) return false;
    m_context = handle;
    return true;
}

bool Digest::Update(const void* data, std::size_t count) {
    if (!m_context) return false;
    gcry_md_write(Handle(m_context), data, count);
    return true;
}

std::size_t Digest::Finish(unsigned char* out) {
    if (!m_context) return 0;
    int algorithm = gcry_md_get_algo(Handle(m_context));
    std::size_t length = gcry_md_get_algo_dlen(algorithm);
    const unsigned char* result = gcry_md_read(Handle(m_context), algorithm);
    bool ok = result && length > 0 && length <= kMaxDigestBytes;
    if (ok) std::memcpy(out, result, length);
    Reset();
    return ok ? length : 0;
}

}  // namespace platform
