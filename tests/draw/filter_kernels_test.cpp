// The filter and blend kernels drawn on the software device with the constants the filters
// store, against the processor's integer formulas, on random images, bit for bit: the parameters
// restated here from the filters' arguments (the kernels recover them from float constants), the
// longer per-pixel formulas (Hsb, blends) through the processor's own functions.
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
#include <cstring>
#include <functional>
#include <limits>
#include <random>

#include "d3d9/device_fixture.h"
#include "draw/filter_formulas.h"

namespace {

constexpr int kSize = 16;
constexpr std::array<float, 4> kLuminance = {0.299f, 0.587f, 0.114f, 0};
using Constants = std::vector<std::array<float, 4>>;
// An A8R8G8B8 pixel as the processor holds it: B, G, R, A bytes.
using Bytes = std::array<uint8_t, 4>;

const auto BytesOf = [](DWORD p) {
    Bytes b;
    std::memcpy(b.data(), &p, 4);
    return b;
};
const auto Pack = [](DWORD r, DWORD g, DWORD b, DWORD a) { return a << 24 | r << 16 | g << 8 | b; };
const auto PackBytes = [](const Bytes& b) { return Pack(b[2], b[1], b[0], b[3]); };
// Channel 0..3 (R, G, B, A).
const auto Ch = [](DWORD p, int i) {
    return static_cast<int>(i == 3 ? p >> 24 : (p >> (16 - 8 * i)) & 255);
};
const auto Y4096 = [](DWORD p) { return 1224 * Ch(p, 0) + 2404 * Ch(p, 1) + 466 * Ch(p, 2); };
const auto ColourOf = [](const std::array<float, 4>& c) {
    auto byte = [](float v) { return std::clamp(static_cast<int>(v * 255.0f), 0, 255); };
    return Pack(byte(c[0]), byte(c[1]), byte(c[2]), byte(c[3]));
};
// The front end's scaling of cb, cr, saturation and brightness arguments.
const auto Scaled = [](int argument) { return static_cast<float>(argument) * 100.0f / 255.0f; };
const auto Inverted = [](DWORD p) { return p ^ 0x00FFFFFFu; };

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

    // The target's top-left side x side pixels against expect(x, y).
    void Check(const char* what, const std::vector<DWORD>& got,
               const std::function<DWORD(int, int)>& expect, int side = kSize) {
        int wrong = 0;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
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
    Check("Invert", Run("Invert.pso", {}), [&](int x, int y) { return Inverted(Src(x, y)); });
    Check("PremultipliedAlpha", Run("PremultipliedAlpha.pso", {}), [&](int x, int y) {
        DWORD s = Src(x, y);
        auto times = [&](int c) { return Ch(s, c) * Ch(s, 3) >> 8; };
        return Pack(times(0), times(1), times(2), Ch(s, 3));
    });
    // The texel under each pixel: a rectangle of the source drawn elsewhere on the target.
    Clear(0);
    auto moved =
        Run("Invert.pso", {}, 1, 2, 9, 8, 3.0f / kSize, 5.0f / kSize, 12.0f / kSize, 13.0f / kSize);
    Check("Invert of a moved rectangle", moved, [&](int x, int y) {
        bool inside = x >= 1 && x < 10 && y >= 2 && y < 10;
        return inside ? Inverted(Src(x + 2, y + 3)) : DWORD{0};
    });

    // The offsets are recovered from the constants: every argument, each of cb and cr once.
    for (int cbArgument = -257; cbArgument <= 257; ++cbArgument) {
        int crArgument = (cbArgument + 257) * 211 % 515 - 257;
        float Cb = std::clamp(Scaled(cbArgument) / 200.0f, -0.5f, 0.5f);
        float Cr = std::clamp(Scaled(crArgument) / 200.0f, -0.5f, 0.5f);
        const int o[3] = {static_cast<int>(1.402 * Cr * 255 * 4096),
                          static_cast<int>((-0.34414 * Cb - 0.71414 * Cr) * 255 * 4096),
                          static_cast<int>(1.772 * Cb * 255 * 4096)};
        Constants c = {kLuminance, {1.402f * Cr, -0.34414f * Cb - 0.71414f * Cr, 1.772f * Cb, 0}};
        Check("Mono", Run("Mono.pso", c), [&](int x, int y) {
            DWORD s = Src(x, y);
            auto channel = [&](int i) { return std::clamp((Y4096(s) + o[i]) >> 12, 0, 255); };
            return Pack(channel(0), channel(1), channel(2), Ch(s, 3));
        });
    }

    std::array<float, 4> below = {0.2f, 0.4f, 0.6f, 0.8f}, above = {1, 100 / 255.0f, 0, 3 / 255.0f};
    for (int threshold = -2; threshold <= 257;
         threshold += threshold < 0 || threshold > 250 ? 1 : 3) {
        Constants c = {
            {0.299f, 0.587f, 0.114f, static_cast<float>(threshold) / 255.0f}, below, above};
        int t = static_cast<int>(std::clamp(static_cast<float>(threshold), -1.0f, 256.0f) * 4096);
        Check("TwoColor", Run("TwoColor.pso", c),
              [&](int x, int y) { return ColourOf(Y4096(Src(x, y)) >= t ? above : below); });
    }
}

TEST_F(FilterKernelsTest, BrightClipKeepsFillsOrDiscards) {
    static const char* kNames[2][2] = {{"BrightClipLess.pso", "BrightClipFillLess.pso"},
                                       {"BrightClipGreater.pso", "BrightClipFillGreater.pso"}};
    const std::array<float, 4> fill = {30 / 255.0f, 1.0f, 0.5f, 200 / 255.0f};
    float T = 117.0f / 255.0f;
    int t = static_cast<int>(T * 255.0f * 4096.0f);
    for (int greater = 0; greater < 2; ++greater) {
        for (int withFill = 0; withFill < 2; ++withFill) {
            Clear(0x12345678);
            auto got = Run(kNames[greater][withFill], {{T, T, T, T}, kLuminance, fill});
            Check(kNames[greater][withFill], got, [&](int x, int y) {
                DWORD s = Src(x, y);
                if (greater ? Y4096(s) <= t : Y4096(s) >= t) return s;
                return withFill ? ColourOf(fill) : DWORD{0x12345678};
            });
        }
    }
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
        int h0 = static_cast<int>(6.0f * H * 256.0f), iS = static_cast<int>(S * 256.0f);
        int iB = static_cast<int>(std::clamp(Bright, -2.0f, 2.0f) * 256.0f);
        Constants c = {{6.0f * H, S, Bright, 0}, {0.5f, 0.5f, 0.5f, 0.5f}, {1, 1, 1, 1}};
        std::vector<DWORD> got;
        if (k.kind == 1) {
            got = Run("Hsb_HSB_HLOCK.pso", c);
        } else {
            Bind(0, kSize, kSize, Run("Hsb_RGB_TO_HSB.pso", c));
            got = Run("Hsb_HSB_TO_RGB.pso", c);
            Bind(0, kSize, kSize, source_);
        }
        Check("Hsb", got, [&](int x, int y) {
            Bytes p = BytesOf(Src(x, y));
            for (int i = 0; i < 3; ++i) p[i] = HsbBrightness(p[i], iB);
            HsbAdjust(p.data(), h0, iS, k.kind == 1, p.data());
            return PackBytes(p);
        });
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
        Check("Level", Run("Level.pso", {{mn, reciprocal, outMin, outMax}}), [&](int x, int y) {
            DWORD s = Src(x, y);
            auto level = [&](int v) {
                int i = ra == 0 ? (v >= a ? 255 : 0) : std::clamp((v - a) * 256 / ra, 0, 255);
                return (Ch(table[i], 0) * ro + o * 256) >> 8;
            };
            return Pack(level(Ch(s, 0)), level(Ch(s, 1)), level(Ch(s, 2)), Ch(s, 3));
        });
    }

    std::vector<DWORD> gradient = Random(64, 1);
    Bind(1, 64, 1, gradient);
    for (int reverse = 0; reverse < 2; ++reverse) {
        auto got = Run(reverse ? "GradientMapRev.pso" : "GradientMap.pso", {kLuminance});
        Check("GradientMap", got, [&](int x, int y) {
            int entry = Y4096(Src(x, y)) >> 12;
            return gradient[((reverse ? 255 - entry : entry) * 64) >> 8];
        });
    }
}

TEST_F(FilterKernelsTest, GaussBlursAlongTheAxisItsOffsetsName) {
    for (int n : {8, 16, 32}) {
        // Any weights: the kernel scales whatever the filter computed, as the processor does.
        int half = n / 2;
        float w[16] = {};
        int64_t W[16];
        for (int i = 0; i < half; ++i)
            W[i] = static_cast<int>((w[i] = 0.9f / (i + 2.5f) / half) * 65536.0f);
        char name[32];
        std::snprintf(name, sizeof name, "Gauss_%02dPixel_PS.pso", n);
        for (int alongX = 1; alongX >= 0; --alongX) {
            Constants c = {{kSize, kSize, 0, 0}};
            for (int r = 0; r < 4; ++r)
                c.push_back({w[4 * r], w[4 * r + 1], w[4 * r + 2], w[4 * r + 3]});
            for (int k = 0; k <= 15; ++k) {
                float offset = k == 0 ? 0 : (2 * k - 0.5f) / kSize;
                c.push_back({alongX ? offset : 0, alongX ? 0 : offset, 0, 0});
            }
            Check(name, Run(name, c), [&](int x, int y) {
                auto tap = [&](int d) {
                    int px = alongX ? std::clamp(x + d, 0, kSize - 1) : x;
                    int py = alongX ? y : std::clamp(y + d, 0, kSize - 1);
                    return BytesOf(Src(px, py));
                };
                Bytes out;
                for (int ch = 0; ch < 4; ++ch) {
                    int64_t rest = 0;
                    for (int k = 1; k < half; ++k) {
                        rest += W[k] * (tap(1 - 2 * k)[ch] + tap(-2 * k)[ch] + tap(2 * k - 1)[ch] +
                                        tap(2 * k)[ch]);
                    }
                    out[ch] = static_cast<uint8_t>(
                        std::min<int64_t>((W[0] * tap(0)[ch] + (rest >> 1)) >> 16, 255));
                }
                return PackBytes(out);
            });
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
        auto expect = [&](int x, int y) {
            int sum[4] = {};
            for (int i = 0; i < factor * factor; ++i) {
                Bytes s = BytesOf(Src(x * factor + i % factor, y * factor + i / factor));
                for (int ch = 0; ch < 4; ++ch) sum[ch] += s[ch];
            }
            return Pack(sum[2] >> shift, sum[1] >> shift, sum[0] >> shift, sum[3] >> shift);
        };
        Check(name, Run(name, c, 0, 0, side, side), expect, side);
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
    // Transparent pixels on both sides, so that kinds 14 and 15 meet nothing to write.
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
            int ratio256 = static_cast<int>(ratio * 256.0f);
            Clear(0x0BADF00D);
            auto got = Run(kNames[kind], {{ratio, ratio, ratio, ratio}, {1, 1, 1, 1}});
            Check(kNames[kind], got, [&](int x, int y) {
                Bytes b = BytesOf(Src(x, y)), s = BytesOf(Layer(x, y)), out = b;
                if (kind >= 14) {
                    bool written = ComposeAlpha(kind, ratio256, b.data(), s.data(), out.data());
                    return written ? PackBytes(out) : DWORD{0x0BADF00D};
                }
                for (int c = 0; c < 3; ++c) {
                    out[c] = BlendTowards(BlendChannel(kind, b[c], s[c]), b[c], s[3] * ratio256);
                }
                return PackBytes(out);
            });
        }
    }
}

TEST_F(FilterKernelsTest, ChannelMixesPickTheirChannels) {
    for (int index = 0; index < 256; ++index) {
        char name[32];
        std::snprintf(name, sizeof name, "RGBAMix_Src%03d", index);
        Check(name, Run(name, {}), [&](int x, int y) {
            DWORD s = Src(x, y);
            return Pack(Ch(s, index >> 6), Ch(s, index >> 4 & 3), Ch(s, index >> 2 & 3),
                        Ch(s, index & 3));
        });
    }
    const char* kLetters = "RGBA";
    for (int colour = -1; colour < 3; ++colour) {
        for (int alpha = 0; alpha < 4; ++alpha) {
            int pick[3] = {std::max(colour, 0), colour < 0 ? 1 : colour, colour < 0 ? 2 : colour};
            char name[32];
            std::snprintf(name, sizeof name, "RGBAMix_S%cS%cS%cB%c.pso", kLetters[pick[0]],
                          kLetters[pick[1]], kLetters[pick[2]], kLetters[alpha]);
            Check(name, Run(name, {}), [&](int x, int y) {
                DWORD s = Src(x, y);
                return Pack(Ch(s, pick[0]), Ch(s, pick[1]), Ch(s, pick[2]), Ch(Layer(x, y), alpha));
            });
        }
    }
    // Selectors 8 and -1 leave their channel 0, as the processor's fresh image has it.
    for (std::array<int, 4> sel : {std::array<int, 4>{7, 2, 4, 1}, {0, 5, 3, 6}, {8, 4, -1, 3}}) {
        Constants c = {{1, 1, 1, 1}, {sel[0] + 0.5f, sel[1] + 0.5f, sel[2] + 0.5f, sel[3] + 0.5f}};
        Check("RGBAMix_Base", Run("RGBAMix_Base.pso", c), [&](int x, int y) {
            int out[4];
            for (int i = 0; i < 4; ++i) {
                bool named = sel[i] >= 0 && sel[i] <= 7;
                out[i] = named ? Ch(sel[i] < 4 ? Src(x, y) : Layer(x, y), sel[i] & 3) : 0;
            }
            return Pack(out[0], out[1], out[2], out[3]);
        });
    }
}

}  // namespace
