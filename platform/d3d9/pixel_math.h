// The device's colour arithmetic. Direct3D 9 leaves rounding to the device; this one works in
// 8-bit channels and gives each operation's exact result rounded to nearest once, so that the
// general pixel path and the specialised spans compute the same values bit for bit.
#pragma once

#include <cstdint>

#include "platform/win32_types.h"

namespace pixel_math {

// n / 255 rounded to nearest for n >= 0 (n / 255 is never half-way between two integers).
inline int Div255(int n) {
    return (n + 127) / 255;
}
inline int Mul255(int a, int b) {
    return Div255(a * b);
}
inline int Clamp255(int v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}
// round(n / 255) clamped to 0..255, for any sign of n.
inline int SignedDiv255(int n) {
    return n <= 0 ? 0 : Clamp255(Div255(n));
}

// An 8-bit channel as `bits` bits: round(v * (2^bits - 1) / 255).
inline DWORD Quantize(DWORD v, int bits) {
    DWORD top = (1u << bits) - 1;
    return (v * top + 127) / 255;
}

// Channel i of an A8R8G8B8 word: 0 blue, 1 green, 2 red, 3 alpha (the order in memory).
inline int Channel(DWORD argb, int i) {
    return static_cast<int>((argb >> (8 * i)) & 0xFF);
}
inline DWORD Alpha(DWORD argb) {
    return argb >> 24;
}
// Applies f(channel index, a, b) to each channel of two words (results already in 0..255).
template <class F>
inline DWORD EachChannel(DWORD a, DWORD b, F f) {
    DWORD out = 0;
    for (int i = 0; i < 4; ++i) {
        out |= static_cast<DWORD>(f(i, Channel(a, i), Channel(b, i))) << (8 * i);
    }
    return out;
}
inline DWORD Splat(int v) {
    return static_cast<DWORD>(v) * 0x01010101u;
}

// floor(v + 0.5) limited to +-2^62; NaN gives 0. Every fixed-point value of an attribute
// comes through here, so both pixel paths start from the same integers.
inline int64_t RoundToInt64(double v) {
    constexpr double kLimit = 4611686018427387904.0;  // 2^62
    if (!(v > -kLimit)) return v != v ? 0 : -static_cast<int64_t>(kLimit);
    if (!(v < kLimit)) return static_cast<int64_t>(kLimit);
    double shifted = v + 0.5;
    int64_t whole = static_cast<int64_t>(shifted);  // truncates towards zero
    return static_cast<double>(whole) > shifted ? whole - 1 : whole;
}

}  // namespace pixel_math
