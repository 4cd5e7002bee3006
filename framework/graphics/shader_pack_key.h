// The key string of the shader pack's two archives. It is computed when needed, so that it
// never stands in the program as text; the pack's generator scrambles with the same string.
#pragma once

#include <cstdint>

constexpr int kShaderPackKeyLength = 12;

inline void BuildShaderPackKey(char key[kShaderPackKeyLength + 1]) {
    uint32_t state = 0x6D2B79F5u;
    for (int i = 0; i < kShaderPackKeyLength; i++) {
        state = state * 1664525u + 1013904223u;
        key[i] = static_cast<char>('!' + (state >> 24) % 94);  // printable, never 0
    }
    key[kShaderPackKeyLength] = '\0';
}
