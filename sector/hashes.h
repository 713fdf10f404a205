// Checksums of whole image files as dump databases list them: CRC-32 (the
// reflected polynomial 0xEDB88320 of zlib and PNG), MD5 (RFC 1321) and SHA-1
// (FIPS 180-4). Each is a plain record fed in any pieces and finished once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct Crc32State {
    uint32_t reg = 0xFFFFFFFFu;
};
void crc32_update(Crc32State& state, const uint8_t* p, size_t n);
uint32_t crc32_value(const Crc32State& state);
// The CRC-32 of one block of bytes, as the GPT takes it of its header and
// entries (UEFI 2.x 5.3.2).
uint32_t crc32(const uint8_t* p, size_t n);

struct Md5State {
    uint32_t h[4] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};
    uint64_t length = 0;  // bytes taken so far
    uint8_t block[64] = {};
};
void md5_update(Md5State& state, const uint8_t* p, size_t n);
// Pads and writes the 16-byte digest; the state is spent afterwards.
void md5_finish(Md5State& state, uint8_t digest[16]);

struct Sha1State {
    uint32_t h[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
    uint64_t length = 0;
    uint8_t block[64] = {};
};
void sha1_update(Sha1State& state, const uint8_t* p, size_t n);
void sha1_finish(Sha1State& state, uint8_t digest[20]);

// The three together, as a file check computes them in one pass.
struct FileHashes {
    Crc32State crc;
    Md5State md5;
    Sha1State sha1;
};
void hashes_update(FileHashes& hashes, const uint8_t* p, size_t n);

struct HashValues {
    std::string crc32, md5, sha1;  // lowercase hexadecimal
};
HashValues hashes_finish(FileHashes& hashes);

std::string lowercase_hex(const uint8_t* p, size_t n);
