// The run-length stream: the writer's bytes for the documented rows, every written stream read
// back against the pixel classes and the packing rule, and whole images drawn by their streams
// against the plain loops, bit for bit, for every pixel kind the walk draws.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "blit_harness.h"
#include "softrender/blits.h"

namespace {

using Bytes = std::vector<uint8_t>;

// 0 transparent, 1 opaque, 2 translucent: the per-pixel decisions of a trans-on blit.
int ClassOf(const RefImage& img, int x, int y) {
    const uint32_t raw = img.At(x, y);
    if (img.palette || !img.alpha) return raw == img.key ? 0 : 1;
    const uint32_t a = img.colorType == 0 ? raw >> 16 & 0xFF : raw >> 24;
    return a == 0 ? 0 : (a == 255 ? 1 : 2);
}

struct PixelKind {
    int colorType;
    TestKind kind;
};
// The walk's four kinds (32-bit and 16-bit, palette and direct), direct with and without alpha.
const PixelKind kKinds[] = {{1, TestKind::Palette}, {1, TestKind::Direct}, {1, TestKind::Alpha},
                            {0, TestKind::Palette}, {0, TestKind::Direct}, {0, TestKind::Alpha}};

std::string KindName(const PixelKind& k) {
    static const char* names[] = {"direct", "alpha", "palette"};
    return std::string(k.colorType ? "32-bit " : "16-bit ") + names[int(k.kind)];
}

TEST(RunLengthStreamWriter, WritesTheDocumentedRows) {
    EXPECT_EQ(WrittenStream(FlatImage(1, TestKind::Direct, 130, 1, 1)),
              (Bytes{0x7F, 0x7F, 0x41, 0xC0}));
    // An all-transparent row is runs, never the end byte alone.
    RefImage clear = FlatImage(0, TestKind::Direct, 130, 2, 0x1234);
    clear.key = 0x1234;
    EXPECT_EQ(WrittenStream(clear), (Bytes{0x3F, 0x3F, 0x01, 0xC0, 0x3F, 0x3F, 0x01, 0xC0}));
    EXPECT_EQ(WrittenStream(FlatImage(0, TestKind::Palette, 1, 2, 9)),
              (Bytes{0x40, 0xC0, 0x40, 0xC0}));

    RefImage alpha = FlatImage(1, TestKind::Alpha, 4, 1, 0);
    alpha.pixels = {0x00123456, 0xFF000000, 0x80FFFFFF, 0x80000000};
    EXPECT_EQ(WrittenStream(alpha), (Bytes{0x00, 0x40, 0x81, 0xC0}));
    // A 16-bit pixel with alpha keeps it in the third byte; the fourth plays no part.
    RefImage alpha16 = FlatImage(0, TestKind::Alpha, 3, 1, 0);
    alpha16.pixels = {0xFF00FFFF, 0x00FF0000, 0x00010000};
    EXPECT_EQ(WrittenStream(alpha16), (Bytes{0x00, 0x40, 0x80, 0xC0}));

    // The whole word decides: a fourth byte apart from the key is opaque.
    RefImage wide = FlatImage(1, TestKind::Direct, 3, 1, 0x00ABCDEF);
    wide.key = 0x00ABCDEF;
    wide.At(1, 0) = 0x01ABCDEF;
    EXPECT_EQ(WrittenStream(wide), (Bytes{0x00, 0x40, 0x00, 0xC0}));
    RefImage indices = FlatImage(0, TestKind::Palette, 5, 1, 3);
    indices.key = 3;
    indices.pixels = {3, 3, 4, 0, 3};
    EXPECT_EQ(WrittenStream(indices), (Bytes{0x01, 0x41, 0x00, 0xC0}));
}

// Read back, a stream has one record per row whose runs cover the row exactly, give every
// pixel its class, and are as long as they can be: a run shorter than 64 ends at the row's end
// or at a change of class.
TEST(RunLengthStreamWriter, EveryStreamDescribesItsPixelsInTheLongestRuns) {
    std::mt19937 rng(11);
    for (const PixelKind& k : kKinds) {
        for (int trial = 0; trial < 40; ++trial) {
            const int w = 1 + int(rng() % 200), h = 1 + int(rng() % 4);
            RefImage img = RandomImage(rng, k.colorType, k.kind, w, h);
            // Long stretches of one class as well as mixed ones.
            for (int x = 0; x < w; ++x) {
                if (x / 70 % 2 == 0) img.At(x, 0) = img.At(0, 0);
            }
            const Bytes stream = WrittenStream(img);
            const std::string where = KindName(k) + " trial " + std::to_string(trial);
            size_t at = 0;
            for (int y = 0; y < h; ++y) {
                int x = 0;
                while (at < stream.size() && stream[at] < 0xC0) {
                    const int kind = stream[at] >> 6, n = (stream[at] & 63) + 1;
                    ++at;
                    ASSERT_LE(x + n, w) << where << " row " << y;
                    for (int i = 0; i < n; ++i) {
                        ASSERT_EQ(kind, ClassOf(img, x + i, y)) << where << " x " << x + i;
                    }
                    x += n;
                    if (n < 64 && x < w) {
                        ASSERT_NE(ClassOf(img, x, y), kind) << where;
                    }
                }
                ASSERT_EQ(x, w) << where << " row " << y;
                ASSERT_LT(at, stream.size()) << where;
                ASSERT_EQ(stream[at++], 0xC0) << where;
            }
            EXPECT_EQ(at, stream.size()) << where;
        }
    }
}

// Draws src whole at (x, y) onto a copy of dst: by the stream the writer makes for it when walk
// is set, else without a stream, through the plain loops.
RefImage DrawWhole(const RefImage& dst, RefImage src, int x, int y, bool walk, const RefState& st,
                   const RefMask* mask) {
    src.stream = walk ? WrittenStream(src) : Bytes{};
    TestMemImg d(dst), s(src);
    TestMask m(mask ? *mask : RefMask{1, 1, {0}});
    ApplyState(st);
    BlitMemImgUnscaled(d.get(), s.get(), x, y, 1, mask ? m.get() : nullptr);
    return d.Read(dst);
}

// Where the walk computes otherwise than the plain loops, as documented: the plain loops'
// shortcuts without blend graph, bright or alpha (the halving average of mode 1 at 128, the
// whole-sample add and subtract of modes 2 and 3 at 255, and the 6-bit interpolation of the
// 16-bit mode 1), and the 16-bit add and subtract of a translucent pixel under bright, which
// the walk brightens before the alpha factor and the plain loops after it.
bool PlainPathDiffers(const PixelKind& k, const RefState& st, bool mask, int cls) {
    const bool bright = (st.bright & 0xFFFFFF) != 0xFFFFFF;
    const bool sixteen = k.colorType == 0;
    if (!mask && !bright && k.kind != TestKind::Alpha) {
        return (st.mode == 1 && (st.param == 128 || sixteen)) ||
               ((st.mode == 2 || st.mode == 3) && st.param == 255);
    }
    return sixteen && !mask && bright && cls == 2 && (st.mode == 2 || st.mode == 3);
}

TEST(RunLengthWalk, DrawsWhatThePlainLoopsDrawForEveryPixelKind) {
    const uint32_t modes[] = {0, 1, 2, 3, 4, 10, 11};
    const int params[] = {0, 1, 100, 128, 254, 255};
    std::mt19937 rng(5);
    for (const PixelKind& k : kKinds) {
        // The walk is taken: runs written before the pixels became transparent still draw.
        RefImage src = RandomImage(rng, k.colorType, k.kind, 70, 3);
        const bool alpha = k.kind == TestKind::Alpha;
        src.key = k.kind == TestKind::Palette ? 7 : 0x1234;
        src.At(0, 0) = alpha ? (k.colorType == 0 ? 0x00FF1234 : 0xFF123456) : 0x1235;
        RefImage faded = src;
        for (uint32_t& px : faded.pixels) px = alpha ? 0 : src.key;
        faded.stream = WrittenStream(src);
        const RefImage dst = RandomDestination(rng, k.colorType, 72, 4);
        RefState st;
        st.area[2] = dst.width;
        st.area[3] = dst.height;
        {
            TestMemImg d(dst), s(faded);
            ApplyState(st);
            BlitMemImgUnscaled(d.get(), s.get(), 1, 1, 1, nullptr);
            EXPECT_NE(d.Read(dst).pixels, dst.pixels) << KindName(k);
        }

        for (uint32_t mode : modes) {
            for (int p : params) {
                for (uint32_t bright : {0xFFFFFFu, 0x3C9A51u}) {
                    for (bool hasMask : {false, true}) {
                        for (bool packed : {false, true}) {
                            const int w = 1 + int(rng() % 140), h = 1 + int(rng() % 4);
                            src = RandomImage(rng, k.colorType, k.kind, w, h);
                            const RefImage target =
                                RandomDestination(rng, k.colorType, w + 3, h + 2);
                            const RefMask mask = RandomMask(rng, w, h);
                            st.mode = mode;
                            st.param = p;
                            st.bright = bright;
                            st.packedBytes = packed;
                            st.area[2] = target.width;
                            st.area[3] = target.height;
                            RandomWeights(rng, st.weights);
                            const RefMask* m = hasMask ? &mask : nullptr;
                            const RefImage walked = DrawWhole(target, src, 2, 1, true, st, m);
                            const RefImage plain = DrawWhole(target, src, 2, 1, false, st, m);
                            const std::string where =
                                KindName(k) + " mode " + std::to_string(mode) + " p " +
                                std::to_string(p) + " bright " + std::to_string(bright) + " mask " +
                                std::to_string(hasMask) + " packed " + std::to_string(packed);
                            for (int y = 0; y < target.height; ++y) {
                                for (int x = 0; x < target.width; ++x) {
                                    const bool inside = x >= 2 && x < 2 + w && y >= 1 && y < 1 + h;
                                    const int cls = inside ? ClassOf(src, x - 2, y - 1) : 0;
                                    if (inside && mode == 4 && cls == 0) {
                                        // Alpha 0 lies in a skipped run; the plain loops
                                        // multiply it to black.
                                        ASSERT_EQ(walked.At(x, y), target.At(x, y)) << where;
                                    } else if (!inside || !PlainPathDiffers(k, st, hasMask, cls)) {
                                        ASSERT_EQ(walked.At(x, y), plain.At(x, y))
                                            << where << " at " << Describe(target, x, y);
                                    }
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}

}  // namespace
