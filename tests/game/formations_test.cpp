// Waves 0 to 10 run through the wave engine with the player held still: how many updates each
// lasts, the sounds it requests and when, the pool bound, and the edge cases of their motion.
#include "formations.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "game_sounds.h"
#include "play_field.h"
#include "wave_engine.h"
#include "wave_run.h"

namespace {

TEST(FormationTest, EachWaveLastsTheUpdatesItsMotionGives) {
    const std::pair<int32_t, int> expected[] = {
        {0, 960}, {1, 1536}, {2, 1536}, {3, 1536}, {4, 1536},
        {5, 704}, {6, 1888}, {8, 896},  {9, 928},  {10, 928},
    };
    for (const auto& [id, updates] : expected) {
        SCOPED_TRACE(id);
        // Far from every gate of wave 6, which no other wave reads.
        WaveRun run = RunWave(id, 16, 464);
        EXPECT_EQ(run.updates, updates);
        EXPECT_TRUE(run.sounds.empty());
    }
}

TEST(FormationTest, TheCircleEndsWhenNoBlockOfItIsLeftInTheField) {
    RunWave(0, 240, 432);
    EXPECT_EQ(gWaves.waveAnchorY[0], 720);
    for (int32_t i = 0; i < 16; ++i) EXPECT_GE(ObjectPool.y[i], 496 - 1e-9);
}

TEST(FormationTest, TheTwinCrossesTurnByTheirOwnSpeeds) {
    RunWave(1, 240, 432);
    EXPECT_EQ(gWaves.waveAnchorAux[0], 1536);
    EXPECT_EQ(gWaves.waveAnchorAux[1], -1536);
    RunWave(3, 240, 432);
    EXPECT_EQ(gWaves.waveAnchorAux[0], -1536);
    EXPECT_EQ(gWaves.waveAnchorAux[1], -3072);
}

TEST(FormationTest, AHitTopBlockOfTheSideMoversStillLetsTheWaveEnd) {
    WaveRun run = RunWave(5, 16, 464, [](int update) {
        // Burnt out after its explosion: the slot is free.
        if (update == 300) ObjectPool.state[0] = kObjectFree;
    });
    EXPECT_EQ(run.updates, 704);
}

TEST(FormationTest, GatesTurnAQuarterOnceWhenTheLivePlayerComesNear) {
    double startAngles[6];
    WaveRun run = RunWave(6, 112, 240, [&](int update) {
        if (update == 1) std::copy(gWaves.waveAnchorAux, gWaves.waveAnchorAux + 6, startAngles);
    });
    int turned = 0;
    for (int k = 0; k < 6; ++k) {
        double turn = std::fabs(gWaves.waveAnchorAux[k] - startAngles[k]);
        EXPECT_TRUE(turn == 0 || turn == 90) << "gate " << k << " turned " << turn;
        turned += turn == 90;
    }
    EXPECT_GT(turned, 0);
    ASSERT_EQ(static_cast<int>(run.sounds.size()), turned);
    for (const auto& [update, effect] : run.sounds) EXPECT_EQ(effect, kEffectMechanism);

    // An exploding player sets off nothing.
    run = RunWave(6, 112, 240, [](int) { gPlayField.playerState = kPlayerExploding; });
    EXPECT_TRUE(run.sounds.empty());
    EXPECT_EQ(gWaves.waveAnchorAux[5], 0);
}

TEST(FormationTest, TheArmLungesBackToItsShoulderWithAThudEvery165Updates) {
    std::vector<double> shoulderX;  // [u]: after update u
    WaveRun run = RunWave(7, 16, 464, [&](int) { shoulderX.push_back(gWaves.waveAnchorX[0]); });
    ASSERT_GE(run.sounds.size(), 2u);
    // The column stops after 240 updates; closing, opening and the 65-update lunge follow.
    EXPECT_EQ(run.sounds[0].first, 240 + 50 + 50 + 65);
    for (size_t i = 0; i < run.sounds.size(); ++i) {
        EXPECT_EQ(run.sounds[i].second, kEffectThud);
        EXPECT_EQ(shoulderX[run.sounds[i].first], 432);
        if (i > 0) {
            EXPECT_EQ(run.sounds[i].first - run.sounds[i - 1].first, 165);
        }
    }
    EXPECT_GE(ObjectPool.y[105], 496);
}

TEST(FormationTest, TheWheelsWallsStopWhereTheHoleMeetsTheFieldsEdge) {
    RunWave(8, 16, 464, [](int update) {
        if (update != 1) return;
        std::vector<double> middleRow, topRow;
        for (int32_t i = 87; i < ObjectPool.usedCount; ++i) {
            if (ObjectPool.y[i] == -208) middleRow.push_back(ObjectPool.x[i]);
            if (ObjectPool.y[i] == -208 - 160) topRow.push_back(ObjectPool.x[i]);
        }
        EXPECT_EQ(middleRow, (std::vector<double>{464, 16}));
        ASSERT_EQ(topRow.size(), 8u);
        EXPECT_NEAR(topRow[0] - 240, 156.767, 1e-3);
        EXPECT_NEAR(240 - topRow[4], 156.767, 1e-3);
    });
}

TEST(FormationTest, ShuttleBlocksStayInTheirLanesInsideTheField) {
    RunWave(10, 16, 464, [](int) {
        for (int32_t i = 0; i < ObjectPool.usedCount; ++i) {
            ASSERT_GE(ObjectPool.x[i], 16);
            ASSERT_LE(ObjectPool.x[i], 464);
        }
    });
}

}  // namespace
