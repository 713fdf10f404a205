#include "mastering/partition_table.h"

#include <cstring>

#include "format/ecma119.h"
#include "format/partition.h"
#include "platform/endian.h"
#include "sector/hashes.h"

namespace {

constexpr uint32_t blocks_per_sector = uint32_t(sector_size) / disk_block_size;
constexpr uint32_t system_area_blocks = system_area_sectors * blocks_per_sector;
constexpr uint32_t mib_sectors = 512;

// The CHS geometry of the MBR entries: 64 heads, 32 sectors a track.
constexpr uint32_t chs_heads = 64;
constexpr uint32_t chs_sectors = 32;

// The entry array: 128 entries, the least the GPT allows for.
constexpr uint32_t gpt_entry_count = 128;
constexpr uint32_t entry_array_bytes = gpt_entry::size * gpt_entry_count;
constexpr uint32_t entry_array_blocks = entry_array_bytes / disk_block_size;  // 32
static_assert(2 + entry_array_blocks <= system_area_blocks);
static_assert(hybrid_tail_sectors * blocks_per_sector >= entry_array_blocks + 1);

// Basic data attributes: read-only (60), hidden (62), no drive letter (63).
constexpr uint64_t volume_attributes = uint64_t(0xD) << 60;

enum class GuidRole : uint8_t { disk = 0, partition = 1 };

void derive_guid(const HybridDisk& disk, GuidRole role, uint8_t index, uint8_t* guid)
{
    for (uint8_t half = 0; half < 2; ++half) {
        uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a 64
        auto mix = [&h](uint8_t b) {
            h ^= b;
            h *= 0x100000001B3ull;
        };
        for (size_t i = 0; i < disk.guid_seed_size; ++i)
            mix(disk.guid_seed[i]);
        mix(uint8_t(role));
        mix(index);
        mix(half);
        put_le64(guid + 8 * half, h);
    }
    guid[7] = uint8_t((guid[7] & 0x0F) | 0x80);  // version 8: the high nibble of the little-endian third field
    guid[8] = uint8_t((guid[8] & 0x3F) | 0x80);  // variant 10
}

void put_chs(uint8_t* p, uint64_t lba)
{
    const uint64_t cylinder = lba / (chs_heads * chs_sectors);
    if (cylinder > 1023) {
        p[0] = 0xFE;
        p[1] = 0xFF;
        p[2] = 0xFF;
        return;
    }
    p[0] = uint8_t(lba / chs_sectors % chs_heads);
    p[1] = uint8_t((lba % chs_sectors + 1) | (cylinder >> 8) << 6);
    p[2] = uint8_t(cylinder);
}

void put_mbr_entry(uint8_t* mbr, int index, uint8_t type, uint64_t first, uint64_t blocks)
{
    const uint64_t capped = blocks > 0xFFFFFFFFull ? 0xFFFFFFFFull : blocks;
    uint8_t* e = mbr + mbr::entries + index * mbr::entry_size;
    e[mbr::entry_boot_indicator] = 0;  // not active
    put_chs(e + mbr::entry_starting_chs, first);
    e[mbr::entry_os_type] = type;
    put_chs(e + mbr::entry_ending_chs, first + capped - 1);
    put_le32(e + mbr::entry_starting_lba, uint32_t(first));
    put_le32(e + mbr::entry_size_in_lba, uint32_t(capped));
}

void put_gpt_entry(const HybridDisk& disk, uint8_t* entries, uint8_t index, const uint8_t* type, uint64_t first,
                   uint64_t last, uint64_t attributes, const char* name)
{
    uint8_t* e = entries + index * gpt_entry::size;
    std::memcpy(e + gpt_entry::type_guid, type, 16);
    derive_guid(disk, GuidRole::partition, index, e + gpt_entry::unique_guid);
    put_le64(e + gpt_entry::starting_lba, first);
    put_le64(e + gpt_entry::ending_lba, last);
    put_le64(e + gpt_entry::attributes, attributes);
    for (int i = 0; name[i]; ++i)
        put_le16(e + gpt_entry::name + 2 * i, uint8_t(name[i]));
}

void put_gpt_header(uint8_t* header, const uint8_t* disk_guid, uint64_t my_lba, uint64_t alternate_lba,
                    uint64_t first_usable, uint64_t last_usable, uint64_t entries_lba, uint32_t entries_crc)
{
    std::memcpy(header + gpt_header::signature, gpt_header::signature_text, 8);
    put_le32(header + gpt_header::revision, gpt_header::revision_1_0);
    put_le32(header + gpt_header::header_size, gpt_header::size);
    put_le64(header + gpt_header::my_lba, my_lba);
    put_le64(header + gpt_header::alternate_lba, alternate_lba);
    put_le64(header + gpt_header::first_usable_lba, first_usable);
    put_le64(header + gpt_header::last_usable_lba, last_usable);
    std::memcpy(header + gpt_header::disk_guid, disk_guid, 16);
    put_le64(header + gpt_header::entries_lba, entries_lba);
    put_le32(header + gpt_header::entry_count, gpt_entry_count);
    put_le32(header + gpt_header::entry_size, gpt_entry::size);
    put_le32(header + gpt_header::entries_crc, entries_crc);
    put_le32(header + gpt_header::header_crc, 0);
    put_le32(header + gpt_header::header_crc, crc32(header, gpt_header::size));
}

}  // namespace

uint64_t hybrid_image_sectors(uint32_t volume_sectors)
{
    const uint64_t needed = uint64_t(volume_sectors) + 1 + hybrid_tail_sectors;
    return (needed + mib_sectors - 1) / mib_sectors * mib_sectors;
}

void make_hybrid_disk(const HybridDisk& disk, uint8_t* system_area, uint8_t* tail)
{
    std::memset(system_area, 0, system_area_sectors * sector_size);
    std::memset(tail, 0, hybrid_tail_sectors * sector_size);
    const uint64_t total_blocks = uint64_t(disk.image_sectors) * blocks_per_sector;
    const uint64_t volume_end = uint64_t(disk.volume_sectors) * blocks_per_sector;  // first block after it
    const uint64_t backup_header = total_blocks - 1;
    const uint64_t backup_entries = backup_header - entry_array_blocks;
    uint8_t disk_guid[16];
    derive_guid(disk, GuidRole::disk, 0, disk_guid);

    // The partition entries, shared by both tables.
    uint8_t entries[entry_array_bytes] = {};
    const uint64_t esp_first = uint64_t(disk.esp_sector) * blocks_per_sector;
    const uint64_t esp_blocks = (uint64_t(disk.esp_bytes) + disk_block_size - 1) / disk_block_size;
    const bool esp = disk.esp_sector != 0 && esp_blocks != 0;
    uint8_t count = 0;
    put_gpt_entry(disk, entries, count++, basic_data_type_guid, system_area_blocks, (esp ? esp_first : volume_end) - 1,
                  volume_attributes, "ISO 9660");
    if (esp) {
        put_gpt_entry(disk, entries, count++, efi_system_type_guid, esp_first, esp_first + esp_blocks - 1, 0,
                      "EFI System");
        if (esp_first + esp_blocks < volume_end)
            put_gpt_entry(disk, entries, count++, basic_data_type_guid, esp_first + esp_blocks, volume_end - 1,
                          volume_attributes, "ISO 9660");
    }
    const uint32_t entries_crc = crc32(entries, sizeof entries);

    // Block 0: the MBR.
    uint8_t* mbr = system_area;
    if (disk.mbr_code_size)
        std::memcpy(mbr, disk.mbr_code,
                    disk.mbr_code_size < mbr_code_capacity ? disk.mbr_code_size : mbr_code_capacity);
    std::memcpy(mbr + mbr::disk_signature, disk_guid, 4);
    put_mbr_entry(mbr, 0, mbr::type_protective, 1, (esp ? esp_first : total_blocks) - 1);
    if (esp)
        put_mbr_entry(mbr, 1, mbr::type_efi_system, esp_first, esp_blocks);
    if (disk.isohybrid_boot_sector) {
        // ISOLINUX's MBR code reads the boot image's block address here (its
        // upper half stays zero: the image lies below 2 TiB), and many PC
        // BIOSes start a disk's MBR code only when an entry is active: the
        // EFI System Partition's where there is one (an active 0xEE entry
        // breaks the GPT's rules, and some UEFI firmware then ignores the
        // disk), else the protective entry, as the only one there is.
        put_le32(mbr + mbr::isohybrid_boot_block, disk.isohybrid_boot_sector * uint32_t(blocks_per_sector));
        mbr[mbr::entries + (esp ? 1 : 0) * mbr::entry_size + mbr::entry_boot_indicator] = mbr::active;
    }
    mbr[mbr::boot_signature] = mbr::signature_first;
    mbr[mbr::boot_signature + 1] = mbr::signature_second;

    // Blocks 1 to 33: the primary table; the last 33 blocks: the backup.
    const uint64_t first_usable = 2 + entry_array_blocks;
    const uint64_t last_usable = backup_entries - 1;
    std::memcpy(system_area + 2 * disk_block_size, entries, sizeof entries);
    put_gpt_header(system_area + disk_block_size, disk_guid, 1, backup_header, first_usable, last_usable, 2,
                   entries_crc);
    const uint64_t tail_first = total_blocks - hybrid_tail_sectors * blocks_per_sector;
    std::memcpy(tail + (backup_entries - tail_first) * disk_block_size, entries, sizeof entries);
    put_gpt_header(tail + (backup_header - tail_first) * disk_block_size, disk_guid, backup_header, 1, first_usable,
                   last_usable, backup_entries, entries_crc);
}
