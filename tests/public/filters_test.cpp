// Image and blend filters through the public header: every kind, with its parameters, gives on
// the device and on the software renderer the pixels that the filters' formulas give. The
// framework's own filter tests check the formulas on random images; the table holds their values
// for four pixels.

#include <array>

#include "public_fixture.h"

namespace {

using FilterPixels = std::array<uint32_t, 4>;  // 0xAARRGGBB of a 2 x 2 graph, row by row

const FilterPixels kFilterSource = {0xFFCCA850u, 0x801E3CC8u, 0x28FAFAF0u, 0xC80A7814u};
// The blend graph, and what the destination holds before each filter.
const FilterPixels kFilterLayer = {0xFF641EDCu, 0x5AF0C80Au, 0xAA005080u, 0x14FFFFFFu};
const std::vector<uint32_t> kFilterGradient = {0xFFFF0000u, 0xC800FF00u, 0x640000FFu, 0x00FFFFFFu};

struct FilterCase {
    const char* name;
    int32_t isBlend;
    int32_t kind;
    FilterParameters parameters;
    FilterPixels expected;
};

// Blends run at ratio 170.
std::vector<FilterCase> FilterCases(Handle gradient) {
    const int64_t c1 = PackScreenColor(255, 0, 128), c2 = PackScreenColor(0x12, 0x34, 0x56);
    const int64_t fill = PackScreenColor(9, 8, 7);
    // clang-format off
    return {
        {"Mono", 0, kFilterMono, {{60, -90}},
         {0xFF69BEDDu, 0x80035878u, 0x28B9FFFFu, 0xC80C6180u}},
        {"Gauss", 0, kFilterGauss, {{10, 250}},
         {0xA6929A88u, 0xA1607D87u, 0x8B97AD90u, 0x99618E79u}},
        {"DownScale", 0, kFilterDownScale, {{2}},
         {0x9B7B9587u, 0x5AF0C80Au, 0xAA005080u, 0x14FFFFFFu}},
        {"BrightClip less", 0, kFilterBrightClip, {{2, 120, 0}},
         {0xFFCCA850u, 0x5AF0C80Au, 0x28FAFAF0u, 0x14FFFFFFu}},
        {"BrightClip greater, filled", 0, kFilterBrightClip, {{5, 120, 1, fill, 66}},
         {0x42090807u, 0x801E3CC8u, 0x42090807u, 0xC80A7814u}},
        {"Hsb shift", 0, kFilterHsb, {{0, -100, 40, -70}},
         {0xFFB517ADu, 0x8000A519u, 0x28B6AAB2u, 0xC85D2800u}},
        {"Hsb lock", 0, kFilterHsb, {{1, 360, -80, 90}},
         {0xFFCF9999u, 0x80C97D7Du, 0x28F9F5F5u, 0xC89A6A6Au}},
        {"Invert", 0, kFilterInvert, {},
         {0xFF3357AFu, 0x80E1C337u, 0x2805050Fu, 0xC8F587EBu}},
        {"Level", 0, kFilterLevel, {{40, 200, 170, 10, 250}},
         {0xFFF9DB73u, 0x800A50F9u, 0x28F9F9F9u, 0xC80AA90Au}},
        {"TwoColor", 0, kFilterTwoColor, {{100, c1, 7, c2, 200}},
         {0xC8123456u, 0x07FF0080u, 0xC8123456u, 0x07FF0080u}},
        {"GradientMap", 0, kFilterGradientMap, {{gradient, 0}},
         {0x640000FFu, 0xC800FF00u, 0x00FFFFFFu, 0xC800FF00u}},
        {"GradientMap reversed", 0, kFilterGradientMap, {{gradient, 1}},
         {0xC800FF00u, 0x640000FFu, 0xFFFF0000u, 0x640000FFu}},
        {"PremultipliedAlpha", 0, kFilterPremultipliedAlpha, {},
         {0xFFCBA74Fu, 0x800F1E64u, 0x28272725u, 0xC8075D0Fu}},
        {"Normal", 1, kBlendFilterNormal, {},
         {0xFF874CACu, 0x804F5C9Bu, 0x288BAFBEu, 0xC8167F20u}},
        {"RGBAMix blue, green, red, alpha", 1, kBlendFilterRGBAMix, {{2, 1, 0, 3}},
         {0xFF50A8CCu, 0x80C83C1Eu, 0x28F0FAFAu, 0xC814780Au}},
        {"RGBAMix blend red, blend green, none, alpha", 1, kBlendFilterRGBAMix, {{4, 5, 9, 3}},
         {0xFF641E00u, 0x80F0C800u, 0x28005000u, 0xC8FFFF00u}},
        {"Multiple", 1, kBlendFilterMultiple, {},
         {0xFF794548u, 0x801D389Au, 0x288BAEBBu, 0xC8097713u}},
        {"Difference", 1, kBlendFilterDifference, {},
         {0xFF89941Bu, 0x80162DC5u, 0x28FAD6B7u, 0xC8097112u}},
        {"Add", 1, kBlendFilterAdd, {},
         {0xFFEDBBC3u, 0x805269CAu, 0x28FAFCF6u, 0xC8167F20u}},
        {"Screen", 1, kBlendFilterScreen, {},
         {0xFFD9AFB4u, 0x804F5FC8u, 0x28FAFAF3u, 0xC8167F20u}},
        {"Overlay", 1, kBlendFilterOverlay, {},
         {0xFFC47B75u, 0x802443BCu, 0x28F7F9F0u, 0xC80A7E14u}},
        {"Dodge", 1, kBlendFilterDodge, {},
         {0xFFEDB7C3u, 0x805269C9u, 0x28FAFCF6u, 0xC8167F20u}},
        {"Burn", 1, kBlendFilterBurn, {},
         {0xFF98383Eu, 0x801A2F99u, 0x288BF5E9u, 0xC80A7814u}},
        {"Darken", 1, kBlendFilterDarken, {},
         {0xFF874C50u, 0x801E3C9Bu, 0x288BAFBEu, 0xC80A7814u}},
        {"Lighten", 1, kBlendFilterLighten, {},
         {0xFFCCA8ACu, 0x804F5CC8u, 0x28FAFAF0u, 0xC8167F20u}},
        {"SoftLight", 1, kBlendFilterSoftLight, {},
         {0xFFC58971u, 0x802945BEu, 0x28F7F9F0u, 0xC80C7A16u}},
        {"HardLight", 1, kBlendFilterHardLight, {},
         {0xFFAE52A4u, 0x804C559Cu, 0x288BD0F0u, 0xC8167F20u}},
        {"Exclusion", 1, kBlendFilterExclusion, {},
         {0xFFA4A186u, 0x804854C6u, 0x28FAD8BEu, 0xC816781Fu}},
        {"Normal, alpha channel", 1, kBlendFilterNormalAlphaChannel, {},
         {0xFF874CACu, 0x9D6C7080u, 0x86296C92u, 0xCA198023u}},
        {"Add, alpha channel", 1, kBlendFilterAddAlphaChannel, {},
         {0xFFFFBBE1u, 0x9D727CA6u, 0x864A8DB2u, 0xCA1A8724u}},
        {"Multiple, alpha only", 1, kBlendFilterMultipleAlphaOnly, {},
         {0xFECCA850u, 0x491E3CC8u, 0x1EFAFAF0u, 0x4D0A7814u}},
    };
    // clang-format on
}

// On the device (true) and on the software renderer, at 32 bits, so that every byte shows.
class FiltersTest : public PublicFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        PublicFixture::SetUp();
        ASSERT_EQ(ChangeScreenMode(640, 480, 32, 0, 0), 0);
        if (!GetParam()) {
            ASSERT_EQ(SwitchHardwareRendering(0), 0);
        }
        WriteBgraImage("source.bgra", 2, 2, {kFilterSource.begin(), kFilterSource.end()});
        WriteBgraImage("layer.bgra", 2, 2, {kFilterLayer.begin(), kFilterLayer.end()});
        WriteBgraImage("gradient.bgra", 4, 1, kFilterGradient);
        StartFramework();
    }

    // The graph's pixels: its colours drawn, and its alpha drawn as grey from a graph that the
    // channel mix filled with it.
    FilterPixels Read(Handle graph) {
        const Handle alpha = LoadImageFileAsGraph("layer.bgra", 0);
        EXPECT_EQ(ApplyFilterOrBlend({.isBlend = 1,
                                      .sourceGraph = graph,
                                      .blendGraph = graph,
                                      .destGraph = alpha,
                                      .kind = kBlendFilterRGBAMix,
                                      .srcX2 = 2,
                                      .srcY2 = 2},
                                     {{3, 3, 3, 3}}),
                  0);
        int width = 0, height = 0;
        const std::vector<uint32_t> picture = DrawAndShow(
            [&] {
                PutGraph(0, 0, graph, 0);
                PutGraph(4, 0, alpha, 0);
            },
            &width, &height);
        DisposeGraph(alpha);
        FilterPixels out{};
        for (int i = 0; i < 4 && !picture.empty(); ++i) {
            const size_t at = static_cast<size_t>(i / 2 * width + i % 2);
            out[i] = (picture[at + 4] & 0xFF) << 24 | picture[at];
        }
        return out;
    }
};

TEST_P(FiltersTest, EveryKindGivesThePixelsOfItsFormula) {
    const Handle source = LoadImageFileAsGraph("source.bgra", 0);
    const Handle layer = LoadImageFileAsGraph("layer.bgra", 0);
    const Handle gradient = LoadImageFileAsGraph("gradient.bgra", 0);
    ASSERT_EQ(Read(source), kFilterSource);
    for (const FilterCase& c : FilterCases(gradient)) {
        const Handle dest = LoadImageFileAsGraph("layer.bgra", 0);
        ASSERT_EQ(ApplyFilterOrBlend({.isBlend = c.isBlend,
                                      .sourceGraph = source,
                                      .blendGraph = c.isBlend ? layer : -1,
                                      .destGraph = dest,
                                      .blendRatio = 170,
                                      .kind = c.kind,
                                      .srcX2 = 2,
                                      .srcY2 = 2},
                                     c.parameters),
                  0)
            << c.name;
        EXPECT_EQ(Read(dest), c.expected) << c.name;
        DisposeGraph(dest);
    }
    ASSERT_EQ(ApplyFilterInPlace(source, kFilterInvert), 0);
    EXPECT_EQ(Read(source), (FilterPixels{0xFF3357AFu, 0x80E1C337u, 0x2805050Fu, 0xC8F587EBu}));
}

TEST_P(FiltersTest, RequestsOutsideTheKindsOrGraphsAreRefused) {
    const Handle source = LoadImageFileAsGraph("source.bgra", 0);
    const Handle layer = LoadImageFileAsGraph("layer.bgra", 0);
    const FilterRequest invert = {
        .sourceGraph = source, .destGraph = layer, .srcX2 = 2, .srcY2 = 2};
    FilterRequest r = invert;
    r.kind = 10;
    EXPECT_EQ(ApplyFilterOrBlend(r), -1);
    r = invert;
    r.isBlend = 1;
    r.blendGraph = layer;
    r.kind = 17;
    EXPECT_EQ(ApplyFilterOrBlend(r), -1);
    r.kind = kBlendFilterNormal;
    r.blendGraph = -1;
    EXPECT_EQ(ApplyFilterOrBlend(r), -1);
    r = invert;
    r.kind = kFilterBrightClip;
    EXPECT_EQ(ApplyFilterOrBlend(r, {{3, 120, 0}}), -1);
    r = invert;
    r.srcX2 = 0;
    EXPECT_EQ(ApplyFilterOrBlend(r), -1);
    r = invert;
    r.destGraph = layer + 1;
    EXPECT_EQ(ApplyFilterOrBlend(r), -1);
    EXPECT_EQ(ApplyFilterInPlace(-1, kFilterInvert), -1);
    // A rectangle wholly left of the source leaves nothing to do.
    r = invert;
    r.srcX1 = -20;
    r.srcX2 = -2;
    EXPECT_EQ(ApplyFilterOrBlend(r), 0);
    EXPECT_EQ(Read(layer), kFilterLayer);
}

INSTANTIATE_TEST_SUITE_P(DeviceAndSoftware, FiltersTest, ::testing::Bool());

}  // namespace
