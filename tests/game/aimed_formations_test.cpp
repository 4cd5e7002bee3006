// The formations that aim at the player (ids 13, 15-18, 22, 23): what each aims at and when,
// the sounds of its moves, and how long it lasts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "game_sounds.h"
#include "play_field.h"
#include "wave_engine.h"
#include "wave_expectation.h"
#include "wave_run.h"

namespace {

TEST(AimedFormationTest, EachWaveLastsAndSoundsAsItsMotionGives) {
    const SoundList laser = {{0, kEffectLaser}};
    const WaveExpectation waves[] = {
        // Lane bar: the player, level with lanes 1 and 2 once their y is 368, takes the bar
        // to lane 2; the wall's top row reaches y 480 after 640 updates.
        {13, 640, SoundList{{448, kEffectMechanism}}},
        // Aimed lines: one laser as the line is fired, from each of the four spawn points.
        {15, 86, laser},
        {16, 80, laser},
        {17, 84, laser},
        {18, 83, laser},
        // Hammer: 136 updates down and 64 waiting, then a strike every 111 updates (the first
        // flight takes 27); four strikes, then 64 at rest and 138 leaving.
        {22, 810, Every(227, 111, 4, kEffectStrike)},
        // Discs: checked apart below.
        {23, 2696, std::nullopt},
    };
    const uint64_t poolHashes[][3] = {
        {0x1a187bb2fd77f08c, 0xe529dd83db9167d5, 0xa08a948a08ce1cc4},  // 13
        {0x1051c262e5f8ce11, 0x3d95694621bdd5bf, 0x3d95694621bdd5bf},  // 15
        {0xa3b6848042e42e3e, 0x2357304cdbdec21e, 0x2357304cdbdec21e},  // 16
        {0x7520c695f201ffea, 0x05b5be7bdd4a1f25, 0x05b5be7bdd4a1f25},  // 17
        {0xaa83ecdedd78f71a, 0xf0b397c609990855, 0xf0b397c609990855},  // 18
        {0x90177c3aa4cae714, 0x2de9d8fbfa9d1542, 0xaba03087089d57cb},  // 22
        {0x781a3bb52fa8ec17, 0x82ee50b2c0871f34, 0xee828c8c59c3ebc3},  // 23
    };
    for (size_t w = 0; w < std::size(waves); ++w) ExpectWave(waves[w], poolHashes[w]);
}

TEST(AimedFormationTest, TheBarStaysWhenItAlreadyCoversThePlayersOnlyLane) {
    const int32_t firstBar = 28;
    WaveRun run = RunWave(13, 192, 432);
    EXPECT_TRUE(run.sounds.empty());
    EXPECT_EQ(ObjectPool.x[firstBar], 128 + 16);

    // Level with lanes 1 and 2, the bar slides by 8 a frame to lane 2 (left edge 224).
    RunWave(13, 240, 432, [&](int update) {
        if (update == 448 + 12) {
            EXPECT_EQ(ObjectPool.x[firstBar], 224 + 16);
        }
        if (update == 448 + 1) {
            EXPECT_EQ(ObjectPool.x[firstBar], 136 + 16);
        }
    });
}

TEST(AimedFormationTest, ALineFiredFromAboveThePlayerFallsStraightDown) {
    RunWave(15, 400, 432, [](int update) {
        for (int32_t i = 0; i < 16; ++i) {
            ASSERT_NEAR(ObjectPool.x[i], 400, 1e-6);
            ASSERT_NEAR(ObjectPool.y[i], -16 - 32 * i + 12 * (update - 1), 1e-6);
        }
    });
}

TEST(AimedFormationTest, TheHammerAimsBesideWhereThePlayerIsAtEachAim) {
    // Aims at updates 200 and 337; the player moves between them.
    double targetX[2] = {}, targetY[2] = {};
    WaveRun run = RunWave(22, 240, 432, [&](int update) {
        if (update == 201) targetX[0] = gWaves.waveAnchorX[1], targetY[0] = gWaves.waveAnchorY[1];
        if (update == 300) gPlayField.playerX = 100, gPlayField.playerY = 300;
        if (update == 338) targetX[1] = gWaves.waveAnchorX[1], targetY[1] = gWaves.waveAnchorY[1];
    });
    EXPECT_EQ(targetX[0], 240 + 144);
    EXPECT_EQ(targetY[0], 432);
    EXPECT_EQ(targetX[1], 100 + 144);
    EXPECT_EQ(targetY[1], 300);
    int strikes = 0;
    for (const auto& [update, effect] : run.sounds) strikes += effect == kEffectStrike;
    EXPECT_EQ(strikes, 4);
}

// The three disc centres' smallest distance from each other.
double ClosestDiscs() {
    double closest = 1e9;
    for (int i = 0; i < 3; ++i) {
        for (int j = i + 1; j < 3; ++j) {
            closest = std::min(closest, std::hypot(gWaves.waveAnchorX[i] - gWaves.waveAnchorX[j],
                                                   gWaves.waveAnchorY[i] - gWaves.waveAnchorY[j]));
        }
    }
    return closest;
}

TEST(AimedFormationTest, DiscsChargeTowardsThePlayerAndSwap30TimesFasterEachPass) {
    double closest = 1e9;
    WaveRun run = RunWave(23, 240, 432, [&](int update) {
        // From the row at y 160 on: swapping discs turn about the point between them.
        if (update > 241) closest = std::min(closest, ClosestDiscs());
    });
    EXPECT_GT(closest, 80 - 1e-6);
    SoundList whooshes, jumps;
    for (const auto& sound : run.sounds)
        (sound.second == kEffectWhoosh ? whooshes : jumps).push_back(sound);
    // Reaching the row after 240 updates and 64 waiting, the first charge; each pass ends with
    // a charge four times as fast.
    EXPECT_EQ(whooshes, (SoundList{{304, kEffectWhoosh},
                                   {988, kEffectWhoosh},
                                   {1632, kEffectWhoosh},
                                   {2356, kEffectWhoosh}}));
    ASSERT_EQ(jumps.size(), 5u + 10u + 15u);
    // A swap takes 180 / 3, 180 / 6 and 180 / 9 updates, with 16 before each.
    const int swapUpdates[3] = {60, 30, 20};
    size_t j = 0;
    for (int pass = 0; pass < 3; ++pass) {
        for (int swap = 1; swap < 5 * (pass + 1); ++swap) {
            ++j;
            EXPECT_EQ(jumps[j].first - jumps[j - 1].first, 16 + swapUpdates[pass]) << j;
        }
        ++j;
    }
    EXPECT_EQ(jumps[0].second, kEffectJump);

    // With the player above the discs' row the first charge runs up, 40 updates to y 0.
    run = RunWave(23, 240, 100, [&](int update) {
        if (update == 304 + 40 + 1) {
            EXPECT_EQ(gWaves.waveAnchorY[0], 0);
        }
    });
    EXPECT_EQ(run.sounds[1], (std::pair{304 + 40 + 32 + 40 + 48 + 16, int{kEffectJump}}));
}

}  // namespace
