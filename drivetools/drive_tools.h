// The drive tools as the Tool window and the command line use them: the disk
// image (512-byte blocks of a volume), the raw CD-ROM image (2352-byte sectors
// of a sector range), the TOC as a cue sheet, and the drive identification.
//
// The front ends only pass their values in and show the texts that come out:
// the progress texts during the copy loops, and afterwards output_text() of
// the result, in the front end's language. The Japanese texts are UTF-8; they
// name no output path, since paths are bytes of the ANSI code page there.
#pragma once

#include "drivetools/cue_sheet.h"
#include "platform/device.h"
#include "platform/job_hooks.h"

#include <cstdint>
#include <string>

namespace drivetools {

enum class Language { english, japanese };

// Where a copy loop shows its progress ("16", "256/332745") and, at its end,
// the empty text.
struct ProgressDisplay {
    void (*show)(void* context, const char* text) = nullptr;
    void* context = nullptr;
};

enum class ToolStatus {
    done,            // finished; an image may still hold unreadable sectors
    refused_range,   // last sector below first - 1: nothing was opened or written
    open_failed,     // the drive could not be opened
    create_failed,   // the output file could not be created
    read_failed,     // TOC / identification query failed; disk image read error
    partial_block,   // disk image: the medium ends inside a 512-byte block
    no_tracks,       // the TOC answer lists no track
    write_failed,    // the output file could not be written
    stopped,         // the hooks asked for a stop during the copy
    sheet_is_image,  // the cue sheet's name is the image's own
};

struct TocQuery {
    ToolStatus status = ToolStatus::done;
    CueSheet cue;  // valid when done: the cue sheet and the whole-disc range
    std::string device;
    std::string error;  // the system's reason when the drive did not open
};

struct DriveIdentification {
    ToolStatus status = ToolStatus::done;
    std::string text;  // vendor, product, revision as the drive reports them
    std::string device;
    std::string error;
};

struct DiskImageResult {
    ToolStatus status = ToolStatus::done;
    uint64_t blocks = 0;         // whole 512-byte blocks written
    uint32_t partial_bytes = 0;  // partial_block: bytes of the block not copied
    std::string device, output;
    std::string error;  // the system's reason (open, create, write)
};

struct CdImageResult {
    ToolStatus status = ToolStatus::done;
    int32_t first = 0, last = 0;
    uint64_t sectors = 0;          // 2352-byte sectors written
    uint64_t unreadable = 0;       // of them written as zero sectors
    int64_t first_unreadable = 0;  // address of the first unreadable sector
    std::string device, output;
    std::string error;
};

// The cue sheet of a dump of first..last saved as `image`.
struct DumpCueResult {
    ToolStatus status = ToolStatus::done;
    DumpCueSheet cue;  // valid when done
    int32_t first = 0, last = 0;
    std::string device, image;
    std::string sheet;  // cue_sheet_path(image)
    std::string error;  // the system's reason (open, create, write)
};

inline constexpr uint32_t disk_block_size = 512;

// Reads the TOC through the drive in pass-through mode.
[[nodiscard]] TocQuery query_toc(const platform::DeviceBackend& backend, const char* device);

// Asks the drive in pass-through mode for its identification.
[[nodiscard]] DriveIdentification query_drive_identification(const platform::DeviceBackend& backend,
                                                             const char* device);

// Copies the volume from its first byte in 512-byte blocks until its end.
// After every 16th block shows the block count and runs the hooks' pump;
// stops after the block in hand once the hooks ask for a stop (a request
// standing before the copy is the front end's to clear). A read error ends
// the copy there.
[[nodiscard]] DiskImageResult create_disk_image(const platform::DeviceBackend& backend, const char* device,
                                                const char* output, const ProgressDisplay& progress,
                                                const JobHooks& hooks);

// Copies the raw sectors first..last (last = first - 1 gives an empty file) in
// ascending order; an unreadable sector is written as 2352 zero bytes at its
// place and counted. Whenever the next address is a multiple of 256 shows
// "next/remaining" and runs the hooks' pump; stops after the sector in hand
// once the hooks ask for a stop. A last sector below first - 1 is refused
// before anything is opened.
[[nodiscard]] CdImageResult create_cd_image(const platform::DeviceBackend& backend, const char* device,
                                            const char* output, int32_t first, int32_t last,
                                            const ProgressDisplay& progress, const JobHooks& hooks);

// Makes the cue sheet of a dump of first..last saved as `image`: reads the
// TOC, then the first dumped sector of each data track in the range (one
// READ CD each) for its mode byte. Refuses a sheet name that is the image's.
[[nodiscard]] DumpCueResult make_dump_cue_sheet(const platform::DeviceBackend& backend, const char* device,
                                                const char* image, int32_t first, int32_t last);

// Writes a sheet that was made to result.sheet, under a temporary name that is
// renamed over it once complete; on failure an older sheet stays as it was.
void save_dump_cue_sheet(DumpCueResult& result);

// True when the range first..last may be copied (last >= first - 1).
bool cd_range_acceptable(int32_t first, int32_t last);

// A copy that holds every byte of what it set out to copy.
bool is_clean_copy(const DiskImageResult& result);
bool is_clean_copy(const CdImageResult& result);

// What the output box shows afterwards. Images: empty for a clean copy,
// otherwise what went wrong. TOC: the cue sheet text, or why there is none.
// Identification: the identification text, or why there is none.
std::string output_text(const TocQuery& query, Language language);
std::string output_text(const DriveIdentification& query, Language language);
std::string output_text(const DiskImageResult& result, Language language);
std::string output_text(const CdImageResult& result, Language language);
// Cue sheet of a dump: empty when it was made without a guess, otherwise
// which track modes were assumed, or why there is no sheet.
std::string output_text(const DumpCueResult& result, Language language);

}  // namespace drivetools
