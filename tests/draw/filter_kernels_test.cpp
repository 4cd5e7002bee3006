// The kernels whose arguments come back from float constants as integers, over wide argument
// sweeps the filter pass test (a few arguments per kind, against the processor path) cannot
// afford: Mono's cb and cr, Level's ranges, TwoColor's threshold, BrightClip's keep, fill or
// discard. Each kernel runs on the software device over a random texture, with the constants as
// the filters store them, against the processor's integer formulas, bit for bit.
#include "draw/filter_kernels.h"

#include <platform/d3d9_kernels.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <random>

#include "d3d9/device_fixture.h"

namespace {

constexpr int kSize = 16;
constexpr std::array<float, 4> kLuminance = {0.299f, 0.587f, 0.114f, 0};
using Constants = std::vector<std::array<float, 4>>;

DWORD Pack(int r, int g, int b, int a) {
    return static_cast<DWORD>(a) << 24 | static_cast<DWORD>(r) << 16 | static_cast<DWORD>(g) << 8 |
           static_cast<DWORD>(b);
}
// Channel 0..3 (R, G, B, A).
int Ch(DWORD p, int i) {
    return static_cast<int>(i == 3 ? p >> 24 : (p >> (16 - 8 * i)) & 255);
}
int Y4096(DWORD p) {
    return 1224 * Ch(p, 0) + 2404 * Ch(p, 1) + 466 * Ch(p, 2);
}
DWORD ColourOf(const std::array<float, 4>& c) {
    auto byte = [](float v) { return std::clamp(static_cast<int>(v * 255.0f), 0, 255); };
    return Pack(byte(c[0]), byte(c[1]), byte(c[2]), byte(c[3]));
}
// The front end's scaling of cb and cr arguments.
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
        std::mt19937 random(23);
        for (DWORD& p : source_) p = static_cast<DWORD>(random());
        Bind(0, kSize, source_);
    }

    void Bind(int sampler, int width, const std::vector<DWORD>& pixels) {
        device_->SetTexture(
            sampler,
            MakeTexture32(D3DFMT_A8R8G8B8, width, static_cast<int>(pixels.size()) / width, pixels));
    }

    // The kernel over the whole target with the texture mapped onto it, against expect(source
    // pixel) at every pixel.
    void Expect(const char* kernel, const Constants& constants,
                const std::function<DWORD(DWORD)>& expect) {
        std::vector<DWORD> code = MakeShaderKernelRecord(false, kernel);
        IDirect3DPixelShader9* shader = nullptr;
        ASSERT_EQ(device_->CreatePixelShader(code.data(), &shader), D3D_OK) << kernel;
        device_->SetPixelShader(Keep(shader));
        device_->SetPixelShaderConstantF(0, constants[0].data(),
                                         static_cast<UINT>(constants.size()));
        const float e = kSize - 0.5f;
        std::vector<TwoTextureVertex> strip = {{-0.5f, -0.5f, 0, 1, 0, 0, 0, 0, 0, 0},
                                               {e, -0.5f, 0, 1, 0, 0, 1, 0, 1, 0},
                                               {-0.5f, e, 0, 1, 0, 0, 0, 1, 0, 1},
                                               {e, e, 0, 1, 0, 0, 1, 1, 1, 1}};
        Draw(D3DPT_TRIANGLESTRIP, kTwoTextureFvf, strip, 2);
        std::vector<DWORD> got = TestD3d9ReadSurface(target_, nullptr, nullptr);
        int wrong = 0;
        for (size_t i = 0; i < got.size(); ++i) {
            DWORD want = expect(source_[i]);
            if (want != got[i] && ++wrong <= 3) {
                ADD_FAILURE() << kernel << " at pixel " << i << ": " << std::hex << got[i]
                              << " instead of " << want;
            }
        }
    }

    IDirect3DSurface9* target_ = nullptr;
    std::vector<DWORD> source_ = std::vector<DWORD>(kSize * kSize);
};

TEST_F(FilterKernelsTest, MonoAndTwoColorRecoverEveryArgument) {
    // Every argument, each of cb and cr once.
    for (int cbArgument = -257; cbArgument <= 257; ++cbArgument) {
        int crArgument = (cbArgument + 257) * 211 % 515 - 257;
        float Cb = std::clamp(Scaled(cbArgument) / 200.0f, -0.5f, 0.5f);
        float Cr = std::clamp(Scaled(crArgument) / 200.0f, -0.5f, 0.5f);
        const int o[3] = {static_cast<int>(1.402 * Cr * 255 * 4096),
                          static_cast<int>((-0.34414 * Cb - 0.71414 * Cr) * 255 * 4096),
                          static_cast<int>(1.772 * Cb * 255 * 4096)};
        Constants c = {kLuminance, {1.402f * Cr, -0.34414f * Cb - 0.71414f * Cr, 1.772f * Cb, 0}};
        Expect("Mono.pso", c, [&](DWORD s) {
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
        Expect("TwoColor.pso", c, [&](DWORD s) { return ColourOf(Y4096(s) >= t ? above : below); });
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
            Expect(kNames[greater][withFill], {{T, T, T, T}, kLuminance, fill}, [&](DWORD s) {
                if (greater ? Y4096(s) <= t : Y4096(s) >= t) return s;
                return withFill ? ColourOf(fill) : DWORD{0x12345678};
            });
        }
    }
}

TEST_F(FilterKernelsTest, LevelLooksUpTheProcessorsIndexForEveryRange) {
    std::vector<DWORD> table(256);
    for (int i = 0; i < 256; ++i) {
        int v = std::min(255, static_cast<int>(std::pow(i / 255.0f, 1 / 1.7f) * 255.0f));
        table[i] = Pack(v, v, v, v);
    }
    Bind(1, 256, table);
    std::vector<std::array<int, 4>> cases = {{0, 255, 0, 255},   {30, 200, 10, 240},
                                             {250, 3, 255, 0},   {100, 100, 20, 90},
                                             {-20, 400, 64, 65}, {0, 1, 0, 255}};
    // max is recovered from 1 / (max - min): every max, over various mins.
    for (int max = 0; max < 256; ++max)
        cases.push_back({max * 89 % 256, max, max / 2, 255 - max / 3});
    for (const auto& [min, max, outMinArgument, outMaxArgument] : cases) {
        auto unit = [](int v) { return std::clamp(static_cast<float>(v) / 255.0f, 0.0f, 1.0f); };
        float mx = unit(max), mn = std::min(unit(min), mx);
        float outMax = unit(outMaxArgument), outMin = std::min(unit(outMinArgument), outMax);
        int a = static_cast<int>(mn * 255.0f), ra = static_cast<int>(mx * 255.0f) - a;
        int o = static_cast<int>(outMin * 255.0f), ro = static_cast<int>(outMax * 255.0f) - o;
        // An empty input range has no reciprocal.
        float reciprocal = mx > mn ? 1.0f / (mx - mn) : std::numeric_limits<float>::infinity();
        Expect("Level.pso", {{mn, reciprocal, outMin, outMax}}, [&](DWORD s) {
            auto level = [&](int v) {
                int i = ra == 0 ? (v >= a ? 255 : 0) : std::clamp((v - a) * 256 / ra, 0, 255);
                return (Ch(table[i], 0) * ro + o * 256) >> 8;
            };
            return Pack(level(Ch(s, 0)), level(Ch(s, 1)), level(Ch(s, 2)), Ch(s, 3));
        });
    }
}

}  // namespace

TEST_F(FilterKernelsTest, KernelsReadTheTexelUnderEachPixelHoweverTheTextureRuns) {
    std::vector<DWORD> code = MakeShaderKernelRecord(false, "Invert.pso");
    IDirect3DPixelShader9* shader = nullptr;
    ASSERT_EQ(device_->CreatePixelShader(code.data(), &shader), D3D_OK);
    device_->SetPixelShader(Keep(shader));
    const float e = kSize - 0.5f;
    // Transposed, v running along x (each span crosses the texel rows), and mirrored, the
    // texels running right to left along a span.
    for (bool transposed : {true, false}) {
        SCOPED_TRACE(transposed);
        auto vertex = [](float x, float y, float u, float v) {
            return TwoTextureVertex{x, y, 0, 1, 0, 0, u, v, u, v};
        };
        std::vector<TwoTextureVertex> strip;
        if (transposed) {
            strip = {vertex(-0.5f, -0.5f, 0, 0), vertex(e, -0.5f, 0, 1), vertex(-0.5f, e, 1, 0),
                     vertex(e, e, 1, 1)};
        } else {
            strip = {vertex(-0.5f, -0.5f, 1, 0), vertex(e, -0.5f, 0, 0), vertex(-0.5f, e, 1, 1),
                     vertex(e, e, 0, 1)};
        }
        Draw(D3DPT_TRIANGLESTRIP, kTwoTextureFvf, strip, 2);
        std::vector<DWORD> got = TestD3d9ReadSurface(target_, nullptr, nullptr);
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                DWORD s = transposed ? source_[x * kSize + y] : source_[y * kSize + kSize - 1 - x];
                ASSERT_EQ(got[y * kSize + x], s ^ 0x00FFFFFFu) << x << "," << y;
            }
        }
    }
}
