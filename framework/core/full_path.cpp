// Resolution of relative paths against a base directory, walking double-byte characters
// whole so that a trail byte is never taken for a separator.
#include "core/full_path.h"

#include <cstring>

#include "core/string_functions.h"

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsLead(const char* p) {
    return IsLeadByte(static_cast<uint8_t>(*p), GetCharSet()) && p[1] != '\0';
}

// Appends to a fixed buffer, remembering when something did not fit.
struct PathBuilder {
    char* out;
    uint32_t capacity;
    uint32_t length;
    bool overflow;

    void Append(const char* text, uint32_t count) {
        if (overflow || count >= capacity - length) {
            overflow = true;
            return;
        }
        std::memcpy(out + length, text, count);
        length += count;
        out[length] = '\0';
    }
};

// The length of the text without its last component: back to the last separator (dropped) or
// colon (kept, so the drive is never removed), found by a forward walk over whole characters.
uint32_t ParentLength(const char* text, uint32_t length) {
    uint32_t cut = 0;
    for (uint32_t i = 0; i < length;) {
        if (IsLead(text + i)) {
            i += 2;
            continue;
        }
        if (IsSeparator(text[i])) cut = i;
        if (text[i] == ':') cut = i + 1;
        i++;
    }
    return cut;
}

// The base's length without one trailing separator (not a trail byte).
uint32_t BaseLengthWithoutSeparator(const char* base) {
    uint32_t length = static_cast<uint32_t>(std::strlen(base));
    if (length > 0 && IsSeparator(base[length - 1]) &&
        GetCharByteRole(base, static_cast<int32_t>(length - 1), GetCharSet()) == 0) {
        length--;
    }
    return length;
}

bool IsDriveStart(const char* path) {
    char c = path[0];
    return ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) && path[1] == ':';
}

// Whether the full form takes anything of the base: all but a UNC or drive start do.
bool NeedsBase(const char* path) {
    if (path == nullptr) return true;
    bool unc = IsSeparator(path[0]) && path[1] == path[0];
    return !unc && !IsDriveStart(path);
}

}  // namespace

int ResolveFullPath(const char* path, char* out, uint32_t outBytes, const char* base) {
    if (out == nullptr || outBytes == 0) return -1;
    PathBuilder builder{out, outBytes, 0, false};
    out[0] = '\0';
    if (base == nullptr && NeedsBase(path)) return -1;
    if (path == nullptr) {
        builder.Append(base, static_cast<uint32_t>(std::strlen(base)));
        return builder.overflow ? -1 : 0;
    }
    const char* p = path;
    if (IsSeparator(p[0]) && p[1] == p[0]) {
        // A UNC start: the first component brings the second separator.
        builder.Append("\\", 1);
        p += 2;
    } else if (IsSeparator(p[0])) {
        // The drive of the base.
        builder.Append(base, base[0] == '\0' ? 0 : base[1] == '\0' ? 1 : 2);
        p++;
    } else if (IsDriveStart(p)) {
        builder.Append(p, 2);
        p += 2;
        if (IsSeparator(*p)) p++;
    } else {
        builder.Append(base, BaseLengthWithoutSeparator(base));
    }

    while (*p != '\0') {
        const char* start = p;
        while (*p != '\0' && !IsSeparator(*p)) p += IsLead(p) ? 2 : 1;
        uint32_t length = static_cast<uint32_t>(p - start);
        if (*p == '\0') {
            // The last component is appended as it is, "." and ".." included.
            builder.Append("\\", 1);
            builder.Append(start, length);
            break;
        }
        p++;
        if (length == 0 || (length == 1 && start[0] == '.')) continue;
        if (length == 2 && start[0] == '.' && start[1] == '.') {
            builder.length = ParentLength(out, builder.length);
            out[builder.length] = '\0';
            continue;
        }
        builder.Append("\\", 1);
        builder.Append(start, length);
    }
    if (builder.overflow) {
        out[0] = '\0';
        return -1;
    }
    return 0;
}
