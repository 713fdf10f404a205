#include "sector/hashes.h"

#include <zlib.h>

#include <algorithm>

namespace {

platform::DigestKind digest_kind_of(HashKind kind)
{
    switch (kind) {
    case HashKind::md5: return platform::DigestKind::md5;
    case HashKind::sha1: return platform::DigestKind::sha1;
    default: return platform::DigestKind::sha256;
    }
}

// zlib's crc32() takes a 32-bit count; crc32_z takes a size_t.
uint32_t crc32_more(uint32_t crc, const uint8_t* p, size_t n)
{
    return uint32_t(crc32_z(crc, p, n));
}

}  // namespace

const char* hash_name(HashKind kind)
{
    switch (kind) {
    case HashKind::crc32: return "crc32";
    case HashKind::md5: return "md5";
    case HashKind::sha1: return "sha1";
    case HashKind::sha256: return "sha256";
    }
    return "";
}

const char* hash_label(HashKind kind)
{
    switch (kind) {
    case HashKind::crc32: return "CRC32";
    case HashKind::md5: return "MD5";
    case HashKind::sha1: return "SHA-1";
    case HashKind::sha256: return "SHA-256";
    }
    return "";
}

std::optional<HashKind> hash_kind_named(const std::string& name)
{
    for (HashKind kind : all_hash_kinds)
        if (name == hash_name(kind))
            return kind;
    return std::nullopt;
}

uint32_t crc32(const uint8_t* p, size_t n)
{
    return crc32_more(0, p, n);
}

FileHash::FileHash(HashKind kind) : kind_(kind)
{
    if (kind != HashKind::crc32)
        digest_.emplace(digest_kind_of(kind));
}

void FileHash::update(const uint8_t* p, size_t n)
{
    if (digest_)
        digest_->update(p, n);
    else
        crc_ = crc32_more(crc_, p, n);
}

std::string FileHash::finish()
{
    if (!digest_) {
        const uint8_t bytes[4] = {uint8_t(crc_ >> 24), uint8_t(crc_ >> 16), uint8_t(crc_ >> 8), uint8_t(crc_)};
        return lowercase_hex(bytes, sizeof bytes);
    }
    uint8_t value[platform::max_digest_size];
    if (!digest_->finish(value))
        return "";
    return lowercase_hex(value, platform::digest_size(digest_->kind()));
}

std::string FileHash::failure() const
{
    return digest_ ? digest_->failure() : std::string();
}

std::string& HashValues::at(HashKind kind)
{
    switch (kind) {
    case HashKind::crc32: return crc32;
    case HashKind::md5: return md5;
    case HashKind::sha1: return sha1;
    case HashKind::sha256: return sha256;
    }
    return crc32;
}

const std::string& HashValues::at(HashKind kind) const
{
    return const_cast<HashValues*>(this)->at(kind);
}

FileHashes::FileHashes() : FileHashes(std::vector<HashKind>(std::begin(all_hash_kinds), std::end(all_hash_kinds))) {}

FileHashes::FileHashes(const std::vector<HashKind>& kinds)
{
    hashes.reserve(kinds.size());
    for (HashKind kind : kinds)
        hashes.emplace_back(kind);
}

void hashes_update(FileHashes& hashes, const uint8_t* p, size_t n)
{
    for (FileHash& hash : hashes.hashes)
        hash.update(p, n);
}

HashValues hashes_finish(FileHashes& hashes)
{
    HashValues values;
    for (FileHash& hash : hashes.hashes) {
        values.at(hash.kind()) = hash.finish();
        if (values.at(hash.kind()).empty() && values.failure.empty())
            values.failure = std::string(hash_label(hash.kind())) + ": " + hash.failure();
    }
    return values;
}

std::string lowercase_hex(const uint8_t* p, size_t n)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        text += digits[p[i] >> 4];
        text += digits[p[i] & 15];
    }
    return text;
}
