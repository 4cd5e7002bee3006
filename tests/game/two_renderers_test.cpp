// One scripted game (title, two stages, a death, the continue prompt refused, a name entry)
// played with the Direct3D device and again in software mode, the device's entry point made
// missing: the game's state in every pass and the sound log must be the same.
#include <gtest/gtest.h>
#include <platform/testing.h>
#include <platform/testing_d3d9.h>
#include <platform/testing_host.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "app/main_window.h"
#include "graphics/screen_state.h"
#include "play_field.h"
#include "replay.h"
#include "scene_loop.h"
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

class TwoRenderersTest : public ReplayFixture {
protected:
    struct Run {
        std::vector<PassState> passes;
        std::vector<Frame> frames;  // the first pass of every scene
        std::vector<SoundEvent> sounds;
        std::string saveFile;
        int direct3DPasses = 0;
    };

    Run PlayScriptedGame() {
        Run run;
        TestD3d9KeepPixels(true);
        TestHostKeepSurfaces(true);
        PressScript script;
        script.Press(InTitle, {{kDikZ}})
            .Press([] { return DrewInLastPass("CONTINUE"); }, {{kDikDown}})
            .Press({{kDikZ}})
            .Press([] { return gScenes.currentScene == kSceneNameEntry; }, {{kDikRight}})
            .Press({{kDikZ}})
            .Press({{kDikZ}})
            .Press({{kDikZ}})
            .Press(InTitle, {{kDikEscape}});
        gReplay.script = std::ref(script);
        gReplay.observe = [&](int) {
            const PlayField& p = gPlayField;
            bool playing = gScenes.currentScene == kScenePlay;
            // Stage 1 from its last wave on; in stage 2 the last life meets the first object.
            if (playing && gWaves.stageNumber == 1 && p.frameCount == 1) gWaves.waveIndex = 9;
            if (playing && gWaves.stageNumber == 2 && p.frameCount == 1) gPlayField.lives = 1;
            if (playing && gWaves.stageNumber == 2 && p.frameCount > 1 &&
                p.playerState == kPlayerAlive && gWaves.waveActive == 1) {
                for (int32_t i = 0; i < ObjectPool.usedCount; ++i) {
                    double x = ObjectPool.x[i], y = ObjectPool.y[i];
                    if (ObjectPool.state[i] != kObjectAlive || x < 24 || x > 456 || y < 24 ||
                        y > 456) {
                        continue;
                    }
                    gPlayField.playerX = static_cast<int32_t>(x);
                    gPlayField.playerY = static_cast<int32_t>(y);
                    break;
                }
            }
            run.passes.push_back({gScenes.currentScene, p.playerState, p.playerX, p.playerY,
                                  p.score, p.lives, gWaves.stageNumber, gWaves.currentWaveId,
                                  gWaves.waveIndex, ObjectPool.usedCount, HashPool()});
            run.direct3DPasses += IsDirect3DMode();
            if (run.passes.size() == 1 || run.passes.back().scene != run.passes.end()[-2].scene) {
                run.frames.push_back(ShownFrame(static_cast<int>(run.passes.size())));
            }
        };
        RunGame();
        EXPECT_TRUE(script.Done());
        EXPECT_FALSE(gReplay.closedAtLimit);
        run.sounds = gReplay.sounds;
        run.saveFile = ReadSaveFile();
        return run;
    }

    static bool InTitle() { return gScenes.currentScene == kSceneTitle; }
};

TEST_F(TwoRenderersTest, BothRenderersPlayTheSameGame) {
    Run device = PlayScriptedGame();
    Restart();
    TestSetExportMissing("d3d9.dll", "Direct3DCreate9", true);
    Run software = PlayScriptedGame();

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
    // Stage 2 was reached, the game ended at the prompt and its name is "BBB".
    EXPECT_NE(device.saveFile.find(",2,BBB\n"), std::string::npos) << device.saveFile;
    EXPECT_EQ(device.saveFile, software.saveFile);
}

constexpr const char* kWaitsForDrawing =
    "waits for drawing: the frames are blank while graphs, drawing and fonts are stand-ins in "
    "framework/pending_public_calls.cpp";

TEST_F(TwoRenderersTest, BothRenderersDrawTheSameFramesWithinTheTolerance) {
    GTEST_SKIP() << kWaitsForDrawing;
    // The largest difference of a channel between the two paths that drawing allows.
    constexpr int kTolerance = 0;
    Run device = PlayScriptedGame();
    Restart();
    TestSetExportMissing("d3d9.dll", "Direct3DCreate9", true);
    Run software = PlayScriptedGame();
    ASSERT_EQ(device.frames.size(), software.frames.size());
    for (size_t f = 0; f < device.frames.size(); ++f) {
        const std::vector<uint32_t>& a = device.frames[f].pixels;
        const std::vector<uint32_t>& b = software.frames[f].pixels;
        ASSERT_EQ(a.size(), b.size());
        int worst = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            for (int shift : {0, 8, 16}) {
                worst = std::max(worst, std::abs(static_cast<int>((a[i] >> shift) & 0xFF) -
                                                 static_cast<int>((b[i] >> shift) & 0xFF)));
            }
        }
        EXPECT_LE(worst, kTolerance) << "frame of pass " << device.frames[f].pass;
    }
}

TEST_F(TwoRenderersTest, TheDevicesFramesMatchTheirGoldenCrcs) {
    GTEST_SKIP() << kWaitsForDrawing;
    // (pass, CRC-32 of the shown picture) from a reviewed run of the device.
    const std::vector<std::pair<int, uint32_t>> golden = {};
    Run device = PlayScriptedGame();
    ASSERT_EQ(device.frames.size(), golden.size());
    for (size_t f = 0; f < golden.size(); ++f) {
        EXPECT_EQ(device.frames[f].pass, golden[f].first);
        EXPECT_EQ(device.frames[f].crc, golden[f].second) << "frame of pass " << golden[f].first;
    }
}

}  // namespace
