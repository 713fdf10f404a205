// Checksums of whole image files as dump databases and distributions list
// them: CRC-32 (the reflected polynomial 0xEDB88320 of zlib and PNG), MD5,
// SHA-1 and SHA-256. None is computed here: the CRC is zlib's, the digests
// are the system crypto library's (platform/digest.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/digest.h"

enum class HashKind : uint8_t { crc32, md5, sha1, sha256 };
inline constexpr size_t hash_kind_count = 4;
inline constexpr HashKind all_hash_kinds[hash_kind_count] = {HashKind::crc32, HashKind::md5, HashKind::sha1,
                                                             HashKind::sha256};

// The name `verify --hash` takes: "crc32", "md5", "sha1", "sha256".
const char* hash_name(HashKind kind);
// The name a report shows: "CRC32", "MD5", "SHA-1", "SHA-256".
const char* hash_label(HashKind kind);
// The kind of a name as hash_name gives it; nothing for any other text.
std::optional<HashKind> hash_kind_named(const std::string& name);

// The CRC-32 of one block of bytes, as the GPT takes it of its header and
// entries (UEFI 2.x 5.3.2).
uint32_t crc32(const uint8_t* p, size_t n);

// One running hash of any kind: fed in any pieces, finished once. Used by one
// thread at a time; different hashes may run in different threads.
class FileHash {
public:
    explicit FileHash(HashKind kind);
    HashKind kind() const { return kind_; }
    void update(const uint8_t* p, size_t n);
    // The value in lowercase hexadecimal (the CRC as its 8 digits, most
    // significant first); "" when the library failed, and failure() says why.
    std::string finish();
    std::string failure() const;

private:
    HashKind kind_;
    uint32_t crc_ = 0;
    std::optional<platform::Digest> digest_;
};

struct HashValues {
    std::string crc32, md5, sha1, sha256;  // lowercase hexadecimal; "" when not computed
    std::string failure;                   // why a hash asked for is missing
    std::string& at(HashKind kind);
    const std::string& at(HashKind kind) const;
};

// Several hashes fed together in one thread: all four unless chosen.
struct FileHashes {
    std::vector<FileHash> hashes;
    FileHashes();
    explicit FileHashes(const std::vector<HashKind>& kinds);
};
void hashes_update(FileHashes& hashes, const uint8_t* p, size_t n);
HashValues hashes_finish(FileHashes& hashes);

std::string lowercase_hex(const uint8_t* p, size_t n);
