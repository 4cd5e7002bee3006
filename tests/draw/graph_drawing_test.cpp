// The graph drawing calls on both paths: the gates in their order, mirrored and partial draws,
// the draw area a partial draw borrows, 1:1 copies under every blend mode that can copy, and
// the brackets' rectangles.
#include "draw/graph_drawing.h"

#include <gtest/gtest.h>

#include <functional>
#include <numbers>

#include "draw_call_fixture.h"
#include "graphics/draw_settings.h"
#include "softrender/mem_img.h"

namespace {

class GraphDrawingTest : public DrawCallFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        DrawCallFixture::SetUp();
        StartPath(GetParam(), 32);
        graph_ = MakeGraph(32, 32, Texel);
    }

    // A pixel of the screen, opaque.
    static uint32_t Pixel(int x, int y) { return FramePixel(ReadFrame(), x, y) | 0xFF000000; }

    Handle graph_ = -1;
};

TEST_P(GraphDrawingTest, GatesRunInOrder) {
    const Handle bad = graph_ ^ (1 << 16);  // another check number
    const std::vector<std::function<int(Handle)>> calls = {
        [](Handle g) { return PutGraph(10, 10, g, 0); },
        [](Handle g) { return PutGraphStretched(10, 10, 50, 40, g, 0); },
        [](Handle g) { return PutGraphStretchedFloat(10, 10, 50, 40, g, 0); },
        [](Handle g) { return PutGraphRotated(30, 30, 1.0, 0.5, g, 0, 0); },
        [](Handle g) { return PutGraphOnQuad(g, 10, 10, 40, 12, 42, 40, 8, 44, 0, 0); },
        [](Handle g) { return PutGraphOnQuadFloat(10, 10, 40, 10, 40, 40, 10, 40, g, 0); },
        [](Handle g) { return PutGraphPart(10, 10, 4, 4, 8, 8, g, 0, 0); },
        [](Handle g) { return PutGraphMirrored(10, 10, g, 0); },
    };
    const std::vector<uint32_t> before = ReadFrame();
    // Drawing switched off, then an empty draw area, come before the handle: 0, except for the
    // mirrored draw, which resolves its graph first.
    gDrawSettings.ignoreChanges = 1;
    for (size_t i = 0; i + 1 < calls.size(); ++i) EXPECT_EQ(calls[i](bad), 0) << i;
    gDrawSettings.ignoreChanges = 0;
    ASSERT_EQ(SetDrawRegion(10, 10, 10, 60), 0);
    for (size_t i = 0; i + 1 < calls.size(); ++i) EXPECT_EQ(calls[i](bad), 0) << i;
    EXPECT_EQ(calls.back()(bad), -1);
    ASSERT_EQ(SetDrawRegion(0, 0, 640, 480), 0);
    for (size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i](bad), -1) << i;
    // A graph still loading.
    RaiseHandleAsyncCount(&gGraphRegistry, graph_, -1);
    for (size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i](graph_), -1) << i;
    LowerHandleAsyncCount(&gGraphRegistry, graph_);
    // A blend graph narrower than the graph.
    const Handle narrow = MakeGraph(31, 64, Texel);
    ASSERT_EQ(SetBlendGraph(narrow, 0, 255, 0), 0);
    for (size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i](graph_), -1) << i;
    ASSERT_EQ(SetBlendGraph(-1, 0, 0, 0), 0);
    EXPECT_EQ(ReadFrame(), before);
    // Only PutGraph asks whether the framework is set up.
    gShell.setUp = 0;
    EXPECT_EQ(PutGraph(10, 10, graph_, 0), -1);
    EXPECT_EQ(PutGraphStretched(10, 10, 42, 42, graph_, 0), 0);
    gShell.setUp = 1;
}

TEST_P(GraphDrawingTest, MirroredAndPartialDrawsPlaceTheirColumns) {
    // Columns 31..0 onto screen columns 100..131, also through reversed stretch corners.
    ASSERT_EQ(PutGraphMirrored(100, 50, graph_, 0), 0);
    ASSERT_EQ(PutGraphStretched(132, 100, 100, 132, graph_, 0), 0);
    // The 10 x 6 part at (5, 7), plain and turned: source column 5 lands on screen column
    // 400 + 10 - 1.
    ASSERT_EQ(PutGraphPart(300, 60, 5, 7, 10, 6, graph_, 0, 0), 0);
    ASSERT_EQ(PutGraphPart(400, 60, 5, 7, 10, 6, graph_, 0, 1), 0);
    const std::vector<uint32_t> frame = ReadFrame();
    for (int y = 0; y < 32; ++y) {
        for (int k = 0; k < 32; ++k) {
            ASSERT_EQ(FramePixel(frame, 100 + k, 50 + y) | 0xFF000000, Texel(31 - k, y));
            ASSERT_EQ(FramePixel(frame, 100 + k, 100 + y) | 0xFF000000, Texel(31 - k, y));
        }
    }
    const uint32_t background = FramePixel(frame, 0, 0) | 0xFF000000;
    for (int y = 59; y <= 66; ++y) {
        for (int k = -1; k <= 10; ++k) {
            const bool inside = k >= 0 && k < 10 && y >= 60 && y < 66;
            EXPECT_EQ(FramePixel(frame, 300 + k, y) | 0xFF000000,
                      inside ? Texel(5 + k, y - 53) : background);
            EXPECT_EQ(FramePixel(frame, 400 + k, y) | 0xFF000000,
                      inside ? Texel(14 - k, y - 53) : background);
        }
    }
}

TEST_P(GraphDrawingTest, PartialDrawGivesTheDrawAreaBack) {
    EXPECT_EQ(PutGraphPart(10, 10, 0, 0, 0, 5, graph_, 0, 0), -1);
    ASSERT_EQ(SetDrawRegion(0, 0, 200, 150), 0);
    const std::vector<uint32_t> before = ReadFrame();
    // Outside the draw area: nothing is drawn.
    EXPECT_EQ(PutGraphPart(300, 10, 0, 0, 16, 16, graph_, 0, 1), 0);
    EXPECT_EQ(ReadFrame(), before);
    const DrawSettings& s = gDrawSettings;
    EXPECT_EQ(s.drawX1, 0);
    EXPECT_EQ(s.drawY1, 0);
    EXPECT_EQ(s.drawX2, 200);
    EXPECT_EQ(s.drawY2, 150);
    EXPECT_EQ(s.drawX2f, 200.0f);
    EXPECT_EQ(s.drawY2f, 150.0f);
    EXPECT_EQ(gMemImgDraw.drawArea.right, 200);
    EXPECT_EQ(gMemImgDraw.drawArea.bottom, 150);
}

// Modes that, at their neutral parameter and over the right background, show the texel itself
// (or its inverse): the device copies exactly, across texture pieces, and so does the software
// screen in the modes it draws exactly.
TEST_P(GraphDrawingTest, OneToOneDrawsCopyTexelsInEveryMode) {
    struct Case {
        int mode, param;
        uint8_t background;  // grey level under the graph
        bool inverted;
        // The software renderer draws no mode from 5 to 9 or above 11, and scales modes 4, 10
        // and 11 back by 1/256, a step short of a copy.
        bool deviceOnly;
    };
    const Case cases[] = {
        {BlendOpaque, 0, 90, false, false},
        {BlendTranslucent, 255, 90, false, false},
        {BlendAdditive, 255, 0, false, false},
        {BlendSubtractive, 255, 255, true, false},
        {BlendMultiply, 255, 255, false, true},
        {BlendAdditivePass, 255, 0, false, true},
        {BlendOpaqueHardwareOnly, 0, 90, false, true},
        {BlendInvertedSource, 255, 90, true, true},
        {BlendMultiplyTranslucent, 255, 255, false, true},
        {BlendInvertDest, 255, 0, false, true},
        {BlendOverwrite, 255, 90, false, true},
        {BlendPremultiplied, 255, 0, false, true},
        {BlendSubtractiveNative, 255, 255, true, true},
    };
    gDrawSettings.graphCreate.maxTextureSize = 16;
    const Handle pieces = MakeGraph(40, 24, Texel);
    for (const Case& c : cases) {
        if (c.deviceOnly && !GetParam()) continue;
        SCOPED_TRACE(c.mode);
        ChangeBlendMode(BlendOpaque, 0);
        ASSERT_EQ(
            PutBoxFilled(0, 0, 100, 100, PackScreenColor(c.background, c.background, c.background)),
            0);
        ChangeBlendMode(c.mode, c.param);
        ASSERT_EQ(PutGraph(20, 30, pieces, 0), 0);
        const std::vector<uint32_t> frame = ReadFrame();
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 40; ++x) {
                const uint32_t texel = Texel(x, y) & 0xFFFFFF;
                ASSERT_EQ(FramePixel(frame, 20 + x, 30 + y) & 0xFFFFFF,
                          c.inverted ? texel ^ 0xFFFFFF : texel)
                    << x << ", " << y;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, GraphDrawingTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Device" : "SoftwareScreen";
                         });

TEST(BracketRectTest, CoversTheDrawnCorners) {
    const RECT rotated = RotatedBracketRect(32, 32, 100, 100, 1.0, 0.0);
    EXPECT_EQ(rotated.left, 79);
    EXPECT_EQ(rotated.top, 79);
    EXPECT_EQ(rotated.right, 121);
    EXPECT_EQ(rotated.bottom, 121);
    const RECT turned = RotatedBracketRect(40, 20, 0, 0, 2.0, std::numbers::pi / 2);
    EXPECT_EQ(turned.left, -25);
    EXPECT_EQ(turned.right, 25);
    EXPECT_EQ(turned.top, -45);
    EXPECT_EQ(turned.bottom, 45);
    const float behind[8] = {-10.5f, -3, -2, -4, -1, -20.9f, -30, -1};
    const RECT quad = QuadBracketRect(behind);
    EXPECT_EQ(quad.left, -30);
    EXPECT_EQ(quad.top, -20);
    EXPECT_EQ(quad.right, 0);
    EXPECT_EQ(quad.bottom, 0);
}

}  // namespace
