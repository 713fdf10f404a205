// x86 vector paths of the Mode 1 encoder, chosen at run time (see mode1.cpp
// for the way P and Q are formed; these paths do the same with 16-, 32- and
// 64-byte registers). Each function carries its own target attribute so that
// the library is compiled with common flags and runs on any x86 processor.
//
// EDC: the 2048 data bytes are 128 blocks of 16 bytes. They are folded with
// carry-less multiplication (PCLMULQDQ) by x^D mod P(x) constants, four or
// sixteen streams at a time, while they are copied into the sector; the sync
// and header block is folded over them, and the 16-byte remainder, congruent
// to the whole message, is reduced to the 32-bit EDC by Barrett reduction.
// No table lookup stands between the data and the P pass that reads the EDC.

#include "sector/mode1.h"

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

#include <cstring>

namespace mode1 {
namespace {

// --- Constants -------------------------------------------------------------------

// P(x) with bit i = x^i.
constexpr uint64_t edc_generator = 0x18001801Bull;

constexpr uint64_t x_power_mod(unsigned e)
{
    uint64_t r = 1;
    for (unsigned i = 0; i < e; ++i) {
        r <<= 1;
        if (r >> 32 & 1)
            r ^= edc_generator;
    }
    return r;
}

// Multiplier for a 64-bit reflected half: x^(e-1) mod P, bit-reversed into 64
// bits. Read as a reflected 128-bit value, the 127-bit carry-less product
// carries one more factor x, which makes up the missing power.
constexpr uint64_t fold_constant(unsigned e)
{
    const uint64_t k = x_power_mod(e - 1);
    uint64_t out = 0;
    for (int d = 0; d < 64; ++d)
        if (k >> d & 1)
            out |= 1ull << (63 - d);
    return out;
}

// Low half multiplies the first (higher-order) 64 bits of a block, high half the rest.
struct FoldPair {
    uint64_t first, second;
};
constexpr FoldPair fold_by(unsigned bits)
{
    return {fold_constant(bits + 64), fold_constant(bits)};
}
constexpr FoldPair fold_128 = fold_by(128), fold_512 = fold_by(512),
                   fold_2048 = fold_by(256 * 8);  // 256 bytes, in bits
// Moves the 16 sync and header bytes in front of the 2048 data bytes.
constexpr FoldPair fold_over_data = fold_by(8 * user_data_size);

// Final reduction of a 16-byte remainder S to the EDC, S * x^32 mod P: fold
// the first half down by x^95 (x^96 with the product's own x), the next 32
// bits by x^63, then Barrett with mu = floor(x^64 / P). mu and P are 33-bit
// values with x^32 in bit 0.
constexpr uint64_t reflect33(uint64_t p)
{
    uint64_t out = 0;
    for (int d = 0; d <= 32; ++d)
        if (p >> d & 1)
            out |= 1ull << (32 - d);
    return out;
}
constexpr uint64_t barrett_mu()
{
    // Long division of x^64 by P: the first step leaves (P - x^32) * x^32.
    uint64_t quotient = 1ull << 32, remainder = (edc_generator & 0xFFFFFFFFull) << 32;
    for (int d = 63; d >= 32; --d)
        if (remainder >> d & 1) {
            quotient |= 1ull << (d - 32);
            remainder ^= edc_generator << (d - 32);
        }
    return quotient;
}
constexpr uint64_t reduce_by_95 = fold_constant(96), reduce_by_63 = fold_constant(64);
constexpr uint64_t barrett_mu_reflected = reflect33(barrett_mu());
constexpr uint64_t generator_reflected = reflect33(edc_generator);
static_assert(generator_reflected == ((uint64_t(edc_polynomial) << 1) | 1));
static_assert(barrett_mu_reflected == 0x17000FFFFull);

constexpr uint8_t beta = gf_div(1, 3);  // 1 / (alpha + 1)
constexpr uint8_t gamma_ = gf_pow_alpha(-26);

struct alignas(16) NibbleTable {
    uint8_t low[16], high[16];
};
constexpr NibbleTable nibble_table(uint8_t c)
{
    NibbleTable t{};
    for (int i = 0; i < 16; ++i) {
        t.low[i] = gf_mul(uint8_t(i), c);
        t.high[i] = gf_mul(uint8_t(i << 4), c);
    }
    return t;
}
constexpr NibbleTable times_beta = nibble_table(beta);
constexpr NibbleTable times_gamma = nibble_table(gamma_);

// GF2P8AFFINEQB matrix of multiplication by c: byte 7 - i selects the input
// bits that make output bit i.
constexpr uint64_t affine_matrix(uint8_t c)
{
    uint64_t m = 0;
    for (int i = 0; i < 8; ++i) {
        unsigned row = 0;
        for (int k = 0; k < 8; ++k)
            if (gf_mul(c, uint8_t(1 << k)) >> i & 1)
                row |= 1u << k;
        m |= uint64_t(row) << (8 * (7 - i));
    }
    return m;
}

// Final Q weights per frame byte t < 52: beta * alpha^(19 + m), m = 25 - t / 2,
// split by bit: bit[i][t] = weight * alpha^i.
struct alignas(64) LaneWeights {
    uint8_t bit[8][64];
};
constexpr LaneWeights make_lane_weights()
{
    LaneWeights w{};
    for (int t = 0; t < 52; ++t) {
        const uint8_t c = gf_mul(beta, gf_pow_alpha(19 + 25 - t / 2));
        for (int i = 0; i < 8; ++i)
            w.bit[i][t] = gf_mul(c, uint8_t(1 << i));
    }
    return w;
}
constexpr LaneWeights lane_weights = make_lane_weights();

// Q frame mask, read at 14 + 2r for row r: frame bytes 50 - 2r .. 135 - 2r.
struct alignas(64) RowMask {
    uint8_t b[256];
};
constexpr RowMask make_row_mask()
{
    RowMask m{};
    for (int i = 64; i < 150; ++i)
        m.b[i] = 0xFF;
    return m;
}
constexpr RowMask row_mask = make_row_mask();

// The same mask as opmask bits for three 64-byte registers.
constexpr std::array<std::array<uint64_t, 3>, 26> make_row_kmasks()
{
    std::array<std::array<uint64_t, 3>, 26> k{};
    for (int r = 0; r < 26; ++r)
        for (int v = 0; v < 3; ++v)
            for (int bit = 0; bit < 64; ++bit) {
                const int f = 64 * v + bit;
                if (f >= 50 - 2 * r && f < 136 - 2 * r)
                    k[r][v] |= 1ull << bit;
            }
    return k;
}
constexpr auto row_kmasks = make_row_kmasks();

inline void store_edc(uint8_t* s, uint32_t edc)
{
    s[edc_offset + 0] = uint8_t(edc);
    s[edc_offset + 1] = uint8_t(edc >> 8);
    s[edc_offset + 2] = uint8_t(edc >> 16);
    s[edc_offset + 3] = uint8_t(edc >> 24);
}

// Q results come out in frame order (diagonal 25 first); sector order is reversed by word.
inline void store_q_reversed(uint8_t* s, const uint8_t* q0, const uint8_t* q1)
{
    for (int m = 0; m < 26; ++m) {
        std::memcpy(s + q_offset + 2 * m, q0 + 2 * (25 - m), 2);
        std::memcpy(s + q_offset + 52 + 2 * m, q1 + 2 * (25 - m), 2);
    }
}

// --- 128-bit EDC (SSSE3 and AVX2 paths) --------------------------------------------

#define TW_CLMUL __attribute__((target("ssse3,pclmul")))

TW_CLMUL inline __m128i pair128(FoldPair k)
{
    return _mm_set_epi64x(int64_t(k.second), int64_t(k.first));
}

TW_CLMUL inline __m128i fold128(__m128i a, __m128i k)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11));
}

TW_CLMUL inline __m128i load(const uint8_t* q)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}
TW_CLMUL inline void store(uint8_t* q, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q), v);
}

// The EDC of a 16-byte remainder S (see the constants above).
TW_CLMUL uint32_t edc_of_remainder(__m128i s)
{
    const __m128i low_dword = _mm_set_epi32(0, 0, 0, -1);
    const __m128i u = _mm_xor_si128(_mm_clmulepi64_si128(s, _mm_set_epi64x(0, int64_t(reduce_by_95)), 0x00),
                                    _mm_slli_si128(_mm_srli_si128(s, 8), 4));
    const __m128i w = _mm_xor_si128(_mm_clmulepi64_si128(u, _mm_set_epi64x(0, int64_t(reduce_by_63)), 0x00), u);
    const __m128i v = _mm_srli_si128(w, 8);
    const __m128i q = _mm_and_si128(
        _mm_clmulepi64_si128(_mm_and_si128(v, low_dword), _mm_set_epi64x(0, int64_t(barrett_mu_reflected)), 0x00),
        low_dword);
    const __m128i qp = _mm_clmulepi64_si128(q, _mm_set_epi64x(0, int64_t(generator_reflected)), 0x00);
    return uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(_mm_xor_si128(v, qp), 4)));
}

// EDC of a sector whose first 16 bytes are at `head` and whose user data is
// at `data`, copying the user data to `copy` on the way. The data is folded on
// its own (128 blocks), the sync and header block is folded over all of it at
// the end.
TW_CLMUL uint32_t edc_copy_clmul(const uint8_t* head, const uint8_t* data, uint8_t* copy)
{
    __m128i a0 = load(data), a1 = load(data + 16), a2 = load(data + 32), a3 = load(data + 48);
    store(copy, a0);
    store(copy + 16, a1);
    store(copy + 32, a2);
    store(copy + 48, a3);
    const __m128i k512 = pair128(fold_512);
    for (int i = 64; i < int(user_data_size); i += 64) {
        const __m128i b0 = load(data + i), b1 = load(data + i + 16), b2 = load(data + i + 32), b3 = load(data + i + 48);
        store(copy + i, b0);
        store(copy + i + 16, b1);
        store(copy + i + 32, b2);
        store(copy + i + 48, b3);
        a0 = _mm_xor_si128(fold128(a0, k512), b0);
        a1 = _mm_xor_si128(fold128(a1, k512), b1);
        a2 = _mm_xor_si128(fold128(a2, k512), b2);
        a3 = _mm_xor_si128(fold128(a3, k512), b3);
    }
    const __m128i k128 = pair128(fold_128);
    __m128i a = _mm_xor_si128(fold128(a0, k128), a1);
    a = _mm_xor_si128(fold128(a, k128), a2);
    a = _mm_xor_si128(fold128(a, k128), a3);
    return edc_of_remainder(_mm_xor_si128(fold128(load(head), pair128(fold_over_data)), a));
}

// --- SSSE3 -----------------------------------------------------------------------

#define TW_SSSE3 __attribute__((target("ssse3,pclmul")))

TW_SSSE3 inline __m128i load16(const void* p)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
TW_SSSE3 inline void store16(void* p, __m128i v)
{
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}

TW_SSSE3 inline __m128i times_alpha16(__m128i x)
{
    const __m128i carry = _mm_cmpgt_epi8(_mm_setzero_si128(), x);
    return _mm_xor_si128(_mm_add_epi8(x, x), _mm_and_si128(carry, _mm_set1_epi8(0x1D)));
}

TW_SSSE3 inline __m128i times_const16(__m128i x, const NibbleTable& t)
{
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i lo = _mm_shuffle_epi8(load16(t.low), _mm_and_si128(x, nibble));
    const __m128i hi = _mm_shuffle_epi8(load16(t.high), _mm_and_si128(_mm_srli_epi16(x, 4), nibble));
    return _mm_xor_si128(lo, hi);
}

TW_SSSE3 void p_parity_ssse3(uint8_t* s)
{
    const uint8_t* ring = s + header_offset;
    constexpr int at[6] = {0, 16, 32, 48, 64, 70};
    __m128i s0[6], acc[6];
    for (int v = 0; v < 6; ++v)
        s0[v] = acc[v] = _mm_setzero_si128();
    for (int j = 0; j < 24; ++j)
        for (int v = 0; v < 6; ++v) {
            const __m128i x = load16(ring + 86 * j + at[v]);
            s0[v] = _mm_xor_si128(s0[v], x);
            acc[v] = _mm_xor_si128(times_alpha16(acc[v]), x);
        }
    for (int v = 0; v < 6; ++v) {
        const __m128i s1 = times_alpha16(times_alpha16(acc[v]));
        const __m128i p0 = times_const16(_mm_xor_si128(s0[v], s1), times_beta);
        store16(s + p_offset + at[v], p0);
        store16(s + p_offset + 86 + at[v], _mm_xor_si128(s0[v], p0));
    }
}

TW_SSSE3 void q_parity_ssse3(uint8_t* s)
{
    const uint8_t* ring = s + header_offset;
    alignas(16) uint8_t first[144] = {};
    std::memcpy(first + 50, ring, 86);
    __m128i s0[9], acc[9];
    for (int v = 0; v < 9; ++v)
        s0[v] = acc[v] = load16(first + 16 * v);
    for (int r = 1; r < 26; ++r) {
        const uint8_t* src = ring + 88 * r - 50;
        const uint8_t* mask = row_mask.b + 14 + 2 * r;
        for (int v = 0; v < 9; ++v) {
            const __m128i y = _mm_and_si128(load16(src + 16 * v), load16(mask + 16 * v));
            s0[v] = _mm_xor_si128(s0[v], y);
            acc[v] = _mm_xor_si128(times_alpha16(acc[v]), y);
        }
    }
    alignas(16) uint8_t f0[192] = {}, f1[192] = {};
    for (int v = 0; v < 9; ++v) {
        store16(f0 + 16 * v, s0[v]);
        store16(f1 + 16 * v, acc[v]);
    }
    alignas(16) uint8_t q0[64], q1[64];
    for (int h = 0; h < 64; h += 16) {
        const __m128i t0 = _mm_xor_si128(_mm_xor_si128(load16(f0 + h), load16(f0 + h + 52)), load16(f0 + h + 104));
        const __m128i u = _mm_xor_si128(load16(f1 + h + 52), times_const16(load16(f1 + h + 104), times_gamma));
        const __m128i t1 = _mm_xor_si128(load16(f1 + h), times_const16(u, times_gamma));
        __m128i weighted = _mm_setzero_si128();
        for (int i = 0; i < 8; ++i) {
            const __m128i bit = _mm_cmpgt_epi8(_mm_setzero_si128(), _mm_slli_epi16(t1, 7 - i));
            weighted = _mm_xor_si128(weighted, _mm_and_si128(bit, load16(lane_weights.bit[i] + h)));
        }
        const __m128i p0 = _mm_xor_si128(times_const16(t0, times_beta), weighted);
        store16(q0 + h, p0);
        store16(q1 + h, _mm_xor_si128(t0, p0));
    }
    store_q_reversed(s, q0, q1);
}

// --- AVX2 ------------------------------------------------------------------------

#define TW_AVX2 __attribute__((target("avx2,pclmul")))

TW_AVX2 inline __m256i load32(const void* p)
{
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}
TW_AVX2 inline void store32(void* p, __m256i v)
{
    _mm256_storeu_si256(static_cast<__m256i*>(p), v);
}

TW_AVX2 inline __m256i times_alpha32(__m256i x)
{
    const __m256i carry = _mm256_cmpgt_epi8(_mm256_setzero_si256(), x);
    return _mm256_xor_si256(_mm256_add_epi8(x, x), _mm256_and_si256(carry, _mm256_set1_epi8(0x1D)));
}

TW_AVX2 inline __m256i times_const32(__m256i x, const NibbleTable& t)
{
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i low = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(t.low)));
    const __m256i high = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(t.high)));
    return _mm256_xor_si256(_mm256_shuffle_epi8(low, _mm256_and_si256(x, nibble)),
                            _mm256_shuffle_epi8(high, _mm256_and_si256(_mm256_srli_epi16(x, 4), nibble)));
}

TW_AVX2 void p_parity_avx2(uint8_t* s)
{
    const uint8_t* ring = s + header_offset;
    constexpr int at[3] = {0, 32, 54};
    __m256i s0[3], acc[3];
    for (int v = 0; v < 3; ++v)
        s0[v] = acc[v] = _mm256_setzero_si256();
    for (int j = 0; j < 24; ++j)
        for (int v = 0; v < 3; ++v) {
            const __m256i x = load32(ring + 86 * j + at[v]);
            s0[v] = _mm256_xor_si256(s0[v], x);
            acc[v] = _mm256_xor_si256(times_alpha32(acc[v]), x);
        }
    for (int v = 0; v < 3; ++v) {
        const __m256i s1 = times_alpha32(times_alpha32(acc[v]));
        const __m256i p0 = times_const32(_mm256_xor_si256(s0[v], s1), times_beta);
        store32(s + p_offset + at[v], p0);
        store32(s + p_offset + 86 + at[v], _mm256_xor_si256(s0[v], p0));
    }
}

// One Horner step of frame register v for row r.
TW_AVX2 inline void q_step_avx2(__m256i& s0, __m256i& acc, const uint8_t* ring, int r, int v)
{
    const __m256i y = _mm256_and_si256(load32(ring + 88 * r - 50 + 32 * v), load32(row_mask.b + 14 + 2 * r + 32 * v));
    s0 = _mm256_xor_si256(s0, y);
    acc = _mm256_xor_si256(times_alpha32(acc), y);
}

constexpr NibbleTable times_alpha6 = nibble_table(gf_pow_alpha(6));
constexpr NibbleTable times_alpha22 = nibble_table(gf_pow_alpha(22));

TW_AVX2 void q_parity_avx2(uint8_t* s)
{
    // Frame register v (bytes 32v..32v+31) takes a part of rows 10..25 (v = 0),
    // of every row (v = 1, 2), of rows 0..19 (v = 3) and of rows 0..3 (v = 4);
    // a register not yet reached stays zero, one left behind is only
    // multiplied by alpha, done at the end in one multiplication.
    const uint8_t* ring = s + header_offset;
    alignas(32) uint8_t first[160] = {};
    std::memcpy(first + 50, ring, 86);
    __m256i s0[5], acc[5];
    s0[0] = acc[0] = _mm256_setzero_si256();
    for (int v = 1; v < 5; ++v)
        s0[v] = acc[v] = load32(first + 32 * v);
    for (int r = 1; r < 4; ++r)
        for (int v = 1; v < 5; ++v)
            q_step_avx2(s0[v], acc[v], ring, r, v);
    for (int r = 4; r < 10; ++r)
        for (int v = 1; v < 4; ++v)
            q_step_avx2(s0[v], acc[v], ring, r, v);
    for (int r = 10; r < 20; ++r)
        for (int v = 0; v < 4; ++v)
            q_step_avx2(s0[v], acc[v], ring, r, v);
    for (int r = 20; r < 26; ++r)
        for (int v = 0; v < 3; ++v)
            q_step_avx2(s0[v], acc[v], ring, r, v);
    acc[3] = times_const32(acc[3], times_alpha6);
    acc[4] = times_const32(acc[4], times_alpha22);
    alignas(32) uint8_t f0[192], f1[192];
    for (int v = 0; v < 5; ++v) {
        store32(f0 + 32 * v, s0[v]);
        store32(f1 + 32 * v, acc[v]);
    }
    store32(f0 + 160, _mm256_setzero_si256());
    store32(f1 + 160, _mm256_setzero_si256());
    alignas(32) uint8_t q0[64], q1[64];
    for (int h = 0; h < 64; h += 32) {
        const __m256i t0 =
            _mm256_xor_si256(_mm256_xor_si256(load32(f0 + h), load32(f0 + h + 52)), load32(f0 + h + 104));
        const __m256i u = _mm256_xor_si256(load32(f1 + h + 52), times_const32(load32(f1 + h + 104), times_gamma));
        const __m256i t1 = _mm256_xor_si256(load32(f1 + h), times_const32(u, times_gamma));
        __m256i weighted = _mm256_setzero_si256();
        for (int i = 0; i < 8; ++i) {
            const __m256i bit = _mm256_cmpgt_epi8(_mm256_setzero_si256(), _mm256_slli_epi16(t1, 7 - i));
            weighted = _mm256_xor_si256(weighted, _mm256_and_si256(bit, load32(lane_weights.bit[i] + h)));
        }
        const __m256i p0 = _mm256_xor_si256(times_const32(t0, times_beta), weighted);
        store32(q0 + h, p0);
        store32(q1 + h, _mm256_xor_si256(t0, p0));
    }
    store_q_reversed(s, q0, q1);
}

// --- AVX-512 with GFNI and VPCLMULQDQ ---------------------------------------------

#define TW_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,gfni,vpclmulqdq,pclmul")))

TW_AVX512 inline __m512i load64(const void* p)
{
    return _mm512_loadu_si512(p);
}

TW_AVX512 inline __m512i affine(__m512i x, uint64_t matrix)
{
    return _mm512_gf2p8affine_epi64_epi8(x, _mm512_set1_epi64(int64_t(matrix)), 0);
}
constexpr uint64_t matrix_alpha = affine_matrix(2);
constexpr uint64_t matrix_beta = affine_matrix(beta);
constexpr uint64_t matrix_beta_alpha2 = affine_matrix(gf_mul(beta, 4));
constexpr uint64_t matrix_gamma = affine_matrix(gamma_);

TW_AVX512 inline __m512i fold512(__m512i a, __m512i k, __m512i next)
{
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(a, k, 0x00), _mm512_clmulepi64_epi128(a, k, 0x11), next,
                                     0x96);
}

TW_AVX512 inline __m512i broadcast_pair(FoldPair k)
{
    const auto a = int64_t(k.first), b = int64_t(k.second);
    return _mm512_set_epi64(b, a, b, a, b, a, b, a);
}

TW_AVX512 inline __m128i fold_ternary(__m128i x, FoldPair k, __m128i next)
{
    const __m128i kk = _mm_set_epi64x(int64_t(k.second), int64_t(k.first));
    return _mm_ternarylogic_epi64(_mm_clmulepi64_si128(x, kk, 0x00), _mm_clmulepi64_si128(x, kk, 0x11), next, 0x96);
}

TW_AVX512 uint32_t edc_copy_vpclmul(const uint8_t* head, const uint8_t* data, uint8_t* copy)
{
    __m512i a0 = load64(data), a1 = load64(data + 64), a2 = load64(data + 128), a3 = load64(data + 192);
    _mm512_storeu_si512(copy, a0);
    _mm512_storeu_si512(copy + 64, a1);
    _mm512_storeu_si512(copy + 128, a2);
    _mm512_storeu_si512(copy + 192, a3);
    const __m512i k2048 = broadcast_pair(fold_2048);
    for (int i = 256; i < int(user_data_size); i += 256) {
        const __m512i b0 = load64(data + i), b1 = load64(data + i + 64), b2 = load64(data + i + 128),
                      b3 = load64(data + i + 192);
        _mm512_storeu_si512(copy + i, b0);
        _mm512_storeu_si512(copy + i + 64, b1);
        _mm512_storeu_si512(copy + i + 128, b2);
        _mm512_storeu_si512(copy + i + 192, b3);
        a0 = fold512(a0, k2048, b0);
        a1 = fold512(a1, k2048, b1);
        a2 = fold512(a2, k2048, b2);
        a3 = fold512(a3, k2048, b3);
    }
    const __m512i k512 = broadcast_pair(fold_512);
    __m512i a = fold512(a0, k512, a1);
    a = fold512(a, k512, a2);
    a = fold512(a, k512, a3);
    alignas(64) uint8_t lanes[64];
    _mm512_store_si512(lanes, a);
    const __m128i* lane = reinterpret_cast<const __m128i*>(lanes);
    __m128i x = _mm_load_si128(lane);
    x = fold_ternary(x, fold_128, _mm_load_si128(lane + 1));
    x = fold_ternary(x, fold_128, _mm_load_si128(lane + 2));
    x = fold_ternary(x, fold_128, _mm_load_si128(lane + 3));
    return edc_of_remainder(fold_ternary(_mm_loadu_si128(reinterpret_cast<const __m128i*>(head)), fold_over_data, x));
}

TW_AVX512 void p_parity_avx512(uint8_t* s)
{
    const uint8_t* ring = s + header_offset;
    __m512i s0a = _mm512_setzero_si512(), s0b = s0a, acca = s0a, accb = s0a;
    for (int j = 0; j < 24; ++j) {
        const __m512i xa = load64(ring + 86 * j), xb = load64(ring + 86 * j + 22);
        s0a = _mm512_xor_si512(s0a, xa);
        s0b = _mm512_xor_si512(s0b, xb);
        acca = _mm512_xor_si512(affine(acca, matrix_alpha), xa);
        accb = _mm512_xor_si512(affine(accb, matrix_alpha), xb);
    }
    const __m512i p0a = _mm512_xor_si512(affine(s0a, matrix_beta), affine(acca, matrix_beta_alpha2));
    const __m512i p0b = _mm512_xor_si512(affine(s0b, matrix_beta), affine(accb, matrix_beta_alpha2));
    _mm512_storeu_si512(s + p_offset, p0a);
    _mm512_storeu_si512(s + p_offset + 22, p0b);
    _mm512_storeu_si512(s + p_offset + 86, _mm512_xor_si512(s0a, p0a));
    _mm512_storeu_si512(s + p_offset + 86 + 22, _mm512_xor_si512(s0b, p0b));
}

// Per-qword matrices of the final Q weights: word 4q + w of the frame (byte
// 8q + 2w and the next) takes matrix w of qword q.
struct alignas(64) WeightMatrices {
    uint64_t of_word[4][8];
};
constexpr WeightMatrices make_weight_matrices()
{
    WeightMatrices m{};
    for (int q = 0; q < 8; ++q)
        for (int w = 0; w < 4; ++w) {
            const int word = 4 * q + w;
            m.of_word[w][q] = word < 26 ? affine_matrix(gf_mul(beta, gf_pow_alpha(19 + 25 - word))) : 0;
        }
    return m;
}
constexpr WeightMatrices weight_matrices = make_weight_matrices();
constexpr uint64_t matrix_alpha22 = affine_matrix(gf_pow_alpha(22));

// Row r of the Q ring in frame register v: the row starts 50 - 2r bytes into
// the frame. Masked-off bytes are not read (row 0 begins before the sector).
TW_AVX512 inline __m512i q_row(uintptr_t ring, int r, int v)
{
    return _mm512_maskz_loadu_epi8(row_kmasks[r][v], reinterpret_cast<const void*>(ring + 88 * r - 50 + 64 * v));
}

TW_AVX512 inline __m512i weigh(__m512i t1, int w)
{
    return _mm512_gf2p8affine_epi64_epi8(t1, _mm512_load_si512(weight_matrices.of_word[w]), 0);
}

TW_AVX512 void q_parity_avx512(uint8_t* s)
{
    // Frame registers: bytes 0..63 and 64..127 take a part of every row;
    // 128..191 only rows 0..3, after which it is only multiplied by alpha.
    const uintptr_t ring = reinterpret_cast<uintptr_t>(s + header_offset);
    __m512i s0a = q_row(ring, 0, 0), s0b = q_row(ring, 0, 1), s0c = q_row(ring, 0, 2);
    __m512i acca = s0a, accb = s0b, accc = s0c;
    for (int r = 1; r < 4; ++r) {
        const __m512i ya = q_row(ring, r, 0), yb = q_row(ring, r, 1), yc = q_row(ring, r, 2);
        s0a = _mm512_xor_si512(s0a, ya);
        s0b = _mm512_xor_si512(s0b, yb);
        s0c = _mm512_xor_si512(s0c, yc);
        acca = _mm512_xor_si512(affine(acca, matrix_alpha), ya);
        accb = _mm512_xor_si512(affine(accb, matrix_alpha), yb);
        accc = _mm512_xor_si512(affine(accc, matrix_alpha), yc);
    }
    for (int r = 4; r < 26; ++r) {
        const __m512i ya = q_row(ring, r, 0), yb = q_row(ring, r, 1);
        s0a = _mm512_xor_si512(s0a, ya);
        s0b = _mm512_xor_si512(s0b, yb);
        acca = _mm512_xor_si512(affine(acca, matrix_alpha), ya);
        accb = _mm512_xor_si512(affine(accb, matrix_alpha), yb);
    }
    accc = affine(accc, matrix_alpha22);
    // Fold frame bytes t, t + 52 and t + 104 (dwords 13 and 26 further on).
    // The zero-masking form of VALIGND with a full mask is the plain one; it
    // keeps GCC 12's header from warning about its undefined merge operand.
    const __m512i t0 = _mm512_ternarylogic_epi64(s0a, _mm512_maskz_alignr_epi32(0xFFFF, s0b, s0a, 13),
                                                 _mm512_maskz_alignr_epi32(0xFFFF, s0c, s0b, 10), 0x96);
    const __m512i u = _mm512_xor_si512(_mm512_maskz_alignr_epi32(0xFFFF, accb, acca, 13),
                                       affine(_mm512_maskz_alignr_epi32(0xFFFF, accc, accb, 10), matrix_gamma));
    const __m512i t1 = _mm512_xor_si512(acca, affine(u, matrix_gamma));
    __m512i weighted = weigh(t1, 0);
    weighted = _mm512_mask_mov_epi8(weighted, 0x0C0C0C0C0C0C0C0Cull, weigh(t1, 1));
    weighted = _mm512_mask_mov_epi8(weighted, 0x3030303030303030ull, weigh(t1, 2));
    weighted = _mm512_mask_mov_epi8(weighted, 0xC0C0C0C0C0C0C0C0ull, weigh(t1, 3));
    const __m512i p0 = _mm512_xor_si512(affine(t0, matrix_beta), weighted);
    const __m512i p1 = _mm512_xor_si512(t0, p0);
    // Word m of the sector's Q takes frame word 25 - m.
    alignas(64) static constexpr uint16_t reverse_words[32] = {
        25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0};
    const __m512i order = _mm512_load_si512(reverse_words);
    const __mmask64 q_bytes = (1ull << 52) - 1;
    _mm512_mask_storeu_epi8(s + q_offset, q_bytes, _mm512_permutexvar_epi16(order, p0));
    _mm512_mask_storeu_epi8(s + q_offset + 52, q_bytes, _mm512_permutexvar_epi16(order, p1));
}

}  // namespace

uint32_t edc_and_copy_clmul(const uint8_t* sector, uint8_t* copy)
{
    return edc_copy_clmul(sector, sector + data_offset, copy);
}

uint32_t edc_and_copy_vpclmul(const uint8_t* sector, uint8_t* copy)
{
    return edc_copy_vpclmul(sector, sector + data_offset, copy);
}

void encode_ssse3(uint8_t* out, const uint8_t* data, uint32_t sector_number)
{
    write_frame_fields(out, sector_number);
    store_edc(out, edc_copy_clmul(out, data, out + data_offset));
    p_parity_ssse3(out);
    q_parity_ssse3(out);
}

void encode_avx2(uint8_t* out, const uint8_t* data, uint32_t sector_number)
{
    write_frame_fields(out, sector_number);
    store_edc(out, edc_copy_clmul(out, data, out + data_offset));
    p_parity_avx2(out);
    q_parity_avx2(out);
}

void encode_avx512(uint8_t* out, const uint8_t* data, uint32_t sector_number)
{
    write_frame_fields(out, sector_number);
    store_edc(out, edc_copy_vpclmul(out, data, out + data_offset));
    p_parity_avx512(out);
    q_parity_avx512(out);
}

}  // namespace mode1

#endif
