// Opening a drive and the three requests the drive tools send to it: one raw
// sector by READ CD, the TOC by READ TOC, and the drive's identification.
// Everything goes through a platform::DeviceBackend, so the same code drives
// the operating system's drives and a simulated one.
#pragma once

#include "platform/cd_sector.h"
#include "platform/device.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace drivetools {

// The data area of one pass-through command: 2352 bytes on a 16-byte
// boundary, as adapters with an alignment mask require.
struct alignas(16) SectorBuffer {
    uint8_t bytes[raw_sector_size];
};
static_assert(sizeof(SectorBuffer) == raw_sector_size);

// "\\.\A:" for drive list index 0 up to "\\.\Z:" for index 25 (the letter is
// 'A' plus the index).
void drive_path_for_selection(int index, char (&path)[7]);

// An open drive; closed when it goes out of scope.
struct Drive {
    const platform::DeviceBackend* backend = nullptr;
    platform::DeviceHandle handle = nullptr;

    Drive() = default;
    Drive(const platform::DeviceBackend* b, platform::DeviceHandle h) : backend(b), handle(h) {}
    Drive(const Drive&) = delete;
    Drive& operator=(const Drive&) = delete;
    Drive(Drive&& other) noexcept : backend(other.backend), handle(other.handle) { other.handle = nullptr; }
    Drive& operator=(Drive&& other) noexcept;
    ~Drive() { close(); }

    bool is_open() const { return handle != nullptr; }
    void close();
};

// Opens a drive; not open on failure, with the system's reason in `error`.
[[nodiscard]] Drive open_drive(const platform::DeviceBackend& backend, const char* name, platform::DeviceMode mode,
                               std::string& error);

// Reads the raw sector at `lba` into `buffer`. The buffer is cleared first,
// and cleared again when the read fails, so a failed read always leaves 2352
// zero bytes. True when the drive delivered the sector.
[[nodiscard]] bool read_cd_sector(Drive& drive, uint32_t lba, SectorBuffer& buffer);

// READ TOC format 0 into the cleared buffer. False when the command failed
// (the buffer is then all zeros).
[[nodiscard]] bool read_toc(Drive& drive, SectorBuffer& buffer);

// Vendor identification, product identification and product revision level
// run together, padding spaces included: at most 80 characters, ending at the
// first zero byte. Control characters are shown as '.'. False (and an empty
// text) when the query failed.
[[nodiscard]] bool read_inquiry_text(Drive& drive, std::string& text);

}  // namespace drivetools
