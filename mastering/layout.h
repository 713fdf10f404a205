// Image layout: every structure is placed on its logical sector, and every
// directory gets its number, before a byte is written. The writers then
// emit the sectors strictly in ascending order.
#pragma once

#include <cstdint>

#include "mastering/descriptors.h"
#include "mastering/records.h"

inline uint32_t sectors_for(uint32_t bytes)
{
    return uint32_t((uint64_t(bytes) + sector_size - 1) / sector_size);
}

// What the layout needs to know besides the entry table.
struct LayoutOptions {
    bool joliet = false;  // place the Joliet path tables and directories
    bool boot = false;    // place the boot catalog and boot image
    uint32_t boot_image_sectors = 0;
    bool efi = false;  // place the UEFI boot image (and the catalog, without boot)
    uint32_t efi_image_sectors = 0;
    bool hybrid = false;  // pad the file for the backup partition table
};

// The positions of one build, in sectors from the start of the image.
struct ImageLayout {
    uint32_t path_table_bytes[2] = {};   // per tree
    uint32_t type_l_path_table[2] = {};  // per tree
    uint32_t type_m_path_table[2] = {};  // per tree
    // Per tree; without Joliet the Joliet area starts where the primary's
    // does and nothing is placed there.
    uint32_t directory_start[2] = {};
    uint32_t boot_catalog = 0;  // with boot or efi only
    uint32_t boot_image = 0;    // with boot only
    uint32_t efi_image = 0;     // with efi only
    uint32_t file_area = 0;
    uint32_t volume_space_size = 0;  // the file area's end
    // The file: the volume, one trailing zero sector and, with hybrid, the
    // padding that ends in the backup partition table.
    uint32_t image_sectors = 0;
};

// The whole layout: directory numbers, directory sizes, sector counts and
// extents of every entry, and the areas in the order they are written
// (system area, descriptors, path tables, directories, boot catalog, BIOS
// and UEFI boot images, files; with hybrid the padding after the volume).
ImageLayout lay_out_image(const LayoutOptions& options);

// The steps of lay_out_image.
// Numbers the directories in path table order: the root 1, then level by
// level in table order; identical for both trees.
void number_directories();
// Byte size of one path table of the tree (ECMA-119 9.4).
uint32_t path_table_size(int tree);
// Directory sizes: whole sectors; a record never crosses a sector boundary.
void compute_directory_sizes();
void compute_sector_counts();
uint32_t directory_sectors(int tree);
uint32_t file_sectors();
// Directories level by level in table order from pd and jd, files level by
// level from fa.
void assign_extents(uint32_t primary_directory_start, uint32_t joliet_directory_start, uint32_t file_area_start);
