// The size of one raw CD sector as a drive's READ CD returns it and as a raw
// image holds it: sync, header, user data, EDC and ECC (ECMA-130).
#pragma once

#include <cstddef>

inline constexpr size_t raw_sector_size = 2352;
