// The image build: from the registered paths and the settings of the three
// windows to one image file, stage by stage. Everything a build reads is in
// its input; everything it says is in its outcome and, while it runs, what
// it tells its hooks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mastering/build_link.h"
#include "mastering/descriptors.h"
#include "mastering/entries.h"
#include "mastering/partition_table.h"
#include "mastering/problems.h"
#include "mastering/rock_ridge.h"

struct BuildInput {
    ImageSettings settings;
    // The registered paths in the order they are scanned, and the entries
    // their registration counted (the table is sized by it, and grows when
    // the folders have gained entries since).
    std::vector<std::string> sources;
    uint64_t registered_entries = 0;
    // Graft points (the command line's --graft-points), one per source or
    // none: the source's path in the image ('/' between names; "/" puts a
    // folder's contents at the root), empty for a source at the root under
    // its own name.
    std::vector<std::string> targets;
    // Shell patterns of names and of paths below a registered or grafted
    // folder that the scan leaves out (the command line's --exclude).
    std::vector<std::string> excluded;
    std::string output;
    OutputSectors sectors = OutputSectors::plain;
    // The outcome lists every file and folder with its places in the trees,
    // for reading the image back.
    bool keep_built_files = false;
    // Names beginning with a dot below a registered folder are scanned too.
    bool dot_files = false;
    // Files the scan leaves out (or refuses the build for) wherever it meets
    // them: the front end's own outputs.
    std::vector<LeftOutFile> left_out;
    // Listings of the registration's walk, each served once to the scan.
    FolderListings* listings = nullptr;
    std::string efi_boot;  // the FAT image of a UEFI boot entry, or empty
    HybridSettings hybrid;
    RockRidgeOptions rock_ridge;  // the command line's -R, -r, --follow-links
    bool joliet_long = false;     // Joliet names up to 103 UCS-2 units (the command line's --joliet-long)
    bool large_files = false;     // files of 4 GiB or more in several extents (the command line)
    // Files' times later than this file time are recorded as it (the
    // command line's SOURCE_DATE_EPOCH); 0: none.
    uint64_t latest_file_time = 0;
    // Scan and lay out only: the outcome's sizes are the image's, nothing
    // is opened or written.
    bool layout_only = false;
    // The boot information table in the image's copy of the no-emulation
    // BIOS boot image (the command line's --boot-info-table).
    bool boot_info_table = false;
    // Directories' ISO 9660 names keep an 8.3 form with its '.' (the command
    // line's --relaxed-names).
    bool relaxed_names = false;
    // The BIOS boot image is this file of the tree (its path in the image,
    // '/' between names; the command line's --boot-path) instead of a file
    // of its own behind the catalog; empty: none.
    std::string boot_path;
};

// The whole build of one image: scans the sources, builds and writes to
// input.output. One build at a time: the front end that runs one refuses a
// second while it runs.
[[nodiscard]] BuildOutcome create_iso(const BuildInput& input, const BuildHooks& hooks);
