// Digests through CryptoAPI (advapi32). The AES provider is the one whose
// hashes include SHA-256 on every Windows the program runs on (XP SP3 on);
// a verify-only context needs no key container.
// CALG_SHA_256 came with XP SP3: the headers declare it from that version on.
#define NTDDI_VERSION 0x05010300  // NTDDI_WINXPSP3
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <string>

#include "platform/digest.h"
#include "platform/platform.h"

namespace platform {

struct Digest::Handle {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle()
    {
        if (hash)
            CryptDestroyHash(hash);
        if (provider)
            CryptReleaseContext(provider, 0);
    }
};

namespace {

ALG_ID algorithm_of(DigestKind kind)
{
    switch (kind) {
    case DigestKind::md5: return CALG_MD5;
    case DigestKind::sha1: return CALG_SHA1;
    case DigestKind::sha256: return CALG_SHA_256;
    }
    return 0;
}

std::string system_failure(const char* what)
{
    return std::string("CryptoAPI: ") + what + ": " + last_error_text();
}

// CryptHashData takes a 32-bit count; larger pieces go in parts.
constexpr size_t max_piece = 1u << 30;

}  // namespace

Digest::Digest(DigestKind kind) : kind_(kind), handle_(std::make_unique<Handle>())
{
    if (!CryptAcquireContextA(&handle_->provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        handle_->provider = 0;
        failure_ = system_failure("no AES provider");
    } else if (!CryptCreateHash(handle_->provider, algorithm_of(kind), 0, 0, &handle_->hash)) {
        handle_->hash = 0;
        failure_ = system_failure("the digest cannot start");
    }
}

Digest::Digest(Digest&& other) noexcept = default;
Digest& Digest::operator=(Digest&& other) noexcept = default;
Digest::~Digest() = default;

void Digest::update(const uint8_t* p, size_t n)
{
    while (valid() && n > 0) {
        const size_t piece = std::min(n, max_piece);
        if (!CryptHashData(handle_->hash, p, DWORD(piece), 0))
            failure_ = system_failure("the digest took no data");
        p += piece;
        n -= piece;
    }
}

bool Digest::finish(uint8_t* out)
{
    if (!valid())
        return false;
    BYTE digest[max_digest_size];
    DWORD length = sizeof digest;
    if (!CryptGetHashParam(handle_->hash, HP_HASHVAL, digest, &length, 0) || length != digest_size(kind_)) {
        failure_ = system_failure("the digest cannot finish");
        return false;
    }
    std::copy(digest, digest + length, out);
    return true;
}

}  // namespace platform
