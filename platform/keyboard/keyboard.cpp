// The layer's one keyboard: the table of keys with their virtual keys and key codes, at the
// positions of a Japanese keyboard (the OEM keys carry the JIS symbols' codes: ^ 0x90, @ 0x91,
// : 0x92, yen 0x7D), and what the host reports held.
#include "keyboard.h"

#include <algorithm>
#include <iterator>
#include <mutex>

#include "platform/win32_user.h"

namespace {

struct KeyRow {
    BYTE virtualKey;
    BYTE scanCode;
};

// Return comes before the numeric pad's Enter, which shares its virtual key.
constexpr KeyRow kKeys[] = {
    {'A', 0x1E},
    {'B', 0x30},
    {'C', 0x2E},
    {'D', 0x20},
    {'E', 0x12},
    {'F', 0x21},
    {'G', 0x22},
    {'H', 0x23},
    {'I', 0x17},
    {'J', 0x24},
    {'K', 0x25},
    {'L', 0x26},
    {'M', 0x32},
    {'N', 0x31},
    {'O', 0x18},
    {'P', 0x19},
    {'Q', 0x10},
    {'R', 0x13},
    {'S', 0x1F},
    {'T', 0x14},
    {'U', 0x16},
    {'V', 0x2F},
    {'W', 0x11},
    {'X', 0x2D},
    {'Y', 0x15},
    {'Z', 0x2C},
    {'1', 0x02},
    {'2', 0x03},
    {'3', 0x04},
    {'4', 0x05},
    {'5', 0x06},
    {'6', 0x07},
    {'7', 0x08},
    {'8', 0x09},
    {'9', 0x0A},
    {'0', 0x0B},
    {VK_ESCAPE, 0x01},
    {VK_OEM_MINUS, 0x0C},
    {VK_OEM_7, 0x90},
    {VK_BACK, 0x0E},
    {VK_TAB, 0x0F},
    {VK_OEM_3, 0x91},
    {VK_OEM_4, 0x1A},
    {VK_RETURN, 0x1C},
    {VK_RETURN, 0x9C},
    {VK_LCONTROL, 0x1D},
    {VK_OEM_PLUS, 0x27},
    {VK_OEM_1, 0x92},
    {VK_OEM_6, 0x1B},
    {VK_LSHIFT, 0x2A},
    {VK_OEM_102, 0x2B},
    {VK_OEM_COMMA, 0x33},
    {VK_OEM_PERIOD, 0x34},
    {VK_OEM_2, 0x35},
    {VK_RSHIFT, 0x36},
    {VK_MULTIPLY, 0x37},
    {VK_LMENU, 0x38},
    {VK_SPACE, 0x39},
    {VK_CAPITAL, 0x3A},
    {VK_F1, 0x3B},
    {VK_F1 + 1, 0x3C},
    {VK_F1 + 2, 0x3D},
    {VK_F1 + 3, 0x3E},
    {VK_F1 + 4, 0x3F},
    {VK_F1 + 5, 0x40},
    {VK_F1 + 6, 0x41},
    {VK_F1 + 7, 0x42},
    {VK_F1 + 8, 0x43},
    {VK_F1 + 9, 0x44},
    {VK_NUMLOCK, 0x45},
    {VK_SCROLL, 0x46},
    {VK_NUMPAD0 + 7, 0x47},
    {VK_NUMPAD0 + 8, 0x48},
    {VK_NUMPAD0 + 9, 0x49},
    {VK_SUBTRACT, 0x4A},
    {VK_NUMPAD0 + 4, 0x4B},
    {VK_NUMPAD0 + 5, 0x4C},
    {VK_NUMPAD0 + 6, 0x4D},
    {VK_ADD, 0x4E},
    {VK_NUMPAD0 + 1, 0x4F},
    {VK_NUMPAD0 + 2, 0x50},
    {VK_NUMPAD0 + 3, 0x51},
    {VK_NUMPAD0, 0x52},
    {VK_DECIMAL, 0x53},
    {VK_F1 + 10, 0x57},
    {VK_F1 + 11, 0x58},
    {VK_OEM_5, 0x7D},
    {VK_RCONTROL, 0x9D},
    {VK_DIVIDE, 0xB5},
    {VK_RMENU, 0xB8},
    {VK_PAUSE, 0xC5},
    {VK_HOME, 0xC7},
    {VK_UP, 0xC8},
    {VK_PRIOR, 0xC9},
    {VK_LEFT, 0xCB},
    {VK_RIGHT, 0xCD},
    {VK_END, 0xCF},
    {VK_DOWN, 0xD0},
    {VK_NEXT, 0xD1},
    {VK_INSERT, 0xD2},
    {VK_DELETE, 0xD3},
};

struct KeyboardState {
    std::mutex lock;
    BYTE virtualKeys[256] = {};  // bit 7 held, bit 0 toggled on each press
    bool scanCodes[256] = {};    // held, by scan code
};

KeyboardState gKeyboard;

}  // namespace

BYTE VirtualKeyOfScanCode(BYTE scanCode) {
    for (const KeyRow& key : kKeys) {
        if (key.scanCode == scanCode) return key.virtualKey;
    }
    return 0;
}

BYTE ScanCodeOfVirtualKey(BYTE virtualKey) {
    for (const KeyRow& key : kKeys) {
        if (key.virtualKey == virtualKey) return key.scanCode;
    }
    return 0;
}

BYTE UpdateKeyTable(BYTE* table, BYTE key, bool down) {
    auto set = [table](BYTE k, bool pressed) {
        if (pressed) {
            if ((table[k] & 0x80) == 0) table[k] ^= 0x01;  // the toggle flips on each press
            table[k] |= 0x80;
        } else {
            table[k] &= 0x7F;
        }
    };
    set(key, down);
    auto fold = [&](BYTE generic, BYTE left, BYTE right) {
        set(generic, (table[left] & 0x80) != 0 || (table[right] & 0x80) != 0);
        return generic;
    };
    switch (key) {
        case VK_LSHIFT:
        case VK_RSHIFT:
            return fold(VK_SHIFT, VK_LSHIFT, VK_RSHIFT);
        case VK_LCONTROL:
        case VK_RCONTROL:
            return fold(VK_CONTROL, VK_LCONTROL, VK_RCONTROL);
        case VK_LMENU:
        case VK_RMENU:
            return fold(VK_MENU, VK_LMENU, VK_RMENU);
        default:
            return key;
    }
}

BYTE RecordHostKey(BYTE virtualKey, BYTE scanCode, bool down) {
    std::lock_guard<std::mutex> guard(gKeyboard.lock);
    if (scanCode != 0) gKeyboard.scanCodes[scanCode] = down;
    return UpdateKeyTable(gKeyboard.virtualKeys, virtualKey, down);
}

bool IsHostKeyHeld(BYTE virtualKey) {
    std::lock_guard<std::mutex> guard(gKeyboard.lock);
    return (gKeyboard.virtualKeys[virtualKey] & 0x80) != 0;
}

void ReadHeldScanCodes(BYTE keys[256]) {
    std::lock_guard<std::mutex> guard(gKeyboard.lock);
    for (int code = 0; code < 256; ++code) keys[code] = gKeyboard.scanCodes[code] ? 0x80 : 0;
}

void ResetHostKeys() {
    std::lock_guard<std::mutex> guard(gKeyboard.lock);
    std::fill(std::begin(gKeyboard.virtualKeys), std::end(gKeyboard.virtualKeys), 0);
    std::fill(std::begin(gKeyboard.scanCodes), std::end(gKeyboard.scanCodes), false);
}
