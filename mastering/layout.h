// Image layout: every structure is placed on its logical sector, and every
// directory gets its number, before a byte is written. The writers then
// emit the sectors strictly in ascending order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mastering/descriptors.h"
#include "mastering/entries.h"
#include "mastering/records.h"

inline uint32_t sectors_for(uint32_t bytes)
{
    return uint32_t((uint64_t(bytes) + sector_size - 1) / sector_size);
}
inline uint64_t sectors_for_size(uint64_t bytes)
{
    return (bytes + sector_size - 1) / sector_size;
}

// What the layout needs to know besides the entry table.
struct LayoutOptions {
    bool joliet = false;  // place the Joliet path tables and directories
    bool boot = false;    // place the boot catalog and boot image
    uint32_t boot_image_sectors = 0;
    bool efi = false;  // place the UEFI boot image (and the catalog, without boot)
    uint32_t efi_image_sectors = 0;
    bool hybrid = false;  // pad the file for the backup partition table
    // Rock Ridge in the ISO 9660 tree: the System Use areas, the
    // continuation area behind the ISO 9660 directories, the hard links.
    struct RockRidgePlan* rock_ridge = nullptr;
    bool boot_in_tree = false;  // the boot image is a file of the tree: no area of its own
};

// The areas of an image file, in the order they lie in it. A build has those
// of them that its options ask for (image_areas); the layout places them and
// the build writes them by walking that one list, so a new area is an entry
// here, a rule in image_areas and a case in each walk (the compiler names a
// walk that misses one).
enum class ImageArea : uint8_t {
    system_area,               // sectors 0 to 15 (ECMA-119 6.2.1); the partition tables with hybrid
    primary_descriptor,        // ECMA-119 8.4
    boot_record,               // ECMA-119 8.2 (El Torito), with boot or efi
    supplementary_descriptor,  // Joliet, ECMA-119 8.5
    terminator,                // ECMA-119 8.3
    primary_path_tables,       // type L, then type M (ECMA-119 9.4)
    joliet_path_tables,
    primary_directories,  // level by level in path table order
    continuation_area,    // SUSP continuation areas, with Rock Ridge
    joliet_directories,
    boot_catalog,  // El Torito 2, with boot or efi
    boot_image,
    efi_image,
    file_data,
    trailing_sector,  // one zero sector behind the volume
    hybrid_padding,   // zero sectors ending in the backup partition table
    count             // not an area: the number of them
};

// The areas of one build, in order.
struct ImageAreas {
    ImageArea list[size_t(ImageArea::count)] = {};
    size_t size = 0;
    const ImageArea* begin() const { return list; }
    const ImageArea* end() const { return list + size; }
};
ImageAreas image_areas(const LayoutOptions& options);

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
    // Set when the image would need more sectors than 32 bits number (the
    // positions above are then not to be used): how many.
    uint64_t sectors_beyond_limit = 0;
};

// The whole layout: directory numbers, directory sizes, sector counts and
// extents of every entry, and the areas of image_areas one after the other.
ImageLayout lay_out_image(EntryTable& table, const LayoutOptions& options);

// The steps of lay_out_image.
// Numbers the directories in path table order: the root 1, then level by
// level in table order; identical for both trees.
void number_directories(EntryTable& table);
// Byte size of one path table of the tree (ECMA-119 9.4).
uint32_t path_table_size(const EntryTable& table, int tree);
// Directory sizes: whole sectors; a record never crosses a sector boundary.
void compute_directory_sizes(EntryTable& table, bool system_use = false);
void compute_sector_counts(EntryTable& table);
uint32_t directory_sectors(const EntryTable& table, int tree);
uint64_t file_sectors(const EntryTable& table);
// Directories level by level in table order from pd and jd, files level by
// level from fa.
void assign_extents(EntryTable& table, uint32_t primary_directory_start, uint32_t joliet_directory_start,
                    uint32_t file_area_start);
