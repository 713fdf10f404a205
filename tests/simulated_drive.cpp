#include "simulated_drive.h"

#include <algorithm>
#include <cstring>

#include "platform/scsi.h"

using namespace scsi;

namespace {

SimulatedDrive& drive_of(void* p)
{
    return *static_cast<SimulatedDrive*>(p);
}

platform::DeviceHandle sim_open(void* context, const char* name, platform::DeviceMode mode, std::string& error)
{
    SimulatedDrive& sim = drive_of(context);
    sim.last_device = name;
    if (!sim.openable) {
        error = "No such device";
        return nullptr;
    }
    ++sim.opens;
    sim.mode = mode;
    sim.position = 0;
    return &sim;
}

void sim_close(platform::DeviceHandle device)
{
    ++drive_of(device).closes;
}

int64_t sim_read(platform::DeviceHandle device, void* data, size_t size)
{
    SimulatedDrive& sim = drive_of(device);
    if (sim.fail_at >= 0 && size_t(sim.fail_at) < sim.position + size)
        return -1;
    size_t n = std::min(size, sim.volume.size() - sim.position);
    std::memcpy(data, sim.volume.data() + sim.position, n);
    sim.position += n;
    return int64_t(n);
}

bool sim_command(platform::DeviceHandle device, const uint8_t* c, size_t length, void* data, size_t size)
{
    SimulatedDrive& sim = drive_of(device);
    sim.commands.emplace_back(c, c + length);
    auto* out = static_cast<uint8_t*>(data);
    if (length == 12 && c[0] == op_read_cd) {
        // One whole sector, of any type, without sub-channel data.
        if (c[1] != 0 || c[6] != 0 || c[7] != 0 || c[8] != 1 || c[9] != 0xF8 || c[10] != 0 || size < raw_sector_size)
            return false;
        uint32_t lba = get_be32(c + 2);
        if (sim.before_read_cd)
            sim.before_read_cd(lba);
        if (lba >= sim.sectors() || sim.unreadable.count(lba)) {
            std::memset(out, 0xEE, size);  // a failing driver may leave anything
            return false;
        }
        std::memcpy(out, sim.sector(lba), raw_sector_size);
        return true;
    }
    if (length == 12 && c[0] == op_read_toc) {
        if (c[1] != 0 || c[2] != 0 || c[6] != 0 || sim.toc_fails)
            return false;
        std::vector<uint8_t> toc = toc_answer(sim.toc);
        size_t n = std::min<size_t>({toc.size(), size, get_be16(c + 7)});
        std::memcpy(out, toc.data(), n);
        return true;
    }
    if (length == 6 && c[0] == op_inquiry) {
        if (sim.inquiry_fails)
            return false;
        uint8_t answer[36] = {0x05, 0x80, 0x05, 0x32, 31};  // CD-ROM, removable
        std::memcpy(answer + 8, sim.identification.data(), std::min<size_t>(28, sim.identification.size()));
        std::memcpy(out, answer, std::min<size_t>({sizeof answer, size, c[4]}));
        return true;
    }
    return false;
}

bool sim_identify(platform::DeviceHandle device, uint8_t* inquiry, size_t size)
{
    uint8_t cdb[6];
    build_inquiry(cdb);
    alignas(16) uint8_t answer[36] = {};
    if (!sim_command(device, cdb, sizeof cdb, answer, sizeof answer))
        return false;
    std::memcpy(inquiry, answer + 8, std::min<size_t>(28, size));
    return true;
}

}  // namespace

std::vector<uint8_t> toc_answer(const std::vector<TocTrack>& tracks, size_t at_least)
{
    std::vector<uint8_t> toc(std::max(4 + 8 * tracks.size(), at_least), 0);
    put_be16(toc.data(), uint16_t(2 + 8 * tracks.size()));
    toc[2] = 1;
    toc[3] = tracks.size() > 1 ? tracks[tracks.size() - 2].number : 0;
    for (size_t i = 0; i < tracks.size(); ++i) {
        uint8_t* d = toc.data() + 4 + 8 * i;
        d[1] = uint8_t(0x10 | tracks[i].control);
        d[2] = tracks[i].number;
        put_be32(d + 4, tracks[i].start);
    }
    return toc;
}

std::vector<uint8_t> make_disc(uint32_t sectors)
{
    std::vector<uint8_t> disc(size_t(sectors) * raw_sector_size);
    for (uint32_t s = 0; s < sectors; ++s) {
        uint8_t* p = disc.data() + size_t(s) * raw_sector_size;
        for (size_t i = 0; i < raw_sector_size; ++i)
            p[i] = uint8_t(s * 31 + i * 7 + 1);
        put_be32(p, s);
    }
    return disc;
}

uint32_t SimulatedDrive::sectors() const
{
    return uint32_t(disc.size() / raw_sector_size);
}

const uint8_t* SimulatedDrive::sector(uint32_t lba) const
{
    return disc.data() + size_t(lba) * raw_sector_size;
}

platform::DeviceBackend SimulatedDrive::backend()
{
    return {sim_open, sim_close, sim_read, sim_command, sim_identify, this};
}
