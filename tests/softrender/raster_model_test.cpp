// Every combination of source kind, destination kind, blend mode, parameter, bright, blend
// graph, alpha and transparency drawn through the rotated blit and the quad blit on random
// images and compared bit for bit with the reference model of the textured pixel.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "blit_harness.h"
#include "raster_harness.h"
#include "raster_reference.h"
#include "softrender/raster.h"

namespace {

// Parameters with shortcuts of their own and their neighbours.
const int kParams[] = {0, 1, 5, 128, 254, 255};
// Off, off with a high byte, half, one byte just below 255 (on), and any.
const uint32_t kBrights[] = {0xFFFFFF, 0xFFFFFFFF, 0x808080, 0xFFFFFE, 0x3C9A51};

struct Scene {
    RefImage dst, src;
    RefMask mask;
    bool hasMask = false;
    int32_t trans = 0;
    RefState st;
};

Scene MakeScene(std::mt19937& rng, const Combination& c, int p, uint32_t bright, bool hasMask,
                bool trans) {
    Scene s;
    s.src = RandomImage(rng, c.colorType, c.kind, Between(rng, 1, 9), Between(rng, 1, 9));
    s.dst = RandomDestination(rng, c.colorType, Between(rng, 4, 14), Between(rng, 4, 14));
    s.hasMask = hasMask;
    if (hasMask) {
        // Usually at least as large as the source; now and then smaller, which draws nothing.
        const int grow = rng() % 6 == 0 ? -1 : Between(rng, 0, 2);
        s.mask = RandomMask(rng, std::max(1, s.src.width + grow), std::max(1, s.src.height + grow));
    }
    s.trans = trans ? 1 : 0;
    s.st.mode = c.mode;
    s.st.param = p;
    s.st.bright = bright;
    RandomWeights(rng, s.st.weights);
    // Usually inside the destination, sometimes beyond it (clipped to it) or empty.
    s.st.area[0] = Between(rng, -2, 3);
    s.st.area[1] = Between(rng, -2, 3);
    s.st.area[2] = Between(rng, s.st.area[0], s.dst.width + 2);
    s.st.area[3] = Between(rng, s.st.area[1], s.dst.height + 2);
    return s;
}

bool InArea(const Scene& s, int x, int y) {
    return x >= s.st.area[0] && x < s.st.area[2] && y >= s.st.area[1] && y < s.st.area[3];
}

bool MaskFits(const Scene& s) {
    return !s.hasMask || (s.mask.width >= s.src.width && s.mask.height >= s.src.height);
}

// Applies the reference pixel count(x, y) times wherever texel(x, y) lies inside the source.
template <class Count, class Texel>
RefImage Expect(const Scene& s, Count count, Texel texel) {
    RefImage out = s.dst;
    RefMappedCall call;
    if (!MaskFits(s) || !RefPrepareMapped(s.src, s.trans, s.hasMask, s.st, &call)) return out;
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            int tx, ty;
            texel(x, y, &tx, &ty);
            if (!InArea(s, x, y) || tx < 0 || ty < 0 || tx >= s.src.width || ty >= s.src.height)
                continue;
            const uint8_t maskByte = s.hasMask ? s.mask.At(tx, ty) : 0;
            for (int k = count(x, y); k > 0; --k) {
                out.At(x, y) =
                    RefMappedPixel(call, s.src, s.src.At(tx, ty), maskByte, out.At(x, y));
            }
        }
    }
    return out;
}

// How many times a solid triangle covers each pixel under the scene's draw area.
std::vector<int> CountCoverage(const Scene& s, const TriangleVertex tri[3]) {
    CountingCanvas canvas(s.dst.width, s.dst.height);
    canvas.Prepare(s.st.area[0], s.st.area[1], s.st.area[2], s.st.area[3]);
    RasterizeMemImgTriangle(canvas.get(), nullptr, tri, 0, nullptr, 1);
    std::vector<int> counts;
    for (int y = 0; y < s.dst.height; ++y)
        for (int x = 0; x < s.dst.width; ++x) counts.push_back(canvas.At(x, y));
    return counts;
}

std::string FirstDifference(const RefImage& got, const RefImage& want) {
    for (int y = 0; y < got.height; ++y) {
        for (int x = 0; x < got.width; ++x) {
            if (got.At(x, y) != want.At(x, y)) {
                return "got " + Describe(got, x, y) + " want " + Describe(want, x, y);
            }
        }
    }
    return "";
}

class RasterModel : public testing::TestWithParam<Combination> {};

TEST_P(RasterModel, RotatedAtAngleZeroMatchesTheModel) {
    const Combination c = GetParam();
    std::mt19937 rng(1000 + c.colorType * 100 + int(c.kind) * 20 + int(c.mode & 31));
    for (int p : kParams) {
        for (uint32_t bright : kBrights) {
            for (int flags = 0; flags < 4; ++flags) {
                Scene s = MakeScene(rng, c, p, bright, flags & 1, flags & 2);
                const int cx = Between(rng, -3, s.dst.width + 3),
                          cy = Between(rng, -3, s.dst.height + 3);
                const RefImage want = Expect(
                    s, [](int, int) { return 1; },
                    [&](int x, int y, int* tx, int* ty) {
                        *tx = x - cx + (s.src.width >> 1);
                        *ty = y - cy + (s.src.height >> 1);
                    });
                TestMemImg dst(s.dst, Between(rng, 0, 1) * 6);
                TestMemImg src(s.src);
                TestMask mask(s.hasMask ? s.mask : RefMask{1, 1, {0}});
                ApplyState(s.st);
                BlitMemImgRotated(dst.get(), src.get(), cx, cy, 0.0f, 1.0f, s.trans, 0,
                                  s.hasMask ? mask.get() : nullptr);
                const RefImage got = dst.Read(s.dst);
                ASSERT_EQ(got.pixels, want.pixels)
                    << "p " << p << " bright " << std::hex << bright << std::dec << " mask "
                    << s.hasMask << " trans " << s.trans << ": " << FirstDifference(got, want);
            }
        }
    }
}

TEST_P(RasterModel, QuadOfTheSourceSizeMatchesTheModel) {
    const Combination c = GetParam();
    std::mt19937 rng(2000 + c.colorType * 100 + int(c.kind) * 20 + int(c.mode & 31));
    for (int p : kParams) {
        for (uint32_t bright : kBrights) {
            for (int flags = 0; flags < 4; ++flags) {
                Scene s = MakeScene(rng, c, p, bright, flags & 1, flags & 2);
                const int x0 = Between(rng, -4, s.dst.width), y0 = Between(rng, -4, s.dst.height);
                const int w = s.src.width, h = s.src.height;
                const int32_t corners[4][2] = {
                    {x0, y0}, {x0 + w, y0}, {x0, y0 + h}, {x0 + w, y0 + h}};
                const TriangleVertex first[3] = {
                    {x0, y0, 0, 0}, {x0 + w, y0, w, 0}, {x0, y0 + h, 0, h}};
                const TriangleVertex second[3] = {
                    {x0 + w, y0, w, 0}, {x0, y0 + h, 0, h}, {x0 + w, y0 + h, w, h}};
                const std::vector<int> a = CountCoverage(s, first), b = CountCoverage(s, second);
                const RefImage want = Expect(
                    s,
                    [&](int x, int y) {
                        return a[size_t(y) * s.dst.width + x] + b[size_t(y) * s.dst.width + x];
                    },
                    [&](int x, int y, int* tx, int* ty) {
                        *tx = x - x0;
                        *ty = y - y0;
                    });
                TestMemImg dst(s.dst);
                TestMemImg src(s.src);
                TestMask mask(s.hasMask ? s.mask : RefMask{1, 1, {0}});
                ApplyState(s.st);
                BlitMemImgToQuad(dst.get(), src.get(), corners, s.trans,
                                 s.hasMask ? mask.get() : nullptr);
                const RefImage got = dst.Read(s.dst);
                ASSERT_EQ(got.pixels, want.pixels)
                    << "p " << p << " bright " << std::hex << bright << std::dec << " mask "
                    << s.hasMask << " trans " << s.trans << ": " << FirstDifference(got, want);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllVariants, RasterModel, testing::ValuesIn(AllCombinations()), Name);

}  // namespace
