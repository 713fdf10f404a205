// A CD-ROM drive behind the device seam, shared by the drive tools' tests and
// the Tool window's: it answers READ CD from raw sectors, READ TOC from a
// track list and INQUIRY from an identification, reads a volume's bytes, and
// can refuse to open, fail a command, or end before the requested range.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/device.h"

// One READ TOC descriptor: control 4 for a data track, 0 for audio.
struct TocTrack {
    uint8_t control, number;
    uint32_t start;
};

// The READ TOC answer for the descriptors (the lead-out last), padded with
// zero bytes to at least `at_least` bytes.
std::vector<uint8_t> toc_answer(const std::vector<TocTrack>& tracks, size_t at_least = 0);

// Raw 2352-byte sectors, every one different and its address readable from
// its first four bytes (big-endian).
std::vector<uint8_t> make_disc(uint32_t sectors);

struct SimulatedDrive {
    bool openable = true;
    // Pass-through: raw 2352-byte sectors from LBA 0, unreadable addresses.
    std::vector<uint8_t> disc;
    std::set<uint32_t> unreadable;
    std::vector<TocTrack> toc;
    bool toc_fails = false;
    std::string identification;  // vendor (8), product (16), revision (4)
    bool inquiry_fails = false;
    // Volume: the medium's bytes; reads touching fail_at fail.
    std::vector<uint8_t> volume;
    int64_t fail_at = -1;
    std::function<void(uint32_t lba)> before_read_cd;

    size_t position = 0;
    int opens = 0, closes = 0;
    platform::DeviceMode mode = platform::DeviceMode::volume;
    std::string last_device;
    std::vector<std::vector<uint8_t>> commands;

    uint32_t sectors() const;
    const uint8_t* sector(uint32_t lba) const;
    platform::DeviceBackend backend();
};
