// Arguments at the ends of their ranges through the public header: ints at INT_MIN and INT_MAX,
// floats NaN and infinite, lengths that end a buffer without a terminator. Each call answers as
// its comment says, without overflowing and without reading past what it was given.

#include <climits>
#include <limits>
#include <memory>

#include "public_fixture.h"

namespace {

constexpr int32_t kExtremeInts[] = {INT_MIN, INT_MIN + 1, -(1 << 30), 1 << 30, INT_MAX};
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

class ExtremeArgumentsTest : public RendererFixture {
protected:
    // A white 16 x 8 graph.
    static Handle LoadWhiteGraph() {
        WriteBgraImage("white.bgra", 16, 8, std::vector<uint32_t>(128, 0xFFFFFFFF));
        return LoadImageFileAsGraph("white.bgra", 0);
    }
    // The number of pixels of the picture that are not black.
    static int CountLit(const std::vector<uint32_t>& picture) {
        return static_cast<int>(std::count_if(picture.begin(), picture.end(),
                                              [](uint32_t pixel) { return pixel != 0; }));
    }
};
INSTANTIATE_TEST_SUITE_P(Renderers, ExtremeArgumentsTest, ::testing::Bool(), RendererName);

// Positions and sizes anywhere in the int range: what lies off the screen draws nothing, and
// what reaches it draws as the same call with values nearer the screen would.
TEST_P(ExtremeArgumentsTest, GraphsAndBoxesAtExtremePositionsDrawWhatReachesTheScreen) {
    StartFramework();
    const Handle graph = LoadWhiteGraph(),
                 font = MakeFontHandle(nullptr, -1, -1, -1, -1, -1, 0, -1);
    ASSERT_TRUE(graph != -1 && font != -1);
    const ScreenColor white = PackScreenColor(255, 255, 255);
    for (int32_t a : kExtremeInts) {
        for (int32_t b : kExtremeInts) {
            const std::vector<uint32_t> picture = Show([&] {
                EXPECT_EQ(PutGraph(a, b, graph, 0), 0);
                EXPECT_EQ(PutGraph(a, 0, graph, 1), 0);
                EXPECT_EQ(PutGraphMirrored(a, b, graph, 0), 0);
                EXPECT_EQ(PutGraphStretched(a, b, a / 2, 0, graph, 0), 0);
                EXPECT_EQ(PutGraphPart(a, b, 0, 0, 4, 4, graph, 0, 0), 0);
                EXPECT_EQ(PutGraphPart(0, 0, a, b, 4, 4, graph, 0, 1), 0);
                EXPECT_EQ(PutGraphPart(a, 0, b, 0, INT_MAX, INT_MAX, graph, 0, 1), 0);
                EXPECT_EQ(PutGraphRotated(static_cast<float>(a), static_cast<float>(b), 1.0, 1.0,
                                          graph, 0, 0),
                          0);
                EXPECT_EQ(PutBoxFilled(a, b, a, b, white), 0);
                EXPECT_EQ(PutBoxOutline(a, a, b, b, white), 0);
                EXPECT_EQ(DrawStringWithFont(a, b, "ab", white, font, white, 0), 0);
                EXPECT_EQ(DrawStringWithFont(a, b, "ab", white, font, white, 1), 0);
            });
            EXPECT_EQ(CountLit(picture), 0) << a << ", " << b;
        }
    }
    const std::vector<uint32_t> atTen = Show([&] { PutGraph(10, 10, graph, 0); });
    EXPECT_EQ(Show([&] { PutGraphPart(10, 10, 0, 0, INT_MAX, INT_MAX, graph, 0, 0); }), atTen);
    EXPECT_EQ(CountLit(Show([&] { PutGraphPart(10, 10, 0, 0, INT_MAX, INT_MAX, graph, 0, 1); })),
              0);
    const std::vector<uint32_t> rows = Show([&] { PutBoxFilled(0, 10, 640, 20, white); });
    EXPECT_EQ(CountLit(rows), 640 * 10);
    EXPECT_EQ(Show([&] { PutBox(INT_MIN, 10, INT_MAX, 20, white, 1); }), rows);
    EXPECT_EQ(CountLit(Show([&] { PutBoxOutline(INT_MIN, INT_MIN, INT_MAX, INT_MAX, white); })), 0);
    const std::vector<uint32_t> graphRows =
        Show([&] { PutGraphStretched(0, 10, 640, 20, graph, 0); });
    EXPECT_EQ(CountLit(graphRows), 640 * 10);
    EXPECT_EQ(SetDrawRegion(INT_MIN, 10, INT_MAX, 20), 0);
    EXPECT_EQ(Show([&] { PutGraphStretched(0, 0, 640, 480, graph, 0); }), graphRows);
    EXPECT_EQ(SetDrawRegion(INT_MIN, INT_MIN, INT_MAX, INT_MAX), 0);
    // The software renderer stretches a graph up to 32767 pixels wide.
    if (GetParam()) {
        EXPECT_EQ(Show([&] { PutGraphStretched(INT_MIN, 10, INT_MAX, 20, graph, 0); }), graphRows);
    }
}

// A position that is not a number is refused; infinities are positions as far as they go.
TEST_P(ExtremeArgumentsTest, FloatsThatAreNoNumbersAreRefusedAndInfinitiesHeld) {
    StartFramework();
    const Handle graph = LoadWhiteGraph();
    ASSERT_NE(graph, -1);
    EXPECT_EQ(PutGraphRotated(kNaN, 10, 1.0, 0.0, graph, 0, 0), -1);
    EXPECT_EQ(PutGraphRotated(10, 10, kNaN, 0.0, graph, 0, 0), -1);
    EXPECT_EQ(PutGraphRotated(10, 10, 1.0, kInfinity, graph, 0, 0), -1);
    EXPECT_EQ(PutGraphStretchedFloat(0, 0, kNaN, 10, graph, 0), -1);
    EXPECT_EQ(PutGraphOnQuad(graph, 0, 0, 10, 0, 10, kNaN, 0, 10, 0, 0), -1);
    EXPECT_EQ(PutGraphOnQuadFloat(0, 0, 10, 0, 10, 10, kNaN, 10, graph, 0), -1);

    const std::vector<uint32_t> whole = Show([&] {
        EXPECT_EQ(PutGraphStretchedFloat(-kInfinity, -kInfinity, kInfinity, kInfinity, graph, 0),
                  0);
    });
    // The software renderer stretches a graph up to 32767 pixels wide.
    EXPECT_EQ(CountLit(whole), GetParam() ? 640 * 480 : 0);
    const float far = std::numeric_limits<float>::max();
    for (float a : {kInfinity, -kInfinity, far, -far, 3e9f}) {
        Show([&] {
            EXPECT_EQ(PutGraphRotated(a, -a, 1.0, 0.5, graph, 0, 1), 0);
            EXPECT_EQ(PutGraphRotated(10, 10, a, 0.5, graph, 0, 0), 0);
            EXPECT_EQ(PutGraphRotated(10, 10, 1.0, a, graph, 0, 0), std::isinf(a) ? -1 : 0);
            EXPECT_EQ(PutGraphStretchedFloat(a, a, std::isinf(a) ? 0 : a / 2, 10, graph, 0), 0);
            EXPECT_EQ(PutGraphOnQuad(graph, a, a, -a, 0, a, -a, 0, a, 1, 0), 0);
            EXPECT_EQ(PutGraphOnQuadFloat(a, 0, a, 0, a, 10, a, 10, graph, 0), 0);
        });
        const GraphListVertex list[3] = {{a, -a, 0, 1, 0xFFFFFFFF, 0, 0},
                                         {10, 0, kNaN, 1, 0xFFFFFFFF, a, kNaN},
                                         {0, kNaN, a, a, 0xFFFFFFFF, 1, 1}};
        Show([&] {
            PutGraphVertexList(list, 3, 4, graph, 0);
            PutGraphVertexList(list, 3, 2, kUntexturedList, 0);
            PutGraphVertexList(list, 3, 1, graph, 1);
        });
    }
}

// A text with a length is read no further than the length, a terminator or not; a length that
// ends inside a double-byte character leaves that character out. Spacing far beyond any screen
// is held, and a pen that runs off the screen draws nothing there. Fonts of any thickness.
TEST_P(ExtremeArgumentsTest, TextKeepsToItsLengthAndTheIntRange) {
    StartFramework();
    const Handle font = MakeFontHandle(nullptr, 16, -1, -1, -1, -1, 0, -1);
    ASSERT_NE(font, -1);
    const std::unique_ptr<char[]> abc(new char[3]{'a', 'b', 'c'});
    EXPECT_EQ(MeasureStringWidth(abc.get(), 3, font), MeasureStringWidth("abc", -1, font));
    const std::unique_ptr<char[]> none(new char[1]);
    EXPECT_EQ(MeasureStringWidth(none.get() + 1, 0, font), 0);
    const std::unique_ptr<char[]> split(new char[3]{'\x82', '\xb1', '\x82'});
    const int first = MeasureStringWidth("\x82\xb1", -1, font);
    EXPECT_GT(first, 0);
    EXPECT_EQ(MeasureStringWidth(split.get(), 3, font), first);
    EXPECT_EQ(MeasureStringWidth("\x82\xb1\x82\xf1", 3, font), first);
    EXPECT_EQ(MeasureStringWidth(split.get(), 1, font), 0);
    for (int32_t length : {-2, INT_MIN}) {
        EXPECT_EQ(MeasureStringWidth("abc", length, font), MeasureStringWidth("abc", -1, font));
    }

    // Any thickness makes a font; an edge wider than 16 is refused.
    for (int32_t thickness : {INT_MIN, INT_MAX}) {
        const Handle heavy = MakeFontHandle(nullptr, 16, thickness, -1, -1, -1, 0, -1);
        EXPECT_NE(heavy, -1);
        EXPECT_EQ(DeleteFontHandle(heavy), 0);
    }
    const Handle edged = MakeFontHandle(nullptr, 16, -1, -1, -1, 16, 0, -1);
    EXPECT_NE(edged, -1);
    EXPECT_EQ(DeleteFontHandle(edged), 0);
    EXPECT_EQ(MakeFontHandle(nullptr, 16, -1, -1, -1, 17, 0, -1), -1);
    EXPECT_EQ(MakeFontHandle(nullptr, 16, -1, -1, -1, INT_MAX, 0, -1), -1);

    const int ab = MeasureStringWidth("ab", -1, font);
    ASSERT_EQ(SetFontHandleSpacing(INT_MAX, font), 0);
    EXPECT_EQ(MeasureStringWidth("ab", -1, font), ab + 2 * 32767);
    ASSERT_EQ(SetFontHandleSpacing(INT_MIN, font), 0);
    EXPECT_EQ(MeasureStringWidth("ab", -1, font), ab - 2 * 32767);
    // A width beyond the int range is the range's end.
    const std::string many(70000, 'a');
    ASSERT_EQ(SetFontHandleSpacing(INT_MAX, font), 0);
    EXPECT_EQ(MeasureStringWidth(many.c_str(), -1, font), INT_MAX);
    const ScreenColor white = PackScreenColor(255, 255, 255);
    // Only the first character reaches the screen; on the software renderer a translucent text
    // goes through an image of what it covers.
    for (int32_t mode : {BlendOpaque, BlendTranslucent}) {
        ASSERT_EQ(ChangeBlendMode(mode, 200), 0);
        const std::vector<uint32_t> one =
            Show([&] { EXPECT_EQ(DrawStringWithFont(5, 5, "a", white, font, 0, 0), 0); });
        EXPECT_GT(CountLit(one), 0);
        for (int vertical : {0, 1}) {
            EXPECT_EQ(Show([&] {
                          EXPECT_EQ(DrawStringWithFont(5, 5, many.c_str(), white, font, 0, 0), 0);
                          EXPECT_EQ(DrawStringWithFont(INT_MAX, INT_MAX, many.c_str(), white, font,
                                                       0, vertical),
                                    0);
                          EXPECT_EQ(DrawStringWithFont(INT_MIN, INT_MIN, many.c_str(), white, font,
                                                       0, vertical),
                                    0);
                      }),
                      one);
        }
    }
}

// Filter and blend rectangles whose corners lie anywhere: the part inside both graphs is done,
// which is nothing when a corner moves the other out of reach.
TEST_P(ExtremeArgumentsTest, FilterRectanglesReachingAnywhere) {
    StartFramework();
    const Handle source = LoadWhiteGraph(), dest = LoadWhiteGraph();
    ASSERT_TRUE(source != -1 && dest != -1);
    ASSERT_EQ(ApplyFilterInPlace(dest, kFilterInvert), 0);
    const std::vector<uint32_t> black = Show([&] { PutGraph(0, 0, dest, 0); });
    auto apply = [&](FilterRequest request) {
        request.sourceGraph = source;
        request.destGraph = dest;
        request.blendGraph = source;
        return ApplyFilterOrBlend(request);
    };
    for (int32_t a : kExtremeInts) {
        // A corner far left or above moves the other rectangle out of its graph.
        if (a < 0) {
            EXPECT_EQ(apply({.srcX1 = a, .srcY1 = a, .srcX2 = 4, .srcY2 = 4}), 0);
        }
        EXPECT_EQ(apply({.srcX2 = 4, .srcY2 = 4, .destX = a}), 0);
        EXPECT_EQ(apply({.isBlend = 1, .srcX2 = 4, .srcY2 = 4, .destX = a, .destY = a}), 0);
    }
    EXPECT_EQ(Show([&] { PutGraph(0, 0, dest, 0); }), black);
    for (int32_t a : kExtremeInts) {
        EXPECT_EQ(apply({.isBlend = 1,
                         .srcX1 = -2,
                         .srcY1 = -2,
                         .srcX2 = 4,
                         .srcY2 = 4,
                         .blendX = a,
                         .blendY = a,
                         .useBlendPosition = 1}),
                  0);
    }
    const std::vector<uint32_t> white = Show([&] { PutGraph(0, 0, source, 0); });
    EXPECT_EQ(apply({.srcX1 = INT_MIN,
                     .srcY1 = INT_MIN,
                     .srcX2 = INT_MAX,
                     .srcY2 = INT_MAX,
                     .destX = INT_MIN,
                     .destY = INT_MIN}),
              0);
    const std::vector<uint32_t> filtered = Show([&] { PutGraph(0, 0, dest, 0); });
    EXPECT_TRUE(std::equal(filtered.begin(), filtered.end(), white.begin(), Near));
}

using ExtremeShaderConstantsTest = PublicFixture;

// A range whose end lies beyond the kind's registers is refused however far beyond.
TEST_F(ExtremeShaderConstantsTest, RangesBeyondTheKindAreRefused) {
    StartFramework();
    const float values[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    for (int32_t kind : {kShaderConstVertexFloat, kShaderConstPixelFloat, kShaderConstPixelBool}) {
        for (const auto& [first, count] : {std::pair{1, INT_MAX},
                                           {INT_MAX, 1},
                                           {INT_MAX, INT_MAX},
                                           {-1, 1},
                                           {0, -1},
                                           {INT_MIN, INT_MAX}}) {
            EXPECT_EQ(StoreShaderConstants(kind, first, values, count), -1)
                << kind << ": " << first << ", " << count;
            EXPECT_EQ(ClearShaderConstRange(kind, first, count), -1)
                << kind << ": " << first << ", " << count;
        }
    }
    EXPECT_EQ(StoreShaderConstants(kShaderConstPixelFloat, 223, values, 1), 0);
    EXPECT_EQ(StoreShaderConstants(kShaderConstPixelFloat, 224, values, 1), -1);
    EXPECT_EQ(ClearShaderConstRange(kShaderConstPixelFloat, 0, 224), 0);
}

using ExtremeSoundBufferCountsTest = PublicFixture;

// More buffers than 10 are taken as 10; none makes a sound that never plays; fewer are refused.
TEST_F(ExtremeSoundBufferCountsTest, CountsAreHeldTo0Through10) {
    WriteSilentWave("silence.wav");
    StartFramework();
    for (int32_t count : {11, INT_MAX}) {
        const Handle sound = LoadSoundHandle("silence.wav", count, -1);
        ASSERT_NE(sound, -1) << count;
        for (int i = 0; i < 10; ++i) ASSERT_EQ(PlaySoundHandle(sound, kPlayBackground, 1), 0);
        EXPECT_EQ(IsSoundHandlePlaying(sound), 1);
        EXPECT_EQ(DeleteSoundHandle(sound), 0);
    }
    const Handle silent = LoadSoundHandle("silence.wav", 0, -1);
    ASSERT_NE(silent, -1);
    EXPECT_EQ(PlaySoundHandle(silent, kPlayBackground, 1), -1);
    EXPECT_EQ(IsSoundHandlePlaying(silent), 0);
    for (int32_t count : {-1, INT_MIN}) {
        EXPECT_EQ(LoadSoundHandle("silence.wav", count, -1), -1) << count;
    }
}

using ExtremePadNumbersTest = PublicFixture;

// A pad number anywhere in the int range names no pad unless it is 1..count.
TEST_F(ExtremePadNumbersTest, NumbersOutsideThePadsNameNone) {
    StartFramework();
    for (int32_t pad : kExtremeInts) {
        EXPECT_EQ(GetJoypadBits(pad), 0u) << pad;
        EXPECT_EQ(StartJoypadRumble(pad, 5000, 100), -1) << pad;
        EXPECT_EQ(StopJoypadRumble(pad), 0) << pad;
    }
}

}  // namespace
