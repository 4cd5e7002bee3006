#include "core/string_functions.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstring>
#include <random>

namespace {

TEST(StringFunctionsTest, LeadBytesAtTheRangeBoundariesOfEachCharSet) {
    const uint8_t bytes[] = {0x00, 0x7F, 0x80, 0x81, 0x9F, 0xA0, 0xDF, 0xE0, 0xFC, 0xFD, 0xFF};
    const int shiftJis[] = {0, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0};
    const int wide[] = {0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    for (int i = 0; i < 11; ++i) {
        for (int32_t set : {0, kCharSetShiftJis, 5})
            EXPECT_EQ(IsLeadByte(bytes[i], set), shiftJis[i]);
        for (int32_t set : {kCharSetKorean, kCharSetBig5, kCharSetGb}) {
            EXPECT_EQ(IsLeadByte(bytes[i], set), wide[i]) << set << " " << int{bytes[i]};
        }
    }
}

TEST(StringFunctionsTest, WalksStepOverTrailBytesOfTheCharSet) {
    // "表" is 0x95 0x5C in Shift-JIS: its trail byte is a backslash.
    EXPECT_EQ(GetCharByteRole("\x95\x5C", 0, kCharSetShiftJis), 1);
    EXPECT_EQ(GetCharByteRole("\x95\x5C", 1, kCharSetShiftJis), 2);
    EXPECT_EQ(GetCharByteRole("\x95\x5C", 2, kCharSetShiftJis), -1);
    EXPECT_EQ(GetCharByteRole("", 0, kCharSetShiftJis), -1);
    // A trail byte with a lead-byte value must not start a character.
    const int roles[] = {0, 1, 2, 0, -1};
    for (int pos = 0; pos < 5; ++pos) EXPECT_EQ(GetCharByteRole("a\x81\x81z", pos, 1), roles[pos]);
    // Half-width kana are single bytes in Shift-JIS but lead bytes elsewhere.
    EXPECT_EQ(GetCharByteRole("\xB0\x41", 1, kCharSetShiftJis), 0);
    EXPECT_EQ(GetCharByteRole("\xB0\x41", 1, kCharSetBig5), 2);
    // A lead byte in front of the NUL ends the walk there.
    EXPECT_EQ(GetCharByteRole("a\x81", 1, kCharSetShiftJis), 1);
    EXPECT_EQ(GetCharByteRole("a\x81", 2, kCharSetShiftJis), -1);

    const int32_t saved = GetCharSet();
    SetCharSet(kCharSetShiftJis);
    const char* path = "\x95\x5C\\x\xB0\\";
    EXPECT_EQ(FindCharInString("\x95\x5C", '\\'), nullptr);
    EXPECT_EQ(FindCharInString(path, '\\'), path + 2);
    EXPECT_EQ(FindCharInString("ab\x81", 'z'), nullptr);
    char upper[] = "ab\x82\x61z{`\xB0q\x81";
    UpperCaseString(upper);
    EXPECT_STREQ(upper, "AB\x82\x61Z{`\xB0Q\x81");

    SetCharSet(kCharSetKorean);
    EXPECT_EQ(FindCharInString(path + 4, '\\'), nullptr);
    char korean[] = "a\xB0qq";
    UpperCaseString(korean);
    EXPECT_STREQ(korean, "A\xB0qQ");
    SetCharSet(saved);
}

TEST(StringFunctionsTest, ComparisonsAndBoundedCopies) {
    EXPECT_EQ(CompareStrings("abc", "abd"), 1);
    EXPECT_EQ(CompareStrings("abd", "abc"), 1);
    EXPECT_EQ(CompareStrings("ab", "abc"), 1);
    EXPECT_EQ(CompareStrings("", ""), 0);
    EXPECT_EQ(CompareStringsN("ab\0x", "ab\0y", 3), 0);  // a NUL does not stop it
    EXPECT_EQ(CompareStringsN("ab\0x", "ab\0y", 4), 1);
    EXPECT_EQ(CompareStringsN("a", "b", 0), 0);
    EXPECT_EQ(CompareStringsN("a", "a", -1), 1);

    char dst[8];
    std::memset(dst, '#', sizeof(dst));
    CopyStringMax(dst, "abcdef", 3);
    EXPECT_STREQ(dst, "abc");
    EXPECT_EQ(dst[4], '#');
    CopyStringMax(dst, "abcdef", -4);
    EXPECT_STREQ(dst, "");
}

int FormatBounded(char* out, int outBytes, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = FormatStringArgsN(out, outBytes, format, args);
    va_end(args);
    return result;
}

TEST(StringFunctionsTest, BoundedFormattingTruncatesInsideTheBuffer) {
    char buffer[12] = "###########";
    EXPECT_EQ(FormatBounded(buffer, 8, "%s-%d", "abcdef", 42), 7);
    EXPECT_STREQ(buffer, "abcdef-");
    EXPECT_EQ(buffer[8], '#');
    EXPECT_EQ(FormatBounded(buffer, 0, "x"), -1);
}

TEST(StringFunctionsTest, MoveBytesMatchesMemmoveForEveryOverlap) {
    for (int shift = -6; shift <= 6; ++shift) {
        uint8_t actual[32];
        uint8_t expected[32];
        for (int i = 0; i < 32; ++i) actual[i] = expected[i] = static_cast<uint8_t>(i * 7 + 1);
        MoveBytes(actual + 10 + shift, actual + 10, 12);
        std::memmove(expected + 10 + shift, expected + 10, 12);
        EXPECT_EQ(std::memcmp(actual, expected, 32), 0) << shift;
    }
}

TEST(StringFunctionsTest, TruncationGoesTowardZeroWhateverTheRoundingMode) {
    const int saved = std::fegetround();
    for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD}) {
        std::fesetround(mode);
        const float floats[4] = {-1.7f, 1.7f, -0.5f, 2147483520.0f};
        const double doubles[4] = {-2147483648.9, 2147483647.9, 2147483648.0, NAN};
        int32_t f[4];
        int32_t d[4];
        TruncateFloat4ToInt4(floats, f);
        TruncateDouble4ToInt4(doubles, d);
        EXPECT_EQ(f[0], -1);
        EXPECT_EQ(f[1], 1);
        EXPECT_EQ(f[2], 0);
        EXPECT_EQ(f[3], 2147483520);
        // Beyond the range, and for NaN, the processor's indefinite value.
        EXPECT_EQ(d[0], INT32_MIN);
        EXPECT_EQ(d[1], INT32_MAX);
        EXPECT_EQ(d[2], INT32_MIN);
        EXPECT_EQ(d[3], INT32_MIN);
        EXPECT_EQ(std::fegetround(), mode);
    }
    std::fesetround(saved);
}

TEST(StringFunctionsTest, IntToStringAgreesWithToChars) {
    char out[40];
    IntToString(INT32_MIN, out, 10);
    EXPECT_STREQ(out, "-2147483648");
    EXPECT_EQ(IntToString(5, out, 1), nullptr);
    EXPECT_STREQ(out, "");
    std::mt19937 random(12345);
    for (int i = 0; i < 3000; ++i) {
        const int32_t value = i == 0 ? 0 : static_cast<int32_t>(random());
        const int radix = 2 + static_cast<int>(random() % 35);
        char expected[40];
        *std::to_chars(expected, expected + 39, value, radix).ptr = '\0';
        ASSERT_EQ(IntToString(value, out, radix), out);
        ASSERT_STREQ(out, expected) << value << " radix " << radix;
    }
}

using U128 = unsigned __int128;

U128 Join(const uint32_t* w, int count) {
    U128 v = 0;
    for (int i = count - 1; i >= 0; --i) v = (v << 32) | w[i];
    return v;
}

void Split(U128 v, uint32_t* w, int count) {
    for (int i = 0; i < count; ++i) w[i] = static_cast<uint32_t>(v >> (32 * i));
}

TEST(StringFunctionsTest, ArithmeticMatchesNative128BitResults) {
    std::mt19937_64 random(99);
    // Every bit length, so that carries and long shift runs both occur.
    auto wide = [&random] {
        const int bits = static_cast<int>(random() % 65);
        return bits == 0 ? uint64_t{0} : random() >> (64 - bits);
    };
    for (int i = 0; i < 20000; ++i) {
        const uint64_t a = i == 0 ? UINT64_MAX : wide();
        const uint64_t b = i == 0 ? UINT64_MAX : wide();
        uint32_t wa[2], wb[2], product[4], quotient[2];
        Split(a, wa, 2);
        Split(b, wb, 2);
        MultiplyU64ToU128(wa, wb, product);
        ASSERT_TRUE(Join(product, 4) == U128{a} * b) << a << " * " << b;

        // dividend = a * divisor + r with r < divisor: the quotient fits 64 bits.
        const uint64_t divisor = b == 0 ? 1 : b;
        uint32_t dividend[4], wdivisor[2];
        Split(U128{a} * divisor + random() % divisor, dividend, 4);
        Split(divisor, wdivisor, 2);
        ASSERT_EQ(DivideU128ByU64(dividend, wdivisor, quotient), 0);
        ASSERT_TRUE(Join(quotient, 2) == a) << a << " / " << divisor;
    }

    uint32_t allOnes[4] = {~0u, ~0u, ~0u, ~0u};
    uint32_t zero[2] = {0, 0};
    uint32_t quotient[2];
    EXPECT_EQ(DivideU128ByU64(allOnes, zero, quotient), -1);
    EXPECT_EQ(DivideU128ByU64(allOnes, allOnes, quotient), -1);  // 2^64 + 1 does not fit
    EXPECT_EQ(Join(quotient, 2), 0u);
}

}  // namespace
