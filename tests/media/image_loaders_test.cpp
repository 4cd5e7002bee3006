// The image reader and its decoders, on files made by independent encoders: BMP of every
// kind and header, TGA in every type, depth and orientation, "BGRA", DDS with DXT blocks,
// Direct3D format numbers and masks, PNG and JPEG from the codec libraries; damaged files;
// mirroring, DIB output and "_a" alpha images.
#include "image/image_loaders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/string_functions.h"
#include "core/tracked_memory.h"
#include "image/image_convert.h"
#include "image/png_jpeg.h"
#include "image_writers.h"

namespace {

using Bytes = std::vector<uint8_t>;

int ReadFromMemory(const Bytes& file, GraphImage* image, int mirror = 0) {
    return ReadGraphImage(nullptr, file.data(), static_cast<uint32_t>(file.size()), 1, image,
                          mirror);
}

std::vector<uint32_t> Rgb(GraphImage* image) {
    std::vector<uint32_t> out = ReadAllPixels(image);
    for (auto& p : out) p &= 0xFFFFFF;
    return out;
}

std::vector<int> Indices(const GraphImage& image) {
    std::vector<int> out;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            out.push_back(static_cast<const uint8_t*>(image.pixels)[y * image.pitch + x]);
        }
    }
    return out;
}

TEST(BmpDecoder, EveryKindComesOutTopDown) {
    std::mt19937 rng(21);
    struct Case {
        DibKind kind;
        bool palette;  // decoded as indices with the file's palette
    };
    const Case cases[] = {{DibKind::Pal1, false},      {DibKind::Pal4, true},
                          {DibKind::Pal8, true},       {DibKind::Rle4, true},
                          {DibKind::Rle8, true},       {DibKind::Rgb555, false},
                          {DibKind::Fields565, false}, {DibKind::Rgb24, false},
                          {DibKind::Rgb32, false},     {DibKind::Fields32, false}};
    for (const Case& c : cases) {
        for (bool topDown : {false, true}) {
            for (int headerSize : {40, 108, 124}) {
                DibPicture d = MakeDib(c.kind, 11, 5, topDown, rng, headerSize);
                GraphImage image{};
                ASSERT_EQ(ReadFromMemory(MakeBmpFile(d), &image), 0)
                    << static_cast<int>(c.kind) << " " << topDown << " " << headerSize;
                EXPECT_EQ(image.width, 11);
                EXPECT_EQ(image.height, 5);
                EXPECT_EQ(Rgb(&image), d.rgb) << static_cast<int>(c.kind) << " " << topDown;
                if (c.palette) {
                    EXPECT_EQ(image.format.pixelBytes, 1);
                    EXPECT_EQ(Indices(image), d.index);
                    EXPECT_EQ(image.format.palette[0].alpha, 0);
                }
                FreeGraphImage(&image);
            }
        }
    }
}

TEST(BmpDecoder, ThirtyTwoBitsKeepAlphaAndRunLengthJumpsLeaveIndexZero) {
    std::mt19937 rng(22);
    DibPicture d = MakeDib(DibKind::Rgb32, 3, 2, false, rng);
    GraphImage image{};
    ASSERT_EQ(ReadFromMemory(MakeBmpFile(d), &image), 0);
    EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
    // The bottom row of the file is the last row of the image.
    EXPECT_EQ(static_cast<uint8_t*>(image.pixels)[image.pitch + 3], d.bits[3]);
    FreeGraphImage(&image);

    for (DibKind kind : {DibKind::Rle8, DibKind::Rle4}) {
        d = MakeDib(kind, 9, 4, false, rng, 40, true);
        ASSERT_EQ(ReadFromMemory(MakeBmpFile(d), &image), 0);
        std::vector<int> expected = d.index;
        for (auto& i : expected) i = i < 0 ? 0 : i;
        EXPECT_EQ(Indices(image), expected);
        FreeGraphImage(&image);
    }
}

TEST(BmpDecoder, DamagedFilesAreRefused) {
    std::mt19937 rng(23);
    Bytes good = MakeBmpFile(MakeDib(DibKind::Rgb24, 8, 8, false, rng));
    GraphImage image{};
    image.width = 1234;
    Bytes shortData(good.begin(), good.end() - 10);
    EXPECT_EQ(ReadFromMemory(shortData, &image), -1);
    EXPECT_EQ(image.width, 1234);  // untouched on failure
    Bytes badOffset = good;
    badOffset[10] = 0xFF;
    badOffset[11] = 0xFF;
    EXPECT_EQ(ReadFromMemory(badOffset, &image), -1);
    Bytes zeroWidth = good;
    std::fill(zeroWidth.begin() + 18, zeroWidth.begin() + 22, 0);
    EXPECT_EQ(ReadFromMemory(zeroWidth, &image), -1);
    Bytes huge = good;
    huge[21] = 0x7F;
    huge[25] = 0x7F;
    EXPECT_EQ(ReadFromMemory(huge, &image), -1);
    Bytes badDepth = good;
    badDepth[28] = 7;
    EXPECT_EQ(ReadFromMemory(badDepth, &image), -1);
    // Run-length data that overruns the picture or the data stays inside the image.
    DibPicture rle = MakeDib(DibKind::Rle8, 4, 2, false, rng);
    rle.bits = {200, 1, 0, 2, 255, 255, 9, 9, 0, 5, 1, 2};
    Bytes overrun = MakeBmpFile(rle);
    ASSERT_EQ(ReadFromMemory(overrun, &image), 0);
    EXPECT_EQ(Indices(image), (std::vector<int>{0, 0, 0, 0, 1, 1, 1, 1}));
    FreeGraphImage(&image);
}

TEST(TgaDecoder, EveryTypeDepthAndOrientation) {
    std::mt19937 rng(31);
    for (int type : {1, 2, 9, 10}) {
        for (int depth : {16, 24, 32}) {
            for (int descriptor : {0x00, 0x20, 0x10, 0x30}) {
                TgaOptions o;
                o.type = type;
                o.depth = depth;
                o.descriptor = descriptor | (depth == 32 ? 8 : 0);
                o.idLength = static_cast<int>(rng() % 3) * 5;
                o.footer = rng() % 2;
                std::vector<uint32_t> argb;
                Bytes file = MakeTgaFile(o, 7, 5, rng, &argb);
                GraphImage image{};
                ASSERT_EQ(ReadFromMemory(file, &image), 0)
                    << type << " " << depth << " " << descriptor;
                EXPECT_EQ(image.pitch, 7 * depth / 8);
                std::vector<uint32_t> got = ReadAllPixels(&image);
                if (depth != 32) {
                    for (auto& p : got) p &= 0xFFFFFF;
                    for (auto& p : argb) p &= 0xFFFFFF;
                }
                EXPECT_EQ(got, argb) << type << " " << depth << " " << descriptor;
                FreeGraphImage(&image);
            }
        }
    }
}

TEST(TgaDecoder, RefusesWhatItCannotDecode) {
    std::mt19937 rng(32);
    TgaOptions o;
    std::vector<uint32_t> argb;
    Bytes good = MakeTgaFile(o, 4, 4, rng, &argb);
    GraphImage image{};
    Bytes wide = good;
    wide[12] = 0x01;
    wide[13] = 0x20;  // 8,193
    Bytes origin = good;
    origin[8] = 1;
    Bytes grey = good;
    grey[2] = 3;
    Bytes truncated(good.begin(), good.end() - 1);
    for (const Bytes* file : {&wide, &origin, &grey, &truncated}) {
        EXPECT_EQ(ReadFromMemory(*file, &image), -1);
    }
    // Colour-map entries past the 256-entry table are refused.
    o.type = 1;
    Bytes mapped = MakeTgaFile(o, 4, 4, rng, &argb);
    mapped[3] = 200;
    mapped[5] = 100;
    EXPECT_EQ(ReadFromMemory(mapped, &image), -1);
    // Run-length data that ends early is refused.
    o.type = 10;
    Bytes packed = MakeTgaFile(o, 30, 30, rng, &argb);
    packed.resize(packed.size() - 4);
    EXPECT_EQ(ReadFromMemory(packed, &image), -1);
}

TEST(BgraDecoder, BothChannelWidths) {
    std::mt19937 rng(41);
    for (bool wide : {false, true}) {
        std::vector<uint32_t> argb;
        Bytes file = MakeBgraFile(5, 3, wide, rng, &argb);
        GraphImage image{};
        ASSERT_EQ(ReadFromMemory(file, &image), 0);
        EXPECT_EQ(image.pitch, 20);
        EXPECT_EQ(ReadAllPixels(&image), argb);
        FreeGraphImage(&image);
        file.pop_back();
        EXPECT_EQ(ReadFromMemory(file, &image), -1);
    }
}

TEST(DdsDecoder, DxtBlocksAreKeptWithTheirLevels) {
    std::mt19937 rng(51);
    for (int kind = 1; kind <= 5; ++kind) {
        const char names[][5] = {"DXT1", "DXT2", "DXT3", "DXT4", "DXT5"};
        int width = kind == 3 ? 10 : 16, height = kind == 3 ? 6 : 8;
        int blockBytes = kind == 1 ? 8 : 16;
        int across = (width + 3) / 4, down = (height + 3) / 4;
        Bytes data(static_cast<size_t>(across) * down * blockBytes + 2 * blockBytes);
        for (auto& b : data) b = static_cast<uint8_t>(rng());
        Bytes file = MakeDdsFile(width, height, 4, FourCC(names[kind - 1]), 0, nullptr, 2, data);
        GraphImage image{};
        ASSERT_EQ(ReadFromMemory(file, &image), 0) << kind;
        EXPECT_EQ(image.format.dxtKind, kind);
        EXPECT_EQ(image.mipCount, 2);
        EXPECT_EQ(ComputeGraphImageDataBytes(&image), static_cast<int>(data.size()));
        ASSERT_EQ(ExpandCompressedGraphImage(&image), 0);
        auto* pixels = static_cast<uint32_t*>(image.pixels);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const uint8_t* block = &data[((y / 4) * across + x / 4) * blockBytes];
                ASSERT_EQ(pixels[y * width + x],
                          ReferenceDxtTexel(kind, block, (y % 4) * 4 + x % 4));
            }
        }
        FreeGraphImage(&image);
        file.pop_back();
        EXPECT_EQ(ReadFromMemory(file, &image), -1);
    }
}

TEST(DdsDecoder, FormatNumbersAndMasks) {
    // Format 21, A8R8G8B8.
    Bytes data = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80};
    GraphImage image{};
    ASSERT_EQ(ReadFromMemory(MakeDdsFile(2, 1, 4, 21, 0, nullptr, 0, data), &image), 0);
    EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
    EXPECT_EQ(ReadAllPixels(&image), (std::vector<uint32_t>{0x40302010, 0x80706050}));
    FreeGraphImage(&image);
    // Format 23, R5G6B5.
    ASSERT_EQ(ReadFromMemory(MakeDdsFile(1, 1, 4, 23, 0, nullptr, 0, {0x1F, 0xF8}), &image), 0);
    EXPECT_EQ(ReadAllPixels(&image)[0] & 0xFFFFFF, 0xFF00FFu);
    FreeGraphImage(&image);
    // Format 27, R3G3B2: one byte per pixel becomes a palette of the colours it stands for.
    ASSERT_EQ(ReadFromMemory(MakeDdsFile(2, 1, 4, 27, 0, nullptr, 0, {0xE0, 0x03}), &image), 0);
    EXPECT_EQ(Rgb(&image), (std::vector<uint32_t>{0xFF0000, 0x0000FF}));
    FreeGraphImage(&image);
    // RGB masks with a pitch wider than a row.
    const uint32_t masks[4] = {0xF00, 0xF0, 0xF, 0xF000};
    Bytes rows = {0x21, 0xF3, 0, 0, 0x65, 0x87, 0, 0};
    Bytes file = MakeDdsFile(1, 2, 0x41, 0, 16, masks, 0, rows);
    file[8] |= 0x8;
    file[20] = 4;
    ASSERT_EQ(ReadFromMemory(file, &image), 0);
    EXPECT_EQ(image.pitch, 4);
    EXPECT_EQ(ReadAllPixels(&image), (std::vector<uint32_t>{0xFF332211, 0x88776655}));
    FreeGraphImage(&image);
    // A pitch narrower than a row, an odd bit count and an unknown FourCC are refused.
    file[20] = 1;
    EXPECT_EQ(ReadFromMemory(file, &image), -1);
    EXPECT_EQ(ReadFromMemory(MakeDdsFile(1, 1, 0x40, 0, 12, masks, 0, {0, 0}), &image), -1);
    EXPECT_EQ(
        ReadFromMemory(MakeDdsFile(1, 1, 4, FourCC("ATI2"), 0, nullptr, 0, Bytes(16)), &image), -1);
}

TEST(PngDecoder, ColourTypesBecomeTheirFormats) {
    GraphImage image{};
    // 1-bit grey: 0 and 255.
    PngOptions o;
    o.colorType = 0;
    o.bitDepth = 1;
    ASSERT_EQ(ReadFromMemory(MakePngFile(o, 3, 1, {1, 0, 1}, {}, {}), &image), 0);
    EXPECT_EQ(image.format.pixelBytes, 1);
    EXPECT_EQ(Rgb(&image), (std::vector<uint32_t>{0xFFFFFF, 0, 0xFFFFFF}));
    FreeGraphImage(&image);
    // 16-bit grey keeps the high byte.
    o.bitDepth = 16;
    ASSERT_EQ(ReadFromMemory(MakePngFile(o, 1, 1, {0xABCD}, {}, {}), &image), 0);
    EXPECT_EQ(static_cast<uint8_t*>(image.pixels)[0], 0xAB);
    FreeGraphImage(&image);
    // Grey with a transparent value becomes grey with alpha.
    o.bitDepth = 8;
    o.greyTransparent = true;
    ASSERT_EQ(ReadFromMemory(MakePngFile(o, 2, 1, {0, 50}, {}, {}), &image), 0);
    EXPECT_EQ(image.format.pixelBytes, 2);
    EXPECT_EQ(Rgb(&image), (std::vector<uint32_t>{0, 0x323232}));
    FreeGraphImage(&image);
    o.greyTransparent = false;
    // Grey with alpha: two bytes, the colour the grey, the alpha unused.
    o.colorType = 4;
    o.bitDepth = 8;
    ASSERT_EQ(ReadFromMemory(MakePngFile(o, 2, 1, {10, 200, 99, 0}, {}, {}), &image), 0);
    EXPECT_EQ(image.format.pixelBytes, 2);
    EXPECT_EQ(image.format.alphaWidth, 0);
    EXPECT_EQ(Rgb(&image), (std::vector<uint32_t>{0x0A0A0A, 0x636363}));
    FreeGraphImage(&image);
    // 16-bit RGB: 24-bit pixels of the high bytes.
    o.colorType = 2;
    o.bitDepth = 16;
    ASSERT_EQ(ReadFromMemory(MakePngFile(o, 1, 1, {0x1234, 0x5678, 0x9ABC}, {}, {}), &image), 0);
    EXPECT_EQ(image.format.bitsPerPixel, 24);
    EXPECT_EQ(Rgb(&image)[0], 0x12569Au);
    FreeGraphImage(&image);
    // RGBA, interlaced.
    o.colorType = 6;
    o.bitDepth = 8;
    o.interlaced = true;
    std::vector<uint16_t> samples;
    for (int i = 0; i < 9 * 9 * 4; ++i) samples.push_back(static_cast<uint16_t>(i * 7 % 256));
    ASSERT_EQ(ReadFromMemory(MakePngFile(o, 9, 9, samples, {}, {}), &image), 0);
    EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
    std::vector<uint32_t> got = ReadAllPixels(&image);
    for (int i = 0; i < 81; ++i) {
        uint32_t expected = (samples[4 * i + 3] << 24) | (samples[4 * i] << 16) |
                            (samples[4 * i + 1] << 8) | samples[4 * i + 2];
        ASSERT_EQ(got[i], expected) << i;
    }
    FreeGraphImage(&image);
}

TEST(PngDecoder, PalettesWithAndWithoutTransparency) {
    GraphImage image{};
    PngOptions o;
    o.colorType = 3;
    o.bitDepth = 2;
    Bytes palette = {255, 0, 0, 0, 255, 0, 0, 0, 255};
    ASSERT_EQ(ReadFromMemory(MakePngFile(o, 3, 1, {2, 0, 1}, palette, {}), &image), 0);
    EXPECT_EQ(image.format.pixelBytes, 1);
    EXPECT_EQ(Indices(image), (std::vector<int>{2, 0, 1}));
    EXPECT_EQ(image.format.palette[0].red, 255);
    EXPECT_EQ(image.format.palette[2].blue, 255);
    EXPECT_EQ(image.format.palette[3].red, 0);
    FreeGraphImage(&image);
    ASSERT_EQ(ReadFromMemory(MakePngFile(o, 3, 1, {2, 0, 1}, palette, {128}), &image), 0);
    EXPECT_EQ(image.format.pixelBytes, 4);
    EXPECT_EQ(ReadAllPixels(&image), (std::vector<uint32_t>{0xFF0000FF, 0x80FF0000, 0xFF00FF00}));
    FreeGraphImage(&image);
}

TEST(PngDecoder, TruncatedFilesAreRefused) {
    PngOptions o;
    std::vector<uint16_t> samples(16 * 16 * 3, 77);
    Bytes file = MakePngFile(o, 16, 16, samples, {}, {});
    file.resize(file.size() / 2);
    GraphImage image{};
    EXPECT_EQ(ReadFromMemory(file, &image), -1);
}

// The decoder must give what the library itself decodes, with blue, green and red in memory;
// that is within the codec's tolerance of what was encoded.
TEST(JpegDecoder, ColourAndGreyAsTheLibraryDecodesThem) {
    std::vector<uint8_t> samples;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 3; ++x) {
            samples.insert(samples.end(),
                           {static_cast<uint8_t>(40 + 10 * x), static_cast<uint8_t>(100 + y),
                            static_cast<uint8_t>(200 - 5 * x)});
        }
    }
    Bytes file = MakeJpegFile(3, 16, 3, samples, 100);
    std::vector<uint8_t> reference = DecodeJpegFile(file);
    GraphImage image{};
    ASSERT_EQ(ReadFromMemory(file, &image), 0);
    EXPECT_EQ(image.pitch, 9);
    EXPECT_EQ(image.format.bitsPerPixel, 24);
    const auto* bgr = static_cast<const uint8_t*>(image.pixels);
    for (size_t i = 0; i < samples.size(); i += 3) {
        EXPECT_EQ(bgr[i], reference[i + 2]);
        EXPECT_EQ(bgr[i + 1], reference[i + 1]);
        EXPECT_EQ(bgr[i + 2], reference[i]);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(reference[i + c], samples[i + c], 12);
    }
    FreeGraphImage(&image);

    std::vector<uint8_t> grey(8 * 8);
    for (int i = 0; i < 64; ++i) grey[i] = static_cast<uint8_t>(i * 4);
    file = MakeJpegFile(8, 8, 1, grey, 95);
    reference = DecodeJpegFile(file);
    ASSERT_EQ(ReadFromMemory(file, &image), 0);
    EXPECT_EQ(image.format.pixelBytes, 1);
    EXPECT_EQ(image.pitch, 8);
    EXPECT_EQ(Bytes(static_cast<uint8_t*>(image.pixels), static_cast<uint8_t*>(image.pixels) + 64),
              reference);
    FreeGraphImage(&image);
}

TEST(JpegDecoder, EmptyStreamsFailAndShortOnesAreCompleted) {
    MemoryStream* empty = OpenMemoryStream("", 0);
    StreamReader reader = {*GetMemoryStreamFunctions(), reinterpret_cast<StreamValue>(empty)};
    GraphImage image{};
    EXPECT_EQ(LoadJPEGImage(&reader, &image), -1);
    CloseMemoryStream(empty);

    std::mt19937 rng(5);
    std::vector<uint8_t> samples(64 * 64 * 3);
    for (auto& s : samples) s = static_cast<uint8_t>(rng());
    Bytes file = MakeJpegFile(64, 64, 3, samples, 90);
    file.resize(file.size() * 2 / 3);
    ASSERT_EQ(ReadFromMemory(file, &image), 0);
    EXPECT_EQ(image.width, 64);
    EXPECT_EQ(image.height, 64);
    FreeGraphImage(&image);
}

TEST(ImageReader, MirrorAndDibOutput) {
    std::mt19937 rng(61);
    std::vector<uint32_t> argb;
    Bytes file = MakeBgraFile(3, 2, false, rng, &argb);
    GraphImage image{};
    ASSERT_EQ(ReadFromMemory(file, &image, 1), 0);
    std::vector<uint32_t> got = ReadAllPixels(&image);
    EXPECT_EQ(got[0], argb[2]);
    EXPECT_EQ(got[5], argb[3]);
    FreeGraphImage(&image);

    BITMAPINFO* info = nullptr;
    void* bits = nullptr;
    ASSERT_EQ(ReadGraphImageOrDIB(nullptr, file.data(), static_cast<uint32_t>(file.size()), 1, 1, 0,
                                  nullptr, &info, &bits),
              0);
    EXPECT_EQ(info->bmiHeader.biBitCount, 24);
    EXPECT_EQ(info->bmiHeader.biHeight, -2);
    const uint8_t* row = static_cast<uint8_t*>(bits);
    EXPECT_EQ(row[0], argb[0] & 0xFF);
    EXPECT_EQ(row[12 + 2], (argb[3] >> 16) & 0xFF);
    FreeMemory(info);
    FreeMemory(bits);

    // Not an image at all.
    Bytes noise(100, 0x42);
    image.width = 77;
    EXPECT_EQ(ReadFromMemory(noise, &image), -1);
    EXPECT_EQ(image.width, 77);
}

TEST(ImageReader, AlphaFileNames) {
    char out[64];
    ASSERT_EQ(MakeAlphaImageFileName("title.png", out, sizeof(out)), 0);
    EXPECT_STREQ(out, "title_a.png");
    MakeAlphaImageFileName("a.b.png", out, sizeof(out));
    EXPECT_STREQ(out, "a.b_a.png");
    MakeAlphaImageFileName("title", out, sizeof(out));
    EXPECT_STREQ(out, "title_a");
    MakeAlphaImageFileName("", out, sizeof(out));
    EXPECT_STREQ(out, "_a");
    MakeAlphaImageFileName("dir.v2/title", out, sizeof(out));
    EXPECT_STREQ(out, "dir.v2/title_a");
    // A double-byte character whose second byte is '\' is not a separator.
    SetCharSet(kCharSetShiftJis);
    MakeAlphaImageFileName("a.d\x95\\x", out, sizeof(out));
    EXPECT_STREQ(out, "a_a.d\x95\\x");
    EXPECT_EQ(MakeAlphaImageFileName("title.png", out, 11), -1);
}

class ImageFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orbek_images_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        host_ = pattern;
        SetFileAccessFunctions(nullptr);
    }
    void TearDown() override { std::filesystem::remove_all(host_); }
    std::string Write(const std::string& name, const Bytes& bytes) {
        std::ofstream(host_ + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        std::string path = "Z:" + host_ + "/" + name;
        for (auto& c : path) c = c == '/' ? '\\' : c;
        return path;
    }
    std::string host_;
};

TEST_F(ImageFiles, DecodersLookAtTheDataNotTheName) {
    PngOptions o;
    std::string path =
        Write("picture.bmp", MakePngFile(o, 2, 2, std::vector<uint16_t>(12, 9), {}, {}));
    GraphImage image{};
    ASSERT_EQ(ReadGraphImage(path.c_str(), nullptr, 0, 0, &image, 0), 0);
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(Rgb(&image)[3], 0x090909u);
    FreeGraphImage(&image);
    EXPECT_EQ(ReadGraphImage((path + "x").c_str(), nullptr, 0, 0, &image, 0), -1);
}

TEST_F(ImageFiles, AlphaImageBesideTheColourImage) {
    std::mt19937 rng(71);
    std::vector<uint32_t> argb;
    std::string path = Write("title.bgra", MakeBgraFile(2, 2, false, rng, &argb));
    GraphImage image{}, alpha{};
    EXPECT_EQ(ReadGraphImageAndAlpha(path.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image, &alpha, 0),
              1);
    EXPECT_EQ(alpha.pixels, nullptr);
    FreeGraphImage(&image);

    std::vector<uint32_t> alphaArgb;
    Write("title_a.bgra", MakeBgraFile(2, 2, false, rng, &alphaArgb));
    EXPECT_EQ(ReadGraphImageAndAlpha(path.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image, &alpha, 0),
              0);
    EXPECT_EQ(ReadAllPixels(&alpha), alphaArgb);
    FreeGraphImage(&image);
    FreeGraphImage(&alpha);

    Bytes memoryAlpha = MakeBgraFile(2, 2, false, rng, &alphaArgb);
    EXPECT_EQ(
        ReadGraphImageAndAlpha(path.c_str(), nullptr, 0, 0, memoryAlpha.data(),
                               static_cast<uint32_t>(memoryAlpha.size()), 1, &image, &alpha, 0),
        0);
    EXPECT_EQ(ReadAllPixels(&alpha), alphaArgb);
    FreeGraphImage(&image);
    FreeGraphImage(&alpha);
    EXPECT_EQ(ReadGraphImageAndAlpha(path.c_str(), nullptr, 0, 0, nullptr, 0, 2, &image, &alpha, 0),
              1);
    FreeGraphImage(&image);
    EXPECT_EQ(ReadGraphImageAndAlpha((path + "x").c_str(), nullptr, 0, 0, nullptr, 0, 2, &image,
                                     &alpha, 0),
              -1);
}

}  // namespace
