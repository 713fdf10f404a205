#include "sector/mode1.h"
namespace mode1 {
void encode_ssse3(uint8_t* out, const uint8_t* data, uint32_t n) { encode_portable(out, data, n); }
void encode_avx2(uint8_t* out, const uint8_t* data, uint32_t n) { encode_portable(out, data, n); }
void encode_avx512(uint8_t* out, const uint8_t* data, uint32_t n) { encode_portable(out, data, n); }
}
