// CP932 text of the layer's callers to and from the UTF-8 of the host (titles, clipboard,
// typed text, dropped paths).
#include "text_conversion.h"

#include <platform/win32_kernel.h>

#include <vector>

static std::string Convert(UINT from, UINT to, const char* text) {
    if (text == nullptr || text[0] == '\0') return "";
    int chars = MultiByteToWideChar(from, 0, text, -1, nullptr, 0);
    if (chars <= 0) return "";
    std::vector<WCHAR> wide(static_cast<size_t>(chars));
    MultiByteToWideChar(from, 0, text, -1, wide.data(), chars);
    int bytes = WideCharToMultiByte(to, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return "";
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(to, 0, wide.data(), -1, out.data(), bytes, nullptr, nullptr);
    out.resize(static_cast<size_t>(bytes - 1));
    return out;
}

std::string ConvertCp932ToUtf8(const char* text) {
    return Convert(932, CP_UTF8, text);
}

std::string ConvertUtf8ToCp932(const char* text) {
    return Convert(CP_UTF8, 932, text);
}
