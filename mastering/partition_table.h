// The partition tables of a hybrid image (--hybrid): the same file boots as a
// CD and, written to a USB stick or disk, as a disk. The ISO 9660 volume stays
// as it is; its system area (sectors 0 to 15, 64 blocks of 512 bytes) takes a
// master boot record at block 0 and the primary GUID partition table (UEFI
// 2.x, chapter 5) at blocks 1 to 33, and the file is padded past the volume to
// hold the backup table at its end.
//
// Block layout, in 512-byte blocks (one 2048-byte sector is four blocks):
//   0             MBR: boot code (--mbr-code), disk signature, four entries
//   1             GPT header
//   2 .. 33       GPT entries: 128 of 128 bytes; the first usable block is 34
//   64 ..         the volume from its descriptors on
//   ...           the volume's trailing zero sector, zero padding
//   N-33 .. N-2   backup GPT entries
//   N-1           backup GPT header
// N, the image's block count, is a whole number of MiB (see hybrid_image_sectors).
//
// GPT partitions, in disk order and without overlap (GPT forbids it): the
// volume before the EFI image ("ISO 9660"), the EFI image as an EFI System
// Partition, and the volume behind it (the file data, when there is any).
// Without an EFI image the first partition runs to the end of the volume.
// The volume's partitions only keep partitioning tools from taking the space
// for free: they are Microsoft basic data partitions marked read-only, hidden
// and not to be mounted, since nothing can mount an ISO 9660 volume from a
// partition that starts at its descriptors.
//
// The MBR is a hybrid one. Entry 1 is the protective partition (type 0xEE,
// from block 1, not active: the marker by which firmware and systems know to
// read the GPT); entry 2 names the EFI image as an EFI System Partition (type
// 0xEF) for firmware that reads the MBR instead. MBR entries must not overlap,
// so with an EFI image the 0xEE entry ends right before it, covering the GPT
// and the volume's head; without one it covers the whole image (capped at
// 2^32 - 1 blocks) as a plain protective MBR does. The part behind the EFI
// image is left to the GPT: a third MBR entry for it would need a second 0xEE
// entry, which some systems take badly, or a type of its own that would make
// MBR readers think it a file system. No entry is active. The CHS fields use a
// geometry of 64 heads and 32 sectors per track, one MiB a cylinder; beyond
// cylinder 1023 they hold the usual 1023/254/63.
//
// GUIDs (disk and partitions) are derived from the finished primary volume
// descriptor, which holds the volume identifier, the dates (SOURCE_DATE_EPOCH
// when set) and the volume's size, and from each GUID's role: two 64-bit FNV-1a
// hashes, marked as RFC 9562 version 8 (vendor-specific) GUIDs. The same build
// thus gives the same GUIDs, while different volumes get different ones. The
// MBR's disk signature is the first four bytes of the disk GUID.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/partition.h"

struct HybridSettings {
    bool enabled = false;
    std::vector<uint8_t> mbr_code;  // at most mbr_code_capacity bytes, read by the command line
    // The code is ISOLINUX's isohybrid code: the BIOS boot image must carry
    // ISOLINUX's hybrid signature (checked before with --boot, by the build
    // with --boot-path).
    bool isohybrid_code = false;
};

// The boot code at the start of the MBR: bytes 0 to 431. Bytes 432 to 439 stay
// zero (but for an isohybrid boot, below); 440 holds the disk signature, 446
// the partition entries, 510 the 55 AA.
inline constexpr size_t mbr_code_capacity = 432;
// The backup table, 33 blocks, lies in the image's last nine sectors.
inline constexpr uint32_t hybrid_tail_sectors = 9;

// Sectors of the whole file for a volume of `volume_sectors`: the volume, its
// trailing zero sector and at least the 33 blocks of the backup table, rounded
// up to a whole MiB (512 sectors). A MiB is one cylinder of the CHS geometry
// above and the unit partitioning tools and flash media align to; the padding
// is at most a MiB.
uint64_t hybrid_image_sectors(uint32_t volume_sectors);

struct HybridDisk {
    uint32_t volume_sectors = 0;  // the volume space size
    uint32_t image_sectors = 0;   // hybrid_image_sectors(volume_sectors)
    uint32_t esp_sector = 0;      // the EFI image's first sector; 0: no EFI image
    uint32_t esp_bytes = 0;
    const uint8_t* mbr_code = nullptr;
    size_t mbr_code_size = 0;
    const uint8_t* guid_seed = nullptr;  // the primary volume descriptor
    size_t guid_seed_size = 0;
    // ISOLINUX's isohybrid protocol: the BIOS boot image's first sector,
    // whose 512-byte block address the MBR code finds at bytes 432..439;
    // 0: none.
    uint32_t isohybrid_boot_sector = 0;
};

// Fills `system_area` (16 sectors) and `tail` (the image's last
// hybrid_tail_sectors sectors).
void make_hybrid_disk(const HybridDisk& disk, uint8_t* system_area, uint8_t* tail);
