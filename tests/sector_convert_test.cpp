// Image conversion between 2048-byte and 2352-byte sector files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "sector/convert.h"
#include "sector/mode1.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class Conversion : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return tree.path(name); }
    TempTree tree;
    fs::path dir{tree.root};
};

void write_file(const std::string& path, const Bytes& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// A plain image of n sectors: zero first sector start, random bytes after.
Bytes plain_image(size_t sectors, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes image(sectors * user_data_size);
    for (auto& b : image)
        b = uint8_t(random());
    std::fill(image.begin(), image.begin() + 16, 0);
    return image;
}

TEST_F(Conversion, PlainToRawAndBackAcrossBatchBoundaries)
{
    const size_t n = 131;  // more than two batches of reads and writes
    const Bytes plain = plain_image(n, 1);
    write_file(path("disc.iso"), plain);

    ASSERT_EQ(convert_image(path("disc.iso").c_str(), path("disc.bin").c_str()), ConversionResult::plain_to_raw);
    const Bytes raw = read_file(path("disc.bin"));
    ASSERT_EQ(raw.size(), n * raw_sector_size);
    for (size_t k = 0; k < n; ++k) {
        uint8_t want[raw_sector_size];
        encode_mode1_sector(want, plain.data() + k * user_data_size, uint32_t(k));
        ASSERT_EQ(0, std::memcmp(raw.data() + k * raw_sector_size, want, raw_sector_size)) << "sector " << k;
    }
    const uint8_t first_header[4] = {0x00, 0x02, 0x00, 0x01};
    EXPECT_EQ(0, std::memcmp(raw.data() + 12, first_header, 4));

    ASSERT_EQ(convert_image(path("disc.bin").c_str(), path("back.iso").c_str()), ConversionResult::raw_to_plain);
    EXPECT_EQ(read_file(path("back.iso")), plain);
}

TEST_F(Conversion, RawTailAndPlainTailShorterThanASectorAreDropped)
{
    Bytes raw;
    const Bytes plain = plain_image(3, 2);
    for (size_t k = 0; k < 3; ++k) {
        uint8_t sector[raw_sector_size];
        encode_mode1_sector(sector, plain.data() + k * user_data_size, uint32_t(k));
        raw.insert(raw.end(), sector, sector + raw_sector_size);
    }
    raw.insert(raw.end(), 100, 0x5A);
    write_file(path("tail.bin"), raw);
    ASSERT_EQ(convert_image(path("tail.bin").c_str(), path("tail.iso").c_str()), ConversionResult::raw_to_plain);
    EXPECT_EQ(read_file(path("tail.iso")), plain);

    Bytes plain_tail = plain;
    plain_tail.insert(plain_tail.end(), 2047, 0x11);
    write_file(path("plain"), plain_tail);
    ASSERT_EQ(convert_image(path("plain").c_str(), path("plain.bin").c_str()), ConversionResult::plain_to_raw);
    EXPECT_EQ(read_file(path("plain.bin")).size(), 3 * raw_sector_size);
}

TEST_F(Conversion, RefusedInputsCreateNothingAndKeepAnExistingOutput)
{
    Bytes sync_start(2351, 0);
    std::fill(sync_start.begin() + 1, sync_start.begin() + 11, 0xFF);
    Bytes boot_loader(8192, 0x90);
    boot_loader[0] = 0xEB;
    struct Case {
        const char* name;
        Bytes contents;
        ConversionResult want;
    };
    const Case cases[] = {
        {"empty", {}, ConversionResult::too_short},
        {"three-bytes", {0, 0, 0}, ConversionResult::too_short},
        {"zeros-2047", Bytes(2047, 0), ConversionResult::too_short},
        {"sync-2351", sync_start, ConversionResult::too_short},
        {"text-100", Bytes(100, 'A'), ConversionResult::too_short},
        {"boot-loader", boot_loader, ConversionResult::unknown_form},
        {"sync-partial", Bytes{0x00, 0xFF, 0xFF, 0x00, 0, 0, 0, 0}, ConversionResult::too_short},
    };
    for (const Case& c : cases) {
        const std::string in = path(c.name), fresh = in + ".new", kept = in + ".iso";
        write_file(in, c.contents);
        write_file(kept, Bytes{'k', 'e', 'e', 'p'});
        EXPECT_EQ(convert_image(in.c_str(), fresh.c_str()), c.want) << c.name;
        EXPECT_FALSE(fs::exists(fresh)) << c.name;
        EXPECT_EQ(convert_image(in.c_str(), kept.c_str()), c.want) << c.name;
        EXPECT_EQ(read_file(kept), (Bytes{'k', 'e', 'e', 'p'})) << c.name;
        EXPECT_EQ(read_file(in), c.contents) << c.name;
    }
    EXPECT_EQ(convert_image(path("missing").c_str(), path("missing.iso").c_str()), ConversionResult::cannot_open_input);
    EXPECT_FALSE(fs::exists(path("missing.iso")));
}

// The Tool window's conversion decides by the first four bytes; the command
// line's, by the first sector starts, so that a raw image whose first sector
// is damaged is still converted as one (and that sector named).
TEST(ConversionDirection, FirstFourBytesOrFirstSectorStarts)
{
    Bytes raw(4 * raw_sector_size);
    const Bytes plain = plain_image(4, 6);
    for (size_t k = 0; k < 4; ++k)
        encode_mode1_sector(&raw[k * raw_sector_size], plain.data() + k * user_data_size, uint32_t(k));
    auto with = [](Bytes b, size_t at, size_t n, uint8_t value) {
        std::fill_n(b.begin() + at, n, value);
        return b;
    };
    Bytes raw_cut(raw.begin(), raw.begin() + 2351);
    struct Case {
        const char* name;
        Bytes bytes;
        ConversionResult by_start, checked;
    };
    const Case cases[] = {
        {"raw", raw, ConversionResult::raw_to_plain, ConversionResult::raw_to_plain},
        {"raw, sector 0 zeroed", with(raw, 0, raw_sector_size, 0), ConversionResult::plain_to_raw,
         ConversionResult::raw_to_plain},
        {"raw, sync byte 1 damaged", with(raw, 1, 1, 0x7F), ConversionResult::unknown_form,
         ConversionResult::raw_to_plain},
        {"raw, sectors 1..3 without sync, sync byte 5 damaged",
         with(with(raw, raw_sector_size, 3 * raw_sector_size, 0), 5, 1, 0), ConversionResult::raw_to_plain,
         ConversionResult::raw_to_plain},
        {"sync then zeros", with(Bytes(3 * raw_sector_size, 0), 1, 3, 0xFF), ConversionResult::raw_to_plain,
         ConversionResult::unknown_form},
        {"plain", plain, ConversionResult::plain_to_raw, ConversionResult::plain_to_raw},
        {"one raw sector less a byte", raw_cut, ConversionResult::too_short, ConversionResult::too_short},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(conversion_direction(c.bytes.data(), 4, c.bytes.size()), c.by_start) << c.name;
        const size_t probe = std::min(c.bytes.size(), form_probe_bytes);
        EXPECT_EQ(checked_conversion_direction(c.bytes.data(), probe, c.bytes.size()), c.checked) << c.name;
    }
}

TEST_F(Conversion, NeverOverwritesItsInput)
{
    const Bytes plain = plain_image(2, 3);
    write_file(path("a.iso"), plain);
    fs::create_hard_link(path("a.iso"), path("b.iso"));
    EXPECT_EQ(convert_image(path("a.iso").c_str(), path("a.iso").c_str()), ConversionResult::output_is_input);
    // Through a second name: found by file identity where the platform has
    // one, otherwise refused by the input's read-only sharing.
    const ConversionResult linked = convert_image(path("a.iso").c_str(), path("b.iso").c_str());
    EXPECT_TRUE(linked == ConversionResult::output_is_input || linked == ConversionResult::cannot_create_output);
    EXPECT_EQ(read_file(path("a.iso")), plain);
    EXPECT_EQ(convert_image(path("a.iso").c_str(), path("no/such/dir.bin").c_str()),
              ConversionResult::cannot_create_output);
}

TEST(ConvertedName, AppendsIsoWhileItFits511Bytes)
{
    char out[converted_name_capacity];
    ASSERT_TRUE(make_converted_name("disc.iso", out));
    EXPECT_STREQ(out, "disc.iso.iso");
    const std::string longest(507, 'a');
    ASSERT_TRUE(make_converted_name(longest.c_str(), out));
    EXPECT_EQ(std::string(out), longest + ".iso");
    EXPECT_FALSE(make_converted_name(std::string(508, 'a').c_str(), out));
    EXPECT_STREQ(out, "");
}

TEST_F(Conversion, BchunkReadsOurRawImageBackToThePlainImage)
{
    if (std::system("command -v bchunk > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "bchunk is not installed";
    const Bytes plain = plain_image(40, 4);
    write_file(path("x.iso"), plain);
    ASSERT_EQ(convert_image(path("x.iso").c_str(), path("x.bin").c_str()), ConversionResult::plain_to_raw);
    std::ofstream(path("x.cue")) << "FILE \"x.bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n";
    const std::string command = "cd '" + dir.string() + "' && bchunk x.bin x.cue out > /dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read_file(path("out01.iso")), plain);
}

}  // namespace
