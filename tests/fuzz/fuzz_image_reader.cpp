// Images of any content: the reader names faults and never reads outside
// the image. The first byte chooses how the rest becomes an image: taken as
// it is (either form); or as the sectors from the volume descriptor set on,
// behind a zero system area, each 2048 input bytes one sector or, so that a
// short input spans many sectors, each 256 input bytes the start of one
// otherwise zero sector; and those sectors as they are or wrapped into raw
// Mode 1 sectors.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "verify/image_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int form = data[0] % 5;
    ++data;
    --size;
    std::vector<uint8_t> image;
    if (form == 0) {
        image.assign(data, data + size);
    } else {
        const size_t piece = form <= 2 ? 2048 : 256;
        std::vector<uint8_t> plain(16 * 2048, 0);
        for (size_t at = 0; at < size; at += piece) {
            const size_t n = size - at < piece ? size - at : piece;
            const size_t start = plain.size();
            plain.resize(start + (piece == 2048 ? n : 2048), 0);
            std::memcpy(&plain[start], data + at, n);
        }
        if (form % 2) {
            image = std::move(plain);
        } else {
            for (size_t at = 0; at < plain.size(); at += 2048) {
                const size_t n = plain.size() - at < 2048 ? plain.size() - at : 2048;
                const size_t start = image.size();
                image.resize(start + (n == 2048 ? 2352 : 16 + n), 0);
                std::memset(&image[start + 1], 0xFF, 10);
                image[start + 15] = 1;
                std::memcpy(&image[start + 16], &plain[at], n);
            }
        }
    }
    // An exact-size heap copy, so that any read past the image is caught.
    const StructureReport report = check_image_bytes(image.data(), image.size());
    if (report.faults.size() > max_faults + 1)
        __builtin_trap();
    if (report.faults.empty() && image.size() < 18 * 2048)
        __builtin_trap();  // no room for a primary descriptor and a terminator
    for (const std::string& fault : report.faults)
        if (fault.empty())
            __builtin_trap();
    return 0;
}
