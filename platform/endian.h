// Number writers and readers for on-disc records (ECMA-119 7.2, 7.3) and for
// SCSI command blocks and answers: little-endian, big-endian, and both-endian
// (the little-endian form immediately followed by the big-endian form of the
// same value). The one set for the whole program; it needs nothing but the
// standard library.
#pragma once

#include <cstdint>

inline void put_le16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

inline void put_be16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

inline void put_le32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

inline void put_be32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// Partition tables (MBR, GPT) count 512-byte blocks in 64 bits.
inline void put_le64(uint8_t* p, uint64_t v)
{
    put_le32(p, uint32_t(v));
    put_le32(p + 4, uint32_t(v >> 32));
}

// ECMA-119 7.2.3: 4 bytes.
inline void put_both16(uint8_t* p, uint16_t v)
{
    put_le16(p, v);
    put_be16(p + 2, v);
}

// ECMA-119 7.3.3: 8 bytes.
inline void put_both32(uint8_t* p, uint32_t v)
{
    put_le32(p, v);
    put_be32(p + 4, v);
}

inline uint16_t get_le16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}
inline uint16_t get_be16(const uint8_t* p)
{
    return uint16_t(p[0] << 8 | p[1]);
}
inline uint32_t get_le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t get_le64(const uint8_t* p)
{
    return uint64_t(get_le32(p)) | uint64_t(get_le32(p + 4)) << 32;
}
inline uint32_t get_be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

inline constexpr uint16_t swap16(uint16_t v)
{
    return uint16_t(v << 8 | v >> 8);
}
inline constexpr uint32_t swap32(uint32_t v)
{
    return v << 24 | (v & 0xFF00) << 8 | (v >> 8 & 0xFF00) | v >> 24;
}
