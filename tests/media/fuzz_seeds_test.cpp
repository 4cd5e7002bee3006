// Writes the seed corpora of the image fuzz targets from the test encoders when
// ORBEK_FUZZ_SEED_DIR names the fuzz/corpus directory; every seed is first checked to decode.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "image/image_loaders.h"
#include "image_writers.h"

namespace {

using Bytes = std::vector<uint8_t>;

void WriteSeed(const std::string& directory, const std::string& name, const Bytes& bytes) {
    GraphImage image{};
    ASSERT_EQ(
        ReadGraphImage(nullptr, bytes.data(), static_cast<uint32_t>(bytes.size()), 1, &image, 0), 0)
        << name;
    FreeGraphImage(&image);
    std::filesystem::create_directories(directory);
    std::ofstream file(directory + "/" + name, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good()) << name;
}

TEST(ImageFuzzSeeds, WrittenWhenAsked) {
    const char* root = std::getenv("ORBEK_FUZZ_SEED_DIR");
    if (root == nullptr) GTEST_SKIP() << "ORBEK_FUZZ_SEED_DIR is not set";
    std::mt19937 rng(2024);
    auto dir = [root](const char* name) { return std::string(root) + "/" + name; };

    const char* kindNames[] = {"pal1",   "pal4",      "pal8",  "rle4",  "rle8",
                               "rgb555", "fields565", "rgb24", "rgb32", "fields32"};
    for (int k = 0; k < 10; ++k) {
        for (bool topDown : {false, true}) {
            DibPicture d = MakeDib(static_cast<DibKind>(k), 7, 5, topDown, rng, topDown ? 124 : 40,
                                   !topDown && (k == 3 || k == 4));
            WriteSeed(dir("image_bmp"), std::string(kindNames[k]) + (topDown ? "_v5" : "") + ".bmp",
                      MakeBmpFile(d));
        }
    }

    for (int type : {1, 2, 9, 10}) {
        for (int depth : {16, 24, 32}) {
            TgaOptions o;
            o.type = type;
            o.depth = depth;
            o.descriptor = depth == 32 ? 0x28 : (type % 2 ? 0x10 : 0);
            o.idLength = type == 9 ? 3 : 0;
            o.footer = depth == 24;
            std::vector<uint32_t> argb;
            WriteSeed(dir("image_tga"),
                      "type" + std::to_string(type) + "_" + std::to_string(depth) + ".tga",
                      MakeTgaFile(o, 6, 4, rng, &argb));
        }
    }

    std::vector<uint32_t> argb;
    WriteSeed(dir("image_bgra"), "bytes.bgra", MakeBgraFile(5, 3, false, rng, &argb));
    WriteSeed(dir("image_bgra"), "words.bgra", MakeBgraFile(3, 4, true, rng, &argb));

    for (int kind = 1; kind <= 5; ++kind) {
        const char* names[] = {"DXT1", "DXT2", "DXT3", "DXT4", "DXT5"};
        Bytes blocks(static_cast<size_t>((kind == 1 ? 8 : 16) * (4 + 1 + 1)));
        for (auto& b : blocks) b = static_cast<uint8_t>(rng());
        WriteSeed(dir("image_dds"), std::string(names[kind - 1]) + ".dds",
                  MakeDdsFile(8, 8, 4, FourCC(names[kind - 1]), 0, nullptr, 3, blocks));
    }
    for (uint32_t format : {20u, 21u, 23u, 25u, 27u, 29u, 31u, 35u}) {
        int bytes = format == 20 ? 3 : (format == 27 ? 1 : (format <= 30 ? 2 : 4));
        if (format == 21) bytes = 4;
        Bytes data(static_cast<size_t>(bytes) * 12);
        for (auto& b : data) b = static_cast<uint8_t>(rng());
        WriteSeed(dir("image_dds"), "d3d" + std::to_string(format) + ".dds",
                  MakeDdsFile(4, 3, 4, format, 0, nullptr, 0, data));
    }
    const uint32_t masks[4] = {0xF800, 0x7E0, 0x1F, 0};
    WriteSeed(dir("image_dds"), "rgb565.dds",
              MakeDdsFile(3, 3, 0x40, 0, 16, masks, 0, Bytes(18, 7)));

    struct PngSeed {
        const char* name;
        PngOptions options;
        int channels;
    };
    PngSeed pngs[] = {{"grey1.png", {0, 1}, 1},
                      {"grey8.png", {0, 8}, 1},
                      {"grey16.png", {0, 16}, 1},
                      {"grey_alpha.png", {4, 8}, 2},
                      {"rgb8.png", {2, 8}, 3},
                      {"rgb16.png", {2, 16}, 3},
                      {"rgba_interlaced.png", {6, 8, true}, 4},
                      {"palette2.png", {3, 2}, 1},
                      {"palette8_trns.png", {3, 8}, 1},
                      {"grey_trns.png", {0, 8, false, true}, 1}};
    for (const PngSeed& p : pngs) {
        int maxSample = p.options.colorType == 3 ? 3 : (1 << p.options.bitDepth) - 1;
        std::vector<uint16_t> samples(static_cast<size_t>(6 * 5 * p.channels));
        for (auto& s : samples) s = static_cast<uint16_t>(rng() % (maxSample + 1));
        Bytes palette(12);
        for (auto& b : palette) b = static_cast<uint8_t>(rng());
        bool withAlpha = std::string(p.name) == "palette8_trns.png";
        Bytes alphas = withAlpha ? Bytes{0, 80, 160, 255} : Bytes{};
        WriteSeed(dir("image_png"), p.name, MakePngFile(p.options, 6, 5, samples, palette, alphas));
    }

    std::vector<uint8_t> rgb(16 * 16 * 3), grey(16 * 16);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 7);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<uint8_t>(i);
    WriteSeed(dir("image_jpeg"), "rgb.jpg", MakeJpegFile(16, 16, 3, rgb, 75));
    WriteSeed(dir("image_jpeg"), "grey.jpg", MakeJpegFile(16, 16, 1, grey, 75));
    WriteSeed(dir("image_jpeg"), "odd.jpg", MakeJpegFile(3, 5, 3, Bytes(45, 128), 50));
}

}  // namespace
