// The game's texts in its font, a blue shadow under a white face, drawn horizontally and
// vertically from the cache graph on the Direct3D device and from the memory cache on the
// software screen, at 16 and 32 bits: the two frames must agree within the drawing calls'
// tolerance of 3 steps of each screen channel (draw/draw_call_fixture.h). Edged text, its edge
// in a third colour, is held to the same when drawn opaque; blended, it differs by design where
// an edge meets a glyph: the device blends the edge and the glyph one after the other, the
// software screen blends the text image, in which the later of the two replaced the earlier.
// Plain text is also compared blended.
#include <gtest/gtest.h>

#include "draw/draw_call_fixture.h"
#include "font_fixture.h"

namespace {

constexpr int kTolerance = 3;

const char* const kGameTexts[] = {"効果音",         "ブレーキ", "決定", "ボタン1",   "再開",
                                  "ゲームをやめる", "1位",      "ALL",  "0123456789"};

struct Case {
    int bits;
    int type;
    int blendMode = BlendOpaque, blendParam = 0;
    int nativeSubtract = 1;  // 0: the device emulates the subtractive blend
};

class TextBothPathsTest : public FontFixture, public ::testing::WithParamInterface<Case> {
protected:
    // The frame of the texts drawn through the device or the software screen.
    std::vector<uint32_t> DrawTexts(bool device) {
        if (device) {
            TestD3d9Profile profile = TestD3d9DefaultProfile();
            profile.nativeSubtract = GetParam().nativeSubtract;
            TestD3d9SetProfile(profile);
            StartDevice(GetParam().bits);
        } else {
            StartSoftware(GetParam().bits);
        }
        EXPECT_EQ(SelectDrawScreen(kBackScreen), 0);
        Handle font = MakeFontHandle("ＭＳ 明朝", 16, 2, GetParam().type, -1, -1, 0, -1);
        EXPECT_NE(font, -1);
        EXPECT_EQ(GetFontRecord(font)->textureCache, device ? 1 : 0);
        // A grey ground, so that blends that darken show.
        EXPECT_EQ(PutBoxFilled(0, 0, 640, 480, PackScreenColor(128, 128, 128)), 0);
        ChangeBlendMode(GetParam().blendMode, GetParam().blendParam);
        ScreenColor blue = PackScreenColor(0, 0, 255), white = PackScreenColor(255, 255, 255);
        ScreenColor edge = PackScreenColor(255, 96, 0);
        int y = 20;
        for (const char* text : kGameTexts) {
            EXPECT_EQ(DrawStringWithFont(22, y + 2, text, blue, font, edge, 0), 0);
            EXPECT_EQ(DrawStringWithFont(20, y, text, white, font, edge, 0), 0);
            y += 24;
        }
        EXPECT_EQ(DrawStringWithFont(402, 22, "縦書きの再開ボタン", blue, font, edge, 1), 0);
        EXPECT_EQ(DrawStringWithFont(400, 20, "縦書きの再開ボタン", white, font, edge, 1), 0);
        int width = 0, height = 0;
        std::vector<uint32_t> frame = ReadScreen(&width, &height);
        ShutdownLibrary();
        return frame;
    }
};

TEST_P(TextBothPathsTest, TheDeviceAndTheSoftwareScreenDrawTheSameText) {
    std::vector<uint32_t> device = DrawTexts(true);
    std::vector<uint32_t> software = DrawTexts(false);
    ASSERT_EQ(device.size(), software.size());
    int grey = 0, mismatches = 0;
    size_t first = 0;
    for (size_t i = 0; i < device.size(); ++i) {
        grey += StepDifference(device[i], 0x808080, GetParam().bits) == 0;
        if (StepDifference(device[i], software[i], GetParam().bits) > kTolerance) {
            if (mismatches++ == 0) first = i;
        }
    }
    // Each of the 46 characters leaves strokes.
    EXPECT_LT(grey, 640 * 480 - 46 * 16);
    EXPECT_EQ(mismatches, 0) << "first at x " << first % 640 << ", y " << first / 640 << ": device "
                             << std::hex << device[first] << ", software " << software[first];
}

INSTANTIATE_TEST_SUITE_P(GameFontAndEdged, TextBothPathsTest,
                         ::testing::Values(Case{16, 0}, Case{32, 0}, Case{16, 1}, Case{32, 1},
                                           Case{32, 0, BlendTranslucent, 128},
                                           Case{16, 0, BlendTranslucent, 128},
                                           Case{32, 0, BlendAdditive, 200},
                                           Case{16, 0, BlendSubtractive, 160, 0},
                                           Case{32, 0, BlendSubtractive, 255}),
                         [](const auto& info) {
                             const Case& c = info.param;
                             return "Bits" + std::to_string(c.bits) + "Type" +
                                    std::to_string(c.type) + "Blend" + std::to_string(c.blendMode) +
                                    "At" + std::to_string(c.blendParam) +
                                    (c.nativeSubtract ? "" : "Emulated");
                         });

// Fonts made and deleted again and again on the device: a new font's cache texture often lands
// where the last one's was (freed memory is handed out again in optimised builds), and each
// text must still be drawn from its own font's texture, as the software screen draws it.
class FontsMadeAgainTest : public FontFixture {
protected:
    static constexpr int kRounds = 500;
    static constexpr int kRight = 200, kBottom = 48;

    static void DrawText(Handle font) {
        // Cleared, not filled: an untextured draw in between would unset the texture.
        RECT area = {0, 0, kRight, kBottom};
        ASSERT_EQ(EraseDrawScreen(&area), 0);
        ASSERT_EQ(DrawStringWithFont(8, 8, "効果音ボタン", PackScreenColor(255, 255, 255), font,
                                     PackScreenColor(0, 0, 255), 0),
                  0);
    }

    // The pixels of the text's area that differ beyond the tolerance.
    static int Mismatches(const std::vector<uint32_t>& frame,
                          const std::vector<uint32_t>& reference) {
        int count = 0;
        for (int y = 0; y < kBottom; ++y) {
            for (int x = 0; x < kRight; ++x) {
                size_t i = static_cast<size_t>(y) * 640 + x;
                count += StepDifference(frame[i], reference[i], 32) > kTolerance;
            }
        }
        return count;
    }
};

TEST_F(FontsMadeAgainTest, EveryNewFontDrawsItsOwnGlyphs) {
    StartSoftware(32);
    ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
    Handle font = GameFont();
    DrawText(font);
    int width = 0, height = 0;
    const std::vector<uint32_t> software = ReadScreen(&width, &height);
    ShutdownLibrary();

    ASSERT_EQ(SwitchHardwareRendering(1), 0);
    StartDevice(32);
    ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
    int wrongDraws = 0, firstWrong = -1;
    for (int round = 0; round < kRounds; ++round) {
        font = GameFont();
        ASSERT_NE(font, -1);
        DrawText(font);
        if (Mismatches(ReadScreen(&width, &height), software) != 0 && wrongDraws++ == 0) {
            firstWrong = round;
        }
        ASSERT_EQ(DeleteFontHandle(font), 0);
    }
    EXPECT_EQ(wrongDraws, 0) << "of " << kRounds << " draws, the first in round " << firstWrong;
}

}  // namespace
