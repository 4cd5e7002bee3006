// Font handles with their glyph caches.
#pragma once

#include <cstdint>

#include "core/handle_registry.h"

// Given to every font creation.
struct FontCreateFlags {
    int32_t memoryCacheOnly;  // non-zero: no texture cache even with Direct3D
    int32_t cachedCharCount;  // 0: automatic
};

Handle MakeFontHandleWithFlags(FontCreateFlags flags, const char* face, int size, int thickness,
                               int type, int charsetIndex, int edgeSize, int italic, Handle reuse,
                               int async);
int DeleteFontHandle(Handle font);
// Stores where the font reports its loss and clears the flag there.
int BindFontLostFlag(Handle font, int* lostFlag);

int SetupFontManager();
int ShutdownFontManager();
// After a device re-creation: every font's glyph cache is made again.
int RebuildAllFontHandles();
