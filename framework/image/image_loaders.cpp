// The image reader and its decoders for BMP, the framework's raw "BGRA" format, TGA and DDS.
// Every decoder checks each header field and length against what it has before using it, and
// refuses silently, freeing what it took.
#include "image/image_loaders.h"

#include <cstring>

#include "core/string_functions.h"
#include "core/tracked_memory.h"
#include "image/image_convert.h"
#include "image/png_jpeg.h"

const ImageLoader ImageLoaderList[] = {LoadBMPImage, LoadJPEGImage, LoadPNGImage, LoadBGRAImage,
                                       LoadTGAImage, LoadDDSImage,  nullptr};

namespace {

// Decoders the application adds; nothing in the framework does.
struct ImageLoaderState {
    ImageLoader userLoaders[kMaxUserImageLoaders];
    int32_t userLoaderCount;
};
ImageLoaderState gImageLoaders;

uint32_t U16(const uint8_t* p) {
    return p[0] | (p[1] << 8);
}
uint32_t U32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A block from AllocMemory, freed when the owner goes unless released.
struct Block {
    uint8_t* data = nullptr;
    Block() = default;
    explicit Block(uint64_t bytes, bool cleared = false) { Allocate(bytes, cleared); }
    ~Block() { FreeMemory(data); }
    bool Allocate(uint64_t bytes, bool cleared = false) {
        FreeMemory(Release());
        if (bytes > GetGraphImageByteLimit()) return false;
        uint32_t size = static_cast<uint32_t>(bytes);
        data = static_cast<uint8_t*>(cleared ? AllocClearedMemory(size, "", 0)
                                             : AllocMemory(size, "", 0));
        return data != nullptr;
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    uint8_t* Release() {
        uint8_t* d = data;
        data = nullptr;
        return d;
    }
};

bool Seek(StreamReader* r, int64_t offset, int origin) {
    return r->functions.seek(r->value, offset, origin) == 0;
}

// Whether the stream still holds `bytes` from the current position: checked before a block
// for them is taken, so that a header cannot claim more memory than its file has.
bool HasBytes(StreamReader* r, uint64_t bytes) {
    int64_t position = r->functions.tell(r->value);
    int64_t end = MeasureStreamEnd(r);
    return position >= 0 && end >= position && static_cast<uint64_t>(end - position) >= bytes;
}

// The rest of the stream from the current position, in one block.
bool ReadRest(StreamReader* r, Block* block, uint64_t* size) {
    int64_t position = r->functions.tell(r->value);
    int64_t end = MeasureStreamEnd(r);
    if (position < 0 || end < position ||
        static_cast<uint64_t>(end - position) > GetGraphImageByteLimit()) {
        return false;
    }
    *size = static_cast<uint64_t>(end - position);
    return block->Allocate(*size) && ReadStreamBytes(r, block->data, *size);
}

void CopyPalette(ColorFormat* f, const uint8_t* entries, int count) {
    for (int i = 0; i < count; ++i) {
        f->palette[i] = {entries[4 * i], entries[4 * i + 1], entries[4 * i + 2], 0};
    }
}

// Run-length BMP data into one index byte per pixel; rows are written from the bottom when
// the file is bottom-up. Reads stop at the data's end, writes at the image's edges.
void ExpandBmpRunLength(const uint8_t* data, uint64_t size, bool nibbles, bool bottomUp, int width,
                        int height, int pitch, uint8_t* out) {
    int x = 0, row = 0;
    auto put = [&](uint8_t index) {
        if (x < width && row < height) {
            out[static_cast<int64_t>(bottomUp ? height - 1 - row : row) * pitch + x] = index;
        }
        ++x;
    };
    uint64_t i = 0;
    while (i + 1 < size && row < height) {
        uint8_t n = data[i], v = data[i + 1];
        i += 2;
        if (n > 0) {
            for (int k = 0; k < n; ++k) put(nibbles ? ((k & 1) ? v & 15 : v >> 4) : v);
        } else if (v == 0) {
            x = 0;
            ++row;
        } else if (v == 1) {
            break;
        } else if (v == 2) {
            if (i + 1 >= size) break;
            x += data[i];
            row += data[i + 1];
            i += 2;
        } else {
            uint64_t bytes = nibbles ? (v + 1) / 2 : v;
            if (i + bytes > size) break;
            for (int k = 0; k < v; ++k) {
                uint8_t b = data[i + (nibbles ? k / 2 : k)];
                put(nibbles ? ((k & 1) ? b & 15 : b >> 4) : b);
            }
            i += (bytes + 1) & ~uint64_t{1};
        }
    }
}

// Sets the format of a one-byte-per-pixel palette image.
void SetPaletteImage(GraphImage* image, const uint8_t* paletteBytes, int entries) {
    SetColorFormatPalette8(&image->format);
    std::memset(image->format.palette, 0, sizeof(image->format.palette));
    CopyPalette(&image->format, paletteBytes, entries);
}

}  // namespace

bool ReadStreamBytes(StreamReader* reader, void* buffer, size_t bytes) {
    if (bytes == 0) return true;
    return reader->functions.read(buffer, 1, bytes, reader->value) == bytes;
}

int64_t MeasureStreamEnd(StreamReader* reader) {
    StreamFunctions& f = reader->functions;
    int64_t position = f.tell(reader->value);
    f.seek(reader->value, 0, 2);
    int64_t end = f.tell(reader->value);
    f.seek(reader->value, position, 0);
    return end;
}

int LoadBMPImage(StreamReader* reader, GraphImage* image) {
    int64_t fileSize = MeasureStreamEnd(reader);
    uint8_t fileHeader[14], info[44];
    if (!ReadStreamBytes(reader, fileHeader, 14) || fileHeader[0] != 'B' || fileHeader[1] != 'M' ||
        !ReadStreamBytes(reader, info, 44)) {
        return -1;
    }
    uint32_t dataOffset = U32(fileHeader + 10);
    uint32_t headerSize = U32(info);
    int32_t width = static_cast<int32_t>(U32(info + 4));
    int32_t rawHeight = static_cast<int32_t>(U32(info + 8));
    uint32_t bitCount = U16(info + 14), compression = U32(info + 16), colorsUsed = U32(info + 32);
    bool bottomUp = rawHeight > 0;
    int64_t height = rawHeight < 0 ? -int64_t{rawHeight} : rawHeight;
    bool knownDepth = bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 ||
                      bitCount == 24 || bitCount == 32;
    bool knownCompression = compression == 0 || (compression == 1 && bitCount == 8) ||
                            (compression == 2 && bitCount == 4) ||
                            (compression == 3 && (bitCount == 16 || bitCount == 32));
    if (headerSize < 40 || width <= 0 || height == 0 || !knownDepth || !knownCompression ||
        dataOffset < uint64_t{14} + headerSize || dataOffset > fileSize) {
        return -1;
    }
    uint64_t rowSize = ((uint64_t{bitCount} * width + 7) / 8 + 3) & ~uint64_t{3};
    // Every result holds at most four bytes per pixel, and one byte per index.
    if (uint64_t{4} * width * height > GetGraphImageByteLimit()) return -1;

    // A 40-byte header followed by the masks or the palette, as the DIB conversion takes it.
    alignas(BITMAPINFO) uint8_t infoBlock[kDibInfoBytes] = {};
    std::memcpy(infoBlock, info, 44);
    infoBlock[0] = 40;
    infoBlock[1] = infoBlock[2] = infoBlock[3] = 0;
    int paletteEntries = 0;
    if (bitCount <= 8) {
        // The palette follows the header whatever its size, with as many entries as the
        // header says are used, and no further than the pixel data.
        uint32_t entries = 1u << bitCount;
        if (colorsUsed != 0 && colorsUsed < entries) entries = colorsUsed;
        uint32_t room = (dataOffset - 14 - headerSize) / 4;
        paletteEntries = static_cast<int>(entries < room ? entries : room);
        if (!Seek(reader, 14 + headerSize, 0) ||
            !ReadStreamBytes(reader, infoBlock + 40, static_cast<size_t>(paletteEntries) * 4)) {
            return -1;
        }
        infoBlock[32] = static_cast<uint8_t>(paletteEntries);
        infoBlock[33] = static_cast<uint8_t>(paletteEntries >> 8);
        infoBlock[34] = infoBlock[35] = 0;
    } else if (compression == 3 && !ReadStreamBytes(reader, infoBlock + 44, 8)) {
        return -1;
    }

    if (!Seek(reader, dataOffset, 0)) return -1;
    Block data;
    uint64_t dataSize = 0;
    if (!ReadRest(reader, &data, &dataSize)) return -1;
    uint64_t wholeSize = rowSize * height;
    const uint8_t* palette = infoBlock + 40;
    int h = static_cast<int>(height);

    if (compression == 1 || compression == 2) {
        uint64_t pitch = (uint64_t{static_cast<uint32_t>(width)} + 3) & ~uint64_t{3};
        Block pixels(pitch * h, true);
        if (pixels.data == nullptr) return -1;
        ExpandBmpRunLength(data.data, dataSize, compression == 2, bottomUp, width, h,
                           static_cast<int>(pitch), pixels.data);
        SetPaletteImage(image, palette, paletteEntries);
        image->pitch = static_cast<int32_t>(pitch);
        image->pixels = pixels.Release();
    } else if (compression == 0 && bitCount == 4) {
        if (dataSize < wholeSize) return -1;
        uint64_t pitch = (uint64_t{static_cast<uint32_t>(width)} + 3) & ~uint64_t{3};
        Block pixels(pitch * h, true);
        if (pixels.data == nullptr) return -1;
        for (int y = 0; y < h; ++y) {
            const uint8_t* in = data.data + rowSize * (bottomUp ? h - 1 - y : y);
            uint8_t* out = pixels.data + pitch * y;
            for (int x = 0; x < width; ++x) out[x] = (x & 1) ? in[x / 2] & 15 : in[x / 2] >> 4;
        }
        SetPaletteImage(image, palette, paletteEntries);
        image->pitch = static_cast<int32_t>(pitch);
        image->pixels = pixels.Release();
    } else if (compression == 0 && (bitCount == 8 || bitCount == 24 || bitCount == 32)) {
        if (dataSize < wholeSize) return -1;
        Block pixels(wholeSize);
        if (pixels.data == nullptr) return -1;
        for (int y = 0; y < h; ++y) {
            std::memcpy(pixels.data + rowSize * y, data.data + rowSize * (bottomUp ? h - 1 - y : y),
                        rowSize);
        }
        if (bitCount == 8) {
            SetPaletteImage(image, palette, paletteEntries);
        } else if (bitCount == 24) {
            SetColorFormatRGB24(&image->format);
        } else {
            SetColorFormatARGB32(&image->format);
        }
        image->pitch = static_cast<int32_t>(rowSize);
        image->pixels = pixels.Release();
    } else {
        if (dataSize < wholeSize) return -1;
        if (ConvertDIBToRGB24Image(reinterpret_cast<const BITMAPINFO*>(infoBlock), data.data,
                                   image) < 0) {
            return -1;
        }
    }
    image->width = width;
    image->height = h;
    return 0;
}

int LoadBGRAImage(StreamReader* reader, GraphImage* image) {
    uint8_t header[16];
    if (!ReadStreamBytes(reader, header, 16) || std::memcmp(header, "BGRA", 4) != 0) return -1;
    uint32_t layout = U32(header + 4), width = U32(header + 8), height = U32(header + 12);
    if ((layout != 0x08080808 && layout != 0x10101010) || width == 0 || height == 0 ||
        uint64_t{width} * height * 4 > GetGraphImageByteLimit() ||
        !HasBytes(reader, uint64_t{width} * height * (layout == 0x08080808 ? 4 : 8))) {
        return -1;
    }
    Block pixels(uint64_t{width} * height * 4);
    if (pixels.data == nullptr) return -1;
    if (layout == 0x08080808) {
        if (!ReadStreamBytes(reader, pixels.data, uint64_t{width} * height * 4)) return -1;
    } else {
        // Four little-endian 16-bit channels a pixel; their high bytes are kept.
        Block row(uint64_t{width} * 8);
        if (row.data == nullptr) return -1;
        for (uint32_t y = 0; y < height; ++y) {
            if (!ReadStreamBytes(reader, row.data, uint64_t{width} * 8)) return -1;
            uint8_t* out = pixels.data + uint64_t{y} * width * 4;
            for (uint32_t i = 0; i < width * 4; ++i) out[i] = row.data[2 * i + 1];
        }
    }
    SetColorFormatFromMasks(&image->format, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0, 0, 0);
    image->width = static_cast<int32_t>(width);
    image->height = static_cast<int32_t>(height);
    image->pitch = static_cast<int32_t>(width * 4);
    image->pixels = pixels.Release();
    return 0;
}

int LoadTGAImage(StreamReader* reader, GraphImage* image) {
    // A footer counts only without an extension area.
    uint8_t footer[26];
    bool hasFooter = Seek(reader, -26, 2) && ReadStreamBytes(reader, footer, 26) &&
                     std::memcmp(footer + 8, "TRUEVISION-XFILE", 16) == 0 && U32(footer) == 0;
    uint8_t h[18];
    if (!Seek(reader, 0, 0) || !ReadStreamBytes(reader, h, 18)) return -1;
    int idLength = h[0], mapType = h[1], type = h[2];
    uint32_t mapFirst = U16(h + 3), mapLength = U16(h + 5), mapEntryBits = h[7];
    uint32_t width = U16(h + 12), height = U16(h + 14), pixelBits = h[16], descriptor = h[17];
    bool mapped = type == 1 || type == 9;
    bool runLength = type == 9 || type == 10;
    uint32_t depth = mapped ? mapEntryBits : pixelBits;
    bool valid = (type == 1 || type == 2 || type == 9 || type == 10) &&
                 (depth == 16 || depth == 24 || depth == 32) && U16(h + 8) == 0 &&
                 U16(h + 10) == 0 && width >= 1 && height >= 1 && width <= 8192 && height <= 8192 &&
                 mapType <= 1 &&
                 (!mapped || (mapType == 1 && pixelBits == 8 && mapFirst + mapLength <= 256));
    if (!valid) return -1;
    int bytes = static_cast<int>(depth / 8);
    uint64_t count = uint64_t{width} * height;

    // The image ID lies between the header and the colour map.
    if (!Seek(reader, 18 + idLength, 0)) return -1;
    uint8_t table[256 * 4] = {};
    if (mapType == 1) {
        uint32_t entryBytes = (mapEntryBits + 7) / 8;
        uint32_t mapBytes = mapLength * entryBytes;
        if (mapped) {
            if (!ReadStreamBytes(reader, table + mapFirst * bytes, mapBytes)) return -1;
        } else if (!Seek(reader, 18 + idLength + mapBytes, 0)) {
            return -1;
        }
    }

    int unitBytes = mapped ? 1 : bytes;
    Block units;
    if (!runLength) {
        if (!HasBytes(reader, count * unitBytes) || !units.Allocate(count * unitBytes) ||
            !ReadStreamBytes(reader, units.data, count * unitBytes)) {
            return -1;
        }
    } else {
        int64_t position = reader->functions.tell(reader->value);
        int64_t end = MeasureStreamEnd(reader) - (hasFooter ? 26 : 0);
        if (end < position || static_cast<uint64_t>(end - position) > GetGraphImageByteLimit())
            return -1;
        uint64_t size = static_cast<uint64_t>(end - position);
        // Each packet takes its head and at least one unit and gives at most 128 pixels.
        if (count > size / (1 + unitBytes) * 128 || !units.Allocate(count * unitBytes)) return -1;
        Block packed(size);
        if (packed.data == nullptr || !ReadStreamBytes(reader, packed.data, size)) return -1;
        // A packet that runs past the last pixel is cut there; data that ends first refuses.
        uint64_t in = 0, out = 0;
        while (out < count) {
            if (in >= size) return -1;
            uint8_t head = packed.data[in++];
            bool repeat = (head & 128) != 0;
            uint64_t run = (head & 127) + 1;
            if (run > count - out) run = count - out;
            uint64_t need = repeat ? unitBytes : run * unitBytes;
            if (need > size - in) return -1;
            for (uint64_t k = 0; k < run; ++k) {
                const uint8_t* from = packed.data + in + (repeat ? 0 : k * unitBytes);
                std::memcpy(units.data + (out + k) * unitBytes, from, unitBytes);
            }
            in += need;
            out += run;
        }
    }

    // Indices through the table, then rows top to bottom and left to right.
    Block pixels(count * bytes);
    if (pixels.data == nullptr) return -1;
    bool rightToLeft = (descriptor & 0x10) != 0, bottomUp = (descriptor & 0x20) == 0;
    uint64_t pitch = uint64_t{width} * bytes;
    for (uint32_t y = 0; y < height; ++y) {
        uint32_t fromRow = bottomUp ? height - 1 - y : y;
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t fromX = rightToLeft ? width - 1 - x : x;
            uint64_t at = uint64_t{fromRow} * width + fromX;
            const uint8_t* from = mapped ? table + units.data[at] * bytes : units.data + at * bytes;
            std::memcpy(pixels.data + y * pitch + uint64_t{x} * bytes, from, bytes);
        }
    }
    if (depth == 16) {
        SetColorFormatFromMasks(&image->format, 16, 0x7C00, 0x3E0, 0x1F, 0, 0, 0, 0);
    } else {
        SetColorFormatFromMasks(&image->format, static_cast<int>(depth), 0xFF0000, 0xFF00, 0xFF,
                                depth == 32 ? 0xFF000000 : 0, 0, 0, 0);
    }
    image->width = static_cast<int32_t>(width);
    image->height = static_cast<int32_t>(height);
    image->pitch = static_cast<int32_t>(pitch);
    image->pixels = pixels.Release();
    return 0;
}

namespace {

struct D3DFormatRow {
    uint32_t number;
    int bits;
    uint32_t red, green, blue, alpha;
};
constexpr D3DFormatRow kD3DFormats[] = {
    {20, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {21, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {22, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {23, 16, 0xF800, 0x7E0, 0x1F, 0},
    {24, 16, 0x7C00, 0x3E0, 0x1F, 0},
    {25, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {26, 16, 0xF00, 0xF0, 0xF, 0xF000},
    {27, 8, 0xE0, 0x1C, 0x3, 0},
    {29, 16, 0xE0, 0x1C, 0x3, 0xFF00},
    {30, 16, 0xF00, 0xF0, 0xF, 0},
    {31, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000},
    {32, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
    {33, 32, 0xFF, 0xFF00, 0xFF0000, 0},
    {35, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
};

uint32_t FourCC(const char* text) {
    return U32(reinterpret_cast<const uint8_t*>(text));
}

// One byte per pixel is read through the palette everywhere, so a one-byte mask format
// becomes a palette format whose entry i is the colour that the masks give to value i.
void ToPaletteOfMasks(ColorFormat* f) {
    ColorFormat masks = *f;
    SetColorFormatPalette8(f);
    for (uint32_t i = 0; i < 256; ++i) {
        int r, g, b, a = 0;
        UnpackColorForFormat(&masks, i, &r, &g, &b, &a);
        f->palette[i] = {static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r),
                         0};
    }
}

}  // namespace

int LoadDDSImage(StreamReader* reader, GraphImage* image) {
    uint8_t h[128];
    if (!ReadStreamBytes(reader, h, 4) || std::memcmp(h, "DDS", 3) != 0 ||
        !ReadStreamBytes(reader, h + 4, 124)) {
        return -1;
    }
    uint32_t flags = U32(h + 8), height = U32(h + 12), width = U32(h + 16), pitch = U32(h + 20);
    uint32_t mipCount = U32(h + 28), formatFlags = U32(h + 80), fourCC = U32(h + 84);
    uint32_t rgbBits = U32(h + 88), caps = U32(h + 108);
    if (width == 0 || height == 0 || width > 0x10000 || height > 0x10000) return -1;
    GraphImage& out = *image;
    out.width = static_cast<int32_t>(width);
    out.height = static_cast<int32_t>(height);
    out.mipCount = (flags & 0x20000) && (caps & 0x400000) && (caps & 0x8)
                       ? static_cast<int32_t>(mipCount > 32 ? 32 : mipCount)
                       : 0;

    ColorFormat& f = out.format;
    bool fromMasks = false;
    if (formatFlags & 0x4) {
        int dxt = 0;
        for (int k = 1; k <= 5; ++k) {
            char name[5] = {'D', 'X', 'T', static_cast<char>('0' + k), 0};
            if (fourCC == FourCC(name)) dxt = k;
        }
        if (dxt != 0) {
            SetColorFormatFromMasks(&f, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0, 0, 0);
            f.dxtKind = static_cast<uint8_t>(dxt);
            f.bitsPerPixel = dxt == 1 ? 4 : 8;
            out.pitch = 0;
        } else {
            const D3DFormatRow* row = nullptr;
            for (const D3DFormatRow& r : kD3DFormats) {
                if (r.number == fourCC) row = &r;
            }
            if (row == nullptr) return -1;
            SetColorFormatFromMasks(&f, row->bits, row->red, row->green, row->blue, row->alpha, 0,
                                    0, 0);
            fromMasks = true;
        }
    } else if (formatFlags & 0x40) {
        if (rgbBits != 8 && rgbBits != 16 && rgbBits != 24 && rgbBits != 32) return -1;
        SetColorFormatFromMasks(&f, static_cast<int>(rgbBits), U32(h + 92), U32(h + 96),
                                U32(h + 100), U32(h + 104), 0, 0, 0);
        fromMasks = true;
    } else {
        return -1;
    }
    if (fromMasks) {
        uint64_t rowBytes = uint64_t{f.pixelBytes} * width;
        uint64_t stored = (flags & 0x8) ? pitch : rowBytes;
        if (stored < rowBytes || stored > 0x7FFFFFFF) return -1;
        out.pitch = static_cast<int32_t>(stored);
        if (f.pixelBytes == 1) ToPaletteOfMasks(&f);
    }
    int bytes = ComputeGraphImageDataBytes(&out);
    if (bytes <= 0 || static_cast<uint32_t>(bytes) > GetGraphImageByteLimit() ||
        !HasBytes(reader, static_cast<uint32_t>(bytes))) {
        return -1;
    }
    Block pixels(static_cast<uint32_t>(bytes));
    if (pixels.data == nullptr || !ReadStreamBytes(reader, pixels.data, bytes)) return -1;
    out.pixels = pixels.Release();
    return 0;
}

int CopyUserImageLoaders(ImageLoadContext* context) {
    context->userLoaderCount = gImageLoaders.userLoaderCount;
    std::memcpy(context->userLoaders, gImageLoaders.userLoaders, sizeof(context->userLoaders));
    return 0;
}

int FillImageLoadContext(ImageLoadContext* context) {
    CopyUserImageLoaders(context);
    context->files = *GetFileAccessFunctions();
    context->fileStreams = *GetFileStreamFunctions();
    context->memoryStreams = *GetMemoryStreamFunctions();
    return 0;
}

int TryImageLoaders(const ImageLoadContext* context, StreamReader* reader, GraphImage* image) {
    auto attempt = [&](ImageLoader loader) {
        reader->functions.seek(reader->value, 0, 0);
        std::memset(image, 0, sizeof(*image));
        return loader(reader, image) == 0;
    };
    for (int i = 0; i < context->userLoaderCount; ++i) {
        if (attempt(context->userLoaders[i])) return 0;
    }
    for (const ImageLoader* loader = ImageLoaderList; *loader != nullptr; ++loader) {
        if (attempt(*loader)) return 0;
    }
    return -1;
}

int ReadGraphImageOrDIBWithSettings(const ImageLoadContext* context, const char* fileName,
                                    const void* memImage, uint32_t memSize, int fromMemory,
                                    int asDIB, int mirror, GraphImage* image,
                                    BITMAPINFO** bitmapInfo, void** bits) {
    StreamReader reader;
    MemoryStream* memory = nullptr;
    StreamValue file = 0;
    if (fromMemory) {
        memory = OpenMemoryStream(memImage, memSize);
        if (memory == nullptr) return -1;
        reader = {context->memoryStreams, reinterpret_cast<StreamValue>(memory)};
    } else {
        file = context->files.open(fileName, 0, 1, 0);
        if (file == 0) return -1;
        reader = {context->fileStreams, file};
    }
    GraphImage local;
    int result = TryImageLoaders(context, &reader, &local);
    if (memory != nullptr) CloseMemoryStream(memory);
    if (file != 0) context->files.close(file);
    if (result != 0) return -1;

    if ((mirror || asDIB) && ExpandCompressedGraphImage(&local) != 0) {
        FreeGraphImage(&local);
        return -1;
    }
    if (mirror) FlipGraphImageLeftRight(&local);
    if (!asDIB) {
        *image = local;
        return 0;
    }
    auto* info = static_cast<BITMAPINFO*>(AllocMemory(kDibInfoBytes, "", 0));
    int made = info != nullptr ? MakeDIBFromGraphImage(&local, info, bits, 0, 0) : -1;
    if (made < 0) {
        FreeGraphImage(&local);
        FreeMemory(info);
        *bitmapInfo = nullptr;
        return -1;
    }
    // Copied pixels leave the image's own behind; borrowed ones now belong to the DIB.
    if (made == 1) FreeMemory(local.pixels);
    *bitmapInfo = info;
    return 0;
}

int ReadGraphImageOrDIB(const char* fileName, const void* memImage, uint32_t memSize,
                        int fromMemory, int asDIB, int mirror, GraphImage* image,
                        BITMAPINFO** bitmapInfo, void** bits) {
    ImageLoadContext context;
    FillImageLoadContext(&context);
    return ReadGraphImageOrDIBWithSettings(&context, fileName, memImage, memSize, fromMemory, asDIB,
                                           mirror, image, bitmapInfo, bits);
}

int ReadGraphImage(const char* fileName, const void* memImage, uint32_t memSize, int fromMemory,
                   GraphImage* image, int mirror) {
    return ReadGraphImageOrDIB(fileName, memImage, memSize, fromMemory, 0, mirror, image, nullptr,
                               nullptr);
}

int ReadGraphImageAndAlphaWithSettings(const ImageLoadContext* context, const char* fileName,
                                       const void* memImage, uint32_t memSize, int fromMemory,
                                       const void* alphaMem, uint32_t alphaSize, int alphaMode,
                                       GraphImage* image, GraphImage* alphaImage, int mirror) {
    if (ReadGraphImageOrDIBWithSettings(context, fileName, memImage, memSize, fromMemory, 0, mirror,
                                        image, nullptr, nullptr) != 0) {
        return -1;
    }
    if (alphaMode == 0) {
        char alphaName[1024];
        if (fileName == nullptr ||
            MakeAlphaImageFileName(fileName, alphaName, sizeof(alphaName)) != 0) {
            return 1;
        }
        return ReadGraphImageOrDIBWithSettings(context, alphaName, nullptr, 0, 0, 0, mirror,
                                               alphaImage, nullptr, nullptr) == 0
                   ? 0
                   : 1;
    }
    if (alphaMode == 1) {
        return ReadGraphImageOrDIBWithSettings(context, nullptr, alphaMem, alphaSize, 1, 0, mirror,
                                               alphaImage, nullptr, nullptr) == 0
                   ? 0
                   : 1;
    }
    return 1;
}

int ReadGraphImageAndAlpha(const char* fileName, const void* memImage, uint32_t memSize,
                           int fromMemory, const void* alphaMem, uint32_t alphaSize, int alphaMode,
                           GraphImage* image, GraphImage* alphaImage, int mirror) {
    ImageLoadContext context;
    FillImageLoadContext(&context);
    return ReadGraphImageAndAlphaWithSettings(&context, fileName, memImage, memSize, fromMemory,
                                              alphaMem, alphaSize, alphaMode, image, alphaImage,
                                              mirror);
}

int MakeAlphaImageFileName(const char* fileName, char* out, size_t outBytes) {
    // The extension's dot is the last one after the last separator; double-byte characters,
    // whose second byte may look like a separator, are stepped over whole.
    int32_t charSet = GetCharSet();
    size_t length = std::strlen(fileName), dot = length;
    for (size_t i = 0; i < length; ++i) {
        char c = fileName[i];
        if (IsLeadByte(static_cast<uint8_t>(c), charSet) && i + 1 < length) {
            ++i;
        } else if (c == '.') {
            dot = i;
        } else if (c == '\\' || c == '/') {
            dot = length;
        }
    }
    if (length + 3 > outBytes) return -1;
    std::memcpy(out, fileName, dot);
    std::memcpy(out + dot, "_a", 2);
    std::memcpy(out + dot + 2, fileName + dot, length - dot + 1);
    return 0;
}
