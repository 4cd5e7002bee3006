// Graphs through the public header, on the device and on the software renderer: images loaded
// from memory, sizes, lost flags, fills, screen copies and blend graphs.

#include <fstream>
#include <functional>

#include "public_fixture.h"

namespace {

// An uncompressed 24-bit BMP file of the picture, colour(x, y) = 0x00RRGGBB.
std::vector<uint8_t> GraphsBmp(int width, int height,
                               const std::function<uint32_t(int, int)>& colour) {
    const int rowBytes = (width * 3 + 3) & ~3;
    const uint32_t pixelBytes = static_cast<uint32_t>(rowBytes * height);
    std::vector<uint8_t> file(54 + pixelBytes);
    auto put = [&](size_t at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    file[0] = 'B', file[1] = 'M';
    put(2, static_cast<uint32_t>(file.size()), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<uint32_t>(width), 4);
    put(22, static_cast<uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    put(34, pixelBytes, 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            put(54 + (height - 1 - y) * rowBytes + x * 3, colour(x, y), 3);
    }
    return file;
}

Handle GraphsLoad(const std::vector<uint8_t>& image) {
    return LoadImageMemoryAsGraph(image.data(), static_cast<uint32_t>(image.size()), nullptr, 0, 0);
}

// Each case runs on the Direct3D device (true) and on the software renderer (false).
class GraphsTest : public PublicFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        PublicFixture::SetUp();
        SwitchHardwareRendering(GetParam() ? 1 : 0);
        StartFramework();
    }
    void TearDown() override {
        PublicFixture::TearDown();
        SwitchHardwareRendering(1);
    }
    std::vector<uint32_t> Show(const std::function<void()>& draw) {
        int width = 0, height = 0;
        std::vector<uint32_t> picture = DrawAndShow(draw, &width, &height);
        EXPECT_EQ(width, 640);
        picture.resize(640 * 480);
        return picture;
    }
};

INSTANTIATE_TEST_SUITE_P(Renderers, GraphsTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Device" : "Software"; });

uint32_t GraphsTexel(int x, int y) {
    return (x * 8 % 256) << 16 | (y * 4 % 256) << 8 | 0x80;
}

// Channel by channel within a 16-bit screen's step of the expected colour.
bool GraphsNear(uint32_t shown, uint32_t expected) {
    for (int shift = 0; shift < 24; shift += 8) {
        int a = static_cast<int>(shown >> shift & 255),
            b = static_cast<int>(expected >> shift & 255);
        if (a - b > 8 || b - a > 8) return false;
    }
    return true;
}

TEST_P(GraphsTest, AnImageInMemoryGivesThePixelsOfItsFile) {
    const std::vector<uint8_t> bmp = GraphsBmp(40, 24, GraphsTexel);
    std::ofstream("texels.bmp", std::ios::binary)
        .write(reinterpret_cast<const char*>(bmp.data()), static_cast<std::streamsize>(bmp.size()));
    const Handle fromFile = LoadImageFileAsGraph("texels.bmp", 0);
    const Handle fromMemory = GraphsLoad(bmp);
    ASSERT_NE(fromFile, -1);
    ASSERT_NE(fromMemory, -1);
    int width = 0, height = 0;
    ASSERT_EQ(QueryGraphSize(fromMemory, &width, &height), 0);
    EXPECT_EQ(width, 40);
    EXPECT_EQ(height, 24);
    ASSERT_EQ(QueryGraphSize(kBackScreen, &width, nullptr), 0);
    EXPECT_EQ(width, 640);
    const std::vector<uint32_t> picture = Show([&] {
        PutGraph(0, 0, fromFile, 0);
        PutGraph(100, 0, fromMemory, 0);
    });
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 40; ++x) {
            ASSERT_TRUE(GraphsNear(picture[y * 640 + x], GraphsTexel(x, y))) << x << "," << y;
            ASSERT_EQ(picture[y * 640 + 100 + x], picture[y * 640 + x]) << x << "," << y;
        }
    }
    // The alpha image's red channel: 0 in the left half, which trans then leaves out.
    const std::vector<uint8_t> alpha =
        GraphsBmp(40, 24, [](int x, int) { return x < 20 ? 0x000000u : 0xFF0000u; });
    const Handle halved =
        LoadImageMemoryAsGraph(bmp.data(), static_cast<uint32_t>(bmp.size()), alpha.data(),
                               static_cast<uint32_t>(alpha.size()), 0);
    ASSERT_NE(halved, -1);
    const std::vector<uint32_t> keyed = Show([&] {
        PutBoxFilled(0, 0, 40, 24, PackScreenColor(0, 255, 0));
        PutGraph(0, 0, halved, 1);
    });
    EXPECT_EQ(keyed[5 * 640 + 10], 0x00FF00u);
    EXPECT_EQ(keyed[5 * 640 + 30], picture[5 * 640 + 30]);

    const std::vector<uint8_t> other = GraphsBmp(8, 8, GraphsTexel);
    EXPECT_EQ(LoadImageMemoryAsGraph(bmp.data(), static_cast<uint32_t>(bmp.size()), other.data(),
                                     static_cast<uint32_t>(other.size()), 0),
              -1);
    EXPECT_EQ(LoadImageMemoryAsGraph(bmp.data(), 20, nullptr, 0, 0), -1);
    EXPECT_EQ(LoadImageMemoryAsGraph(nullptr, 100, nullptr, 0, 0), -1);
    EXPECT_EQ(QueryGraphSize(fromFile + 1, &width, &height), -1);
}

TEST_P(GraphsTest, ABoxCopiedIntoAGraphIsDrawnElsewhere) {
    const Handle graph = GraphsLoad(GraphsBmp(32, 16, [](int, int) { return 0x0000FFu; }));
    ASSERT_NE(graph, -1);
    EraseDrawScreen(nullptr);
    PutBoxFilled(10, 20, 30, 30, PackScreenColor(255, 255, 0));
    // The box's corner at (10, 20) lands at (4, 2) of the graph; the rest is the background.
    ASSERT_EQ(CopyScreenRectToGraph(kBackScreen, 6, 18, 22, 28, 0, 0, graph), 0);
    EXPECT_EQ(CopyScreenRectToGraph(kBackScreen, 6, 18, 40, 28, 0, 0, graph), -1);
    EXPECT_EQ(CopyScreenRectToGraph(kBackScreen, 630, 0, 650, 4, 0, 0, graph), -1);
    EXPECT_EQ(CopyScreenRectToGraph(kBackScreen, 6, 18, 22, 28, 20, 0, graph), -1);
    EXPECT_EQ(CopyDrawScreenToGraph(0, 0, 32, 15, graph), -1);
    const std::vector<uint32_t> picture = Show([&] { PutGraph(300, 200, graph, 0); });
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x) {
            const bool copied = x < 16 && y < 10;
            const bool box = copied && x >= 4 && y >= 2;
            const uint32_t expected = box ? 0xFFFF00u : copied ? 0u : 0x0000FFu;
            ASSERT_EQ(picture[(200 + y) * 640 + 300 + x], expected) << x << "," << y;
        }
    }
    // The draw screen whole, into a graph of its size.
    ASSERT_EQ(CopyDrawScreenToGraph(296, 198, 328, 214, graph), 0);
    const std::vector<uint32_t> again = Show([&] { PutGraph(0, 0, graph, 0); });
    EXPECT_EQ(again[(2 + 4) * 640 + 4 + 8], 0xFFFF00u);
    EXPECT_EQ(again[1 * 640 + 1], 0u);
}

// A graph of the software renderer takes the fill; on the device only a draw target does, and a
// loaded graph is left as it is.
TEST_P(GraphsTest, AFillReachesSoftwareGraphsAndLeavesLoadedTexturesAsTheyAre) {
    const Handle graph = GraphsLoad(GraphsBmp(16, 16, GraphsTexel));
    ASSERT_NE(graph, -1);
    ASSERT_EQ(ColorFillGraph(graph, 300, 255, -5, 255), 0);
    const std::vector<uint32_t> picture = Show([&] { PutGraph(50, 50, graph, 0); });
    for (int at : {0, 15}) {
        EXPECT_TRUE(GraphsNear(picture[(50 + at) * 640 + 50 + at],
                               GetParam() ? GraphsTexel(at, at) : 0xFFFF00u))
            << at;
    }
    EXPECT_EQ(ColorFillGraph(graph + 1, 0, 0, 0, 0), -1);
}

TEST_P(GraphsTest, ALostFlagTellsThatItsGraphWasDeleted) {
    const std::vector<uint8_t> bmp = GraphsBmp(8, 8, GraphsTexel);
    const Handle disposed = GraphsLoad(bmp), kept = GraphsLoad(bmp);
    int disposedLost = -1, keptLost = -1;
    ASSERT_EQ(AttachGraphLostFlag(disposed, &disposedLost), 0);
    ASSERT_EQ(AttachGraphLostFlag(kept, &keptLost), 0);
    EXPECT_EQ(disposedLost, 0);
    ASSERT_EQ(DisposeGraph(disposed), 0);
    EXPECT_EQ(disposedLost, 1);
    EXPECT_EQ(keptLost, 0);
    EXPECT_EQ(AttachGraphLostFlag(disposed, &disposedLost), -1);
    // A screen-mode change deletes every graph.
    ASSERT_EQ(ChangeWindowMode(0), 0);
    EXPECT_EQ(keptLost, 1);
    EXPECT_EQ(QueryGraphSize(kept, nullptr, nullptr), -1);
}

// A white graph over a grey ramp (value x at column x) set as blend graph: the wipe's edge
// follows the threshold.
TEST_P(GraphsTest, ABlendGraphWipesAsItsThresholdRises) {
    const Handle ramp = GraphsLoad(GraphsBmp(256, 32, [](int x, int) { return 0x010101u * x; }));
    const Handle white = GraphsLoad(GraphsBmp(256, 32, [](int, int) { return 0xFFFFFFu; }));
    ASSERT_NE(ramp, -1);
    ASSERT_NE(white, -1);
    auto row = [&](int threshold, int width) {
        EXPECT_EQ(AttachBlendGraph(ramp, threshold, width), 0);
        std::vector<uint32_t> picture = Show([&] { PutGraph(0, 100, white, 0); });
        AttachBlendGraph(-1, 0, 0);
        return std::vector<uint32_t>(picture.begin() + 110 * 640,
                                     picture.begin() + 110 * 640 + 256);
    };
    // A hard edge: values below the threshold keep the black screen, those above show white.
    for (int threshold : {0, 64, 128, 200}) {
        const std::vector<uint32_t> line = row(threshold, 0);
        for (int x = 0; x < 256; ++x) {
            if (x == threshold && threshold != 0) continue;
            ASSERT_TRUE(GraphsNear(line[x], x < threshold ? 0u : 0xFFFFFFu))
                << threshold << " " << x;
        }
    }
    const std::vector<uint32_t> none = row(255, 0);
    for (int x = 0; x < 256; ++x) ASSERT_LE(none[x] & 0xFF, 8u) << x;
    // A soft edge of 64 values: dark below it, rising through it, white above.
    const std::vector<uint32_t> soft = row(128, 64);
    for (int x = 1; x < 256; ++x) ASSERT_GE(soft[x] & 0xFF, soft[x - 1] & 0xFF) << x;
    EXPECT_EQ(soft[90], 0u);
    EXPECT_TRUE(GraphsNear(soft[170], 0xFFFFFFu));
    EXPECT_GT(soft[128] & 0xFF, 0x40u);
    EXPECT_LT(soft[128] & 0xFF, 0xC0u);
}

TEST_P(GraphsTest, ABlendGraphWeightsByItsValueAndRefusesWhatItCannotCover) {
    const Handle ramp = GraphsLoad(GraphsBmp(256, 8, [](int x, int) { return 0x010101u * x; }));
    const Handle white = GraphsLoad(GraphsBmp(256, 8, [](int, int) { return 0xFFFFFFu; }));
    const Handle wide = GraphsLoad(GraphsBmp(300, 8, [](int, int) { return 0xFFFFFFu; }));
    auto line = [&](int type, int param, int mode) {
        EXPECT_EQ(SetBlendGraph(ramp, type, param, 0), 0);
        ChangeBlendMode(mode, 255);
        std::vector<uint32_t> picture = Show([&] { PutGraph(0, 0, white, 0); });
        ChangeBlendMode(BlendOpaque, 0);
        return picture;
    };
    for (int mode : {BlendOpaque, BlendTranslucent}) {
        const std::vector<uint32_t> full = line(2, 0, mode);
        const std::vector<uint32_t> half = line(0, 128, mode);
        for (int x : {0, 64, 200, 255}) {
            EXPECT_NEAR(static_cast<int>(full[x] & 0xFF), x, 8) << mode << " " << x;
            EXPECT_NEAR(static_cast<int>(half[x] & 0xFF), x / 2, 8) << mode << " " << x;
        }
    }
    // New pixels copied into the blend graph weight once it is set again.
    EraseDrawScreen(nullptr);
    ASSERT_EQ(CopyScreenRectToGraph(kBackScreen, 0, 0, 256, 8, 0, 0, ramp), 0);
    EXPECT_EQ(line(2, 0, BlendOpaque)[200] & 0xFF, 0u);
    EXPECT_EQ(PutGraph(0, 0, wide, 0), -1);
    EXPECT_EQ(SetBlendGraph(ramp, 3, 0, 0), -1);
    EXPECT_EQ(SetBlendGraph(ramp, -1, 0, 0), -1);
    EXPECT_EQ(SetBlendGraph(ramp + 1, 0, 0, 0), -1);
    ASSERT_EQ(SetBlendGraph(-1, 0, 0, 0), 0);
    EXPECT_EQ(PutGraph(0, 0, wide, 0), 0);
}

}  // namespace
