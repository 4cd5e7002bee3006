// Test images for the blit comparisons: reference images copied into memory images and read
// back, the draw state set from a reference state, and random content with likely keys.
#include "blit_harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/system_info.h"
#include "softrender/blits.h"
#include "softrender/run_length_stream.h"

namespace {

int PixelBytes(const RefImage& img) {
    if (img.palette) return 1;
    return img.colorType == 1 || img.alpha ? 4 : 2;
}

uint32_t ReadPixel(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    std::memcpy(&v, p, bytes);
    return v;
}

void WritePixel(uint8_t* p, int bytes, uint32_t v) {
    std::memcpy(p, &v, bytes);
}

// Creates img's memory image (with a stream buffer when wanted) and copies its pixels and
// palette in.
void CreateCopy(MEMIMG* out, const RefImage& img, int extraPitch, bool streamBuffer) {
    const int bytes = PixelBytes(img);
    const int pitch = extraPitch > 0 ? img.width * bytes + extraPitch : -1;
    const int ok = CreateMemImg(out, img.width, img.height, pitch, img.key, img.colorType,
                                img.palette, img.alpha, streamBuffer ? 1 : 0, nullptr);
    ASSERT_EQ(ok, 0);
    MemImgBody* body = out->body;
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) {
            WritePixel(out->pixels + y * body->pitch + x * bytes, bytes, img.At(x, y));
        }
    }
    if (img.palette) {
        const int entryBytes = img.colorType == 1 ? 4 : 2;
        for (int i = 0; i < 256; ++i)
            WritePixel(body->palette + i * entryBytes, entryBytes, img.entries[i]);
    }
}

}  // namespace

int Between(std::mt19937& rng, int lo, int hi) {
    return lo + int(rng() % uint32_t(hi - lo + 1));
}

RefState WholeImageState(uint32_t mode, int p, const RefImage& dst, uint32_t bright) {
    RefState st;
    st.mode = mode;
    st.param = p;
    st.bright = bright;
    st.area[2] = dst.width;
    st.area[3] = dst.height;
    for (int i = 0; i < 256; ++i) st.weights[i] = uint8_t(i);
    return st;
}

std::vector<uint8_t> WrittenStream(const RefImage& img) {
    MEMIMG mem{};
    CreateCopy(&mem, img, 0, true);
    if (!IsMemImgValid(&mem)) return {};
    const size_t size = WriteRunLengthStream(mem.body);
    EXPECT_LE(size, size_t(img.width + 1) * img.height);
    std::vector<uint8_t> out(mem.body->runLengthMemory, mem.body->runLengthMemory + size);
    ReleaseMemImg(&mem);
    return out;
}

TestMemImg::TestMemImg(const RefImage& img, int extraPitch) {
    CreateCopy(&img_, img, extraPitch, !img.stream.empty());
    if (!IsMemImgValid(&img_)) return;
    MemImgBody* body = img_.body;
    if (!img.stream.empty()) {
        EXPECT_NE(body->runLengthMemory, nullptr);
        EXPECT_LE(img.stream.size(), size_t(img.width + 5) * img.height);
        std::memcpy(body->runLengthMemory, img.stream.data(), img.stream.size());
        body->runLengthFlag = 1;
    }
}

TestMemImg::~TestMemImg() {
    ReleaseMemImg(&img_);
}

RefImage TestMemImg::Read(const RefImage& like) const {
    RefImage out = like;
    const int bytes = PixelBytes(like);
    for (int y = 0; y < like.height; ++y) {
        for (int x = 0; x < like.width; ++x) {
            out.At(x, y) = ReadPixel(img_.pixels + y * img_.body->pitch + x * bytes, bytes);
        }
    }
    return out;
}

TestMask::TestMask(const RefMask& mask) {
    EXPECT_EQ(CreateMemImg(&img_, mask.width, mask.height, -1, 0, kMemImgSingle8, 0, 0, 0, nullptr),
              0);
    for (int y = 0; y < mask.height; ++y) {
        std::memcpy(img_.pixels + y * img_.body->pitch, &mask.bytes[size_t(y) * mask.width],
                    mask.width);
    }
}

TestMask::~TestMask() {
    ReleaseMemImg(&img_);
}

void ApplyState(const RefState& st) {
    static const bool tablesReady = SetupMemImgTables() == 0;
    ASSERT_TRUE(tablesReady);
    RECT area{st.area[0], st.area[1], st.area[2], st.area[3]};
    SetMemImgDrawArea(&area);
    SetMemImgBlendMode(static_cast<int>(st.mode), st.param);
    SetMemImgBright(st.bright);
    std::memcpy(gMemImgDraw.blendGraphThresholds, st.weights, 256);
    gSystemInfo.mmxUsable = 1;
    SetBlitPlainLoopsOnly(!st.packedBytes);
}

namespace {

uint32_t Bits(std::mt19937& rng, int bits) {
    return bits >= 32 ? uint32_t(rng()) : uint32_t(rng()) & ((1u << bits) - 1);
}

int Chance(std::mt19937& rng, int outOf) {
    return int(rng() % uint32_t(outOf)) == 0;
}

// Alpha values: 0 and 255 often, 1 and 254 sometimes, anything else otherwise.
uint32_t RandomAlpha(std::mt19937& rng) {
    static const uint32_t special[] = {0, 255, 0, 255, 1, 254, 128};
    const uint32_t pick = rng() % 10;
    return pick < 7 ? special[pick] : Bits(rng, 8);
}

}  // namespace

RefImage RandomImage(std::mt19937& rng, int colorType, TestKind kind, int width, int height) {
    RefImage img;
    img.width = width;
    img.height = height;
    img.colorType = colorType;
    img.palette = kind == TestKind::Palette;
    img.alpha = kind == TestKind::Alpha;
    img.pixels.resize(size_t(width) * height);
    img.entries.resize(256);
    for (uint32_t& e : img.entries) e = Bits(rng, colorType == 1 ? 32 : 16);
    const int colourBits = colorType == 1 ? 32 : 16;
    if (img.palette) {
        // Now and then a key no index can hold, which must never match.
        img.key = Chance(rng, 8) ? 256 + Bits(rng, 8) : Bits(rng, 8);
    } else {
        img.key = Bits(rng, colourBits);
        if (colorType == 0 && Chance(rng, 8)) img.key |= 0x10000;
    }
    for (uint32_t& px : img.pixels) {
        if (img.palette) {
            px = Chance(rng, 4) ? (img.key & 0xFF) : Bits(rng, 8);
        } else if (img.alpha && colorType == 0) {
            px = Bits(rng, 16) | RandomAlpha(rng) << 16 | Bits(rng, 8) << 24;
        } else if (img.alpha) {
            px = Bits(rng, 24) | RandomAlpha(rng) << 24;
        } else {
            px =
                Chance(rng, 4) ? img.key & (colorType == 1 ? ~0u : 0xFFFFu) : Bits(rng, colourBits);
        }
    }
    return img;
}

RefImage RandomDestination(std::mt19937& rng, int colorType, int width, int height) {
    RefImage img;
    img.width = width;
    img.height = height;
    img.colorType = colorType;
    img.pixels.resize(size_t(width) * height);
    for (uint32_t& px : img.pixels) {
        // Extremes make saturation and borrows likely.
        const uint32_t pick = rng() % 8;
        if (pick == 0)
            px = 0;
        else if (pick == 1)
            px = colorType == 1 ? 0xFFFFFFFF : 0xFFFF;
        else
            px = Bits(rng, colorType == 1 ? 32 : 16);
    }
    return img;
}

RefMask RandomMask(std::mt19937& rng, int width, int height) {
    RefMask m;
    m.width = width;
    m.height = height;
    m.bytes.resize(size_t(width) * height);
    for (uint8_t& b : m.bytes) b = uint8_t(Bits(rng, 8));
    return m;
}

void RandomWeights(std::mt19937& rng, uint8_t weights[256]) {
    for (int i = 0; i < 256; ++i) {
        const uint32_t pick = rng() % 6;
        weights[i] = pick == 0 ? 0 : pick == 1 ? 255 : uint8_t(Bits(rng, 8));
    }
}

std::string Describe(const RefImage& img, int x, int y) {
    char text[64];
    std::snprintf(text, sizeof text, "(%d,%d)=0x%08X", x, y, img.At(x, y));
    return text;
}

std::vector<Combination> AllCombinations() {
    std::vector<Combination> out;
    const uint32_t modes[] = {0, 1, 2, 3, 4, 10, 11, 5, 9, 12, 0xFFFFFFFF};
    for (int type : {0, 1}) {
        for (TestKind kind : {TestKind::Direct, TestKind::Alpha, TestKind::Palette}) {
            for (uint32_t mode : modes) out.push_back({type, kind, mode});
        }
    }
    return out;
}

std::string Name(const testing::TestParamInfo<Combination>& info) {
    static const char* kinds[] = {"Direct", "Alpha", "Palette"};
    const Combination& c = info.param;
    const std::string mode = c.mode == 0xFFFFFFFF ? "Negative" : std::to_string(c.mode);
    return std::string(c.colorType ? "Wide" : "Rgb565") + kinds[int(c.kind)] + "Mode" + mode;
}

RefImage FlatImage(int colorType, TestKind kind, int w, int h, uint32_t fill) {
    RefImage img;
    img.width = w;
    img.height = h;
    img.colorType = colorType;
    img.palette = kind == TestKind::Palette;
    img.alpha = kind == TestKind::Alpha;
    img.pixels.assign(size_t(w) * h, fill);
    img.entries.assign(256, 0);
    return img;
}
