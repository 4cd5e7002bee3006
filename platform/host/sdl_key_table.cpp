// The table from SDL scancodes (key positions) to Windows virtual keys as a Japanese keyboard
// reports them: the keys left of Enter carry the JIS symbols' OEM codes.
#include "sdl_key_table.h"

#include "platform/win32_user.h"

namespace {

struct ScancodeKey {
    SDL_Scancode code;
    BYTE virtualKey;
    bool extended;
};

// Letters, digits, the function keys and the numeric pad's digits are ranges, not rows.
constexpr ScancodeKey kScancodeKeys[] = {
    {SDL_SCANCODE_0, '0', false},
    {SDL_SCANCODE_RETURN, VK_RETURN, false},
    {SDL_SCANCODE_ESCAPE, VK_ESCAPE, false},
    {SDL_SCANCODE_BACKSPACE, VK_BACK, false},
    {SDL_SCANCODE_TAB, VK_TAB, false},
    {SDL_SCANCODE_SPACE, VK_SPACE, false},
    {SDL_SCANCODE_MINUS, VK_OEM_MINUS, false},
    {SDL_SCANCODE_EQUALS, VK_OEM_7, false},        // ^
    {SDL_SCANCODE_LEFTBRACKET, VK_OEM_3, false},   // @
    {SDL_SCANCODE_RIGHTBRACKET, VK_OEM_4, false},  // [
    {SDL_SCANCODE_BACKSLASH, VK_OEM_6, false},     // ]
    {SDL_SCANCODE_NONUSHASH, VK_OEM_6, false},
    {SDL_SCANCODE_SEMICOLON, VK_OEM_PLUS, false},  // ;
    {SDL_SCANCODE_APOSTROPHE, VK_OEM_1, false},    // :
    {SDL_SCANCODE_COMMA, VK_OEM_COMMA, false},
    {SDL_SCANCODE_PERIOD, VK_OEM_PERIOD, false},
    {SDL_SCANCODE_SLASH, VK_OEM_2, false},
    {SDL_SCANCODE_NONUSBACKSLASH, VK_OEM_102, false},
    {SDL_SCANCODE_INTERNATIONAL1, VK_OEM_102, false},  // the backslash beside right Shift
    {SDL_SCANCODE_INTERNATIONAL3, VK_OEM_5, false},    // yen
    {SDL_SCANCODE_CAPSLOCK, VK_CAPITAL, false},
    {SDL_SCANCODE_SCROLLLOCK, VK_SCROLL, false},
    {SDL_SCANCODE_PAUSE, VK_PAUSE, false},
    {SDL_SCANCODE_NUMLOCKCLEAR, VK_NUMLOCK, false},
    {SDL_SCANCODE_KP_0, VK_NUMPAD0, false},
    {SDL_SCANCODE_KP_PERIOD, VK_DECIMAL, false},
    {SDL_SCANCODE_KP_MULTIPLY, VK_MULTIPLY, false},
    {SDL_SCANCODE_KP_MINUS, VK_SUBTRACT, false},
    {SDL_SCANCODE_KP_PLUS, VK_ADD, false},
    {SDL_SCANCODE_LSHIFT, VK_LSHIFT, false},
    {SDL_SCANCODE_RSHIFT, VK_RSHIFT, false},
    {SDL_SCANCODE_LCTRL, VK_LCONTROL, false},
    {SDL_SCANCODE_LALT, VK_LMENU, false},
    {SDL_SCANCODE_INSERT, VK_INSERT, true},
    {SDL_SCANCODE_DELETE, VK_DELETE, true},
    {SDL_SCANCODE_HOME, VK_HOME, true},
    {SDL_SCANCODE_END, VK_END, true},
    {SDL_SCANCODE_PAGEUP, VK_PRIOR, true},
    {SDL_SCANCODE_PAGEDOWN, VK_NEXT, true},
    {SDL_SCANCODE_LEFT, VK_LEFT, true},
    {SDL_SCANCODE_RIGHT, VK_RIGHT, true},
    {SDL_SCANCODE_UP, VK_UP, true},
    {SDL_SCANCODE_DOWN, VK_DOWN, true},
    {SDL_SCANCODE_KP_DIVIDE, VK_DIVIDE, true},
    {SDL_SCANCODE_KP_ENTER, VK_RETURN, true},
    {SDL_SCANCODE_RCTRL, VK_RCONTROL, true},
    {SDL_SCANCODE_RALT, VK_RMENU, true},
};

}  // namespace

BYTE VirtualKeyOfScancode(SDL_Scancode code, bool* extended) {
    *extended = false;
    if (code >= SDL_SCANCODE_A && code <= SDL_SCANCODE_Z)
        return static_cast<BYTE>('A' + code - SDL_SCANCODE_A);
    if (code >= SDL_SCANCODE_1 && code <= SDL_SCANCODE_9)
        return static_cast<BYTE>('1' + code - SDL_SCANCODE_1);
    if (code >= SDL_SCANCODE_F1 && code <= SDL_SCANCODE_F12)
        return static_cast<BYTE>(VK_F1 + code - SDL_SCANCODE_F1);
    if (code >= SDL_SCANCODE_KP_1 && code <= SDL_SCANCODE_KP_9)
        return static_cast<BYTE>(VK_NUMPAD0 + 1 + code - SDL_SCANCODE_KP_1);
    for (const ScancodeKey& key : kScancodeKeys) {
        if (key.code == code) {
            *extended = key.extended;
            return key.virtualKey;
        }
    }
    return 0;
}
