// Measuring text through the public header: the width of a text is how far the pen moves when
// it is drawn, for Latin and Japanese text and with spacing, on the device and on the software
// renderer; the size and spacing calls of a font.

#include "public_fixture.h"

namespace {

using TextTest = RendererFixture;
INSTANTIATE_TEST_SUITE_P(Renderers, TextTest, ::testing::Bool(), RendererName);

// A mark drawn at the measured width lands where the pen leaves it after the text.
TEST_P(TextTest, TheWidthIsHowFarThePenMovesAndABadFontFails) {
    StartFramework();
    const Handle font = MakeFontHandle(nullptr, 24, -1, -1, -1, -1, 0, -1);
    const ScreenColor white = PackScreenColor(255, 255, 255);
    auto show = [&](std::initializer_list<std::pair<int, std::string>> texts) {
        return Show([&] {
            for (const auto& [x, text] : texts) {
                EXPECT_EQ(DrawStringWithFont(x, 20, text.c_str(), white, font, 0, 0), 0);
            }
        });
    };
    const std::string japanese = "日本語のテキスト";  // eight double-byte characters
    const int plain = MeasureStringWidth(japanese.c_str(), -1, font);
    for (int spacing : {0, 3}) {
        ASSERT_EQ(SetFontHandleSpacing(spacing, font), 0);
        EXPECT_EQ(MeasureStringWidth(japanese.c_str(), -1, font), plain + 8 * spacing);
        for (const std::string& text : {std::string("Orbek draws"), japanese}) {
            const int width = MeasureStringWidth(text.c_str(), -1, font);
            EXPECT_EQ(show({{8, text}, {8 + width, "|"}}), show({{8, text + "|"}}))
                << text << " spacing " << spacing;
        }
    }
    // A length counts bytes: the first character alone; one beyond the text takes all of it.
    ASSERT_EQ(SetFontHandleSpacing(0, font), 0);
    EXPECT_EQ(MeasureStringWidth(japanese.c_str(), 2, font), MeasureStringWidth("日", -1, font));
    EXPECT_EQ(MeasureStringWidth(japanese.c_str(), 100, font), plain);
    EXPECT_EQ(MeasureStringWidth(nullptr, -1, font), 0);

    EXPECT_EQ(GetFontHandleSize(font), 24);
    EXPECT_EQ(GetFontHandleSize(MakeFontHandle(nullptr, -1, -1, -1, -1, -1, 0, -1)), 16);
    ASSERT_EQ(DeleteFontHandle(font), 0);
    EXPECT_EQ(GetFontHandleSize(font), -1);
    EXPECT_EQ(SetFontHandleSpacing(1, font), -1);
    EXPECT_EQ(MeasureStringWidth("A", -1, font), -1);
    EXPECT_NE(ReadLog().find("フォントハンドル値が異常です"), std::string::npos);
}

}  // namespace
