// The loops of the scaled blit: per target row a column walk of 16.16 accumulators, and the
// row walk over them. Included by the kind_loops_<kind>.cpp files only.
#pragma once

#include <cstdint>
#include <cstring>

#include "softrender/kind_loops.h"

// After each target pixel the accumulator loses 65536; at 0 or below the source advances at
// least once, then on while the accumulator stays at or below 0 (general walk) or below 0
// (strict walk, taken by the whole-sample copies and subtractions). Rows step the same way.
template <class C>
constexpr bool UsesStrictWalk() {
    return (C::op == 0 || C::op == kOpRawSub) && !C::mask && !C::bright && !HasAlpha(C::kind);
}

// One target row: the column walk from the row's first sample.
template <class C>
void RunScaledRow(const ScaledJob& j, const uint8_t* sp, const uint8_t* mp, uint8_t* dp) {
    constexpr SrcKind K = C::kind;
    constexpr bool strict = UsesStrictWalk<C>();
    const BlendContext& c = j.setup.ctx;
    int32_t acc = j.firstColAcc;
    // The transparency test is made once per source pixel reached.
    Sample s = Fetch<K>(sp, c);
    PixelClass cls = Classify<C>(s, c.key);
    uint32_t m = 0;
    if constexpr (C::mask) m = c.weights[*mp];
    for (int x = 0;;) {
        if (cls != PixelClass::Skip) StoreDst<K>(dp, BlendPixel<C>(LoadDst<K>(dp), s, m, cls, c));
        if (++x == j.width) break;
        dp += DstBytes(K);
        acc -= 65536;
        if (acc <= 0) {
            do {
                sp += j.srcStep;
                if constexpr (C::mask) mp += j.maskStep;
                acc += j.colStep;
            } while (strict ? acc < 0 : acc <= 0);
            s = Fetch<K>(sp, c);
            cls = Classify<C>(s, c.key);
            if constexpr (C::mask) m = c.weights[*mp];
        }
    }
}

template <class C>
void RunScaledLoop(const ScaledJob& j) {
    constexpr SrcKind K = C::kind;
    constexpr bool strict = UsesStrictWalk<C>();
    // A copy does not depend on the destination, so a row that samples the same source row
    // as the one above it is that row again.
    constexpr bool copy = C::op == 0 && !C::mask && !C::bright && !C::trans && !HasAlpha(K);
    const uint8_t* srcRow = j.src;
    const uint8_t* maskRow = j.mask;
    uint8_t* dstRow = j.dst;
    int32_t rowAcc = j.firstRowAcc;
    bool sameSourceRow = false;
    for (int y = 0;;) {
        if (copy && sameSourceRow) {
            std::memcpy(dstRow, dstRow - j.dstPitch, static_cast<size_t>(j.width) * DstBytes(K));
        } else {
            RunScaledRow<C>(j, srcRow, maskRow, dstRow);
        }
        if (++y == j.height) break;
        dstRow += j.dstPitch;
        rowAcc -= 65536;
        sameSourceRow = rowAcc > 0;
        if (!sameSourceRow) {
            do {
                srcRow += j.srcRowStep;
                if constexpr (C::mask) maskRow += j.maskRowStep;
                rowAcc += j.rowStep;
            } while (strict ? rowAcc < 0 : rowAcc <= 0);
        }
    }
}

template <SrcKind K>
void RunScaledJobOfKind(const ScaledJob& j) {
    const BlitSetup& s = j.setup;
    if (s.op == kOpRawSub) {
        if constexpr (!HasAlpha(K)) {
            WithFlag(s.trans, [&](auto trans) {
                WithFlag(s.simd && IsWide(K), [&](auto simd) {
                    RunScaledLoop<Combo<K, kOpRawSub, false, false, TagValue<decltype(trans)>,
                                        BlitPath::Scaled, TagValue<decltype(simd)>>>(j);
                });
            });
        }
        return;
    }
    WithCombo<BlitPath::Scaled, K>(s, [&](auto combo) { RunScaledLoop<decltype(combo)>(j); });
}
