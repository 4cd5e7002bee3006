// Asynchronous loading through the public header: images, divided graphs and sounds loaded on
// the workers while a loading screen is drawn, then drawn and played as when loaded directly.

#include <cstring>
#include <string>

#include "public_fixture.h"

namespace {

using AsyncLoadTest = RendererFixture;
INSTANTIATE_TEST_SUITE_P(Renderers, AsyncLoadTest, ::testing::Bool(), RendererName);

// A 16-bit mono PCM WAVE file of silent samples at 22,050 Hz.
std::vector<uint8_t> AsyncWave(uint32_t samples) {
    const uint32_t bytes = samples * 2;
    // "RIFF", size, "WAVE", "fmt ", 16, PCM and mono, rate, bytes a second, block 2 and 16 bits,
    // "data", size.
    const uint32_t head[] = {0x46464952, 36 + bytes, 0x45564157, 0x20746D66, 16,   0x00010001,
                             22050,      44100,      0x00100002, 0x61746164, bytes};
    std::vector<uint8_t> file(sizeof head + bytes);
    std::memcpy(file.data(), head, sizeof head);
    return file;
}

TEST_P(AsyncLoadTest, LoadsOnTheWorkersDrawAndPlayAsDirectLoadsDo) {
    constexpr int kImages = 50, kCells = 16, kSounds = 10;
    auto image = [](int i) { return "image" + std::to_string(i) + ".bmp"; };
    auto sound = [](int i) { return "sound" + std::to_string(i) + ".wav"; };
    auto tint = [](uint32_t seed) {
        return [seed](int x, int y) { return seed * (x + 1) * (y + 3); };
    };
    for (int i = 0; i < kImages; ++i)
        WriteBytes(image(i), BmpImage(8, 8, tint(0x010203u * (i + 7))));
    WriteBytes("cells.bmp", BmpImage(32, 32, tint(0x030507u)));
    for (int i = 0; i < kSounds; ++i) WriteBytes(sound(i), AsyncWave(2205 + 100 * i));
    ASSERT_EQ(SwitchAsyncLoad(1), 0);
    EXPECT_EQ(IsAsyncLoadOn(), 1);
    StartFramework();

    // The images, then the cells.
    auto loadGraphs = [&] {
        std::vector<Handle> out(kImages + kCells);
        for (int i = 0; i < kImages; ++i) out[i] = LoadImageFileAsGraph(image(i).c_str(), 0);
        EXPECT_EQ(LoadImageFileAsDivGraphs("cells.bmp", kCells, 4, 4, 8, 8, &out[kImages], 0), 0);
        return out;
    };
    const std::vector<Handle> graphs = loadGraphs();
    std::vector<Handle> sounds;
    for (int i = 0; i < kSounds; ++i) sounds.push_back(LoadSoundHandle(sound(i).c_str(), 1, -1));
    // Loads that fail on the workers delete their handles.
    const Handle missingGraph = LoadImageFileAsGraph("missing.bmp", 0);
    const Handle missingSound = LoadSoundHandle("missing.wav", 1, -1);
    ASSERT_TRUE(missingGraph != -1 && missingSound != -1);
    // The device's share of a load runs only when the program pumps: none has ended yet.
    if (GetParam()) {
        EXPECT_EQ(IsGraphLoading(graphs[0]), 1);
        EXPECT_EQ(PutGraph(0, 0, graphs[0], 0), -1);
        EXPECT_EQ(IsGraphLoading(graphs.back()), 1);
    }

    // The loading screen: a bar as long as the loads still queued.
    const ScreenColor white = PackScreenColor(255, 255, 255);
    int barsDrawn = 0;
    const int screens = PumpUntilLoadsEnd([&] {
        EraseDrawScreen(nullptr);
        if (PutBoxFilled(0, 0, CountQueuedAsyncLoads() * 8, 8, white) == 0) ++barsDrawn;
        FlipScreen();
    });
    ASSERT_NE(screens, -1);
    EXPECT_GT(screens, 0);
    EXPECT_EQ(barsDrawn, screens);
    ASSERT_EQ(SwitchAsyncLoad(0), 0);
    EXPECT_EQ(IsAsyncLoadOn(), 0);
    EXPECT_EQ(IsGraphLoading(missingGraph), -1);
    EXPECT_EQ(IsSoundHandleLoading(missingSound), -1);

    // Each graph beside the same file loaded directly: the same pixels; each sound as long as
    // its file.
    const std::vector<Handle> direct = loadGraphs();
    const std::vector<uint32_t> picture = Show([&] {
        for (int i = 0; i < kImages + kCells; ++i) {
            ASSERT_EQ(IsGraphLoading(graphs[i]), 0) << i;
            ASSERT_EQ(PutGraph(i % 30 * 10, i / 30 * 10, graphs[i], 0), 0) << i;
            ASSERT_EQ(PutGraph(i % 30 * 10, i / 30 * 10 + 100, direct[i], 0), 0) << i;
        }
    });
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 300; ++x) {
            ASSERT_EQ(picture[y * 640 + x], picture[(y + 100) * 640 + x]) << x << "," << y;
        }
    }
    EXPECT_NE(picture[0], picture[10]);

    for (int i = 0; i < kSounds; ++i) {
        ASSERT_EQ(IsSoundHandleLoading(sounds[i]), 0) << i;
        EXPECT_EQ(GetSoundTotalTime(sounds[i]), (2205 + 100 * i) * 1000 / 22050) << i;
        ASSERT_EQ(PlaySoundHandle(sounds[i], kPlayBackground, 1), 0) << i;
        EXPECT_EQ(IsSoundHandlePlaying(sounds[i]), 1) << i;
    }
}

}  // namespace
