// Colours as the pixel pipeline computes them: four floats in 0..1, red, green, blue, alpha,
// held in one SIMD register so that each operation works on all four channels at once.
#pragma once

#include "platform/win32_types.h"

typedef float ColorLanes __attribute__((vector_size(16)));
typedef int ColorIntLanes __attribute__((vector_size(16)));

struct Color {
    union {
        ColorLanes v;
        struct {
            float r, g, b, a;
        };
    };

    Color() = default;
    Color(ColorLanes lanes) : v(lanes) {}
    Color(float red, float green, float blue, float alpha)
        : v(ColorLanes{red, green, blue, alpha}) {}
};

inline Color operator+(Color x, Color y) {
    return x.v + y.v;
}
inline Color operator-(Color x, Color y) {
    return x.v - y.v;
}
inline Color operator*(Color x, Color y) {
    return x.v * y.v;
}
inline Color operator*(Color x, float s) {
    return x.v * s;
}

// Written as two selects so that they compile to max and min instructions (NaN gives 0).
inline float Saturate(float v) {
    v = v > 0.0f ? v : 0.0f;
    return v < 1.0f ? v : 1.0f;
}
inline Color Saturate(Color c) {
    ColorLanes v = c.v > 0.0f ? c.v : ColorLanes{};
    return v < 1.0f ? v : ColorLanes{1.0f, 1.0f, 1.0f, 1.0f};
}

inline Color ColorFromArgb(DWORD argb) {
    ColorIntLanes channels = {static_cast<int>((argb >> 16) & 0xFF),
                              static_cast<int>((argb >> 8) & 0xFF), static_cast<int>(argb & 0xFF),
                              static_cast<int>(argb >> 24)};
    return __builtin_convertvector(channels, ColorLanes) * (1.0f / 255.0f);
}

// A channel in 0..1 as 0..255, rounded to nearest; the same arithmetic as ArgbFromColor.
inline DWORD ByteFromChannel(float v) {
    return static_cast<DWORD>(Saturate(v) * 255.0f + 0.5f);
}

inline DWORD ArgbFromColor(Color c) {
    ColorIntLanes q = __builtin_convertvector(Saturate(c).v * 255.0f + 0.5f, ColorIntLanes);
    return (static_cast<DWORD>(q[3]) << 24) | (static_cast<DWORD>(q[0]) << 16) |
           (static_cast<DWORD>(q[1]) << 8) | static_cast<DWORD>(q[2]);
}
