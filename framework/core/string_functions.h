// Double-byte-aware string helpers, memory fill/copy/compare, float wrappers, integer
// formatting and the 128-bit arithmetic of the microsecond clock. The framework uses these
// in place of the C runtime's string functions.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// Character sets; any other value (0, 5 and above) follows the Shift-JIS lead-byte rule.
constexpr int32_t kCharSetShiftJis = 1;
constexpr int32_t kCharSetKorean = 2;
constexpr int32_t kCharSetBig5 = 3;
constexpr int32_t kCharSetGb = 4;

void SetCharSet(int32_t charSet);
int32_t GetCharSet();
void SetCodePage(int32_t codePage);
int32_t GetCodePage();

// 1 when b starts a double-byte character of charSet, else 0.
int IsLeadByte(uint8_t b, int32_t charSet);
// 0 single-byte character, 1 lead byte, 2 trail byte, -1 at or past the end of s.
int GetCharByteRole(const char* s, int32_t pos, int32_t charSet);

void CopyString(char* dst, const char* src);
// Copies at most maxBytes bytes and always terminates: dst needs maxBytes + 1 bytes.
void CopyStringMax(char* dst, const char* src, int32_t maxBytes);
void AppendString(char* dst, const char* src);
uint32_t GetStringLength(const char* s);
// The first single-byte character equal to c under the current character set, or null.
const char* FindCharInString(const char* s, char c);
inline char* FindCharInString(char* s, char c) {
    return const_cast<char*>(FindCharInString(static_cast<const char*>(s), c));
}
// String comparisons answer 0 for equal and 1 for different, never an order.
int CompareStrings(const char* a, const char* b);
// Compares n bytes (a NUL does not stop it); n = 0 gives 0, a negative n gives 1.
int CompareStringsN(const void* a, const void* b, int32_t n);
void UpperCaseString(char* s);

// Unbounded formatting: the caller sizes out. Returns the count written.
int FormatStringArgs(char* out, const char* format, va_list args)
    __attribute__((format(printf, 2, 0)));
int FormatString(char* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Bounded formatting for fixed buffers: truncates to outBytes - 1 bytes and terminates.
// Returns the bytes stored (without the NUL), or -1 when outBytes < 1 or the format fails.
int FormatStringArgsN(char* out, int outBytes, const char* format, va_list args)
    __attribute__((format(printf, 3, 0)));

void FillBytes(void* dst, uint8_t value, size_t count);
void FillDwords(uint32_t* dst, uint32_t value, size_t count);
// 0 when the count bytes are equal (or count is 0), else 1.
int CompareBytes(const void* a, const void* b, size_t count);
// Forward copy; the regions must not overlap.
void CopyBytes(void* dst, const void* src, size_t count);
// Overlap-safe copy.
void MoveBytes(void* dst, const void* src, size_t count);

void ComputeSinCos(float angle, float* sinOut, float* cosOut);
float ComputePow(float x, float y);
float ComputeAtan2(float y, float x);
float ComputeExp(float x);
float ComputeSqrt(float x);
int32_t ComputeAbsInt(int32_t v);
float ComputeAbsFloat(float v);

// Round toward zero whatever the rounding mode; NaN and values outside the i32 range give
// INT32_MIN, as the processor's own conversion does.
int32_t TruncateFloatToInt(float v);
int32_t TruncateDoubleToInt(double v);
void TruncateFloat4ToInt4(const float in[4], int32_t out[4]);
void TruncateDouble4ToInt4(const double in[4], int32_t out[4]);

// Writes value in radix 2..36 (digits past 9 as 'a', 'b', ...) and returns out; another radix
// leaves out empty and returns null.
char* IntToString(int32_t value, char* out, int32_t radix);

// 128-bit values are four little-endian 32-bit words, 64-bit values two.
void MultiplyU64ToU128(const uint32_t a[2], const uint32_t b[2], uint32_t out[4]);
// The quotient rounded down. Returns 0, or -1 with a zero quotient when the divisor is 0 or
// the quotient does not fit 64 bits.
int DivideU128ByU64(const uint32_t dividend[4], const uint32_t divisor[2], uint32_t quotient[2]);
