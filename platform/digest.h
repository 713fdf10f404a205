// Message digests from the system's crypto library: OpenSSL's libcrypto
// (EVP) on POSIX, CryptoAPI's AES provider (advapi32) on Windows, which has
// MD5, SHA-1 and SHA-256 from Windows XP SP3 on. One implementation per
// platform lives in platform/posix/digest.cpp and platform/win32/digest.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

enum class DigestKind : uint8_t { md5, sha1, sha256 };

inline constexpr size_t max_digest_size = 32;

constexpr size_t digest_size(DigestKind kind)
{
    switch (kind) {
    case DigestKind::md5: return 16;
    case DigestKind::sha1: return 20;
    case DigestKind::sha256: return 32;
    }
    return 0;
}

// One running digest: fed in any pieces, finished once. The library's handle
// is held for the object's life and released with it. A Digest is used by
// one thread at a time; different Digests may run in different threads.
class Digest {
public:
    explicit Digest(DigestKind kind);
    Digest(Digest&& other) noexcept;
    Digest& operator=(Digest&& other) noexcept;
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;
    ~Digest();

    DigestKind kind() const { return kind_; }
    // False when the library could not start the digest, took no data or
    // could not finish it; failure() then says why, and the digest is spoilt.
    bool valid() const { return handle_ && failure_.empty(); }
    const std::string& failure() const { return failure_; }

    void update(const uint8_t* p, size_t n);
    // Writes digest_size(kind()) bytes; false (nothing written) when the
    // digest is spoilt. The digest is spent afterwards.
    [[nodiscard]] bool finish(uint8_t* out);

private:
    struct Handle;  // the library's state, defined by each implementation
    DigestKind kind_;
    std::unique_ptr<Handle> handle_;
    std::string failure_;
};

}  // namespace platform
