// The image and blend filters against a plain statement of their integer formulas, on random
// images through the Direct3D device and in software mode; the front end's clipping and refusals;
// the graphics start-up self-test.
#include "draw/filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "draw_call_fixture.h"
#include "filter_requests.h"
#include "graphics/graphics_system.h"

namespace {

using Pixel = std::array<int, 4>;  // R, G, B, A
using Image = std::vector<Pixel>;

class FilterTest : public DrawCallFixture, public ::testing::WithParamInterface<bool> {
protected:
    // On the device without shaders, so that both kinds of graph run the processor formulas
    // (the shader path is compared with them in filter_shader_path_test.cpp).
    void SetUp() override {
        DrawCallFixture::SetUp();
        TestD3d9Profile profile = TestD3d9DefaultProfile();
        profile.shaders = false;
        TestD3d9SetProfile(profile);
        StartPath(GetParam(), 32);
    }

    Handle MakeRandomGraph(int width, int height, uint32_t seed) {
        std::mt19937 random(seed);
        return MakeGraph(width, height, [&](int, int) { return static_cast<uint32_t>(random()); },
                         true);
    }
    Handle MakeEmpty(int width, int height) {
        return MakeGraph(width, height, [](int, int) { return 0u; }, true);
    }

    static Image Read(Handle graph) {
        GraphImage image{};
        EXPECT_EQ(ReadGraphToBaseImage(graph, &image, nullptr), 0);
        Image out(static_cast<size_t>(image.width) * image.height);
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const uint8_t* p = FilterPixel(&image, x, y);
                out[static_cast<size_t>(y) * image.width + x] = {p[2], p[1], p[0], p[3]};
            }
        }
        FreeGraphImage(&image);
        return out;
    }

    // Filters the whole source into a fresh graph and compares every pixel with the statement.
    template <typename Statement, typename... Args>
    void ExpectFilter(int kind, Statement statement, Args... args) {
        Handle source = MakeRandomGraph(37, 29, 100 + kind);
        Handle dest = MakeEmpty(37, 29);
        ASSERT_EQ(RunFilter(Filter(kind, source, dest, {0, 0, 37, 29}), args...), 0);
        Image in = Read(source), out = Read(dest);
        for (size_t i = 0; i < in.size(); ++i) {
            ASSERT_EQ(out[i], statement(in[i])) << "kind " << kind << " pixel " << i;
        }
    }
};

int Y(const Pixel& p) {
    return 1224 * p[0] + 2404 * p[1] + 466 * p[2];
}
// A colour byte after its trip through 0..1.
int Byte(int value) {
    return std::clamp(static_cast<int>(static_cast<float>(value) / 255.0f * 255.0f), 0, 255);
}

TEST_P(FilterTest, EachPixelFilterFollowsItsFormula) {
    float cb = 60 * 100.0f / 255.0f / 200.0f, cr = -90 * 100.0f / 255.0f / 200.0f;
    int oR = static_cast<int>(1.402 * cr * 255 * 4096);
    int oG = static_cast<int>((-0.34414 * cb - 0.71414 * cr) * 255 * 4096);
    int oB = static_cast<int>(1.772 * cb * 255 * 4096);
    auto mono = [&](int o, const Pixel& p) { return std::clamp((Y(p) + o) >> 12, 0, 255); };
    ExpectFilter(kFilterMono, [&](Pixel p) {
        return Pixel{mono(oR, p), mono(oG, p), mono(oB, p), p[3]};
    }, 60, -90);
    ExpectFilter(kFilterInvert, [](Pixel p) {
        return Pixel{255 - p[0], 255 - p[1], 255 - p[2], p[3]};
    });
    ExpectFilter(kFilterPremultipliedAlpha, [](Pixel p) {
        return Pixel{p[0] * p[3] / 256, p[1] * p[3] / 256, p[2] * p[3] / 256, p[3]};
    });
    ExpectFilter(kFilterTwoColor, [](Pixel p) {
        return Y(p) >= 100 * 4096 ? Pixel{Byte(0x12), Byte(0x34), Byte(0x56), Byte(200)}
                                  : Pixel{Byte(255), 0, Byte(128), Byte(7)};
    }, 100, PackScreenColor(255, 0, 128), 7, PackScreenColor(0x12, 0x34, 0x56), 200);
    ExpectFilter(kFilterTwoColor, [](Pixel) { return Pixel{0, 0, 0, 0}; }, 1 << 30, 0, 0, 0, 255);
    // Level: input 40..200 onto 10..250 through gamma 1.7.
    float gamma = 1.7f;
    int a = static_cast<int>(40 / 255.0f * 255.0f), ra = static_cast<int>(200 / 255.0f * 255.0f) - a;
    int o = static_cast<int>(10 / 255.0f * 255.0f), ro = static_cast<int>(250 / 255.0f * 255.0f) - o;
    auto level = [&](int c) {
        int k = std::clamp((c - a) * 256 / ra, 0, 255);
        int v = std::min(255, static_cast<int>(
                                  std::pow(static_cast<float>(k) / 255.0f, 1.0f / gamma) * 255.0f));
        return (v * ro + o * 256) >> 8;
    };
    ExpectFilter(kFilterLevel, [&](Pixel p) {
        return Pixel{level(p[0]), level(p[1]), level(p[2]), p[3]};
    }, 40, 200, 170, 10, 250);
    // An empty input range is a step at its one value.
    int step = static_cast<int>(100 / 255.0f * 255.0f);
    auto stepped = [&](int c) { return c >= step ? 255 * 255 >> 8 : 0; };
    ExpectFilter(kFilterLevel, [&](Pixel p) {
        return Pixel{stepped(p[0]), stepped(p[1]), stepped(p[2]), p[3]};
    }, 100, 100, 100, 0, 255);
}

// Hue, saturation and lightness in 1/1536 turns and 1/256 steps, as the filter states them.
Pixel HsbStatement(Pixel p, int kind, int h0, int iS, int iB) {
    int c[3] = {p[0], p[1], p[2]};
    for (int& v : c) v = iB <= 0 ? (iB + 256) * v >> 8 : v + ((255 - v) * iB >> 8);
    int mx = std::max({c[0], c[1], c[2]}), mn = std::min({c[0], c[1], c[2]});
    int l = (mx + mn) / 2, sat = 0, hue = 0;
    if (mx > mn) {
        int d = mx - mn;
        sat = d * 256 / (l <= 128 ? mx + mn : 512 - mx - mn);
        int dr = (mx - c[0]) * 256 / d, dg = (mx - c[1]) * 256 / d, db = (mx - c[2]) * 256 / d;
        if (c[0] == mx) {
            hue = db - dg;
        } else if (c[1] == mx) {
            hue = dr - db + 512;
        } else {
            hue = dg - dr + 1024;
        }
        if (hue < 0) hue += 1536;
    }
    hue = kind == 1 ? (h0 == 1536 ? 0 : h0) : (hue + h0 + 3072) % 1536;
    sat = std::min((iS + 256) * sat >> 8, 256);
    int f = hue % 256, rgb[3];
    switch (hue / 256) {
        case 0: rgb[0] = 255, rgb[1] = f, rgb[2] = 0; break;
        case 1: rgb[0] = 255 - f, rgb[1] = 255, rgb[2] = 0; break;
        case 2: rgb[0] = 0, rgb[1] = 255, rgb[2] = f; break;
        case 3: rgb[0] = 0, rgb[1] = 255 - f, rgb[2] = 255; break;
        case 4: rgb[0] = f, rgb[1] = 0, rgb[2] = 255; break;
        default: rgb[0] = 255, rgb[1] = 0, rgb[2] = 255 - f; break;
    }
    Pixel out{0, 0, 0, p[3]};
    for (int i = 0; i < 3; ++i) {
        int v = rgb[i] + ((128 - rgb[i]) * (256 - sat) >> 8);
        out[i] = l <= 128 ? 2 * l * v >> 8 : v + ((255 - v) * (l - 128) * 2 >> 8);
    }
    return out;
}

TEST_P(FilterTest, HsbShiftsAndLocksTheHue) {
    // Shift by -100 degrees, saturation +40, brightness -70 (arguments in 0..255 units).
    float S = 5.0f * (40 * 100.0f / 255.0f / 100.0f), B = -70 * 100.0f / 255.0f / 100.0f;
    int h0 = static_cast<int>(6.0f * (-100 / 360.0f) * 256.0f);
    ExpectFilter(kFilterHsb, [&](Pixel p) {
        return HsbStatement(p, 0, h0, static_cast<int>(S * 256.0f), static_cast<int>(B * 256.0f));
    }, 0, -100, 40, -70);
    // Hue 360 locks to red; saturation -80 and brightness +90.
    S = -80 * 100.0f / 255.0f / 100.0f, B = 90 * 100.0f / 255.0f / 100.0f;
    ExpectFilter(kFilterHsb, [&](Pixel p) {
        return HsbStatement(p, 1, 1536, static_cast<int>(S * 256.0f), static_cast<int>(B * 256.0f));
    }, 1, 360, -80, 90);
    // Brightness far beyond the argument range saturates every channel.
    ExpectFilter(kFilterHsb, [](Pixel p) { return Pixel{254, 254, 254, p[3]}; }, 0, 0, 0, 1 << 30);
    ExpectFilter(kFilterHsb, [](Pixel p) { return Pixel{0, 0, 0, p[3]}; }, 0, 0, 0, -(1 << 30));
}

TEST_P(FilterTest, BrightClipKeepsOrFillsAndRefusesOtherComparisons) {
    Handle source = MakeRandomGraph(16, 16, 7);
    Handle dest = MakeRandomGraph(16, 16, 8);
    Image in = Read(source), before = Read(dest);
    ASSERT_EQ(RunFilter(Filter(kFilterBrightClip, source, dest, {0, 0, 16, 16}), 2, 120, 0), 0);
    Image less = Read(dest);
    int t = static_cast<int>(120 / 255.0f * 255.0f * 4096.0f);
    for (size_t i = 0; i < in.size(); ++i) EXPECT_EQ(less[i], Y(in[i]) >= t ? in[i] : before[i]);
    ASSERT_EQ(RunFilter(Filter(kFilterBrightClip, source, dest, {0, 0, 16, 16}), 5, 120, 1,
                        PackScreenColor(9, 8, 7), 66),
              0);
    Image greater = Read(dest);
    for (size_t i = 0; i < in.size(); ++i) {
        EXPECT_EQ(greater[i], (Y(in[i]) <= t ? in[i] : Pixel{Byte(9), Byte(8), Byte(7), Byte(66)}));
    }
    EXPECT_EQ(RunFilter(Filter(kFilterBrightClip, source, dest, {0, 0, 16, 16}), 3, 120, 0), -1);
    EXPECT_EQ(Read(dest), greater);
}

TEST_P(FilterTest, GaussBlursSeparablyWithClampedEdges) {
    Handle source = MakeRandomGraph(23, 19, 3);
    Handle dest = MakeEmpty(23, 19);
    ASSERT_EQ(RunFilter(Filter(kFilterGauss, source, dest, {0, 0, 23, 19}), 10, 250), 0);
    // Width 10 takes the 16-pixel kernel: 8 weights of exp(-i^2 / (2 x 2.5)).
    float w[8], sides = 0;
    for (int i = 0; i < 8; ++i) {
        w[i] = std::exp(-0.5f * static_cast<float>(i * i) / 2.5f);
        if (i > 0) sides += w[i];
    }
    float total = w[0] + 2.0f * sides;
    int W[8];
    for (int i = 0; i < 8; ++i) W[i] = static_cast<int>(w[i] / total * 65536.0f);
    Image in = Read(source), mid(in.size()), out = Read(dest);
    auto blur = [&](const Image& from, Image& to, int dx, int dy) {
        for (int y = 0; y < 19; ++y) {
            for (int x = 0; x < 23; ++x) {
                auto at = [&](int d) {
                    return from[std::clamp(y + d * dy, 0, 18) * 23 + std::clamp(x + d * dx, 0, 22)];
                };
                for (int c = 0; c < 4; ++c) {
                    long long sum = 0;
                    for (int k = 1; k < 8; ++k) {
                        sum += static_cast<long long>(W[k]) * (at(1 - 2 * k)[c] + at(-2 * k)[c] +
                                                               at(2 * k - 1)[c] + at(2 * k)[c]);
                    }
                    to[y * 23 + x][c] = static_cast<int>((W[0] * at(0)[c] + (sum >> 1)) >> 16);
                }
            }
        }
    };
    Image expected(in.size());
    blur(in, mid, 1, 0);
    blur(mid, expected, 0, 1);
    EXPECT_EQ(out, expected);
    // Strength 0 copies.
    ASSERT_EQ(ApplyFilterInPlace(dest, kFilterGauss, {{0, 0}}), 0);
    EXPECT_EQ(Read(dest), expected);
}

TEST_P(FilterTest, DownScaleAveragesBlocksAndGradientMapLooksUpLuminance) {
    Handle source = MakeRandomGraph(10, 10, 5);
    Handle dest = MakeRandomGraph(4, 4, 6);
    Image in = Read(source), before = Read(dest);
    ASSERT_EQ(RunFilter(Filter(kFilterDownScale, source, dest, {0, 0, 10, 10}, 1, 1), 3), 0);
    Image out = Read(dest);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            Pixel expected = before[y * 4 + x];
            if (x >= 1 && x < 3 && y >= 1 && y < 3) {
                expected = {0, 0, 0, 0};
                for (int i = 0; i < 16; ++i) {
                    for (int c = 0; c < 4; ++c) {
                        expected[c] += in[((y - 1) * 4 + i / 4) * 10 + (x - 1) * 4 + i % 4][c];
                    }
                }
                for (int& c : expected) c >>= 4;
            }
            EXPECT_EQ(out[y * 4 + x], expected) << x << "," << y;
        }
    }
    // A factor of 0 or below halves.
    EXPECT_EQ(RunFilter(Filter(kFilterDownScale, source, dest, {0, 0, 10, 10}), 0), 0);
    EXPECT_EQ(Read(dest)[0][0], (in[0][0] + in[1][0] + in[10][0] + in[11][0]) >> 2);
    Handle gradient = MakeRandomGraph(100, 2, 9);
    Image ramp = Read(gradient);
    for (int reverse = 0; reverse < 2; ++reverse) {
        ExpectFilter(kFilterGradientMap, [&](Pixel p) {
            int i = Y(p) >> 12;
            return ramp[((reverse ? 255 - i : i) * 100) >> 8];
        }, gradient, reverse);
    }
}

// The layer blend of one channel as the blend table states it.
int BlendStatement(int kind, int b, int s) {
    switch (kind) {
        case 0: return s;
        case 2: return s * b / 256;
        case 3: return b > s ? b - s : 0;
        case 4: return b + s > 255 ? 255 : b + s;
        case 5: return 255 - (255 - s) * (255 - b) / 256;
        case 6: case 12: {
            int x = kind == 6 ? b : s;
            int v = x < 128 ? 2 * s * b / 256 : 2 * ((256 - b) * s + 256 * b) / 256 - 255;
            return std::min(v, 255);
        }
        case 7: return s == 255 ? 255 : std::min(b * 256 / (255 - s), 255);
        case 8: return std::max(static_cast<int>(std::trunc((b - 255) * 256.0 / (s + 1))) + 255, 0);
        case 9: return std::min(b, s);
        case 10: return std::max(b, s);
        case 11: {
            double e = s < 128 ? 2 * (1 - s / 255.0) : 0.5 / (s / 255.0);
            return std::clamp(static_cast<int>(std::pow(b / 255.0, e) * 255), 0, 255);
        }
        default: return std::min(2 * ((128 - b) * s + 128 * b) / 256, 255);
    }
}

Pixel BlendPixelStatement(int kind, int R, const Pixel& b, const Pixel& s) {
    int ba = b[3], sa = s[3], k8 = sa * R / 256;
    Pixel out{0, 0, 0, 0};
    if (kind <= 13) {
        for (int c = 0; c < 3; ++c) {
            out[c] = ((BlendStatement(kind, b[c], s[c]) - b[c]) * sa * R + b[c] * 65536) >> 16;
        }
        out[3] = ba;
    } else if (kind == 14) {
        int A = ba * (256 - k8) + 256 * k8;
        if (A == 0) return out;
        for (int c = 0; c < 3; ++c) out[c] = (b[c] * ba * (256 - k8) + s[c] * k8 * 256) / A;
        out[3] = A / 256;
    } else if (kind == 15) {
        int a = ((256 - k8) * ba + 256 * k8) / 256;
        if (a == 0) return out;
        for (int c = 0; c < 3; ++c) out[c] = std::min((s[c] * k8 + b[c] * ba) / a, 255);
        out[3] = a;
    } else {
        out = b;
        out[3] = ((sa * ba / 256 - ba) * R * 255 + ba * 65536) >> 16;
    }
    return out;
}

TEST_P(FilterTest, EachBlendKindFollowsItsFormula) {
    Handle base = MakeRandomGraph(31, 17, 11);
    Handle layer = MakeRandomGraph(31, 17, 12);
    Handle dest = MakeEmpty(31, 17);
    Image b = Read(base), s = Read(layer);
    for (int kind = 0; kind <= 16; ++kind) {
        if (kind == kBlendFilterRGBAMix) continue;
        for (int ratio : {255, 170}) {
            ASSERT_EQ(RunFilter(Blend(kind, base, layer, dest, ratio, {0, 0, 31, 17})), 0);
            int R = static_cast<int>(static_cast<float>(ratio) / 255.0f * 256.0f);
            Image out = Read(dest);
            for (size_t i = 0; i < b.size(); ++i) {
                ASSERT_EQ(out[i], BlendPixelStatement(kind, R, b[i], s[i]))
                    << "kind " << kind << " ratio " << ratio << " pixel " << i;
            }
        }
    }
    // (2, 1, 0, 3) swaps red and blue; (4, 5, 6, 3) takes the layer's colour; 9 leaves 0.
    ASSERT_EQ(RunFilter(Blend(kBlendFilterRGBAMix, base, layer, dest, 255, {0, 0, 31, 17}), 2, 1, 0, 3),
              0);
    Image swapped = Read(dest);
    ASSERT_EQ(RunFilter(Blend(kBlendFilterRGBAMix, base, layer, dest, 0, {0, 0, 31, 17}), 4, 5, 9, 3), 0);
    Image mixed = Read(dest);
    for (size_t i = 0; i < b.size(); ++i) {
        EXPECT_EQ(swapped[i], (Pixel{b[i][2], b[i][1], b[i][0], b[i][3]}));
        EXPECT_EQ(mixed[i], (Pixel{s[i][0], s[i][1], 0, b[i][3]}));
    }
}

TEST_P(FilterTest, TheFrontEndClipsAndRefuses) {
    Handle source = MakeRandomGraph(40, 30, 21);
    Handle layer = MakeRandomGraph(20, 20, 22);
    Handle dest = MakeRandomGraph(32, 24, 23);
    Image in = Read(source), before = Read(dest), s = Read(layer);
    EXPECT_EQ(RunFilter(Filter(10, source, dest, {0, 0, 8, 8})), -1);
    EXPECT_EQ(RunFilter(Blend(17, source, layer, dest, 0, {0, 0, 8, 8})), -1);
    EXPECT_EQ(RunFilter(Blend(0, source, -1, dest, 0, {0, 0, 8, 8})), -1);
    EXPECT_EQ(RunFilter(Filter(kFilterInvert, source, dest, {4, 0, 4, 8})), -1);
    EXPECT_EQ(RunFilter(Filter(kFilterInvert, source, 12345, {0, 0, 8, 8})), -1);
    EXPECT_EQ(RunFilter(Filter(kFilterInvert, source, dest, {-20, 0, -2, 8})), 0);
    EXPECT_EQ(Read(dest), before);
    // From (-10, -5): the rectangle from (0, 0) lands at (10, 5), cut at the destination's edges.
    ASSERT_EQ(RunFilter(Filter(kFilterInvert, source, dest, {-10, -5, 40, 30})), 0);
    Image out = Read(dest);
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 32; ++x) {
            Pixel expected = before[y * 32 + x];
            if (x >= 10 && y >= 5) {
                Pixel p = in[(y - 5) * 40 + x - 10];
                expected = {255 - p[0], 255 - p[1], 255 - p[2], p[3]};
            }
            ASSERT_EQ(out[y * 32 + x], expected) << x << "," << y;
        }
    }
    // A layer smaller than the rectangle is transparent beyond its edge: the base passes.
    Handle blended = MakeEmpty(32, 24);
    ASSERT_EQ(RunFilter(Blend(0, source, layer, blended, 255, {0, 0, 32, 24})), 0);
    Image mixedOut = Read(blended);
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 32; ++x) {
            Pixel layerPixel = x < 20 && y < 20 ? s[y * 20 + x] : Pixel{0, 0, 0, 0};
            ASSERT_EQ(mixedOut[y * 32 + x],
                      BlendPixelStatement(0, 256, in[y * 40 + x], layerPixel));
        }
    }
}

TEST_P(FilterTest, GraphsOfManyTexturesAreFilteredWhole) {
    gDrawSettings.graphCreate.maxTextureSize = 64;
    Handle source = MakeRandomGraph(150, 90, 31);
    Handle dest = MakeEmpty(150, 90);
    if (GetParam()) {
        ASSERT_GT(GetGraphRecord(source, 0)->pieceCount, 1);
    }
    ASSERT_EQ(RunFilter(Filter(kFilterInvert, source, dest, {0, 0, 150, 90})), 0);
    Image in = Read(source), out = Read(dest);
    for (size_t i = 0; i < in.size(); ++i) {
        ASSERT_EQ(out[i], (Pixel{255 - in[i][0], 255 - in[i][1], 255 - in[i][2], in[i][3]}));
    }
}

TEST_P(FilterTest, WhatWasDrawnIntoTheCurrentDrawTargetIsFilteredToo) {
    GraphCreateSettings settings = gDrawSettings.graphCreate;
    settings.drawTarget = 1;
    Handle target = CreateEmptyGraph(&settings, 16, 16, 0, 0, 0);
    ASSERT_NE(target, -1);
    ASSERT_EQ(SelectDrawScreen(target), 0);
    ASSERT_EQ(PutBox(0, 0, 4, 4, PackScreenColor(10, 20, 30), 1), 0);
    ASSERT_EQ(ApplyFilterInPlace(target, kFilterInvert), 0);
    Image out = Read(target);
    EXPECT_EQ(out[0], (Pixel{245, 235, 225, out[0][3]}));
    ASSERT_EQ(ApplyFilterInPlace(target, kFilterInvert), 0);
    EXPECT_EQ(Read(target)[3 * 16 + 3], (Pixel{10, 20, 30, out[0][3]}));
}

INSTANTIATE_TEST_SUITE_P(DeviceAndSoftware, FilterTest, ::testing::Bool());

using FilterSelfTest = DrawCallFixture;

TEST_F(FilterSelfTest, InvertOfTheTestColoursIsExactOnA32BitDevice) {
    StartDevice(32);
    EXPECT_EQ(TestFilterResultExact(), 1);
}

// Five- and six-bit channels cannot give back 255 minus each test colour.
TEST_F(FilterSelfTest, InvertOfTheTestColoursIsNotExactOnA16BitDevice) {
    StartDevice(16);
    EXPECT_EQ(TestFilterResultExact(), 0);
}

}  // namespace
