// El Torito boot catalog and boot image output, and the UEFI boot image of
// the command line.
#pragma once

#include <cstdint>
#include <string>

#include "format/el_torito.h"

// The validation entry checksum (El Torito 2.1): the sixteen little-endian
// words of bytes 0..31 then add up to 0.
uint16_t boot_catalog_checksum(const uint8_t* catalog);

// The boot information table's checksum: the sum of the little-endian
// 32-bit words of the boot image from byte 64 on (a last partial word padded
// with zeros), continued over `n` more bytes that follow `done` bytes
// already summed.
uint32_t boot_info_checksum(uint32_t sum, uint64_t done, const uint8_t* data, size_t n);
// Bytes 8..63 of the boot image's copy in the image.
void put_boot_info_table(uint8_t* table56, uint32_t boot_sector, uint32_t length, uint32_t checksum);

struct ImageWriter;
// Sets the validation entry's checksum and writes the catalog's sector.
void write_boot_catalog(ImageWriter& writer, uint8_t* catalog);

// The UEFI boot image (command line only; the Windows program never sets
// it): a FAT file system image holding EFI/BOOT/BOOTX64.EFI, which UEFI
// firmware takes as an EFI System Partition (UEFI 2.x, "ISO-9660 and El
// Torito"). Like the BIOS boot image it lies right behind the catalog (after
// the BIOS image when there is one) and is listed in no directory.
struct EfiBootSettings {
    std::string image_path;  // empty: no UEFI entry
    uint32_t image_size = 0;
    uint32_t image_sectors = 0;
    uint64_t image_full_size = 0;  // as found, to refuse 4 GiB and more
};

// Finds the image's size at the start of a build, as the boot dialog's reader
// does for the BIOS image: a missing file counts 0 bytes.
[[nodiscard]] EfiBootSettings measure_efi_boot_image(const std::string& path);

// The 16-bit sector count of the UEFI entry. Firmware takes it as the size of
// the EFI System Partition in 512-byte virtual sectors (El Torito 1.5); 0 or 1
// means "from the image's start to the end of the medium" (UEFI 2.x,
// "ISO-9660 and El Torito"). An image of more than 65535 virtual sectors
// (32 MiB less 512 bytes) cannot be counted, so it gets 0: the partition then
// runs on over the file data behind it, which the FAT driver never touches
// since it takes the volume's size from the image's own boot sector. 0 rather
// than 1, so that no reader loads a single stray sector as a boot program.
uint16_t efi_sector_count(uint64_t image_bytes);

// Adds the UEFI entry for an image at `load_rba` to a catalog whose
// validation entry is in place. Behind a BIOS initial entry it becomes a
// final section header (platform 0xEF, one entry) at byte 64 and a
// no-emulation section entry at byte 96. Alone (with_bios_entry false) the
// validation entry takes platform 0xEF and the initial entry itself points at
// the image with no emulation: UEFI looks for platform 0xEF in either place,
// and BIOS firmware, finding no 80x86 entry, leaves the medium alone instead
// of starting a FAT image as a boot program. The checksum is set on writing.
void put_efi_catalog_entries(uint8_t* catalog, bool with_bios_entry, uint32_t load_rba, uint16_t sector_count);

// Why the bytes cannot be a FAT file system image; empty when they can.
// `boot_sector` holds the image's first 512 bytes, `file_size` its size: the
// boot sector signature 0x55AA at 510, bytes per sector a power of two from
// 512 to 4096, sectors per cluster a power of two, at least one reserved
// sector and one FAT, and a volume no larger than the file.
[[nodiscard]] std::string fat_image_problem(const uint8_t* boot_sector, uint64_t file_size);
