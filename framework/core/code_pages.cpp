// Code-page conversion of whole NUL-terminated texts through the platform's converters.
#include "core/code_pages.h"

#include <platform/win32.h>

int ConvertWideToMultiByte(uint32_t codePage, const char16_t* text, char* out, int32_t outBytes) {
    return WideCharToMultiByte(codePage, 0, text, -1, out, outBytes, nullptr, nullptr);
}

int ConvertMultiByteToWide(uint32_t codePage, const char* text, char16_t* out, int32_t outChars) {
    return MultiByteToWideChar(codePage, 0, text, -1, out, outChars);
}
