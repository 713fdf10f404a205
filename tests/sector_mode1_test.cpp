// Mode 1 encoder against a reference written the slow textbook way: the EDC
// shifted bit by bit through the register of the ECMA-130 polynomial, P and Q
// by long division by the generator (x + 1)(x + alpha) of each codeword.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "sector/mode1.h"

namespace {

using Sector = std::vector<uint8_t>;

uint8_t field_mul(uint8_t a, uint8_t b)
{  // shift and add, x^8 + x^4 + x^3 + x^2 + 1
    uint8_t r = 0;
    for (; b; b >>= 1) {
        if (b & 1)
            r ^= a;
        a = uint8_t((a << 1) ^ ((a & 0x80) ? 0x1D : 0));
    }
    return r;
}

uint32_t reflected_edc_polynomial()
{
    // (x^16 + x^15 + x^2 + 1)(x^16 + x^2 + x + 1) over GF(2), bit i = x^i.
    const uint64_t f = 0x18005, g = 0x10007;
    uint64_t product = 0;
    for (int i = 0; i < 17; ++i)
        if (g >> i & 1)
            product ^= f << i;
    uint32_t reflected = 0;  // x^31 in bit 0 ... x^0 in bit 31; x^32 implied
    for (int i = 0; i < 32; ++i)
        if (product >> i & 1)
            reflected |= 1u << (31 - i);
    return reflected;
}

uint32_t reference_edc(const uint8_t* p, size_t n)
{
    const uint32_t poly = reflected_edc_polynomial();
    uint32_t reg = 0;
    for (size_t i = 0; i < n; ++i)
        for (int bit = 0; bit < 8; ++bit) {
            const bool feedback = ((p[i] >> bit) ^ reg) & 1;
            reg >>= 1;
            if (feedback)
                reg ^= poly;
        }
    return reg;
}

// Remainder of data(x) * x^2 divided by x^2 + 3x + 2; returns {x^1, x^0} coefficients.
std::pair<uint8_t, uint8_t> reference_parity(const std::vector<uint8_t>& data)
{
    uint8_t r1 = 0, r0 = 0;
    for (uint8_t d : data) {
        const uint8_t feedback = d ^ r1;
        r1 = uint8_t(r0 ^ field_mul(feedback, 3));
        r0 = field_mul(feedback, 2);
    }
    return {r1, r0};
}

size_t p_position(int column, int j)
{
    return 12 + 86 * j + column;
}
size_t q_position(int diagonal, int j)
{
    return 12 + (86 * (diagonal / 2) + 88 * j + diagonal % 2) % 2236;
}

Sector reference_encode(const uint8_t* data, uint32_t sector_number)
{
    Sector s(raw_sector_size, 0);
    for (int i = 1; i < 11; ++i)
        s[i] = 0xFF;
    const uint64_t a = uint64_t(sector_number) + 150;
    const unsigned fields[3] = {unsigned(a / 4500 % 160), unsigned(a / 75 % 60), unsigned(a % 75)};
    for (int i = 0; i < 3; ++i)
        s[12 + i] = uint8_t(fields[i] / 10 * 16 + fields[i] % 10);
    s[15] = 1;
    std::memcpy(&s[16], data, user_data_size);
    const uint32_t edc = reference_edc(s.data(), 2064);
    for (int i = 0; i < 4; ++i)
        s[2064 + i] = uint8_t(edc >> (8 * i));
    for (int k = 0; k < 86; ++k) {
        std::vector<uint8_t> v;
        for (int j = 0; j < 24; ++j)
            v.push_back(s[p_position(k, j)]);
        std::tie(s[2076 + k], s[2162 + k]) = reference_parity(v);
    }
    for (int k = 0; k < 52; ++k) {
        std::vector<uint8_t> v;
        for (int j = 0; j < 43; ++j)
            v.push_back(s[q_position(k, j)]);
        std::tie(s[2248 + k], s[2300 + k]) = reference_parity(v);
    }
    return s;
}

// The two parity equations: XOR of v[k] = 0, XOR of alpha^(n+1-k) v[k] = 0.
bool codeword_holds(const std::vector<uint8_t>& v)
{
    uint8_t s0 = 0, s1 = 0;
    for (uint8_t x : v) {
        s0 ^= x;
        s1 = uint8_t(field_mul(s1, 2) ^ x);  // Horner: x_k gets alpha^(len-1-k)
    }
    return s0 == 0 && s1 == 0;
}

std::string first_difference(const Sector& got, const Sector& want)
{
    for (size_t i = 0; i < want.size(); ++i)
        if (got[i] != want[i])
            return "first difference at byte " + std::to_string(i) + ": got " + std::to_string(got[i]) + ", want " +
                   std::to_string(want[i]);
    return "";
}

struct Pattern {
    std::string name;
    std::vector<uint8_t> data;
    uint32_t sector_number;
};

std::vector<Pattern> edge_patterns()
{
    std::vector<Pattern> patterns;
    const uint32_t numbers[] = {0, 1, 74, 75, 4350, 449849, 449850, 719850, 0xFFFFFFFFu};
    for (uint32_t n : numbers) {
        patterns.push_back({"zero@" + std::to_string(n), std::vector<uint8_t>(2048, 0), n});
        patterns.push_back({"ones@" + std::to_string(n), std::vector<uint8_t>(2048, 0xFF), n});
    }
    std::vector<uint8_t> ramp(2048);
    for (int i = 0; i < 2048; ++i)
        ramp[i] = uint8_t(i * 7 + (i >> 8));
    patterns.push_back({"ramp", ramp, 12345});
    // Single bytes at the ends of rows and diagonals, and near block edges.
    for (int at : {0, 1, 15, 16, 69, 70, 71, 155, 156, 1000, 2031, 2032, 2046, 2047})
        for (uint8_t value : {uint8_t(0x01), uint8_t(0x80), uint8_t(0xFF)}) {
            std::vector<uint8_t> d(2048, 0);
            d[at] = value;
            patterns.push_back({"byte" + std::to_string(at) + "=" + std::to_string(value), d, 7});
        }
    std::mt19937 random(20240611);
    for (int i = 0; i < 300; ++i) {
        std::vector<uint8_t> d(2048);
        for (auto& b : d)
            b = uint8_t(random());
        patterns.push_back({"random" + std::to_string(i), d, uint32_t(random())});
    }
    return patterns;
}

TEST(Mode1Header, AddressesInBcd)
{
    struct Case {
        uint32_t sector;
        uint8_t bytes[4];
    };
    const Case cases[] = {
        {0, {0x00, 0x02, 0x00, 0x01}},
        {74, {0x00, 0x02, 0x74, 0x01}},
        {75, {0x00, 0x03, 0x00, 0x01}},
        {4350, {0x01, 0x00, 0x00, 0x01}},
        {44850, {0x10, 0x00, 0x00, 0x01}},
        {449849, {0x99, 0x59, 0x74, 0x01}},
        // Past 99:59:74 the tens of the minute run on as A..F, then wrap.
        {449850, {0xA0, 0x00, 0x00, 0x01}},
        {719849, {0xF9, 0x59, 0x74, 0x01}},
        {719850, {0x00, 0x00, 0x00, 0x01}},
        {0xFFFFFFFFu, {0x37, 0x12, 0x45, 0x01}},
    };
    const std::vector<uint8_t> zeros(2048, 0);
    for (const Case& c : cases) {
        uint8_t out[2352];
        encode_mode1_sector(out, zeros.data(), c.sector);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(out[12 + i], c.bytes[i]) << "sector " << c.sector << " byte " << i;
    }
}

TEST(Mode1Reference, EdcOfZeroSectorAndFixedFields)
{
    const std::vector<uint8_t> zeros(2048, 0);
    const Sector s = reference_encode(zeros.data(), 0);
    const uint8_t edc[4] = {0xC5, 0x13, 0x68, 0x2B};
    EXPECT_EQ(0, std::memcmp(&s[2064], edc, 4));
    EXPECT_EQ(mode1::edc_update(0, s.data(), 2064), reference_edc(s.data(), 2064));
    EXPECT_EQ(reflected_edc_polynomial(), mode1::edc_polynomial);
}

// The tables are constant expressions (made by the compiler).
static_assert(mode1::edc_table[0x80] == mode1::edc_polynomial);
static_assert(mode1::gf_exp[8] == 0x1D && mode1::gf_log[0x1D] == 8);
static_assert(mode1::p_coefficient_logs[0].size() == 24 && mode1::q_coefficient_logs[1].size() == 43);

// Coefficient j is the parity of a codeword whose only nonzero data byte is a 1 at j.
TEST(Mode1Reference, CoefficientTablesAreTheParityOfUnitData)
{
    auto check = [](const auto& logs, int n) {
        for (int j = 0; j < n; ++j) {
            std::vector<uint8_t> unit(n, 0);
            unit[j] = 1;
            const auto [p0, p1] = reference_parity(unit);
            EXPECT_EQ(mode1::gf_exp[logs[0][j]], p0) << "n " << n << " j " << j;
            EXPECT_EQ(mode1::gf_exp[logs[1][j]], p1) << "n " << n << " j " << j;
        }
    };
    check(mode1::p_coefficient_logs, 24);
    check(mode1::q_coefficient_logs, 43);
    for (int i = 0; i < 255; ++i)
        EXPECT_EQ(mode1::gf_log[mode1::gf_exp[i]], i);
}

TEST(Mode1Reference, CodewordsSatisfyBothParityEquations)
{
    for (const Pattern& p : edge_patterns()) {
        const Sector s = reference_encode(p.data.data(), p.sector_number);
        for (int k = 0; k < 86; ++k) {
            std::vector<uint8_t> v;
            for (int j = 0; j < 24; ++j)
                v.push_back(s[p_position(k, j)]);
            v.push_back(s[2076 + k]);
            v.push_back(s[2162 + k]);
            ASSERT_TRUE(codeword_holds(v)) << p.name << " P column " << k;
        }
        for (int k = 0; k < 52; ++k) {
            std::vector<uint8_t> v;
            for (int j = 0; j < 43; ++j)
                v.push_back(s[q_position(k, j)]);
            v.push_back(s[2248 + k]);
            v.push_back(s[2300 + k]);
            ASSERT_TRUE(codeword_holds(v)) << p.name << " Q diagonal " << k;
        }
    }
}

class Mode1Path : public ::testing::TestWithParam<EncoderPath> {
protected:
    void SetUp() override
    {
        if (!encoder_path_available(GetParam()))
            GTEST_SKIP() << encoder_path_name(GetParam()) << " not supported here";
    }
};

TEST_P(Mode1Path, MatchesReferenceOnEdgeAndRandomSectors)
{
    for (const Pattern& p : edge_patterns()) {
        Sector got(raw_sector_size, 0xA5);
        encode_mode1_sector_with(GetParam(), got.data(), p.data.data(), p.sector_number);
        const Sector want = reference_encode(p.data.data(), p.sector_number);
        ASSERT_EQ(got, want) << p.name << ": " << first_difference(got, want);
        // The EDC check of a conversion reads it back on the same path.
        std::vector<uint8_t> copy(2048);
        const uint32_t edc = mode1_edc_and_copy_with(GetParam(), want.data(), copy.data());
        ASSERT_EQ(edc, uint32_t(want[2064] | want[2065] << 8 | want[2066] << 16 | uint32_t(want[2067]) << 24))
            << p.name;
        ASSERT_TRUE(std::equal(copy.begin(), copy.end(), p.data.begin())) << p.name;
    }
}

TEST_P(Mode1Path, OutputIndependentOfOldBufferAndAlignment)
{
    std::mt19937 random(7);
    std::vector<uint8_t> input(2048 + 64);
    for (auto& b : input)
        b = uint8_t(random());
    for (size_t in_shift : {0, 1, 13})
        for (size_t out_shift : {0, 3, 32}) {
            const uint8_t* data = input.data() + in_shift;
            const Sector want = reference_encode(data, 99);
            for (int fill : {0x00, 0xFF, -1}) {
                std::vector<uint8_t> buffer(raw_sector_size + 64);
                for (auto& b : buffer)
                    b = fill < 0 ? uint8_t(random()) : uint8_t(fill);
                encode_mode1_sector_with(GetParam(), buffer.data() + out_shift, data, 99);
                const Sector got(buffer.begin() + out_shift, buffer.begin() + out_shift + raw_sector_size);
                ASSERT_EQ(got, want) << "in+" << in_shift << " out+" << out_shift << " fill " << fill << ": "
                                     << first_difference(got, want);
                // Nothing outside the 2352 bytes is touched.
                if (fill >= 0) {
                    for (size_t i = 0; i < out_shift; ++i)
                        ASSERT_EQ(buffer[i], fill);
                    ASSERT_EQ(buffer[out_shift + raw_sector_size], fill);
                }
            }
        }
}

INSTANTIATE_TEST_SUITE_P(AllPaths, Mode1Path, ::testing::ValuesIn(all_encoder_paths),
                         [](const auto& info) { return std::string(encoder_path_name(info.param)); });

TEST(Mode1Dispatch, DefaultIsTheFastestAvailablePath)
{
    ASSERT_TRUE(encoder_path_available(fastest_encoder_path()));
    EXPECT_EQ(default_encoder_path(), fastest_encoder_path()) << encoder_path_name(default_encoder_path());
    // The paths are listed slowest first: none after the chosen one is available.
    bool after = false;
    for (EncoderPath path : all_encoder_paths) {
        if (after) {
            EXPECT_FALSE(encoder_path_available(path)) << encoder_path_name(path);
        }
        after = after || path == fastest_encoder_path();
    }
    EXPECT_TRUE(encoder_path_available(EncoderPath::portable));
    std::vector<uint8_t> data(2048);
    for (int i = 0; i < 2048; ++i)
        data[i] = uint8_t(i * 31);
    uint8_t a[2352], b[2352];
    encode_mode1_sector(a, data.data(), 5);
    encode_mode1_sector_with(fastest_encoder_path(), b, data.data(), 5);
    EXPECT_EQ(0, std::memcmp(a, b, sizeof a));
}

}  // namespace
