// Measuring text through the public header: the width of a text is how far the pen moves when
// it is drawn, for Latin and Japanese text and with spacing, on the device and on the software
// renderer; the size and spacing calls of a font.

#include "public_fixture.h"

namespace {

class TextTest : public PublicFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        PublicFixture::SetUp();
        if (!GetParam()) {
            ASSERT_EQ(SwitchHardwareRendering(0), 0);
        }
        StartFramework();
    }

    // The frame after the texts are drawn in white, each at its pen.
    std::vector<uint32_t> ShowTexts(std::initializer_list<std::pair<int, std::string>> texts,
                                    Handle font) {
        int width = 0, height = 0;
        return DrawAndShow(
            [&] {
                for (const auto& [x, text] : texts) {
                    EXPECT_EQ(DrawStringWithFont(x, 20, text.c_str(),
                                                 PackScreenColor(255, 255, 255), font, 0, 0),
                              0);
                }
            },
            &width, &height);
    }
};

// A mark drawn at the measured width lands where the pen leaves it after the text.
TEST_P(TextTest, TheWidthIsHowFarThePenMovesOverTheText) {
    const Handle font = MakeFontHandle(nullptr, 16, -1, -1, -1, -1, 0, -1);
    ASSERT_NE(font, -1);
    const std::string japanese = "日本語のテキスト";  // eight double-byte characters
    const int plain = MeasureStringWidth(japanese.c_str(), -1, font);
    for (int spacing : {0, 3, -2}) {
        ASSERT_EQ(SetFontHandleSpacing(spacing, font), 0);
        EXPECT_EQ(MeasureStringWidth(japanese.c_str(), -1, font), plain + 8 * spacing);
        for (const std::string& text :
             {std::string("Orbek draws"), japanese, std::string("Mixed 漢字 x")}) {
            const int width = MeasureStringWidth(text.c_str(), -1, font);
            EXPECT_GT(width, static_cast<int>(text.size()) * 4) << text;
            const std::vector<uint32_t> whole = ShowTexts({{8, text + "|"}}, font);
            EXPECT_EQ(ShowTexts({{8, text}, {8 + width, "|"}}, font), whole)
                << text << " spacing " << spacing;
        }
    }
    // A length counts bytes: the first character alone; one beyond the text takes all of it.
    ASSERT_EQ(SetFontHandleSpacing(0, font), 0);
    EXPECT_EQ(MeasureStringWidth(japanese.c_str(), 2, font), MeasureStringWidth("日", -1, font));
    EXPECT_EQ(MeasureStringWidth(japanese.c_str(), 100, font), plain);
}

TEST_P(TextTest, SizeSpacingAndMeasureOfABadFontFail) {
    const Handle font = MakeFontHandle(nullptr, 24, -1, -1, -1, -1, 0, -1);
    const Handle standard = MakeFontHandle(nullptr, -1, -1, -1, -1, -1, 0, -1);
    EXPECT_EQ(GetFontHandleSize(font), 24);
    EXPECT_EQ(GetFontHandleSize(standard), 16);
    EXPECT_EQ(MeasureStringWidth("", -1, font), 0);
    EXPECT_EQ(MeasureStringWidth(nullptr, -1, font), 0);
    ASSERT_EQ(DeleteFontHandle(font), 0);
    EXPECT_EQ(GetFontHandleSize(font), -1);
    EXPECT_EQ(SetFontHandleSpacing(1, font), -1);
    EXPECT_EQ(MeasureStringWidth("A", -1, font), -1);
    EXPECT_NE(ReadLog().find("フォントハンドル値が異常です"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(DeviceAndSoftware, TextTest, ::testing::Bool());

}  // namespace
