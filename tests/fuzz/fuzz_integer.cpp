// The string-to-integer rule against a straightforward restatement on
// arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/date_field.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.c_str();
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + uint32_t(text[i] - '0');
    if (negative)
        value = 0u - value;
    if (text_to_integer(text.c_str()) != int32_t(value))
        __builtin_trap();
    return 0;
}
