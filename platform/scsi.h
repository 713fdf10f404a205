// The bytes sent to a CD-ROM drive: the 12-byte MMC command blocks READ CD
// and READ TOC/PMA/ATIP, the 6-byte standard INQUIRY, and the Windows NT
// SCSI_PASS_THROUGH_DIRECT request as 32-bit Windows lays it out.
//
// Portable and header-only, built byte for byte at fixed offsets, so that both
// device back ends, the drive tools and the tests share one definition and
// the layout can be checked on any host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/cd_sector.h"
#include "platform/endian.h"

namespace scsi {

// The length of the READ CD and READ TOC command blocks; every pass-through
// command transfers at most one raw sector (raw_sector_size).
inline constexpr size_t command_block_size = 12;

// MMC operation codes.
inline constexpr uint8_t op_inquiry = 0x12;
inline constexpr uint8_t op_read_toc = 0x43;
inline constexpr uint8_t op_read_cd = 0xBE;

// READ CD byte 9: sync, all header codes, user data, EDC and ECC; no C2 errors.
inline constexpr uint8_t read_cd_all_fields = 0xF8;

// READ CD of one raw sector at a logical block address: any sector type, the
// address big-endian in bytes 2..5, a transfer length of 1 block in 6..8, the
// whole 2352-byte sector selected in byte 9, no sub-channel data.
inline void build_read_cd(uint8_t cdb[command_block_size], uint32_t lba)
{
    std::memset(cdb, 0, command_block_size);
    cdb[0] = op_read_cd;
    put_be32(cdb + 2, lba);
    cdb[8] = 1;
    cdb[9] = read_cd_all_fields;
}

// READ TOC/PMA/ATIP, format 0 (TOC), addresses as logical block addresses,
// from the first track, allocation length 2352 in bytes 7..8.
inline void build_read_toc(uint8_t cdb[command_block_size])
{
    std::memset(cdb, 0, command_block_size);
    cdb[0] = op_read_toc;
    put_be16(cdb + 7, static_cast<uint16_t>(raw_sector_size));
}

// Standard INQUIRY (6-byte block). The vendor, product and revision fields
// are bytes 8..35 of the answer, so 36 bytes are enough.
inline constexpr size_t inquiry_block_size = 6;
inline constexpr size_t standard_inquiry_length = 36;
inline void build_inquiry(uint8_t cdb[inquiry_block_size])
{
    std::memset(cdb, 0, inquiry_block_size);
    cdb[0] = op_inquiry;
    cdb[4] = static_cast<uint8_t>(standard_inquiry_length);
}

// SCSI_PASS_THROUGH_DIRECT of 32-bit Windows (44 bytes) followed by padding to
// offset 48 and a 32-byte sense area: 80 bytes in all, given to
// DeviceIoControl as input and output.
//
//   0 Length (2)          6 CdbLength           12 DataTransferLength (4)
//   2 ScsiStatus          7 SenseInfoLength     16 TimeOutValue (4, seconds)
//   3 PathId              8 DataIn              20 DataBuffer (4, address)
//   4 TargetId            9..11 padding         24 SenseInfoOffset (4)
//   5 Lun                                       28 Cdb (16)
//  44 padding (4)        48 sense area (32)
namespace pass_through {
inline constexpr size_t request_size = 80;
inline constexpr size_t record_size = 44;
inline constexpr size_t sense_offset = 48;
inline constexpr uint8_t sense_length = 14;
inline constexpr uint8_t data_in = 1;  // SCSI_IOCTL_DATA_IN
inline constexpr uint32_t timeout_seconds = 2;
inline constexpr size_t status_offset = 2;  // ScsiStatus, set by the driver
inline constexpr size_t cdb_offset = 28;
inline constexpr size_t max_cdb = 16;
}  // namespace pass_through

// Fills an 80-byte request for a data-in command. data_buffer is the 32-bit
// address of the caller's (16-byte aligned) data buffer.
inline void build_pass_through_request(uint8_t request[pass_through::request_size], const uint8_t* cdb,
                                       size_t cdb_length, uint32_t data_buffer, uint32_t transfer_length)
{
    using namespace pass_through;
    if (cdb_length > max_cdb)
        cdb_length = max_cdb;
    std::memset(request, 0, request_size);
    put_le16(request + 0, static_cast<uint16_t>(record_size));
    request[6] = static_cast<uint8_t>(cdb_length);
    request[7] = sense_length;
    request[8] = data_in;
    put_le32(request + 12, transfer_length);
    put_le32(request + 16, timeout_seconds);
    put_le32(request + 20, data_buffer);
    put_le32(request + 24, static_cast<uint32_t>(sense_offset));
    std::memcpy(request + cdb_offset, cdb, cdb_length);
}

}  // namespace scsi
