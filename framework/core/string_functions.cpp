// String helpers that know the East Asian double-byte character sets, so that a trail byte
// is never taken for a separator or a letter; plus memory, float, integer-text and 128-bit
// helpers with the exact contracts the rest of the framework relies on.
#include "core/string_functions.h"

#include <cmath>
#include <cstdio>
#include <cstring>

struct CharSetState {
    int32_t charSet;
    int32_t codePage;
};

static CharSetState gCharSet;

void SetCharSet(int32_t charSet) {
    gCharSet.charSet = charSet;
}
int32_t GetCharSet() {
    return gCharSet.charSet;
}
void SetCodePage(int32_t codePage) {
    gCharSet.codePage = codePage;
}
int32_t GetCodePage() {
    return gCharSet.codePage;
}

int IsLeadByte(uint8_t b, int32_t charSet) {
    if (charSet == kCharSetKorean || charSet == kCharSetBig5 || charSet == kCharSetGb) {
        return b >= 0x80 ? 1 : 0;
    }
    return ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) ? 1 : 0;
}

// Bytes taken by the character at s: 2 over a lead byte, except that a lead byte directly in
// front of the NUL is taken alone so that a walk stops at the NUL.
static int CharLength(const char* s, int32_t charSet) {
    if (IsLeadByte(static_cast<uint8_t>(s[0]), charSet) && s[1] != '\0') return 2;
    return 1;
}

int GetCharByteRole(const char* s, int32_t pos, int32_t charSet) {
    if (pos < 0) return -1;
    int32_t i = 0;
    while (s[i] != '\0') {
        if (!IsLeadByte(static_cast<uint8_t>(s[i]), charSet)) {
            if (pos == i) return 0;
            ++i;
            continue;
        }
        if (pos == i) return 1;
        if (s[i + 1] == '\0') break;  // a lead byte in front of the NUL ends the walk there
        if (pos == i + 1) return 2;
        i += 2;
    }
    return -1;
}

void CopyString(char* dst, const char* src) {
    while ((*dst++ = *src++) != '\0') {
    }
}

void CopyStringMax(char* dst, const char* src, int32_t maxBytes) {
    int32_t i = 0;
    for (; i < maxBytes && src[i] != '\0'; ++i) dst[i] = src[i];
    dst[i] = '\0';
}

void AppendString(char* dst, const char* src) {
    CopyString(dst + GetStringLength(dst), src);
}

uint32_t GetStringLength(const char* s) {
    uint32_t length = 0;
    while (s[length] != '\0') ++length;
    return length;
}

const char* FindCharInString(const char* s, char c) {
    const int32_t charSet = gCharSet.charSet;
    while (*s != '\0') {
        const int length = CharLength(s, charSet);
        if (length == 1 && *s == c) return s;
        s += length;
    }
    return nullptr;
}

int CompareStrings(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (*a != *b) return 1;
        if (*a == '\0') return 0;
    }
}

int CompareStringsN(const void* a, const void* b, int32_t n) {
    if (n < 0) return 1;
    return CompareBytes(a, b, static_cast<size_t>(n));
}

void UpperCaseString(char* s) {
    const int32_t charSet = gCharSet.charSet;
    while (*s != '\0') {
        const int length = CharLength(s, charSet);
        if (length == 1 && *s >= 'a' && *s <= 'z') *s = static_cast<char>(*s - 'a' + 'A');
        s += length;
    }
}

int FormatStringArgs(char* out, const char* format, va_list args) {
    return vsprintf(out, format, args);
}

int FormatString(char* out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatStringArgs(out, format, args);
    va_end(args);
    return 0;
}

int FormatStringArgsN(char* out, int outBytes, const char* format, va_list args) {
    if (outBytes < 1) return -1;
    const int needed = vsnprintf(out, static_cast<size_t>(outBytes), format, args);
    if (needed < 0) {
        out[0] = '\0';
        return -1;
    }
    return needed < outBytes ? needed : outBytes - 1;
}

void FillBytes(void* dst, uint8_t value, size_t count) {
    if (count != 0) std::memset(dst, value, count);
}

void FillDwords(uint32_t* dst, uint32_t value, size_t count) {
    for (size_t i = 0; i < count; ++i) dst[i] = value;
}

int CompareBytes(const void* a, const void* b, size_t count) {
    return count != 0 && std::memcmp(a, b, count) != 0 ? 1 : 0;
}

void CopyBytes(void* dst, const void* src, size_t count) {
    if (count != 0) std::memcpy(dst, src, count);
}

void MoveBytes(void* dst, const void* src, size_t count) {
    if (count != 0) std::memmove(dst, src, count);
}

void ComputeSinCos(float angle, float* sinOut, float* cosOut) {
    double s;
    double c;
    sincos(static_cast<double>(angle), &s, &c);
    *sinOut = static_cast<float>(s);
    *cosOut = static_cast<float>(c);
}

float ComputePow(float x, float y) {
    return static_cast<float>(std::pow(double{x}, double{y}));
}
float ComputeAtan2(float y, float x) {
    return static_cast<float>(std::atan2(double{y}, double{x}));
}
float ComputeExp(float x) {
    return static_cast<float>(std::exp(double{x}));
}
float ComputeSqrt(float x) {
    return static_cast<float>(std::sqrt(double{x}));
}

int32_t ComputeAbsInt(int32_t v) {
    // Through unsigned, so INT32_MIN stays INT32_MIN as on the processor instead of overflowing.
    return v < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(v)) : v;
}

float ComputeAbsFloat(float v) {
    return v < 0.0f ? -v : v;
}

int32_t TruncateDoubleToInt(double v) {
    // The comparison is false for NaN as well.
    if (!(v > -2147483649.0 && v < 2147483648.0)) return INT32_MIN;
    return static_cast<int32_t>(v);
}

int32_t TruncateFloatToInt(float v) {
    return TruncateDoubleToInt(double{v});
}

void TruncateFloat4ToInt4(const float in[4], int32_t out[4]) {
    for (int i = 0; i < 4; ++i) out[i] = TruncateFloatToInt(in[i]);
}

void TruncateDouble4ToInt4(const double in[4], int32_t out[4]) {
    for (int i = 0; i < 4; ++i) out[i] = TruncateDoubleToInt(in[i]);
}

char* IntToString(int32_t value, char* out, int32_t radix) {
    out[0] = '\0';
    if (radix < 2 || radix > 36) return nullptr;
    // The magnitude is unsigned so that INT32_MIN has one too.
    uint32_t magnitude = static_cast<uint32_t>(value);
    if (value < 0) magnitude = 0u - magnitude;
    char digits[32];
    int count = 0;
    do {
        const uint32_t digit = magnitude % static_cast<uint32_t>(radix);
        digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
        magnitude /= static_cast<uint32_t>(radix);
    } while (magnitude != 0);
    char* p = out;
    if (value < 0) *p++ = '-';
    while (count > 0) *p++ = digits[--count];
    *p = '\0';
    return out;
}

void MultiplyU64ToU128(const uint32_t a[2], const uint32_t b[2], uint32_t out[4]) {
    // Schoolbook multiplication over 32-bit words with 64-bit partial products.
    uint32_t result[4] = {0, 0, 0, 0};
    for (int i = 0; i < 2; ++i) {
        uint64_t carry = 0;
        for (int j = 0; j < 2; ++j) {
            const uint64_t t = uint64_t{a[i]} * b[j] + result[i + j] + carry;
            result[i + j] = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
        result[i + 2] = static_cast<uint32_t>(carry);
    }
    for (int i = 0; i < 4; ++i) out[i] = result[i];
}

int DivideU128ByU64(const uint32_t dividend[4], const uint32_t divisor[2], uint32_t quotient[2]) {
    using U128 = unsigned __int128;
    U128 remainder = 0;
    for (int i = 3; i >= 0; --i) remainder = (remainder << 32) | dividend[i];
    U128 d = (U128{divisor[1]} << 32) | divisor[0];
    quotient[0] = 0;
    quotient[1] = 0;
    if (d == 0) return -1;

    // Shift and subtract: double the divisor until it exceeds the remainder (or its top bit
    // is reached), then take every doubled divisor that still fits, largest first.
    const U128 topBit = U128{1} << 127;
    int shift = 0;
    while (d <= remainder && (d & topBit) == 0) {
        d <<= 1;
        ++shift;
    }
    U128 q = 0;
    for (; shift >= 0; --shift, d >>= 1) {
        if (remainder >= d) {
            remainder -= d;
            q |= U128{1} << shift;
        }
    }
    if ((q >> 64) != 0) return -1;
    quotient[0] = static_cast<uint32_t>(q);
    quotient[1] = static_cast<uint32_t>(q >> 32);
    return 0;
}
