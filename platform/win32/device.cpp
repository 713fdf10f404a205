// Drives on the Windows NT family: raw volume handles "\\.\X:" opened with
// CreateFileA, MMC command blocks through IOCTL_SCSI_PASS_THROUGH_DIRECT, and
// the identification through IOCTL_SCSI_GET_INQUIRY_DATA.
#include "platform/device.h"
#include "platform/scsi.h"

#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>

#include <cstddef>
#include <cstring>

namespace platform {
namespace {

static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == 0x4D014);
static_assert(IOCTL_SCSI_GET_INQUIRY_DATA == 0x4100C);

#ifndef _WIN64
// The request is built byte for byte; make sure it is the record the system
// headers describe for this pointer width.
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == scsi::pass_through::record_size);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataTransferLength) == 12);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == 20);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == 24);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == 28);
#endif

struct Win32Device {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

std::string error_text(DWORD code)
{
    char text[512] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                             MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' '))
        text[--n] = 0;
    if (n == 0) {
        wsprintfA(text, "error %lu", static_cast<unsigned long>(code));
    }
    return text;
}

// "X" and "X:" stand for "\\.\X:"; any other name is a path of its own.
void device_path(const char* name, char (&path)[512])
{
    char letter = name[0];
    bool is_letter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
    if (is_letter && (name[1] == 0 || (name[1] == ':' && name[2] == 0))) {
        std::memcpy(path, "\\\\.\\A:", 7);
        path[4] = letter;
        return;
    }
    size_t n = std::strlen(name);
    if (n >= sizeof path)
        n = sizeof path - 1;
    std::memcpy(path, name, n);
    path[n] = 0;
}

HANDLE open_path(const char* path, DWORD access, DWORD share)
{
    return CreateFileA(path, access, share, nullptr, OPEN_EXISTING, 0, nullptr);
}

DeviceHandle win32_open(void*, const char* name, DeviceMode mode, std::string& error)
{
    char path[512];
    device_path(name, path);
    HANDLE h;
    if (mode == DeviceMode::volume) {
        h = open_path(path, GENERIC_READ, FILE_SHARE_WRITE);
        if (h == INVALID_HANDLE_VALUE)
            h = open_path(path, GENERIC_READ, FILE_SHARE_READ);
    } else {
        h = open_path(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ);
        if (h == INVALID_HANDLE_VALUE)
            h = open_path(path, GENERIC_READ, FILE_SHARE_READ);
    }
    if (h == INVALID_HANDLE_VALUE) {
        error = error_text(GetLastError());
        return nullptr;
    }
    return new Win32Device{h};
}

void win32_close(DeviceHandle device)
{
    auto* d = static_cast<Win32Device*>(device);
    if (!d)
        return;
    CloseHandle(d->handle);
    delete d;
}

int64_t win32_read(DeviceHandle device, void* data, size_t size)
{
    auto* d = static_cast<Win32Device*>(device);
    auto* out = static_cast<uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        DWORD got = 0;
        if (!ReadFile(d->handle, out + done, static_cast<DWORD>(size - done), &got, nullptr)) {
            // Reading at the end of a volume ends the medium, not an error.
            if (GetLastError() == ERROR_HANDLE_EOF)
                break;
            return -1;
        }
        if (got == 0)
            break;
        done += got;
    }
    return static_cast<int64_t>(done);
}

bool win32_command(DeviceHandle device, const uint8_t* cdb, size_t cdb_length, void* data, size_t data_size)
{
    using namespace scsi::pass_through;
    auto* d = static_cast<Win32Device*>(device);
    if (cdb_length == 0 || cdb_length > max_cdb)
        return false;
    DWORD returned = 0;
#ifndef _WIN64
    uint8_t request[request_size];
    scsi::build_pass_through_request(request, cdb, cdb_length, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data)),
                                     static_cast<uint32_t>(data_size));
    BOOL ok = DeviceIoControl(d->handle, IOCTL_SCSI_PASS_THROUGH_DIRECT, request, sizeof request, request,
                              sizeof request, &returned, nullptr);
    uint8_t status = request[status_offset];
#else
    // Another pointer width: the system's own record, same values, the sense
    // area right behind it.
    struct {
        SCSI_PASS_THROUGH_DIRECT spt;
        UCHAR sense[32];
    } request = {};
    request.spt.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
    request.spt.CdbLength = static_cast<UCHAR>(cdb_length);
    request.spt.SenseInfoLength = sense_length;
    request.spt.DataIn = SCSI_IOCTL_DATA_IN;
    request.spt.DataTransferLength = static_cast<ULONG>(data_size);
    request.spt.TimeOutValue = timeout_seconds;
    request.spt.DataBuffer = data;
    request.spt.SenseInfoOffset = offsetof(decltype(request), sense);
    std::memcpy(request.spt.Cdb, cdb, cdb_length);
    BOOL ok = DeviceIoControl(d->handle, IOCTL_SCSI_PASS_THROUGH_DIRECT, &request, sizeof request, &request,
                              sizeof request, &returned, nullptr);
    uint8_t status = request.spt.ScsiStatus;
#endif
    // The request itself succeeds also when the drive answers CHECK
    // CONDITION; only GOOD status means the data arrived.
    return ok && status == 0;
}

bool win32_identify(DeviceHandle device, uint8_t* inquiry, size_t size)
{
    // SCSI_ADAPTER_BUS_INFO: with one bus, the bus entry ends at offset 12,
    // the first unit's SCSI_INQUIRY_DATA header takes 12 bytes, and the
    // vendor identification is byte 8 of its INQUIRY data: offset 32.
    auto* d = static_cast<Win32Device*>(device);
    uint8_t answer[112] = {};
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(d->handle, IOCTL_SCSI_GET_INQUIRY_DATA, answer, sizeof answer, answer, sizeof answer,
                              &returned, nullptr);
    size_t n = sizeof answer - 32;
    if (n > size)
        n = size;
    std::memcpy(inquiry, answer + 32, n);
    return ok != FALSE;
}

const DeviceBackend win32_backend = {
    win32_open, win32_close, win32_read, win32_command, win32_identify, nullptr,
};

}  // namespace

const DeviceBackend& system_device_backend()
{
    return win32_backend;
}

}  // namespace platform
