// The options of the build command, read into the settings stores and a
// small record without touching any file, so that every combination can be
// tried on its own.
#pragma once

#include "mastering/rock_ridge.h"

#include <cstdint>
#include <string>
#include <vector>

#include "settings/control_store.h"

struct BuildOptions {
    std::string output;
    bool raw = false;
    bool cue = false;
    bool quiet = false;
    bool help = false;            // --help or -h before "--": show the help, do nothing else
    bool verify = false;          // read the image back and compare it with the sources before it is put in place
    std::string efi_boot;         // the UEFI boot image (a FAT image), empty: none
    bool hybrid = false;          // MBR and GPT for a disk
    std::string mbr_code;         // boot code for the MBR, with hybrid only
    bool dot_files = false;       // names beginning with a dot below a registered folder are taken too
    RockRidgeOptions rock_ridge;  // -R, -r, --follow-links
    bool joliet_long = false;     // Joliet names of up to 103 characters
    // estimate --exact: the scan and the layout of the build these options
    // ask for, without writing (-o may be left out).
    bool exact = false;
    bool boot_info_table = false;  // the boot information table in the boot image's copy
    bool relaxed_names = false;    // directories' ISO 9660 names in 8.3 form with the dot
    std::string boot_path;         // the BIOS boot image as a file of the tree, by its path there
    std::vector<std::string> paths;
    // With --graft-points: per path, its place in the image ("/" for the
    // root; empty: under its own name at the root).
    std::vector<std::string> targets;
    std::vector<std::string> excluded;  // --exclude patterns
    // Notes for stderr that refuse nothing: identifiers cut to their fields.
    std::vector<std::string> notices;
};

// One PATH argument of --graft-points: TARGET=SOURCE, or a plain path.
struct Graft {
    std::string target;  // '/' between names, no "." or ".."; "/" for the root; empty: none
    std::string source;
};
// Splits the argument; an error names it when the target leaves the image
// or either side is missing.
[[nodiscard]] std::string parse_graft(const std::string& argument, Graft& graft);

// Reads the build command's arguments (args[0] is the command's own name)
// into the three stores, opened by the caller as the windows open, and into
// `options`. Returns an empty text when every argument was taken, else the
// message for the first one that cannot be: an unknown option, a value that
// is no valid date, zone or number, an option given twice with different
// values, options that would undo or contradict one another, or an empty
// path (an unset variable; the current folder is "."). An identifier
// option for the Joliet descriptor alone wins over the one for both, in
// whatever order they come.
[[nodiscard]] std::string parse_build_options(const std::vector<std::string>& args, ControlStore& volume,
                                              ControlStore& boot, ControlStore& dir_record, BuildOptions& options);

// Why a UEFI boot image cannot be used: the problems of a boot image, 4 GiB
// or more (the image's sizes are 32-bit byte counts, as for every file), or
// no FAT file system image (see fat_image_problem). Empty when it can.
[[nodiscard]] std::string efi_boot_image_problem(const std::string& path);

// Reads the MBR boot code into `code`; returns why it cannot be used (missing,
// a folder, empty, over 432 bytes, unreadable), empty when it can.
[[nodiscard]] std::string read_mbr_code(const std::string& path, std::vector<uint8_t>& code);

// Why MBR code that is ISOLINUX's isohybrid code cannot boot this image: it
// needs the BIOS boot image to carry ISOLINUX's hybrid signature and the boot
// information table. Empty for other code, or when all is there.
// With --boot-path the signature is the build's to check.
[[nodiscard]] std::string isohybrid_problem(const std::vector<uint8_t>& code, const std::string& boot_image,
                                            bool boot_path, bool boot_info_table);
bool is_isohybrid_code(const std::vector<uint8_t>& code);

// Why a boot image file cannot be used (its path is over 511 bytes, it does
// not exist, it is a folder, a device, pipe or socket, or empty, or, for a
// floppy emulation, `media` being the selection of --boot-media, it is not
// exactly that diskette's size); empty when it can.
[[nodiscard]] std::string boot_image_problem(const std::string& path, int media);
