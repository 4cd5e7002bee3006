// Image and blend filters through the public header: every kind, with its parameters, gives on
// the device and on the software renderer the pixels that the filters' formulas give. The
// framework's own filter tests check the formulas on random images; the table holds their values
// for four pixels.

#include <array>

#include "public_fixture.h"

namespace {

using FilterPixels = std::array<uint32_t, 4>;  // 0xAARRGGBB of a 2 x 2 graph, row by row

const FilterPixels kFilterSource = {0xFFCCA850, 0x801E3CC8, 0x28FAFAF0, 0xC80A7814};
// The blend graph, and what the destination holds before each filter.
const FilterPixels kFilterLayer = {0xFF641EDC, 0x5AF0C80A, 0xAA005080, 0x14FFFFFF};

struct FilterCase {
    int32_t isBlend, kind;
    FilterParameters parameters;
    FilterPixels expected;
};

// At 32 bits, so that every byte shows.
class FiltersTest : public RendererFixture {
protected:
    // The graph's pixels: its colours drawn, and its alpha drawn as grey from a graph that the
    // channel mix filled with it.
    FilterPixels Read(Handle graph) {
        const Handle alpha = LoadImageFileAsGraph("layer.bgra", 0);
        const FilterRequest mix = {.isBlend = 1,
                                   .sourceGraph = graph,
                                   .blendGraph = graph,
                                   .destGraph = alpha,
                                   .kind = kBlendFilterRGBAMix,
                                   .srcX2 = 2,
                                   .srcY2 = 2};
        EXPECT_EQ(ApplyFilterOrBlend(mix, {{3, 3, 3, 3}}), 0);
        const std::vector<uint32_t> picture = Show([&] {
            PutGraph(0, 0, graph, 0);
            PutGraph(4, 0, alpha, 0);
        });
        DisposeGraph(alpha);
        FilterPixels out{};
        for (int i = 0; i < 4; ++i) {
            const int at = i / 2 * 640 + i % 2;
            out[i] = (picture[at + 4] & 0xFF) << 24 | picture[at];
        }
        return out;
    }
};

INSTANTIATE_TEST_SUITE_P(Renderers, FiltersTest, ::testing::Bool(), RendererName);

TEST_P(FiltersTest, EveryKindGivesThePixelsOfItsFormula) {
    ASSERT_EQ(ChangeScreenMode(640, 480, 32, 0, 0), 0);
    WriteBgraImage("source.bgra", 2, 2, {kFilterSource.begin(), kFilterSource.end()});
    WriteBgraImage("layer.bgra", 2, 2, {kFilterLayer.begin(), kFilterLayer.end()});
    WriteBgraImage("gradient.bgra", 4, 1, {0xFFFF0000, 0xC800FF00, 0x640000FF, 0x00FFFFFF});
    StartFramework();
    const Handle source = LoadImageFileAsGraph("source.bgra", 0);
    const Handle layer = LoadImageFileAsGraph("layer.bgra", 0);
    const Handle gradient = LoadImageFileAsGraph("gradient.bgra", 0);
    ASSERT_EQ(Read(source), kFilterSource);
    const int64_t c1 = PackScreenColor(255, 0, 128), c2 = PackScreenColor(0x12, 0x34, 0x56);
    const int64_t fill = PackScreenColor(9, 8, 7);
    // Blends run at ratio 170. BrightClip without a fill comes after other filters, whose
    // pixels it must not keep.
    // clang-format off
    const FilterCase cases[] = {
        {0, kFilterMono, {{60, -90}}, {0xFF69BEDD, 0x80035878, 0x28B9FFFF, 0xC80C6180}},
        {0, kFilterGauss, {{10, 250}}, {0xA6929A88, 0xA1607D87, 0x8B97AD90, 0x99618E79}},
        {0, kFilterDownScale, {{2}}, {0x9B7B9587, 0x5AF0C80A, 0xAA005080, 0x14FFFFFF}},
        {0, kFilterBrightClip, {{2, 120, 0}}, {0xFFCCA850, 0x5AF0C80A, 0x28FAFAF0, 0x14FFFFFF}},
        {0, kFilterBrightClip, {{5, 120, 1, fill, 66}},
         {0x42090807, 0x801E3CC8, 0x42090807, 0xC80A7814}},
        {0, kFilterHsb, {{0, -100, 40, -70}}, {0xFFB517AD, 0x8000A519, 0x28B6AAB2, 0xC85D2800}},
        {0, kFilterHsb, {{1, 360, -80, 90}}, {0xFFCF9999, 0x80C97D7D, 0x28F9F5F5, 0xC89A6A6A}},
        {0, kFilterInvert, {}, {0xFF3357AF, 0x80E1C337, 0x2805050F, 0xC8F587EB}},
        {0, kFilterLevel, {{40, 200, 170, 10, 250}},
         {0xFFF9DB73, 0x800A50F9, 0x28F9F9F9, 0xC80AA90A}},
        {0, kFilterTwoColor, {{100, c1, 7, c2, 200}},
         {0xC8123456, 0x07FF0080, 0xC8123456, 0x07FF0080}},
        {0, kFilterGradientMap, {{gradient, 0}}, {0x640000FF, 0xC800FF00, 0x00FFFFFF, 0xC800FF00}},
        {0, kFilterGradientMap, {{gradient, 1}}, {0xC800FF00, 0x640000FF, 0xFFFF0000, 0x640000FF}},
        {0, kFilterPremultipliedAlpha, {}, {0xFFCBA74F, 0x800F1E64, 0x28272725, 0xC8075D0F}},
        {1, kBlendFilterNormal, {}, {0xFF874CAC, 0x804F5C9B, 0x288BAFBE, 0xC8167F20}},
        // Blue, green, red and alpha; then the blend's red and green, none, and alpha.
        {1, kBlendFilterRGBAMix, {{2, 1, 0, 3}}, {0xFF50A8CC, 0x80C83C1E, 0x28F0FAFA, 0xC814780A}},
        {1, kBlendFilterRGBAMix, {{4, 5, 9, 3}}, {0xFF641E00, 0x80F0C800, 0x28005000, 0xC8FFFF00}},
        {1, kBlendFilterMultiple, {}, {0xFF794548, 0x801D389A, 0x288BAEBB, 0xC8097713}},
        {1, kBlendFilterDifference, {}, {0xFF89941B, 0x80162DC5, 0x28FAD6B7, 0xC8097112}},
        {1, kBlendFilterAdd, {}, {0xFFEDBBC3, 0x805269CA, 0x28FAFCF6, 0xC8167F20}},
        {1, kBlendFilterScreen, {}, {0xFFD9AFB4, 0x804F5FC8, 0x28FAFAF3, 0xC8167F20}},
        {1, kBlendFilterOverlay, {}, {0xFFC47B75, 0x802443BC, 0x28F7F9F0, 0xC80A7E14}},
        {1, kBlendFilterDodge, {}, {0xFFEDB7C3, 0x805269C9, 0x28FAFCF6, 0xC8167F20}},
        {1, kBlendFilterBurn, {}, {0xFF98383E, 0x801A2F99, 0x288BF5E9, 0xC80A7814}},
        {1, kBlendFilterDarken, {}, {0xFF874C50, 0x801E3C9B, 0x288BAFBE, 0xC80A7814}},
        {1, kBlendFilterLighten, {}, {0xFFCCA8AC, 0x804F5CC8, 0x28FAFAF0, 0xC8167F20}},
        {1, kBlendFilterSoftLight, {}, {0xFFC58971, 0x802945BE, 0x28F7F9F0, 0xC80C7A16}},
        {1, kBlendFilterHardLight, {}, {0xFFAE52A4, 0x804C559C, 0x288BD0F0, 0xC8167F20}},
        {1, kBlendFilterExclusion, {}, {0xFFA4A186, 0x804854C6, 0x28FAD8BE, 0xC816781F}},
        {1, kBlendFilterNormalAlphaChannel, {}, {0xFF874CAC, 0x9D6C7080, 0x86296C92, 0xCA198023}},
        {1, kBlendFilterAddAlphaChannel, {}, {0xFFFFBBE1, 0x9D727CA6, 0x864A8DB2, 0xCA1A8724}},
        {1, kBlendFilterMultipleAlphaOnly, {}, {0xFECCA850, 0x491E3CC8, 0x1EFAFAF0, 0x4D0A7814}},
    };
    // clang-format on
    const FilterRequest base = {.sourceGraph = source, .destGraph = layer, .srcX2 = 2, .srcY2 = 2};
    for (const FilterCase& c : cases) {
        FilterRequest r = base;
        r.isBlend = c.isBlend, r.kind = c.kind, r.blendRatio = 170;
        r.blendGraph = c.isBlend ? layer : -1;
        r.destGraph = LoadImageFileAsGraph("layer.bgra", 0);
        ASSERT_EQ(ApplyFilterOrBlend(r, c.parameters), 0) << c.isBlend << " " << c.kind;
        EXPECT_EQ(Read(r.destGraph), c.expected) << c.isBlend << " " << c.kind;
        DisposeGraph(r.destGraph);
    }

    // Refused: a kind out of range, a blend without its graph, a bad graph, a parameter out of
    // range, an empty rectangle; a rectangle wholly left of the source leaves nothing to do.
    auto apply = [&](void (*change)(FilterRequest&), const FilterParameters& parameters = {}) {
        FilterRequest r = base;
        change(r);
        return ApplyFilterOrBlend(r, parameters);
    };
    EXPECT_EQ(apply([](FilterRequest& r) { r.kind = 10; }), -1);
    EXPECT_EQ(apply([](FilterRequest& r) { r.isBlend = 1; }), -1);
    EXPECT_EQ(apply([](FilterRequest& r) { r.destGraph += 1; }), -1);
    EXPECT_EQ(apply([](FilterRequest& r) { r.kind = kFilterBrightClip; }, {{3, 120, 0}}), -1);
    EXPECT_EQ(apply([](FilterRequest& r) { r.srcX2 = 0; }), -1);
    EXPECT_EQ(apply([](FilterRequest& r) { r.srcX1 = -20, r.srcX2 = -2; }), 0);
    EXPECT_EQ(Read(layer), kFilterLayer);
    ASSERT_EQ(ApplyFilterInPlace(source, kFilterInvert), 0);
    EXPECT_EQ(Read(source), (FilterPixels{0xFF3357AF, 0x80E1C337, 0x2805050F, 0xC8F587EB}));
}

}  // namespace
