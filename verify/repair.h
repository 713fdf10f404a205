// Correction of raw sectors with their own P and Q parity.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sector/check.h"
#include "verify/image_check.h"

enum class SectorRepair {
    sound,         // nothing to correct
    repaired,      // corrected, and the corrected sector checks sound
    unrepairable,  // left exactly as it was
};

// Corrects a sector of a data track in place (see repair.cpp for the rule):
// Mode 1 and Mode 2 Form 1 by their parity, the sync pattern and mode byte of
// any data sector by rule. `expected_number` and
// `track` as for check_sector. A sector that does not check sound after
// correction, or is not of a form whose check backs it, is left as it was.
SectorRepair repair_sector(uint8_t* sector, uint32_t expected_number, TrackMode track);

struct ImageRepair {
    std::string error;  // empty when the whole file was read and written
    bool stopped = false;
    bool raw = false;  // false: not an image of 2352-byte sectors, nothing written
    uint64_t sectors = 0;
    std::vector<uint64_t> repaired, unrepairable;
    // The faults of the unrepairable sectors as they stand.
    RawCheckSummary remaining;
    uint64_t tail_bytes = 0;  // a tail shorter than a sector: the file was cut inside one
};

// Reads the raw image at `input` and writes it to `output` with every
// repairable sector corrected; all other bytes, a tail shorter than a
// sector included, are copied as they are. `tracks` as for check_image_file.
[[nodiscard]] ImageRepair repair_image_file(const char* input, platform::File& output,
                                            const volatile int32_t* stop = nullptr, const TrackList* tracks = nullptr);
