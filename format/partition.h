// The partition tables of a disk (UEFI 2.x, chapter 5): the master boot
// record in block 0 and the GUID partition table behind it, in blocks of 512
// bytes. Their CRC-32 is the one of sector/hashes.h.
#pragma once

#include <cstdint>

inline constexpr uint32_t disk_block_size = 512;

// MBR (UEFI 2.x 5.2.1): offsets in block 0. The boot code fills bytes 0 to
// 439 at most, the disk signature follows, then four 16-byte partition
// records and the boot signature 55h AAh, which a FAT boot sector also ends
// with.
namespace mbr {
inline constexpr int disk_signature = 440;
inline constexpr int entries = 446;
inline constexpr int entry_size = 16;
inline constexpr int boot_signature = 510;
inline constexpr uint8_t signature_first = 0x55;
inline constexpr uint8_t signature_second = 0xAA;
// Partition record fields.
inline constexpr int entry_boot_indicator = 0;
inline constexpr int entry_starting_chs = 1;
inline constexpr int entry_os_type = 4;
inline constexpr int entry_ending_chs = 5;
inline constexpr int entry_starting_lba = 8;
inline constexpr int entry_size_in_lba = 12;
inline constexpr uint8_t type_protective = 0xEE;  // 5.2.3: the GPT protective MBR
inline constexpr uint8_t type_efi_system = 0xEF;
inline constexpr uint8_t active = 0x80;  // the boot indicator of the entry to boot
// ISOLINUX's isohybrid MBR code (its isohdp*.bin) loads the BIOS boot image
// from the 64-bit 512-byte block address at bytes 432..439 and jumps to the
// hybrid entry that isolinux.bin marks with this word at its byte 64.
inline constexpr int isohybrid_boot_block = 432;
inline constexpr uint32_t isolinux_hybrid_signature = 0x7078C0FB;
inline constexpr int isolinux_hybrid_signature_offset = 64;
}  // namespace mbr
static_assert(mbr::entries + 4 * mbr::entry_size == mbr::boot_signature);

// GPT header (UEFI 2.x 5.3.2).
namespace gpt_header {
inline constexpr int signature = 0;  // "EFI PART"
inline constexpr int revision = 8;
inline constexpr int header_size = 12;
inline constexpr int header_crc = 16;
inline constexpr int my_lba = 24;
inline constexpr int alternate_lba = 32;
inline constexpr int first_usable_lba = 40;
inline constexpr int last_usable_lba = 48;
inline constexpr int disk_guid = 56;
inline constexpr int entries_lba = 72;
inline constexpr int entry_count = 80;
inline constexpr int entry_size = 84;
inline constexpr int entries_crc = 88;
inline constexpr uint32_t size = 92;
inline constexpr char signature_text[] = "EFI PART";  // 8 bytes on disc
inline constexpr uint32_t revision_1_0 = 0x00010000;
}  // namespace gpt_header

// GPT partition entry (UEFI 2.x 5.3.3).
namespace gpt_entry {
inline constexpr int type_guid = 0;
inline constexpr int unique_guid = 16;
inline constexpr int starting_lba = 32;
inline constexpr int ending_lba = 40;  // inclusive
inline constexpr int attributes = 48;
inline constexpr int name = 56;  // 36 UCS-2 characters
inline constexpr uint32_t size = 128;
}  // namespace gpt_entry

// Type GUIDs in their on-disk form (the first three fields little-endian).
// EFI System Partition, C12A7328-F81F-11D2-BA4B-00A0C93EC93B (UEFI 2.x 5.3.3).
inline constexpr uint8_t efi_system_type_guid[16] = {0x28, 0x73, 0x2A, 0xC1, 0x1F, 0xF8, 0xD2, 0x11,
                                                     0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B};
// Microsoft basic data, EBD0A0A2-B9E5-4433-87C0-68B6B72699C7.
inline constexpr uint8_t basic_data_type_guid[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                                     0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
