// Files of any content: the direction is decided from the first four bytes
// and the size alone (or, checked, from the first sector starts), and the
// conversion of the same bytes on disk agrees with it (no output where it
// converts nothing).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "sector/convert.h"

namespace {

bool converts(ConversionResult r)
{
    return r == ConversionResult::raw_to_plain || r == ConversionResult::plain_to_raw;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint8_t head[4] = {};
    std::memcpy(head, data, size < 4 ? size : 4);
    ConversionResult direction = conversion_direction(head, size < 4 ? size : 4, size);
    switch (direction) {
    case ConversionResult::raw_to_plain:
        if (size < 2352 || std::memcmp(head, "\0\xFF\xFF\xFF", 4) != 0)
            __builtin_trap();
        break;
    case ConversionResult::plain_to_raw:
        if (size < 2048 || std::memcmp(head, "\0\0\0\0", 4) != 0)
            __builtin_trap();
        break;
    case ConversionResult::unknown_form:
    case ConversionResult::too_short: break;
    default: __builtin_trap();
    }
    // A size far beyond the bytes: only the form decides.
    ConversionResult large = conversion_direction(head, size < 4 ? size : 4, uint64_t(1) << 40);
    if (size >= 4 && large == ConversionResult::too_short)
        __builtin_trap();

    static const std::string input = "/tmp/fuzz_convert_direction." + std::to_string(getpid());
    static const std::string output = input + ".iso";
    std::remove(output.c_str());
    FILE* file = std::fopen(input.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    ConversionResult result = convert_image(input.c_str(), output.c_str());
    FILE* made = std::fopen(output.c_str(), "rb");
    bool output_made = made != nullptr;
    if (made)
        std::fclose(made);
    std::remove(output.c_str());
    if (result != direction || output_made != converts(direction))
        __builtin_trap();

    const size_t probe = size < form_probe_bytes ? size : form_probe_bytes;
    const ConversionResult checked = checked_conversion_direction(data, probe, size);
    if ((checked == ConversionResult::raw_to_plain) != looks_raw(data, probe, size) ||
        (size >= 2352 && std::memcmp(data, "\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\0", 12) == 0 &&
         checked != ConversionResult::raw_to_plain) ||
        (checked == ConversionResult::plain_to_raw && std::memcmp(head, "\0\0\0\0", 4) != 0))
        __builtin_trap();
    RawConversionCheck check;
    result = convert_image(input.c_str(), output.c_str(), nullptr, nullptr, &check);
    made = std::fopen(output.c_str(), "rb");
    output_made = made != nullptr;
    if (made)
        std::fclose(made);
    std::remove(output.c_str());
    std::remove(input.c_str());
    if (result != checked || output_made != converts(checked))
        __builtin_trap();
    return 0;
}
