// The scripted whole game of seven stages (scripted_game.h) played with the Direct3D device and
// again in software mode, the device's entry point made missing: the game's state in every pass and
// the sound log must be the same, and the frames read at chosen passes must agree within the
// drawing calls' tolerance.
#include <gtest/gtest.h>
#include <platform/testing.h>
#include <platform/testing_d3d9.h>
#include <platform/testing_host.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/main_window.h"
#include "graphics/screen_state.h"
#include "play_field.h"
#include "replay.h"
#include "scene_loop.h"
#include "scripted_game.h"
#include "wave_engine.h"
#include "wave_run.h"

namespace {

struct PassState {
    int32_t scene, playerState, playerX, playerY, score, lives;
    int32_t stage, waveId, waveIndex, usedCount;
    uint64_t poolHash;
    bool operator==(const PassState&) const = default;
};

// The picture shown at the end of a pass.
struct Frame {
    int pass;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB
    uint32_t crc;
};

Frame ShownFrame(int pass) {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels = TestHostReadSurface(GetMainHwnd(), &width, &height);
    uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(pixels.data()), pixels.size() * sizeof pixels[0]));
    return {pass, std::move(pixels), crc};
}

// The drawing calls' tolerance (tests/draw): 3 steps of each channel of the game's 16-bit
// screen, for the two paths round blends apart.
constexpr int kTolerance = 3;

constexpr int kWidth = 640, kHeight = 480;

// A channel in steps of the 16-bit screen (5 bits of red and blue, 6 of green).
int ChannelSteps(uint32_t pixel, int channel) {
    const int drop = channel == 1 ? 2 : 3;
    return static_cast<int>((pixel >> (16 - 8 * channel)) & 0xFF) >> drop;
}

// How far, in steps, a's pixel lies outside the range of the pixels of b at most one pixel
// away, channel by channel. The game draws its objects at fractional places with linear
// sampling: the device samples at pixel centres, the software renderer at pixel corners, so
// along an edge a pixel of one frame may be a texel one pixel away in the other, or a blend of
// its neighbours there. Anything else (a blend mode, a channel, an offset of more than a pixel)
// lands outside the range.
int NeighbourhoodDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int x,
                            int y) {
    const uint32_t pixel = a[static_cast<size_t>(y) * kWidth + x];
    const uint32_t same = b[static_cast<size_t>(y) * kWidth + x];
    int worst = 0;
    for (int channel = 0; channel < 3; ++channel) {
        worst =
            std::max(worst, std::abs(ChannelSteps(pixel, channel) - ChannelSteps(same, channel)));
    }
    if (worst <= kTolerance) return worst;
    worst = 0;
    for (int channel = 0; channel < 3; ++channel) {
        int low = 255, high = 0;
        for (int ny = std::max(0, y - 1); ny <= std::min(kHeight - 1, y + 1); ++ny) {
            for (int nx = std::max(0, x - 1); nx <= std::min(kWidth - 1, x + 1); ++nx) {
                const int v = ChannelSteps(b[static_cast<size_t>(ny) * kWidth + nx], channel);
                low = std::min(low, v);
                high = std::max(high, v);
            }
        }
        const int v = ChannelSteps(pixel, channel);
        worst = std::max(worst, std::max(low - v, v - high));
    }
    return worst;
}

// The outermost pixels of the play field: where an object cut by the field's edge shows a
// sliver in one frame, its neighbour in the other lies outside the field.
bool OnFieldEdge(int x, int y) {
    constexpr int kFieldSize = 480;
    return x < kFieldSize && (x == 0 || y == 0 || x == kFieldSize - 1 || y == kFieldSize - 1);
}

// Play frames read besides the first of each scene: in the thick of a wave.
constexpr int32_t kPlayFrameReadEvery = 120;

// The passes read, with the CRC-32 of the picture shown there, from a reviewed run of the
// device.
const std::vector<std::pair<int, uint32_t>> kGoldenFrames = {
    {2, 0x44735233},    {3, 0x44735233},    {128, 0x4CE12585},  {248, 0x707EF6C9},
    {368, 0x4806FD1A},  {488, 0x4CE3197D},  {608, 0xD0C7A66F},  {696, 0xD0C7A66F},
    {697, 0x1CEB4B77},  {698, 0x1CEB4B77},  {823, 0x95045AF7},  {898, 0xB0282AB5},
    {945, 0x217CC718},  {1065, 0x6F515DAE}, {1185, 0x383DC1B4}, {1305, 0x1479C1C9},
    {1393, 0x1479C1C9}, {1394, 0x97752DFF}, {1395, 0x97752DFF}, {1520, 0x7E13F9BC},
    {1640, 0xF5227B1D}, {1760, 0x1827D3DC}, {1880, 0x5B0B6C37}, {2000, 0x5F0DE747},
    {2088, 0x5F0DE747}, {2089, 0x1C5F8533}, {2090, 0x1C5F8533}, {2215, 0x650AF5DC},
    {2335, 0x3B0C91CA}, {2455, 0x8676F3F1}, {2575, 0xA73A9469}, {2695, 0x45F8DA3A},
    {2783, 0x45F8DA3A}, {2784, 0x379B23EE}, {2785, 0x379B23EE}, {2910, 0x837C41AE},
    {3030, 0xAD5CDFF5}, {3150, 0x87AE7932}, {3270, 0xAA44A6B2}, {3390, 0x03FDC6B6},
    {3478, 0x03FDC6B6}, {3479, 0x594B7634}, {3480, 0x594B7634}, {3605, 0x727436FD},
    {3725, 0xF2E9D951}, {3845, 0x86A381D7}, {3965, 0x49139600}, {4085, 0x48B64F60},
    {4173, 0x48B64F60}, {4174, 0xB68F08EB}, {4175, 0xB68F08EB}, {4300, 0x82C8F422},
    {4420, 0x148ACFBC}, {4540, 0x63C46DE7}, {4660, 0xE425B09E}, {4780, 0x03BF64CE},
    {4868, 0x7FD9F67A}, {4869, 0x66E61F65}, {4871, 0x5F6FE97D}, {4873, 0x36D1FA22},
    {4874, 0x275A32FC}, {4882, 0x158E17F3}};

// Drawing pixels is most of a pass's cost on the device, so it writes them only in the passes
// up to a read one from this many before it. Each picture read is drawn from an erase of the
// whole screen in its own pass, or over the picture of the pass before, which is read too (a
// prompt over the last play frame); the margin keeps that so should a read move by a pass.
constexpr int kPassesDrawnBeforeARead = 4;

bool DrawnOnTheDevice(int pass) {
    for (const auto& [read, crc] : kGoldenFrames) {
        if (pass <= read && pass >= read - kPassesDrawnBeforeARead) return true;
    }
    return false;
}

class TwoRenderersTest : public ReplayFixture {
protected:
    struct Run {
        std::vector<PassState> passes;
        std::vector<Frame> frames;
        std::vector<SoundEvent> sounds;
        std::string saveFile;
        int direct3DPasses = 0;
    };

    // `withSound` off starts the framework without sound, which has no part in the game's
    // course or its pictures. `readFrames` off reads no frame and draws none on the device.
    Run PlayScriptedGame(bool withSound, bool readFrames) {
        gLibrary.noSound = withSound ? 0 : 1;
        TestD3d9KeepPixels(readFrames && DrawnOnTheDevice(1));
        Run run;
        ScriptedGame game;
        gReplay.script = std::ref(game.script);
        // The window's surface is kept only for the passes whose frames are read: showing a
        // frame is most of a pass's cost.
        bool reading = false;
        std::set<std::string> seen;
        auto firstDrawn = [&](const char* text) {
            return DrewInLastPass(text) && seen.insert(text).second;
        };
        gReplay.observe = [&](int pass) {
            game.Steer();
            const PlayField& p = gPlayField;
            run.passes.push_back({gScenes.currentScene, p.playerState, p.playerX, p.playerY,
                                  p.score, p.lives, gWaves.stageNumber, gWaves.currentWaveId,
                                  gWaves.waveIndex, ObjectPool.usedCount, HashPool()});
            run.direct3DPasses += IsDirect3DMode();
            if (reading) run.frames.push_back(ShownFrame(pass));
            // The next pass is read when this one began a scene, a prompt or a page of the
            // roll, and every so often in play.
            const size_t n = run.passes.size();
            reading =
                n == 1 || run.passes[n - 1].scene != run.passes[n - 2].scene ||
                (gScenes.currentScene == kScenePlay && p.frameCount % kPlayFrameReadEvery == 0) ||
                firstDrawn("CONTINUE") || firstDrawn("BGM") ||
                firstDrawn("PROGRAM: THE BROVANE TEAM");
            reading = reading && readFrames;
            TestHostKeepSurfaces(reading);
            TestD3d9KeepPixels(readFrames && DrawnOnTheDevice(pass + 1));
        };
        RunGame();
        EXPECT_TRUE(game.script.Done());
        EXPECT_FALSE(gReplay.closedAtLimit);
        EXPECT_EQ(game.deaths, 1);
        EXPECT_EQ(game.lastStage, kStages);
        run.sounds = gReplay.sounds;
        run.saveFile = ReadSaveFile();
        return run;
    }
};

TEST_F(TwoRenderersTest, BothRenderersPlayTheSameGame) {
    Run device = PlayScriptedGame(true, false);
    Restart();
    TestSetExportMissing("d3d9.dll", "Direct3DCreate9Ex", true);
    TestSetExportMissing("d3d9.dll", "Direct3DCreate9", true);
    Run software = PlayScriptedGame(true, false);

    EXPECT_EQ(device.direct3DPasses, static_cast<int>(device.passes.size()));
    EXPECT_EQ(software.direct3DPasses, 0);
    ASSERT_EQ(device.passes.size(), software.passes.size());
    for (size_t i = 0; i < device.passes.size(); ++i) {
        ASSERT_TRUE(device.passes[i] == software.passes[i]) << "pass " << i + 1;
    }
    ASSERT_EQ(device.sounds.size(), software.sounds.size());
    for (size_t i = 0; i < device.sounds.size(); ++i) {
        const SoundEvent& a = device.sounds[i];
        const SoundEvent& b = software.sounds[i];
        EXPECT_TRUE(a.pass == b.pass && a.call == b.call && a.path == b.path &&
                    a.playType == b.playType && a.fromTop == b.fromTop)
            << "sound call " << i;
    }
    // All stages were cleared and the name is "BBB".
    EXPECT_NE(device.saveFile.find(",8,BBB\n"), std::string::npos) << device.saveFile;
    EXPECT_EQ(device.saveFile, software.saveFile);
}

TEST_F(TwoRenderersTest, BothRenderersDrawTheSameFramesWithinTheTolerance) {
    Run device = PlayScriptedGame(false, true);
    Restart();
    TestSetExportMissing("d3d9.dll", "Direct3DCreate9Ex", true);
    TestSetExportMissing("d3d9.dll", "Direct3DCreate9", true);
    Run software = PlayScriptedGame(false, true);
    ASSERT_EQ(device.frames.size(), software.frames.size());
    for (size_t f = 0; f < device.frames.size(); ++f) {
        const std::vector<uint32_t>& a = device.frames[f].pixels;
        const std::vector<uint32_t>& b = software.frames[f].pixels;
        ASSERT_EQ(a.size(), static_cast<size_t>(kWidth) * kHeight);
        ASSERT_EQ(a.size(), b.size());
        int worst = 0, mismatches = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            const int x = static_cast<int>(i % kWidth), y = static_cast<int>(i / kWidth);
            if (OnFieldEdge(x, y)) continue;
            const int d =
                std::min(NeighbourhoodDifference(a, b, x, y), NeighbourhoodDifference(b, a, x, y));
            worst = std::max(worst, d);
            mismatches += d > kTolerance;
        }
        EXPECT_LE(worst, kTolerance)
            << "frame of pass " << device.frames[f].pass << ": " << mismatches << " pixels differ";
    }
}

TEST_F(TwoRenderersTest, TheDevicesFramesMatchTheirGoldenCrcs) {
    Run device = PlayScriptedGame(false, true);
    ASSERT_EQ(device.frames.size(), kGoldenFrames.size());
    for (size_t f = 0; f < kGoldenFrames.size(); ++f) {
        EXPECT_EQ(device.frames[f].pass, kGoldenFrames[f].first);
        EXPECT_EQ(device.frames[f].crc, kGoldenFrames[f].second)
            << "frame of pass " << kGoldenFrames[f].first;
    }
}

}  // namespace
