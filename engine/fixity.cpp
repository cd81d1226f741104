#include "engine/fixity.h"

#include <cerrno>

#include "platform/digest.h"
#include "platform/last_error.h"

namespace {

constexpr FixityAlgorithm kAlgorithms[3] = {FixityMd5, FixitySha1, FixitySha256};

platform::DigestKind Kind(FixityAlgorithm algorithm) {
    return algorithm == FixityMd5    ? platform::DigestKind::Md5
           : algorithm == FixitySha1 ? platform::DigestKind::Sha1
                                     : platform::DigestKind::Sha256;
}

const std::string kNone;

}  // namespace

const char* FixityName(FixityAlgorithm algorithm) {
    switch (algorithm) {
        case FixityMd5:
            return "md5";
        case FixitySha1:
            return "sha1";
        default:
            return "sha256";
    }
}

unsigned ParseFixityList(const std::string& list) {
    unsigned set = 0;
    size_t at = 0;
    while (at <= list.size()) {
        size_t comma = list.find(',', at);
        if (comma == std::string::npos) comma = list.size();
        std::string name = list.substr(at, comma - at);
        unsigned found = 0;
        for (FixityAlgorithm algorithm : kAlgorithms)
            if (name == FixityName(algorithm)) found = algorithm;
        if (!found) return 0;
        set |= found;
        at = comma + 1;
    }
    return set;
}

FixityHash::~FixityHash() {
    Free();
}

int FixityHash::Slot(FixityAlgorithm algorithm) {
    return algorithm == FixityMd5 ? 0 : algorithm == FixitySha1 ? 1 : 2;
}

void FixityHash::Free() {
    for (platform::Digest& digest : m_digests) digest.Reset();
}

BOOL FixityHash::Start(unsigned algorithms) {
    Free();
    m_algorithms = algorithms;
    m_failed = false;
    for (FixityAlgorithm algorithm : kAlgorithms) {
        int slot = Slot(algorithm);
        m_hex[slot].clear();
        if (!(algorithms & algorithm)) continue;
        if (!m_digests[slot].Start(Kind(algorithm))) {
            m_failed = true;
            SetLastError(ENOMEM);
            return FALSE;
        }
    }
    return TRUE;
}

BOOL FixityHash::Update(const void* data, std::size_t count) {
    for (platform::Digest& digest : m_digests)
        if (digest.Running() && !digest.Update(data, count)) m_failed = true;
    return m_failed ? FALSE : TRUE;
}

BOOL FixityHash::Finish() {
    static const char kDigits[] = "0123456789abcdef";
    for (FixityAlgorithm algorithm : kAlgorithms) {
        int slot = Slot(algorithm);
        if (!m_digests[slot].Running()) continue;
        unsigned char digest[platform::kMaxDigestBytes];
        std::size_t length = m_failed ? 0 : m_digests[slot].Finish(digest);
        if (length == 0) {
            m_failed = true;
            continue;
        }
        std::string& hex = m_hex[slot];
        for (std::size_t i = 0; i < length; ++i) {
            hex += kDigits[digest[i] >> 4];
            hex += kDigits[digest[i] & 15];
        }
    }
    Free();
    if (!m_failed) return TRUE;
    for (std::string& hex : m_hex) hex.clear();
    SetLastError(EIO);
    return FALSE;
}

const std::string& FixityHash::Hex(FixityAlgorithm algorithm) const {
    return (m_algorithms & algorithm) ? m_hex[Slot(algorithm)] : kNone;
}
