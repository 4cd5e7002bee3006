// The filters' integer formulas: the integer parameters each filter derives from its arguments
// and the per-pixel steps, written once for the processor path and the device's filter kernels
// so that both give the same bytes. Pixels are B, G, R, A bytes; luminance is Luminance4096.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

// A colour component 0..1 as the filters' byte (fill and threshold colours).
inline uint8_t FilterColorByte(float component) {
    return static_cast<uint8_t>(std::clamp(static_cast<int>(component * 255.0f), 0, 255));
}

// Mono: the luminance offsets scaled by 255 x 4096, from cb and cr as the front end scaled
// them (argument x 100 / 255).
struct MonoOffsets {
    int red, green, blue;
};
inline MonoOffsets MakeMonoOffsets(float cb, float cr) {
    float Cb = std::clamp(cb / 200.0f, -0.5f, 0.5f);
    float Cr = std::clamp(cr / 200.0f, -0.5f, 0.5f);
    return {static_cast<int>(1.402 * Cr * 255 * 4096),
            static_cast<int>((-0.34414 * Cb - 0.71414 * Cr) * 255 * 4096),
            static_cast<int>(1.772 * Cb * 255 * 4096)};
}
inline uint8_t MonoChannel(int luminance4096, int offset) {
    return static_cast<uint8_t>(std::clamp((luminance4096 + offset) >> 12, 0, 255));
}

// Gauss: one channel of one blur step along a line, at(d) being that channel d pixels away.
inline int GaussWeight65536(float weight) {
    return static_cast<int>(weight * 65536.0f);
}
template <typename At>
uint8_t GaussChannel(const int* weights, int half, At at) {
    int64_t sides = 0;
    for (int k = 1; k < half; ++k) {
        sides += static_cast<int64_t>(weights[k]) *
                 (at(-(2 * k - 1)) + at(-2 * k) + at(2 * k - 1) + at(2 * k));
    }
    int64_t sum = static_cast<int64_t>(weights[0]) * at(0) + (sides >> 1);
    return static_cast<uint8_t>(std::min<int64_t>(sum >> 16, 255));
}

// BrightClip: the luminance threshold of T (0..1).
inline int BrightClipThreshold4096(float T) {
    return static_cast<int>(T * 255.0f * 4096.0f);
}

// TwoColor: the luminance threshold of a threshold in 0..255 units. Above 255 no luminance
// reaches it; the bound keeps the product in range.
inline int TwoColorThreshold4096(float threshold) {
    return static_cast<int>(std::clamp(threshold, -1.0f, 256.0f) * 4096.0f);
}

// Hsb: hue in 1/1536 turns, saturation and brightness scaled by 256, from 6 H, S (already x5
// when positive) and B.
struct HsbSteps {
    int hue, saturation, brightness;
};
inline HsbSteps MakeHsbSteps(float sixHue, float saturation, float brightness) {
    // Beyond +-1 every channel already saturates; the bound keeps the arithmetic in range.
    float B = std::clamp(brightness, -2.0f, 2.0f);
    return {static_cast<int>(sixHue * 256.0f), static_cast<int>(saturation * 256.0f),
            static_cast<int>(B * 256.0f)};
}
inline uint8_t HsbBrightness(int v, int brightness) {
    v = brightness < 1 ? (brightness + 256) * v >> 8 : v + ((255 - v) * brightness >> 8);
    // A brightness beyond the argument range would leave the byte range.
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}
// The hue, saturation and lightness steps on brightness-adjusted colour bytes; alpha is left.
inline void HsbAdjust(const uint8_t* bgra, int hue0, int saturation, bool lockHue, uint8_t* out) {
    int c[3] = {bgra[2], bgra[1], bgra[0]};  // R, G, B
    int mx = std::max({c[0], c[1], c[2]}), mn = std::min({c[0], c[1], c[2]});
    int l = (mx + mn) >> 1;
    int sat = 0, h = 0;
    if (mx != mn) {
        sat = (mx - mn) * 256 / (l <= 128 ? mx + mn : 512 - mx - mn);
        int d = mx - mn;
        int dr = (mx - c[0]) * 256 / d, dg = (mx - c[1]) * 256 / d, db = (mx - c[2]) * 256 / d;
        h = c[0] == mx ? db - dg : c[1] == mx ? dr - db + 512 : dg - dr + 1024;
        if (h < 0) h += 1536;
    }
    h = lockHue ? hue0 % 1536 : ((h + hue0) % 1536 + 1536) % 1536;
    sat = std::min((saturation + 256) * sat >> 8, 256);
    int f = h & 255;
    // Per sector the pure colour's R, G, B: -1 stands for f, -2 for 255 - f.
    static constexpr int kSector[6][3] = {{255, -1, 0}, {-2, 255, 0}, {0, 255, -1},
                                          {0, -2, 255}, {-1, 0, 255}, {255, 0, -2}};
    for (int i = 0; i < 3; ++i) {
        int v = kSector[h >> 8][i];
        v = v == -1 ? f : v == -2 ? 255 - f : v;
        v = v + ((128 - v) * (256 - sat) >> 8);
        v = l <= 128 ? (2 * l * v) >> 8 : v + ((255 - v) * (l - 128) * 2 >> 8);
        out[2 - i] = static_cast<uint8_t>(v);
    }
}

// Level: the input and output ranges in bytes from min, max, out min and out max (0..1, min
// at most max and out min at most out max).
struct LevelRanges {
    int low, lowSpan, out, outSpan;
};
inline LevelRanges MakeLevelRanges(float min, float max, float outMin, float outMax) {
    int a = static_cast<int>(min * 255.0f), o = static_cast<int>(outMin * 255.0f);
    return {a, static_cast<int>(max * 255.0f) - a, o, static_cast<int>(outMax * 255.0f) - o};
}
inline int LevelTableIndex(int c, const LevelRanges& r) {
    // An empty input range is a step at min.
    if (r.lowSpan == 0) return c >= r.low ? 255 : 0;
    return std::clamp((c - r.low) * 256 / r.lowSpan, 0, 255);
}
inline uint8_t LevelOutput(int tableValue, const LevelRanges& r) {
    return static_cast<uint8_t>((tableValue * r.outSpan + r.out * 256) >> 8);
}

// Blends: the ratio 0..1 scaled by 256.
inline int BlendRatio256(float ratio) {
    return static_cast<int>(ratio * 256.0f);
}
// The kind's blend f of a base channel b with a layer channel s (kinds 0 and 2 to 13).
inline int BlendChannel(int kind, int b, int s) {
    switch (kind) {
        case 2:
            return (s * b) >> 8;
        case 3:
            return std::max(b - s, 0);
        case 4:
            return std::min(b + s, 255);
        case 5:
            return std::min(255 - ((255 - s) * (255 - b) >> 8), 255);
        case 6:
            return std::min(
                b < 128 ? (2 * s * b) >> 8 : ((2 * ((256 - b) * s + 256 * b)) >> 8) - 255, 255);
        case 7:
            return s == 255 ? 255 : std::min(b * 256 / (255 - s), 255);
        case 8:
            return std::max((b - 255) * 256 / (s + 1) + 255, 0);
        case 9:
            return std::min(b, s);
        case 10:
            return std::max(b, s);
        case 11: {
            double e = s < 128 ? 2.0 * (1.0 - s / 255.0) : 0.5 / (s / 255.0);
            return std::clamp(static_cast<int>(std::pow(b / 255.0, e) * 255.0), 0, 255);
        }
        case 12:
            return std::min(
                s < 128 ? (2 * s * b) >> 8 : ((2 * ((256 - b) * s + 256 * b)) >> 8) - 255, 255);
        case 13:
            return std::min((2 * ((128 - b) * s + 128 * b)) >> 8, 255);
        default:
            return s;
    }
}
// The base channel b moved towards f by k = layer alpha x ratio256.
inline uint8_t BlendTowards(int f, int b, int k) {
    return static_cast<uint8_t>(((f - b) * k + b * 65536) >> 16);
}
// The alpha-composing kinds 14 to 16 on one pixel; false leaves it unwritten.
inline bool ComposeAlpha(int kind, int ratio256, const uint8_t* base, const uint8_t* layer,
                         uint8_t* out) {
    int ba = base[3], sa = layer[3];
    int k8 = (sa * ratio256) >> 8;
    if (kind == 16) {
        for (int c = 0; c < 3; ++c) out[c] = base[c];
        out[3] =
            static_cast<uint8_t>(((((sa * ba) >> 8) - ba) * ratio256 * 255 + ba * 65536) >> 16);
        return true;
    }
    int A = ba * (256 - k8) + 256 * k8;
    if (kind == 14) {
        if (A == 0) return false;
        for (int c = 0; c < 3; ++c) {
            out[c] = static_cast<uint8_t>((base[c] * ba * (256 - k8) + layer[c] * k8 * 256) / A);
        }
        out[3] = static_cast<uint8_t>(A >> 8);
        return true;
    }
    int a = A >> 8;
    if (a == 0) return false;
    for (int c = 0; c < 3; ++c) {
        out[c] = static_cast<uint8_t>(std::min((layer[c] * k8 + base[c] * ba) / a, 255));
    }
    out[3] = static_cast<uint8_t>(a);
    return true;
}
