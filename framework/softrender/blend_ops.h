// Per-pixel arithmetic of the software renderer's blend modes on RGB565 and 32-bit pixels,
// shared by the blits and the rasteriser. Every function is exact integer arithmetic; the
// packed-word recipes keep their documented low-bit effects, which callers rely on.
#pragma once

#include <cstdint>

// RGB565: red in bits 15-11, green in 10-5, blue in 4-0.
constexpr uint32_t Red565(uint32_t c) {
    return c >> 11 & 31;
}
constexpr uint32_t Green565(uint32_t c) {
    return c >> 5 & 63;
}
constexpr uint32_t Blue565(uint32_t c) {
    return c & 31;
}
constexpr uint32_t Pack565(uint32_t r, uint32_t g, uint32_t b) {
    return r << 11 | g << 5 | b;
}

// 32-bit pixels are bytes blue, green, red, fourth byte; channel k is byte k.
constexpr uint32_t ByteOf(uint32_t word, int k) {
    return word >> (8 * k) & 0xFF;
}
constexpr uint32_t PackBgr(uint32_t b, uint32_t g, uint32_t r) {
    return b | g << 8 | r << 16;
}

// d + floor((x - d) * w / 2^Shift) for w < 2^Shift; never negative, so a plain shift floors.
template <int Shift>
constexpr uint32_t LerpChannel(uint32_t d, uint32_t x, uint32_t w) {
    return static_cast<uint32_t>(
        ((static_cast<int64_t>(d) << Shift) + (static_cast<int64_t>(x) - d) * w) >> Shift);
}

// d + p * (x - d) / 255 rounded toward zero, through a signed product row centred on 0.
inline uint32_t TableBlendChannel(uint32_t d, uint32_t x, const int32_t* signedRowCentre) {
    return d + signedRowCentre[static_cast<int>(x) - static_cast<int>(d)];
}

// Saturating add of two RGB565 colours on the whole word. Green and red add without their
// lowest bits; that bit receives the carry of the field below, OR-ed with both operands' bits.
constexpr uint32_t PackedAdd565(uint32_t d, uint32_t x) {
    uint32_t sum = (d & 0xF7DEF7DF) + (x & 0xF7DEF7DF);
    uint32_t carry = sum & 0x08210820;
    uint32_t sat = carry - (carry >> 5);
    return (sat | ((d | x) & 0x0820) | sum) & 0xFFFF;
}

// The same add without the operands' lowest green and red bits.
constexpr uint32_t PackedAdd565Fast(uint32_t d, uint32_t x) {
    uint32_t sum = (d & 0xF7DEF7DF) + (x & 0xF7DEF7DF);
    uint32_t carry = sum & 0x08210820;
    return ((carry - (carry >> 5)) | sum) & 0xFFFF;
}

// Saturating subtract of x from d; green loses its lowest bit, red's lowest bit records that
// green did not borrow.
constexpr uint32_t PackedSub565(uint32_t d, uint32_t x) {
    uint32_t diff = (d | 0x08210820) - (x & 0xF7DEF7DF);
    uint32_t borrow = diff & 0x08210820;
    return ((borrow - (borrow >> 5)) & diff) & 0xFFFF;
}

// Two RGB565 pixels as one word (left pixel low): the fast add. The carry out of the left red
// lands in the right pixel's lowest blue bit; the carry out of bit 31 saturates the right red.
constexpr uint32_t PairAdd565Fast(uint32_t y, uint32_t x) {
    uint64_t wide = static_cast<uint64_t>(y & 0xF7DEF7DF) + (x & 0xF7DEF7DF);
    uint32_t sum = static_cast<uint32_t>(wide);
    uint32_t carryOut = static_cast<uint32_t>(wide >> 32);
    uint32_t carry = sum & 0x08210820;
    return (carry - ((carry >> 5) | carryOut << 27)) | sum;
}

// Two RGB565 pixels as one word: the subtract, with the borrow out of bit 31 clearing the
// right red.
constexpr uint32_t PairSub565(uint32_t y, uint32_t x) {
    uint32_t minuend = y | 0x08210820;
    uint32_t subtrahend = x & 0xF7DEF7DF;
    uint32_t diff = minuend - subtrahend;
    uint32_t borrow = diff & 0x08210820;
    uint32_t sat = (borrow - (borrow >> 5)) | (minuend < subtrahend ? 0 : 0xF8000000);
    return diff & sat;
}

// floor(s/2) + floor(d/2) per field, each field's lowest bit dropped; works on one pixel or on
// two pixels held in one word.
constexpr uint32_t HalfMix565(uint32_t s, uint32_t d) {
    return ((s >> 1) & 0x7BEF7BEF) + ((d >> 1) & 0x7BEF7BEF);
}

// Saturating add of the channels of a to d. Form B merges both operands' lowest green and red
// bits; form A (Fast) does not. Byte 3 becomes the carry out of red.
constexpr uint32_t PackedAdd32(uint32_t d, uint32_t a) {
    uint32_t sum = (d & 0x00FEFEFF) + (a & 0x00FEFEFF);
    uint32_t carry = sum & 0x01010100;
    return (carry - (carry >> 8)) | ((d | a) & 0x00010100) | sum;
}

constexpr uint32_t PackedAdd32Fast(uint32_t d, uint32_t a) {
    uint32_t sum = (d & 0x00FEFEFF) + (a & 0x00FEFEFF);
    uint32_t carry = sum & 0x01010100;
    return (carry - (carry >> 8)) | sum;
}

// Saturating subtract of the channels of a from d; byte 3 becomes 0.
constexpr uint32_t PackedSub32(uint32_t d, uint32_t a) {
    uint32_t diff = (d | 0x01010100) - (a & 0xFEFEFEFF);
    uint32_t keep = diff & 0x01010100;
    return diff & (keep - (keep >> 8));
}

// floor(s/2) + floor(d/2) per channel, byte 3 becomes 0.
constexpr uint32_t HalfMix32(uint32_t s, uint32_t d) {
    return ((s >> 1) & 0x007F7F7F) + ((d >> 1) & 0x007F7F7F);
}

// Multiply blend of RGB565 fields, scaled by a weight w at 2^Shift (w = 1, Shift = 0 for none).
template <int Shift>
constexpr uint32_t Multiply565(uint32_t s, uint32_t d, uint32_t w) {
    return Pack565(Red565(s) * Red565(d) * w >> (5 + Shift),
                   Green565(s) * Green565(d) * w >> (6 + Shift),
                   Blue565(s) * Blue565(d) * w >> (5 + Shift));
}

// Green of the multiply-translucent blend toward the product colour, keeping five more
// fraction bits of the product than the field holds (weights a * p at 2^16).
constexpr uint32_t MultiplyTranslucentGreen565(uint32_t sG, uint32_t dG, uint32_t ap) {
    int64_t v = (static_cast<int64_t>(dG) << 21) +
                (static_cast<int64_t>(sG * dG / 2) - 32 * static_cast<int64_t>(dG)) * ap;
    return static_cast<uint32_t>(v >> 21);
}
