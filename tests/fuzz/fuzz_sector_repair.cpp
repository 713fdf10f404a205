// Damaged raw sectors: the check never reads outside the sector, and repair
// never claims what it did not do. A sector it calls repaired checks sound,
// as a form whose check backs the repair; one it calls sound or unrepairable
// is left byte for byte as it was. In a data track no sector passes for
// audio: one zeroed whole is never sound; in an audio track nothing is
// touched.
//
// Input: byte 0 picks the sector and the track. Bits 1..2 give the track's
// mode (0 and 3 Mode 1, 1 Mode 2, 2 audio). Bit 0 even: a sector of the
// track's mode (Mode 1, or Mode 2 Form 1; Mode 1 for audio) encoded from a
// pattern and then damaged by the (offset, xor) triples that follow; odd: the
// input bytes themselves as the sector.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "sector/check.h"
#include "sector/mode1.h"
#include "verify/repair.h"

namespace {

void make_form1(uint8_t* s, const uint8_t* user, uint32_t number)
{
    encode_mode1_sector(s, user, number);  // sync and header
    s[15] = 2;
    const uint8_t subheader[4] = {1, 0, 0x08, 0};
    std::memcpy(s + 16, subheader, 4);
    std::memcpy(s + 20, subheader, 4);
    std::memcpy(s + 24, user, user_data_size);
    const uint32_t edc = mode1::edc_update(0, s + 16, 2056);
    for (int i = 0; i < 4; ++i)
        s[2072 + i] = uint8_t(edc >> (8 * i));
    uint8_t header[4];
    std::memcpy(header, s + 12, 4);
    std::memset(s + 12, 0, 4);
    mode1::write_parity(s);
    std::memcpy(s + 12, header, 4);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    uint8_t sector[raw_sector_size] = {};
    const uint32_t number = 1000 + data[0];
    const unsigned pick = (data[0] >> 1) & 3;
    const TrackMode track = pick == 1 ? TrackMode::mode2 : pick == 2 ? TrackMode::audio : TrackMode::mode1;
    if (data[0] & 1) {
        std::memcpy(sector, data + 1, size - 1 < sizeof sector ? size - 1 : sizeof sector);
    } else {
        uint8_t user[user_data_size];
        for (size_t i = 0; i < sizeof user; ++i)
            user[i] = uint8_t(i * 7 + data[0]);
        if (track == TrackMode::mode2)
            make_form1(sector, user, number);
        else
            encode_mode1_sector(sector, user, number);
        for (size_t at = 1; at + 3 <= size; at += 3)
            sector[(data[at] | data[at + 1] << 8) % raw_sector_size] ^= data[at + 2];
    }
    const SectorCheck before = check_sector(sector, number, track);
    if ((track == TrackMode::audio) != (before.kind == SectorKind::audio) ||
        (track == TrackMode::audio && !before.sound()))
        std::abort();
    static const uint8_t zeros[raw_sector_size] = {};
    if (track != TrackMode::audio && check_sector(zeros, number, track).sound())
        std::abort();
    uint8_t copy[raw_sector_size];
    std::memcpy(copy, sector, sizeof copy);
    switch (repair_sector(copy, number, track)) {
    case SectorRepair::sound:
        if (!before.sound() || std::memcmp(copy, sector, sizeof copy) != 0)
            std::abort();
        break;
    case SectorRepair::repaired: {
        const SectorCheck after = check_sector(copy, number, track);
        if (before.sound() || !after.sound() || after.kind == SectorKind::mode2_formless ||
            after.kind == SectorKind::audio)
            std::abort();
        break;
    }
    case SectorRepair::unrepairable:
        if (std::memcmp(copy, sector, sizeof copy) != 0)
            std::abort();
        break;
    }
    return 0;
}
