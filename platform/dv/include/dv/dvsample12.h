// 12-bit nonlinear DV audio samples and their 16-bit values.
// A 12-bit code is sign-extended; codes whose bits 11-8 are 0, 1, 0xE or
// 0xF are the value itself, the others are segments of a piecewise-linear
// curve with steps of 2 to 64.  Code 0x800 marks a damaged sample.
#pragma once

#include <cstdint>

namespace dv {

inline constexpr uint16_t kError12 = 0x800;
inline constexpr uint16_t kError16 = 0x8000;

// 16-bit value of a 12-bit code (bits 11-0; higher bits are ignored).
constexpr int16_t Expand12(uint16_t code) {
    int s = code & 0xFFF;
    if (s & 0x800) s -= 0x1000;
    const int k = (s >> 8) & 0xF;
    if (k < 2 || k > 0xD) return static_cast<int16_t>(s);
    if (k < 8) {
        const int shift = k - 1;
        return static_cast<int16_t>((s - 256 * shift) * (1 << shift));
    }
    const int shift = 0xE - k;
    return static_cast<int16_t>((s + 256 * shift + 1) * (1 << shift) - 1);
}

// 12-bit code of a 16-bit value, rounded towards zero's code; never 0x800.
constexpr uint16_t Compress12(int16_t value) {
    const bool negative = value < 0;
    int x = negative ? ~value : value;  // 0 .. 32767; the curve is symmetric under ~
    int code;
    if (x < 512) {
        code = x;
    } else {
        int shift = 1;
        while ((x >> (shift + 9)) != 0) ++shift;
        code = (x >> shift) + 256 * shift;
    }
    if (negative) code = ~code;
    if (code == -2048) code = -2047;
    return static_cast<uint16_t>(code & 0xFFF);
}

}  // namespace dv
