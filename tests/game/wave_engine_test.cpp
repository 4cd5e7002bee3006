// The wave engine: the grid of pattern rows, a wave's first update in the frame after its
// start, the next wave in the frame the last one ended, and the goal after the tenth.
#include "wave_engine.h"

#include <gtest/gtest.h>

#include "formations.h"
#include "play_field.h"
#include "replay.h"

namespace {

TEST(WaveEngineTest, AGridRowOfOnesBecomesAFieldWideRowOfObjects) {
    ResetGameState();
    ObjectPool.state[15] = kObjectExploding;
    const char* const rows[3] = {"000000000000000", "111111111111111", "000000000000000"};
    WriteGridRows(rows, 3);
    EXPECT_EQ(PlaceGridBlocks(3, 0, -96, 15), 15);
    for (int32_t i = 0; i < 15; ++i) {
        EXPECT_EQ(ObjectPool.state[i], kObjectAlive);
        EXPECT_EQ(ObjectPool.x[i], 16 + 32 * i);
        EXPECT_EQ(ObjectPool.y[i], -48);
    }
    EXPECT_EQ(ObjectPool.state[15], kObjectExploding);
    EXPECT_EQ(PlaceGridBlocks(0, 0, 0, 15), 0);
}

TEST(WaveEngineTest, WavesFollowEachOtherWithoutAGapAndTheTenthBringsTheGoal) {
    ResetGameState();
    gWaves.stageNumber = 7;
    gPlayField.playerState = kPlayerAlive;
    gPlayField.playerX = 240;
    gPlayField.playerY = 432;
    gPlayField.goalSlowCounter = 5;           // the goal's start sets it back to 0
    int32_t endedAt[kWavesPerStageMax] = {};  // the frame in which each wave ended
    for (int32_t frame = 1; frame < 100000; ++frame) {
        int32_t index = gWaves.waveIndex;
        UpdateWave();
        if (gWaves.waveIndex != index) endedAt[index] = frame;
        StartWave();
        if (gPlayField.goalActive != 0) break;
        ASSERT_EQ(gWaves.waveActive, 1) << "frame " << frame;
        ASSERT_EQ(gWaves.currentWaveId, StageTable[6][gWaves.waveIndex]);
    }
    for (int32_t w = 0; w + 1 < kWavesPerStageMax; ++w) EXPECT_LT(endedAt[w], endedAt[w + 1]);
    EXPECT_EQ(gWaves.waveActive, 0);
    EXPECT_EQ(gWaves.waveIndex, 10);
    EXPECT_EQ(gPlayField.goalActive, 1);
    EXPECT_EQ(gPlayField.goalY, -64);
    EXPECT_EQ(gPlayField.goalSlowCounter, 0);
    StartWave();
    EXPECT_EQ(gWaves.waveActive, 0);
}

TEST(WaveEngineTest, EveryWaveIdStandsOnceInTheStageTable) {
    int seen[kWaveIds] = {};
    for (const auto& stage : StageTable) {
        for (int32_t id : stage) {
            ASSERT_GE(id, 0);
            ASSERT_LT(id, kWaveIds);
            ++seen[id];
        }
    }
    for (int32_t id = 0; id < kWaveIds; ++id) EXPECT_EQ(seen[id], 1) << id;
}

}  // namespace
