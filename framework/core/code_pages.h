// Conversion between UTF-16 and a code page's multi-byte text.
#pragma once

#include <cstdint>

// Both convert the whole NUL-terminated text and return the units written, NUL included
// (0 on failure).
int ConvertWideToMultiByte(uint32_t codePage, const char16_t* text, char* out, int32_t outBytes);
int ConvertMultiByteToWide(uint32_t codePage, const char* text, char16_t* out, int32_t outChars);
