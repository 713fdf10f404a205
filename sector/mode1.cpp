// Portable Mode 1 encoder and the choice of code path.
//
// How the parity is computed (all paths). Every P column and every Q diagonal
// is a codeword v[0..n+1] of n data bytes and two parity bytes with
//   XOR of v[k] = 0   and   XOR of alpha^(n+1-k) * v[k] = 0.
// With S0 = XOR of the data bytes and S1 = XOR of alpha^(n+1-j) * x[j] the two
// equations give p0 = (S0 + S1) / (alpha + 1) and p1 = S0 + p0, which are the
// same bytes as the sums of coefficient products that the coefficient tables
// describe. S1 is a Horner sum: one multiplication by alpha per data byte, a
// shift and a conditional XOR, done here on eight bytes at once in 64-bit words.
//
// P: the 24 rows of 86 bytes are contiguous, so each row is one step of the
// Horner sum for all 86 columns together.
//
// Q: view the 2236 bytes of the Q ring as 26 rows of 43 two-byte words. Data
// word j of diagonal m lies in row (m + j) mod 26, column j. Row r is added,
// again with one Horner step per row, into a 68-word frame at word j - r + 25,
// which is a plain load of 86 ring bytes starting at 88r - 50 masked to the
// row. Frame word u collects diagonal (25 - u) mod 26 with the weight
// alpha^(44 - u) still owed; the three frame words of a diagonal are folded
// and weighted at the end.

#include "sector/mode1.h"

#include <cstdlib>
#include <cstring>

#include "platform/endian.h"

namespace mode1 {
namespace {

constexpr std::array<std::array<uint32_t, 256>, 16> make_edc_slices()
{
    std::array<std::array<uint32_t, 256>, 16> t{};
    t[0] = edc_table;
    for (int k = 1; k < 16; ++k)
        for (int i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] >> 8) ^ edc_table[t[k - 1][i] & 0xFF];
    return t;
}
// Slice k: the register after byte i followed by k zero bytes.
constexpr auto edc_slices = make_edc_slices();

constexpr std::array<uint8_t, 256> make_mul_table(uint8_t c)
{
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[i] = gf_mul(uint8_t(i), c);
    return t;
}
constexpr uint8_t beta = gf_div(1, 3);  // 1 / (alpha + 1)
constexpr auto mul_beta = make_mul_table(beta);
constexpr auto mul_gamma = make_mul_table(gf_pow_alpha(-26));

// Frame mask for the Q rows: bytes 64..149 set; a row r reads it at 14 + 2r.
constexpr std::array<uint8_t, 208> make_row_mask()
{
    std::array<uint8_t, 208> t{};
    for (int i = 64; i < 150; ++i)
        t[i] = 0xFF;
    return t;
}
constexpr auto row_mask = make_row_mask();

inline uint64_t load64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
inline void store64(uint8_t* p, uint64_t v)
{
    std::memcpy(p, &v, 8);
}

// Eight multiplications by alpha, one per byte lane.
inline uint64_t times_alpha(uint64_t x)
{
    const uint64_t high = x & 0x8080808080808080ull;
    return ((x & 0x7F7F7F7F7F7F7F7Full) << 1) ^ ((high >> 7) * 0x1D);
}

void compute_p_parity(uint8_t* s)
{
    const uint8_t* ring = s + header_offset;
    // 86 bytes as eleven words, the last one overlapping the tenth.
    constexpr size_t word_at[11] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 72, 78};
    uint64_t s0[11] = {}, acc[11] = {};
    for (int j = 0; j < 24; ++j) {
        const uint8_t* row = ring + 86 * j;
        for (int w = 0; w < 11; ++w) {
            const uint64_t x = load64(row + word_at[w]);
            s0[w] ^= x;
            acc[w] = times_alpha(acc[w]) ^ x;
        }
    }
    // acc = sum alpha^(23-j) x[j], so S1 = alpha^2 * acc.
    uint8_t sum0[88], sum01[88];
    for (int w = 0; w < 11; ++w) {
        store64(sum0 + word_at[w], s0[w]);
        store64(sum01 + word_at[w], s0[w] ^ times_alpha(times_alpha(acc[w])));
    }
    uint8_t* p0 = s + p_offset;
    uint8_t* p1 = s + p_offset + 86;
    for (int k = 0; k < 86; ++k) {
        const uint8_t a = mul_beta[sum01[k]];
        p0[k] = a;
        p1[k] = uint8_t(sum0[k] ^ a);
    }
}

void compute_q_parity(uint8_t* s)
{
    const uint8_t* ring = s + header_offset;
    uint64_t s0[17] = {}, acc[17] = {};
    // Row 0 would start 50 bytes before the ring: take it from a copy.
    uint8_t first[136] = {};
    std::memcpy(first + 50, ring, 86);
    for (int w = 0; w < 17; ++w) {
        const uint64_t y = load64(first + 8 * w);
        s0[w] = y;
        acc[w] = y;
    }
    for (int r = 1; r < 26; ++r) {
        const uint8_t* src = ring + 88 * r - 50;
        const uint8_t* mask = row_mask.data() + 14 + 2 * r;
        const int lo = (50 - 2 * r) / 8, hi = (135 - 2 * r) / 8;
        for (int w = 0; w < lo; ++w)
            acc[w] = times_alpha(acc[w]);
        for (int w = lo; w <= hi; ++w) {
            const uint64_t y = load64(src + 8 * w) & load64(mask + 8 * w);
            s0[w] ^= y;
            acc[w] = times_alpha(acc[w]) ^ y;
        }
        for (int w = hi + 1; w < 17; ++w)
            acc[w] = times_alpha(acc[w]);
    }
    uint8_t f0[160] = {}, f1[160] = {};
    for (int w = 0; w < 17; ++w) {
        store64(f0 + 8 * w, s0[w]);
        store64(f1 + 8 * w, acc[w]);
    }
    uint8_t* q0 = s + q_offset;
    uint8_t* q1 = s + q_offset + 52;
    for (int t = 0; t < 52; ++t) {
        const int m = 25 - t / 2, b = t & 1;
        const uint8_t sum0 = uint8_t(f0[t] ^ f0[t + 52] ^ f0[t + 104]);
        const uint8_t folded = uint8_t(f1[t] ^ mul_gamma[f1[t + 52] ^ mul_gamma[f1[t + 104]]]);
        const uint8_t sum1 = folded ? gf_exp[(gf_log[folded] + 19 + m) % 255] : 0;
        const uint8_t a = mul_beta[sum0 ^ sum1];
        q0[2 * m + b] = a;
        q1[2 * m + b] = uint8_t(sum0 ^ a);
    }
}

}  // namespace

namespace {

// Slicing-by-16 over whole 16-byte steps; with `copy_to` the bytes are also
// copied there as they pass.
uint32_t edc_slices16(uint32_t crc, const uint8_t* p, size_t steps, uint8_t* copy_to)
{
    const auto& t = edc_slices;
    for (; steps > 0; --steps, p += 16) {
        const uint32_t a = crc ^ get_le32(p);
        const uint32_t b = get_le32(p + 4), c = get_le32(p + 8), d = get_le32(p + 12);
        if (copy_to) {
            std::memcpy(copy_to, p, 16);
            copy_to += 16;
        }
        crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^ t[11][b & 0xFF] ^
              t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^ t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^
              t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^ t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^
              t[0][d >> 24];
    }
    return crc;
}

}  // namespace

uint32_t edc_update(uint32_t crc, const uint8_t* p, size_t n)
{
    crc = edc_slices16(crc, p, n / 16, nullptr);
    p += n & ~size_t(15);
    for (n &= 15; n > 0; --n, ++p)
        crc = (crc >> 8) ^ edc_table[(crc ^ *p) & 0xFF];
    return crc;
}

void write_frame_fields(uint8_t* out, uint32_t sector_number)
{
    std::memcpy(out, sync_pattern, sizeof sync_pattern);
    make_sector_header(out + header_offset, sector_number);
    std::memset(out + zero_offset, 0, p_offset - zero_offset);
}

void encode_portable(uint8_t* out, const uint8_t* data, uint32_t sector_number)
{
    write_frame_fields(out, sector_number);
    // The last Q row read runs two bytes into the Q field; give them a value.
    std::memset(out + q_offset, 0, 8);
    uint32_t edc = edc_slices16(0, out, 1, nullptr);
    edc = edc_slices16(edc, data, user_data_size / 16, out + data_offset);
    out[edc_offset + 0] = uint8_t(edc);
    out[edc_offset + 1] = uint8_t(edc >> 8);
    out[edc_offset + 2] = uint8_t(edc >> 16);
    out[edc_offset + 3] = uint8_t(edc >> 24);
    compute_p_parity(out);
    compute_q_parity(out);
}

void write_parity(uint8_t* sector)
{
    compute_p_parity(sector);
    compute_q_parity(sector);
}

}  // namespace mode1

// --- Choice of path -------------------------------------------------------------

namespace {

using EncodeFunction = void (*)(uint8_t*, const uint8_t*, uint32_t);

EncodeFunction function_of(EncoderPath path)
{
    switch (path) {
    case EncoderPath::portable: return mode1::encode_portable;
#if defined(__i386__) || defined(__x86_64__)
    case EncoderPath::ssse3: return mode1::encode_ssse3;
    case EncoderPath::avx2: return mode1::encode_avx2;
    case EncoderPath::avx512: return mode1::encode_avx512;
#else
    case EncoderPath::ssse3:
    case EncoderPath::avx2:
    case EncoderPath::avx512: return mode1::encode_portable;
#endif
    }
    return mode1::encode_portable;
}

EncodeFunction chosen_function()
{
    static const EncodeFunction chosen = function_of(default_encoder_path());
    return chosen;
}

}  // namespace

const char* encoder_path_name(EncoderPath path)
{
    switch (path) {
    case EncoderPath::portable: return "portable";
    case EncoderPath::ssse3: return "ssse3";
    case EncoderPath::avx2: return "avx2";
    case EncoderPath::avx512: return "avx512";
    }
    return "?";
}

bool encoder_path_available(EncoderPath path)
{
#if defined(__i386__) || defined(__x86_64__)
    __builtin_cpu_init();
#endif
    switch (path) {
    case EncoderPath::portable: return true;
#if defined(__i386__) || defined(__x86_64__)
    case EncoderPath::ssse3: return __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("pclmul");
    case EncoderPath::avx2: return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("pclmul");
    case EncoderPath::avx512:
        return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
               __builtin_cpu_supports("gfni") && __builtin_cpu_supports("vpclmulqdq");
#else
    case EncoderPath::ssse3:
    case EncoderPath::avx2:
    case EncoderPath::avx512: return false;
#endif
    }
    return false;
}

EncoderPath fastest_encoder_path()
{
    for (EncoderPath path : {EncoderPath::avx512, EncoderPath::avx2, EncoderPath::ssse3})
        if (encoder_path_available(path))
            return path;
    return EncoderPath::portable;
}

namespace {

EncoderPath chosen_path()
{
    if (const char* name = std::getenv("TW_ENCODER_PATH"))
        for (EncoderPath path : all_encoder_paths)
            if (std::strcmp(name, encoder_path_name(path)) == 0 && encoder_path_available(path))
                return path;
    return fastest_encoder_path();
}

}  // namespace

EncoderPath default_encoder_path()
{
    static const EncoderPath chosen = chosen_path();
    return chosen;
}

void encode_mode1_sector_with(EncoderPath path, uint8_t* out, const uint8_t* data, uint32_t sector_number)
{
    if (!encoder_path_available(path))
        path = EncoderPath::portable;
    function_of(path)(out, data, sector_number);
}

void encode_mode1_sector(uint8_t* out, const uint8_t* data, uint32_t sector_number)
{
    chosen_function()(out, data, sector_number);
}

uint32_t mode1_edc_and_copy_with(EncoderPath path, const uint8_t* sector, uint8_t* copy)
{
    if (!encoder_path_available(path))
        path = EncoderPath::portable;
    switch (path) {
#if defined(__i386__) || defined(__x86_64__)
    case EncoderPath::ssse3:
    case EncoderPath::avx2: return mode1::edc_and_copy_clmul(sector, copy);
    case EncoderPath::avx512: return mode1::edc_and_copy_vpclmul(sector, copy);
#endif
    default: break;
    }
    std::memcpy(copy, sector + mode1::data_offset, user_data_size);
    return mode1::edc_update(0, sector, mode1::edc_offset);
}

uint32_t mode1_edc_and_copy(const uint8_t* sector, uint8_t* copy)
{
    return mode1_edc_and_copy_with(default_encoder_path(), sector, copy);
}
