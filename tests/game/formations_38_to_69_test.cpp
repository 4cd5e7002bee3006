// Waves 38 to 69 run through the wave engine: how long each lasts, its first sound, a hash of
// its pool at three moments so that a change of motion shows, and the timings and edge cases
// of each motion, with the player held still or steered where a wave reacts to it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>
#include <vector>

#include "formations.h"
#include "game_sounds.h"
#include "input_sampling.h"
#include "play_field.h"
#include "wave_engine.h"
#include "wave_run.h"

namespace {

constexpr int32_t kPlayerX = 240;
constexpr int32_t kPlayerY = 432;

struct WaveFacts {
    int32_t id;
    int updates;
    int soundCount;
    std::pair<int, int> firstSound;  // (update, effect); effect -1 when the wave is silent
};

// With the player at (240, 432) and the random numbers seeded with 1.
const WaveFacts kFacts[] = {
    {38, 1728, 27, {32, kEffectClick}},
    {39, 1344, 17, {0, kEffectSlide}},
    {40, 608, 0, {0, -1}},
    {41, 672, 1, {544, kEffectMechanism}},
    {46, 1344, 0, {0, -1}},
    {51, 2288, 7, {352, kEffectThud}},
    {52, 1600, 1, {954, kEffectClick}},
    {68, 544, 2, {240, kEffectMechanism}},
};

// WaveRun::hashes of each wave above, in the same order.
const uint64_t kPoolHashes[][3] = {
    {0x6deb3ee7b16a3ff1, 0x19156f4dad3c078e, 0x4164f7a3c5615400},  // 38
    {0xf36effab37af72fb, 0x3e48ac77272ee765, 0xd9179fb4fc403258},  // 39
    {0xb01b5a8b7a8ef64b, 0xc4263b822aa823a3, 0xfbb5a6d6f52b4732},  // 40
    {0x2959a414b1568da2, 0x67bc75b11193c986, 0xd00193e02e903cd2},  // 41
    {0xe887a1fcb40ccdbd, 0xb632b80c55b9ac67, 0x4299ed7f2834bc1a},  // 46
    {0x7d4d7c853140e809, 0x433c1ce09f2f2949, 0x386680fc52efbdc9},  // 51
    {0xf18bf2b8870efb95, 0x56848402d1c4d787, 0x0dcedda0a1ba41b6},  // 52
    {0x7164971abab45c1a, 0xec8242229aa282ca, 0x747192df0f7adbca},  // 68
};

// The updates at which `effect` was requested.
std::vector<int> SoundTimes(const WaveRun& run, int effect) {
    std::vector<int> times;
    for (const auto& [update, requested] : run.sounds) {
        if (requested == effect) times.push_back(update);
    }
    return times;
}

// first, first + period, first + 2 period, ... up to `count` of them.
std::vector<int> EverySoOften(int first, int period, int count) {
    std::vector<int> times;
    for (int i = 0; i < count; ++i) times.push_back(first + period * i);
    return times;
}

TEST(LateFormationTest, EachWaveLastsItsUpdatesSoundsFirstWhenItShouldAndMovesAsRecorded) {
    for (size_t w = 0; w < std::size(kFacts); ++w) {
        const WaveFacts& facts = kFacts[w];
        SCOPED_TRACE(facts.id);
        WaveRun run = RunWave(facts.id, kPlayerX, kPlayerY);
        EXPECT_EQ(run.updates, facts.updates);
        ASSERT_EQ(static_cast<int>(run.sounds.size()), facts.soundCount);
        if (facts.soundCount > 0) {
            EXPECT_EQ(run.sounds[0], facts.firstSound);
        }
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(run.hashes[i], kPoolHashes[w][i])
                << "hash " << i << ": 0x" << std::hex << run.hashes[i];
        }
    }
}

TEST(LateFormationTest, PistonsAndCombsRestBetweenStrokes) {
    // Each piston stroke takes 32 updates and is followed by 32 of rest.
    WaveRun run = RunWave(38, kPlayerX, kPlayerY);
    EXPECT_EQ(SoundTimes(run, kEffectClick), EverySoOften(32, 64, 27));
    // The combs slide 48 updates and rest 32, with a slide sound from the start.
    run = RunWave(39, kPlayerX, kPlayerY);
    EXPECT_EQ(SoundTimes(run, kEffectSlide), EverySoOften(0, 80, 17));
}

TEST(LateFormationTest, TheChamberClosesWhenItsFloorReachesThePlayerAndStaysClosed) {
    EXPECT_EQ(RunWave(41, kPlayerX, kPlayerY).sounds[0].first, 448 + 96);
    WaveRun run = RunWave(41, kPlayerX, 240);
    EXPECT_EQ(run.sounds, (std::vector<std::pair<int, int>>{{256 + 96, kEffectMechanism}}));
    // The walls' inner columns touch: slots 26..57 are the left wall, 58.. the right one.
    EXPECT_EQ(ObjectPool.x[26 + 7] + 32, ObjectPool.x[26 + 32]);
}

TEST(LateFormationTest, SlidingPairsSweep256UpdatesEachWay) {
    RunWave(46, kPlayerX, kPlayerY, [](int update) {
        const double x = ObjectPool.x[30 + 2];  // pair 1's upper block
        if (update == 257) {
            EXPECT_EQ(x, 176);
        }
        if (update == 513) {
            EXPECT_EQ(x, 304);
        }
        EXPECT_EQ(ObjectPool.x[30 + 3], x);
    });
}

TEST(LateFormationTest, TheTrapClosesOnTheHoleWobblesThreeTimesAndSplits) {
    WaveRun run = RunWave(51, kPlayerX, kPlayerY, [](int update) {
        const double* x = gWaves.waveAnchorX;
        const double* y = gWaves.waveAnchorY;
        if (update == 129) {  // the lower slabs stopped after 128
            EXPECT_EQ(y[2], 352);
        }
        if (update == 353) {  // the upper ones met them after 352
            EXPECT_EQ(x[0] + 384, 240);
            EXPECT_EQ(y[0] + 128, 352);
            EXPECT_EQ(y[2], 352);
        }
    });
    EXPECT_EQ(SoundTimes(run, kEffectThud), std::vector<int>{352});
    // Sideways every 576 updates from 640, up and down every 448 from 800.
    EXPECT_EQ(SoundTimes(run, kEffectMechanism),
              (std::vector<int>{640, 800, 1216, 1248, 1696, 1792}));
    // Split from the frame where slab 0 is back at y 112 after the third bounce.
    EXPECT_EQ(run.updates, 1696 + 224 + (480 - 112));
}

TEST(LateFormationTest, OnlyThePillarAboveThePlayerDropsAndItStaysDown) {
    RunWave(52, kPlayerX, kPlayerY);
    const double top = ObjectPool.y[0];
    for (int32_t k = 0; k < 4; ++k) {
        EXPECT_EQ(gWaves.waveAnchorY[k] - top, k == 2 ? 144 : 16) << "pillar " << k;
    }
}

// A push of loose block `block` (0..3, slots 35..38): the player stands beside it on the side
// opposite `direction` for one update.
TEST(LateFormationTest, SquaresTurnAfter240UpdatesTheLateOneAfter304) {
    WaveRun run = RunWave(68, kPlayerX, kPlayerY);
    EXPECT_EQ(SoundTimes(run, kEffectMechanism), (std::vector<int>{240, 304}));
    EXPECT_EQ(gWaves.waveAnchorX[2], -256);
}

}  // namespace
