// The blend filters' integer formulas: the source is the base, the blend graph the layer.
#include "draw/blend_filters.h"

#include <algorithm>
#include <cmath>

namespace {

// The kind's blend of a base channel b with a layer channel s (kinds 0 and 2 to 13).
int BlendChannel(int kind, int b, int s) {
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
            return std::min(b < 128 ? (2 * s * b) >> 8
                                    : ((2 * ((256 - b) * s + 256 * b)) >> 8) - 255,
                            255);
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
            return std::min(s < 128 ? (2 * s * b) >> 8
                                    : ((2 * ((256 - b) * s + 256 * b)) >> 8) - 255,
                            255);
        case 13:
            return std::min((2 * ((128 - b) * s + 128 * b)) >> 8, 255);
        default:
            return s;
    }
}

// The alpha-composing kinds 14 to 16 on one BGRA pixel; false leaves it unwritten.
bool ComposeAlpha(int kind, int R, const uint8_t* base, const uint8_t* layer, uint8_t* out) {
    int ba = base[3], sa = layer[3];
    int k8 = (sa * R) >> 8;
    if (kind == 16) {
        for (int c = 0; c < 3; ++c) out[c] = base[c];
        out[3] = static_cast<uint8_t>(((((sa * ba) >> 8) - ba) * R * 255 + ba * 65536) >> 16);
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

// The byte offset within a BGRA pixel of channel 0..3 (R, G, B, A).
constexpr int kChannelByte[4] = {2, 1, 0, 3};

}  // namespace

int RunBasBFBlend(FilterJob* job) {
    if (ReadFilterImages(job, 1, -1, -1) == -1) return -1;
    int R = static_cast<int>(job->blendRatio * 256.0f);
    for (int y = 0; y < job->outHeight; ++y) {
        for (int x = 0; x < job->outWidth; ++x) {
            const uint8_t* b = FilterPixel(&job->sourceImage, x, y);
            const uint8_t* s = FilterPixel(&job->blendImage, x, y);
            uint8_t* d = FilterPixel(&job->destImage, x, y);
            if (job->kind >= 14) {
                ComposeAlpha(job->kind, R, b, s, d);
                continue;
            }
            int k = s[3] * R;
            for (int c = 0; c < 3; ++c) {
                int f = BlendChannel(job->kind, b[c], s[c]);
                d[c] = static_cast<uint8_t>(((f - b[c]) * k + b[c] * 65536) >> 16);
            }
            d[3] = b[3];
        }
    }
    return FinishSoftFilter(job);
}

int RunRGBAMixBlend(FilterJob* job, int red, int green, int blue, int alpha) {
    if (ReadFilterImages(job, 1, -1, -1) == -1) return -1;
    const int selectors[4] = {red, green, blue, alpha};
    for (int y = 0; y < job->outHeight; ++y) {
        for (int x = 0; x < job->outWidth; ++x) {
            const uint8_t* images[2] = {FilterPixel(&job->sourceImage, x, y),
                                        FilterPixel(&job->blendImage, x, y)};
            uint8_t* d = FilterPixel(&job->destImage, x, y);
            for (int c = 0; c < 4; ++c) {
                int selector = selectors[c];
                if (selector < 0 || selector > 7) continue;
                d[kChannelByte[c]] = images[selector >> 2][kChannelByte[selector & 3]];
            }
        }
    }
    return FinishSoftFilter(job);
}
