// The files of an image as a user sees them: one tree (Rock Ridge names and
// attributes, or Joliet's names, or ISO 9660's), with relocated directories
// back in their places, listed like ls and taken out by extract.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "verify/image_reader.h"

enum class TreeChoice : uint8_t { automatic, rock_ridge, joliet, iso9660 };

enum class ItemKind : uint8_t { folder, file, link, fifo, socket, character_device, block_device };

struct ImageItem {
    std::string name;  // one name, as the file system is to hold it
    std::string path;  // "/DIR/NAME" in the tree, for messages and listings
    ItemKind kind = ItemKind::file;
    uint32_t parent = 0;  // the folder's item; the root (item 0) is its own
    uint32_t depth = 0;   // the root is 0
    uint64_t size = 0;
    uint32_t extent = 0;
    std::vector<FileSection> sections;  // a file in several extents
    bool attributes = false;            // Rock Ridge PX: mode, links, owner, group
    uint32_t mode = 0, links = 1, owner = 0, group = 0;
    int64_t modified = 0, accessed = 0;  // seconds since 1970-01-01 UTC
    std::string link_target;
    uint64_t device = 0;
    std::vector<uint32_t> children;  // a folder's items, in the directory's order
};

struct ImageFiles {
    std::string tree;              // "Rock Ridge", "Joliet" or "ISO 9660"
    std::vector<ImageItem> items;  // items[0] is the root
    // Relocations that could not be undone (a CL leading nowhere, or back up
    // the tree): the directory stays where it was read.
    std::vector<std::string> faults;
};

// Folders more deeply nested than this are left out of the view, with a
// fault: no real tree comes near, and each level holds a folder open while
// it is extracted.
inline constexpr uint32_t max_item_depth = 256;

// The tree chosen from the reading: with `automatic`, Rock Ridge where the
// primary tree has it, else Joliet, else ISO 9660. False, with `why`, when the
// chosen tree is not in the image.
[[nodiscard]] bool image_files(const ImageReading& reading, TreeChoice choice, ImageFiles& files, std::string& why);

// The item at a path of the tree ("/a/b", "a/b"; "/" is the root), or -1.
int64_t find_item(const ImageFiles& files, const std::string& path);

// A name or path as a terminal shows it safely: control characters and
// backslashes as C escapes (\n, \t, \\, \ooo).
std::string shown_name(const std::string& text);

// One line of a long listing: type and permission bits, links, owner,
// group, size, modification time (UTC) and path, with " -> TARGET" for a link.
std::string long_listing_line(const ImageItem& item);

// The boot catalog's entries and the system area's partition tables (MBR,
// GPT) of an image, one line each under headings.
std::string describe_boot(ImageSource& source, const ImageReading& reading);

// The bytes of a boot entry's image: the file of the tree that lies at its
// sector when there is one, a diskette's size for floppy emulation, the FAT
// volume that starts there, else for no emulation the sectors up to the next
// area the image records (the catalog, a directory, a file, another boot
// image, the volume's end; a hidden image's own size is recorded nowhere),
// and at least the entry's count of 512-byte sectors.
uint64_t boot_image_bytes(ImageSource& source, const ImageReading& reading, const BootEntry& entry);
