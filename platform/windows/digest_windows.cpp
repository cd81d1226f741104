#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include "platform/digest.h"

namespace platform {
namespace {

LPCWSTR Algorithm(DigestKind kind) {
    switch (kind) {
        case DigestKind::Md5:
            return BCRYPT_MD5_ALGORITHM;
        case DigestKind::Sha1:
            return BCRYPT_SHA1_ALGORITHM;
        default:
            return BCRYPT_SHA256_ALGORITHM;
    }
}

}  // namespace

Digest::~Digest() {
    Reset();
}

void Digest::Reset() {
    if (m_context) BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(m_context));
    if (m_provider) BCryptCloseAlgorithmProvider(static_cast<BCRYPT_ALG_HANDLE>(m_provider), 0);
    m_context = nullptr;
    m_provider = nullptr;
}

bool Digest::Start(DigestKind kind) {
    Reset();
    BCRYPT_ALG_HANDLE provider = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&provider, Algorithm(kind), nullptr, 0)))
        return false;
    m_provider = provider;
    // The provider keeps the hash object's memory itself (Windows 7 and later).
    if (!BCRYPT_SUCCESS(BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0))) {
        Reset();
        return false;
    }
    m_context = hash;
    return true;
}

bool Digest::Update(const void* data, std::size_t count) {
    if (!m_context) return false;
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (count > 0) {
        ULONG piece = count > 0x40000000 ? 0x40000000 : static_cast<ULONG>(count);
        if (!BCRYPT_SUCCESS(
                BCryptHashData(static_cast<BCRYPT_HASH_HANDLE>(m_context), bytes, piece, 0)))
            return false;
        bytes += piece;
        count -= piece;
    }
    return true;
}

std::size_t Digest::Finish(unsigned char* out) {
    DWORD length = 0;
    ULONG got = 0;
    bool ok = m_context &&
              BCRYPT_SUCCESS(
                  BCryptGetProperty(static_cast<BCRYPT_HASH_HANDLE>(m_context), BCRYPT_HASH_LENGTH,
                                    reinterpret_cast<PUCHAR>(&length), sizeof length, &got, 0)) &&
              length <= kMaxDigestBytes &&
              BCRYPT_SUCCESS(
                  BCryptFinishHash(static_cast<BCRYPT_HASH_HANDLE>(m_context), out, length, 0));
    Reset();
    return ok ? length : 0;
}

}  // namespace platform
