#include "platform/digest.h"

#include <openssl/evp.h>

namespace platform {
namespace {

EVP_MD_CTX* Context(void* context) {
    return static_cast<EVP_MD_CTX*>(context);
}

const EVP_MD* Algorithm(DigestKind kind) {
    switch (kind) {
        case DigestKind::Md5:
            return EVP_md5();
        case DigestKind::Sha1:
            return EVP_sha1();
        default:
            return EVP_sha256();
    }
}

}  // namespace

Digest::~Digest() {
    Reset();
}

void Digest::Reset() {
    EVP_MD_CTX_free(Context(m_context));
    m_context = nullptr;
    m_provider = nullptr;
}

bool Digest::Start(DigestKind kind) {
    Reset();
    const EVP_MD* algorithm = Algorithm(kind);
    m_provider = const_cast<EVP_MD*>(algorithm);
    m_context = EVP_MD_CTX_new();
    if (m_context && EVP_DigestInit_ex(Context(m_context), algorithm, nullptr)) return true;
    Reset();
    return false;
}

bool Digest::Update(const void* data, std::size_t count) {
    return m_context && EVP_DigestUpdate(Context(m_context), data, count);
}

std::size_t Digest::Finish(unsigned char* out) {
    unsigned int length = 0;
    bool ok = m_context && EVP_DigestFinal_ex(Context(m_context), out, &length);
    Reset();
    return ok ? length : 0;
}

}  // namespace platform
