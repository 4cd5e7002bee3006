// Whole-image conversions: a copy of an image with its DXT blocks expanded, Windows DIBs
// turned into decoded images (directly, or drawn into a 24-bit DIB section) and back, and
// the YUV converters that turn movie samples into 32-bit frames.
#include "image/image_convert.h"

#include <cstring>
#include <utility>

#include "core/log.h"
#include "core/tracked_memory.h"
#include "image/pixel_convert.h"

namespace {

uint32_t RoundUpTo4(uint64_t bytes) {
    return static_cast<uint32_t>((bytes + 3) & ~uint64_t{3});
}

// Luma and the two centred chroma bytes into one pixel of blue, green, red, 255.
void StoreYuvPixel(uint8_t* out, int y, int u, int v) {
    auto clamp = [](int x) -> uint8_t {
        if (x < 0) return 0;
        if (x > 0x7F8000) return 255;
        return static_cast<uint8_t>(x >> 15);
    };
    u -= 128;
    v -= 128;
    out[0] = clamp(y * 32768 + u * 58064);
    out[1] = clamp(y * 32768 - u * 11272 - v * 23396);
    out[2] = clamp(y * 32768 + v * 45940);
    out[3] = 255;
}

bool CanTakeFrame(const GraphImage* dest, int width, int height, int xStep, int yStep) {
    return dest != nullptr && dest->pixels != nullptr && dest->format.pixelBytes == 4 &&
           width > 0 && height > 0 && width % xStep == 0 && height % yStep == 0 &&
           width <= dest->width && height <= dest->height;
}

uint8_t* FrameRow(GraphImage* dest, int y) {
    return static_cast<uint8_t*>(dest->pixels) + static_cast<intptr_t>(y) * dest->pitch;
}

// Planar luma with chroma from uvAt(x, y) -> {u, v}.
template <typename UvAt>
int ConvertPlanar(const uint8_t* luma, int width, int height, GraphImage* dest, UvAt uvAt) {
    for (int y = 0; y < height; ++y) {
        uint8_t* out = FrameRow(dest, y);
        for (int x = 0; x < width; ++x) {
            auto [u, v] = uvAt(x, y);
            StoreYuvPixel(out + 4 * x, luma[static_cast<intptr_t>(y) * width + x], u, v);
        }
    }
    return 0;
}

// Packed 4-byte groups of two pixels; the offsets name the bytes of Y0, Y1, U and V.
int ConvertPacked(const uint8_t* src, int width, int height, GraphImage* dest, int y0, int y1,
                  int u, int v) {
    if (!CanTakeFrame(dest, width, height, 2, 1)) return -1;
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = src + static_cast<intptr_t>(y) * width * 2;
        uint8_t* out = FrameRow(dest, y);
        for (int x = 0; x < width; x += 2, in += 4, out += 8) {
            StoreYuvPixel(out, in[y0], in[u], in[v]);
            StoreYuvPixel(out + 4, in[y1], in[u], in[v]);
        }
    }
    return 0;
}

}  // namespace

int ExpandGraphImageCopy(const GraphImage* source, GraphImage* out) {
    int bytes = ComputeGraphImageDataBytes(source);
    if (bytes <= 0) return -1;
    void* copy = AllocMemory(static_cast<uint32_t>(bytes), "", 0);
    if (copy == nullptr) return -1;
    std::memcpy(copy, source->pixels, static_cast<size_t>(bytes));
    *out = *source;
    out->pixels = copy;
    if (ExpandCompressedGraphImage(out) == 0) return 0;
    FreeGraphImage(out);
    return -1;
}

int ConvertDIBToRGB24Image(const BITMAPINFO* bitmapInfo, const void* bits, GraphImage* image) {
    const BITMAPINFOHEADER& h = bitmapInfo->bmiHeader;
    int64_t rows = h.biHeight < 0 ? -int64_t{h.biHeight} : h.biHeight;
    if (h.biWidth <= 0 || rows == 0 || uint64_t{4} * h.biWidth * rows > GetGraphImageByteLimit()) {
        return -1;
    }
    int width = h.biWidth, height = static_cast<int>(rows);
    BITMAPINFO section{};
    section.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    section.bmiHeader.biWidth = width;
    section.bmiHeader.biHeight = -height;
    section.bmiHeader.biPlanes = 1;
    section.bmiHeader.biBitCount = 24;
    section.bmiHeader.biCompression = BI_RGB;
    HDC dc = CreateCompatibleDC(nullptr);
    void* sectionBits = nullptr;
    HBITMAP bitmap = dc != nullptr
                         ? CreateDIBSection(dc, &section, DIB_RGB_COLORS, &sectionBits, nullptr, 0)
                         : nullptr;
    if (bitmap == nullptr) {
        if (dc != nullptr) DeleteDC(dc);
        return AppendLogText("ＤＩＢの作成に失敗しました3\n");
    }
    HGDIOBJ previous = SelectObject(dc, bitmap);
    // A DIB that GDI cannot draw (an unknown compression, say) gives no image.
    bool drawn = SetDIBitsToDevice(dc, 0, 0, width, height, 0, 0, 0, height, bits, bitmapInfo,
                                   DIB_RGB_COLORS) != 0;
    uint32_t pitch = RoundUpTo4(uint64_t{3} * width);
    void* pixels = drawn ? AllocMemory(pitch * static_cast<uint32_t>(height), "", 0) : nullptr;
    if (pixels != nullptr) std::memcpy(pixels, sectionBits, static_cast<size_t>(pitch) * height);
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    if (!drawn) return -1;
    if (pixels == nullptr) {
        return AppendLogText(
            "２４ビットカラー化したグラフィックを格納するメモリ領域の確保に失敗しました\n");
    }
    SetColorFormatRGB24(&image->format);
    image->width = width;
    image->height = height;
    image->pitch = static_cast<int32_t>(pitch);
    image->pixels = pixels;
    return 1;
}

int MakeGraphImageFromDIB(const BITMAPINFO* bitmapInfo, const void* bits, GraphImage* image,
                          int copyFlag) {
    std::memset(image, 0, sizeof(*image));
    const BITMAPINFOHEADER& h = bitmapInfo->bmiHeader;
    int64_t height = h.biHeight < 0 ? -int64_t{h.biHeight} : h.biHeight;
    // Whatever the depth, the pixels must fit in 4 bytes each.
    if (h.biWidth <= 0 || height == 0 ||
        uint64_t{4} * h.biWidth * height > GetGraphImageByteLimit()) {
        return -1;
    }
    image->width = h.biWidth;
    image->height = static_cast<int32_t>(height);

    int bitCount = h.biBitCount;
    bool direct = h.biHeight < 0 && (bitCount == 16 || bitCount == 24 || bitCount == 32) &&
                  (h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS);
    if (!direct) return ConvertDIBToRGB24Image(bitmapInfo, bits, image);

    ColorFormat& f = image->format;
    f.pixelBytes = static_cast<uint8_t>(bitCount / 8);
    f.bitsPerPixel = static_cast<uint8_t>(bitCount);
    if (h.biCompression == BI_RGB) {
        if (bitCount == 32) return -1;
        if (bitCount == 16) {
            f.redMask = 0x7C00;
            f.greenMask = 0x3E0;
            f.blueMask = 0x1F;
        } else {
            f.redMask = 0xFF0000;
            f.greenMask = 0xFF00;
            f.blueMask = 0xFF;
        }
    } else {
        // The masks follow a 40-byte header and lie at the same place inside larger ones.
        uint32_t masks[3];
        std::memcpy(masks, reinterpret_cast<const uint8_t*>(bitmapInfo) + 40, sizeof(masks));
        f.redMask = masks[0];
        f.greenMask = masks[1];
        f.blueMask = masks[2];
    }
    MeasureColorMask(f.redMask, &f.redWidth, &f.redShift);
    MeasureColorMask(f.greenMask, &f.greenWidth, &f.greenShift);
    MeasureColorMask(f.blueMask, &f.blueWidth, &f.blueShift);
    UpdateColorFormatSpareMask(&f);
    uint32_t pitch = RoundUpTo4(uint64_t{f.pixelBytes} * image->width);
    image->pitch = static_cast<int32_t>(pitch);
    if (copyFlag != 1) {
        image->pixels = const_cast<void*>(bits);
        return copyFlag;
    }
    uint64_t bytes = uint64_t{pitch} * image->height;
    void* pixels = bytes <= 0x7FFFFFFF ? AllocMemory(static_cast<uint32_t>(bytes), "", 0) : nullptr;
    if (pixels == nullptr) {
        std::memset(image, 0, sizeof(*image));
        return -1;
    }
    std::memcpy(pixels, bits, bytes);
    image->pixels = pixels;
    return 1;
}

int MakeDIBFromGraphImage(const GraphImage* image, BITMAPINFO* bitmapInfo, void** bits,
                          int copyFlag, int force24) {
    const ColorFormat& f = image->format;
    if (f.dxtKind != 0 || image->pixels == nullptr || image->width <= 0 || image->height <= 0) {
        return -1;
    }
    int width = image->width, height = image->height;
    BITMAPINFOHEADER& h = bitmapInfo->bmiHeader;
    std::memset(&h, 0, sizeof(h));
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = -height;
    h.biPlanes = 1;
    h.biCompression = BI_RGB;

    bool indices = f.bitsPerPixel == 8 && !force24;
    h.biBitCount = indices ? 8 : 24;
    int rowBytes = indices ? width : width * 3;
    uint32_t dibPitch = RoundUpTo4(rowBytes);
    if (indices) std::memcpy(bitmapInfo->bmiColors, f.palette, sizeof(f.palette));

    bool sameBytes = indices || (f.bitsPerPixel == 24 && f.redMask == 0xFF0000 &&
                                 f.greenMask == 0xFF00 && f.blueMask == 0xFF);
    if (sameBytes && copyFlag != 1 && static_cast<int>(dibPitch) == image->pitch) {
        *bits = image->pixels;
        return copyFlag;
    }
    uint64_t bytes = uint64_t{dibPitch} * height;
    uint8_t* block =
        bytes <= 0x7FFFFFFF
            ? static_cast<uint8_t*>(AllocClearedMemory(static_cast<uint32_t>(bytes), "", 0))
            : nullptr;
    if (block == nullptr) return -1;
    // Indices are copied as they are (same palette), everything else becomes 24 bits.
    ColorFormat rgb24{};
    SetColorFormatRGB24(&rgb24);
    RECT whole = {0, 0, width, height};
    ConvertPixelRect({.destPixels = block,
                      .destPitch = static_cast<int>(dibPitch),
                      .destFormat = indices ? &f : &rgb24,
                      .srcPixels = image->pixels,
                      .srcPitch = image->pitch,
                      .srcFormat = &f,
                      .srcRect = &whole});
    *bits = block;
    return 1;
}

int ConvertYV12ToARGB(const uint8_t* src, int width, int height, GraphImage* dest) {
    if (!CanTakeFrame(dest, width, height, 2, 2)) return -1;
    int cw = width / 2;
    const uint8_t* vPlane = src + static_cast<intptr_t>(width) * height;
    const uint8_t* uPlane = vPlane + static_cast<intptr_t>(cw) * (height / 2);
    return ConvertPlanar(src, width, height, dest, [=](int x, int y) {
        intptr_t i = static_cast<intptr_t>(y / 2) * cw + x / 2;
        return std::pair<int, int>(uPlane[i], vPlane[i]);
    });
}

int ConvertNV12ToARGB(const uint8_t* src, int width, int height, GraphImage* dest) {
    if (!CanTakeFrame(dest, width, height, 2, 2)) return -1;
    const uint8_t* uv = src + static_cast<intptr_t>(width) * height;
    return ConvertPlanar(src, width, height, dest, [=](int x, int y) {
        intptr_t i = (static_cast<intptr_t>(y / 2) * (width / 2) + x / 2) * 2;
        return std::pair<int, int>(uv[i], uv[i + 1]);
    });
}

int ConvertNV11ToARGB(const uint8_t* src, int width, int height, GraphImage* dest) {
    if (!CanTakeFrame(dest, width, height, 4, 1)) return -1;
    const uint8_t* uv = src + static_cast<intptr_t>(width) * height;
    return ConvertPlanar(src, width, height, dest, [=](int x, int y) {
        intptr_t i = (static_cast<intptr_t>(y) * (width / 4) + x / 4) * 2;
        return std::pair<int, int>(uv[i], uv[i + 1]);
    });
}

int ConvertYUY2ToARGB(const uint8_t* src, int width, int height, GraphImage* dest) {
    return ConvertPacked(src, width, height, dest, 0, 2, 1, 3);
}

int ConvertUYVYToARGB(const uint8_t* src, int width, int height, GraphImage* dest) {
    return ConvertPacked(src, width, height, dest, 1, 3, 0, 2);
}

int ConvertYVYUToARGB(const uint8_t* src, int width, int height, GraphImage* dest) {
    return ConvertPacked(src, width, height, dest, 0, 2, 3, 1);
}
