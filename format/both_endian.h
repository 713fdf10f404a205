// Reading the both-endian fields of ECMA-119 (7.2.3: 16 bits in 4 bytes,
// 7.3.3: 32 bits in 8 bytes): the little-endian form followed by the
// big-endian form of the same value. A reader takes the little-endian value
// and must say when the two forms disagree.
#pragma once

#include <cstdint>

#include "platform/endian.h"

struct BothEndian {
    uint32_t little = 0;
    uint32_t big = 0;
    bool agree() const { return little == big; }
};

inline BothEndian read_both16(const uint8_t* p)
{
    return {get_le16(p), get_be16(p + 2)};
}

inline BothEndian read_both32(const uint8_t* p)
{
    return {get_le32(p), get_be32(p + 4)};
}
