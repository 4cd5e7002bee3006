// Colours as the pixel pipeline computes them: four floats in 0..1, red, green, blue, alpha.
#pragma once

#include <algorithm>

#include "platform/win32_types.h"

struct alignas(16) Color {
    float r, g, b, a;
};

inline Color operator+(Color x, Color y) { return {x.r + y.r, x.g + y.g, x.b + y.b, x.a + y.a}; }
inline Color operator-(Color x, Color y) { return {x.r - y.r, x.g - y.g, x.b - y.b, x.a - y.a}; }
inline Color operator*(Color x, Color y) { return {x.r * y.r, x.g * y.g, x.b * y.b, x.a * y.a}; }
inline Color operator*(Color x, float s) { return {x.r * s, x.g * s, x.b * s, x.a * s}; }

inline float Saturate(float v) { return std::clamp(v, 0.0f, 1.0f); }
inline Color Saturate(Color c) { return {Saturate(c.r), Saturate(c.g), Saturate(c.b), Saturate(c.a)}; }

inline Color ColorFromArgb(DWORD argb) {
    constexpr float k = 1.0f / 255.0f;
    return {static_cast<float>((argb >> 16) & 0xFF) * k, static_cast<float>((argb >> 8) & 0xFF) * k,
            static_cast<float>(argb & 0xFF) * k, static_cast<float>(argb >> 24) * k};
}

// A channel in 0..1 as an unsigned integer of `maxValue` steps, rounded to nearest.
inline DWORD QuantizeChannel(float v, float maxValue) {
    return static_cast<DWORD>(Saturate(v) * maxValue + 0.5f);
}

inline DWORD ArgbFromColor(Color c) {
    return (QuantizeChannel(c.a, 255.0f) << 24) | (QuantizeChannel(c.r, 255.0f) << 16) |
           (QuantizeChannel(c.g, 255.0f) << 8) | QuantizeChannel(c.b, 255.0f);
}
