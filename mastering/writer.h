// The image writer: every sector of an image passes through write_sector, in
// ascending order, as sector_size bytes or as a 2352-byte Mode 1 sector.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mastering/problems.h"

// The form of every sector in the image file.
enum class OutputSectors : uint8_t {
    plain = 0,  // 2048-byte sectors as they are
    raw = 1,    // 2352-byte raw Mode 1 sectors (ECMA-130)
};
// Set by the create commands just before a build.
extern OutputSectors raw_output;

[[nodiscard]] bool open_image(const char* path);
void write_sector(const uint8_t* data);
// Flushes and closes; false when a write failed (see writer_failure).
[[nodiscard]] bool close_image();
// Copies n bytes of a source file as ceil(n / sector_size) sectors.
void copy_file_sectors(const char* path, uint32_t n);
void write_file_data();

// Set after the first failed write; later sectors are still counted.
bool writer_failed();
const std::string& writer_failure();
// Files whose sectors could not be copied as they were planned, in order.
std::vector<BuildProblem>& writer_problems();
