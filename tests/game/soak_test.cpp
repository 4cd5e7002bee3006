// The whole game played by an invincible player held where the formations pass: every wave of
// the seven stages starts in its stage's order and ends, each stage's goal passes, the ending
// roll comes, nothing is left allocated or alive on the device at shutdown, and a second game
// takes exactly as many frames. The virtual clock runs it far faster than real time.
#include <gtest/gtest.h>
#include <platform/testing_d3d9.h>
#include <platform/testing_host.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/library_setup.h"
#include "audio_meter.h"
#include "play_field.h"
#include "replay.h"
#include "scene_loop.h"
#include "wave_engine.h"

namespace {

// True when the tracked-memory dump lists no block: its totals follow its heading at once.
bool MemoryDumpEmpty(const std::string& log) {
    size_t heading = log.rfind("Alloc memory dump\r\n");
    if (heading == std::string::npos) return false;
    size_t next = heading + std::string("Alloc memory dump\r\n").size();
    std::string line = log.substr(next, log.find("\r\n", next) - next);
    return line.find("Total size:0(0.000kb)  Alloc num:0") != std::string::npos;
}

class SoakTest : public ReplayFixture {
protected:
    struct Game {
        std::vector<int32_t> waveIds;  // as they started
        int wavesEnded = 0;
        int goalsPassed = 0;
        int playFrames = 0;
        int rollPass = -1;  // the first pass of the ending roll
        int32_t largestPool = 0;
        AudioMeter audio;
    };

    // `withSound` off starts the framework without sound.
    Game PlayWholeGame(bool withSound) {
        Game game;
        gLibrary.noSound = withSound ? 0 : 1;
        int32_t stage = 0, index = 0, scene = kSceneTitle;
        gReplay.invincible = true;
        gReplay.passLimit = 200000;
        gReplay.script = [](int pass) -> ReplayInput {
            if (gScenes.currentScene == kSceneEndingRoll) return {{kDikEscape}};
            if (gScenes.currentScene == kSceneTitle && pass % 2 == 0) return {{kDikZ}};
            return {};
        };
        gReplay.observe = [&](int pass) {
            MeterAudio(&game.audio, TestHostTakeAudio());
            NoteMusicCalls(&game.audio, gReplay.sounds);
            int32_t now = gScenes.currentScene;
            // The pass that enters play runs no frame yet.
            if (now == kScenePlay && gPlayField.frameCount > 0) {
                game.playFrames += 1;
                game.largestPool = std::max(game.largestPool, ObjectPool.usedCount);
                if (gWaves.stageNumber == stage) game.wavesEnded += gWaves.waveIndex - index;
                if (gWaves.waveActive == 1 && (gWaves.stageNumber != stage ||
                                               gWaves.waveIndex != index || game.waveIds.empty())) {
                    game.waveIds.push_back(gWaves.currentWaveId);
                }
                stage = gWaves.stageNumber;
                index = gWaves.waveIndex;
                // Where the formations pass, far from any safe corner.
                gPlayField.playerX = 240;
                gPlayField.playerY = 240;
            }
            if (now == kSceneStageClear && scene != kSceneStageClear) game.goalsPassed += 1;
            if (now == kSceneEndingRoll && game.rollPass < 0) game.rollPass = pass;
            scene = now;
        };
        TestHostCaptureAudio(true);
        RunGame();
        EXPECT_FALSE(gReplay.closedAtLimit);
        EXPECT_EQ(TestD3d9LiveObjects(), 0);
        EXPECT_TRUE(MemoryDumpEmpty(ReadLog()));
        return game;
    }
};

TEST_F(SoakTest, AnInvinciblePlayerPlaysEveryWaveToTheEndingAlikeEachTime) {
    Game first = PlayWholeGame(true);

    std::vector<int32_t> inStageOrder;
    for (const auto& stage : StageTable) inStageOrder.insert(inStageOrder.end(), stage, stage + 10);
    EXPECT_EQ(first.waveIds, inStageOrder);
    EXPECT_EQ(first.wavesEnded, kStages * kWavesPerStageMax);
    EXPECT_EQ(first.goalsPassed, kStages);
    EXPECT_GT(first.rollPass, 0);
    EXPECT_EQ(gScenes.currentScene, kSceneEndingRoll);
    EXPECT_LE(first.largestPool, kPoolSlots);
    // No life lost: only the extra lives of the score were added.
    EXPECT_EQ(gPlayField.lives, 3 + gPlayField.score / 70000);

    // The mix leaves headroom: however effects, drone and music pile up, nothing clips; and
    // each stage's music and drone start from silence without a step.
    const AudioMeter& audio = first.audio;
    RecordProperty("sound_frames", std::to_string(audio.frames));
    RecordProperty("sound_peak_dbfs", std::to_string(PeakDbfs(audio)));
    RecordProperty("sound_largest_start_step", audio.largestStartStep);
    RecordProperty("sound_largest_stop_step", audio.largestStopStep);
    EXPECT_EQ(audio.fullScale, 0);
    EXPECT_EQ(audio.starts, kStages);
    EXPECT_LE(audio.largestStartStep, 64);

    // Sound has no part in the game's pace, and mixing it is most of a pass's cost here: the
    // second game, silent, must still take frame for frame the same course.
    Restart();
    Game second = PlayWholeGame(false);
    EXPECT_EQ(second.playFrames, first.playFrames);
    EXPECT_EQ(second.rollPass, first.rollPass);
    EXPECT_EQ(second.waveIds, first.waveIds);
}

}  // namespace
