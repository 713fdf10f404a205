#include "sector/hashes.h"

#include <array>
#include <cstring>

#include "platform/endian.h"

namespace {

// --- CRC-32 -------------------------------------------------------------------
// Slicing by eight: table k gives the register after a byte followed by k zero
// bytes, so eight bytes fold in with eight independent lookups.

constexpr uint32_t crc_polynomial = 0xEDB88320u;  // x^32 + x^26 + ... + 1, reflected

constexpr std::array<std::array<uint32_t, 256>, 8> make_crc_slices()
{
    std::array<std::array<uint32_t, 256>, 8> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i;
        for (int k = 0; k < 8; ++k)
            r = (r & 1) ? (r >> 1) ^ crc_polynomial : r >> 1;
        t[0][i] = r;
    }
    for (int k = 1; k < 8; ++k)
        for (int i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}
constexpr auto crc_slices = make_crc_slices();

inline uint32_t rotl(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

// --- MD5 (RFC 1321) -------------------------------------------------------------

// T[i] = floor(2^32 * |sin(i + 1)|).
constexpr uint32_t md5_t[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};
constexpr int md5_shift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// One step of round r: a = b + ((a + f(b, c, d) + X[k] + T[i]) <<< s).
template <int round>
inline uint32_t md5_f(uint32_t b, uint32_t c, uint32_t d)
{
    if constexpr (round == 0)
        return d ^ (b & (c ^ d));  // (b & c) | (~b & d)
    else if constexpr (round == 1)
        return c ^ (d & (b ^ c));  // (b & d) | (c & ~d)
    else if constexpr (round == 2)
        return b ^ c ^ d;
    else
        return c ^ (b | ~d);
}

template <int round>
inline void md5_round(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, const uint32_t* x)
{
    for (int i = 16 * round; i < 16 * round + 16; ++i) {
        const int word = round == 0 ? i : round == 1 ? (5 * i + 1) % 16 : round == 2 ? (3 * i + 5) % 16 : (7 * i) % 16;
        const uint32_t next = b + rotl(a + md5_f<round>(b, c, d) + x[word] + md5_t[i], md5_shift[round][i % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
}

void md5_block(uint32_t h[4], const uint8_t* block)
{
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = get_le32(block + 4 * i);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
    md5_round<0>(a, b, c, d, x);
    md5_round<1>(a, b, c, d, x);
    md5_round<2>(a, b, c, d, x);
    md5_round<3>(a, b, c, d, x);
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
}

// --- SHA-1 (FIPS 180-4, 6.1) ----------------------------------------------------------

template <int part>
inline void sha1_part(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t* w)
{
    constexpr uint32_t k = part == 0 ? 0x5A827999u : part == 1 ? 0x6ED9EBA1u : part == 2 ? 0x8F1BBCDCu : 0xCA62C1D6u;
    for (int t = 20 * part; t < 20 * part + 20; ++t) {
        // The schedule in a ring of 16 words: W[t] from W[t-3], W[t-8], W[t-14], W[t-16].
        if (t >= 16)
            w[t & 15] = rotl(w[(t - 3) & 15] ^ w[(t - 8) & 15] ^ w[(t - 14) & 15] ^ w[t & 15], 1);
        uint32_t f;
        if constexpr (part == 0)
            f = d ^ (b & (c ^ d));  // Ch
        else if constexpr (part == 2)
            f = (b & c) | (d & (b | c));  // Maj
        else
            f = b ^ c ^ d;  // Parity
        const uint32_t next = rotl(a, 5) + f + e + k + w[t & 15];
        e = d;
        d = c;
        c = rotl(b, 30);
        b = a;
        a = next;
    }
}

void sha1_block(uint32_t h[5], const uint8_t* block)
{
    uint32_t w[16];
    for (int t = 0; t < 16; ++t)
        w[t] = get_be32(block + 4 * t);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    sha1_part<0>(a, b, c, d, e, w);
    sha1_part<1>(a, b, c, d, e, w);
    sha1_part<2>(a, b, c, d, e, w);
    sha1_part<3>(a, b, c, d, e, w);
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
}

// Both digests take 64-byte blocks and keep a partial block between calls.
template <typename State, typename Block>
void feed_blocks(State& s, const uint8_t* p, size_t n, Block block_function)
{
    size_t used = size_t(s.length % 64);
    s.length += n;
    if (used > 0) {
        const size_t take = n < 64 - used ? n : 64 - used;
        std::memcpy(s.block + used, p, take);
        p += take;
        n -= take;
        if (used + take < 64)
            return;
        block_function(s.h, s.block);
    }
    for (; n >= 64; n -= 64, p += 64)
        block_function(s.h, p);
    std::memcpy(s.block, p, n);
}

// Appends 0x80, zeros, and the message length in bits in the last 8 bytes
// (little-endian for MD5, big-endian for SHA-1).
template <typename State, typename Block>
void pad_blocks(State& s, bool big_endian_length, Block block_function)
{
    const uint64_t bits = s.length * 8;
    size_t used = size_t(s.length % 64);
    s.block[used++] = 0x80;
    if (used > 56) {
        std::memset(s.block + used, 0, 64 - used);
        block_function(s.h, s.block);
        used = 0;
    }
    std::memset(s.block + used, 0, 56 - used);
    for (int i = 0; i < 8; ++i)
        s.block[56 + i] = uint8_t(bits >> (big_endian_length ? 56 - 8 * i : 8 * i));
    block_function(s.h, s.block);
}

}  // namespace

void crc32_update(Crc32State& state, const uint8_t* p, size_t n)
{
    const auto& t = crc_slices;
    uint32_t crc = state.reg;
    for (; n >= 8; n -= 8, p += 8) {
        const uint32_t a = crc ^ get_le32(p), b = get_le32(p + 4);
        crc = t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24] ^ t[3][b & 0xFF] ^
              t[2][(b >> 8) & 0xFF] ^ t[1][(b >> 16) & 0xFF] ^ t[0][b >> 24];
    }
    for (; n > 0; --n, ++p)
        crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
    state.reg = crc;
}

uint32_t crc32_value(const Crc32State& state)
{
    return state.reg ^ 0xFFFFFFFFu;
}

uint32_t crc32(const uint8_t* p, size_t n)
{
    Crc32State state;
    crc32_update(state, p, n);
    return crc32_value(state);
}

void md5_update(Md5State& state, const uint8_t* p, size_t n)
{
    feed_blocks(state, p, n, md5_block);
}

void md5_finish(Md5State& state, uint8_t digest[16])
{
    pad_blocks(state, false, md5_block);
    for (int i = 0; i < 16; ++i)
        digest[i] = uint8_t(state.h[i / 4] >> (8 * (i % 4)));
}

void sha1_update(Sha1State& state, const uint8_t* p, size_t n)
{
    feed_blocks(state, p, n, sha1_block);
}

void sha1_finish(Sha1State& state, uint8_t digest[20])
{
    pad_blocks(state, true, sha1_block);
    for (int i = 0; i < 20; ++i)
        digest[i] = uint8_t(state.h[i / 4] >> (24 - 8 * (i % 4)));
}

void hashes_update(FileHashes& hashes, const uint8_t* p, size_t n)
{
    crc32_update(hashes.crc, p, n);
    md5_update(hashes.md5, p, n);
    sha1_update(hashes.sha1, p, n);
}

HashValues hashes_finish(FileHashes& hashes)
{
    HashValues values;
    const uint32_t crc = crc32_value(hashes.crc);
    const uint8_t crc_bytes[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
    values.crc32 = lowercase_hex(crc_bytes, 4);
    uint8_t md5[16], sha1[20];
    md5_finish(hashes.md5, md5);
    sha1_finish(hashes.sha1, sha1);
    values.md5 = lowercase_hex(md5, sizeof md5);
    values.sha1 = lowercase_hex(sha1, sizeof sha1);
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
