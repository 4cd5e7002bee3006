// Graphs through the public header, on the device and on the software renderer: images loaded
// from memory, sizes, fills, lost flags, screen copies and blend graphs.

#include <algorithm>

#include "public_fixture.h"

namespace {

using GraphsTest = RendererFixture;
INSTANTIATE_TEST_SUITE_P(Renderers, GraphsTest, ::testing::Bool(), RendererName);

Handle GraphsLoad(const std::vector<uint8_t>& image, const std::vector<uint8_t>& alpha = {}) {
    return LoadImageMemoryAsGraph(image.data(), static_cast<uint32_t>(image.size()),
                                  alpha.empty() ? nullptr : alpha.data(),
                                  static_cast<uint32_t>(alpha.size()), 0);
}

uint32_t GraphsTexel(int x, int y) {
    return (x * 8 % 256) << 16 | (y * 4 % 256) << 8 | 0x80;
}

// The same file from memory and from disk; an alpha image; a fill, which on the device only a
// draw target takes, a loaded graph being left as it is.
TEST_P(GraphsTest, AnImageInMemoryGivesThePixelsOfItsFileAndTakesAFill) {
    StartFramework();
    const std::vector<uint8_t> file = BmpImage(40, 24, GraphsTexel);
    WriteBytes("texels.bmp", file);
    const Handle fromFile = LoadImageFileAsGraph("texels.bmp", 0), fromMemory = GraphsLoad(file);
    ASSERT_TRUE(fromFile != -1 && fromMemory != -1);
    EXPECT_EQ(GetGraphMovie(fromMemory), -1);
    int width = 0, height = 0;
    ASSERT_EQ(QueryGraphSize(fromMemory, &width, &height), 0);
    EXPECT_EQ(std::pair(width, height), std::pair(40, 24));
    const std::vector<uint32_t> picture = Show([&] {
        PutGraph(0, 0, fromFile, 0);
        PutGraph(100, 0, fromMemory, 0);
    });
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 40; ++x) {
            ASSERT_TRUE(Near(picture[y * 640 + x], GraphsTexel(x, y))) << x << "," << y;
            ASSERT_EQ(picture[y * 640 + 100 + x], picture[y * 640 + x]) << x << "," << y;
        }
    }
    // The alpha image's red channel: 0 in the left half, which trans then leaves out.
    const Handle halved =
        GraphsLoad(file, BmpImage(40, 24, [](int x, int) { return x < 20 ? 0u : 0xFF0000u; }));
    ASSERT_EQ(ColorFillGraph(fromMemory, 300, 255, -5, 255), 0);
    const std::vector<uint32_t> shown = Show([&] {
        PutBoxFilled(0, 0, 40, 24, PackScreenColor(0, 255, 0));
        PutGraph(0, 0, halved, 1);
        PutGraph(100, 0, fromMemory, 0);
    });
    EXPECT_EQ(shown[5 * 640 + 10], 0x00FF00u);
    EXPECT_EQ(shown[5 * 640 + 30], picture[5 * 640 + 30]);
    EXPECT_TRUE(Near(shown[15 * 640 + 115], GetParam() ? GraphsTexel(15, 15) : 0xFFFF00u));

    EXPECT_EQ(GraphsLoad(file, BmpImage(8, 8, GraphsTexel)), -1);
    EXPECT_EQ(LoadImageMemoryAsGraph(file.data(), 20, nullptr, 0, 0), -1);
    EXPECT_EQ(LoadImageMemoryAsGraph(nullptr, 100, nullptr, 0, 0), -1);
    EXPECT_EQ(QueryGraphSize(halved + 1, &width, &height), -1);
    EXPECT_EQ(ColorFillGraph(halved + 1, 0, 0, 0, 0), -1);
}

TEST_P(GraphsTest, ABoxCopiedIntoAGraphIsDrawnElsewhere) {
    StartFramework();
    const Handle graph = GraphsLoad(BmpImage(32, 16, [](int, int) { return 0x0000FFu; }));
    EraseDrawScreen(nullptr);
    PutBoxFilled(10, 20, 30, 30, PackScreenColor(255, 255, 0));
    // The box's corner at (10, 20) lands at (4, 2) of the graph; the rest is the background.
    ASSERT_EQ(CopyScreenRectToGraph(kBackScreen, 6, 18, 22, 28, 0, 0, graph), 0);
    EXPECT_EQ(CopyScreenRectToGraph(kBackScreen, 630, 0, 650, 4, 0, 0, graph), -1);
    EXPECT_EQ(CopyScreenRectToGraph(kBackScreen, 6, 18, 22, 28, 20, 0, graph), -1);
    EXPECT_EQ(CopyDrawScreenToGraph(0, 0, 32, 15, graph), -1);
    const std::vector<uint32_t> picture = Show([&] { PutGraph(300, 200, graph, 0); });
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x) {
            const bool copied = x < 16 && y < 10, box = copied && x >= 4 && y >= 2;
            const uint32_t expected = box ? 0xFFFF00u : copied ? 0u : 0x0000FFu;
            ASSERT_EQ(picture[(200 + y) * 640 + 300 + x], expected) << x << "," << y;
        }
    }
    // A rectangle of the draw screen, the graph drawn there, into a graph of its size.
    ASSERT_EQ(CopyDrawScreenToGraph(296, 198, 328, 214, graph), 0);
    const std::vector<uint32_t> again = Show([&] { PutGraph(0, 0, graph, 0); });
    EXPECT_EQ(again[6 * 640 + 12], 0xFFFF00u);
    EXPECT_EQ(again[1 * 640 + 1], 0u);
}

TEST_P(GraphsTest, ALostFlagTellsThatItsGraphWasDeleted) {
    StartFramework();
    const std::vector<uint8_t> file = BmpImage(8, 8, GraphsTexel);
    const Handle disposed = GraphsLoad(file), kept = GraphsLoad(file);
    int disposedLost = -1, keptLost = -1;
    ASSERT_EQ(AttachGraphLostFlag(disposed, &disposedLost), 0);
    ASSERT_EQ(AttachGraphLostFlag(kept, &keptLost), 0);
    ASSERT_EQ(DisposeGraph(disposed), 0);
    EXPECT_EQ(disposedLost, 1);
    EXPECT_EQ(keptLost, 0);
    EXPECT_EQ(AttachGraphLostFlag(disposed, &disposedLost), -1);
    // A screen-mode change deletes every graph.
    ASSERT_EQ(ChangeWindowMode(0), 0);
    EXPECT_EQ(keptLost, 1);
    EXPECT_EQ(QueryGraphSize(kept, nullptr, nullptr), -1);
}

// A white graph drawn over black under a blend graph loaded as a picture, a grey ramp (value x
// at column x): the wipe's edge follows the threshold, and the weighting types 0 and 2 weight by
// the value, alike on both renderers and under every blend mode.
TEST_P(GraphsTest, ABlendGraphWipesAndWeightsByItsValue) {
    StartFramework();
    const Handle ramp = GraphsLoad(BmpImage(256, 8, [](int x, int) { return 0x010101u * x; }));
    const Handle white = GraphsLoad(BmpImage(256, 8, [](int, int) { return 0xFFFFFFu; }));
    const Handle wide = GraphsLoad(BmpImage(300, 8, [](int, int) { return 0xFFFFFFu; }));
    auto line = [&](int mode = BlendOpaque) {
        ChangeBlendMode(mode, 255);
        const std::vector<uint32_t> picture = Show([&] { PutGraph(0, 0, white, 0); });
        ChangeBlendMode(BlendOpaque, 0);
        return std::vector<uint32_t>(picture.begin(), picture.begin() + 256);
    };
    // A hard edge: values below the threshold keep the black screen, those above show white;
    // 255 shows nothing.
    for (int threshold : {0, 128, 255}) {
        ASSERT_EQ(AttachBlendGraph(ramp, threshold, 0), 0);
        const std::vector<uint32_t> hard = line();
        for (int x = 0; x < 256; ++x) {
            if (x == 128 && threshold == 128) continue;
            const bool shows = x >= threshold && threshold < 255;
            ASSERT_TRUE(Near(hard[x], shows ? 0xFFFFFFu : 0u)) << threshold << " " << x;
        }
    }
    // A soft edge of 64 values: dark below it, rising through it, white above.
    ASSERT_EQ(AttachBlendGraph(ramp, 128, 64), 0);
    const std::vector<uint32_t> soft = line();
    for (int x = 1; x < 256; ++x) ASSERT_GE(soft[x] & 0xFF, soft[x - 1] & 0xFF) << x;
    EXPECT_EQ(soft[90], 0u);
    EXPECT_TRUE(Near(soft[170], 0xFFFFFFu));
    EXPECT_NEAR(static_cast<int>(soft[128] & 0xFF), 0x80, 0x3F);

    for (int mode : {BlendOpaque, BlendTranslucent}) {
        ASSERT_EQ(SetBlendGraph(ramp, 2, 0, 0), 0);
        const std::vector<uint32_t> full = line(mode);
        ASSERT_EQ(SetBlendGraph(ramp, 0, 128, 0), 0);
        const std::vector<uint32_t> half = line(mode);
        for (int x : {0, 64, 200, 255}) {
            EXPECT_NEAR(static_cast<int>(full[x] & 0xFF), x, 8) << mode << " " << x;
            EXPECT_NEAR(static_cast<int>(half[x] & 0xFF), x / 2, 8) << mode << " " << x;
        }
    }
    // New pixels copied into the blend graph weight once it is set again.
    EraseDrawScreen(nullptr);
    ASSERT_EQ(CopyScreenRectToGraph(kBackScreen, 0, 0, 256, 8, 0, 0, ramp), 0);
    ASSERT_EQ(SetBlendGraph(ramp, 2, 0, 0), 0);
    EXPECT_EQ(line()[200] & 0xFF, 0u);
    EXPECT_EQ(PutGraph(0, 0, wide, 0), -1);
    EXPECT_EQ(SetBlendGraph(ramp, 3, 0, 0), -1);
    EXPECT_EQ(SetBlendGraph(ramp + 1, 0, 0, 0), -1);
    ASSERT_EQ(SetBlendGraph(-1, 0, 0, 0), 0);
    EXPECT_EQ(PutGraph(0, 0, wide, 0), 0);
}

// A load whose image was read but whose graph could not be made (here an alpha file of another
// size than its image) says so, naming the file as a missing one is named: alone, divided and on
// the workers; an asynchronous load of a path too long to open says what a direct one says.
TEST_P(GraphsTest, ALoadThatFailsAfterReadingItsImageSaysSoInTheLog) {
    StartFramework();
    WriteBytes("odd.bmp", BmpImage(8, 8, GraphsTexel));
    WriteBytes("odd_a.bmp", BmpImage(4, 4, GraphsTexel));
    Handle cells[4];
    EXPECT_EQ(LoadImageFileAsGraph("odd.bmp", 0), -1);
    EXPECT_EQ(LoadImageFileAsDivGraphs("odd.bmp", 4, 2, 2, 4, 4, cells, 0), -1);
    ASSERT_EQ(SwitchAsyncLoad(1), 0);
    const Handle pending = LoadImageFileAsGraph("odd.bmp", 0);
    ASSERT_GE(PumpUntilLoadsEnd(), 0);
    EXPECT_EQ(IsGraphLoading(pending), -1);
    const std::string tooLong(1100, 'a');
    EXPECT_EQ(LoadImageFileAsGraph(tooLong.c_str(), 0), -1);

    const std::string log = ReadLog();
    // A worker names the file by its full path.
    const std::string line = "odd.bmp からのグラフィックの作成に失敗しました\r\n";
    int lines = 0;
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) lines++;
    EXPECT_EQ(lines, 3);
    // The line is cut at the log's 1,024 bytes.
    EXPECT_NE(log.find("画像ファイル " + tooLong.substr(0, 500)), std::string::npos);
}

// A small graph turned and mirrored covers pixels, on both renderers: mirrored through two
// triangles, the software renderer lost the first row of an image upside down, all of a graph
// one row high. Mirrored, the right texel shows on the left.
TEST_P(GraphsTest, ASmallGraphTurnedAndMirroredCoversPixels) {
    StartFramework();
    const Handle pair =
        GraphsLoad(BmpImage(2, 1, [](int x, int) { return x == 0 ? 0xFF0000u : 0x0000FFu; }));
    for (int turn : {0, 1}) {
        for (double angle : {0.0, 1.5707963, 3.1415927, 4.712389}) {
            const std::vector<uint32_t> picture =
                Show([&] { PutGraphRotated(100, 100, 1.5, angle, pair, 0, turn); });
            EXPECT_GT(640 * 480 - std::count(picture.begin(), picture.end(), 0u), 0)
                << turn << " " << angle;
        }
    }
    const std::vector<uint32_t> mirrored =
        Show([&] { PutGraphRotated(100, 100, 1.5, 0.0, pair, 0, 1); });
    const auto first = std::find_if(mirrored.begin(), mirrored.end(), [](uint32_t p) { return p; });
    ASSERT_NE(first, mirrored.end());
    const auto last =
        std::find_if(mirrored.rbegin(), mirrored.rend(), [](uint32_t p) { return p; });
    EXPECT_TRUE(Near(*first, 0x0000FFu));
    EXPECT_TRUE(Near(*last, 0xFF0000u));
}

}  // namespace
