// CD-ROM Mode 1 sector encoder (ECMA-130): sync, BCD header, user data, EDC,
// zero field and the P/Q parity of the cross-interleaved Reed-Solomon product
// code, built from one 2048-byte logical sector.
//
// The constant tables below are fixed data made by the compiler from their
// rules; nothing is prepared at run time. The encoder picks the fastest code
// path that the processor offers on its first call (vector paths on x86); all
// paths give the same bytes, and the portable one is part of every build.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "format/ecma130.h"

// Writes all 2352 bytes of `out` for the 2048 bytes of `data` at logical
// sector `sector_number` (0 is the address 00:02:00). The two buffers must not
// overlap; neither needs any alignment.
void encode_mode1_sector(uint8_t* out, const uint8_t* data, uint32_t sector_number);

// Code paths, for tests and benchmarks. Each vector path needs these
// processor features: ssse3 = SSSE3 + PCLMULQDQ; avx2 = AVX2 + PCLMULQDQ;
// avx512 = AVX-512BW/VL + GFNI + VPCLMULQDQ.
enum class EncoderPath { portable, ssse3, avx2, avx512 };
inline constexpr EncoderPath all_encoder_paths[] = {EncoderPath::portable, EncoderPath::ssse3, EncoderPath::avx2,
                                                    EncoderPath::avx512};
const char* encoder_path_name(EncoderPath path);
// True when the path is built into this program and the processor (and the
// operating system's register saving) supports it.
bool encoder_path_available(EncoderPath path);
// Encodes with the given path; an unavailable path falls back to the portable one.
void encode_mode1_sector_with(EncoderPath path, uint8_t* out, const uint8_t* data, uint32_t sector_number);
EncoderPath fastest_encoder_path();
// The path encode_mode1_sector took at its first use and keeps: the fastest
// one, or the one the environment variable TW_ENCODER_PATH names (portable,
// ssse3, avx2, avx512) when it is available, for benchmarks of each path.
EncoderPath default_encoder_path();

// The EDC of a raw Mode 1 sector (over bytes 0..2063, as mode1::edc_offset
// stores it), copying its 2048 bytes of user data to `copy` on the way, on the
// same path as encode_mode1_sector. `copy` must not overlap the sector.
uint32_t mode1_edc_and_copy(const uint8_t* sector, uint8_t* copy);
uint32_t mode1_edc_and_copy_with(EncoderPath path, const uint8_t* sector, uint8_t* copy);

namespace mode1 {

// Writes the three BCD address bytes of sector_number + 150 and the mode byte.
//
// Up to sector 449,849 (99:59:74) this is the ECMA-130 address. Beyond it the
// minute byte keeps counting in the same digit layout as far as a nibble
// reaches: the tens digit of the minute runs on as 0xA..0xF in the high nibble
// (minutes 100..159 are written A0..F9), and after F9:59:74 (sector 719,849)
// the minute wraps to 00 again, i.e. the minute is taken modulo 160. The
// second and frame bytes always stay valid BCD and keep advancing, so every
// header of an oversized image is still well formed.
constexpr void make_sector_header(uint8_t* header, uint32_t sector_number)
{
    const uint64_t a = uint64_t(sector_number) + 150;
    const uint64_t minute = (a / 4500) % 160;
    const uint64_t second = (a / 75) % 60;
    const uint64_t frame = a % 75;
    header[0] = uint8_t((minute / 10) << 4 | minute % 10);
    header[1] = uint8_t((second / 10) << 4 | second % 10);
    header[2] = uint8_t((frame / 10) << 4 | frame % 10);
    header[3] = 0x01;
}

// --- Constant tables ---------------------------------------------------------

// Reflected form of the EDC polynomial (x^16 + x^15 + x^2 + 1)(x^16 + x^2 + x + 1).
inline constexpr uint32_t edc_polynomial = 0xD8018001u;
// GF(2^8) field polynomial x^8 + x^4 + x^3 + x^2 + 1; alpha = 0x02.
inline constexpr unsigned gf_polynomial = 0x11D;

constexpr std::array<uint32_t, 256> make_edc_table()
{
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i;
        for (int k = 0; k < 8; ++k)
            r = (r & 1) ? (r >> 1) ^ edc_polynomial : r >> 1;
        t[i] = r;
    }
    return t;
}

constexpr std::array<uint8_t, 255> make_gf_exp()
{
    std::array<uint8_t, 255> t{};
    unsigned x = 1;
    for (int i = 0; i < 255; ++i) {
        t[i] = uint8_t(x);
        x <<= 1;
        if (x & 0x100)
            x ^= gf_polynomial;
    }
    return t;
}

inline constexpr std::array<uint32_t, 256> edc_table = make_edc_table();
inline constexpr std::array<uint8_t, 255> gf_exp = make_gf_exp();

constexpr std::array<uint8_t, 256> make_gf_log()
{
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 255; ++i)
        t[gf_exp[i]] = uint8_t(i);
    return t;
}
inline constexpr std::array<uint8_t, 256> gf_log = make_gf_log();

// Field arithmetic for building further constants (compile time or tests).
constexpr uint8_t gf_mul(uint8_t a, uint8_t b)
{
    if (a == 0 || b == 0)
        return 0;
    return gf_exp[(gf_log[a] + gf_log[b]) % 255];
}
constexpr uint8_t gf_div(uint8_t a, uint8_t b)
{  // b != 0
    if (a == 0)
        return 0;
    return gf_exp[(gf_log[a] + 255 - gf_log[b]) % 255];
}
constexpr uint8_t gf_pow_alpha(int e)
{
    return gf_exp[((e % 255) + 255) % 255];
}

// Row 0: log((w + 1) / (alpha + 1)), row 1: log((w + alpha) / (alpha + 1)),
// w = alpha^(n + 1 - j): the two parity bytes of a (n + 2, n) code solved for
// data byte j.
template <int n>
constexpr std::array<std::array<uint8_t, n>, 2> make_coefficient_logs()
{
    std::array<std::array<uint8_t, n>, 2> t{};
    for (int j = 0; j < n; ++j) {
        const uint8_t w = gf_pow_alpha(n + 1 - j);
        t[0][j] = gf_log[gf_div(uint8_t(w ^ 1), 3)];
        t[1][j] = gf_log[gf_div(uint8_t(w ^ 2), 3)];
    }
    return t;
}
inline constexpr auto p_coefficient_logs = make_coefficient_logs<24>();
inline constexpr auto q_coefficient_logs = make_coefficient_logs<43>();

// Internal entry points of the code paths (same contract as encode_mode1_sector).
void encode_portable(uint8_t* out, const uint8_t* data, uint32_t sector_number);
// Sync pattern, header and zero field: the fixed part every path shares. The
// user data is copied by each path while it runs the EDC over it.
void write_frame_fields(uint8_t* out, uint32_t sector_number);
// Writes the P and Q parity (bytes 2076..2351) of bytes 12..2247 as they
// stand, on the portable path: for sectors whose protected bytes are not a
// Mode 1 header and data (Mode 2 Form 1 with its header taken as zero).
void write_parity(uint8_t* sector);
// The EDC register after `n` bytes, starting from `crc`.
uint32_t edc_update(uint32_t crc, const uint8_t* p, size_t n);
// mode1_edc_and_copy on the vector paths (x86 only).
uint32_t edc_and_copy_clmul(const uint8_t* sector, uint8_t* copy);
uint32_t edc_and_copy_vpclmul(const uint8_t* sector, uint8_t* copy);

#if defined(__i386__) || defined(__x86_64__)
void encode_ssse3(uint8_t* out, const uint8_t* data, uint32_t sector_number);
void encode_avx2(uint8_t* out, const uint8_t* data, uint32_t sector_number);
void encode_avx512(uint8_t* out, const uint8_t* data, uint32_t sector_number);
#endif

}  // namespace mode1
