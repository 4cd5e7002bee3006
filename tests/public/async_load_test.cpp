// Asynchronous loading through the public header: images, divided graphs and sounds loaded on
// the workers while a loading screen is drawn, then drawn and played as when loaded directly.

#include <fstream>
#include <string>

#include "public_fixture.h"

namespace {

// width x height opaque pixels, (x, y) being seed * (x + 1) * (y + 3).
std::vector<uint32_t> AsyncPixels(int width, int height, uint32_t seed) {
    std::vector<uint32_t> pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels.push_back(0xFF000000 | (seed * static_cast<uint32_t>((x + 1) * (y + 3))));
        }
    }
    return pixels;
}

// A 16-bit mono PCM WAVE of `samples` silent samples at 22,050 Hz.
void AsyncWriteWave(const std::string& name, int samples) {
    const uint32_t bytes = static_cast<uint32_t>(samples) * 2;
    // "RIFF", size, "WAVE", "fmt ", 16, PCM and mono, rate, bytes a second, block 2 and 16 bits,
    // "data", size.
    const uint32_t head[] = {0x46464952, 36 + bytes, 0x45564157, 0x20746D66, 16,   0x00010001,
                             22050,      44100,      0x00100002, 0x61746164, bytes};
    std::ofstream file(name, std::ios::binary);
    file.write(reinterpret_cast<const char*>(head), sizeof head);
    file.write(std::string(bytes, '\0').data(), bytes);
}

std::string AsyncImageName(int i) {
    return "image" + std::to_string(i) + ".bgra";
}

std::string AsyncSoundName(int i) {
    return "sound" + std::to_string(i) + ".wav";
}

// On the Direct3D device (true) and on the software renderer (false).
class AsyncLoadTest : public PublicFixture, public ::testing::WithParamInterface<bool> {
protected:
    // Both switches hold across set-ups: later tests load at once on the device again.
    void TearDown() override {
        PublicFixture::TearDown();
        SwitchAsyncLoad(0);
        SwitchHardwareRendering(1);
    }
};

INSTANTIATE_TEST_SUITE_P(Renderers, AsyncLoadTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Device" : "Software"; });

TEST_P(AsyncLoadTest, LoadsOnTheWorkersDrawAndPlayAsDirectLoadsDo) {
    constexpr int kImages = 50, kCells = 16, kSounds = 10;
    for (int i = 0; i < kImages; ++i) {
        WriteBgraImage(AsyncImageName(i), 8, 8, AsyncPixels(8, 8, 0x010203u * (i + 7)));
    }
    WriteBgraImage("cells.bgra", 32, 32, AsyncPixels(32, 32, 0x030507u));
    for (int i = 0; i < kSounds; ++i) {
        AsyncWriteWave(AsyncSoundName(i), 2205 + 100 * i);
    }
    ASSERT_EQ(SwitchAsyncLoad(1), 0);
    EXPECT_EQ(IsAsyncLoadOn(), 1);
    SwitchHardwareRendering(GetParam() ? 1 : 0);
    StartFramework();

    std::vector<Handle> images, cells(kCells), sounds;
    for (int i = 0; i < kImages; ++i) {
        images.push_back(LoadImageFileAsGraph(AsyncImageName(i).c_str(), 0));
        ASSERT_NE(images.back(), -1);
    }
    ASSERT_EQ(LoadImageFileAsDivGraphs("cells.bgra", kCells, 4, 4, 8, 8, cells.data(), 0), 0);
    for (int i = 0; i < kSounds; ++i) {
        sounds.push_back(LoadSoundHandle(AsyncSoundName(i).c_str(), 1, -1));
        ASSERT_NE(sounds.back(), -1);
    }
    const Handle missingGraph = LoadImageFileAsGraph("missing.bgra", 0);
    const Handle missingSound = LoadSoundHandle("missing.wav", 1, -1);
    ASSERT_NE(missingGraph, -1);
    ASSERT_NE(missingSound, -1);
    // The device's share of a load runs only when the program pumps: none has ended yet.
    if (GetParam()) {
        EXPECT_EQ(IsGraphLoading(images[0]), 1);
        EXPECT_EQ(PutGraph(0, 0, images[0], 0), -1);
        EXPECT_EQ(IsGraphLoading(cells[kCells - 1]), 1);
    }

    // The loading screen: a bar as long as the loads still queued.
    int barsDrawn = 0;
    const int screens = PumpUntilLoadsEnd([&] {
        EraseDrawScreen(nullptr);
        const int queued = CountQueuedAsyncLoads();
        if (PutBoxFilled(0, 0, queued * 8, 8, PackScreenColor(255, 255, 255)) == 0) ++barsDrawn;
        FlipScreen();
    });
    ASSERT_NE(screens, -1);
    EXPECT_EQ(barsDrawn, screens);
    EXPECT_GT(screens, 0);
    ASSERT_EQ(SwitchAsyncLoad(0), 0);
    EXPECT_EQ(IsAsyncLoadOn(), 0);
    EXPECT_EQ(IsGraphLoading(missingGraph), -1);
    EXPECT_EQ(IsSoundHandleLoading(missingSound), -1);

    // Each graph beside the same file loaded directly: the same pixels.
    std::vector<Handle> direct, directCells(kCells);
    for (int i = 0; i < kImages; ++i) {
        ASSERT_EQ(IsGraphLoading(images[i]), 0) << i;
        direct.push_back(LoadImageFileAsGraph(AsyncImageName(i).c_str(), 0));
    }
    ASSERT_EQ(LoadImageFileAsDivGraphs("cells.bgra", kCells, 4, 4, 8, 8, directCells.data(), 0), 0);
    int width = 0, height = 0;
    const std::vector<uint32_t> picture = DrawAndShow(
        [&] {
            for (int i = 0; i < kImages + kCells; ++i) {
                const bool cell = i >= kImages;
                const int x = i % 30 * 10, y = i / 30 * 10;
                ASSERT_EQ(PutGraph(x, y, cell ? cells[i - kImages] : images[i], 0), 0) << i;
                ASSERT_EQ(PutGraph(x, y + 100, cell ? directCells[i - kImages] : direct[i], 0), 0);
            }
        },
        &width, &height);
    ASSERT_EQ(width, 640);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 300; ++x) {
            ASSERT_EQ(picture[y * 640 + x], picture[(y + 100) * 640 + x]) << x << "," << y;
        }
    }
    EXPECT_NE(picture[0], picture[10]);

    for (int i = 0; i < kSounds; ++i) {
        ASSERT_EQ(IsSoundHandleLoading(sounds[i]), 0) << i;
        const Handle again = LoadSoundHandle(AsyncSoundName(i).c_str(), 1, -1);
        EXPECT_EQ(GetSoundTotalTime(sounds[i]), GetSoundTotalTime(again)) << i;
        EXPECT_EQ(GetSoundTotalTime(sounds[i]), (2205 + 100 * i) * 1000 / 22050) << i;
        ASSERT_EQ(PlaySoundHandle(sounds[i], kPlayBackground, 1), 0) << i;
        EXPECT_EQ(IsSoundHandlePlaying(sounds[i]), 1) << i;
    }
}

}  // namespace
