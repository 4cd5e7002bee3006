// Code-page conversion: CP932 (including trail bytes that equal '\'), the other DBCS pages,
// counts with and without the NUL, size queries, short buffers and unconvertible text.
#include <cstring>
#include <string>

#include "platform_test_support.h"

namespace {

using CodePageTest = PlatformTest;

std::u16string ToWide(UINT codePage, const char* text) {
    int count = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (count <= 0) return u"<failed>";
    std::u16string out(static_cast<size_t>(count), u'\0');
    EXPECT_EQ(MultiByteToWideChar(codePage, 0, text, -1, out.data(), count), count);
    out.pop_back();
    return out;
}

std::string ToNarrow(UINT codePage, const char16_t* text) {
    int count = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (count <= 0) return "<failed>";
    std::string out(static_cast<size_t>(count), '\0');
    EXPECT_EQ(WideCharToMultiByte(codePage, 0, text, -1, out.data(), count, nullptr, nullptr),
              count);
    out.pop_back();
    return out;
}

TEST_F(CodePageTest, Cp932RoundTripKeepsTrailBytesThatLookLikeBackslashes) {
    // "表" and "ソ" end in 0x5C in CP932.
    const char* text = "表示ソフト\\ok";
    ASSERT_EQ(static_cast<unsigned char>(text[1]), 0x5C);
    EXPECT_EQ(MultiByteToWideChar(932, 0, text, -1, nullptr, 0), 9);
    EXPECT_EQ(ToWide(932, text), u"表示ソフト\\ok");
    EXPECT_EQ(ToNarrow(932, u"表示ソフト\\ok"), std::string(text));
    EXPECT_EQ(ToWide(CP_ACP, text), ToWide(932, text));
}

TEST_F(CodePageTest, Cp932IsTheWindowsVariantOfShiftJis) {
    EXPECT_EQ(ToWide(932, "\x81\x60"), u"\uFF5E");  // the full-width tilde
    EXPECT_EQ(ToWide(932, "\x87\x40"), u"\u2460");  // circled 1, an NEC extension
    EXPECT_EQ(ToNarrow(932, u"\uFF5E"), "\x81\x60");
}

TEST_F(CodePageTest, ExplicitLengthsCountNoNul) {
    char16_t out[8];
    EXPECT_EQ(MultiByteToWideChar(932, 0, "あいう", 4, out, 8), 2);
    EXPECT_EQ(out[0], u'あ');
    EXPECT_EQ(out[1], u'い');
    char narrow[8];
    EXPECT_EQ(WideCharToMultiByte(932, 0, u"ab", 1, narrow, 8, nullptr, nullptr), 1);
    EXPECT_EQ(narrow[0], 'a');
}

TEST_F(CodePageTest, ShortBuffersFailWithoutWritingPastTheirEnd) {
    char16_t wide[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(MultiByteToWideChar(932, 0, "あいう", -1, wide, 3), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(wide[3], u'x');
    char narrow[8];
    std::memset(narrow, 'x', sizeof(narrow));
    EXPECT_EQ(WideCharToMultiByte(932, 0, u"あい", -1, narrow, 4, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(narrow[4], 'x');
    EXPECT_EQ(WideCharToMultiByte(932, 0, u"あい", -1, narrow, 5, nullptr, nullptr), 5);
}

TEST_F(CodePageTest, InvalidArgumentsAndCodePagesAreRefused) {
    char16_t wide[4];
    EXPECT_EQ(MultiByteToWideChar(1234, 0, "a", -1, wide, 4), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(MultiByteToWideChar(932, 0, "a", 0, wide, 4), 0);
    EXPECT_EQ(MultiByteToWideChar(932, 0, nullptr, -1, wide, 4), 0);
    EXPECT_EQ(MultiByteToWideChar(932, 0, "a", -1, nullptr, 4), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", -1, nullptr, 0, "?", nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(CodePageTest, BrokenInputIsReplacedOrRefusedAsAsked) {
    // A lead byte with no trail byte.
    EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, "a\x82", -1, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
    EXPECT_EQ(ToWide(932, "a\x82"), u"a?");

    char out[8];
    BOOL used = FALSE;
    EXPECT_EQ(WideCharToMultiByte(932, 0, u"\u00E9!", -1, out, 8, nullptr, &used), 3);
    EXPECT_STREQ(out, "?!");
    EXPECT_TRUE(used);
    EXPECT_EQ(WideCharToMultiByte(932, 0, u"\u00E9", -1, out, 8, "*", &used), 2);
    EXPECT_STREQ(out, "*");
    EXPECT_EQ(WideCharToMultiByte(932, 0, u"e", -1, out, 8, nullptr, &used), 2);
    EXPECT_FALSE(used);
    // A lone surrogate has no UTF-8 form of its own.
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(ToNarrow(CP_UTF8, lone),
              "a\xEF\xBF\xBD"
              "b");
}

TEST_F(CodePageTest, OtherEastAsianCodePages) {
    EXPECT_EQ(ToNarrow(936, u"中文"), "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(ToNarrow(949, u"\uD55C"), "\xC7\xD1");
    EXPECT_EQ(ToNarrow(950, u"中"), "\xA4\xA4");
    EXPECT_EQ(ToWide(936, "\xD6\xD0"), u"中");
    EXPECT_EQ(ToNarrow(CP_UTF8, u"表"), "\xE8\xA1\xA8");
    // The OEM code page follows the override; the ANSI one stays.
    EXPECT_EQ(GetOEMCP(), 932u);
    TestSetOemCodePage(936);
    EXPECT_EQ(GetOEMCP(), 936u);
    EXPECT_EQ(ToWide(CP_OEMCP, "\xD6\xD0"), u"中");
    EXPECT_EQ(GetACP(), 932u);
}

}  // namespace
