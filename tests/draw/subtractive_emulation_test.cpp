// The subtractive blend on a device without the reverse-subtract operation: the same draws as on
// a device with it, within one step per channel, and the blend mode, parameter and bright the
// caller set are there again afterwards.
#include <gtest/gtest.h>

#include <random>

#include "draw_call_fixture.h"

namespace {

class SubtractiveEmulationTest : public DrawCallFixture, public ::testing::WithParamInterface<int> {
protected:
    // Subtractive boxes and graphs over grey 128; settings are checked after every draw.
    std::vector<uint32_t> DrawSubtractions(bool nativeSubtract) {
        TestD3d9Profile profile = TestD3d9DefaultProfile();
        profile.nativeSubtract = nativeSubtract;
        TestD3d9SetProfile(profile);
        StartPath(true, GetParam());
        std::mt19937 random(3);
        std::vector<uint32_t> texels(24 * 24);
        for (uint32_t& t : texels) t = static_cast<uint32_t>(random());
        const Handle sprite = MakeGraph(
            24, 24, [&](int x, int y) { return texels[y * 24 + x]; }, true);
        const uint32_t vertices[3][2] = {{300, 100}, {400, 110}, {320, 200}};
        GraphListVertex list[3] = {};
        for (int i = 0; i < 3; ++i) {
            list[i] = {static_cast<float>(vertices[i][0]),
                       static_cast<float>(vertices[i][1]),
                       0,
                       1,
                       0xFF305070,
                       0,
                       0};
        }
        ChangeBlendMode(BlendOpaque, 0);
        PutBoxFilled(0, 0, 640, 480, PackScreenColor(128, 128, 128));
        ChangeBlendMode(BlendSubtractive, 255);
        PutBoxFilled(10, 10, 50, 50, PackScreenColor(255, 255, 255));
        PutBoxFilled(60, 10, 100, 50, PackScreenColor(64, 64, 64));
        ExpectSettings(255, 255, 255, 255);
        ChangeBlendMode(BlendSubtractive, 160);
        SetDrawBright(200, 255, 100);
        const std::function<int()> draws[] = {
            [&] { return PutGraph(120, 10, sprite, 1); },
            [&] { return PutGraphRotated(200, 40, 1.5, 0.7, sprite, 1, 0); },
            [&] { return PutBoxOutline(250, 10, 290, 60, PackScreenColor(90, 200, 30)); },
            [&] { return PutGraphVertexList(list, 3, D3DPT_TRIANGLELIST, kUntexturedList, 0); },
        };
        for (const auto& draw : draws) {
            EXPECT_EQ(draw(), 0);
            ExpectSettings(160, 200, 255, 100);
        }
        std::vector<uint32_t> frame = ReadFrame();
        ShutdownLibrary();
        ResetGraphicsState();
        ResetGraphSettings();
        gShell = ShellState{};
        gShell.windowed = 1;
        return frame;
    }

    static void ExpectSettings(int param, int red, int green, int blue) {
        const DrawSettings& s = gDrawSettings;
        EXPECT_EQ(s.blendMode, BlendSubtractive);
        EXPECT_EQ(s.blendParam, param);
        EXPECT_EQ(s.brightRed, red);
        EXPECT_EQ(s.brightGreen, green);
        EXPECT_EQ(s.brightBlue, blue);
        EXPECT_EQ(gMemImgDraw.blendMode, BlendSubtractive);
        EXPECT_EQ(gMemImgDraw.blendParam, param);
        EXPECT_EQ(gMemImgDraw.bright, static_cast<uint32_t>(red << 16 | green << 8 | blue));
        EXPECT_EQ(s.vertexColor, ComputeDrawVertexColor());
    }
};

TEST_P(SubtractiveEmulationTest, MatchesNativeSubtractionWithinOneStep) {
    const int bits = GetParam();
    const std::vector<uint32_t> native = DrawSubtractions(true);
    const std::vector<uint32_t> emulated = DrawSubtractions(false);
    // White from grey leaves black; 64 leaves 64.
    EXPECT_EQ(FramePixel(emulated, 30, 30) & 0xFFFFFF, 0u);
    EXPECT_LE(StepDifference(FramePixel(emulated, 80, 30), 0x404040, bits), 1);
    int worst = 0;
    for (size_t i = 0; i < native.size(); ++i) {
        worst = std::max(worst, StepDifference(native[i], emulated[i], bits));
    }
    EXPECT_LE(worst, 1);
    EXPECT_NE(native, std::vector<uint32_t>(native.size(), native[0]));
}

INSTANTIATE_TEST_SUITE_P(ScreenDepths, SubtractiveEmulationTest, ::testing::Values(16, 32),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param) + "Bit";
                         });

}  // namespace
