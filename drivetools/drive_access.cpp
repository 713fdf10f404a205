#include "drivetools/drive_access.h"

#include <cstring>

#include "platform/scsi.h"

namespace drivetools {

using scsi::command_block_size;

void drive_path_for_selection(int index, char (&path)[7])
{
    std::memcpy(path, "\\\\.\\A:", sizeof path);
    path[4] = static_cast<char>('A' + index);
}

Drive& Drive::operator=(Drive&& other) noexcept
{
    if (this != &other) {
        close();
        backend = other.backend;
        handle = other.handle;
        other.handle = nullptr;
    }
    return *this;
}

void Drive::close()
{
    if (handle && backend)
        backend->close(handle);
    handle = nullptr;
}

Drive open_drive(const platform::DeviceBackend& backend, const char* name, platform::DeviceMode mode,
                 std::string& error)
{
    error.clear();
    platform::DeviceHandle handle = backend.open(backend.context, name, mode, error);
    if (!handle && error.empty())
        error = "cannot open the device";
    return Drive(&backend, handle);
}

namespace {

bool send_data_in(Drive& drive, const uint8_t (&cdb)[command_block_size], SectorBuffer& buffer)
{
    std::memset(buffer.bytes, 0, sizeof buffer.bytes);
    if (!drive.is_open())
        return false;
    if (drive.backend->command(drive.handle, cdb, sizeof cdb, buffer.bytes, sizeof buffer.bytes))
        return true;
    // Whatever a failed command left behind is not data.
    std::memset(buffer.bytes, 0, sizeof buffer.bytes);
    return false;
}

}  // namespace

bool read_cd_sector(Drive& drive, uint32_t lba, SectorBuffer& buffer)
{
    uint8_t cdb[command_block_size];
    scsi::build_read_cd(cdb, lba);
    return send_data_in(drive, cdb, buffer);
}

bool read_toc(Drive& drive, SectorBuffer& buffer)
{
    uint8_t cdb[command_block_size];
    scsi::build_read_toc(cdb);
    return send_data_in(drive, cdb, buffer);
}

bool read_inquiry_text(Drive& drive, std::string& text)
{
    text.clear();
    if (!drive.is_open())
        return false;
    uint8_t inquiry[platform::identification_size] = {};
    if (!drive.backend->identify(drive.handle, inquiry, sizeof inquiry))
        return false;
    for (uint8_t c : inquiry) {
        if (c == 0)
            break;
        text.push_back(c < 0x20 || c == 0x7F ? '.' : static_cast<char>(c));
    }
    return true;
}

}  // namespace drivetools
