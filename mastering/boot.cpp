#include "mastering/boot.h"

#include <cstring>

#include "mastering/descriptors.h"
#include "mastering/writer.h"
#include "format/partition.h"
#include "platform/endian.h"
#include "platform/platform.h"

uint16_t boot_catalog_checksum(const uint8_t* catalog)
{
    uint32_t sum = 0;
    for (int i = 0; i < catalog_entry_size; i += 2)
        if (i != catalog_offset::checksum)
            sum += get_le16(catalog + i);
    return uint16_t(0x10000 - (sum & 0xFFFF));
}

uint32_t boot_info_checksum(uint32_t sum, uint64_t done, const uint8_t* data, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        const uint64_t at = done + i;
        if (at >= uint64_t(boot_info_table::end))
            sum += uint32_t(data[i]) << (8 * (at % 4));
    }
    return sum;
}

void put_boot_info_table(uint8_t* table, uint32_t boot_sector, uint32_t length, uint32_t checksum)
{
    constexpr int first = boot_info_table::primary_descriptor;
    std::memset(table, 0, boot_info_table::end - first);
    put_le32(table + boot_info_table::primary_descriptor - first, system_area_sectors);
    put_le32(table + boot_info_table::boot_file - first, boot_sector);
    put_le32(table + boot_info_table::length - first, length);
    put_le32(table + boot_info_table::checksum - first, checksum);
}

void write_boot_catalog(ImageWriter& writer, uint8_t* catalog)
{
    if (writer_stopped(writer))
        return;
    put_le16(catalog + catalog_offset::checksum, 0);
    put_le16(catalog + catalog_offset::checksum, boot_catalog_checksum(catalog));
    write_sector(writer, catalog);
}

EfiBootSettings measure_efi_boot_image(const std::string& path)
{
    EfiBootSettings efi;
    efi.image_path = path;
    uint64_t size = 0;
    platform::FileInfo info;
    if (!efi.image_path.empty() && platform::find_file(efi.image_path.c_str(), info) &&
        !(info.attributes & platform::attribute_directory))
        size = info.size;
    efi.image_full_size = size;
    efi.image_size = uint32_t(size);
    efi.image_sectors = uint32_t((uint64_t(efi.image_size) + sector_size - 1) / sector_size);
    return efi;
}

uint16_t efi_sector_count(uint64_t image_bytes)
{
    const uint64_t virtual_sectors = (image_bytes + 511) / 512;
    return virtual_sectors > 0xFFFF ? 0 : uint16_t(virtual_sectors);
}

namespace {

// A no-emulation entry (El Torito 2.2, 2.4) for the UEFI image: load segment
// and system type 0, as BIOS never loads it.
void put_no_emulation_entry(uint8_t* entry, uint32_t load_rba, uint16_t sector_count)
{
    std::memset(entry, 0, catalog_entry_size);
    entry[0] = catalog_byte::bootable;
    put_le16(entry + catalog_offset::sector_count - catalog_entry_size, sector_count);
    put_le32(entry + catalog_offset::load_rba - catalog_entry_size, load_rba);
}

}  // namespace

void put_efi_catalog_entries(uint8_t* catalog, bool with_bios_entry, uint32_t load_rba, uint16_t sector_count)
{
    // Whatever an earlier build left behind the entries goes.
    std::memset(catalog + 2 * catalog_entry_size, 0, sector_size - 2 * catalog_entry_size);
    if (!with_bios_entry) {
        catalog[catalog_offset::platform_id] = efi_platform_id;
        put_no_emulation_entry(catalog + catalog_entry_size, load_rba, sector_count);
        return;
    }
    uint8_t* header = catalog + 2 * catalog_entry_size;
    header[section_offset::header_indicator] = catalog_byte::final_section;
    header[section_offset::platform_id] = efi_platform_id;
    put_le16(header + section_offset::entry_count, 1);
    put_no_emulation_entry(header + catalog_entry_size, load_rba, sector_count);
}

std::string fat_image_problem(const uint8_t* boot_sector, uint64_t file_size)
{
    auto power_of_two = [](uint32_t v) { return v != 0 && (v & (v - 1)) == 0; };
    if (file_size < 512 || boot_sector[mbr::boot_signature] != mbr::signature_first ||
        boot_sector[mbr::boot_signature + 1] != mbr::signature_second)
        return "no boot sector signature 55 AA at byte 510";
    // The BIOS parameter block (FAT: bytes 11 to 35 of the boot sector).
    const uint32_t bytes_per_sector = get_le16(boot_sector + 11);
    const uint32_t sectors_per_cluster = boot_sector[13];
    const uint32_t reserved_sectors = get_le16(boot_sector + 14);
    const uint32_t fat_count = boot_sector[16];
    const uint32_t total_sectors =
        get_le16(boot_sector + 19) != 0 ? get_le16(boot_sector + 19) : get_le32(boot_sector + 32);
    if (!power_of_two(bytes_per_sector) || bytes_per_sector < 512 || bytes_per_sector > 4096)
        return "bytes per sector " + std::to_string(bytes_per_sector) + " (not a power of two from 512 to 4096)";
    if (!power_of_two(sectors_per_cluster))
        return "sectors per cluster " + std::to_string(sectors_per_cluster) + " (not a power of two)";
    if (reserved_sectors == 0 || fat_count == 0 || total_sectors == 0)
        return "no reserved sector, FAT or volume size in its boot sector";
    const uint64_t volume_bytes = uint64_t(total_sectors) * bytes_per_sector;
    if (volume_bytes > file_size)
        return "its boot sector claims " + std::to_string(volume_bytes) + " bytes, the file holds " +
               std::to_string(file_size);
    return {};
}
