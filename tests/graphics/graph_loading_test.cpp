#include "graphics/graph_loading.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "graph_fixture.h"
#include "graphics/graph_creation.h"
#include "graphics/graph_restore.h"
#include "image/image_convert.h"
#include "media/image_writers.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct FormatFile {
    std::string name;
    Bytes bytes;
};

// A file of every kind the image readers accept, each 24 x 20 (so that 2 x 2 cells of 12 x 10
// divide it), made by encoders independent of the readers.
std::vector<FormatFile> EveryFormat() {
    std::mt19937 rng(11);
    const int w = 24, h = 20;
    std::vector<FormatFile> files;
    for (DibKind kind :
         {DibKind::Pal8, DibKind::Rle8, DibKind::Fields565, DibKind::Rgb24, DibKind::Rgb32}) {
        files.push_back({"image" + std::to_string(files.size()) + ".bmp",
                         MakeBmpFile(MakeDib(kind, w, h, kind == DibKind::Rgb32, rng))});
    }
    std::vector<uint32_t> argb;
    for (TgaOptions o : {TgaOptions{2, 24, 0x20}, TgaOptions{10, 32, 0x28}, TgaOptions{1, 24, 0}}) {
        files.push_back(
            {"image" + std::to_string(files.size()) + ".tga", MakeTgaFile(o, w, h, rng, &argb)});
    }
    for (bool wide : {false, true}) {
        files.push_back({"image" + std::to_string(files.size()) + ".bgra",
                         MakeBgraFile(w, h, wide, rng, &argb)});
    }
    for (const char* dxt : {"DXT1", "DXT5"}) {
        Bytes blocks(size_t(w / 4) * (h / 4) * (dxt[3] == '1' ? 8 : 16));
        for (uint8_t& b : blocks) b = static_cast<uint8_t>(rng());
        files.push_back({"image" + std::to_string(files.size()) + ".dds",
                         MakeDdsFile(w, h, 4, FourCC(dxt), 0, nullptr, 0, blocks)});
    }
    const uint32_t argbMasks[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    const uint32_t rgb565Masks[4] = {0xF800, 0x07E0, 0x001F, 0};
    for (int bits : {32, 16}) {
        Bytes pixels(size_t(w) * h * bits / 8);
        for (uint8_t& b : pixels) b = static_cast<uint8_t>(rng());
        files.push_back({"image" + std::to_string(files.size()) + ".dds",
                         MakeDdsFile(w, h, bits == 32 ? 0x41 : 0x40, 0, bits,
                                     bits == 32 ? argbMasks : rgb565Masks, 0, pixels)});
    }
    for (int colorType : {0, 2, 3, 6}) {
        int channels = colorType == 2 ? 3 : colorType == 6 ? 4 : 1;
        std::vector<uint16_t> samples(size_t(w) * h * channels);
        for (uint16_t& s : samples)
            s = static_cast<uint16_t>(colorType == 3 ? rng() % 16 : rng() % 256);
        Bytes palette(16 * 3);
        for (uint8_t& b : palette) b = static_cast<uint8_t>(rng());
        PngOptions o;
        o.colorType = colorType;
        files.push_back({"image" + std::to_string(files.size()) + ".png",
                         MakePngFile(o, w, h, samples, colorType == 3 ? palette : Bytes{}, {})});
    }
    Bytes samples(size_t(w) * h * 3);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 7);
    files.push_back(
        {"image" + std::to_string(files.size()) + ".jpg", MakeJpegFile(w, h, 3, samples, 90)});
    return files;
}

class GraphLoadTest : public GraphFixture {
public:
    void WriteFileForTest(const char* name, const Bytes& bytes) { WriteFile(name, bytes); }
    Footprint MeasureForTest() { return Measure(); }
    using GraphFixture::Footprint;
    using GraphFixture::GraphPixels;
    using GraphFixture::ReadGraph;

protected:
    // The graph's pixels against the decoded image's rectangle in the graph's own format; DXT
    // textures, which have no such format, against the decoded texels read from the device.
    void ExpectGraphShows(Handle graph, GraphImage* decoded, RECT rect, const std::string& what) {
        const GraphRecord* record = GetGraphRecord(graph, 0);
        ASSERT_NE(record, nullptr) << what;
        const GraphTextureInfo& info = *record->textureInfo;
        if (info.flags.useTexture && info.formatIndex >= 6 && info.formatIndex <= 10) {
            std::vector<uint32_t> reference = ReadAllPixels(decoded);
            const GraphPiece& p = GraphPieces(record)[0];
            UINT w = 0, h = 0;
            std::vector<DWORD> texels = TestD3d9ReadSurface(p.texPiece->surface, &w, &h);
            for (int y = 0; y < p.h; ++y) {
                for (int x = 0; x < p.w; ++x) {
                    ASSERT_EQ(texels[size_t(p.texOffY + y) * w + p.texOffX + x],
                              reference[size_t(rect.top + y) * decoded->width + rect.left + x])
                        << what << " at " << x << "," << y;
                }
            }
            return;
        }
        GraphPixels pixels = ReadGraph(graph);
        ASSERT_EQ(pixels.raw, Expected(*decoded, nullptr, pixels.format, rect, true)) << what;
    }

    // Every format as one graph and as 2 x 2 cells, read back against the decoded file.
    void LoadEveryFormat() {
        // The fonts' cache graphs are there from start-up.
        const int fontGraphs = gGraphRegistry.liveCount;
        for (const FormatFile& f : EveryFormat()) {
            WriteFile(f.name.c_str(), f.bytes);
            GraphImage decoded{};
            ASSERT_EQ(ReadGraphImage(f.name.c_str(), nullptr, 0, 0, &decoded, 0), 0) << f.name;
            Handle graph = LoadImageFileAsGraph(f.name.c_str(), 0);
            ExpectGraphShows(graph, &decoded, {0, 0, 24, 20}, f.name);
            Handle cells[4] = {};
            ASSERT_EQ(LoadImageFileAsDivGraphs(f.name.c_str(), 4, 2, 2, 12, 10, cells, 0), 0);
            for (int i = 0; i < 4; ++i) {
                RECT cell = {12 * (i % 2), 10 * (i / 2), 12 * (i % 2) + 12, 10 * (i / 2) + 10};
                ExpectGraphShows(cells[i], &decoded, cell, f.name + " cell " + std::to_string(i));
                DisposeGraph(cells[i]);
            }
            DisposeGraph(graph);
            FreeGraphImage(&decoded);
        }
        EXPECT_EQ(gGraphRegistry.liveCount, fontGraphs);
    }
};

TEST_F(GraphLoadTest, EveryFormatLoadsOnASixteenBitDevice) {
    StartDevice(16);
    LoadEveryFormat();
}

TEST_F(GraphLoadTest, EveryFormatLoadsOnAThirtyTwoBitDevice) {
    StartDevice(32);
    LoadEveryFormat();
}

TEST_F(GraphLoadTest, EveryFormatLoadsInSixteenBitSoftwareMode) {
    StartSoftware(16);
    LoadEveryFormat();
}

TEST_F(GraphLoadTest, EveryFormatLoadsInThirtyTwoBitSoftwareMode) {
    StartSoftware(32);
    LoadEveryFormat();
}

// Cells of 12 x 12 over pieces of 16: most cells straddle a piece boundary.
TEST_F(GraphLoadTest, CellsAreNumberedRowByRowAndMirroredFromTheRight) {
    StartDevice(32);
    gDrawSettings.graphCreate.maxTextureSize = 16;
    const int fontGraphs = gGraphRegistry.liveCount;
    std::mt19937 rng(3);
    std::vector<uint32_t> argb;
    WriteFile("cells.tga", MakeTgaFile(TgaOptions{2, 24, 0x20}, 40, 36, rng, &argb));
    for (int mirror : {0, 1}) {
        Handle cells[7];
        ImageLoadRequest request{};
        CaptureImageLoadSettings(&request);
        request.fileName = "cells.tga";
        request.cellCount = 7;  // fewer than the 3 x 3 the grid holds
        request.cellsAcross = request.cellsDown = 3;
        request.cellWidth = request.cellHeight = 12;
        request.cells = cells;
        request.mirror = mirror;
        ASSERT_EQ(SubmitDivImageLoadRequest(&request, 0), 0);
        EXPECT_EQ(gGraphRegistry.liveCount, fontGraphs + 7);
        for (int i = 0; i < 7; ++i) {
            int column = i % 3, row = i / 3;
            const GraphRecord* record = GetGraphRecord(cells[i], 0);
            ASSERT_NE(record, nullptr);
            EXPECT_GE(record->pieceCount, 1);
            GraphPixels pixels = ReadGraph(cells[i]);
            for (int y = 0; y < 12; ++y) {
                for (int x = 0; x < 12; ++x) {
                    // Mirrored, cell i is the unflipped image's cell at the same place, shown
                    // left to right reversed.
                    int sx = column * 12 + (mirror ? 11 - x : x);
                    uint32_t want = argb[size_t(row * 12 + y) * 40 + sx] & 0xFFFFFF;
                    int r = 0, g = 0, b = 0;
                    UnpackColorForFormat(&pixels.format, pixels.raw[size_t(y) * 12 + x], &r, &g, &b,
                                         nullptr);
                    ASSERT_EQ(uint32_t(r << 16 | g << 8 | b), want)
                        << "mirror " << mirror << " cell " << i << " at " << x << "," << y;
                }
            }
            DisposeGraph(cells[i]);
        }
    }
}

// Which of black, (4, 2, 4), (7, 3, 7), (8, 8, 8), (16, 16, 16) and white come out transparent:
// by alpha on the device, by the image's transparent colour in software mode.
std::vector<bool> TransparentDarkPixels(GraphLoadTest* test) {
    std::vector<uint16_t> samples = {0, 0, 0, 4, 2, 4, 7, 3, 7, 8, 8, 8, 16, 16, 16, 255, 255, 255};
    test->WriteFileForTest("dark.png", MakePngFile(PngOptions{}, 6, 1, samples, {}, {}));
    Handle graph = LoadImageFileAsGraph("dark.png", 0);
    const GraphRecord* record = GetGraphRecord(graph, 0);
    if (record == nullptr) return {};
    GraphLoadTest::GraphPixels pixels = GraphLoadTest::ReadGraph(graph);
    std::vector<bool> clear;
    for (uint32_t v : pixels.raw) {
        clear.push_back(record->textureInfo->flags.useTexture
                            ? (v & pixels.format.alphaMask) == 0
                            : v == record->image.body->transparentColor);
    }
    return clear;
}

TEST_F(GraphLoadTest, NearBlackIsTransparentOnASixteenBitDevice) {
    StartDevice(16);
    EXPECT_EQ(TransparentDarkPixels(this),
              std::vector<bool>({true, true, true, false, false, false}));
}

TEST_F(GraphLoadTest, NearBlackIsTransparentInSixteenBitSoftwareMode) {
    StartSoftware(16);
    EXPECT_EQ(TransparentDarkPixels(this),
              std::vector<bool>({true, true, true, false, false, false}));
}

TEST_F(GraphLoadTest, OnlyBlackIsTransparentInThirtyTwoBits) {
    StartDevice(32);
    EXPECT_EQ(TransparentDarkPixels(this),
              std::vector<bool>({true, false, false, false, false, false}));
}

TEST_F(GraphLoadTest, FailuresReturnMinusOneAndLeaveNothingBehind) {
    StartDevice(32);
    std::mt19937 rng(5);
    std::vector<uint32_t> argb;
    WriteFile("good.tga", MakeTgaFile(TgaOptions{2, 24, 0x20}, 40, 20, rng, &argb));
    WriteFile("broken.png", Bytes{0x89, 'P', 'N', 'G', 1, 2, 3});
    Handle cells[4];
    DisposeGraph(LoadImageFileAsGraph("good.tga", 0));  // what first use makes
    Footprint before = Measure();

    EXPECT_EQ(LoadImageFileAsGraph("missing.png", 0), -1);
    EXPECT_EQ(LoadImageFileAsGraph("broken.png", 0), -1);
    EXPECT_EQ(LoadImageFileAsDivGraphs("missing.png", 4, 2, 2, 8, 8, cells, 0), -1);
    EXPECT_EQ(cells[3], -1);
    // Cells beyond the image, and divisions that do not fit the grid or the array.
    EXPECT_EQ(LoadImageFileAsDivGraphs("good.tga", 4, 4, 1, 14, 20, cells, 0), -1);
    for (int bad : {0, -1, 5}) {
        EXPECT_EQ(LoadImageFileAsDivGraphs("good.tga", bad, 2, 2, 8, 8, cells, 0), -1);
    }
    EXPECT_EQ(LoadImageFileAsDivGraphs("good.tga", 4, 2, 2, 0, 8, cells, 0), -1);
    EXPECT_EQ(LoadImageFileAsDivGraphs("good.tga", 1, 1, 1, 8, 8, nullptr, 0), -1);
    EXPECT_EQ(Measure(), before);
    EXPECT_TRUE(InOrder(ReadLog(),
                        {"画像ファイル missing.png がありません\r\n",
                         "右記のグラフィックファイルのロードに失敗しました：broken.png \r\n",
                         "画像ファイル missing.png のロードに失敗しました\r\n",
                         "グラフィックの分割に失敗しました in CreateDivGraphFromGraphImage\r\n"}));
}

// The image fuzz targets' seeds and the damaged files they found: each loads, or fails with
// nothing left behind, as a graph and as cells, on a 16-bit device and in software mode.
void LoadEveryFuzzInput(GraphLoadTest* test) {
    const int fontGraphs = gGraphRegistry.liveCount;
    int loaded = 0, refused = 0;
    for (const char* target :
         {"image_bgra", "image_bmp", "image_dds", "image_jpeg", "image_png", "image_tga"}) {
        std::filesystem::path directory = std::filesystem::path(ORBEK_FUZZ_CORPUS_DIR) / target;
        for (const auto& entry : std::filesystem::directory_iterator(directory)) {
            std::ifstream in(entry.path(), std::ios::binary);
            Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            Handle graph =
                LoadImageMemoryAsGraph(bytes.data(), uint32_t(bytes.size()), nullptr, 0, 0);
            Handle cells[2];
            test->WriteFileForTest("seed", bytes);
            int divided = LoadImageFileAsDivGraphs("seed", 2, 2, 1, 1, 1, cells, 0);
            EXPECT_EQ(divided == 0, graph != -1) << entry.path();
            (graph != -1 ? loaded : refused)++;
            DisposeGraph(graph);
            if (divided == 0) {
                for (Handle cell : cells) DisposeGraph(cell);
            }
            EXPECT_EQ(gGraphRegistry.liveCount, fontGraphs) << entry.path();
        }
    }
    EXPECT_GT(loaded, 40);
}

TEST_F(GraphLoadTest, FuzzInputsLoadOrFailCleanlyOnTheDevice) {
    StartDevice(16);
    Footprint before = Measure();
    LoadEveryFuzzInput(this);
    EXPECT_EQ(Measure(), before);
}

TEST_F(GraphLoadTest, FuzzInputsLoadOrFailCleanlyInSoftwareMode) {
    StartSoftware(32);
    Footprint before = Measure();
    LoadEveryFuzzInput(this);
    EXPECT_EQ(Measure(), before);
}

// The call failing at its n-th use during a load, for every n the load makes: a graph of six
// pieces (its record grown) and its cells, each with what it keeps to restore from.
void FailEveryNthCall(GraphLoadTest* test, const char* call) {
    gDrawSettings.graphCreate.maxTextureSize = 16;
    std::mt19937 rng(8);
    std::vector<uint32_t> argb;
    test->WriteFileForTest("heap.tga", MakeTgaFile(TgaOptions{2, 32, 0x28}, 40, 20, rng, &argb));
    Handle cells[3];
    DisposeGraph(LoadImageFileAsGraph("heap.tga", 0));
    GraphLoadTest::Footprint before = test->MeasureForTest();
    for (int divided : {0, 1}) {
        int failures = 0;
        for (int n = 1; n < 1000; ++n) {
            TestFailNthCall(call, n);
            Handle single = -1;
            bool loaded = divided
                              ? LoadImageFileAsDivGraphs("heap.tga", 3, 3, 1, 13, 20, cells, 0) == 0
                              : (single = LoadImageFileAsGraph("heap.tga", 0)) != -1;
            TestFailNthCall(call, 0);
            if (loaded) {
                if (divided) {
                    for (Handle cell : cells) DisposeGraph(cell);
                } else {
                    DisposeGraph(single);
                }
                break;
            }
            ++failures;
            ASSERT_EQ(test->MeasureForTest(), before) << divided << " " << n;
        }
        EXPECT_GE(failures, 5);
        EXPECT_EQ(test->MeasureForTest(), before);
    }
}

TEST_F(GraphLoadTest, TheDeviceOrMemoryFailingAnywhereLeavesNothingBehind) {
    StartDevice(32);
    FailEveryNthCall(this, "CreateTexture");
    FailEveryNthCall(this, "HeapAlloc");
}

TEST_F(GraphLoadTest, MemoryRunningOutAnywhereLeavesNothingBehindInSoftwareMode) {
    StartSoftware(16);
    FailEveryNthCall(this, "HeapAlloc");
}

TEST_F(GraphLoadTest, AnImageLargerThanTheByteLimitFailsCleanly) {
    StartDevice(32);
    std::mt19937 rng(9);
    WriteFile("big.bmp", MakeBmpFile(MakeDib(DibKind::Rgb24, 64, 64, false, rng)));
    DisposeGraph(LoadImageFileAsGraph("big.bmp", 0));
    Footprint before = Measure();
    SetGraphImageByteLimit(1000);
    EXPECT_EQ(LoadImageFileAsGraph("big.bmp", 0), -1);
    Handle cells[1];
    EXPECT_EQ(LoadImageFileAsDivGraphs("big.bmp", 1, 1, 1, 8, 8, cells, 0), -1);
    // An empty graph of that size is refused by the same limit.
    GraphCreateSettings s = gDrawSettings.graphCreate;
    EXPECT_EQ(CreateEmptyGraph(&s, 64, 64, 0, 0, 0), -1);
    EXPECT_EQ(Measure(), before);
}

TEST_F(GraphLoadTest, EdgeFillGivesTransparentPixelsTheColourOfTheNeighbourBelow) {
    StartDevice(32);
    gImageLoadSettings.edgeFill = 1;
    // Green above and blue below a transparent centre; red to its left.
    GraphImage* image = MakeImage(3, 3, [](int x, int y) -> uint32_t {
        if (x == 1 && y == 0) return 0x00FF00;
        if (x == 1 && y == 2) return 0x0000FF;
        if (x == 0 && y == 1) return 0xFF0000;
        return 0;
    });
    Handle graph = BuildGraphFromGraphImage(image, nullptr, 0);
    ASSERT_NE(graph, -1);
    GraphPixels pixels = ReadGraph(graph);
    EXPECT_EQ(pixels.format.alphaMask, 0xFF000000u);
    EXPECT_EQ(pixels.raw[4], 0x000000FFu);  // centre: blue, transparent
    EXPECT_EQ(pixels.raw[3], 0xFFFF0000u);  // opaque pixels keep their colour
    EXPECT_EQ(pixels.raw[0], 0x00FF0000u);  // corner: red (left of it is nothing, below red)
    EXPECT_EQ(pixels.raw[8], 0x000000FFu);  // corner: blue from its left
}

TEST_F(GraphLoadTest, SourcesInMemoryAndImagesLoadAndKeepWhatRestoresThem) {
    StartDevice(32);
    std::mt19937 rng(4);
    std::vector<uint32_t> argb;
    Bytes file = MakeBgraFile(6, 4, false, rng, &argb);
    Bytes alpha = MakeBgraFile(6, 4, false, rng, &argb);
    WriteFile("pic.bgra", file);
    WriteFile("pic_a.bgra", alpha);
    Handle fromFile = LoadImageFileAsGraph("pic.bgra", 0);
    Handle fromMemory = LoadImageMemoryAsGraph(file.data(), uint32_t(file.size()), alpha.data(),
                                               uint32_t(alpha.size()), 0);
    ASSERT_NE(fromFile, -1);
    ASSERT_NE(fromMemory, -1);
    // The "_a" file beside the image gives the alpha, as the alpha memory image does.
    EXPECT_EQ(ReadGraph(fromFile).raw, ReadGraph(fromMemory).raw);
    const GraphRestoreInfo* restore = GetGraphRecord(fromFile, 0)->restoreInfo;
    ASSERT_NE(restore, nullptr);
    std::string path = restore->fileName;
    EXPECT_EQ(path.substr(path.size() - 9), "\\pic.bgra");
    EXPECT_EQ(GetGraphRecord(fromMemory, 0)->restoreInfo->memImageSize, file.size());

    // A mirrored load of the caller's image flips it back afterwards and keeps a copy.
    GraphImage* image = MakeImage(5, 2, [](int x, int y) { return 0x101010u * (x + 1) + y; });
    std::vector<uint32_t> before = ReadAllPixels(image);
    ImageLoadRequest request{};
    CaptureImageLoadSettings(&request);
    request.image = image;
    request.mirror = 1;
    Handle mirrored = SubmitImageLoadRequest(&request, 0, 0);
    ASSERT_NE(mirrored, -1);
    EXPECT_EQ(ReadAllPixels(image), before);
    GraphPixels shown = ReadGraph(mirrored);
    EXPECT_EQ(shown.raw[0] & 0xFFFFFF, before[4] & 0xFFFFFF);
    const GraphImage* copy = GetGraphRecord(mirrored, 0)->restoreInfo->image;
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->pixels, image->pixels);
    EXPECT_EQ(ReadGraphImagePixelARGB(copy, 0, 0) & 0xFFFFFF, before[4] & 0xFFFFFF);

    // Cells share one record; with the no-restore setting nothing is kept.
    Handle cells[3];
    ASSERT_EQ(LoadImageFileAsDivGraphs("pic.bgra", 3, 3, 1, 2, 4, cells, 0), 0);
    EXPECT_EQ(GetGraphRecord(cells[2], 0)->restoreInfo, GetGraphRecord(cells[0], 0)->restoreInfo);
    EXPECT_EQ(GetGraphRecord(cells[0], 0)->restoreInfo->refCount, 3);
    gImageLoadSettings.noRestoreData = 1;
    Handle bare = LoadImageFileAsGraph("pic.bgra", 0);
    EXPECT_EQ(GetGraphRecord(bare, 0)->restoreInfo, nullptr);
}

}  // namespace
