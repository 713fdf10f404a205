// Correction of raw sectors with their own P and Q parity.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sector/check.h"

enum class SectorRepair {
    sound,         // nothing to correct
    repaired,      // corrected, and the corrected sector checks sound
    unrepairable,  // left exactly as it was
};

// Corrects a Mode 1 or Mode 2 Form 1 sector in place (see repair.cpp for the
// rule). `expected_number` as for check_sector. Any other kind of sector, and
// one that does not check sound after correction, is left as it was.
SectorRepair repair_sector(uint8_t* sector, uint32_t expected_number);

struct ImageRepair {
    std::string error;  // empty when the whole file was read and written
    bool stopped = false;
    bool raw = false;  // false: not an image of 2352-byte sectors, nothing written
    uint64_t sectors = 0;
    std::vector<uint64_t> repaired, unrepairable;
    // The faults of the unrepairable sectors as they stand.
    RawCheckSummary remaining;
};

// Reads the raw image at `input` and writes it to `output` with every
// repairable sector corrected; all other bytes, a tail shorter than a
// sector included, are copied as they are.
ImageRepair repair_image_file(const char* input, platform::File& output, const volatile int32_t* stop = nullptr);
