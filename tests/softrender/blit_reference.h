// A plain model of the software blits for the tests: every pixel computed channel by channel
// from the documented formulas, the tables evaluated from their definitions, the packed
// recipes from their per-channel descriptions, and the scaled samples from their closed form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct RefImage {
    int width = 0;
    int height = 0;
    int colorType = 0;              // 0 RGB565, 1 32-bit
    bool palette = false;           // one-byte indices into `entries`
    bool alpha = false;             // every pixel carries its alpha
    uint32_t key = 0;               // transparent colour, or transparent index
    std::vector<uint32_t> pixels;   // row-major: index, RGB565 (with alpha in bits 16-23), word
    std::vector<uint32_t> entries;  // 256 palette entries: RGB565 or 32-bit words
    std::vector<uint8_t> stream;    // a valid run-length stream, or empty

    uint32_t& At(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

struct RefMask {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bytes;
    uint8_t At(int x, int y) const { return bytes[static_cast<size_t>(y) * width + x]; }
};

struct RefState {
    uint32_t mode = 0;
    int32_t param = 0;
    uint32_t bright = 0xFFFFFF;
    int32_t area[4] = {0, 0, 0, 0};  // left, top, right, bottom
    uint8_t weights[256] = {};
    bool packedBytes = false;  // the packed-byte loops are selected
};

void RefBlitUnscaled(RefImage* dst, const RefImage& src, int32_t x, int32_t y, int32_t trans,
                     const RefMask* mask, const RefState& st);
void RefBlitScaled(RefImage* dst, const RefImage& src, const int32_t rect[4], int32_t trans,
                   const RefMask* mask, const RefState& st);

// The documented recipes on single values, for direct checks.
uint32_t RefAdd565(uint32_t d, uint32_t x, bool lowBits);
uint32_t RefSub565(uint32_t d, uint32_t x);
uint32_t RefPairAdd565(uint32_t y, uint32_t x);
uint32_t RefPairSub565(uint32_t y, uint32_t x);
uint32_t RefAdd32(uint32_t d, uint32_t a, bool lowBits);
uint32_t RefSub32(uint32_t d, uint32_t a);
