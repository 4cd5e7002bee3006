// The writer of run-length streams: each row scanned from the left, a run started at every
// pixel not yet covered and extended while the class stays the same, up to 64 pixels.
#include "softrender/run_length_stream.h"

#include <cstring>

namespace {

template <class T>
T LoadPixel(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

// classOf(row, x) gives the control kind of pixel x of a row; one instantiation per pixel
// layout, so no pixel asks which layout it has.
template <class ClassOf>
size_t WriteRows(const MemImgBody& b, ClassOf classOf) {
    uint8_t* out = b.runLengthMemory;
    for (int y = 0; y < b.height; ++y) {
        const uint8_t* row = b.pixelMemory + static_cast<ptrdiff_t>(y) * b.pitch;
        int x = 0;
        while (x < b.width) {
            const uint8_t kind = classOf(row, x);
            int n = 1;
            while (x + n < b.width && n < kRunMaxLength && classOf(row, x + n) == kind) ++n;
            *out++ = static_cast<uint8_t>(kind | (n - 1));
            x += n;
        }
        *out++ = kRunEndOfRow;
    }
    return static_cast<size_t>(out - b.runLengthMemory);
}

uint8_t KindOfAlpha(uint32_t alpha) {
    if (alpha == 0) return kRunTransparent;
    return alpha == 255 ? kRunOpaque : kRunTranslucent;
}

}  // namespace

size_t WriteRunLengthStream(MemImgBody* body) {
    const uint32_t key = body->transparentColor;
    auto keyed = [key](uint32_t raw) { return raw == key ? kRunTransparent : kRunOpaque; };
    if (body->paletteFlag) {
        return WriteRows(*body, [&](const uint8_t* row, int x) { return keyed(row[x]); });
    }
    if (body->alphaFlag) {
        // Alpha sits in bits 16-23 of a 16-bit image's 4-byte pixel, in the top byte otherwise.
        const int shift = body->colorType == kMemImgRgb565 ? 16 : 24;
        return WriteRows(*body, [&](const uint8_t* row, int x) {
            return KindOfAlpha(LoadPixel<uint32_t>(row + x * 4) >> shift & 0xFF);
        });
    }
    if (body->colorType == kMemImgRgb565) {
        return WriteRows(*body, [&](const uint8_t* row, int x) {
            return keyed(LoadPixel<uint16_t>(row + x * 2));
        });
    }
    return WriteRows(
        *body, [&](const uint8_t* row, int x) { return keyed(LoadPixel<uint32_t>(row + x * 4)); });
}
