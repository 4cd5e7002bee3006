// Host joystick names (UTF-8) as CP932 text for joystick capabilities and device instances.
#include "joystick_names.h"

#include "../base/code_pages.h"

void CopyJoystickName(const std::string& utf8, char* out, size_t capacity) {
    if (capacity == 0) return;
    std::string name;
    for (size_t at = 0; at < utf8.size();) {
        unsigned char lead = static_cast<unsigned char>(utf8[at]);
        size_t length = lead < 0x80    ? 1
                        : lead >= 0xF0 ? 4
                        : lead >= 0xE0 ? 3
                        : lead >= 0xC0 ? 2
                                       : 1;
        std::string piece;
        if (Utf8ToCp932(std::string_view(utf8).substr(at, length), &piece)) {
            if (name.size() + piece.size() >= capacity) break;
            name += piece;
        }
        at += length;
    }
    name.copy(out, name.size());
    out[name.size()] = '\0';
}
