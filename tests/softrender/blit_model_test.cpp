// Every combination of source kind, destination kind, blend mode, parameter, bright, blend
// graph, alpha and transparency drawn on random images by the blits and by the reference
// model, compared bit for bit: unscaled, run-length and scaled, packed-byte loops on and off.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "blit_harness.h"
#include "blit_reference.h"
#include "softrender/blits.h"

namespace {

// Parameters with loops or shortcuts of their own, their neighbours, and the 6-bit table's
// first and last blocks.
const int kParams[] = {0, 1, 3, 4, 127, 128, 129, 200, 252, 254, 255};
// Off, off with a high byte, half, one byte just below 255 (on), and any.
const uint32_t kBrights[] = {0xFFFFFF, 0xFFFFFFFF, 0x808080, 0xFFFFFE, 0x3C9A51};

struct Scene {
    RefImage dst, src;
    RefMask mask;
    bool hasMask;
    RefState st;
};

bool Chance(std::mt19937& rng) {
    return rng() % 5 == 0;
}

Scene MakeScene(std::mt19937& rng, const Combination& c, int p, uint32_t bright, bool hasMask,
                bool packed, int maxSource) {
    Scene s;
    // Half the sources are wide enough for the 16-byte loops to run.
    const int sw = Chance(rng) || rng() % 2 ? Between(rng, 1, maxSource) : Between(rng, 9, 20);
    const int sh = Between(rng, 1, maxSource);
    s.src = RandomImage(rng, c.colorType, c.kind, sw, sh);
    s.dst = RandomDestination(rng, c.colorType, Between(rng, 4, 24), Between(rng, 4, 14));
    s.hasMask = hasMask;
    if (hasMask) {
        // Usually as large as the source or larger; now and then smaller.
        const int grow = Chance(rng) ? -1 : Between(rng, 0, 2);
        s.mask = RandomMask(rng, std::max(1, sw + grow), std::max(1, sh + grow));
    }
    s.st.mode = c.mode;
    s.st.param = p;
    s.st.bright = bright;
    s.st.packedBytes = packed;
    RandomWeights(rng, s.st.weights);
    // The draw area: usually inside the destination, sometimes beyond it or empty.
    s.st.area[0] = Between(rng, -2, 3);
    s.st.area[1] = Between(rng, -2, 3);
    s.st.area[2] = Between(rng, s.st.area[0], s.dst.width + 2);
    s.st.area[3] = Between(rng, s.st.area[1], s.dst.height + 2);
    return s;
}

std::string Context(const Combination& c, const Scene& s, int trans) {
    return "mode " + std::to_string(int32_t(c.mode)) + " p " + std::to_string(s.st.param) +
           " bright " + std::to_string(s.st.bright) + " mask " + std::to_string(s.hasMask) +
           " trans " + std::to_string(trans) + " packed " + std::to_string(s.st.packedBytes) +
           " src " + std::to_string(s.src.width) + "x" + std::to_string(s.src.height) + " stream " +
           std::to_string(!s.src.stream.empty());
}

// Compares the destination drawn by the blit with the model's; reports the first difference.
bool SameAsModel(const RefImage& expect, const RefImage& actual, const std::string& context) {
    for (int y = 0; y < expect.height; ++y) {
        for (int x = 0; x < expect.width; ++x) {
            if (expect.At(x, y) != actual.At(x, y)) {
                ADD_FAILURE() << context << ": expected " << Describe(expect, x, y) << ", drew "
                              << Describe(actual, x, y);
                return false;
            }
        }
    }
    return true;
}

template <class Draw, class Model>
void RunAllVariants(const Combination& c, uint32_t seed, int maxSource, Draw draw, Model model) {
    std::mt19937 rng(seed);
    for (int p : kParams) {
        for (uint32_t bright : kBrights) {
            for (bool hasMask : {false, true}) {
                for (int trans : {0, 1, 2}) {
                    for (int trial = 0; trial < 4; ++trial) {
                        const bool packed = trial % 2;
                        Scene s = MakeScene(rng, c, p, bright, hasMask, packed, maxSource);
                        RefImage expect = s.dst;
                        if (!model(rng, s, trans, &expect)) continue;
                        TestMemImg dst(s.dst, Between(rng, 0, 1) * Between(rng, 1, 7));
                        TestMemImg src(s.src, Between(rng, 0, 1) * Between(rng, 1, 7));
                        TestMask mask(s.hasMask ? s.mask : RefMask{1, 1, {0}});
                        ApplyState(s.st);
                        draw(s, trans, dst.get(), src.get(), s.hasMask ? mask.get() : nullptr);
                        if (!SameAsModel(expect, dst.Read(s.dst), Context(c, s, trans))) return;
                    }
                }
            }
        }
    }
}

uint32_t SeedOf(const Combination& c, uint32_t salt) {
    return salt * 7919 + uint32_t(c.colorType) * 131 + uint32_t(c.kind) * 17 + c.mode;
}

class BlitModel : public testing::TestWithParam<Combination> {};

// Positions anywhere from wholly left/above to wholly right/below of the draw area.
TEST_P(BlitModel, UnscaledPlainPathMatches) {
    int x = 0, y = 0;
    RunAllVariants(
        GetParam(), SeedOf(GetParam(), 1), 11,
        [&](Scene& s, int trans, MEMIMG* d, MEMIMG* sr, MEMIMG* m) {
            BlitMemImgUnscaled(d, sr, x, y, trans, m);
        },
        [&](std::mt19937& rng, Scene& s, int trans, RefImage* expect) {
            x = Between(rng, -s.src.width - 1, s.dst.width + 1);
            y = Between(rng, -s.src.height - 1, s.dst.height + 1);
            RefBlitUnscaled(expect, s.src, x, y, trans, s.hasMask ? &s.mask : nullptr, s.st);
            return true;
        });
}

// A source with a valid stream drawn wholly inside the draw area with trans 1 walks its runs;
// the stream may describe pixels that changed since it was written.
TEST_P(BlitModel, RunLengthPathMatches) {
    int x = 0, y = 0;
    RunAllVariants(
        GetParam(), SeedOf(GetParam(), 2), 9,
        [&](Scene& s, int trans, MEMIMG* d, MEMIMG* sr, MEMIMG* m) {
            BlitMemImgUnscaled(d, sr, x, y, trans, m);
        },
        [&](std::mt19937& rng, Scene& s, int trans, RefImage* expect) {
            s.src.stream = WrittenStream(s.src);
            if (Chance(rng)) {
                // Pixels changed after the stream was written: the runs still decide.
                const RefImage changed =
                    RandomImage(rng, s.src.colorType, GetParam().kind, s.src.width, s.src.height);
                s.src.pixels = changed.pixels;
            }
            s.st.area[0] = 0;
            s.st.area[1] = 0;
            s.st.area[2] = s.dst.width;
            s.st.area[3] = s.dst.height;
            if (s.hasMask && (s.mask.width < s.src.width || s.mask.height < s.src.height)) {
                s.mask = RandomMask(rng, s.src.width, s.src.height);
            }
            x = Between(rng, 0, std::max(0, s.dst.width - s.src.width));
            y = Between(rng, 0, std::max(0, s.dst.height - s.src.height));
            RefBlitUnscaled(expect, s.src, x, y, trans, s.hasMask ? &s.mask : nullptr, s.st);
            return true;
        });
}

// Stretched, shrunk and mirrored rectangles, clipped on any side.
TEST_P(BlitModel, ScaledMatches) {
    int32_t rect[4];
    RunAllVariants(
        GetParam(), SeedOf(GetParam(), 3), 12,
        [&](Scene& s, int trans, MEMIMG* d, MEMIMG* sr, MEMIMG* m) {
            BlitMemImgScaled(d, sr, rect, trans, m);
        },
        [&](std::mt19937& rng, Scene& s, int trans, RefImage* expect) {
            for (int axis = 0; axis < 2; ++axis) {
                const int extent = axis == 0 ? s.dst.width : s.dst.height;
                const int own = axis == 0 ? s.src.width : s.src.height;
                const int a = Between(rng, -4, extent + 2);
                // Exact ratios (where the two walks part), the source's own size, or any.
                const int sizes[] = {own,
                                     2 * own,
                                     std::max(1, own / 2),
                                     std::max(1, own / 4),
                                     3 * own / 2,
                                     Between(rng, 1, 2 * extent)};
                const int size = sizes[rng() % 6];
                rect[axis] = a;
                rect[axis + 2] = a + size;
                if (rng() % 2) std::swap(rect[axis], rect[axis + 2]);
            }
            RefBlitScaled(expect, s.src, rect, trans, s.hasMask ? &s.mask : nullptr, s.st);
            return true;
        });
}

// The packed-byte loops give the plain loops' pixels everywhere except the whole-sample add
// and subtract of 32-bit sources without weights, where every byte saturates on its own.
TEST_P(BlitModel, PackedByteLoopsAgreeWithPlainOnesOutsideTheirDocumentedDifference) {
    const Combination& c = GetParam();
    std::mt19937 rng(SeedOf(c, 4));
    for (int p : kParams) {
        for (uint32_t bright : kBrights) {
            for (bool hasMask : {false, true}) {
                for (int trans : {0, 1}) {
                    for (bool scaled : {false, true}) {
                        Scene s = MakeScene(rng, c, p, bright, hasMask, false, 11);
                        const bool differs = c.colorType == 1 && c.kind != TestKind::Alpha &&
                                             !hasMask && (bright & 0xFFFFFF) == 0xFFFFFF &&
                                             p == 255 && (c.mode == 3 || (c.mode == 2 && !scaled));
                        if (differs) continue;
                        const int32_t rect[4] = {-1, -1, s.dst.width + 1, s.dst.height - 2};
                        RefImage drawn[2];
                        for (bool packed : {false, true}) {
                            TestMemImg dst(s.dst), src(s.src);
                            TestMask mask(s.hasMask ? s.mask : RefMask{1, 1, {0}});
                            s.st.packedBytes = packed;
                            ApplyState(s.st);
                            MEMIMG* m = s.hasMask ? mask.get() : nullptr;
                            if (scaled)
                                BlitMemImgScaled(dst.get(), src.get(), rect, trans, m);
                            else
                                BlitMemImgUnscaled(dst.get(), src.get(), 1, 1, trans, m);
                            drawn[packed] = dst.Read(s.dst);
                        }
                        ASSERT_EQ(drawn[0].pixels, drawn[1].pixels) << Context(c, s, trans);
                    }
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllModes, BlitModel, testing::ValuesIn(AllCombinations()), Name);

}  // namespace
