// The memory-image draw state and the processor flag that the software blits and rasteriser
// read, set for one benchmark and put back when it ends, so that the framework's benchmarks
// that run after it find them as they were.
#pragma once

#include <platform/win32.h>

#include <cstdint>

class MemImgDrawSettings {
public:
    // The tables set up, a draw area of width x height, bright off, the blend mode and
    // parameter, and the packed-byte loops selected as start-up selects them.
    MemImgDrawSettings(int width, int height, int mode, int param);
    ~MemImgDrawSettings();
    MemImgDrawSettings(const MemImgDrawSettings&) = delete;
    MemImgDrawSettings& operator=(const MemImgDrawSettings&) = delete;

private:
    RECT drawArea_;
    int32_t blendMode_, blendParam_;
    uint32_t bright_;
    int32_t mmxUsable_;
};
