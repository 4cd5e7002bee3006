// Arithmetic on the ints and floats a program passes, which may lie anywhere in their ranges:
// conversions that saturate instead of overflowing, and the band that drawing positions and
// sizes are held in before sums and differences of them are formed.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

// Far outside any screen or graph (the image byte limit keeps a graph's side below 2^27), yet
// close enough to 0 that sums and differences of a few positions and sizes stay inside an int
// and convert to float and back without leaving it.
constexpr int32_t kFarPosition = 1 << 28;

// v saturated to the int32 range.
constexpr int32_t SaturateToInt32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// A position or size held in [-kFarPosition, kFarPosition]: the same drawing for any value
// that can reach a screen or a graph.
constexpr int32_t ClampToFar(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, -kFarPosition, kFarPosition));
}
constexpr int32_t ClampToFar(int32_t v) {
    return ClampToFar(int64_t{v});
}

// A float position held in the same band; infinities go to its ends and NaN stays NaN, for the
// caller to refuse.
inline float ClampToFar(float v) {
    constexpr float kFar = static_cast<float>(kFarPosition);
    return std::isnan(v) ? v : std::clamp(v, -kFar, kFar);
}
inline double ClampToFar(double v) {
    constexpr double kFar = static_cast<double>(kFarPosition);
    return std::isnan(v) ? v : std::clamp(v, -kFar, kFar);
}

// v truncated toward zero and saturated to the int32 range; NaN gives 0.
inline int32_t SaturateDoubleToInt32(double v) {
    if (std::isnan(v)) return 0;
    if (v <= -2147483648.0) return INT32_MIN;
    if (v >= 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(v);
}
