// Mode 1 encoder throughput on one core, in MB/s of user data (10^6 bytes of
// 2048-byte input per second), for every code path of the encoder beside two
// public table-driven methods implemented here from their published
// descriptions and a plain memory copy of the same traffic.
//
//   encoder_bench [SECTORS]            encoder figures (default 8192 sectors)
//   encoder_bench convert DIR [MIB]    whole-file conversion both ways of a
//                                      MIB-sized image (default 640) in DIR
//
// Methods:
//   table16   one 16-bit table per data position holding both parity bytes
//             (c0*x | c1*x << 8), looked up and XORed per data byte; EDC by the
//             byte-wise table.
//   logexp    the log/exp matrix form: two log/exp products per nonzero data
//             byte with the stored coefficient logarithms; EDC by the byte table.
//   memcpy    2048 bytes copied into each 2352-byte output slot, the other
//             304 bytes of the slot cleared.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sector/convert.h"
#include "sector/mode1.h"

namespace {

using Clock = std::chrono::steady_clock;
using Method = void (*)(uint8_t* out, const uint8_t* data, uint32_t sector);

// --- Shared pieces of the two table methods --------------------------------------

void frame(uint8_t* out, const uint8_t* data, uint32_t sector)
{
    std::memset(out, 0, raw_sector_size);
    std::memset(out + 1, 0xFF, 10);
    mode1::make_sector_header(out + 12, sector);
    std::memcpy(out + 16, data, user_data_size);
    uint32_t crc = 0;
    for (int i = 0; i < 2064; ++i)
        crc = (crc >> 8) ^ mode1::edc_table[(crc ^ out[i]) & 0xFF];
    for (int i = 0; i < 4; ++i)
        out[2064 + i] = uint8_t(crc >> (8 * i));
}

// --- table16 ------------------------------------------------------------------------

uint16_t p_table[24][256], q_table[43][256];

void build_table16()
{
    for (int j = 0; j < 43; ++j)
        for (int x = 0; x < 256; ++x) {
            auto entry = [x](const auto& logs, int j) {
                if (x == 0)
                    return uint16_t(0);
                const uint8_t a = mode1::gf_exp[(mode1::gf_log[x] + logs[0][j]) % 255];
                const uint8_t b = mode1::gf_exp[(mode1::gf_log[x] + logs[1][j]) % 255];
                return uint16_t(a | b << 8);
            };
            if (j < 24)
                p_table[j][x] = entry(mode1::p_coefficient_logs, j);
            q_table[j][x] = entry(mode1::q_coefficient_logs, j);
        }
}

void encode_table16(uint8_t* out, const uint8_t* data, uint32_t sector)
{
    frame(out, data, sector);
    const uint8_t* ring = out + 12;
    for (int k = 0; k < 86; ++k) {
        uint16_t parity = 0;
        for (int j = 0; j < 24; ++j)
            parity ^= p_table[j][ring[86 * j + k]];
        out[2076 + k] = uint8_t(parity);
        out[2162 + k] = uint8_t(parity >> 8);
    }
    for (int k = 0; k < 52; ++k) {
        uint16_t parity = 0;
        int position = 86 * (k / 2) + k % 2;
        for (int j = 0; j < 43; ++j) {
            parity ^= q_table[j][ring[position]];
            position += 88;
            if (position >= 2236)
                position -= 2236;
        }
        out[2248 + k] = uint8_t(parity);
        out[2300 + k] = uint8_t(parity >> 8);
    }
}

// --- logexp -------------------------------------------------------------------------

template <int n>
void logexp_parity(const uint8_t* x_of[n], const std::array<std::array<uint8_t, n>, 2>& logs, uint8_t& p0, uint8_t& p1)
{
    uint8_t a = 0, b = 0;
    for (int j = 0; j < n; ++j) {
        const uint8_t x = *x_of[j];
        if (x == 0)
            continue;
        unsigned s = mode1::gf_log[x] + logs[0][j];
        if (s >= 255)
            s -= 255;
        a ^= mode1::gf_exp[s];
        s = mode1::gf_log[x] + logs[1][j];
        if (s >= 255)
            s -= 255;
        b ^= mode1::gf_exp[s];
    }
    p0 = a;
    p1 = b;
}

void encode_logexp(uint8_t* out, const uint8_t* data, uint32_t sector)
{
    frame(out, data, sector);
    uint8_t* ring = out + 12;
    const uint8_t* column[24];
    for (int k = 0; k < 86; ++k) {
        for (int j = 0; j < 24; ++j)
            column[j] = ring + 86 * j + k;
        logexp_parity<24>(column, mode1::p_coefficient_logs, out[2076 + k], out[2162 + k]);
    }
    const uint8_t* diagonal[43];
    for (int k = 0; k < 52; ++k) {
        for (int j = 0; j < 43; ++j)
            diagonal[j] = ring + (86 * (k / 2) + 88 * j + k % 2) % 2236;
        logexp_parity<43>(diagonal, mode1::q_coefficient_logs, out[2248 + k], out[2300 + k]);
    }
}

// The same traffic as an encoder: 2048 bytes read, all 2352 written.
void copy_only(uint8_t* out, const uint8_t* data, uint32_t)
{
    std::memset(out, 0, 16);
    std::memcpy(out + 16, data, user_data_size);
    std::memset(out + 2064, 0, raw_sector_size - 2064);
}

template <EncoderPath path>
void with_path(uint8_t* out, const uint8_t* data, uint32_t sector)
{
    encode_mode1_sector_with(path, out, data, sector);
}

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Best of five runs, each at least 0.3 s of whole passes over the buffers.
double measure(Method method, const std::vector<uint8_t>& in, std::vector<uint8_t>& out, size_t sectors)
{
    double best = 0;
    for (int run = 0; run < 5; ++run) {
        size_t passes = 0;
        const auto start = Clock::now();
        double elapsed = 0;
        do {
            for (size_t i = 0; i < sectors; ++i)
                method(out.data() + i * raw_sector_size, in.data() + i * user_data_size, uint32_t(i));
            ++passes;
        } while ((elapsed = seconds_since(start)) < 0.3);
        const double rate = double(passes * sectors * user_data_size) / elapsed / 1e6;
        if (rate > best)
            best = rate;
    }
    return best;
}

int run_encoder(size_t sectors)
{
    build_table16();
    std::vector<uint8_t> in(sectors * user_data_size), out(sectors * raw_sector_size);
    uint32_t seed = 12345;
    for (auto& b : in)
        b = uint8_t((seed = seed * 1103515245u + 12345u) >> 24);

    struct Entry {
        const char* name;
        Method method;
        bool available;
    };
    const Entry entries[] = {
        {"memcpy", copy_only, true},
        {"logexp (public log/exp matrix)", encode_logexp, true},
        {"table16 (public 16-bit tables)", encode_table16, true},
        {"portable", with_path<EncoderPath::portable>, true},
        {"ssse3", with_path<EncoderPath::ssse3>, encoder_path_available(EncoderPath::ssse3)},
        {"avx2", with_path<EncoderPath::avx2>, encoder_path_available(EncoderPath::avx2)},
        {"avx512", with_path<EncoderPath::avx512>, encoder_path_available(EncoderPath::avx512)},
        {"encode_mode1_sector", encode_mode1_sector, true},
    };
    // The public methods must give our bytes, or the comparison means nothing.
    uint8_t want[raw_sector_size], got[raw_sector_size];
    for (Method m : {encode_logexp, encode_table16}) {
        for (uint32_t s = 0; s < 4; ++s) {
            encode_mode1_sector_with(EncoderPath::portable, want, in.data() + s * user_data_size, s);
            m(got, in.data() + s * user_data_size, s);
            if (std::memcmp(want, got, raw_sector_size) != 0) {
                std::fprintf(stderr, "a reference method disagrees with the encoder\n");
                return 1;
            }
        }
    }
    std::printf("%zu sectors (%.1f MiB in, %.1f MiB out), one core, MB/s of user data\n", sectors,
                double(in.size()) / 1048576, double(out.size()) / 1048576);
    std::printf("fastest path here: %s\n", encoder_path_name(fastest_encoder_path()));
    for (const Entry& e : entries) {
        if (!e.available) {
            std::printf("  %-34s not supported by this processor\n", e.name);
            continue;
        }
        std::printf("  %-34s %8.0f\n", e.name, measure(e.method, in, out, sectors));
        std::fflush(stdout);
    }
    return 0;
}

bool same_contents(const std::string& a, const std::string& b)
{
    std::FILE* fa = std::fopen(a.c_str(), "rb");
    std::FILE* fb = std::fopen(b.c_str(), "rb");
    bool same = fa && fb;
    std::vector<char> x(1 << 20), y(1 << 20);
    while (same) {
        const size_t n = std::fread(x.data(), 1, x.size(), fa), m = std::fread(y.data(), 1, y.size(), fb);
        same = n == m && std::memcmp(x.data(), y.data(), n) == 0;
        if (n == 0)
            break;
    }
    if (fa)
        std::fclose(fa);
    if (fb)
        std::fclose(fb);
    return same;
}

int run_convert(const std::string& dir, size_t mib)
{
    const std::string plain = dir + "/bench_plain.iso", raw = dir + "/bench_raw.bin", back = dir + "/bench_back.iso";
    {
        std::FILE* f = std::fopen(plain.c_str(), "wb");
        if (!f) {
            std::fprintf(stderr, "cannot create %s\n", plain.c_str());
            return 1;
        }
        std::vector<uint8_t> block(1 << 20);
        uint32_t seed = 7;
        for (size_t i = 0; i < mib; ++i) {
            for (auto& b : block)
                b = uint8_t((seed = seed * 1103515245u + 12345u) >> 24);
            if (i == 0)
                std::memset(block.data(), 0, 32768);  // system area
            std::fwrite(block.data(), 1, block.size(), f);
        }
        std::fclose(f);
    }
    auto timed = [](const std::string& from, const std::string& to) {
        const auto start = Clock::now();
        const ConversionResult r = convert_image(from.c_str(), to.c_str());
        const double s = seconds_since(start);
        std::printf("  %-40s %6.2f s  (%s)\n",
                    (from.substr(from.rfind('/') + 1) + " -> " + to.substr(to.rfind('/') + 1)).c_str(), s,
                    conversion_result_text(r));
        return r;
    };
    std::printf("conversion of a %zu MiB image, including file I/O\n", mib);
    timed(plain, raw);
    timed(raw, back);
    std::printf("  round trip gives the same bytes: %s\n", same_contents(plain, back) ? "yes" : "NO");
    // A public raw-image extractor on the same raw image, where installed.
    if (std::system("command -v bchunk > /dev/null 2>&1") == 0) {
        std::FILE* cue = std::fopen((dir + "/bench_raw.cue").c_str(), "w");
        std::fprintf(cue, "FILE \"bench_raw.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n");
        std::fclose(cue);
        const std::string command = "cd '" + dir + "' && bchunk bench_raw.bin bench_raw.cue bench_bchunk > /dev/null";
        const auto start = Clock::now();
        const int status = std::system(command.c_str());
        std::printf("  %-40s %6.2f s  (%s)\n", "bchunk bench_raw.bin -> plain", seconds_since(start),
                    status == 0 && same_contents(plain, dir + "/bench_bchunk01.iso") ? "same bytes" : "FAILED");
        std::remove((dir + "/bench_raw.cue").c_str());
        std::remove((dir + "/bench_bchunk01.iso").c_str());
    }
    std::remove(plain.c_str());
    std::remove(raw.c_str());
    std::remove(back.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::string(argv[1]) == "convert")
        return run_convert(argv[2], argc >= 4 ? size_t(std::strtoul(argv[3], nullptr, 10)) : 640);
    const size_t sectors = argc >= 2 ? size_t(std::strtoul(argv[1], nullptr, 10)) : 8192;
    return run_encoder(sectors ? sectors : 8192);
}
