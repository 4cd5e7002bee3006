// Test image encoders: DIBs and BMP files of every kind, TGA, "BGRA" and DDS files, a plain
// DXT texel reader, and PNG and JPEG files through the codec libraries.
#include "image_writers.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

// clang-format off
#include <jpeglib.h>
// clang-format on
#include <png.h>

namespace {

void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = static_cast<uint8_t>(x);
    v[at + 1] = static_cast<uint8_t>(x >> 8);
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}
void Append(std::vector<uint8_t>& v, std::initializer_list<int> bytes) {
    for (int b : bytes) v.push_back(static_cast<uint8_t>(b));
}

// Run-length data of one row segment of indices: runs of repeated values, literals of three or
// more, ones and twos as short runs.
void EncodeRunLengthSegment(const std::vector<int>& row, int from, bool nibbles,
                            std::vector<uint8_t>& out) {
    int width = static_cast<int>(row.size());
    int x = from;
    while (x < width) {
        int run = 1;
        while (x + run < width && run < 255 && row[x + run] == row[x]) ++run;
        if (run >= 3 || width - x < 3) {
            int n = run >= 3 ? run : 1;
            int v = nibbles ? (row[x] << 4) | row[x] : row[x];
            Append(out, {n, v});
            x += n;
            continue;
        }
        int n = 0;
        while (x + n < width && n < 200) {
            int ahead = 1;
            while (x + n + ahead < width && ahead < 3 && row[x + n + ahead] == row[x + n]) ++ahead;
            if (ahead >= 3) break;
            ++n;
        }
        if (n < 3) {
            Append(out, {1, nibbles ? (row[x] << 4) | row[x] : row[x]});
            ++x;
            continue;
        }
        Append(out, {0, n});
        size_t start = out.size();
        for (int k = 0; k < n; ++k) {
            if (!nibbles) {
                out.push_back(static_cast<uint8_t>(row[x + k]));
            } else if (k % 2 == 0) {
                out.push_back(static_cast<uint8_t>(row[x + k] << 4));
            } else {
                out.back() |= static_cast<uint8_t>(row[x + k]);
            }
        }
        if ((out.size() - start) % 2 != 0) out.push_back(0);
        x += n;
    }
}

}  // namespace

uint32_t FieldToByte(uint32_t value, uint32_t mask) {
    int shift = 0;
    while (((mask >> shift) & 1) == 0) ++shift;
    uint64_t max = mask >> shift;
    uint64_t v = (value & mask) >> shift;
    return static_cast<uint32_t>((v * 255 + max / 2) / max);
}

DibPicture MakeDib(DibKind kind, int width, int height, bool topDown, std::mt19937& rng,
                   int headerSize, bool withDelta) {
    struct KindInfo {
        int bits, compression, paletteSize;
        uint32_t masks[3];
    };
    const KindInfo infos[] = {
        {1, 0, 2, {}},
        {4, 0, 12, {}},
        {8, 0, 200, {}},
        {4, 2, 16, {}},
        {8, 1, 200, {}},
        {16, 0, 0, {0x7C00, 0x3E0, 0x1F}},
        {16, 3, 0, {0xF800, 0x7E0, 0x1F}},
        {24, 0, 0, {0xFF0000, 0xFF00, 0xFF}},
        {32, 0, 0, {0xFF0000, 0xFF00, 0xFF}},
        {32, 3, 0, {0x3FF00000, 0xFFC00, 0x3FF}},
    };
    const KindInfo& k = infos[static_cast<int>(kind)];
    bool runLength = k.compression == 1 || k.compression == 2;
    if (runLength) topDown = false;
    DibPicture d;
    d.width = width;
    d.height = height;
    for (int i = 0; i < k.paletteSize; ++i) d.palette.push_back(rng() & 0xFFFFFF);

    size_t pixels = static_cast<size_t>(width) * height;
    d.rgb.resize(pixels);
    d.index.assign(pixels, -1);
    std::vector<uint32_t> raw(pixels);
    for (size_t i = 0; i < pixels; ++i) {
        if (k.paletteSize > 0) {
            // Few distinct values, so that run-length data has runs.
            int index =
                static_cast<int>(rng() % (rng() % 2 ? std::min(3, k.paletteSize) : k.paletteSize));
            d.index[i] = index;
            d.rgb[i] = d.palette[index];
            continue;
        }
        raw[i] = static_cast<uint32_t>(rng());
        if (k.bits == 16) raw[i] &= 0xFFFF;
        if (k.bits == 24) raw[i] &= 0xFFFFFF;
        d.rgb[i] = (FieldToByte(raw[i], k.masks[0]) << 16) |
                   (FieldToByte(raw[i], k.masks[1]) << 8) | FieldToByte(raw[i], k.masks[2]);
    }

    size_t stride = (static_cast<size_t>(k.bits) * width + 31) / 32 * 4;
    if (!runLength) {
        d.bits.assign(stride * height, 0);
        for (int y = 0; y < height; ++y) {
            uint8_t* row = &d.bits[stride * (topDown ? y : height - 1 - y)];
            for (int x = 0; x < width; ++x) {
                size_t i = static_cast<size_t>(y) * width + x;
                switch (k.bits) {
                    case 1:
                    case 4:
                    case 8: {
                        int bit = x * k.bits;
                        row[bit / 8] |= static_cast<uint8_t>(d.index[i] << (8 - k.bits - bit % 8));
                        break;
                    }
                    case 16:
                        row[2 * x] = static_cast<uint8_t>(raw[i]);
                        row[2 * x + 1] = static_cast<uint8_t>(raw[i] >> 8);
                        break;
                    default:
                        for (int b = 0; b < k.bits / 8; ++b) {
                            row[x * k.bits / 8 + b] = static_cast<uint8_t>(raw[i] >> (8 * b));
                        }
                }
            }
        }
    } else {
        bool nibbles = k.compression == 2;
        for (int stored = 0; stored < height; ++stored) {
            int y = height - 1 - stored;
            std::vector<int> row(d.index.begin() + static_cast<size_t>(y) * width,
                                 d.index.begin() + static_cast<size_t>(y + 1) * width);
            int from = 0;
            if (withDelta && stored == 1) {
                // The previous row jumped here, three pixels in.
                for (int x = 0; x < 3; ++x) d.index[static_cast<size_t>(y) * width + x] = -1;
                from = 3;
            }
            if (withDelta && stored == 0) {
                EncodeRunLengthSegment(std::vector<int>(row.begin(), row.begin() + 1), 0, nibbles,
                                       d.bits);
                for (int x = 1; x < width; ++x) d.index[static_cast<size_t>(y) * width + x] = -1;
                Append(d.bits, {0, 2, 2, 1});
                continue;
            }
            EncodeRunLengthSegment(row, from, nibbles, d.bits);
            Append(d.bits, {0, 0});
        }
        Append(d.bits, {0, 1});
        for (size_t i = 0; i < pixels; ++i) d.rgb[i] = d.index[i] < 0 ? 0 : d.palette[d.index[i]];
    }

    bool inHeaderMasks = headerSize > 40;
    size_t tail = k.paletteSize * 4 + (k.compression == 3 && !inHeaderMasks ? 12 : 0);
    d.info.assign(headerSize + tail, 0);
    Put32(d.info, 0, headerSize);
    Put32(d.info, 4, width);
    Put32(d.info, 8, static_cast<uint32_t>(topDown ? -height : height));
    Put16(d.info, 12, 1);
    Put16(d.info, 14, k.bits);
    Put32(d.info, 16, k.compression);
    Put32(d.info, 20, static_cast<uint32_t>(d.bits.size()));
    Put32(d.info, 32, k.paletteSize);
    if (k.compression == 3) {
        for (int i = 0; i < 3; ++i) Put32(d.info, 40 + 4 * i, k.masks[i]);
    }
    for (int i = 0; i < k.paletteSize; ++i) Put32(d.info, headerSize + 4 * i, d.palette[i]);
    return d;
}

std::vector<uint8_t> MakeBmpFile(const DibPicture& dib) {
    std::vector<uint8_t> file(14, 0);
    file.reserve(14 + dib.info.size() + dib.bits.size());  // GCC 12 -O3 misjudges the growth
    file[0] = 'B';
    file[1] = 'M';
    Put32(file, 2, static_cast<uint32_t>(14 + dib.info.size() + dib.bits.size()));
    Put32(file, 10, static_cast<uint32_t>(14 + dib.info.size()));
    file.insert(file.end(), dib.info.begin(), dib.info.end());
    file.insert(file.end(), dib.bits.begin(), dib.bits.end());
    return file;
}

std::vector<uint8_t> MakeTgaFile(const TgaOptions& o, int width, int height, std::mt19937& rng,
                                 std::vector<uint32_t>* argb) {
    bool mapped = o.type == 1 || o.type == 9;
    bool runLength = o.type == 9 || o.type == 10;
    int bytes = o.depth / 8;
    int mapLength = mapped ? 1 + static_cast<int>(rng() % 256) : 0;

    auto colourOf = [&](const uint8_t* p) -> uint32_t {
        if (o.depth == 16) {
            uint32_t v = p[0] | (p[1] << 8);
            auto scale = [](uint32_t c) { return c * 255 / 31; };
            return 0xFF000000 | (scale((v >> 10) & 31) << 16) | (scale((v >> 5) & 31) << 8) |
                   scale(v & 31);
        }
        uint32_t a = o.depth == 32 ? p[3] : 0xFF;
        return (a << 24) | (p[2] << 16) | (p[1] << 8) | p[0];
    };
    std::vector<uint8_t> map(static_cast<size_t>(mapLength) * bytes);
    for (auto& b : map) b = static_cast<uint8_t>(rng());

    // Units in file order: indices or pixels, a few distinct ones so that runs occur.
    int unitBytes = mapped ? 1 : bytes;
    std::vector<std::vector<uint8_t>> choices(4, std::vector<uint8_t>(unitBytes));
    for (auto& c : choices) {
        for (auto& b : c) b = static_cast<uint8_t>(rng());
        if (mapped) c[0] = static_cast<uint8_t>(c[0] % mapLength);
    }
    size_t count = static_cast<size_t>(width) * height;
    std::vector<int> units(count);
    for (auto& u : units) u = static_cast<int>(rng() % (rng() % 2 ? 1 : 4));
    argb->assign(count, 0);
    bool bottomUp = (o.descriptor & 0x20) == 0, rightToLeft = (o.descriptor & 0x10) != 0;
    for (size_t i = 0; i < count; ++i) {
        int row = static_cast<int>(i / width), col = static_cast<int>(i % width);
        int y = bottomUp ? height - 1 - row : row, x = rightToLeft ? width - 1 - col : col;
        const uint8_t* unit = choices[units[i]].data();
        const uint8_t* colour = mapped ? &map[unit[0] * bytes] : unit;
        (*argb)[static_cast<size_t>(y) * width + x] = colourOf(colour);
    }

    std::vector<uint8_t> file(18, 0);
    file[0] = static_cast<uint8_t>(o.idLength);
    file[1] = mapped ? 1 : 0;
    file[2] = static_cast<uint8_t>(o.type);
    Put16(file, 5, mapLength);
    file[7] = mapped ? static_cast<uint8_t>(o.depth) : 0;
    Put16(file, 12, width);
    Put16(file, 14, height);
    file[16] = static_cast<uint8_t>(mapped ? 8 : o.depth);
    file[17] = static_cast<uint8_t>(o.descriptor);
    for (int i = 0; i < o.idLength; ++i) file.push_back(static_cast<uint8_t>(rng()));
    file.insert(file.end(), map.begin(), map.end());
    if (!runLength) {
        for (int u : units) file.insert(file.end(), choices[u].begin(), choices[u].end());
    } else {
        size_t i = 0;
        while (i < count) {
            size_t run = 1;
            while (i + run < count && run < 128 && units[i + run] == units[i]) ++run;
            if (run >= 2) {
                file.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
                file.insert(file.end(), choices[units[i]].begin(), choices[units[i]].end());
                i += run;
                continue;
            }
            size_t raw = 1;
            while (i + raw < count && raw < 128 &&
                   (i + raw + 1 >= count || units[i + raw] != units[i + raw + 1])) {
                ++raw;
            }
            file.push_back(static_cast<uint8_t>(raw - 1));
            for (size_t k = 0; k < raw; ++k) {
                file.insert(file.end(), choices[units[i + k]].begin(), choices[units[i + k]].end());
            }
            i += raw;
        }
    }
    if (o.footer) {
        file.insert(file.end(), 8, 0);
        const char* signature = "TRUEVISION-XFILE.";
        file.insert(file.end(), signature, signature + 18);
    }
    return file;
}

std::vector<uint8_t> MakeBgraFile(int width, int height, bool wide, std::mt19937& rng,
                                  std::vector<uint32_t>* argb) {
    std::vector<uint8_t> file(16, 0);
    std::memcpy(file.data(), "BGRA", 4);
    Put32(file, 4, wide ? 0x10101010 : 0x08080808);
    Put32(file, 8, width);
    Put32(file, 12, height);
    argb->clear();
    for (int i = 0; i < width * height; ++i) {
        uint32_t pixel = 0;
        for (int c = 0; c < 4; ++c) {
            uint32_t value = static_cast<uint32_t>(rng()) & (wide ? 0xFFFF : 0xFF);
            file.push_back(static_cast<uint8_t>(value));
            if (wide) file.push_back(static_cast<uint8_t>(value >> 8));
            pixel |= (wide ? value >> 8 : value) << (8 * c);
        }
        argb->push_back(pixel);
    }
    return file;
}

ColorFormat Masks(int bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    ColorFormat f;
    SetColorFormatFromMasks(&f, bits, r, g, b, a, 0, 0, 0);
    return f;
}

uint32_t FourCC(const char* code) {
    return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 |
           uint32_t(uint8_t(code[2])) << 16 | uint32_t(uint8_t(code[3])) << 24;
}

std::vector<uint8_t> MakeDdsFile(int width, int height, uint32_t formatFlags, uint32_t fourCC,
                                 int rgbBits, const uint32_t masks[4], int mipCount,
                                 const std::vector<uint8_t>& data) {
    std::vector<uint8_t> file(128, 0);
    file.reserve(128 + data.size());  // GCC 12 -O3 misjudges the growth
    std::memcpy(file.data(), "DDS ", 4);
    Put32(file, 4, 124);
    Put32(file, 8, 0x1007 | (mipCount > 0 ? 0x20000 : 0));
    Put32(file, 12, height);
    Put32(file, 16, width);
    Put32(file, 28, mipCount);
    Put32(file, 76, 32);
    Put32(file, 80, formatFlags);
    Put32(file, 84, fourCC);
    Put32(file, 88, rgbBits);
    for (int i = 0; i < 4 && masks != nullptr; ++i) Put32(file, 92 + 4 * i, masks[i]);
    Put32(file, 108, 0x1000 | (mipCount > 0 ? 0x400008 : 0));
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

uint32_t ReferenceDxtTexel(int kind, const uint8_t* block, int texel) {
    const uint8_t* c = kind == 1 ? block : block + 8;
    int c0 = c[0] | (c[1] << 8), c1 = c[2] | (c[3] << 8);
    int r[4], g[4], b[4], a[4] = {255, 255, 255, 255};
    r[0] = (c0 >> 11) * 255 / 31, g[0] = ((c0 >> 5) & 63) * 255 / 63, b[0] = (c0 & 31) * 255 / 31;
    r[1] = (c1 >> 11) * 255 / 31, g[1] = ((c1 >> 5) & 63) * 255 / 63, b[1] = (c1 & 31) * 255 / 31;
    if (kind == 1 && c0 <= c1) {
        r[2] = r[3] = (r[0] + r[1]) / 2;
        g[2] = g[3] = (g[0] + g[1]) / 2;
        b[2] = b[3] = (b[0] + b[1]) / 2;
        a[3] = 0;
    } else {
        r[2] = (2 * r[0] + r[1]) / 3, g[2] = (2 * g[0] + g[1]) / 3, b[2] = (2 * b[0] + b[1]) / 3;
        r[3] = (r[0] + 2 * r[1]) / 3, g[3] = (g[0] + 2 * g[1]) / 3, b[3] = (b[0] + 2 * b[1]) / 3;
    }
    uint32_t indices = c[4] | (c[5] << 8) | (c[6] << 16) | (static_cast<uint32_t>(c[7]) << 24);
    int i = (indices >> (2 * texel)) & 3;
    int red = r[i], green = g[i], blue = b[i], alpha = a[i];
    if (kind == 2 || kind == 3) {
        uint64_t bits = 0;
        for (int k = 0; k < 8; ++k) bits |= static_cast<uint64_t>(block[k]) << (8 * k);
        alpha = static_cast<int>((bits >> (4 * texel)) & 15) * 17;
    } else if (kind == 4 || kind == 5) {
        int a0 = block[0], a1 = block[1];
        uint64_t bits = 0;
        for (int k = 0; k < 6; ++k) bits |= static_cast<uint64_t>(block[2 + k]) << (8 * k);
        int code = static_cast<int>((bits >> (3 * texel)) & 7);
        if (code == 0)
            alpha = a0;
        else if (code == 1)
            alpha = a1;
        else if (a0 > a1)
            alpha = ((8 - code) * a0 + (code - 1) * a1) / 7;
        else if (code <= 5)
            alpha = ((6 - code) * a0 + (code - 1) * a1) / 5;
        else
            alpha = code == 6 ? 0 : 255;
    }
    if (kind == 2 || kind == 4) {
        auto undo = [alpha](int v) { return alpha == 0 ? 0 : std::min(255, v * 255 / alpha); };
        red = undo(red), green = undo(green), blue = undo(blue);
    }
    return (static_cast<uint32_t>(alpha) << 24) | (red << 16) | (green << 8) | blue;
}

namespace {

void WriteToVector(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void FlushNothing(png_structp) {}

}  // namespace

std::vector<uint8_t> MakePngFile(const PngOptions& o, int width, int height,
                                 const std::vector<uint16_t>& samples,
                                 const std::vector<uint8_t>& paletteRgb,
                                 const std::vector<uint8_t>& paletteAlpha) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("libpng write failed");
    }
    png_set_write_fn(png, &out, WriteToVector, FlushNothing);
    png_set_IHDR(png, info, width, height, o.bitDepth, o.colorType,
                 o.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (o.colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(paletteRgb.data()),
                     static_cast<int>(paletteRgb.size() / 3));
        if (!paletteAlpha.empty()) {
            png_set_tRNS(png, info, paletteAlpha.data(), static_cast<int>(paletteAlpha.size()),
                         nullptr);
        }
    } else if (o.greyTransparent) {
        png_color_16 colour{};
        png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    png_write_info(png, info);
    if (o.bitDepth < 8) png_set_packing(png);
    int channels = o.colorType == 0 || o.colorType == 3
                       ? 1
                       : (o.colorType == 4 ? 2 : (o.colorType == 2 ? 3 : 4));
    int sampleBytes = o.bitDepth == 16 ? 2 : 1;
    std::vector<std::vector<uint8_t>> rows(height,
                                           std::vector<uint8_t>(width * channels * sampleBytes));
    for (int y = 0; y < height; ++y) {
        for (int i = 0; i < width * channels; ++i) {
            uint16_t s = samples[static_cast<size_t>(y) * width * channels + i];
            if (sampleBytes == 2) {
                rows[y][2 * i] = static_cast<uint8_t>(s >> 8);
                rows[y][2 * i + 1] = static_cast<uint8_t>(s);
            } else {
                rows[y][i] = static_cast<uint8_t>(s);
            }
        }
    }
    std::vector<png_bytep> pointers;
    for (auto& r : rows) pointers.push_back(r.data());
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::vector<uint8_t> MakeJpegFile(int width, int height, int components,
                                  const std::vector<uint8_t>& samples, int quality) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(
            &samples[static_cast<size_t>(cinfo.next_scanline) * width * components]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

std::vector<uint8_t> DecodeJpegFile(const std::vector<uint8_t>& file) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    size_t stride = static_cast<size_t>(cinfo.output_width) * cinfo.output_components;
    std::vector<uint8_t> out(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = &out[stride * cinfo.output_scanline];
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return out;
}

std::vector<uint32_t> ReadAllPixels(GraphImage* image) {
    std::vector<uint32_t> out;
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) {
            int r = 0, g = 0, b = 0, a = 255;
            ReadGraphImagePixel(image, x, y, &r, &g, &b, &a);
            out.push_back((static_cast<uint32_t>(a) << 24) | (r << 16) | (g << 8) | b);
        }
    }
    return out;
}
