// Memory images: creation, derivation and release of views over shared pixel stores, their
// clearing, copying and filling from decoded images, and the draw state and tables that the
// software renderer reads.
#include "softrender/mem_img.h"

#include <array>
#include <cstring>

#include "core/tracked_memory.h"
#include "image/pixel_convert.h"
#include "softrender/run_length_stream.h"

MemImgDrawState gMemImgDraw;

namespace {

constexpr int kPaletteBytes = 2048;

std::array<ColorFormat, 10> BuildMemImgFormats() {
    std::array<ColorFormat, 10> formats{};
    const uint32_t rgb[2][3] = {{0xF800, 0x07E0, 0x001F}, {0xFF0000, 0xFF00, 0xFF}};
    const uint32_t alphaMasks[2] = {0x00FF0000, 0xFF000000};
    const int plainBits[2] = {16, 32};
    for (int type = 0; type < 2; ++type) {
        for (int alpha = 0; alpha < 2; ++alpha) {
            for (int palette = 0; palette < 2; ++palette) {
                int bits = palette ? 8 : (alpha ? 32 : plainBits[type]);
                SetColorFormatFromMasks(&formats[type * 4 + alpha * 2 + palette], bits,
                                        rgb[type][0], rgb[type][1], rgb[type][2],
                                        alpha ? alphaMasks[type] : 0, 0, 0, 0);
            }
        }
    }
    SetColorFormatFromMasks(&formats[8], 8, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0);
    SetColorFormatFromMasks(&formats[9], 16, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0);
    return formats;
}

int BytesPerPixel(int colorType, int paletteFlag, int alphaFlag) {
    if (paletteFlag) return 1;
    switch (colorType) {
        case kMemImgRgb565:
            return alphaFlag ? 4 : 2;
        case kMemImgSingle8:
            return 1;
        case kMemImgSingle16:
            return 2;
        default:
            return 4;
    }
}

void FreeBodyMemory(MemImgBody* body) {
    if (!body->callerBufferFlag) FreeMemory(body->pixelMemory);
    FreeMemory(body->alphaPlaneMemory);
    FreeMemory(body->runLengthMemory);
    FreeMemory(body->palette);
    FreeMemory(body);
}

bool RectInside(const RECT& r, int width, int height) {
    return r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom &&
           r.right <= width && r.bottom <= height;
}

uint16_t Rgb565Of(const PaletteEntry& e) {
    return static_cast<uint16_t>(((e.red >> 3) << 11) | ((e.green >> 2) << 5) | (e.blue >> 3));
}

}  // namespace

int SetupMemImgTables() {
    MemImgDrawState& s = gMemImgDraw;
    for (int r = 0; r < 256; ++r) {
        for (int c = 0; c < 511; ++c) s.signedProductTable[r][c] = r * (c - 255) / 255;
        s.signedProductTable[r][511] = 0;
        for (int b = 0; b < 256; ++b) s.productTable[r][b] = static_cast<uint32_t>(r * b / 255);
    }
    for (int k = 0; k < 64; ++k) {
        for (int i = 0; i < 64; ++i) {
            for (int j = 0; j < 64; ++j)
                s.lerp6Table[k][i][j] = static_cast<uint8_t>((i * k + j * (63 - k)) / 63);
        }
    }
    return 0;
}

int SetMemImgDefaultColorType(int type) {
    gMemImgDraw.defaultColorType = type;
    return 0;
}

int SetMemImgDrawArea(const RECT* area) {
    gMemImgDraw.drawArea = *area;
    return 0;
}

int SetMemImgBlendMode(int mode, int param) {
    gMemImgDraw.blendMode = mode;
    gMemImgDraw.blendParam = param;
    return 0;
}

int SetMemImgBright(uint32_t bright) {
    gMemImgDraw.bright = bright;
    return 0;
}

void SetBlendGraphThresholds(int p0, int p1) {
    int n = p1 + 1 > 0 ? p1 + 1 : 1;
    int offset = 256 - ((65536 / n + 256) * p0) / 256;
    for (int i = 0; i < 256; ++i) {
        int v = i * 256 / n + offset;
        gMemImgDraw.blendGraphThresholds[i] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
}

void SetBlendGraphWeights(int scale) {
    for (int i = 0; i < 256; ++i) {
        gMemImgDraw.blendGraphThresholds[i] = static_cast<uint8_t>(i * scale / 255);
    }
}

const ColorFormat* GetMemImgColorFormat(int type, int alpha, int palette) {
    static const std::array<ColorFormat, 10> formats = BuildMemImgFormats();
    if (type < 0 || type > 3) return nullptr;
    if (type >= 2) return &formats[6 + type];
    return &formats[type * 4 + (alpha ? 2 : 0) + (palette ? 1 : 0)];
}

int CreateMemImg(MEMIMG* img, int width, int height, int pitch, uint32_t transparentColor,
                 int colorType, int paletteFlag, int alphaFlag, int extraBuffers,
                 void* callerPixels) {
    if (img->magic == kMemImgMagic) return -1;
    if (colorType < 0 || colorType > 3 || width < 0 || height < 0 || pitch < -1) return -1;
    if (paletteFlag) alphaFlag = 0;
    if (colorType >= kMemImgSingle8) paletteFlag = alphaFlag = 0;
    paletteFlag = paletteFlag ? 1 : 0;
    alphaFlag = alphaFlag ? 1 : 0;

    int bytes = BytesPerPixel(colorType, paletteFlag, alphaFlag);
    int64_t rowBytes = int64_t{bytes} * width;
    int64_t stored = pitch == -1 ? (rowBytes + 15) / 16 * 16 : pitch;
    if (stored < rowBytes || stored * height > 0x7FFFFFFF) return -1;

    auto* body = static_cast<MemImgBody*>(AllocClearedMemory(sizeof(MemImgBody), "", 0));
    if (body == nullptr) return -1;
    body->refCount = 1;
    body->width = width;
    body->height = height;
    body->pitch = static_cast<int32_t>(stored);
    body->transparentColor = transparentColor;
    body->colorType = colorType;
    body->paletteFlag = paletteFlag;
    body->alphaFlag = alphaFlag;

    int64_t power = 1;
    int64_t wanted = pitch == -1 ? rowBytes : pitch;
    int log2 = 0;
    while (power < wanted) {
        power *= 2;
        ++log2;
    }
    body->pitchLog2 = power == stored ? log2 : -1;
    body->format = GetMemImgColorFormat(colorType, alphaFlag, paletteFlag);

    // A failure frees whatever this call took, so no half-made body is left behind.
    bool ok = true;
    if (paletteFlag) {
        body->palette = static_cast<uint8_t*>(AllocClearedMemory(kPaletteBytes, "", 0));
        body->paletteHigh = body->palette != nullptr ? body->palette + 1024 : nullptr;
        ok = body->palette != nullptr;
    }
    uint32_t imageBytes = static_cast<uint32_t>(stored * height);
    if (ok && callerPixels != nullptr) {
        body->pixelMemory = static_cast<uint8_t*>(callerPixels);
        body->callerBufferFlag = 1;
    } else if (ok) {
        body->pixelMemory = static_cast<uint8_t*>(AllocMemory(imageBytes, "", 0));
        ok = body->pixelMemory != nullptr;
    }
    if (ok && extraBuffers) {
        if (alphaFlag) {
            body->alphaPlaneMemory = static_cast<uint8_t*>(AllocMemory(imageBytes, "", 0));
            ok = body->alphaPlaneMemory != nullptr;
        }
        if (ok && colorType != kMemImgSingle8) {
            body->runLengthMemory = static_cast<uint8_t*>(
                AllocMemory(static_cast<uint32_t>((int64_t{width} + 5) * height), "", 0));
            ok = body->runLengthMemory != nullptr;
        }
    }
    if (!ok) {
        FreeBodyMemory(body);
        img->body = nullptr;
        return -1;
    }
    img->magic = kMemImgMagic;
    img->width = width;
    img->height = height;
    img->pixels = body->pixelMemory;
    img->alphaPlane = body->alphaPlaneMemory;
    img->body = body;
    return 0;
}

int CreateMemImgDefault(MEMIMG* img, int width, int height, int colorType) {
    std::memset(img, 0, sizeof(*img));
    if (colorType == -1) colorType = gMemImgDraw.defaultColorType;
    return CreateMemImg(img, width, height, -1, 0, colorType, 0, 0, 0, nullptr);
}

void DeriveMemImg(MEMIMG* out, const MEMIMG* parent, int x, int y, int width, int height) {
    if (!IsMemImgValid(parent)) return;
    if (x < 0 || y < 0 || width < 0 || height < 0 || int64_t{x} + width > parent->width ||
        int64_t{y} + height > parent->height) {
        return;
    }
    MemImgBody* body = parent->body;
    intptr_t offset = static_cast<intptr_t>(y) * body->pitch +
                      static_cast<intptr_t>(x) * body->format->pixelBytes;
    out->magic = kMemImgMagic;
    out->width = width;
    out->height = height;
    out->pixels = parent->pixels + offset;
    out->alphaPlane = body->alphaPlaneMemory != nullptr ? parent->alphaPlane + offset : nullptr;
    out->body = body;
    ++body->refCount;
}

int IsMemImgValid(const MEMIMG* img) {
    return img->magic == kMemImgMagic && img->body != nullptr ? 1 : 0;
}

void ReleaseMemImg(MEMIMG* img) {
    if (IsMemImgValid(img) && --img->body->refCount == 0) FreeBodyMemory(img->body);
    img->body = nullptr;
    img->magic = 0;
}

void ClearMemImgRect(MEMIMG* img, const RECT* rect, uint32_t value) {
    if (!IsMemImgValid(img)) return;
    RECT r = rect != nullptr ? *rect : RECT{0, 0, img->width, img->height};
    // Clamped into the image as ClipRectInto clamps.
    auto clamp = [](LONG v, LONG low, LONG high) { return v < low ? low : (v > high ? high : v); };
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    r.bottom = clamp(r.bottom, 0, img->height);
    r.top = clamp(r.top, 0, img->height);
    r.right = clamp(r.right, 0, img->width);
    r.left = clamp(r.left, 0, img->width);
    // New pixels outdate the stream.
    if (r.left < r.right && r.top < r.bottom) img->body->runLengthFlag = 0;
    int bytes = img->body->format->pixelBytes;
    for (LONG y = r.top; y < r.bottom; ++y) {
        uint8_t* p = img->pixels + static_cast<intptr_t>(y) * img->body->pitch +
                     static_cast<intptr_t>(r.left) * bytes;
        for (LONG x = r.left; x < r.right; ++x, p += bytes) StorePixelValue(p, bytes, value);
    }
}

int CopyMemImgRect(MEMIMG* dest, const MEMIMG* src, const RECT* rect, int destX, int destY) {
    RECT r = rect != nullptr ? *rect : RECT{0, 0, src->width, src->height};
    if (!RectInside(r, src->width, src->height) ||
        !RectInside({destX, destY, destX + r.right - r.left, destY + r.bottom - r.top}, dest->width,
                    dest->height)) {
        return -1;
    }
    dest->body->runLengthFlag = 0;  // new pixels outdate the stream
    return ConvertPixelRect({.destPixels = dest->pixels,
                             .destPitch = dest->body->pitch,
                             .destFormat = dest->body->format,
                             .srcPixels = src->pixels,
                             .srcPitch = src->body->pitch,
                             .srcFormat = src->body->format,
                             .destX = destX,
                             .destY = destY,
                             .srcRect = &r});
}

int TransferImageToMemImg(const GraphImage* image, const GraphImage* alphaImage, MEMIMG* dest,
                          int srcLeft, int srcTop, int width, int height, int destX, int destY,
                          int ditherMode) {
    if (!IsMemImgValid(dest) || image->format.dxtKind != 0) return -1;
    RECT r = {srcLeft, srcTop, srcLeft + width, srcTop + height};
    if (!RectInside(r, image->width, image->height) ||
        !RectInside({destX, destY, destX + width, destY + height}, dest->width, dest->height)) {
        return -1;
    }
    MemImgBody* body = dest->body;
    bool withAlpha = alphaImage != nullptr && body->colorType <= kMemImgXrgb8888;
    if (withAlpha && !RectInside(r, alphaImage->width, alphaImage->height)) return -1;
    // A single-channel image holds one value per pixel, the source's red: what a blend image
    // carries (every channel of its format is the whole pixel, so no colour may reach it).
    const int singleChannel = body->colorType >= kMemImgSingle8 ? 1 : 0;
    int result = ConvertPixelRect({.destPixels = dest->pixels,
                                   .destPitch = body->pitch,
                                   .destFormat = body->format,
                                   .srcPixels = image->pixels,
                                   .srcPitch = image->pitch,
                                   .srcFormat = &image->format,
                                   .alphaPixels = withAlpha ? alphaImage->pixels : nullptr,
                                   .alphaPitch = withAlpha ? alphaImage->pitch : 0,
                                   .alphaFormat = withAlpha ? &alphaImage->format : nullptr,
                                   .destX = destX,
                                   .destY = destY,
                                   .srcRect = &r,
                                   .ditherMode = ditherMode,
                                   .alphaOnly = singleChannel,
                                   .alphaFromRed = singleChannel});
    if (result < 0) return result;
    if (body->colorType <= kMemImgXrgb8888 && body->paletteFlag) {
        body->paletteCount = result + 1;
        for (int i = 0; i < 256; ++i) {
            const PaletteEntry& e = image->format.palette[i];
            if (body->colorType == kMemImgXrgb8888) {
                uint32_t word = (uint32_t{e.red} << 16) | (e.green << 8) | e.blue;
                std::memcpy(body->palette + i * 4, &word, 4);
            } else {
                uint16_t half = Rgb565Of(e);
                std::memcpy(body->palette + i * 2, &half, 2);
            }
        }
        std::memcpy(body->paletteHigh, body->palette, 1024);
    }
    // No premultiplied plane is kept: nothing draws from one.
    body->premultipliedFlag = 0;
    body->runLengthFlag = 0;
    // The stream describes the whole body (the blit walks it only for an image that is its
    // body), so only a transfer of every pixel of the body rebuilds it.
    if (body->runLengthMemory != nullptr && body->colorType <= kMemImgXrgb8888 &&
        width == body->width && height == body->height) {
        WriteRunLengthStream(body);
        body->runLengthFlag = 1;
    }
    return 0;
}
