// The UEFI catalog entries and the partition tables of a hybrid image against
// bytes worked out by hand from El Torito 1.0 and UEFI 2.x (chapter 5).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "mastering/boot.h"
#include "mastering/partition_table.h"
#include "platform/endian.h"
#include "sector/hashes.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes slice(const uint8_t* p, size_t n)
{
    return Bytes(p, p + n);
}

TEST(UefiCatalog, EntriesAndChecksumAsElToritoLaysThemOut)
{
    struct Case {
        const char* name;
        bool with_bios;
        Bytes validation;  // bytes 0..31 after the checksum is set
        Bytes initial;     // bytes 32..43
        Bytes section;     // bytes 64..71 (header) then 96..107 (entry)
    };
    // A catalog as the boot dialog's reader leaves it for a 1.44 MB diskette.
    const Bytes bios_initial = {0x88, 0x02, 0, 0, 0, 0, 0x01, 0, 0x1B, 0, 0, 0};
    Bytes bios_validation(32, 0), efi_validation(32, 0);
    bios_validation[0] = efi_validation[0] = 0x01;
    efi_validation[1] = 0xEF;
    // Words 0x0001 + 0xAA55: checksum 0x55AA; 0xEF01 + 0xAA55 = 0x9956 (mod 2^16): 0x66AA.
    bios_validation[28] = 0xAA, bios_validation[29] = 0x55;
    efi_validation[28] = 0xAA, efi_validation[29] = 0x66;
    for (Bytes* v : {&bios_validation, &efi_validation})
        (*v)[30] = 0x55, (*v)[31] = 0xAA;
    const Bytes efi_entry = {0x88, 0x00, 0, 0, 0, 0, 0x40, 0x0B, 0x2F, 0, 0, 0};  // 2880 virtual sectors at 47
    const Case cases[] = {
        {"behind a BIOS entry", true, bios_validation, bios_initial, {0x91, 0xEF, 0x01, 0, 0, 0, 0, 0}},
        {"alone", false, efi_validation, efi_entry, Bytes(8, 0)},
    };
    for (const Case& c : cases) {
        uint8_t catalog[2048];
        std::memset(catalog, 0xCC, sizeof catalog);  // stale bytes past the initial entry must go
        std::memset(catalog, 0, 64);
        catalog[0] = 0x01, catalog[30] = 0x55, catalog[31] = 0xAA;
        std::memcpy(catalog + 32, bios_initial.data(), bios_initial.size());
        put_efi_catalog_entries(catalog, c.with_bios, 47, efi_sector_count(1474560));
        put_le16(catalog + 28, boot_catalog_checksum(catalog));
        EXPECT_EQ(slice(catalog, 32), c.validation) << c.name;
        EXPECT_EQ(slice(catalog + 32, 12), c.initial) << c.name;
        Bytes section = slice(catalog + 64, 8);
        EXPECT_EQ(section, c.section) << c.name;
        EXPECT_EQ(slice(catalog + 96, 12), c.with_bios ? efi_entry : Bytes(12, 0)) << c.name;
        EXPECT_EQ(slice(catalog + 108, 2048 - 108), Bytes(2048 - 108, 0)) << c.name;
    }
}

TEST(UefiCatalog, SectorCountAndFatChecks)
{
    // 512-byte virtual sectors; past 65535 firmware is told "to the end" by 0.
    const std::pair<uint64_t, uint16_t> counts[] = {
        {513, 2}, {1474560, 2880}, {65535ull * 512, 65535}, {65535ull * 512 + 1, 0}, {40ull << 20, 0}};
    for (auto [bytes, count] : counts)
        EXPECT_EQ(efi_sector_count(bytes), count) << bytes;

    struct Case {
        int offset;  // -1: the sound boot sector of a 1.44 MB FAT12 image
        uint8_t value;
        uint64_t file_size;
        const char* says;  // "" when accepted
    };
    const Case cases[] = {
        {-1, 0, 1474560, ""},
        {-1, 0, 1474559, "claims 1474560 bytes"},
        {511, 0x00, 1474560, "55 AA"},
        {-1, 0, 300, "55 AA"},
        {12, 0x03, 1474560, "bytes per sector 768"},   // 0x0300
        {12, 0x20, 1474560, "bytes per sector 8192"},  // 0x2000
        {13, 3, 1474560, "sectors per cluster 3"},
        {16, 0, 1474560, "FAT"},
        {19, 0, 1474560, "volume size"},  // with the 32-bit count 0 as well
    };
    for (const Case& c : cases) {
        uint8_t sector[512] = {};
        put_le16(sector + 11, 512);
        sector[13] = 1;
        put_le16(sector + 14, 1);
        sector[16] = 2;
        put_le16(sector + 19, 2880);
        sector[510] = 0x55, sector[511] = 0xAA;
        if (c.offset == 19)
            sector[20] = 0;
        if (c.offset >= 0)
            sector[c.offset] = c.value;
        const std::string problem = fat_image_problem(sector, c.file_size);
        if (*c.says == 0)
            EXPECT_EQ(problem, "");
        else
            EXPECT_NE(problem.find(c.says), std::string::npos) << c.offset << ": " << problem;
    }
}

TEST(HybridDisk, MbrAndGptAsUefiLaysThemOut)
{
    // The CRC-32 check value of IEEE 802.3.
    EXPECT_EQ(crc32(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCBF43926u);

    struct Case {
        const char* name;
        uint32_t esp_sector, esp_bytes;
        Bytes mbr_entries;                                      // bytes 446..477
        std::vector<std::pair<uint64_t, uint64_t>> partitions;  // first and last block
        uint32_t isohybrid_sector = 0;                          // ISOLINUX's boot image
    };
    // A volume of 1000 sectors: 4004 blocks with the trailing sector, 4037
    // with the backup table, padded to 4096 (2 MiB). CHS: 64 heads, 32 sectors.
    const Case cases[] = {
        {"EFI image at sector 30",
         30,
         1474560,
         {0x00, 0x00, 0x02, 0x00, 0xEE, 0x03, 0x18, 0x00, 0x01, 0, 0, 0, 0x77, 0,    0, 0,   // 1..119
          0x00, 0x03, 0x19, 0x00, 0xEF, 0x1D, 0x18, 0x01, 0x78, 0, 0, 0, 0x40, 0x0B, 0, 0},  // 120..2999
         {{64, 119}, {120, 2999}, {3000, 3999}}},
        {"MBR code only",
         0,
         0,
         {0x00, 0x00, 0x02, 0x00, 0xEE, 0x3F, 0x20, 0x01, 0x01, 0, 0, 0, 0xFF, 0x0F, 0, 0,  // 1..4095
          0,    0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0,    0,    0, 0},
         {{64, 3999}}},
    };
    const uint8_t code[3] = {0xEB, 0xFE, 0x90};
    const uint8_t seed[8] = {'T', 'A', 'R', 'N', 'W', 'I', 'C', 'K'};
    // The isohybrid protocol: the boot image's block address at 432 and an
    // active entry, the EFI System Partition's where there is one.
    std::vector<Case> all(std::begin(cases), std::end(cases));
    for (const Case& c : cases) {
        Case isohybrid = c;
        isohybrid.name = c.esp_sector ? "isohybrid, EFI image" : "isohybrid, MBR code only";
        isohybrid.isohybrid_sector = 36;
        isohybrid.mbr_entries[c.esp_sector ? 16 : 0] = 0x80;
        all.push_back(isohybrid);
    }
    for (const Case& c : all) {
        HybridDisk disk;
        disk.volume_sectors = 1000;
        disk.image_sectors = hybrid_image_sectors(1000);
        ASSERT_EQ(disk.image_sectors, 1024u);
        disk.esp_sector = c.esp_sector;
        disk.esp_bytes = c.esp_bytes;
        disk.mbr_code = code;
        disk.mbr_code_size = sizeof code;
        disk.guid_seed = seed;
        disk.guid_seed_size = sizeof seed;
        disk.isohybrid_boot_sector = c.isohybrid_sector;
        std::vector<uint8_t> area(16 * 2048), tail(hybrid_tail_sectors * 2048);
        make_hybrid_disk(disk, area.data(), tail.data());
        EXPECT_EQ(slice(area.data() + 432, 8), c.isohybrid_sector ? Bytes({0x90, 0, 0, 0, 0, 0, 0, 0}) : Bytes(8, 0))
            << c.name;

        EXPECT_EQ(slice(area.data(), 4), Bytes({0xEB, 0xFE, 0x90, 0x00})) << c.name;
        EXPECT_EQ(slice(area.data() + 446, 32), c.mbr_entries) << c.name;
        EXPECT_EQ(slice(area.data() + 478, 32), Bytes(32, 0)) << c.name;
        EXPECT_EQ(area[510], 0x55);
        EXPECT_EQ(area[511], 0xAA);
        EXPECT_EQ(std::memcmp(area.data() + 440, area.data() + 512 + 56, 4), 0) << "disk signature from the GUID";

        // Both headers: the backup in the image's last block (4095), its
        // entries in the 32 blocks before it, 4063..4094.
        const uint8_t* primary = area.data() + 512;
        const uint8_t* backup = tail.data() + tail.size() - 512;
        const uint8_t* backup_entries = backup - 32 * 512;
        struct Header {
            const uint8_t* at;
            uint64_t my_lba, alternate, entries_lba;
            const uint8_t* entries;
        };
        for (const Header& h :
             {Header{primary, 1, 4095, 2, area.data() + 1024}, Header{backup, 4095, 1, 4063, backup_entries}}) {
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(h.at), 8), "EFI PART");
            EXPECT_EQ(get_le32(h.at + 8), 0x00010000u);
            EXPECT_EQ(get_le32(h.at + 12), 92u);
            EXPECT_EQ(get_le32(h.at + 24), h.my_lba);
            EXPECT_EQ(get_le32(h.at + 32), h.alternate);
            EXPECT_EQ(get_le32(h.at + 40), 34u);    // first usable
            EXPECT_EQ(get_le32(h.at + 48), 4062u);  // last usable
            EXPECT_EQ(get_le32(h.at + 72), h.entries_lba);
            EXPECT_EQ(get_le32(h.at + 80), 128u);
            EXPECT_EQ(get_le32(h.at + 84), 128u);
            EXPECT_EQ(get_le32(h.at + 88), crc32(h.entries, 128 * 128)) << c.name;
            uint8_t zeroed[92];
            std::memcpy(zeroed, h.at, 92);
            put_le32(zeroed + 16, 0);
            EXPECT_EQ(get_le32(h.at + 16), crc32(zeroed, 92)) << c.name;
            EXPECT_EQ(slice(h.at + 92, 420), Bytes(420, 0));
            EXPECT_EQ(std::memcmp(h.at + 56, primary + 56, 16), 0) << "one disk GUID";
        }
        EXPECT_EQ(slice(backup_entries, 128 * 128), slice(area.data() + 1024, 128 * 128));
        EXPECT_EQ(slice(tail.data(), tail.size() - 33 * 512), Bytes(tail.size() - 33 * 512, 0));

        const uint8_t* e = area.data() + 1024;
        for (size_t i = 0; i < 128; ++i, e += 128) {
            if (i >= c.partitions.size()) {
                EXPECT_EQ(slice(e, 128), Bytes(128, 0)) << c.name << " entry " << i;
                continue;
            }
            const bool esp = c.esp_sector && i == 1;
            EXPECT_EQ(get_le32(e + 32), c.partitions[i].first) << c.name << " entry " << i;
            EXPECT_EQ(get_le32(e + 40), c.partitions[i].second) << c.name << " entry " << i;
            // C12A7328-F81F-11D2-... (ESP) or EBD0A0A2-B9E5-4433-... (basic data), read-only, hidden, no drive letter.
            EXPECT_EQ(get_le32(e), esp ? 0xC12A7328u : 0xEBD0A0A2u);
            EXPECT_EQ(get_le32(e + 52), esp ? 0u : 0xD0000000u);
            EXPECT_EQ(e[16 + 7] >> 4, 8) << "version 8 GUID";
        }
    }
}

// The boot information table: the checksum adds the little-endian words
// from byte 64 on (a last partial word padded with zeros), whatever pieces
// the bytes come in; the table gives sector 16, the boot sector and length.
TEST(BootInfoTable, ChecksumAndTableAsLoadersReadThem)
{
    Bytes image(64, 0xAB);  // bytes 0..63 count for nothing
    const Bytes words = {1, 0, 0, 0, 0x00, 0x01, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 2};
    image.insert(image.end(), words.begin(), words.end());
    // 1 + 0x100 + 0xFFFFFFFF + 2, modulo 2^32.
    const uint32_t by_hand = 0x102;
    EXPECT_EQ(boot_info_checksum(0, 0, image.data(), image.size()), by_hand);
    uint32_t pieces = 0;
    for (size_t at = 0; at < image.size(); at += 5)
        pieces = boot_info_checksum(pieces, at, image.data() + at, std::min<size_t>(5, image.size() - at));
    EXPECT_EQ(pieces, by_hand);
    uint8_t table[56];
    std::memset(table, 0xEE, sizeof table);
    put_boot_info_table(table, 36, 38912, by_hand);
    EXPECT_EQ(slice(table, 16), Bytes({16, 0, 0, 0, 36, 0, 0, 0, 0x00, 0x98, 0, 0, 0x02, 0x01, 0, 0}));
    EXPECT_EQ(slice(table + 16, 40), Bytes(40, 0));
}

}  // namespace
