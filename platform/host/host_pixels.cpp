#include "host_pixels.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// A field of `bits` bits scaled to 0..255, rounded.
template <int bits>
constexpr std::array<uint8_t, (1 << bits)> ScaledField() {
    constexpr uint32_t max = (1u << bits) - 1;
    std::array<uint8_t, (1 << bits)> table{};
    for (uint32_t v = 0; v <= max; ++v) table[v] = static_cast<uint8_t>((v * 255 + max / 2) / max);
    return table;
}

constexpr auto kFive = ScaledField<5>();
constexpr auto kSix = ScaledField<6>();

}  // namespace

int HostPixelBytes(HostPixelFormat format) {
    return format == HostPixelFormat::Xrgb8888 ? 4 : 2;
}

HostImageClip ClipHostImage(const HostImage& image, int x, int y, int surfaceWidth,
                            int surfaceHeight) {
    HostImageClip clip;
    if (image.pixels == nullptr || image.width <= 0 || image.height <= 0) return clip;
    const int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
    const int64_t right = std::min<int64_t>(int64_t{x} + image.width, surfaceWidth);
    const int64_t bottom = std::min<int64_t>(int64_t{y} + image.height, surfaceHeight);
    if (left >= right || top >= bottom) return clip;
    clip.x = static_cast<int>(left);
    clip.y = static_cast<int>(top);
    clip.width = static_cast<int>(right - left);
    clip.height = static_cast<int>(bottom - top);
    clip.first = static_cast<const uint8_t*>(image.pixels) + (top - y) * image.pitchBytes +
                 (left - x) * HostPixelBytes(image.format);
    return clip;
}

void ConvertRowToXrgb(HostPixelFormat format, const void* in, int count, uint32_t* out) {
    const auto* bytes = static_cast<const uint8_t*>(in);
    switch (format) {
        case HostPixelFormat::Xrgb8888:
            for (int x = 0; x < count; ++x) {
                uint32_t v;
                std::memcpy(&v, bytes + 4 * x, 4);
                out[x] = v & 0xFFFFFF;
            }
            break;
        case HostPixelFormat::Rgb565:
            for (int x = 0; x < count; ++x) {
                uint32_t v = bytes[2 * x] | (bytes[2 * x + 1] << 8);
                out[x] = (uint32_t{kFive[v >> 11]} << 16) | (uint32_t{kSix[(v >> 5) & 63]} << 8) |
                         kFive[v & 31];
            }
            break;
        case HostPixelFormat::Xrgb1555:
            for (int x = 0; x < count; ++x) {
                uint32_t v = bytes[2 * x] | (bytes[2 * x + 1] << 8);
                out[x] = (uint32_t{kFive[(v >> 10) & 31]} << 16) |
                         (uint32_t{kFive[(v >> 5) & 31]} << 8) | kFive[v & 31];
            }
            break;
    }
}
