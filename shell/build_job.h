// One build of one image, as both front ends ask for it: a request in (the
// registration lines, the three settings windows' controls, the output and
// its form, UEFI, hybrid, read-back), an outcome out (the build's problems
// and sizes, and where the image went). The job refuses an output that is
// one of the inputs, writes under a temporary name beside the output, builds,
// optionally reads the image back, and then puts it in place or removes it:
// a stopped or failed build, or a damaged one where an older file stands,
// leaves that older file as it was.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mastering/build.h"
#include "mastering/output_file.h"
#include "mastering/problems.h"
#include "settings/control_store.h"

// A file beside the image that the front end writes with it (the command
// line's cue sheet): never one of the inputs, begun under a temporary name
// before the build, left out of the scan, and left to the caller to commit.
struct CompanionOutput {
    std::string role;  // "the cue sheet"
    std::string name;
    // A file of the name is an earlier output of this kind: the scan leaves
    // it out. Otherwise it is the user's, and the scan refuses the build when
    // it meets it below a registered folder.
    bool earlier = false;
    PendingOutput* pending = nullptr;
};

struct BuildRequest {
    LineSource lines;
    ControlReader volume, boot, dir_record;  // the three settings windows
    std::string output;
    bool raw = false;     // 2352-byte Mode 1 sectors
    bool verify = false;  // read the image back before it is put in place
    bool dot_files = false;
    RockRidgeOptions rock_ridge;    // the command line's only
    bool joliet_long = false;       // the command line's only
    bool large_files = false;       // files of 4 GiB or more taken: the command line's only
    uint64_t latest_file_time = 0;  // later file times are taken as this one (SOURCE_DATE_EPOCH); 0: none
    std::string efi_boot;           // the FAT image of a UEFI boot entry, or empty
    bool hybrid = false;
    std::vector<uint8_t> mbr_code;
    std::string mbr_code_path;  // where mbr_code came from: never the output
    // The registered paths as the user named them; empty: the paths of the
    // lines.
    std::vector<std::string> registered;
    // Earlier images of the output's name below a registered folder are left
    // out of the scan (and a file of the user's there refuses the build).
    // Off: the scan takes such a file like any other.
    bool leave_out_earlier_image = false;
    std::vector<CompanionOutput> companions;
    // Only the scan and the layout: nothing is begun or written, and the
    // outcome's sizes say what the build would write.
    bool layout_only = false;
    bool boot_info_table = false;  // the command line's --boot-info-table
    bool relaxed_names = false;    // the command line's --relaxed-names
    std::string boot_path;         // the command line's --boot-path: the boot image as a file of the tree
    bool isohybrid_code = false;   // mbr_code is ISOLINUX's isohybrid code
    // Graft points: target in the image and the registered source's path
    // (as its line holds it); the command line's only.
    std::vector<std::pair<std::string, std::string>> grafts;
    std::vector<std::string> excluded;  // the command line's --exclude patterns
    // The registration's folder listings, served once each to the scan.
    FolderListings* listings = nullptr;
};

// Where the image went.
enum class ImagePlace {
    none,        // nothing was begun: the request was refused first
    written,     // under the output's name (damaged only where none stood)
    kept_older,  // not put in place: the older file of the name is unchanged
    removed,     // not put in place, and no file of the name stands
    incomplete,  // a device or pipe, written as the build went, was stopped
};

enum class JobRefusal {
    none,
    output_is_input,    // detail: "the output X is a registered input (Y)"
    output_not_begun,   // detail: why the output's file cannot be made
    verify_needs_file,  // a device or pipe cannot be read back
    companion_not_begun,
};

struct BuildJobOutcome {
    JobRefusal refusal = JobRefusal::none;
    std::string refusal_detail;
    // The build's own outcome; problems name the output, not its temporary
    // file. `written`: the image stands complete under the output's name.
    BuildOutcome build;
    bool stopped = false;
    bool stopped_reading_back = false;  // stopped once the build was complete
    bool damaged = false;               // the build completed with damage
    // The read-back's differences (naming the output); empty when sound or
    // not asked for.
    std::vector<std::string> differences;
    bool verified = true;
    std::string commit_failure;  // the rename into place failed: why
    ImagePlace place = ImagePlace::none;
};

// The core build's input for the request, writing to `output`: the settings
// read from the three windows, the registered paths from the lines, and the
// rest from the request (no file is left out yet).
[[nodiscard]] BuildInput build_input(const BuildRequest& request, const std::string& output);

// Runs the whole build; the hooks are used only while it runs. One at a
// time: a front end whose pump may start another refuses it meanwhile.
[[nodiscard]] BuildJobOutcome run_build_job(const BuildRequest& request, const BuildHooks& hooks);
