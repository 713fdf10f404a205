// Digests through OpenSSL's EVP interface (libcrypto).
#include <openssl/err.h>
#include <openssl/evp.h>

#include <algorithm>

#include "platform/digest.h"

namespace platform {

struct Digest::Handle {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { EVP_MD_CTX_free(context); }
};

namespace {

const EVP_MD* method_of(DigestKind kind)
{
    switch (kind) {
    case DigestKind::md5: return EVP_md5();
    case DigestKind::sha1: return EVP_sha1();
    case DigestKind::sha256: return EVP_sha256();
    }
    return nullptr;
}

// The library's reason for the last failure of this thread, or `what`.
std::string library_failure(const char* what)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return std::string("libcrypto: ") + what;
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return std::string("libcrypto: ") + what + ": " + text;
}

}  // namespace

Digest::Digest(DigestKind kind) : kind_(kind), handle_(std::make_unique<Handle>())
{
    if (!handle_->context)
        failure_ = library_failure("no digest context");
    else if (EVP_DigestInit_ex(handle_->context, method_of(kind), nullptr) != 1)
        failure_ = library_failure("the digest cannot start");
}

Digest::Digest(Digest&& other) noexcept = default;
Digest& Digest::operator=(Digest&& other) noexcept = default;
Digest::~Digest() = default;

void Digest::update(const uint8_t* p, size_t n)
{
    if (valid() && n > 0 && EVP_DigestUpdate(handle_->context, p, n) != 1)
        failure_ = library_failure("the digest took no data");
}

bool Digest::finish(uint8_t* out)
{
    if (!valid())
        return false;
    uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(handle_->context, digest, &length) != 1 || length != digest_size(kind_)) {
        failure_ = library_failure("the digest cannot finish");
        return false;
    }
    std::copy(digest, digest + length, out);
    return true;
}

}  // namespace platform
