// DIB output: memory device contexts, 24- and 32-bit DIB sections, SetDIBitsToDevice, which
// decodes a DIB of any kind GDI draws (palettes of 1, 4 and 8 bits, RLE4, RLE8, 16 bits 555 or
// bitfields, 24 and 32 bits, either row order) into the section selected into a context or
// onto a window, and StretchDIBits onto a window, nearest pixel, into its host surface (an
// unstretched DIB in a layout the host shows as it is goes to the host without decoding).
#include <platform/win32_gdi.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "../base/test_overrides.h"
#include "../host/host.h"
#include "gdi/gdi_objects.h"

namespace {

struct DibSection : GdiObject {
    int width = 0;
    int height = 0;  // rows
    bool topDown = false;
    int pixelBytes = 3;
    int pitch = 0;
    std::vector<uint8_t> bits;
};

struct MemoryContext : DeviceContext {
    HGDIOBJ selected = nullptr;
    std::shared_ptr<DibSection> section;  // what `selected` names, while it is a section
};

// What a memory context holds before anything is selected: a one-pixel bitmap of its own.
HGDIOBJ DefaultBitmap() {
    static const HGDIOBJ handle = [] {
        auto bitmap = std::make_shared<DibSection>();
        bitmap->width = bitmap->height = 1;
        bitmap->pitch = 4;
        bitmap->bits.assign(4, 0);
        return InsertGdiObject(bitmap);
    }();
    return handle;
}

// A DIB decoded into top-down rows of 0x00RRGGBB; `written` is empty when every pixel was
// given, else 1 for each pixel that run-length data wrote.
struct DecodedDib {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    std::vector<uint8_t> written;
};

uint32_t Load32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The three colour fields of a masked pixel, found once per image; only each mask's lowest run
// counts. Fields of up to 16 bits (every 16-bit layout) are scaled through tables, so a whole
// frame costs no division.
struct MaskFields {
    int shift[3] = {};
    uint32_t max[3] = {};  // 0: the mask is empty
    std::vector<uint8_t> scaled[3];

    explicit MaskFields(const uint32_t masks[3]) {
        for (int i = 0; i < 3; ++i) {
            uint32_t mask = masks[i];
            if (mask == 0) {
                scaled[i].assign(1, 0);
                continue;
            }
            while (((mask >> shift[i]) & 1) == 0) ++shift[i];
            int width = 0;
            while (shift[i] + width < 32 && ((mask >> (shift[i] + width)) & 1) != 0) ++width;
            max[i] = static_cast<uint32_t>((uint64_t{1} << width) - 1);
            if (width > 16) continue;
            scaled[i].resize(max[i] + 1);
            for (uint32_t v = 0; v <= max[i]; ++v) scaled[i][v] = Scale(v, max[i]);
        }
    }

    // A field's value scaled to 0 to 255, rounded.
    static uint8_t Scale(uint64_t v, uint64_t max) {
        return static_cast<uint8_t>((v * 255 + max / 2) / max);
    }

    bool Tabled() const { return !scaled[0].empty() && !scaled[1].empty() && !scaled[2].empty(); }

    // A row of 16-bit pixels as 0x00RRGGBB; needs Tabled().
    void Row16(const uint8_t* in, int count, uint32_t* out) const {
        const uint8_t *r = scaled[0].data(), *g = scaled[1].data(), *b = scaled[2].data();
        for (int x = 0; x < count; ++x) {
            uint32_t v = in[2 * x] | (in[2 * x + 1] << 8);
            out[x] = (uint32_t{r[(v >> shift[0]) & max[0]]} << 16) |
                     (uint32_t{g[(v >> shift[1]) & max[1]]} << 8) | b[(v >> shift[2]) & max[2]];
        }
    }

    // The pixel as 0x00RRGGBB.
    uint32_t ToRgb(uint32_t value) const {
        uint32_t rgb = 0;
        for (int i = 0; i < 3; ++i) {
            uint32_t v = (value >> shift[i]) & max[i];
            uint32_t byte = max[i] == 0 ? 0 : scaled[i].size() > 1 ? scaled[i][v] : Scale(v, max[i]);
            rgb = (rgb << 8) | byte;
        }
        return rgb;
    }
};

// Run-length data (RLE8, or RLE4 when nibbles) of a bottom-up DIB; reads stop at the data's
// end and writes at the image's edges.
void DecodeRunLength(const uint8_t* data, size_t size, bool nibbles, const uint32_t* colours,
                     DecodedDib* dib) {
    int width = dib->width, height = dib->height;
    dib->written.assign(static_cast<size_t>(width) * height, 0);
    int x = 0, row = 0;  // row counts from the bottom
    auto put = [&](uint32_t index) {
        if (x < width && row < height) {
            size_t at = static_cast<size_t>(height - 1 - row) * width + x;
            dib->pixels[at] = colours[index];
            dib->written[at] = 1;
        }
        ++x;
    };
    size_t i = 0;
    while (i + 1 < size && row < height) {
        uint8_t count = data[i], value = data[i + 1];
        i += 2;
        if (count > 0) {
            for (int k = 0; k < count; ++k) {
                put(nibbles ? ((k & 1) ? value & 15 : value >> 4) : value);
            }
            continue;
        }
        if (value == 0) {
            x = 0;
            ++row;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            if (i + 1 >= size) break;
            x += data[i];
            row += data[i + 1];
            i += 2;
        } else {
            size_t bytes = nibbles ? (value + 1) / 2 : value;
            if (i + bytes > size) break;
            for (int k = 0; k < value; ++k) {
                uint8_t b = data[i + (nibbles ? k / 2 : k)];
                put(nibbles ? ((k & 1) ? b & 15 : b >> 4) : b);
            }
            i += (bytes + 1) & ~size_t{1};
        }
    }
}

// The colour masks of a DIB without a colour table: its own under BI_BITFIELDS (16 and 32 bits
// only), else those of its bit count. False for any other compression.
bool ColourMasks(const BITMAPINFO* info, uint32_t masks[3]) {
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biCompression == BI_BITFIELDS) {
        if (h.biBitCount != 16 && h.biBitCount != 32) return false;
        // Masks follow a 40-byte header and lie at the same place inside larger ones.
        for (int i = 0; i < 3; ++i)
            masks[i] = Load32(reinterpret_cast<const uint8_t*>(info) + 40 + 4 * i);
        return true;
    }
    if (h.biCompression != BI_RGB) return false;
    const bool wide = h.biBitCount == 32;
    masks[0] = wide ? 0xFF0000 : 0x7C00;
    masks[1] = wide ? 0xFF00 : 0x3E0;
    masks[2] = wide ? 0xFF : 0x1F;
    return true;
}

// The source rectangle of a DIB as an image a window shows as it is: a DIB of 16 bits 5-5-5 or
// 5-6-5 or of 32 bits 8-8-8 whose rectangle lies inside it. False for any other.
bool ImageOfDib(const BITMAPINFO* info, const void* bits, int x, int y, int width, int height,
                HostImage* image) {
    const BITMAPINFOHEADER& h = info->bmiHeader;
    uint32_t masks[3];
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 ||
        (h.biBitCount != 16 && h.biBitCount != 32) || !ColourMasks(info, masks)) {
        return false;
    }
    auto masked = [&masks](uint32_t r, uint32_t g, uint32_t b) {
        return masks[0] == r && masks[1] == g && masks[2] == b;
    };
    if (h.biBitCount == 32 && masked(0xFF0000, 0xFF00, 0xFF)) {
        image->format = HostPixelFormat::Xrgb8888;
    } else if (h.biBitCount == 16 && masked(0xF800, 0x7E0, 0x1F)) {
        image->format = HostPixelFormat::Rgb565;
    } else if (h.biBitCount == 16 && masked(0x7C00, 0x3E0, 0x1F)) {
        image->format = HostPixelFormat::Xrgb1555;
    } else {
        return false;
    }
    const int64_t rows = h.biHeight < 0 ? -int64_t{h.biHeight} : h.biHeight;
    if (x < 0 || y < 0 || int64_t{x} + width > h.biWidth || int64_t{y} + height > rows) {
        return false;
    }
    const int64_t stride = (int64_t{h.biBitCount} * h.biWidth + 31) / 32 * 4;
    if (stride > INT32_MAX) return false;
    // A bottom-up DIB's source origin is its lower-left corner, and its rows run upwards.
    const bool topDown = h.biHeight < 0;
    const int64_t firstRow = topDown ? y : int64_t{y} + height - 1;
    image->pixels =
        static_cast<const uint8_t*>(bits) + firstRow * stride + int64_t{x} * (h.biBitCount / 8);
    image->pitchBytes = static_cast<int32_t>(topDown ? stride : -stride);
    image->width = width;
    image->height = height;
    return true;
}

bool DecodeDib(const BITMAPINFO* info, const void* bitsIn, DecodedDib* dib) {
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0) return false;
    int64_t height = h.biHeight < 0 ? -int64_t{h.biHeight} : h.biHeight;
    if (int64_t{h.biWidth} * height > (int64_t{1} << 28)) return false;
    bool topDown = h.biHeight < 0;
    int width = h.biWidth, bitCount = h.biBitCount;
    // Checked before the colour table is read, whose size the bit count gives.
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32) {
        return false;
    }
    dib->width = width;
    dib->height = static_cast<int>(height);
    dib->pixels.assign(static_cast<size_t>(width) * dib->height, 0);

    const uint8_t* bits = static_cast<const uint8_t*>(bitsIn);
    const uint8_t* afterHeader = reinterpret_cast<const uint8_t*>(info) + h.biSize;
    uint32_t colours[256] = {};
    if (bitCount <= 8) {
        uint32_t count = 1u << bitCount;
        if (h.biClrUsed != 0 && h.biClrUsed < count) count = h.biClrUsed;
        for (uint32_t i = 0; i < count; ++i) colours[i] = Load32(afterHeader + 4 * i) & 0xFFFFFF;
    }

    uint32_t compression = h.biCompression;
    if (compression == BI_RLE8 || compression == BI_RLE4) {
        if (topDown || h.biSizeImage == 0) return false;
        if ((compression == BI_RLE8) != (bitCount == 8) ||
            (compression == BI_RLE4) != (bitCount == 4)) {
            return false;
        }
        DecodeRunLength(bits, h.biSizeImage, compression == BI_RLE4, colours, dib);
        return true;
    }

    uint32_t masks[3];
    if (!ColourMasks(info, masks)) return false;

    const MaskFields fields(masks);
    // The common 32-bit layout needs no scaling.
    const bool plain32 = bitCount == 32 && masks[0] == 0xFF0000 && masks[1] == 0xFF00 &&
                         masks[2] == 0xFF;
    const bool tabled = fields.Tabled();
    size_t stride = (static_cast<size_t>(bitCount) * width + 31) / 32 * 4;
    for (int y = 0; y < dib->height; ++y) {
        const uint8_t* row = bits + stride * (topDown ? y : dib->height - 1 - y);
        uint32_t* out = &dib->pixels[static_cast<size_t>(y) * width];
        if (bitCount == 16 && tabled) {
            fields.Row16(row, width, out);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            switch (bitCount) {
                case 1:
                case 4:
                case 8: {
                    int bitPos = x * bitCount;
                    uint32_t index =
                        (row[bitPos / 8] >> (8 - bitCount - bitPos % 8)) & ((1u << bitCount) - 1);
                    out[x] = colours[index];
                    break;
                }
                case 16:
                    out[x] = fields.ToRgb(row[2 * x] | (row[2 * x + 1] << 8));
                    break;
                case 24:
                    out[x] = row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16);
                    break;
                default:
                    out[x] = plain32 ? Load32(row + 4 * x) & 0xFFFFFF
                                     : fields.ToRgb(Load32(row + 4 * x));
                    break;
            }
        }
    }
    return true;
}

}  // namespace

HDC CreateCompatibleDC(HDC dc) {
    if (InjectedFailure("CreateCompatibleDC")) return nullptr;
    auto context = std::make_shared<MemoryContext>();
    context->selected = DefaultBitmap();
    return InsertDeviceContext(context);
}

BOOL DeleteDC(HDC dc) {
    if (std::dynamic_pointer_cast<MemoryContext>(FindDeviceContext(dc)) == nullptr) return FALSE;
    return RemoveDeviceContext(dc) ? TRUE : FALSE;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    auto found = FindDeviceContext(dc);
    if (found == nullptr) return nullptr;
    if (HGDIOBJ previousFont = SelectFontIntoContext(found.get(), object)) return previousFont;
    auto context = std::dynamic_pointer_cast<MemoryContext>(found);
    if (context == nullptr) return nullptr;
    auto section = FindGdiObjectOf<DibSection>(object);
    if (section == nullptr) return nullptr;
    HGDIOBJ previous = context->selected;
    context->selected = object;
    context->section = object == DefaultBitmap() ? nullptr : section;
    return previous;
}

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset) {
    if (info == nullptr || usage != DIB_RGB_COLORS || section != nullptr) return nullptr;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if ((h.biBitCount != 24 && h.biBitCount != 32) || h.biCompression != BI_RGB || h.biWidth <= 0 ||
        h.biHeight == 0) {
        return nullptr;
    }
    int64_t height = h.biHeight < 0 ? -int64_t{h.biHeight} : h.biHeight;
    int64_t pitch = (int64_t{h.biWidth} * (h.biBitCount / 8) + 3) / 4 * 4;
    if (pitch * height > 0x7FFFFFFF) return nullptr;
    auto dib = std::make_shared<DibSection>();
    dib->width = h.biWidth;
    dib->height = static_cast<int>(height);
    dib->topDown = h.biHeight < 0;
    dib->pixelBytes = h.biBitCount / 8;
    dib->pitch = static_cast<int>(pitch);
    dib->bits.assign(static_cast<size_t>(pitch * height), 0);
    if (bits != nullptr) *bits = dib->bits.data();
    return InsertGdiObject(dib);
}

int SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc,
                      UINT startScan, UINT scanLines, const void* bits, const BITMAPINFO* info,
                      UINT colorUse) {
    // A window's context: the DIB output onto the window, without stretching.
    std::shared_ptr<DeviceContext> target = FindDeviceContext(dc);
    if (target != nullptr && target->window != nullptr) {
        if (info == nullptr || startScan != 0 || width > INT32_MAX || height > INT32_MAX) return 0;
        int64_t rows = info->bmiHeader.biHeight;
        if (rows < 0) rows = -rows;
        if (scanLines < rows) return 0;
        int w = static_cast<int>(width), h = static_cast<int>(height);
        return StretchDIBits(dc, xDest, yDest, w, h, xSrc, ySrc, w, h, bits, info, colorUse,
                             SRCCOPY) != 0
                   ? static_cast<int>(rows)
                   : 0;
    }
    auto context = std::dynamic_pointer_cast<MemoryContext>(target);
    if (context == nullptr || context->section == nullptr || bits == nullptr || info == nullptr ||
        colorUse != DIB_RGB_COLORS) {
        return 0;
    }
    DecodedDib dib;
    if (!DecodeDib(info, bits, &dib)) return 0;
    if (startScan != 0 || scanLines < static_cast<UINT>(dib.height)) return 0;

    // A bottom-up DIB's source origin is its lower-left corner.
    bool topDown = info->bmiHeader.biHeight < 0;
    int64_t w = width, h = height;
    int64_t top = topDown ? ySrc : int64_t{dib.height} - ySrc - h;
    DibSection& s = *context->section;
    for (int64_t dy = 0; dy < h; ++dy) {
        int64_t sy = top + dy, ty = yDest + dy;
        if (sy < 0 || sy >= dib.height || ty < 0 || ty >= s.height) continue;
        uint8_t* out =
            s.bits.data() + static_cast<size_t>(s.topDown ? ty : s.height - 1 - ty) * s.pitch;
        for (int64_t dx = 0; dx < w; ++dx) {
            int64_t sx = xSrc + dx, tx = xDest + dx;
            if (sx < 0 || sx >= dib.width || tx < 0 || tx >= s.width) continue;
            size_t at = static_cast<size_t>(sy) * dib.width + sx;
            if (!dib.written.empty() && !dib.written[at]) continue;
            uint32_t rgb = dib.pixels[at];
            uint8_t* p = out + tx * s.pixelBytes;
            p[0] = static_cast<uint8_t>(rgb);
            p[1] = static_cast<uint8_t>(rgb >> 8);
            p[2] = static_cast<uint8_t>(rgb >> 16);
            if (s.pixelBytes == 4) p[3] = 0;
        }
    }
    return dib.height;
}

int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                  int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info,
                  UINT colorUse, DWORD rop) {
    std::shared_ptr<DeviceContext> context = FindDeviceContext(dc);
    if (context == nullptr || context->hostWindow == 0 || bits == nullptr || info == nullptr ||
        colorUse != DIB_RGB_COLORS || rop != SRCCOPY || destWidth <= 0 || destHeight <= 0 ||
        srcWidth <= 0 || srcHeight <= 0) {
        return 0;
    }
    // Unstretched in a layout the window shows as it is: no decoding.
    HostImage image;
    if (srcWidth == destWidth && srcHeight == destHeight &&
        ImageOfDib(info, bits, xSrc, ySrc, srcWidth, srcHeight, &image)) {
        return Host().showImage(context->hostWindow, image, xDest, yDest) ? srcHeight : 0;
    }
    // The surface first: a window with nothing to show into costs no decoding.
    int width = 0, height = 0, pitch = 0;
    uint32_t* surface = Host().lockSurface(context->hostWindow, &width, &height, &pitch);
    if (surface == nullptr) return 0;
    DecodedDib dib;
    if (!DecodeDib(info, bits, &dib)) {
        Host().unlockSurface(context->hostWindow);
        return 0;
    }
    const int64_t dibWidth = dib.width;
    const int64_t dibHeight = dib.height;
    // A bottom-up DIB's source origin is its lower-left corner.
    const int64_t srcTop = info->bmiHeader.biHeight < 0 ? ySrc : dibHeight - ySrc - srcHeight;

    // Only the part of the destination on the surface is walked, so a stretch far larger than
    // the window costs no more than one that fills it.
    const int64_t firstX = std::max<int64_t>(0, -int64_t{xDest});
    const int64_t endX = std::min<int64_t>(destWidth, int64_t{width} - xDest);
    const int64_t firstY = std::max<int64_t>(0, -int64_t{yDest});
    const int64_t endY = std::min<int64_t>(destHeight, int64_t{height} - yDest);
    if (firstX < endX && firstY < endY) {
        // Each destination pixel takes the source pixel under its centre; the columns are the
        // same for every row. -1: outside the DIB.
        std::vector<int64_t> columns(static_cast<size_t>(endX - firstX));
        for (int64_t dx = firstX; dx < endX; ++dx) {
            int64_t sx = xSrc + (2 * dx + 1) * srcWidth / (2 * int64_t{destWidth});
            columns[dx - firstX] = (sx < 0 || sx >= dibWidth) ? -1 : sx;
        }
        for (int64_t dy = firstY; dy < endY; ++dy) {
            int64_t sy = srcTop + (2 * dy + 1) * srcHeight / (2 * int64_t{destHeight});
            if (sy < 0 || sy >= dibHeight) continue;
            uint32_t* out = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(surface) +
                                                        (yDest + dy) * pitch) +
                            xDest + firstX;
            const uint32_t* in = dib.pixels.data() + sy * dibWidth;
            for (size_t i = 0; i < columns.size(); ++i) {
                if (columns[i] >= 0) out[i] = in[columns[i]];
            }
        }
    }
    Host().unlockSurface(context->hostWindow);
    return srcHeight;
}
