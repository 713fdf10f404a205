// The image writer: every sector of an image passes through write_sector, in
// ascending order, as sector_size bytes or as a 2352-byte Mode 1 sector.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mastering/build_link.h"
#include "mastering/entries.h"
#include "mastering/problems.h"
#include "platform/platform.h"

// The output of one build.
struct ImageWriter {
    OutputSectors sectors = OutputSectors::plain;
    // The build's link: its progress counts the sectors, its test points run
    // every 128 sectors, and once it is stopped nothing more is written.
    BuildLink* link = nullptr;
    platform::File output;
    uint64_t reserved_bytes = 0;  // room set aside for the output at its opening
    uint32_t sectors_written = 0;
    bool failed = false;  // set after the first failed write; later sectors are still counted
    std::string failure;
    // Files whose sectors could not be copied as they were planned, in order.
    std::vector<BuildProblem> problems;
    // Sectors on their way to the file, and source data being read.
    std::unique_ptr<uint8_t[]> batch, source_buffer;
    uint32_t batch_bytes = 0;
    // Bytes the image holds in place of a source's (the boot information
    // table), laid over sector `patch_sector` from `patch_offset` as the
    // source is copied; empty: none.
    std::vector<uint8_t> patch;
    uint32_t patch_sector = 0, patch_offset = 0;
};

// Opens the output for an image of `total_sectors` sectors before its
// trailing one; false (with writer.failure) when it cannot be made.
[[nodiscard]] bool open_image(ImageWriter& writer, const char* path, uint32_t total_sectors);
void write_sector(ImageWriter& writer, const uint8_t* data);
// Flushes and closes; false when a write failed (see writer.failure).
[[nodiscard]] bool close_image(ImageWriter& writer);
// Copies n bytes of a source file as ceil(n / sector_size) sectors.
void copy_file_sectors(ImageWriter& writer, const char* path, uint32_t n);
// Every file of the table, level by level in table order.
void write_file_data(ImageWriter& writer, const EntryTable& table);

// True once the build's front end has asked it to stop.
inline bool writer_stopped(const ImageWriter& writer)
{
    return writer.link && writer.link->stopped;
}
