// Masks on both paths: a mask written by the test limits a box to the pixels whose mask byte
// is 0 (mask byte (x, y) governs target pixel (x, y)), nested brackets compose once at the
// outermost end, and the use switch refuses without a mask screen.
#include "graphics/masks.h"

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "draw_call_fixture.h"

namespace {

constexpr uint32_t kBackground = 0xFF204060;
constexpr uint32_t kDrawn = 0xFFFF0000;

class MaskTest : public DrawCallFixture, public ::testing::WithParamInterface<bool> {
protected:
    void StartWithBackground() {
        StartPath(GetParam(), 32);
        ASSERT_EQ(PutBox(0, 0, 640, 480, PackScreenColor(0x20, 0x40, 0x60), 1), 0);
    }

    // Mask bytes: non-zero over the columns from 50 on and over row 30.
    static void WriteMask() {
        for (int y = 0; y < gMasks.height; ++y) {
            for (int x = 0; x < gMasks.width; ++x) {
                gMasks.bytes[static_cast<size_t>(y) * gMasks.pitch + x] =
                    x >= 50 || y == 30 ? 1 : 0;
            }
        }
    }

    static uint32_t Expected(int x, int y, bool insideBox) {
        return insideBox && x < 50 && y != 30 ? kDrawn : kBackground;
    }
};

TEST_P(MaskTest, MovingTheWindowPutsTheMaskScreenBackInTheWayOfFrontScreenDrawing) {
    StartWithBackground();
    ASSERT_EQ(CreateMaskScreen(1), 0);
    ASSERT_EQ(SwitchMaskScreenUse(1), 0);
    const MEMIMG* work = &gMasks.workScreen;
    auto moveAndSeeTheMaskApplied = [&](int x, int y) {
        if (IsDirect3DMode()) TestD3d9RecordCalls(true);
        gSoftwareScreen.target = nullptr;
        SendMessageA(GetMainHwnd(), WM_MOVE, 0, MAKELPARAM(x, y));
        bool applied = gSoftwareScreen.target == work;
        if (IsDirect3DMode()) {
            const std::vector<TestD3d9Call> calls = TestD3d9RecordedCalls();
            TestD3d9RecordCalls(false);
            // Applying the mask re-sends the draw area whatever target was bound.
            applied = std::any_of(calls.begin(), calls.end(), [](const TestD3d9Call& c) {
                return c.kind == TestD3d9CallKind::Viewport;
            });
        }
        return applied;
    };
    ASSERT_EQ(SelectDrawScreen(kFrontScreen), 0);
    EXPECT_TRUE(moveAndSeeTheMaskApplied(30, 40));
    EXPECT_EQ(gMainWindow.clientRect.left, 30);
    EXPECT_EQ(gMainWindow.clientRect.top, 40);
    ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
    EXPECT_FALSE(moveAndSeeTheMaskApplied(50, 60));
    EXPECT_EQ(gMainWindow.clientRect.left, 50);
    ASSERT_EQ(SwitchMaskScreenUse(0), 0);
}

TEST_P(MaskTest, UseIsRefusedWithoutAMaskScreen) {
    StartWithBackground();
    EXPECT_EQ(SwitchMaskScreenUse(1), -1);
    EXPECT_EQ(IsMaskDrawingOn(), 0);
    ASSERT_EQ(PutBox(10, 10, 20, 20, PackScreenColor(255, 0, 0), 1), 0);
    EXPECT_EQ(FramePixel(ReadFrame(), 15, 15), kDrawn);
}

TEST_P(MaskTest, ADrawReachesOnlyThePixelsTheMaskLetsThrough) {
    StartWithBackground();
    ASSERT_EQ(CreateMaskScreen(1), 0);
    ASSERT_GE(gMasks.width, 640);
    ASSERT_GE(gMasks.height, 480);
    EXPECT_EQ(gMasks.pitch % 4, 0);
    WriteMask();
    ASSERT_EQ(SwitchMaskScreenUse(1), 0);
    EXPECT_EQ(IsMaskDrawingOn(), 1);
    ASSERT_EQ(PutBox(20, 20, 80, 40, PackScreenColor(255, 0, 0), 1), 0);
    ASSERT_EQ(SwitchMaskScreenUse(0), 0);
    const std::vector<uint32_t> frame = ReadFrame();
    for (int y = 15; y < 45; ++y) {
        for (int x = 15; x < 85; ++x) {
            const bool inside = x >= 20 && x < 80 && y >= 20 && y < 40;
            ASSERT_EQ(FramePixel(frame, x, y), Expected(x, y, inside)) << x << "," << y;
        }
    }
    // Drawing goes to the real target again.
    ASSERT_EQ(PutBox(60, 60, 70, 70, PackScreenColor(255, 0, 0), 1), 0);
    EXPECT_EQ(FramePixel(ReadFrame(), 65, 65), kDrawn);
    EXPECT_EQ(ShutdownMasks(), 0);
    EXPECT_EQ(ShutdownMasks(), -1);
}

TEST_P(MaskTest, NestedBracketsComposeOnceAtTheOutermostEnd) {
    StartWithBackground();
    ASSERT_EQ(CreateMaskScreen(1), 0);
    WriteMask();
    ASSERT_EQ(SwitchMaskScreenUse(1), 0);
    const RECT box = {20, 20, 80, 40};
    ASSERT_EQ(BeginMaskDrawArea(box), 0);
    ASSERT_EQ(PutBox(20, 20, 80, 40, PackScreenColor(255, 0, 0), 1), 0);
    if (IsDirect3DMode()) FlushVertexBatchNow();
    EXPECT_EQ(gMasks.nesting, 1);
    EXPECT_EQ(FramePixel(ReadFrame(), 25, 25), kBackground);
    ASSERT_EQ(EndMaskDrawArea(box), 0);
    EXPECT_EQ(gMasks.nesting, 0);
    ASSERT_EQ(SwitchMaskScreenUse(0), 0);
    const std::vector<uint32_t> frame = ReadFrame();
    EXPECT_EQ(FramePixel(frame, 25, 25), kDrawn);
    EXPECT_EQ(FramePixel(frame, 60, 25), kBackground);
    EXPECT_EQ(FramePixel(frame, 25, 30), kBackground);
}

TEST_P(MaskTest, ABracketOutsideTheDrawAreaComposesNothing) {
    StartWithBackground();
    ASSERT_EQ(CreateMaskScreen(1), 0);
    ASSERT_EQ(SwitchMaskScreenUse(1), 0);
    ASSERT_EQ(SetDrawRegion(0, 0, 100, 100), 0);
    const RECT outside = {200, 200, 220, 220};
    ASSERT_EQ(BeginMaskDrawArea(outside), 0);
    ASSERT_EQ(EndMaskDrawArea(outside), 0);
    EXPECT_EQ(gMasks.nesting, 0);
    // An end without a begin leaves the count at 0, so the next bracket still composes.
    ASSERT_EQ(EndMaskDrawArea(outside), 0);
    EXPECT_EQ(gMasks.nesting, 0);
    ASSERT_EQ(PutBox(10, 10, 20, 20, PackScreenColor(255, 0, 0), 1), 0);
    ASSERT_EQ(SwitchMaskScreenUse(0), 0);
    EXPECT_EQ(FramePixel(ReadFrame(), 15, 15), kDrawn);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, MaskTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Device" : "Software";
                         });

}  // namespace
