// The image filters' integer formulas on BGRA images (B, G, R, A bytes).
#include "draw/image_filters.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Reads the job's images, runs the pixel function over every output pixel and writes the result.
template <typename PixelFunction>
int RunPixelFilter(FilterJob* job, int freshDest, PixelFunction pixel) {
    if (ReadFilterImages(job, freshDest, -1, -1) == -1) return -1;
    for (int y = 0; y < job->outHeight; ++y) {
        for (int x = 0; x < job->outWidth; ++x) {
            pixel(FilterPixel(&job->sourceImage, x, y), FilterPixel(&job->destImage, x, y));
        }
    }
    return FinishSoftFilter(job);
}

uint8_t ColorByte(float component) {
    return static_cast<uint8_t>(std::clamp(static_cast<int>(component * 255.0f), 0, 255));
}

// The gaussian weights, kept while the strength and width stay the same.
struct GaussWeights {
    float weights[16];
    float strength;
    int pixelWidth;
};
GaussWeights gGaussWeights = {};

void UpdateGaussWeights(int pixelWidth, float strength) {
    if (std::fabs(gGaussWeights.strength - strength) <= 0.0002f &&
        gGaussWeights.pixelWidth == pixelWidth) {
        return;
    }
    int half = pixelWidth / 2;
    float sides = 0.0f;
    for (int i = 0; i < half; ++i) {
        gGaussWeights.weights[i] = std::exp(-0.5f * static_cast<float>(i * i) / strength);
        if (i > 0) sides += gGaussWeights.weights[i];
    }
    float total = gGaussWeights.weights[0] + 2.0f * sides;
    for (int i = 0; i < half; ++i) gGaussWeights.weights[i] /= total;
    gGaussWeights.strength = strength;
    gGaussWeights.pixelWidth = pixelWidth;
}

// One blur pass along rows (step 4 bytes) or columns (step one pitch) of count pixels each.
void GaussPass(const GraphImage& from, GraphImage* to, bool alongRows, const int* weights,
               int half) {
    int lines = alongRows ? from.height : from.width;
    int count = alongRows ? from.width : from.height;
    for (int line = 0; line < lines; ++line) {
        for (int i = 0; i < count; ++i) {
            auto at = [&](int d) {
                int p = std::clamp(i + d, 0, count - 1);
                return alongRows ? FilterPixel(const_cast<GraphImage*>(&from), p, line)
                                 : FilterPixel(const_cast<GraphImage*>(&from), line, p);
            };
            uint8_t* out = alongRows ? FilterPixel(to, i, line) : FilterPixel(to, line, i);
            for (int c = 0; c < 4; ++c) {
                int64_t sides = 0;
                for (int k = 1; k < half; ++k) {
                    sides += static_cast<int64_t>(weights[k]) *
                             (at(-(2 * k - 1))[c] + at(-2 * k)[c] + at(2 * k - 1)[c] + at(2 * k)[c]);
                }
                int64_t sum = static_cast<int64_t>(weights[0]) * at(0)[c] + (sides >> 1);
                out[c] = static_cast<uint8_t>(std::min<int64_t>(sum >> 16, 255));
            }
        }
    }
}

// pow(i / 255, 1 / gamma) as bytes, kept while the gamma stays the same.
struct LevelTable {
    int entries[256];
    float gamma;
};
LevelTable gLevelTable = {{}, -10000000.0f};

}  // namespace

int Mono(FilterJob* job, float cb, float cr) {
    float Cb = std::clamp(cb / 200.0f, -0.5f, 0.5f);
    float Cr = std::clamp(cr / 200.0f, -0.5f, 0.5f);
    int oR = static_cast<int>(1.402 * Cr * 255 * 4096);
    int oG = static_cast<int>((-0.34414 * Cb - 0.71414 * Cr) * 255 * 4096);
    int oB = static_cast<int>(1.772 * Cb * 255 * 4096);
    return RunPixelFilter(job, 1, [&](const uint8_t* s, uint8_t* d) {
        int y = Luminance4096(s);
        d[0] = static_cast<uint8_t>(std::clamp((y + oB) >> 12, 0, 255));
        d[1] = static_cast<uint8_t>(std::clamp((y + oG) >> 12, 0, 255));
        d[2] = static_cast<uint8_t>(std::clamp((y + oR) >> 12, 0, 255));
        d[3] = s[3];
    });
}

int Gauss(FilterJob* job, int pixelWidth, float strength) {
    int n = pixelWidth < 9 ? 8 : pixelWidth <= 16 ? 16 : 32;
    if (strength < 1e-7f) {
        return RunPixelFilter(job, 1, [](const uint8_t* s, uint8_t* d) { std::memcpy(d, s, 4); });
    }
    UpdateGaussWeights(n, strength);
    int half = n / 2;
    int weights[16];
    for (int i = 0; i < half; ++i) {
        weights[i] = static_cast<int>(gGaussWeights.weights[i] * 65536.0f);
    }
    if (ReadFilterImages(job, 1, -1, -1) == -1) return -1;
    GraphImage across{};
    if (AllocGraphImageARGB32(job->outWidth, job->outHeight, &across) == -1) {
        FreeFilterImages(job);
        return -1;
    }
    GaussPass(job->sourceImage, &across, true, weights, half);
    GaussPass(across, &job->destImage, false, weights, half);
    FreeGraphImage(&across);
    return FinishSoftFilter(job);
}

int NormalizeDownScaleFactor(int factor) {
    return factor < 3 ? 2 : factor <= 4 ? 4 : 8;
}

int DownScale(FilterJob* job, int factor) {
    int f = NormalizeDownScaleFactor(factor);
    int shift = f == 2 ? 2 : f == 4 ? 4 : 6;
    int width = (job->srcX2 - job->srcX1) / f, height = (job->srcY2 - job->srcY1) / f;
    if (width < 1 || height < 1) return 0;
    if (ReadFilterImages(job, 1, width, height) == -1) return -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int sum[4] = {};
            for (int by = 0; by < f; ++by) {
                for (int bx = 0; bx < f; ++bx) {
                    const uint8_t* s = FilterPixel(&job->sourceImage, x * f + bx, y * f + by);
                    for (int c = 0; c < 4; ++c) sum[c] += s[c];
                }
            }
            uint8_t* d = FilterPixel(&job->destImage, x, y);
            for (int c = 0; c < 4; ++c) d[c] = static_cast<uint8_t>(sum[c] >> shift);
        }
    }
    return FinishSoftFilter(job);
}

int BrightClip(FilterJob* job, int compareKind, float threshold, int fillFlag, const float fill[4]) {
    if (compareKind != 2 && compareKind != 5) return -1;
    float T = std::clamp(threshold / 255.0f, 0.0f, 1.0f);
    int t = static_cast<int>(T * 255.0f * 4096.0f);
    uint8_t color[4] = {};
    if (fillFlag) color[0] = ColorByte(fill[2]), color[1] = ColorByte(fill[1]),
                  color[2] = ColorByte(fill[0]), color[3] = ColorByte(fill[3]);
    bool less = compareKind == 2;
    return RunPixelFilter(job, 0, [&](const uint8_t* s, uint8_t* d) {
        int y = Luminance4096(s);
        if (less ? y >= t : y <= t) {
            std::memcpy(d, s, 4);
        } else if (fillFlag) {
            std::memcpy(d, color, 4);
        }
    });
}

int Hsb(FilterJob* job, int kind, float hue, float saturation, float brightness) {
    float H = hue / 360.0f;
    H = kind == 1 ? std::clamp(H, 0.0f, 1.0f) : std::clamp(H, -0.5f, 0.5f);
    float S = std::clamp(saturation / 100.0f, -1.0f, 1.0f);
    // Beyond +-1 every channel already saturates; the bound keeps the arithmetic in range.
    float B = std::clamp(brightness / 100.0f, -2.0f, 2.0f);
    if (S > 0) S *= 5.0f;
    int h0 = static_cast<int>(6.0f * H * 256.0f);
    int iS = static_cast<int>(S * 256.0f);
    int iB = static_cast<int>(B * 256.0f);
    return RunPixelFilter(job, 1, [&](const uint8_t* s, uint8_t* d) {
        int c[3] = {s[2], s[1], s[0]};  // R, G, B
        for (int& v : c) {
            v = iB < 1 ? (iB + 256) * v >> 8 : v + ((255 - v) * iB >> 8);
            // A brightness beyond the argument range would leave the byte range.
            v = std::clamp(v, 0, 255);
        }
        int mx = std::max({c[0], c[1], c[2]}), mn = std::min({c[0], c[1], c[2]});
        int l = (mx + mn) >> 1;
        int sat = 0, h = 0;
        if (mx != mn) {
            sat = (mx - mn) * 256 / (l <= 128 ? mx + mn : 512 - mx - mn);
            int dd = mx - mn;
            int dr = (mx - c[0]) * 256 / dd, dg = (mx - c[1]) * 256 / dd,
                db = (mx - c[2]) * 256 / dd;
            h = c[0] == mx ? db - dg : c[1] == mx ? dr - db + 512 : dg - dr + 1024;
            if (h < 0) h += 1536;
        }
        h = kind == 1 ? h0 % 1536 : ((h + h0) % 1536 + 1536) % 1536;
        sat = std::min((iS + 256) * sat >> 8, 256);
        int f = h & 255;
        static constexpr int kSector[6][3] = {{255, -1, 0}, {-2, 255, 0}, {0, 255, -1},
                                              {0, -2, 255}, {-1, 0, 255}, {255, 0, -2}};
        int out[3];
        for (int i = 0; i < 3; ++i) {
            int v = kSector[h >> 8][i];
            v = v == -1 ? f : v == -2 ? 255 - f : v;
            v = v + ((128 - v) * (256 - sat) >> 8);
            v = l <= 128 ? (2 * l * v) >> 8 : v + ((255 - v) * (l - 128) * 2 >> 8);
            out[i] = v;
        }
        d[0] = static_cast<uint8_t>(out[2]);
        d[1] = static_cast<uint8_t>(out[1]);
        d[2] = static_cast<uint8_t>(out[0]);
        d[3] = s[3];
    });
}

int Invert(FilterJob* job) {
    return RunPixelFilter(job, 1, [](const uint8_t* s, uint8_t* d) {
        for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(255 - s[c]);
        d[3] = s[3];
    });
}

int Level(FilterJob* job, float min, float max, float gamma, float outMin, float outMax) {
    min = std::clamp(min / 255.0f, 0.0f, 1.0f);
    max = std::clamp(max / 255.0f, 0.0f, 1.0f);
    outMin = std::clamp(outMin / 255.0f, 0.0f, 1.0f);
    outMax = std::clamp(outMax / 255.0f, 0.0f, 1.0f);
    gamma = std::max(gamma, 0.001f);
    min = std::min(min, max);
    outMin = std::min(outMin, outMax);
    if (std::fabs(gLevelTable.gamma - gamma) > 1e-4f) {
        for (int i = 0; i < 256; ++i) {
            float v = std::pow(static_cast<float>(i) / 255.0f, 1.0f / gamma) * 255.0f;
            gLevelTable.entries[i] = std::min(255, static_cast<int>(v));
        }
        gLevelTable.gamma = gamma;
    }
    const int* table = gLevelTable.entries;
    int a = static_cast<int>(min * 255.0f), ra = static_cast<int>(max * 255.0f) - a;
    int o = static_cast<int>(outMin * 255.0f), ro = static_cast<int>(outMax * 255.0f) - o;
    return RunPixelFilter(job, 1, [&](const uint8_t* s, uint8_t* d) {
        for (int c = 0; c < 3; ++c) {
            int v;
            if (ra == 0) {
                // An empty input range is a step at min.
                v = table[s[c] >= a ? 255 : 0];
            } else {
                int k = (s[c] - a) * 256 / ra;
                v = k < 0 ? table[0] : k >= 256 ? table[255] : table[k];
            }
            d[c] = static_cast<uint8_t>((v * ro + o * 256) >> 8);
        }
        d[3] = s[3];
    });
}

int TwoColor(FilterJob* job, float threshold, const float colour1[4], const float colour2[4]) {
    // Above 255 no luminance reaches the threshold; the bound keeps the product in range.
    int t = static_cast<int>(std::clamp(threshold, -1.0f, 256.0f) * 4096.0f);
    uint8_t below[4] = {ColorByte(colour1[2]), ColorByte(colour1[1]), ColorByte(colour1[0]),
                        ColorByte(colour1[3])};
    uint8_t above[4] = {ColorByte(colour2[2]), ColorByte(colour2[1]), ColorByte(colour2[0]),
                        ColorByte(colour2[3])};
    return RunPixelFilter(job, 1, [&](const uint8_t* s, uint8_t* d) {
        std::memcpy(d, Luminance4096(s) >= t ? above : below, 4);
    });
}

int GradientMap(FilterJob* job, Handle gradient, int reverse) {
    GraphImage image{};
    if (ReadGraphToBaseImage(gradient, &image, nullptr) == -1) return -1;
    uint8_t table[256][4];
    for (int i = 0; i < 256; ++i) {
        std::memcpy(table[reverse ? 255 - i : i], FilterPixel(&image, (i * image.width) >> 8, 0),
                    4);
    }
    FreeGraphImage(&image);
    return RunPixelFilter(job, 1, [&](const uint8_t* s, uint8_t* d) {
        std::memcpy(d, table[Luminance4096(s) >> 12], 4);
    });
}

int PremultipliedAlpha(FilterJob* job) {
    return RunPixelFilter(job, 1, [](const uint8_t* s, uint8_t* d) {
        for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>((s[c] * s[3]) >> 8);
        d[3] = s[3];
    });
}
