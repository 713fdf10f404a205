// The El Torito bootable CD-ROM format (version 1.0): the boot record's
// system identifier and the boot catalog, whose entries are 32 bytes each.
#pragma once

#include <cstdint>

// The boot system identifier of the boot record (El Torito 2.0), followed by
// zero bytes; the catalog's sector is at descriptor_offset::boot_catalog_pointer.
inline constexpr char el_torito_system_id[] = "EL TORITO SPECIFICATION";  // 23 bytes on disc

inline constexpr int catalog_entry_size = 32;

// Byte offsets in the boot catalog sector (El Torito 2.1, 2.2): the
// validation entry, then the initial entry.
namespace catalog_offset {
inline constexpr int header_id = 0;
inline constexpr int platform_id = 1;
inline constexpr int id_string = 4;
inline constexpr int id_string_length = 24;
inline constexpr int checksum = 28;
inline constexpr int key = 30;  // two bytes
inline constexpr int boot_indicator = 32;
inline constexpr int media_type = 33;
inline constexpr int load_segment = 34;
inline constexpr int system_type = 36;
inline constexpr int sector_count = 38;
inline constexpr int load_rba = 40;
}  // namespace catalog_offset
static_assert(catalog_offset::key + 2 == catalog_entry_size);
static_assert(catalog_offset::boot_indicator == catalog_entry_size);
static_assert(catalog_offset::load_rba + 4 + 20 == 2 * catalog_entry_size);

// Fixed bytes of the boot catalog (El Torito 2.1 to 2.5).
namespace catalog_byte {
inline constexpr uint8_t header_id = 0x01;  // 2.1, the validation entry
inline constexpr uint8_t key_first = 0x55;
inline constexpr uint8_t key_second = 0xAA;
inline constexpr uint8_t bootable = 0x88;  // 2.2, 2.4: boot indicator
inline constexpr uint8_t not_bootable = 0x00;
inline constexpr uint8_t more_sections = 0x90;  // 2.3: section header, another follows
inline constexpr uint8_t final_section = 0x91;  // 2.3: section header, the last one
inline constexpr uint8_t extension = 0x44;      // 2.5: section entry extension
// 2.2, 2.4: the emulation type in the low nibble of an entry's media byte.
inline constexpr uint8_t media_type_mask = 0x0F;
// 2.4, 2.5: bit 5 of an entry's media byte or of an extension's flags.
inline constexpr uint8_t extension_follows = 0x20;
}  // namespace catalog_byte

// The boot information table that ISOLINUX and GRUB's El Torito image expect
// the mastering tool to write into the image's copy of their no-emulation
// boot image (the table of mkisofs's -boot-info-table, which these loaders
// document): little-endian 32-bit values at these offsets, bytes 24..63
// zero, the boot image's own bytes from 64 on.
namespace boot_info_table {
inline constexpr int primary_descriptor = 8;  // sector of the primary volume descriptor
inline constexpr int boot_file = 12;          // sector of the boot image
inline constexpr int length = 16;             // the boot image's length in bytes
inline constexpr int checksum = 20;           // sum of its 32-bit words from byte 64 on
inline constexpr int end = 64;
}  // namespace boot_info_table

// Platform ID of an EFI System Partition image, in a section header or in the
// validation entry (UEFI 2.x, "ISO-9660 and El Torito").
inline constexpr uint8_t efi_platform_id = 0xEF;

// Section header and section entry (El Torito 2.3, 2.4).
namespace section_offset {
inline constexpr int header_indicator = 0;  // catalog_byte::more_sections or final_section
inline constexpr int platform_id = 1;
inline constexpr int entry_count = 2;  // little-endian 16-bit
inline constexpr int id_string = 4;    // 28 bytes
// In the section entry; the first eleven bytes are those of the initial entry.
inline constexpr int selection_criteria_type = 12;
// In a section entry extension (2.5).
inline constexpr int extension_flags = 1;
}  // namespace section_offset
