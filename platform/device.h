// Raw access to drives, without a file system: one small seam between the
// drive tools and the operating system. A back end is a record of function
// pointers over an opaque handle; the system's own back end lives in
// platform/posix/device.cpp and platform/win32/device.cpp, and tests plug in a
// simulated drive.
//
// Device names: on Windows "\\.\X:" or the shorthand "X:" / "X" for drive X;
// on Linux a path (/dev/sr0, /dev/sg1, /dev/fd0, or any file for volume reads).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

enum class DeviceMode {
    volume,        // sequential reads of the raw medium (disk images)
    pass_through,  // SCSI/MMC command blocks (CD-ROM image, TOC, identification)
};

using DeviceHandle = void*;

struct DeviceBackend {
    // Opens a drive. Null on failure, with the reason in `error`.
    DeviceHandle (*open)(void* context, const char* name, DeviceMode mode, std::string& error);
    void (*close)(DeviceHandle device);

    // Reads up to `size` bytes from the current position; stops early only at
    // the end of the medium. Gives the bytes read, 0 at the end, -1 on a read
    // error.
    int64_t (*read)(DeviceHandle device, void* data, size_t size);

    // Sends one command block (6 to 16 bytes) that moves up to `data_size`
    // bytes from the drive into `data` (16-byte aligned). True when the
    // request went through and the drive ended it with GOOD status; on false,
    // `data` may hold anything.
    bool (*command)(DeviceHandle device, const uint8_t* cdb, size_t cdb_length, void* data, size_t data_size);

    // The drive's identification: fills `inquiry` (80 bytes, cleared by the
    // caller) with the standard INQUIRY data from the vendor identification
    // (INQUIRY byte 8) on, as far as the platform gives it. False when the
    // query failed.
    bool (*identify)(DeviceHandle device, uint8_t* inquiry, size_t size);

    void* context;
};

// Size of the identification area handed to DeviceBackend::identify.
inline constexpr size_t identification_size = 80;

// The operating system's drives.
[[nodiscard]] const DeviceBackend& system_device_backend();

}  // namespace platform
