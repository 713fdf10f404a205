// Rock Ridge fields of any content: an image whose root's "." record opens
// with SP, so that the reader takes every System Use area it meets. The
// input fills the System Use areas of the root's "." record and of one file
// record, and the sectors behind the root directory, where its CE fields
// may lead. The reader names faults and never reads outside the image.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "format/ecma119.h"
#include "format/rock_ridge.h"
#include "platform/endian.h"
#include "verify/image_reader.h"

namespace {

constexpr uint32_t root_sector = 18, image_sectors = 24;

// A directory record of `id` (n bytes) at `p`; returns its length before
// any System Use bytes.
uint32_t put_record(uint8_t* p, uint32_t extent, uint32_t size, bool directory, const char* id, uint32_t n)
{
    namespace at = directory_record_offset;
    put_both32(p + at::extent, extent);
    put_both32(p + at::data_length, size);
    p[at::file_flags] = directory ? 0x02 : 0;
    put_both16(p + at::volume_sequence_number, 1);
    p[at::identifier_length] = uint8_t(n);
    std::memcpy(p + at::identifier, id, n);
    p[at::length] = uint8_t(directory_record_length(n));
    return directory_record_length(n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> image(size_t(image_sectors) * 2048, 0);
    uint8_t* pvd = &image[16 * 2048];
    pvd[0] = 1;
    std::memcpy(pvd + 1, "CD001", 5);
    pvd[6] = 1;
    put_both32(pvd + 80, image_sectors);
    put_both16(pvd + 120, 1);
    put_both16(pvd + 124, 1);
    put_both16(pvd + 128, 2048);
    put_record(pvd + 156, root_sector, 2048, true, "\0", 1);
    uint8_t* terminator = &image[17 * 2048];
    terminator[0] = 255;
    std::memcpy(terminator + 1, "CD001", 5);
    terminator[6] = 1;

    // The root: "." with SP and the first part of the input, "..", one file
    // with the second part; the rest of the input behind the root.
    uint8_t* root = &image[root_sector * 2048];
    const size_t first = size > 0 ? data[0] % 200 : 0, second = size > 1 ? data[1] % 200 : 0;
    size_t at = 2;
    uint8_t* p = root;
    uint32_t n = put_record(p, root_sector, 2048, true, "\0", 1);
    const uint8_t sp[] = {'S', 'P', 7, 1, susp::sp_check_first, susp::sp_check_second, 0};
    std::memcpy(p + n, sp, sizeof sp);
    n += sizeof sp;
    const size_t take1 = std::min(first, size > at ? size - at : 0);
    std::memcpy(p + n, data + at, take1);
    at += take1;
    p[0] = uint8_t(n + take1);
    p += p[0];
    p += put_record(p, root_sector, 2048, true, "\1", 1);
    n = put_record(p, 0, 0, false, "F;1", 3);
    const size_t take2 = std::min(second, size > at ? size - at : 0);
    std::memcpy(p + n, data + at, take2);
    at += take2;
    p[0] = uint8_t(std::min<size_t>(n + take2, 255));
    const size_t rest = std::min(size > at ? size - at : 0, size_t(image_sectors - root_sector - 1) * 2048);
    std::memcpy(&image[(root_sector + 1) * 2048], data + at, rest);

    // An exact-size heap copy, so that any read past the image is caught.
    std::vector<uint8_t> exact(image);
    const StructureReport report = check_image_bytes(exact.data(), exact.size());
    for (const std::string& fault : report.faults)
        if (fault.empty())
            __builtin_trap();
    return 0;
}
