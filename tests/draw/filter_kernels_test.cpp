// The filter and blend kernels drawn on the software device with the constants the filters
// store, against the processor's integer formulas restated here, on random images: bit for bit.
// Each strip maps the whole texture onto the target, so taps past an edge read the edge as the
// processor does. Where a whole filter pass cannot equal the processor path (what the pass hands
// the kernel differs, not the kernel's arithmetic):
// - Gauss: taps past the rectangle's left, right and top edges read the texture beyond it where
//   the processor repeats the edge pixel; pixels within n - 2 of those edges may differ by any
//   amount. Exact where the rectangle reaches the texture's edge.
// - DownScale: a rectangle whose size is no multiple of the factor is stretched over w / f
//   pixels, so blocks leave the processor's grid; exact for multiples.
// - BrightClip without fill through a work target keeps the work target's pixels.
// - GradientMap takes the gradient's width from its texture; exact when the gradient graph fills
//   its texture's width.
// - Blends read the layer through coordinate set 1 (blend position, or the blend graph
//   stretched), the processor at the source's coordinates; exact where both name one pixel.
#include "draw/filter_kernels.h"

#include <platform/d3d9_kernels.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <random>

#include "d3d9/device_fixture.h"

namespace {

constexpr int kSize = 16;
using Constants = std::vector<std::array<float, 4>>;

int R(DWORD p) {
    return (p >> 16) & 255;
}
int G(DWORD p) {
    return (p >> 8) & 255;
}
int B(DWORD p) {
    return p & 255;
}
int A(DWORD p) {
    return p >> 24;
}
DWORD Pack(int r, int g, int b, int a) {
    return static_cast<DWORD>(a) << 24 | static_cast<DWORD>(r) << 16 | static_cast<DWORD>(g) << 8 |
           static_cast<DWORD>(b);
}
int Y4096(DWORD p) {
    return 1224 * R(p) + 2404 * G(p) + 466 * B(p);
}
int Byte(float component) {
    return std::clamp(static_cast<int>(component * 255.0f), 0, 255);
}
// The front end's scaling of cb, cr, saturation and brightness arguments.
float Scaled(int argument) {
    return static_cast<float>(argument) * 100.0f / 255.0f;
}

class FilterKernelsTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        RegisterFilterShaderKernels();
        RegisterFilterShaderKernels();  // a second call changes nothing
        CreateDevice(kSize, kSize);
        target_ = UseArgbTarget(kSize, kSize);
        source_ = Random(kSize, kSize);
        layer_ = Random(kSize, kSize);
        Bind(0, kSize, kSize, source_);
        Bind(1, kSize, kSize, layer_);
    }

    std::vector<DWORD> Random(int width, int height) {
        std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
        for (DWORD& p : pixels) p = static_cast<DWORD>(random_());
        return pixels;
    }

    void Bind(int sampler, int width, int height, const std::vector<DWORD>& pixels) {
        device_->SetTexture(sampler, MakeTexture32(D3DFMT_A8R8G8B8, width, height, pixels));
    }

    // The filter strip with the kernel over the target's (x, y, w, h), both coordinate sets
    // spanning (u0, v0)..(u1, v1); the target's pixels afterwards.
    std::vector<DWORD> Run(const char* kernel, const Constants& constants, float x = 0, float y = 0,
                           float w = kSize, float h = kSize, float u0 = 0, float v0 = 0,
                           float u1 = 1, float v1 = 1) {
        std::vector<DWORD> code = MakeShaderKernelRecord(false, kernel);
        IDirect3DPixelShader9* shader = nullptr;
        EXPECT_EQ(device_->CreatePixelShader(code.data(), &shader), D3D_OK) << kernel;
        device_->SetPixelShader(Keep(shader));
        if (!constants.empty()) {
            device_->SetPixelShaderConstantF(0, constants[0].data(),
                                             static_cast<UINT>(constants.size()));
        }
        float x0 = x - 0.5f, y0 = y - 0.5f, x1 = x + w - 0.5f, y1 = y + h - 0.5f;
        std::vector<TwoTextureVertex> strip = {{x0, y0, 0, 1, 0, 0, u0, v0, u0, v0},
                                               {x1, y0, 0, 1, 0, 0, u1, v0, u1, v0},
                                               {x0, y1, 0, 1, 0, 0, u0, v1, u0, v1},
                                               {x1, y1, 0, 1, 0, 0, u1, v1, u1, v1}};
        Draw(D3DPT_TRIANGLESTRIP, kTwoTextureFvf, strip, 2);
        return TestD3d9ReadSurface(target_, nullptr, nullptr);
    }

    // Every target pixel against expect(x, y).
    void Check(const std::vector<DWORD>& got, const std::function<DWORD(int, int)>& expect,
               const char* what, int width = kSize, int height = kSize) {
        int wrong = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                DWORD want = expect(x, y), have = got[static_cast<size_t>(y) * kSize + x];
                if (want != have && ++wrong <= 3) {
                    ADD_FAILURE() << what << " at (" << x << ", " << y << "): " << std::hex << have
                                  << " instead of " << want;
                }
            }
        }
    }

    DWORD Src(int x, int y) const { return source_[static_cast<size_t>(y) * kSize + x]; }
    DWORD Layer(int x, int y) const { return layer_[static_cast<size_t>(y) * kSize + x]; }

    std::mt19937 random_{23};
    IDirect3DSurface9* target_ = nullptr;
    std::vector<DWORD> source_, layer_;
};

TEST_F(FilterKernelsTest, PixelFiltersFollowTheProcessorFormulas) {
    Check(
        Run("Invert.pso", {}),
        [&](int x, int y) {
            DWORD s = Src(x, y);
            return Pack(255 - R(s), 255 - G(s), 255 - B(s), A(s));
        },
        "Invert");
    Check(
        Run("PremultipliedAlpha.pso", {}),
        [&](int x, int y) {
            DWORD s = Src(x, y);
            return Pack(R(s) * A(s) >> 8, G(s) * A(s) >> 8, B(s) * A(s) >> 8, A(s));
        },
        "PremultipliedAlpha");
    // The texel under each pixel: a rectangle of the source drawn elsewhere on the target.
    Clear(0);
    std::vector<DWORD> moved =
        Run("Invert.pso", {}, 1, 2, 9, 8, 3.0f / kSize, 5.0f / kSize, 12.0f / kSize, 13.0f / kSize);
    Check(
        moved,
        [&](int x, int y) {
            if (x < 1 || x >= 10 || y < 2 || y >= 10) return DWORD{0};
            DWORD s = Src(x + 2, y + 3);
            return Pack(255 - R(s), 255 - G(s), 255 - B(s), A(s));
        },
        "Invert of a moved rectangle");

    // The offsets are recovered from the constants: every argument, each of cb and cr once.
    for (int cbArgument = -257; cbArgument <= 257; ++cbArgument) {
        int crArgument = (cbArgument + 257) * 211 % 515 - 257;
        float Cb = std::clamp(Scaled(cbArgument) / 200.0f, -0.5f, 0.5f);
        float Cr = std::clamp(Scaled(crArgument) / 200.0f, -0.5f, 0.5f);
        int oR = static_cast<int>(1.402 * Cr * 255 * 4096);
        int oG = static_cast<int>((-0.34414 * Cb - 0.71414 * Cr) * 255 * 4096);
        int oB = static_cast<int>(1.772 * Cb * 255 * 4096);
        Constants c = {{0.299f, 0.587f, 0.114f, 0},
                       {1.402f * Cr, -0.34414f * Cb - 0.71414f * Cr, 1.772f * Cb, 0}};
        Check(
            Run("Mono.pso", c),
            [&](int x, int y) {
                DWORD s = Src(x, y);
                auto channel = [&](int o) { return std::clamp((Y4096(s) + o) >> 12, 0, 255); };
                return Pack(channel(oR), channel(oG), channel(oB), A(s));
            },
            "Mono");
    }

    for (int threshold = -2; threshold <= 257;
         threshold += threshold < 0 || threshold > 250 ? 1 : 3) {
        float c1[4] = {0.2f, 0.4f, 0.6f, 0.8f}, c2[4] = {1.0f, 100 / 255.0f, 0, 3 / 255.0f};
        Constants c = {{0.299f, 0.587f, 0.114f, static_cast<float>(threshold) / 255.0f},
                       {c1[0], c1[1], c1[2], c1[3]},
                       {c2[0], c2[1], c2[2], c2[3]}};
        int t = static_cast<int>(std::clamp(static_cast<float>(threshold), -1.0f, 256.0f) * 4096);
        Check(
            Run("TwoColor.pso", c),
            [&](int x, int y) {
                const float* colour = Y4096(Src(x, y)) >= t ? c2 : c1;
                return Pack(Byte(colour[0]), Byte(colour[1]), Byte(colour[2]), Byte(colour[3]));
            },
            "TwoColor");
    }
}

TEST_F(FilterKernelsTest, BrightClipKeepsFillsOrDiscards) {
    const float fill[4] = {30 / 255.0f, 1.0f, 0.5f, 200 / 255.0f};
    for (int greater = 0; greater < 2; ++greater) {
        for (int withFill = 0; withFill < 2; ++withFill) {
            static const char* kNames[2][2] = {
                {"BrightClipLess.pso", "BrightClipFillLess.pso"},
                {"BrightClipGreater.pso", "BrightClipFillGreater.pso"}};
            float T = 117.0f / 255.0f;
            int t = static_cast<int>(T * 255.0f * 4096.0f);
            Clear(0x12345678);
            auto got = Run(
                kNames[greater][withFill],
                {{T, T, T, T}, {0.299f, 0.587f, 0.114f, 0}, {fill[0], fill[1], fill[2], fill[3]}});
            Check(
                got,
                [&](int x, int y) {
                    DWORD s = Src(x, y);
                    if (greater ? Y4096(s) <= t : Y4096(s) >= t) return s;
                    if (!withFill) return DWORD{0x12345678};
                    return Pack(Byte(fill[0]), Byte(fill[1]), Byte(fill[2]), Byte(fill[3]));
                },
                kNames[greater][withFill]);
        }
    }
}

// The processor's Hsb of one pixel, with H, S and B after the routine's clamps.
DWORD HsbReference(DWORD p, int kind, float H, float S, float Bright) {
    int h0 = static_cast<int>(6.0f * H * 256.0f), iS = static_cast<int>(S * 256.0f);
    int iB = static_cast<int>(std::clamp(Bright, -2.0f, 2.0f) * 256.0f);
    int c[3] = {R(p), G(p), B(p)};
    for (int& v : c)
        v = std::clamp(iB < 1 ? (iB + 256) * v >> 8 : v + ((255 - v) * iB >> 8), 0, 255);
    int mx = std::max({c[0], c[1], c[2]}), mn = std::min({c[0], c[1], c[2]}), l = (mx + mn) >> 1;
    int sat = 0, hue = 0;
    if (mx != mn) {
        int d = mx - mn;
        sat = d * 256 / (l <= 128 ? mx + mn : 512 - mx - mn);
        int dr = (mx - c[0]) * 256 / d, dg = (mx - c[1]) * 256 / d, db = (mx - c[2]) * 256 / d;
        hue = c[0] == mx ? db - dg : c[1] == mx ? dr - db + 512 : dg - dr + 1024;
        if (hue < 0) hue += 1536;
    }
    hue = kind == 1 ? h0 % 1536 : ((hue + h0) % 1536 + 1536) % 1536;
    sat = std::min((iS + 256) * sat >> 8, 256);
    int f = hue & 255, sector = hue >> 8;
    int pure[6][3] = {{255, f, 0},       {255 - f, 255, 0}, {0, 255, f},
                      {0, 255 - f, 255}, {f, 0, 255},       {255, 0, 255 - f}};
    int out[3];
    for (int i = 0; i < 3; ++i) {
        int v = pure[sector][i];
        v = v + ((128 - v) * (256 - sat) >> 8);
        out[i] = l <= 128 ? (2 * l * v) >> 8 : v + ((255 - v) * (l - 128) * 2 >> 8);
    }
    return Pack(out[0], out[1], out[2], A(p));
}

TEST_F(FilterKernelsTest, HsbInTwoPassesAndWithTheHueLockedEqualsTheProcessor) {
    struct Case {
        int kind, hue, saturation, brightness;
    };
    for (Case k :
         {Case{0, 0, 0, 0}, Case{0, 77, 40, -90}, Case{0, -180, -255, 255}, Case{0, 170, 255, 30},
          Case{0, 400, -60, -400}, Case{1, 360, 120, 10}, Case{1, 95, -255, -30}}) {
        float H = static_cast<float>(k.hue) / 360.0f;
        H = k.kind == 1 ? std::clamp(H, 0.0f, 1.0f) : std::clamp(H, -0.5f, 0.5f);
        float S = std::clamp(Scaled(k.saturation) / 100.0f, -1.0f, 1.0f);
        float Bright = Scaled(k.brightness) / 100.0f;
        if (S > 0) S *= 5.0f;
        Constants c = {{6.0f * H, S, Bright, 0}, {0.5f, 0.5f, 0.5f, 0.5f}, {1, 1, 1, 1}};
        std::vector<DWORD> got;
        if (k.kind == 1) {
            got = Run("Hsb_HSB_HLOCK.pso", c);
        } else {
            Bind(0, kSize, kSize, Run("Hsb_RGB_TO_HSB.pso", c));
            got = Run("Hsb_HSB_TO_RGB.pso", c);
            Bind(0, kSize, kSize, source_);
        }
        Check(
            got, [&](int x, int y) { return HsbReference(Src(x, y), k.kind, H, S, Bright); },
            "Hsb");
    }
}

TEST_F(FilterKernelsTest, LevelAndGradientMapLookUpTheProcessorsIndex) {
    std::vector<DWORD> table(256);
    for (int i = 0; i < 256; ++i) {
        int v = std::min(255, static_cast<int>(std::pow(i / 255.0f, 1 / 1.7f) * 255.0f));
        table[i] = Pack(v, v, v, v);
    }
    Bind(1, 256, 1, table);
    struct Case {
        int min, max, outMin, outMax;
    };
    std::vector<Case> cases = {{0, 255, 0, 255},   {30, 200, 10, 240}, {250, 3, 255, 0},
                               {100, 100, 20, 90}, {-20, 400, 64, 65}, {0, 1, 0, 255}};
    // max is recovered from 1 / (max - min): every max, over various mins.
    for (int max = 0; max < 256; ++max)
        cases.push_back({max * 89 % 256, max, max / 2, 255 - max / 3});
    for (Case k : cases) {
        auto unit = [](int v) { return std::clamp(static_cast<float>(v) / 255.0f, 0.0f, 1.0f); };
        float mx = unit(k.max), mn = std::min(unit(k.min), mx);
        float outMax = unit(k.outMax), outMin = std::min(unit(k.outMin), outMax);
        int a = static_cast<int>(mn * 255.0f), ra = static_cast<int>(mx * 255.0f) - a;
        int o = static_cast<int>(outMin * 255.0f), ro = static_cast<int>(outMax * 255.0f) - o;
        // An empty input range has no reciprocal.
        float reciprocal = mx > mn ? 1.0f / (mx - mn) : std::numeric_limits<float>::infinity();
        Constants c = {{mn, reciprocal, outMin, outMax}};
        Check(
            Run("Level.pso", c),
            [&](int x, int y) {
                DWORD s = Src(x, y);
                auto level = [&](int v) {
                    int k = ra == 0 ? (v >= a ? 255 : 0) : std::clamp((v - a) * 256 / ra, 0, 255);
                    return (R(table[k]) * ro + o * 256) >> 8;
                };
                return Pack(level(R(s)), level(G(s)), level(B(s)), A(s));
            },
            "Level");
    }

    std::vector<DWORD> gradient = Random(64, 1);
    Bind(1, 64, 1, gradient);
    for (int reverse = 0; reverse < 2; ++reverse) {
        auto got =
            Run(reverse ? "GradientMapRev.pso" : "GradientMap.pso", {{0.299f, 0.587f, 0.114f, 0}});
        Check(
            got,
            [&](int x, int y) {
                int entry = Y4096(Src(x, y)) >> 12;
                int i = reverse ? 255 - entry : entry;
                return gradient[(i * 64) >> 8];
            },
            "GradientMap");
    }
}

TEST_F(FilterKernelsTest, GaussBlursAlongTheAxisItsOffsetsName) {
    for (int n : {8, 16, 32}) {
        float strength = n == 8 ? 0.8f : n == 16 ? 7.5f : 40.0f;
        int half = n / 2;
        float w[16] = {}, sides = 0;
        for (int i = 0; i < half; ++i) {
            w[i] = std::exp(-0.5f * static_cast<float>(i * i) / strength);
            if (i > 0) sides += w[i];
        }
        float total = w[0] + 2.0f * sides;
        for (int i = 0; i < half; ++i) w[i] /= total;
        int W[16];
        for (int i = 0; i < half; ++i) W[i] = static_cast<int>(w[i] * 65536.0f);
        char name[32];
        std::snprintf(name, sizeof name, "Gauss_%02dPixel_PS.pso", n);
        for (int alongX = 1; alongX >= 0; --alongX) {
            Constants c = {{kSize, kSize, 0, 0}};
            for (int r = 0; r < 4; ++r)
                c.push_back({w[4 * r], w[4 * r + 1], w[4 * r + 2], w[4 * r + 3]});
            c.push_back({0, 0, 0, 0});
            for (int k = 1; k <= 15; ++k) {
                float offset = (2 * k - 0.5f) / kSize;
                c.push_back({alongX ? offset : 0, alongX ? 0 : offset, 0, 0});
            }
            Check(
                Run(name, c),
                [&](int x, int y) {
                    auto tap = [&](int d, int shift) {
                        int px = alongX ? std::clamp(x + d, 0, kSize - 1) : x;
                        int py = alongX ? y : std::clamp(y + d, 0, kSize - 1);
                        return static_cast<int64_t>((Src(px, py) >> shift) & 255);
                    };
                    int out[4];
                    for (int ch = 0; ch < 4; ++ch) {
                        int shift = 8 * ch;
                        int64_t rest = 0;
                        for (int k = 1; k < half; ++k) {
                            rest += W[k] * (tap(-(2 * k - 1), shift) + tap(-2 * k, shift) +
                                            tap(2 * k - 1, shift) + tap(2 * k, shift));
                        }
                        out[ch] = static_cast<int>(
                            std::min<int64_t>((W[0] * tap(0, shift) + (rest >> 1)) >> 16, 255));
                    }
                    return Pack(out[2], out[1], out[0], out[3]);
                },
                name);
        }
    }
}

TEST_F(FilterKernelsTest, DownScaleSumsEachBlock) {
    for (int factor : {2, 4, 8}) {
        int shift = factor == 2 ? 2 : factor == 4 ? 4 : 6;
        char name[32];
        std::snprintf(name, sizeof name, "DownScaleX%d.pso", factor);
        Constants c;
        for (int oy = -3; oy <= 3; oy += 2) {
            for (int ox = -3; ox <= 3; ox += 2) c.push_back({ox / 16.0f, oy / 16.0f, 0, 0});
        }
        int side = kSize / factor;
        Check(
            Run(name, c, 0, 0, side, side),
            [&](int x, int y) {
                int sum[4] = {};
                for (int by = 0; by < factor; ++by) {
                    for (int bx = 0; bx < factor; ++bx) {
                        DWORD s = Src(x * factor + bx, y * factor + by);
                        for (int ch = 0; ch < 4; ++ch) sum[ch] += (s >> (8 * ch)) & 255;
                    }
                }
                return Pack(sum[2] >> shift, sum[1] >> shift, sum[0] >> shift, sum[3] >> shift);
            },
            name, side, side);
    }
}

// The blend f of kinds 0 and 2 to 13.
int BlendF(int kind, int b, int s) {
    switch (kind) {
        case 0:
            return s;
        case 2:
            return s * b >> 8;
        case 3:
            return std::max(b - s, 0);
        case 4:
            return std::min(b + s, 255);
        case 5:
            return std::min(255 - ((255 - s) * (255 - b) >> 8), 255);
        case 6:
            return std::min(b < 128 ? 2 * s * b >> 8 : (2 * ((256 - b) * s + 256 * b) >> 8) - 255,
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
            return std::min(s < 128 ? 2 * s * b >> 8 : (2 * ((256 - b) * s + 256 * b) >> 8) - 255,
                            255);
        default:
            return std::min(2 * ((128 - b) * s + 128 * b) >> 8, 255);
    }
}

TEST_F(FilterKernelsTest, BlendKindsFollowTheProcessorFormulas) {
    static const char* kNames[17] = {"BasBF_Normal.pso",
                                     "",
                                     "BasBF_Multiple.pso",
                                     "BasBF_Difference.pso",
                                     "BasBF_Add.pso",
                                     "BasBF_Screen.pso",
                                     "BasBF_Overlay.pso",
                                     "BasBF_Dodge.pso",
                                     "BasBF_Burn.pso",
                                     "BasBF_Darken.pso",
                                     "BasBF_Lighten.pso",
                                     "BasBF_SoftLight.pso",
                                     "BasBF_HardLight.pso",
                                     "BasBF_Exclusion.pso",
                                     "BasBF_Normal_AlphaCh.pso",
                                     "BasBF_Add_AlphaCh.pso",
                                     "BasBF_Multiple_AOnly.pso"};
    // Transparent pixels on both sides, so that kinds 14 and 15 meet A = 0.
    for (int i = 0; i < kSize; ++i) {
        source_[i * 17 % source_.size()] &= 0x00FFFFFF;
        layer_[i * 23 % layer_.size()] &= 0x00FFFFFF;
    }
    source_[5] &= 0x00FFFFFF;
    layer_[5] &= 0x00FFFFFF;
    Bind(0, kSize, kSize, source_);
    Bind(1, kSize, kSize, layer_);
    for (int kind = 0; kind <= 16; ++kind) {
        if (kind == 1) continue;
        for (int ratioArgument : {0, 128, 255}) {
            float ratio = static_cast<float>(ratioArgument) / 255.0f;
            int Rt = static_cast<int>(ratio * 256.0f);
            Clear(0x0BADF00D);
            auto got = Run(kNames[kind], {{ratio, ratio, ratio, ratio}, {1, 1, 1, 1}});
            Check(
                got,
                [&](int x, int y) -> DWORD {
                    DWORD b = Src(x, y), s = Layer(x, y);
                    int ba = A(b), sa = A(s), k8 = sa * Rt >> 8;
                    int bc[3] = {R(b), G(b), B(b)}, sc[3] = {R(s), G(s), B(s)}, out[3];
                    if (kind == 16) {
                        return Pack(bc[0], bc[1], bc[2],
                                    ((((sa * ba) >> 8) - ba) * Rt * 255 + ba * 65536) >> 16);
                    }
                    if (kind == 14 || kind == 15) {
                        int full = ba * (256 - k8) + 256 * k8, a = full >> 8;
                        if ((kind == 14 ? full : a) == 0) return 0x0BADF00D;  // not written
                        for (int c = 0; c < 3; ++c) {
                            out[c] = kind == 14
                                         ? (bc[c] * ba * (256 - k8) + sc[c] * k8 * 256) / full
                                         : std::min((sc[c] * k8 + bc[c] * ba) / a, 255);
                        }
                        return Pack(out[0], out[1], out[2], a);
                    }
                    for (int c = 0; c < 3; ++c) {
                        out[c] =
                            ((BlendF(kind, bc[c], sc[c]) - bc[c]) * sa * Rt + bc[c] * 65536) >> 16;
                    }
                    return Pack(out[0], out[1], out[2], ba);
                },
                kNames[kind]);
        }
    }
}

TEST_F(FilterKernelsTest, ChannelMixesPickTheirChannels) {
    auto channel = [](DWORD p, int i) {
        return i == 3 ? A(p) : i == 0 ? R(p) : i == 1 ? G(p) : B(p);
    };
    for (int index = 0; index < 256; ++index) {
        char name[32];
        std::snprintf(name, sizeof name, "RGBAMix_Src%03d", index);
        Check(
            Run(name, {}),
            [&](int x, int y) {
                DWORD s = Src(x, y);
                return Pack(channel(s, index >> 6), channel(s, index >> 4 & 3),
                            channel(s, index >> 2 & 3), channel(s, index & 3));
            },
            name);
    }
    const char* kLetters = "RGBA";
    for (int colour = -1; colour < 3; ++colour) {
        for (int alpha = 0; alpha < 4; ++alpha) {
            char name[32];
            int pick[3] = {colour < 0 ? 0 : colour, colour < 0 ? 1 : colour,
                           colour < 0 ? 2 : colour};
            std::snprintf(name, sizeof name, "RGBAMix_S%cS%cS%cB%c.pso", kLetters[pick[0]],
                          kLetters[pick[1]], kLetters[pick[2]], kLetters[alpha]);
            Check(
                Run(name, {}),
                [&](int x, int y) {
                    DWORD s = Src(x, y);
                    return Pack(channel(s, pick[0]), channel(s, pick[1]), channel(s, pick[2]),
                                channel(Layer(x, y), alpha));
                },
                name);
        }
    }
    // Selectors 8 and -1 leave their channel 0, as the processor's fresh image has it.
    for (std::array<int, 4> sel : {std::array<int, 4>{7, 2, 4, 1}, {0, 5, 3, 6}, {8, 4, -1, 3}}) {
        Constants c = {{1, 1, 1, 1}, {sel[0] + 0.5f, sel[1] + 0.5f, sel[2] + 0.5f, sel[3] + 0.5f}};
        Check(
            Run("RGBAMix_Base.pso", c),
            [&](int x, int y) {
                int out[4];
                for (int i = 0; i < 4; ++i) {
                    out[i] = sel[i] < 0 || sel[i] > 7
                                 ? 0
                                 : channel(sel[i] < 4 ? Src(x, y) : Layer(x, y), sel[i] & 3);
                }
                return Pack(out[0], out[1], out[2], out[3]);
            },
            "RGBAMix_Base");
    }
}

}  // namespace
