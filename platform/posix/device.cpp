// Drives on Linux: a device is named by its path. Volume mode reads the block
// device (or any file) with read(2); pass-through mode sends MMC command
// blocks with the SG_IO ioctl, which both the CD-ROM block devices (/dev/sr*)
// and the SCSI generic devices (/dev/sg*) accept.
#include "platform/device.h"
#include "platform/scsi.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <scsi/sg.h>
#include <sys/ioctl.h>
#endif

namespace platform {
namespace {

struct PosixDevice {
    int fd = -1;
};

// Per command. Longer than the Windows program's 2 seconds: a real drive may
// have to spin the disc up on the first command after a change of medium.
constexpr unsigned command_timeout_ms = 10000;

int open_retrying(const char* name, int flags)
{
    int fd;
    do
        fd = ::open(name, flags | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

DeviceHandle posix_open(void*, const char* name, DeviceMode mode, std::string& error)
{
    int fd = -1;
    if (mode == DeviceMode::volume) {
        fd = open_retrying(name, O_RDONLY);
    } else {
        // Without O_NONBLOCK a CD-ROM drive without a disc refuses the open;
        // with it the commands fail instead and say so. Write access first,
        // as some kernels want it for pass-through, then read access.
        fd = open_retrying(name, O_RDWR | O_NONBLOCK);
        if (fd < 0)
            fd = open_retrying(name, O_RDONLY | O_NONBLOCK);
    }
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (mode == DeviceMode::volume && fstat(fd, &st) == 0 && S_ISCHR(st.st_mode)) {
        // /dev/zero, /dev/urandom, a terminal: a stream without an end, so a
        // copy "until the end of the medium" would never stop.
        ::close(fd);
        error = "a character device has no end to copy to; only block devices and files are copied";
        return nullptr;
    }
    if (mode == DeviceMode::pass_through) {
#ifdef __linux__
        int version = 0;
        if (ioctl(fd, SG_GET_VERSION_NUM, &version) < 0 || version < 30000) {
            ::close(fd);
            error = "not a SCSI or CD-ROM device (no SG_IO)";
            return nullptr;
        }
#else
        ::close(fd);
        error = "SCSI pass-through is not supported on this system";
        return nullptr;
#endif
    }
    return new PosixDevice{fd};
}

void posix_close(DeviceHandle device)
{
    auto* d = static_cast<PosixDevice*>(device);
    if (!d)
        return;
    ::close(d->fd);
    delete d;
}

int64_t posix_read(DeviceHandle device, void* data, size_t size)
{
    auto* d = static_cast<PosixDevice*>(device);
    auto* out = static_cast<uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(d->fd, out + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

bool posix_command(DeviceHandle device, const uint8_t* cdb, size_t cdb_length, void* data, size_t data_size)
{
#ifdef __linux__
    auto* d = static_cast<PosixDevice*>(device);
    if (cdb_length == 0 || cdb_length > 16)
        return false;
    uint8_t command[16] = {};
    std::memcpy(command, cdb, cdb_length);
    uint8_t sense[32] = {};
    sg_io_hdr_t io = {};
    io.interface_id = 'S';
    io.dxfer_direction = SG_DXFER_FROM_DEV;
    io.cmd_len = static_cast<unsigned char>(cdb_length);
    io.mx_sb_len = sizeof sense;
    io.dxfer_len = static_cast<unsigned>(data_size);
    io.dxferp = data;
    io.cmdp = command;
    io.sbp = sense;
    io.timeout = command_timeout_ms;
    int rc;
    do
        rc = ioctl(d->fd, SG_IO, &io);
    while (rc < 0 && errno == EINTR);
    if (rc < 0)
        return false;
    return (io.info & SG_INFO_OK_MASK) == SG_INFO_OK && io.status == 0 && io.host_status == 0 && io.driver_status == 0;
#else
    (void)device, (void)cdb, (void)cdb_length, (void)data, (void)data_size;
    return false;
#endif
}

bool posix_identify(DeviceHandle device, uint8_t* inquiry, size_t size)
{
    // A standard INQUIRY; vendor, product and revision are bytes 8..35.
    uint8_t cdb[scsi::inquiry_block_size];
    scsi::build_inquiry(cdb);
    alignas(16) uint8_t answer[scsi::standard_inquiry_length] = {};
    if (!posix_command(device, cdb, sizeof cdb, answer, sizeof answer))
        return false;
    size_t n = sizeof answer - 8;
    if (n > size)
        n = size;
    std::memcpy(inquiry, answer + 8, n);
    return true;
}

const DeviceBackend posix_backend = {
    posix_open, posix_close, posix_read, posix_command, posix_identify, nullptr,
};

}  // namespace

const DeviceBackend& system_device_backend()
{
    return posix_backend;
}

}  // namespace platform
