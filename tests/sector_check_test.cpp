// Raw sector checks, ECC repair and file hashes against answers the tests
// make themselves: an image of known sectors, corrupted at chosen places.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "verify/image_reader.h"
#include "sector/check.h"
#include "sector/hashes.h"
#include "sector/mode1.h"
#include "verify/image_check.h"
#include "verify/repair.h"
#include "test_support.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

// Sectors 0..9 Mode 1, then one each of Mode 2 Form 1, Form 2, formless,
// Mode 0 and audio, all at the addresses that follow from 00:02:00.
constexpr size_t mode1_sectors = 10, form1 = 10, form2 = 11, formless = 12, mode0 = 13, audio = 14, sector_total = 15;

void store32le(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

// A Mode 2 sector of either form at the address of sector `number`, its
// user data from `data` (Form 2 takes 2324 bytes: `data` twice over).
void make_mode2_sector(uint8_t* s, const uint8_t* data, uint32_t number, bool form2)
{
    encode_mode1_sector(s, data, number);  // sync and header
    s[15] = 2;
    const uint8_t subheader[4] = {1, 0, uint8_t(form2 ? 0x20 : 0x08), 0};
    std::memcpy(s + 16, subheader, 4);
    std::memcpy(s + 20, subheader, 4);
    std::memcpy(s + 24, data, user_data_size);
    if (form2) {
        std::memcpy(s + 24 + user_data_size, data, 2324 - user_data_size);
        store32le(s + 2348, mode1::edc_update(0, s + 16, 2332));
        return;
    }
    store32le(s + 2072, mode1::edc_update(0, s + 16, 2056));
    uint8_t header[4];
    std::memcpy(header, s + 12, 4);
    std::memset(s + 12, 0, 4);
    mode1::write_parity(s);
    std::memcpy(s + 12, header, 4);
}

// The tracks of test_image: Mode 1, then Mode 2 (Mode 0 among it), then audio.
const TrackList test_tracks = {{0, TrackMode::mode1}, {form1, TrackMode::mode2}, {audio, TrackMode::audio}};

Bytes test_image()
{
    std::mt19937 random(77);
    Bytes image(sector_total * raw_sector_size);
    for (auto& b : image)
        b = uint8_t(random());
    uint8_t data[user_data_size];
    for (size_t k = 0; k < mode1_sectors; ++k) {
        for (auto& b : data)
            b = uint8_t(random());
        encode_mode1_sector(&image[k * raw_sector_size], data, uint32_t(k));
    }
    make_mode2_sector(&image[form1 * raw_sector_size], data, form1, false);
    make_mode2_sector(&image[form2 * raw_sector_size], data, form2, true);
    for (size_t k : {formless, mode0}) {
        uint8_t* s = &image[k * raw_sector_size];
        encode_mode1_sector(s, data, uint32_t(k));  // sync and header
        s[15] = k == mode0 ? 0 : 2;
    }
    std::memset(&image[mode0 * raw_sector_size + 16], 0, raw_sector_size - 16);
    return image;
}

constexpr uint32_t bit(SectorFault f)
{
    return 1u << unsigned(f);
}
constexpr uint32_t edc = bit(SectorFault::edc), p = bit(SectorFault::p_parity), q = bit(SectorFault::q_parity),
                   address = bit(SectorFault::address);

struct Span {
    size_t offset, length;
};

TEST(RawSectorCheck, NamesExactlyTheCorruptedSectorsAndRepairsWithinTheRule)
{
    const Bytes clean = test_image();
    {
        RawSectorChecker checker;
        checker.tracks = test_tracks;
        check_raw_sectors(checker, clean.data(), sector_total);
        EXPECT_EQ(checker.summary.bad.count, 0u) << raw_check_text(checker.summary);
        const uint64_t kinds[] = {mode1_sectors, 1, 1, 1, 1, 1};
        for (size_t k = 0; k < sector_kind_count; ++k)
            EXPECT_EQ(checker.summary.kinds[k], kinds[k]) << sector_kind_name(SectorKind(k));
    }
    // Offsets are bytes of the sector; the ring (P and Q rows) starts at 12
    // and has rows of 86 bytes.
    struct Case {
        const char* name;
        size_t sector;
        std::vector<Span> spans;
        uint32_t faults;
        bool repairable;
        int fill = -1;  // the spans set to this byte, or (-1) XORed with a pattern
    };
    const uint32_t sync = bit(SectorFault::sync), mode = bit(SectorFault::mode),
                   zero_field = bit(SectorFault::zero_field);
    const Case cases[] = {
        {"one data byte", 3, {{700, 1}}, edc | p | q, true},
        {"data bytes in different codewords", 4, {{100, 1}, {1000, 2}, {2000, 1}}, edc | p | q, true},
        {"two bytes of one P column", 4, {{12 + 86 * 2 + 5, 1}, {12 + 86 * 9 + 5, 1}}, edc | p | q, true},
        {"one whole row", 5, {{12 + 86 * 7, 86}}, edc | p | q, true},
        {"half a row and the next half", 5, {{12 + 86 * 7 + 43, 86}}, edc | p | q, true},
        {"burst over P parity into Q parity", 5, {{2200, 86}}, p | q, true},
        {"two whole rows", 6, {{12 + 86 * 7, 172}}, edc | p | q, false},
        {"burst of 400 bytes", 6, {{900, 400}}, edc | p | q, false},
        {"EDC byte", 7, {{2065, 1}}, edc | p | q, true},
        {"zero field", 7, {{2070, 1}}, bit(SectorFault::zero_field) | p | q, true},
        {"P parity byte", 8, {{2076 + 40, 1}}, p, true},
        {"several P and Q bytes", 8, {{2100, 1}, {2200, 3}, {2300, 2}}, p | q, true},
        {"Q parity byte", 9, {{2351, 1}}, q, true},
        {"header address", 2, {{13, 1}}, address | edc | p | q, true},
        {"first sector's header", 0, {{14, 1}}, address | edc | p | q, true},
        {"mode byte", 2, {{15, 1}}, bit(SectorFault::mode) | edc | p | q, true},
        {"sync byte", 1, {{4, 1}}, bit(SectorFault::sync) | edc, true},
        {"whole sync", 1, {{0, 12}}, bit(SectorFault::sync) | edc, true},
        {"Form 1 data byte", form1, {{1500, 1}}, edc | p | q, true},
        {"Form 1 subheader copy", form1, {{21, 1}}, bit(SectorFault::subheader) | edc | p | q, true},
        {"Form 1 header address", form1, {{14, 1}}, address, false},
        {"Form 2 data byte", form2, {{1500, 1}}, edc, false},
        {"Mode 0 data byte", mode0, {{200, 1}}, mode | edc | p | q, true},
        {"audio sample", audio, {{200, 1}}, 0, false},
        // Sectors of a data track that look like audio or belong elsewhere.
        {"Mode 1 sector zeroed whole", 4, {{0, raw_sector_size}}, sync | address | mode, false, 0},
        {"Mode 1 sector of noise", 5, {{0, raw_sector_size}}, sync | address | mode | edc | zero_field | p | q, false},
        {"Mode 1 mode byte set to 2", 2, {{15, 1}}, mode | edc | p | q, true, 2},
        {"Mode 1 mode byte set to 0", 3, {{15, 1}}, mode | edc | p | q, true, 0},
        {"three sync bytes and the address", 6, {{2, 3}, {14, 1}}, sync | address | edc | p | q, true},
        {"Form 1 zeroed whole", form1, {{0, raw_sector_size}}, sync | address | mode, false, 0},
        {"Form 1 mode byte set to 1", form1, {{15, 1}}, mode, true, 1},
        {"Mode 1 sector in the Mode 2 track", formless, {{15, 1}}, mode, false, 1},
        {"Form 1 sync", form1, {{3, 4}}, sync, true},
        {"Mode 0 sync", mode0, {{0, 1}}, sync, true},
    };
    for (const Case& c : cases) {
        Bytes image = clean;
        uint8_t* s = &image[c.sector * raw_sector_size];
        for (const Span& span : c.spans)
            for (size_t i = 0; i < span.length; ++i)
                s[span.offset + i] = c.fill >= 0 ? uint8_t(c.fill) : uint8_t(s[span.offset + i] ^ (0x5A + i));
        RawSectorChecker checker;
        checker.tracks = test_tracks;
        check_raw_sectors(checker, image.data(), sector_total);
        const SectorList& bad = checker.summary.bad;
        if (c.faults == 0) {
            EXPECT_EQ(bad.count, 0u) << c.name;
            continue;
        }
        ASSERT_EQ(bad.count, 1u) << c.name << "\n" << raw_check_text(checker.summary);
        EXPECT_EQ(bad.first[0], c.sector) << c.name;
        const TrackMode track = track_mode_at(test_tracks, c.sector);
        EXPECT_EQ(check_sector(s, uint32_t(c.sector), track).faults, c.faults) << c.name;

        const Bytes corrupted(s, s + raw_sector_size);
        const SectorRepair outcome = repair_sector(s, uint32_t(c.sector), track);
        EXPECT_EQ(outcome, c.repairable ? SectorRepair::repaired : SectorRepair::unrepairable) << c.name;
        const uint8_t* want = c.repairable ? &clean[c.sector * raw_sector_size] : corrupted.data();
        EXPECT_EQ(0, std::memcmp(s, want, raw_sector_size)) << c.name;
    }
}

TEST(RawSectorCheck, SectorsNumberedOnFromAnyStartAddressAndAcrossBatches)
{
    // A track starting at 10:00:00 (sector 44850), checked in two batches;
    // one sector carries the address of another.
    Bytes image(8 * raw_sector_size);
    const Bytes data(user_data_size, 0x42);
    for (uint32_t k = 0; k < 8; ++k)
        encode_mode1_sector(&image[k * raw_sector_size], data.data(), 44850 + (k == 6 ? 9 : k));
    // The same with the first batch all of an audio track: the numbers come
    // from the first data track's sectors, whichever batch they are in.
    for (const TrackList& tracks : {TrackList{}, TrackList{{0, TrackMode::audio}, {3, TrackMode::mode1}}}) {
        RawSectorChecker checker;
        checker.tracks = tracks;
        check_raw_sectors(checker, image.data(), 3);
        check_raw_sectors(checker, image.data() + 3 * raw_sector_size, 5);
        EXPECT_EQ(checker.summary.sectors, 8u);
        ASSERT_EQ(checker.summary.bad.count, 1u) << raw_check_text(checker.summary);
        EXPECT_EQ(checker.summary.faults[size_t(SectorFault::address)].first[0], 6u);
    }
    EXPECT_EQ(repair_sector(&image[6 * raw_sector_size], 44856, TrackMode::mode1), SectorRepair::unrepairable);
}

std::string digests(const uint8_t* p, size_t n, size_t piece)
{
    FileHashes h;
    for (size_t done = 0; done < n; done += piece)
        hashes_update(h, p + done, std::min(piece, n - done));
    const HashValues v = hashes_finish(h);
    return v.crc32 + " " + v.md5 + " " + v.sha1 + " " + v.sha256;
}

TEST(FileHashes, KnownAnswersWholeAndInPieces)
{
    struct Case {
        std::string input;
        const char* want;  // CRC-32, MD5 (RFC 1321), SHA-1 and SHA-256 (FIPS 180 examples)
    };
    const Case cases[] = {
        {"",
         "00000000 d41d8cd98f00b204e9800998ecf8427e da39a3ee5e6b4b0d3255bfef95601890afd80709 "
         "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc",
         "352441c2 900150983cd24fb0d6963f7d28e17f72 a9993e364706816aba3e25717850c26c9cd0d89d "
         "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"123456789",
         "cbf43926 25f9e794323b453885f5181f1b624d0b f7c3bc1d808e04732adf679965ccc34ca7ae3441 "
         "15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "171a3f5f 8215ef0796a20bcaaae116d3876c664a 84983e441c3bd26ebaae4aa1f95129e5e54670f1 "
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "dc25bfbc 7707d6ae4e027c70eea2a935c2296f21 34aa973cd4c4daa4f61eeb2bdbad27316534016f "
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases)
        for (size_t piece : {size_t(1), size_t(63), size_t(64), size_t(1000), c.input.size() + 1})
            EXPECT_EQ(digests(reinterpret_cast<const uint8_t*>(c.input.data()), c.input.size(), piece), c.want)
                << c.input.substr(0, 20) << " in pieces of " << piece;
}

// The whole-file pass gives the answers of one hash fed in one piece and the
// sector check's own, whatever the number of threads and the hashes asked
// for: on a raw image past the ring of blocks (damage across a block
// boundary and in the last whole sector, a cut sector after it), a plain one
// and an empty file. A stop asked before the pass ends it.
TEST(ImageFileCheck, OnePassOnAnyNumberOfThreadsGivesTheSameAnswers)
{
    constexpr uint32_t raw_sectors = 8292;  // two rings of 16 blocks of 256 sectors and more
    Bytes raw(raw_sectors * raw_sector_size + 100);
    std::mt19937 random(9);
    uint8_t data[user_data_size];
    for (uint32_t k = 0; k < raw_sectors; ++k) {
        for (auto& b : data)
            b = uint8_t(random());
        encode_mode1_sector(&raw[k * raw_sector_size], data, k);
    }
    for (uint32_t k : {255u, 256u, raw_sectors - 1})
        raw[k * raw_sector_size + 1000] ^= 0x40;
    Bytes plain(1000 * 2048);
    for (auto& b : plain)
        b = uint8_t(random());
    struct Case {
        const char* name;
        const Bytes* bytes;
        ImageForm form;
        std::vector<uint64_t> bad;
    };
    const Bytes empty;
    const Case cases[] = {
        {"raw", &raw, ImageForm::raw, {255, 256, raw_sectors - 1}},
        {"plain", &plain, ImageForm::plain, {}},
        {"empty", &empty, ImageForm::unknown, {}},
    };
    const std::vector<HashKind> all(std::begin(all_hash_kinds), std::end(all_hash_kinds));
    TempTree tree;
    for (const Case& c : cases) {
        const std::string path = tree.file(c.name, std::string(c.bytes->begin(), c.bytes->end()));
        FileHashes whole;
        hashes_update(whole, c.bytes->data(), c.bytes->size());
        const HashValues want = hashes_finish(whole);
        for (unsigned threads : {1u, 2u, 3u, 6u})
            for (const std::vector<HashKind>& kinds : {all, std::vector<HashKind>{HashKind::sha256}, {}}) {
                const std::string where =
                    std::string(c.name) + ", " + std::to_string(threads) + " threads, " + std::to_string(kinds.size());
                ImageFileCheckOptions options;
                options.hashes = kinds;
                options.threads = threads;
                const ImageFileCheck check = check_image_file(path.c_str(), options);
                ASSERT_EQ(check.error, "") << where;
                EXPECT_FALSE(check.stopped) << where;
                EXPECT_EQ(check.form, c.form) << where;
                EXPECT_EQ(check.size, c.bytes->size()) << where;
                for (HashKind kind : all_hash_kinds) {
                    const bool asked = std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
                    EXPECT_EQ(check.hashes.at(kind), asked ? want.at(kind) : "") << where << " " << hash_name(kind);
                }
                if (c.form != ImageForm::raw)
                    continue;
                EXPECT_EQ(check.sectors.sectors, raw_sectors) << where;
                EXPECT_EQ(check.sectors.tail_bytes, 100u) << where;
                const SectorList& bad = check.sectors.bad;
                EXPECT_EQ(std::vector<uint64_t>(bad.first, bad.first + std::min<uint64_t>(bad.count, listed_sectors)),
                          c.bad)
                    << where;
                const volatile int32_t stop = 1;
                options.stop = &stop;
                EXPECT_TRUE(check_image_file(path.c_str(), options).stopped) << where;
            }
    }
}

#ifndef _WIN32
// The command line on an image with one repairable and one unrepairable
// sector: verify names both, repair mends one, convert names both by EDC and
// still writes the user data as it stands; hashes agree with Python's.
TEST(CheckCommands, VerifyRepairConvertAndHashesOfADamagedImage)
{
    if (!have_program("python3"))
        GTEST_SKIP() << "python3 is not installed";
    TempTree tree;
    const Bytes clean = test_image();
    Bytes image(clean.begin(), clean.begin() + mode1_sectors * raw_sector_size);
    image[3 * raw_sector_size + 500] ^= 1;
    for (size_t i = 0; i < 200; ++i)
        image[8 * raw_sector_size + 300 + i] ^= 0xFF;
    tree.file("bad.bin", std::string(image.begin(), image.end()));
    const std::string tool = program_path(), bad = tree.path("bad.bin");

    std::string out;
    EXPECT_EQ(run_command(tool + " verify --no-structure --hashes " + bad + " 2>&1", &out), 1);
    EXPECT_NE(out.find("bad sectors: 2 (3, 8)"), std::string::npos) << out;
    std::string python;
    ASSERT_EQ(run_command("python3 -c \"import zlib,hashlib,sys; d=open(sys.argv[1],'rb').read(); "
                          "print('size: %d bytes' % len(d)); print('CRC32: %08x' % zlib.crc32(d)); "
                          "print('MD5: ' + hashlib.md5(d).hexdigest()); "
                          "print('SHA-1: ' + hashlib.sha1(d).hexdigest()); "
                          "print('SHA-256: ' + hashlib.sha256(d).hexdigest())\" " +
                              bad,
                          &python),
              0);
    size_t line = 0;
    for (size_t end; (end = python.find('\n', line)) != std::string::npos; line = end + 1)
        EXPECT_NE(out.find("  " + python.substr(line, end - line) + "\n"), std::string::npos) << out << python;

    EXPECT_EQ(run_command(tool + " repair " + bad + " -o " + tree.path("fixed.bin") + " 2>&1", &out), 1);
    EXPECT_NE(out.find("repaired: 3\n"), std::string::npos) << out;
    EXPECT_NE(out.find("copied as they are: 8\n"), std::string::npos) << out;
    Bytes want = clean;
    want.resize(mode1_sectors * raw_sector_size);
    std::copy(image.begin() + 8 * raw_sector_size, image.begin() + 9 * raw_sector_size,
              want.begin() + 8 * raw_sector_size);
    EXPECT_EQ(read_whole_file(tree.path("fixed.bin")), std::string(want.begin(), want.end()));
    EXPECT_EQ(run_command(tool + " repair " + bad + " -o " + bad + " 2>&1", &out), 1);
    EXPECT_EQ(read_whole_file(bad), std::string(image.begin(), image.end()));

    EXPECT_EQ(run_command(tool + " convert " + bad + " 2>&1", &out), 1);
    EXPECT_NE(out.find("2 sectors with a bad EDC (3, 8)"), std::string::npos) << out;
    std::string plain;
    for (size_t k = 0; k < mode1_sectors; ++k)
        plain.append(reinterpret_cast<const char*>(&image[k * raw_sector_size + 16]), user_data_size);
    EXPECT_EQ(read_whole_file(bad + ".iso"), plain);
}

// The hashes of a plain, a raw and a damaged raw image (each past the first
// block the file is read in) equal Python's zlib.crc32 and the coreutils sum
// programs': in the report of --hashes, and from --hash as lines that
// sha256sum -c reads, with nothing else on stdout and the faults of the
// damaged image named on stderr (exit 1).
TEST(CheckCommands, HashesEqualPythonsAndTheSumProgramsOnAnyImage)
{
    for (const char* program : {"python3", "md5sum", "sha1sum", "sha256sum"})
        if (!have_program(program))
            GTEST_SKIP() << program << " is not installed";
    TempTree tree;
    tree.file_of_size("src/a.bin", 1500000, 3);
    const std::string tool = program_path(), plain = tree.path("plain.iso"), raw = tree.path("raw.bin"),
                      damaged = tree.path("damaged.bin");
    ASSERT_EQ(run_command(tool + " build --quiet -o " + plain + " " + tree.path("src")), 0);
    ASSERT_EQ(run_command(tool + " build --quiet --raw -o " + raw + " " + tree.path("src")), 0);
    std::string bytes = read_whole_file(raw);
    bytes[300 * raw_sector_size + 99] ^= 1;
    tree.file("damaged.bin", bytes);
    // A backslash in the path: the sum programs escape it and mark the line.
    const std::string escaped = tree.file("back\\slash.iso", read_whole_file(plain));
    struct Case {
        std::string image;
        int status;
        const char* stderr_says;
    };
    const Case cases[] = {{plain, 0, ""}, {raw, 0, ""}, {damaged, 1, "bad sectors: 1 (300)"}, {escaped, 0, ""}};
    for (const Case& c : cases) {
        const std::string image = "'" + c.image + "'";
        std::string out, python, sums;
        EXPECT_EQ(run_command(tool + " verify --no-structure --hashes " + image + " 2>&1", &out), c.status);
        ASSERT_EQ(run_command("python3 -c \"import zlib,hashlib,sys; d=open(sys.argv[1],'rb').read(); "
                              "print('size: %d bytes' % len(d)); print('CRC32: %08x' % zlib.crc32(d)); "
                              "print('MD5: ' + hashlib.md5(d).hexdigest()); "
                              "print('SHA-1: ' + hashlib.sha1(d).hexdigest()); "
                              "print('SHA-256: ' + hashlib.sha256(d).hexdigest())\" " +
                                  image,
                              &python),
                  0);
        size_t line = 0;
        for (size_t end; (end = python.find('\n', line)) != std::string::npos; line = end + 1)
            EXPECT_NE(out.find("  " + python.substr(line, end - line) + "\n"), std::string::npos) << out << python;

        // Named twice, printed once, in the order first named.
        const std::string errors = tree.path("errors.txt");
        EXPECT_EQ(run_command(tool + " verify --hash sha256 --hash=md5 --hash crc32 --hash sha1 --hash md5 " + image +
                                  " 2>" + errors,
                              &sums),
                  c.status);
        auto sum_by = [&image](const char* program) {
            std::string line;
            EXPECT_EQ(run_command(std::string(program) + " " + image, &line), 0) << program;
            return line;
        };
        // The CRC's line is md5sum's with the CRC in place of the MD5.
        std::string crc_line = sum_by("md5sum");
        crc_line.replace(crc_line.find(python.substr(python.find("MD5: ") + 5, 32)), 32,
                         python.substr(python.find("CRC32: ") + 7, 8));
        const std::string want_sums = sum_by("sha256sum") + sum_by("md5sum") + crc_line + sum_by("sha1sum");
        EXPECT_EQ(sums, want_sums) << c.image;
        const std::string said = read_whole_file(errors);
        EXPECT_NE(said.find(c.stderr_says), std::string::npos) << said;
        EXPECT_EQ(said.empty(), c.status == 0) << said;
        tree.file("SUMS", sums.substr(0, sums.find('\n') + 1));
        EXPECT_EQ(run_command("sha256sum -c --status " + tree.path("SUMS")), 0) << sums;
    }
}

// Damage inside a run of data sectors, and a file cut inside a sector, are
// named by verify, repair and convert alike (exit 1); a cue sheet tells the
// audio tracks of an image that mixes them with data. Each row runs one
// command on one image; {I} is the image, {T} the folder; a convert row with
// `output` set also compares the 2048-byte sectors it writes.
TEST(CheckCommands, DamageInARunOfDataSectorsIsNamedByEveryCommand)
{
    const Bytes clean = test_image();
    const Bytes mode1(clean.begin(), clean.begin() + mode1_sectors * raw_sector_size);
    auto changed = [](Bytes image, size_t at, std::initializer_list<int> bytes) {
        size_t i = at;
        for (int b : bytes)
            image[i++] = uint8_t(b);
        return image;
    };
    auto filled = [](Bytes image, size_t sector, uint8_t value) {
        std::fill_n(image.begin() + sector * raw_sector_size, raw_sector_size, value);
        return image;
    };
    Bytes noise = mode1;
    std::mt19937 random(5);
    for (size_t i = 0; i < raw_sector_size; ++i)
        noise[5 * raw_sector_size + i] = uint8_t(random());
    // Six Form 1 sectors from 00:02:00, the fifth Form 2 in `form2_inside`.
    Bytes form1_image(6 * raw_sector_size), form2_inside;
    std::string form1_data;
    for (uint32_t k = 0; k < 6; ++k) {
        const uint8_t* data = &mode1[k * raw_sector_size + 16];
        make_mode2_sector(&form1_image[k * raw_sector_size], data, k, false);
        form1_data.append(reinterpret_cast<const char*>(data), user_data_size);
    }
    form2_inside = form1_image;
    make_mode2_sector(&form2_inside[4 * raw_sector_size], &mode1[16], 4, true);
    // Sectors 0..5 Mode 1, 6..9 audio samples.
    Bytes mixed = mode1;
    for (size_t i = 6 * raw_sector_size; i < mixed.size(); ++i)
        mixed[i] = uint8_t(random());
    const std::string sheet =
        "FILE \"x.bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n"
        "  TRACK 02 AUDIO\r\n    INDEX 01 00:00:06\r\n";
    auto plain_of = [](const Bytes& image) {
        std::string plain;
        for (size_t k = 0; k < image.size() / raw_sector_size; ++k)
            plain.append(reinterpret_cast<const char*>(&image[k * raw_sector_size + 16]), user_data_size);
        return plain;
    };
    struct Case {
        const char* name;
        Bytes image;
        const char* command;
        int status;
        const char* says;
        std::string output = {};
    };
    const Case cases[] = {
        {"zeroed sector", filled(mode1, 4, 0), "verify --no-structure {I}", 1, "sync: 1 (4)"},
        {"zeroed sector", filled(mode1, 4, 0), "repair {I} -o {T}/out", 1,
         "unrepairable sectors, copied as they are: 4"},
        {"zeroed sector", filled(mode1, 4, 0), "convert {I}", 1,
         "no Mode 1 sector of this image where they stand (sync, header address or mode byte; zeroed, foreign or "
         "audio): 1 (4)"},
        {"sector of noise", noise, "verify --no-structure {I}", 1, "bad sectors: 1 (5)"},
        {"sector of noise", noise, "repair {I} -o {T}/out", 1, "copied as they are: 5"},
        {"sector of ones", filled(mode1, 7, 0xFF), "verify --no-structure {I}", 1, "bad sectors: 1 (7)"},
        {"mode byte 1 -> 2", changed(mode1, 2 * raw_sector_size + 15, {2}), "verify --no-structure {I}", 1,
         "mode byte: 1 (2)"},
        {"mode byte 1 -> 2", changed(mode1, 2 * raw_sector_size + 15, {2}), "repair {I} -o {T}/out", 0,
         "1 repaired, 0 unrepairable\n  repaired: 2\n"},
        {"mode byte 1 -> 2", changed(mode1, 2 * raw_sector_size + 15, {2}), "convert {I}", 1,
         "where they stand (sync, header address or mode byte; zeroed, foreign or audio): 1 (2)"},
        {"cut inside a sector", Bytes(mode1.begin(), mode1.end() - 100), "verify --no-structure {I}", 1,
         "the last 2252 bytes are less than one sector"},
        {"cut inside a sector", Bytes(mode1.begin(), mode1.end() - 100), "repair {I} -o {T}/out", 1,
         "the file is cut inside its last sector: the last 2252 bytes"},
        {"cut inside a sector", Bytes(mode1.begin(), mode1.end() - 100), "convert {I}", 1,
         "the file is cut inside its last sector: the last 2252 bytes"},
        {"sector 0 sync zeroed", changed(mode1, 0, {0, 0, 0, 0, 0, 0}), "verify --no-structure {I}", 1,
         "bad sectors: 1 (0)"},
        {"sector 0 sync zeroed", changed(mode1, 0, {0, 0, 0, 0, 0, 0}), "repair {I} -o {T}/out", 0, "repaired: 0\n"},
        {"sector 0 zeroed", filled(mode1, 0, 0), "convert {I}", 1, "2352-byte sectors to 2048-byte sectors"},
        {"sound Form 1 image", form1_image, "verify --no-structure {I}", 0, "Mode 2 Form 1 6)"},
        {"sound Form 1 image", form1_image, "repair {I} -o {T}/out", 0, "0 repaired, 0 unrepairable"},
        {"sound Form 1 image", form1_image, "convert {I}", 0, "2352-byte sectors to 2048-byte sectors", form1_data},
        {"Form 2 in a Form 1 image", form2_inside, "convert {I}", 1, "Form 2 or without a form (4)"},
        {"mixed image without a sheet", mixed, "verify --no-structure {I}", 1, "bad sectors: 4 (6, 7, 8, 9)"},
        {"mixed image with its sheet", mixed, "verify --no-structure --cue {T}/x.cue {I}", 0,
         "(Mode 1 6, audio 4 (not checked))"},
        {"mixed image with its sheet", filled(mixed, 3, 0), "verify --no-structure --cue {T}/x.cue {I}", 1,
         "bad sectors: 1 (3)"},
        {"mixed image with its sheet", mixed, "repair --cue {T}/x.cue {I} -o {T}/out", 0, "0 unrepairable"},
        {"sheet for two images", mixed, "verify --cue {T}/x.cue {I} {I}", 2, "--cue takes the cue sheet of one IMAGE"},
        {"sheet that is not one", mixed, "verify --cue={I} {I}", 1, "line 1: a line that is not text: nothing was"},
        {"missing sheet", mixed, "repair --cue {T}/none.cue {I} -o {T}/out", 1, "cannot read it"},
        {"sound Mode 1 image", mode1, "convert {I}", 0, "2352-byte sectors to 2048-byte sectors", plain_of(mode1)},
    };
    const std::string tool = program_path();
    for (const Case& c : cases) {
        TempTree tree;
        tree.file("x.bin", std::string(c.image.begin(), c.image.end()));
        tree.file("x.cue", sheet);
        std::string command = c.command;
        for (size_t at; (at = command.find("{I}")) != std::string::npos;)
            command.replace(at, 3, tree.path("x.bin"));
        for (size_t at; (at = command.find("{T}")) != std::string::npos;)
            command.replace(at, 3, tree.root);
        std::string out;
        EXPECT_EQ(run_command(tool + " " + command + " 2>&1", &out), c.status) << c.name << ": " << command << "\n"
                                                                               << out;
        EXPECT_NE(out.find(c.says), std::string::npos) << c.name << ": " << command << "\n" << out;
        if (!c.output.empty()) {
            EXPECT_EQ(read_whole_file(tree.path("x.bin.iso")), c.output) << c.name;
        }
    }
}

TEST(CheckCommands, FreshBuildsVerifySoundAndUsageErrorsGiveTwo)
{
    TempTree tree;
    tree.file_of_size("src/a.bin", 100000, 5);
    const std::string tool = program_path();
    for (const char* form : {"--raw", ""}) {
        const std::string image = tree.path(*form ? "raw.bin" : "plain.iso");
        ASSERT_EQ(run_command(tool + " build --quiet " + form + " -o " + image + " " + tree.path("src")), 0);
        std::string out;
        const int status = run_command(tool + " verify " + image + " 2>&1", &out);
        EXPECT_NE(out.find(*form ? "bad sectors: none\n" : "no EDC or ECC to check"), std::string::npos) << out;
        EXPECT_EQ(status, 0) << out;
        EXPECT_EQ(run_command(tool + " verify --no-structure " + image + " 2>&1", &out), 0) << out;
    }
    for (const char* args : {"verify", "verify --bogus x", "repair x", "repair -o y", "repair a b -o y", "verify --cue",
                             "verify --cue= x", "repair --cue a --cue b x -o y", "verify --hash sha512 x",
                             "verify --hash= x", "verify x --hash", "verify --hashes --hash md5 x"})
        EXPECT_EQ(run_command(tool + " " + args + " 2>/dev/null"), 2) << args;
}

// 16,400 folders take two sectors each in the two trees, over 64 MiB of
// directory records, all of them sound: the reader's cap follows the file.
TEST(CheckCommands, ImageOfSixteenThousandFoldersVerifiesSound)
{
    EXPECT_EQ(directory_byte_cap(100), uint64_t(64) << 20);
    EXPECT_GE(directory_byte_cap(65535u * 4 + 20), uint64_t(65535) * 2 * 2048);
    // Removing this many folders from a disk that discards freed blocks takes
    // a minute; from a file system in memory, a moment.
    const std::string memory = "/dev/shm";
    TempTree disk;
    std::string root = disk.root;
    if (std::filesystem::is_directory(memory))
        root = memory + "/tw_many_" + std::to_string(::getpid());
    struct Removed {
        std::string path;
        ~Removed() { std::filesystem::remove_all(path); }
    } removed{root};
    for (int i = 0; i < 16400; ++i)
        std::filesystem::create_directories(root + "/many/d" + std::to_string(i));
    const std::string tool = program_path(), image = root + "/many.iso";
    std::string out;
    EXPECT_EQ(run_command(tool + " build --quiet --verify -o " + image + " " + root + "/many 2>&1", &out), 0) << out;
    EXPECT_EQ(run_command(tool + " verify " + image + " 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("Joliet tree: 16402 directories"), std::string::npos) << out;
}
#endif

}  // namespace
