// The per-pixel loops of the blits and of the textured draws, entered once per source kind.
// Each entry instantiates its loops for every combination of its kind, which is most of the
// software renderer's compile time, so the entries are only declared here and each
// kind_loops_<kind>.cpp instantiates one kind's: the kinds compile side by side.
#pragma once

#include <cstddef>
#include <cstdint>

#include "softrender/blit_frame.h"
#include "softrender/mapped_pixels.h"

struct TriangleSetup;

// The rotated blit's clipped box and the source position of its first pixel with its steps;
// the walk wraps as 32-bit values do.
struct RotatedWalk {
    uint8_t* dest;
    ptrdiff_t destPitch;
    int64_t cols;
    int64_t rows;
    uint32_t u, v;
    uint32_t du, dv;
    uint32_t duRow, dvRow;
};

// One scaled draw, clipped.
struct ScaledJob {
    BlitSetup setup;
    int width;   // visible target pixels per row
    int height;  // visible target rows
    uint8_t* dst;
    ptrdiff_t dstPitch;
    const uint8_t* src;  // the first sample of the first visible row
    ptrdiff_t srcStep;   // +-pixel size: mirroring walks the source backwards
    ptrdiff_t srcRowStep;
    const uint8_t* mask;
    ptrdiff_t maskStep;
    ptrdiff_t maskRowStep;
    int32_t colStep;  // target pixels per source pixel, 16.16
    int32_t rowStep;
    int32_t firstColAcc;
    int32_t firstRowAcc;
};

// Each entry is called for a setup of its kind K.

// The textured triangle's rows (mapped_loops.h).
template <SrcKind K>
void DrawTexturedTriangleOfKind(const TriangleSetup& t, const MappedSource& src,
                                const BlitSetup& setup);

// The rotated blit's box (mapped_loops.h).
template <SrcKind K>
void DrawRotatedBoxOfKind(const RotatedWalk& w, const MappedSource& src, const BlitSetup& setup);

// The scaled blit (scaled_loops.h).
template <SrcKind K>
void RunScaledJobOfKind(const ScaledJob& j);

// The unscaled blit that tests its pixels (unscaled_loops.h).
template <SrcKind K>
void RunPlainJobOfKind(const BlitJob& j);

// The unscaled blit that walks the run-length stream in [stream, streamEnd) (unscaled_loops.h).
// Runs that would pass the end of their row are cut there, and the walk stops at streamEnd.
template <SrcKind K>
void RunRunLengthJobOfKind(const BlitJob& j, const uint8_t* stream, const uint8_t* streamEnd);
