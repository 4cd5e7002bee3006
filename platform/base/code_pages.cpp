// Code-page conversion over iconv: MultiByteToWideChar and WideCharToMultiByte for the code
// pages the framework selects (932, 936, 949, 950, UTF-8), and CP932 <-> UTF-8 for the layer.
#include "code_pages.h"

#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/win32_kernel.h"

constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

static const char* IconvNameOfCodePage(UINT codePage) {
    if (codePage == CP_ACP) codePage = GetACP();
    if (codePage == CP_OEMCP) codePage = GetOEMCP();
    switch (codePage) {
        case 932:
            return "CP932";
        case 936:
            return "CP936";
        case 949:
            return "CP949";
        case 950:
            return "CP950";
        case CP_UTF8:
            return "UTF-8";
        default:
            return nullptr;
    }
}

// How a conversion treats input it cannot convert: skip the bytes `skip` gives and emit
// `replacement` (already in the target encoding), or fail when there is no replacement.
struct Substitution {
    const std::string* replacement = nullptr;
    size_t (*skip)(const char* at, size_t left) = nullptr;
    bool used = false;
};

static bool Convert(const char* from, const char* to, const char* in, size_t inBytes,
                    std::string* out, Substitution* substitution) {
    iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    out->clear();
    char buffer[256];
    bool ok = true;
    while (inBytes > 0) {
        char* outAt = buffer;
        size_t outLeft = sizeof(buffer);
        size_t result = iconv(converter, const_cast<char**>(&in), &inBytes, &outAt, &outLeft);
        out->append(buffer, static_cast<size_t>(outAt - buffer));
        if (result != static_cast<size_t>(-1) || errno == E2BIG) continue;
        if (substitution == nullptr) {
            ok = false;
            break;
        }
        size_t skipped = std::min(substitution->skip(in, inBytes), inBytes);
        in += skipped;
        inBytes -= skipped;
        out->append(*substitution->replacement);
        substitution->used = true;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(converter);
    return ok;
}

static size_t SkipOneByte(const char*, size_t) {
    return 1;
}

// A whole surrogate pair when one stands here, else one UTF-16 unit.
static size_t SkipOneUtf16Character(const char* at, size_t left) {
    char16_t first, second;
    if (left >= 4) {
        std::memcpy(&first, at, 2);
        std::memcpy(&second, at + 2, 2);
        if (first >= 0xD800 && first < 0xDC00 && second >= 0xDC00 && second < 0xE000) return 4;
    }
    return 2;
}

bool Cp932ToUtf8(std::string_view text, std::string* out) {
    return Convert("CP932", "UTF-8", text.data(), text.size(), out, nullptr);
}

bool Utf8ToCp932(std::string_view text, std::string* out) {
    return Convert("UTF-8", "CP932", text.data(), text.size(), out, nullptr);
}

// Copies a finished conversion out, or answers the size query (capacity 0).
template <class Char>
static int DeliverConversion(const std::string& converted, Char* out, int capacity) {
    size_t count = converted.size() / sizeof(Char);
    if (capacity == 0) return static_cast<int>(count);
    if (count > static_cast<size_t>(capacity)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, converted.data(), converted.size());
    return static_cast<int>(count);
}

// The UTF-16 units of one character, as bytes in the order iconv is asked for.
static std::string Utf16Bytes(char16_t unit) {
    return std::string(reinterpret_cast<const char*>(&unit), sizeof(unit));
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int textBytes, LPWSTR out,
                        int outChars) {
    const char* name = IconvNameOfCodePage(codePage);
    if (name == nullptr || text == nullptr || textBytes == 0 || textBytes < -1 || outChars < 0 ||
        (outChars > 0 && out == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t bytes = textBytes == -1 ? std::strlen(text) + 1 : static_cast<size_t>(textBytes);
    const std::string questionMark = Utf16Bytes(u'?');
    Substitution substitution{&questionMark, SkipOneByte};
    bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;
    std::string converted;
    if (!Convert(name, kUtf16, text, bytes, &converted, strict ? nullptr : &substitution)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    return DeliverConversion(converted, out, outChars);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int textChars, LPSTR out,
                        int outBytes, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
    const char* name = IconvNameOfCodePage(codePage);
    bool toUtf8 = name != nullptr && std::strcmp(name, "UTF-8") == 0;
    if (name == nullptr || text == nullptr || textChars == 0 || textChars < -1 || outBytes < 0 ||
        (outBytes > 0 && out == nullptr) ||
        (toUtf8 && (defaultChar != nullptr || usedDefaultChar != nullptr))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t chars = static_cast<size_t>(textChars);
    if (textChars == -1) chars = std::char_traits<char16_t>::length(text) + 1;
    // UTF-8 carries every character, so only broken surrogates are replaced (by U+FFFD).
    std::string replacement = toUtf8 ? "\xEF\xBF\xBD" : "?";
    if (defaultChar != nullptr) replacement.assign(defaultChar, strnlen(defaultChar, 2));
    Substitution substitution{&replacement, SkipOneUtf16Character};
    std::string converted;
    if (!Convert(kUtf16, name, reinterpret_cast<const char*>(text), chars * sizeof(char16_t),
                 &converted, &substitution)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (usedDefaultChar != nullptr) *usedDefaultChar = substitution.used ? TRUE : FALSE;
    return DeliverConversion(converted, out, outBytes);
}
