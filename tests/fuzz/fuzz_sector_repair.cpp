// Damaged raw sectors: the check never reads outside the sector, and repair
// never claims what it did not do. A sector it calls repaired checks sound;
// one it calls sound or unrepairable is left byte for byte as it was.
//
// Input: byte 0 picks the sector: even, a Mode 1 sector encoded from a
// pattern and then damaged by the (offset, xor) triples that follow; odd,
// the input bytes themselves as the sector.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "sector/check.h"
#include "sector/mode1.h"
#include "sector/repair.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    uint8_t sector[raw_sector_size] = {};
    const uint32_t number = 1000 + data[0];
    if (data[0] & 1) {
        std::memcpy(sector, data + 1, size - 1 < sizeof sector ? size - 1 : sizeof sector);
    } else {
        uint8_t user[user_data_size];
        for (size_t i = 0; i < sizeof user; ++i)
            user[i] = uint8_t(i * 7 + data[0]);
        encode_mode1_sector(sector, user, number);
        for (size_t at = 1; at + 3 <= size; at += 3)
            sector[(data[at] | data[at + 1] << 8) % raw_sector_size] ^= data[at + 2];
    }
    const SectorCheck before = check_sector(sector, number);
    uint8_t copy[raw_sector_size];
    std::memcpy(copy, sector, sizeof copy);
    switch (repair_sector(copy, number)) {
    case SectorRepair::sound:
        if (!before.sound() || std::memcmp(copy, sector, sizeof copy) != 0)
            std::abort();
        break;
    case SectorRepair::repaired:
        if (before.sound() || !check_sector(copy, number).sound())
            std::abort();
        break;
    case SectorRepair::unrepairable:
        if (std::memcmp(copy, sector, sizeof copy) != 0)
            std::abort();
        break;
    }
    return 0;
}
