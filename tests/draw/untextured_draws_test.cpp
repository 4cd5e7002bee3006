// Boxes and vertex lists on both paths: which pixels a box covers, once each, in any corner
// order, and a vertex list's colours and texels on the device and its absence on the software
// screen.
#include <gtest/gtest.h>

#include "draw_call_fixture.h"

namespace {

class UntexturedDrawsTest : public DrawCallFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        DrawCallFixture::SetUp();
        StartPath(GetParam(), 32);
    }
};

TEST_P(UntexturedDrawsTest, BoxesCoverTheirPixelsOnceInAnyCornerOrder) {
    // Added twice, a pixel would show 200.
    ChangeBlendMode(BlendAdditive, 255);
    const ScreenColor grey = PackScreenColor(100, 100, 100);
    ASSERT_EQ(PutBox(100, 50, 110, 58, grey, 0), 0);
    ASSERT_EQ(PutBox(130, 58, 120, 50, grey, 0), 0);
    ASSERT_EQ(PutBox(150, 58, 140, 50, grey, 1), 0);
    const std::vector<uint32_t> frame = ReadFrame();
    for (int y = 48; y < 60; ++y) {
        for (int x = 98; x < 152; ++x) {
            const int left = x < 120 ? 100 : (x < 140 ? 120 : 140);
            const bool inside = x >= left && x < left + 10 && y >= 50 && y < 58;
            const bool edge = x == left || x == left + 9 || y == 50 || y == 57;
            const bool drawn = inside && (left == 140 || edge);
            ASSERT_EQ(FramePixel(frame, x, y) & 0xFFFFFF, drawn ? 0x646464u : 0u) << x << ", " << y;
        }
    }
    // Drawing off or an empty draw area: nothing, and 0.
    ASSERT_EQ(SetDrawRegion(5, 5, 5, 5), 0);
    EXPECT_EQ(PutBoxFilled(0, 0, 640, 480, grey), 0);
    EXPECT_EQ(PutBoxOutline(0, 0, 640, 480, grey), 0);
    EXPECT_EQ(ReadFrame(), frame);
}

TEST_P(UntexturedDrawsTest, VertexListsDrawOnTheDeviceOnly) {
    const GraphListVertex triangle[3] = {{100, 100, 0, 1, 0xFF804020, 0, 0},
                                         {140, 100, 0, 1, 0xFF804020, 0, 0},
                                         {100, 140, 0, 1, 0xFF804020, 0, 0}};
    SetDrawBright(128, 255, 255);
    const std::vector<uint32_t> before = ReadFrame();
    // Too few vertices for one triangle.
    EXPECT_EQ(PutGraphVertexList(triangle, 2, D3DPT_TRIANGLELIST, kUntexturedList, 0), 0);
    EXPECT_EQ(ReadFrame(), before);
    EXPECT_EQ(PutGraphVertexList(triangle, 3, D3DPT_TRIANGLELIST, kUntexturedList, 0), 0);
    // The colour times the bright.
    EXPECT_EQ(FramePixel(ReadFrame(), 105, 105) & 0xFFFFFF, GetParam() ? 0x404020u : 0u);
    EXPECT_EQ(PutGraphVertexList(triangle, 3, 9, kUntexturedList, 0), GetParam() ? -1 : 0);
    EXPECT_EQ(PutGraphVertexList(nullptr, 3, D3DPT_TRIANGLELIST, kUntexturedList, 0),
              GetParam() ? -1 : 0);
    // With a graph: its texels on the device; the software screen's graph has no texture.
    SetDrawBright(255, 255, 255);
    const Handle graph = MakeGraph(32, 32, [](int x, int y) {
        return static_cast<uint32_t>(x * 8 << 16 | y * 8 << 8 | 0x40);
    });
    GraphListVertex strip[4];
    for (int k = 0; k < 4; ++k) {
        const float u = static_cast<float>(k % 2), v = static_cast<float>(k / 2);
        strip[k] = {199.5f + 32 * u, 199.5f + 32 * v, 0, 1, 0xFFFFFFFF, u, v};
    }
    const std::vector<uint32_t> untextured = ReadFrame();
    ASSERT_EQ(PutGraphVertexList(strip, 4, D3DPT_TRIANGLESTRIP, graph, 0), 0);
    const std::vector<uint32_t> frame = ReadFrame();
    if (!GetParam()) {
        EXPECT_EQ(frame, untextured);
        return;
    }
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            ASSERT_EQ(FramePixel(frame, 200 + x, 200 + y) & 0xFFFFFF,
                      static_cast<uint32_t>(x * 8 << 16 | y * 8 << 8 | 0x40));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, UntexturedDrawsTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Device" : "SoftwareScreen";
                         });

}  // namespace
