// The copy loops and the two queries of the drive tools.
#include "drivetools/drive_access.h"
#include "drivetools/drive_tools.h"
#include "platform/platform.h"

#include <cstdio>
#include <vector>

namespace drivetools {
namespace {

void show(const ProgressDisplay& progress, const char* text)
{
    if (progress.show)
        progress.show(progress.context, text);
}

// The disk image pumps messages every 16 blocks (8 KiB), the CD-ROM image
// every 256 sectors.
constexpr uint64_t disk_progress_interval = 16;
constexpr int64_t cd_progress_interval = 256;

// Opens the drive, then creates the output; on failure the result says which
// and why, and nothing is left open.
template <typename Result>
bool open_drive_and_output(const platform::DeviceBackend& backend, const char* device, platform::DeviceMode mode,
                           const char* output, Drive& drive, platform::File& file, Result& result)
{
    drive = open_drive(backend, device, mode, result.error);
    if (!drive.is_open()) {
        result.status = ToolStatus::open_failed;
        return false;
    }
    file = platform::create_for_writing(output);
    if (!file.valid()) {
        result.status = ToolStatus::create_failed;
        result.error = platform::last_error_text();
        drive.close();
        return false;
    }
    return true;
}

// Opens the drive for commands (TOC, inquiry, sector reads); on failure the
// result says so and the drive is not open.
template <typename Result>
Drive open_for_commands(const platform::DeviceBackend& backend, const char* device, Result& result)
{
    Drive drive = open_drive(backend, device, platform::DeviceMode::pass_through, result.error);
    if (!drive.is_open())
        result.status = ToolStatus::open_failed;
    return drive;
}

}  // namespace

TocQuery query_toc(const platform::DeviceBackend& backend, const char* device)
{
    TocQuery query;
    query.device = device;
    Drive drive = open_for_commands(backend, device, query);
    if (!drive.is_open())
        return query;
    SectorBuffer buffer;
    bool ok = read_toc(drive, buffer);
    drive.close();
    if (!ok) {
        query.status = ToolStatus::read_failed;
        return query;
    }
    query.cue = build_cue_sheet(buffer.bytes, sizeof buffer.bytes);
    if (query.cue.descriptors == 0)
        query.status = ToolStatus::no_tracks;
    return query;
}

DriveIdentification query_drive_identification(const platform::DeviceBackend& backend, const char* device)
{
    DriveIdentification query;
    query.device = device;
    Drive drive = open_for_commands(backend, device, query);
    if (!drive.is_open())
        return query;
    if (!read_inquiry_text(drive, query.text))
        query.status = ToolStatus::read_failed;
    return query;
}

DiskImageResult create_disk_image(const platform::DeviceBackend& backend, const char* device, const char* output,
                                  const ProgressDisplay& progress, const JobHooks& hooks)
{
    DiskImageResult result;
    result.device = device;
    result.output = output;
    Drive drive;
    platform::File file;
    if (!open_drive_and_output(backend, device, platform::DeviceMode::volume, output, drive, file, result))
        return result;

    uint8_t block[disk_block_size];
    for (;;) {
        int64_t n = backend.read(drive.handle, block, sizeof block);
        if (n == 0)
            break;  // end of the medium
        if (n < 0) {
            result.status = ToolStatus::read_failed;
            break;
        }
        if (n < static_cast<int64_t>(sizeof block)) {
            result.status = ToolStatus::partial_block;
            result.partial_bytes = static_cast<uint32_t>(n);
            break;
        }
        if (!platform::write_all(file, block, sizeof block)) {
            result.status = ToolStatus::write_failed;
            result.error = platform::last_error_text();
            break;
        }
        ++result.blocks;
        if (result.blocks % disk_progress_interval == 0) {
            char text[24];
            std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(result.blocks));
            show(progress, text);
            if (hooks.pump)
                hooks.pump();
        }
        if (hooks.stop_requested && hooks.stop_requested()) {
            result.status = ToolStatus::stopped;
            break;
        }
    }
    show(progress, "");
    return result;
}

bool cd_range_acceptable(int32_t first, int32_t last)
{
    return int64_t(last) >= int64_t(first) - 1;
}

CdImageResult create_cd_image(const platform::DeviceBackend& backend, const char* device, const char* output,
                              int32_t first, int32_t last, const ProgressDisplay& progress, const JobHooks& hooks)
{
    CdImageResult result;
    result.device = device;
    result.output = output;
    result.first = first;
    result.last = last;
    if (!cd_range_acceptable(first, last)) {
        result.status = ToolStatus::refused_range;
        return result;
    }
    Drive drive;
    platform::File file;
    if (!open_drive_and_output(backend, device, platform::DeviceMode::pass_through, output, drive, file, result))
        return result;

    // 64-bit counts: a range of up to 2^32 sectors, negative addresses (the
    // pregap of the first track) included.
    int64_t remaining = int64_t(last) - int64_t(first) + 1;
    int64_t address = first;
    SectorBuffer buffer;
    while (remaining > 0) {
        if (!read_cd_sector(drive, static_cast<uint32_t>(address), buffer)) {
            if (result.unreadable == 0)
                result.first_unreadable = address;
            ++result.unreadable;
        }
        ++address;
        if (!platform::write_all(file, buffer.bytes, sizeof buffer.bytes)) {
            result.status = ToolStatus::write_failed;
            result.error = platform::last_error_text();
            break;
        }
        ++result.sectors;
        if (address % cd_progress_interval == 0) {
            char text[48];
            std::snprintf(text, sizeof text, "%lld/%lld", static_cast<long long>(address),
                          static_cast<long long>(remaining));
            show(progress, text);
            if (hooks.pump)
                hooks.pump();
        }
        --remaining;
        if (remaining > 0 && hooks.stop_requested && hooks.stop_requested()) {
            result.status = ToolStatus::stopped;
            break;
        }
    }
    show(progress, "");
    return result;
}

DumpCueResult make_dump_cue_sheet(const platform::DeviceBackend& backend, const char* device, const char* image,
                                  int32_t first, int32_t last)
{
    DumpCueResult result;
    result.device = device;
    result.image = image;
    result.sheet = cue_sheet_path(image);
    result.first = first;
    result.last = last;
    platform::FileIdentity a, b;
    if (result.sheet == result.image ||
        (platform::file_identity(result.sheet.c_str(), a) && platform::file_identity(image, b) && a == b)) {
        result.status = ToolStatus::sheet_is_image;
        return result;
    }
    Drive drive = open_for_commands(backend, device, result);
    if (!drive.is_open())
        return result;
    SectorBuffer buffer;
    if (!read_toc(drive, buffer)) {
        result.status = ToolStatus::read_failed;
        return result;
    }
    std::vector<DumpTrack> tracks = tracks_in_range(buffer.bytes, sizeof buffer.bytes, first, last);
    if (tracks.empty()) {
        result.status = ToolStatus::no_tracks;
        return result;
    }
    // The mode byte follows the 12-byte sync and the 3-byte address. A sector
    // that cannot be read gives 0, which names no mode.
    for (DumpTrack& track : tracks)
        if (track.data)
            track.mode_byte =
                read_cd_sector(drive, static_cast<uint32_t>(track.first_dumped), buffer) ? buffer.bytes[15] : 0;
    result.cue = dump_cue_sheet(path_leaf(image), tracks, first);
    return result;
}

void save_dump_cue_sheet(DumpCueResult& result)
{
    std::string temporary, target;
    platform::File file = platform::create_temporary_beside(result.sheet.c_str(), temporary, target);
    if (!file.valid()) {
        result.status = ToolStatus::create_failed;
        result.error = platform::last_error_text();
        return;
    }
    const std::string& text = result.cue.text;
    bool written = platform::write_all(file, text.data(), text.size());
    file.close();
    if (written && platform::rename_into_place(temporary.c_str(), target.c_str()))
        return;
    result.status = ToolStatus::write_failed;
    result.error = platform::last_error_text();
    (void)platform::remove_file(temporary.c_str());
}

bool is_clean_copy(const DiskImageResult& result)
{
    return result.status == ToolStatus::done;
}

bool is_clean_copy(const CdImageResult& result)
{
    return result.status == ToolStatus::done && result.unreadable == 0;
}

}  // namespace drivetools
