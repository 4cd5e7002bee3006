// Graph restore after the device is made anew, copies of a screen rectangle into graphs and
// colour fills, on the device and in software mode.
#include "graphics/graph_restore.h"

#include <gtest/gtest.h>
#include <platform/testing_d3d9.h>

#include <random>
#include <string>
#include <vector>

#include "graph_fixture.h"
#include "graphics/graphics_system.h"
#include "media/image_writers.h"

using Bytes = std::vector<uint8_t>;

namespace {

class GraphRestoreTest : public GraphFixture {
protected:
    // The pixels' colours as 0xRRGGBB.
    static std::vector<uint32_t> Colours(const ColorFormat& format,
                                         const std::vector<uint32_t>& raw) {
        std::vector<uint32_t> out;
        for (uint32_t v : raw) {
            int r = 0, g = 0, b = 0;
            UnpackColorForFormat(&format, v, &r, &g, &b, nullptr);
            out.push_back(uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b));
        }
        return out;
    }

    static std::vector<uint32_t> GraphColours(Handle graph) {
        GraphPixels p = ReadGraph(graph);
        return Colours(p.format, p.raw);
    }

    // The back screen's rectangle, as colours.
    static std::vector<uint32_t> ScreenColours(RECT rect) {
        GraphImage image{};
        EXPECT_EQ(OpenScreenPixelAccess(&rect, &image, kBackScreen, 1, 0), 0);
        std::vector<uint32_t> raw;
        for (int y = 0; image.pixels != nullptr && y < rect.bottom - rect.top; ++y) {
            for (int x = 0; x < rect.right - rect.left; ++x) {
                const uint8_t* at = static_cast<const uint8_t*>(image.pixels) +
                                    static_cast<size_t>(y) * image.pitch +
                                    static_cast<size_t>(x) * image.format.pixelBytes;
                raw.push_back(LoadPixelValue(at, image.format.pixelBytes));
            }
        }
        ColorFormat format = image.format;
        CloseScreenPixelAccess();
        return Colours(format, raw);
    }

    // A graph of the size from an image of one colour.
    Handle Plain(int width, int height, uint32_t colour) {
        return BuildGraphFromGraphImage(MakeImage(width, height, [=](int, int) { return colour; }),
                                        nullptr, 0);
    }

    // Four boxes of different colours over the top-left 40 x 40 of the back screen, erased
    // in the background colour.
    static void DrawBoxes() {
        ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
        const struct {
            RECT rect;
            uint8_t red, green, blue;
        } boxes[] = {{{0, 0, 20, 20}, 255, 0, 0},
                     {{20, 0, 40, 20}, 0, 255, 0},
                     {{0, 20, 20, 40}, 0, 0, 255},
                     {{20, 20, 40, 40}, 255, 255, 255}};
        for (const auto& box : boxes) {
            gScreen.backgroundRed = box.red;
            gScreen.backgroundGreen = box.green;
            gScreen.backgroundBlue = box.blue;
            ASSERT_EQ(EraseDrawScreen(&box.rect), 0);
        }
    }

    // Copies (10, 12)-(30, 28) of the back screen to (4, 6) of a 32 x 32 graph and checks it
    // against the screen; the rest of the graph keeps its grey.
    void CopyBoxesInto(Handle graph) {
        DrawBoxes();
        ASSERT_EQ(CopyScreenRectToGraph(kBackScreen, 10, 12, 30, 28, 4, 6, graph), 0);
        std::vector<uint32_t> screen = ScreenColours({10, 12, 30, 28});
        ASSERT_EQ(screen.front(), 0xFF0000u);
        ASSERT_EQ(screen.back(), 0xFFFFFFu);
        std::vector<uint32_t> shown = GraphColours(graph);
        ASSERT_EQ(shown.size(), 32u * 32u);
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                bool inside = x >= 4 && x < 24 && y >= 6 && y < 22;
                uint32_t want = inside ? screen[size_t(y - 6) * 20 + x - 4] : 0x808080;
                ASSERT_EQ(shown[size_t(y) * 32 + x], want) << x << "," << y;
            }
        }
        // Outside the screen or the graph, or empty: refused.
        EXPECT_EQ(CopyScreenRectToGraph(kBackScreen, 10, 12, 30, 28, 13, 0, graph), -1);
        EXPECT_EQ(CopyScreenRectToGraph(kBackScreen, 10, 12, 10, 28, 0, 0, graph), -1);
        EXPECT_EQ(CopyScreenRectToGraph(kBackScreen, -1, 0, 8, 8, 0, 0, graph), -1);
        EXPECT_EQ(CopyScreenRectToGraph(kBackScreen, 630, 0, 650, 8, 0, 0, graph), -1);
        EXPECT_EQ(CopyScreenRectToGraph(kBackScreen, 0, 0, 8, 8, 0, 0, -1), -1);
    }
};

TEST_F(GraphRestoreTest, ARebuiltDeviceShowsEveryGraphAsBefore) {
    StartDevice(32);
    std::mt19937 rng(9);
    std::vector<uint16_t> samples(24 * 20 * 3);
    for (uint16_t& s : samples) s = static_cast<uint16_t>(rng() % 256);
    WriteFile("file.png", MakePngFile(PngOptions{}, 24, 20, samples, {}, {}));
    Handle fromFile = LoadImageFileAsGraph("file.png", 0);
    // Written from the caller's image, which goes at once: the graph restores from a copy.
    GraphImage image{};
    AllocGraphImageXRGB32(30, 10, &image);
    for (int i = 0; i < 30 * 10; ++i) static_cast<uint32_t*>(image.pixels)[i] = 0xFF000000u | i;
    Handle fromImage = Plain(30, 10, 0x808080);
    ASSERT_EQ(TransferGraphImageToGraph(&image, nullptr, 0, 0, fromImage), 0);
    gImageLoadSettings.noRestoreData = 1;
    Handle unrestored = Plain(30, 10, 0x808080);
    ASSERT_EQ(TransferGraphImageToGraph(&image, nullptr, 0, 0, unrestored), 0);
    gImageLoadSettings.noRestoreData = 0;
    FreeGraphImage(&image);
    std::vector<uint32_t> file = GraphColours(fromFile), kept = GraphColours(fromImage);
    ASSERT_EQ(GraphColours(unrestored), kept);

    ASSERT_EQ(RecreateDeviceKeepingMode(), 0);
    EXPECT_EQ(GraphColours(fromFile), file);
    EXPECT_EQ(GraphColours(fromImage), kept);
    // Without restore data the graph keeps its textures but not what they showed.
    EXPECT_EQ(GraphColours(unrestored), std::vector<uint32_t>(300, 0));
}

TEST_F(GraphRestoreTest, AScreenRectangleIsCopiedIntoAGraphOnTheDevice) {
    StartDevice(32);
    CopyBoxesInto(Plain(32, 32, 0x808080));
    gDrawSettings.graphCreate.drawTarget = 1;
    Handle target = Plain(32, 32, 0x808080);
    ASSERT_EQ(IsDrawTargetGraph(GetGraphRecord(target, 0)), 1);
    CopyBoxesInto(target);
}

TEST_F(GraphRestoreTest, AScreenRectangleIsCopiedIntoAGraphInSoftwareMode) {
    StartSoftware(32);
    CopyBoxesInto(Plain(32, 32, 0x808080));
}

TEST_F(GraphRestoreTest, TheDrawScreenIsCopiedIntoAGraphOfItsSize) {
    StartDevice(32);
    Handle graph = Plain(20, 16, 0x808080);
    DrawBoxes();
    EXPECT_EQ(CopyDrawScreenToGraph(10, 12, 31, 28, graph), -1);
    ASSERT_EQ(CopyDrawScreenToGraph(10, 12, 30, 28, graph), 0);
    EXPECT_EQ(GraphColours(graph), ScreenColours({10, 12, 30, 28}));
}

TEST_F(GraphRestoreTest, AColourFillReachesDrawTargetsAndSoftwareGraphsOnly) {
    StartDevice(32);
    Handle plain = Plain(8, 8, 0x808080);
    gDrawSettings.graphCreate.drawTarget = 1;
    Handle target = Plain(40, 8, 0x808080);
    // Channels are clamped to 0..255.
    EXPECT_EQ(ColorFillGraph(target, 300, 16, -5, 255, 0), 0);
    EXPECT_EQ(GraphColours(target), std::vector<uint32_t>(40 * 8, 0xFF1000));
    EXPECT_EQ(ColorFillGraph(plain, 0, 0, 0, 255, 0), 0);
    EXPECT_EQ(GraphColours(plain), std::vector<uint32_t>(64, 0x808080));
    EXPECT_EQ(ColorFillGraph(-1, 0, 0, 0, 255, 0), -1);
    ShutdownLibrary();

    StartSoftware(32);
    Handle soft = Plain(8, 8, 0x808080);
    EXPECT_EQ(ColorFillGraph(soft, 16, 32, 300, 0, 0), 0);
    EXPECT_EQ(GraphColours(soft), std::vector<uint32_t>(64, 0x1020FF));
}

}  // namespace

namespace {

// Every level of every texture of the graph's texture set, as the device holds them.
std::vector<std::vector<DWORD>> TextureSetTexels(Handle graph) {
    std::vector<std::vector<DWORD>> out;
    const GraphRecord* record = GetGraphRecord(graph, 0);
    if (record == nullptr) return out;
    const GraphTextureInfo& info = *record->textureInfo;
    for (int i = 0; i < info.pieceCount; ++i) {
        IDirect3DTexture9* texture = info.pieces[i].texture;
        for (DWORD level = 0; level < texture->GetLevelCount(); ++level) {
            IDirect3DSurface9* surface = nullptr;
            EXPECT_EQ(texture->GetSurfaceLevel(level, &surface), D3D_OK);
            out.push_back(TestD3d9ReadSurface(surface, nullptr, nullptr));
            surface->Release();
        }
    }
    return out;
}

// Cells come back from the device's loss as they were loaded, also where they cannot be written
// one by one: DXT blocks, mip levels, cells straddling texture pieces, mirrored cells.
TEST_F(GraphRestoreTest, CellsAndGraphsComeBackAsTheyWereLoaded) {
    StartDevice(32);
    std::mt19937 rng(5);
    for (const char* dxt : {"DXT1", "DXT5"}) {
        Bytes blocks(size_t(6) * 5 * (dxt[3] == '1' ? 8 : 16));
        for (uint8_t& b : blocks) b = static_cast<uint8_t>(rng());
        WriteFile((std::string(dxt) + ".dds").c_str(),
                  MakeDdsFile(24, 20, 4, FourCC(dxt), 0, nullptr, 0, blocks));
    }
    const uint32_t masks[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    Bytes levels(size_t(24 * 20 + 12 * 10 + 6 * 5) * 4);
    for (uint8_t& b : levels) b = static_cast<uint8_t>(rng());
    WriteFile("mips.dds", MakeDdsFile(24, 20, 0x41, 0, 32, masks, 3, levels));
    std::vector<uint32_t> argb;
    WriteFile("wide.tga", MakeTgaFile(TgaOptions{2, 24, 0x20}, 40, 20, rng, &argb));

    struct Load {
        const char* file;
        int mirror, maxTextureSize;
    } loads[] = {{"DXT1.dds", 0, 0},
                 {"DXT5.dds", 0, 0},
                 {"mips.dds", 0, 0},
                 {"wide.tga", 0, 16},
                 {"wide.tga", 1, 16}};
    std::vector<Handle> graphs;
    for (const Load& load : loads) {
        gDrawSettings.graphCreate.maxTextureSize = load.maxTextureSize;
        Handle cells[3] = {};
        ImageLoadRequest request{};
        CaptureImageLoadSettings(&request);
        request.fileName = load.file;
        request.cellCount = 3;
        request.cellsAcross = request.cellsDown = 2;
        request.cellWidth = 12;
        request.cellHeight = 10;
        request.cells = cells;
        request.mirror = load.mirror;
        ASSERT_EQ(SubmitDivImageLoadRequest(&request, 0), 0) << load.file;
        graphs.insert(graphs.end(), cells, cells + 3);
        graphs.push_back(LoadImageFileAsGraph(load.file, 0));
        ASSERT_NE(graphs.back(), -1) << load.file;
    }
    ASSERT_GT(GetGraphRecord(graphs[8], 0)->textureInfo->pieces[0].texture->GetLevelCount(), 1u);
    std::vector<std::vector<std::vector<DWORD>>> loaded;
    for (Handle g : graphs) loaded.push_back(TextureSetTexels(g));

    ASSERT_EQ(RecreateDeviceKeepingMode(), 0);
    for (size_t i = 0; i < graphs.size(); ++i) {
        EXPECT_EQ(TextureSetTexels(graphs[i]), loaded[i])
            << loads[i / 4].file << " mirror " << loads[i / 4].mirror << " graph " << i % 4;
    }
}

// A texture set whose graphs restore from different sources, or that reaches beyond the image
// its last graph restores from, is refilled graph by graph.
TEST_F(GraphRestoreTest, GraphsOnOneTextureSetKeepTheirOwnSources) {
    StartDevice(32);
    GraphImage* file = MakeImage(24, 20, [](int x, int y) { return uint32_t(x << 16 | y << 8); });
    std::vector<uint16_t> samples;
    for (int i = 0; i < 24 * 20; ++i) {
        uint32_t p = static_cast<const uint32_t*>(file->pixels)[i];
        samples.insert(samples.end(), {uint16_t(p >> 16 & 0xFF), uint16_t(p >> 8 & 0xFF), 0});
    }
    WriteFile("cells.png", MakePngFile(PngOptions{}, 24, 20, samples, {}, {}));
    Handle cells[4] = {};
    ASSERT_EQ(LoadImageFileAsDivGraphs("cells.png", 4, 2, 2, 12, 10, cells, 0), 0);
    GraphImage* other = MakeImage(12, 10, [](int x, int y) { return uint32_t(0x80 | x << 8 | y); });
    ASSERT_EQ(TransferGraphImageToGraph(other, nullptr, 0, 0, cells[3]), 0);
    std::vector<std::vector<uint32_t>> shown;
    for (Handle c : cells) shown.push_back(GraphColours(c));

    ASSERT_EQ(RecreateDeviceKeepingMode(), 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(GraphColours(cells[i]), shown[i]) << "cell " << i;

    // Alone on the whole image's textures, the cell restores from its 12 x 10 copy.
    for (int i = 0; i < 3; ++i) DisposeGraph(cells[i]);
    ASSERT_EQ(RecreateDeviceKeepingMode(), 0);
    EXPECT_EQ(GraphColours(cells[3]), shown[3]);
}

// A device that cannot make a graph's textures again (here: smaller textures than the graph's
// pieces) leaves the graph without them; the restore and later transfers into it fail instead of
// writing into textures that are not there.
TEST_F(GraphRestoreTest, AGraphWhoseTexturesCannotBeMadeAgainRefusesTransfers) {
    StartDevice(32);
    std::vector<uint16_t> samples(32 * 32 * 3, 200);
    WriteFile("large.png", MakePngFile(PngOptions{}, 32, 32, samples, {}, {}));
    Handle graph = LoadImageFileAsGraph("large.png", 0);
    ASSERT_NE(graph, -1);
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.maxTextureSize = 16;
    TestD3d9SetProfile(profile);
    ASSERT_EQ(RecreateDeviceKeepingMode(), 0);
    ASSERT_EQ(GetGraphRecord(graph, 0)->textureInfo->pieces[0].texture, nullptr);
    GraphImage* image = MakeImage(32, 32, [](int, int) { return 0x102030u; });
    EXPECT_EQ(TransferGraphImageToGraph(image, nullptr, 0, 0, graph), -1);
}

}  // namespace
