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
    {42, 1584, 3, {208, kEffectLaser}},
    {43, 818, 10, {64, kEffectMechanism}},
    {44, 2584, 24, {256, kEffectToneSo}},
    {45, 1282, 0, {0, -1}},
    {46, 1344, 0, {0, -1}},
    {47, 1056, 16, {120, kEffectThud}},
    {48, 1984, 19, {0, kEffectAlarm}},
    {49, 1257, 0, {0, -1}},
    {50, 1920, 21, {45, kEffectClick}},
    {51, 2288, 7, {352, kEffectThud}},
    {52, 1600, 1, {954, kEffectClick}},
    {53, 1056, 22, {17, kEffectThud}},
    {54, 820, 2, {255, kEffectSonic}},
    {55, 1124, 0, {0, -1}},
    {56, 2304, 13, {171, kEffectMechanism}},
    {57, 1088, 0, {0, -1}},
    {58, 275, 0, {0, -1}},
    {59, 1867, 3, {1661, kEffectPush}},
    {60, 864, 7, {568, kEffectClick}},
    {61, 556, 1, {496, kEffectWhoosh}},
    {62, 1920, 0, {0, -1}},
    {63, 1536, 0, {0, -1}},
    {64, 3243, 0, {0, -1}},
    {65, 864, 0, {0, -1}},
    {66, 2688, 0, {0, -1}},
    {67, 864, 0, {0, -1}},
    {68, 544, 2, {240, kEffectMechanism}},
    {69, 1015, 0, {0, -1}},
};

// WaveRun::hashes of each wave above, in the same order.
const uint64_t kPoolHashes[][3] = {
    {0x6deb3ee7b16a3ff1, 0x19156f4dad3c078e, 0x4164f7a3c5615400},  // 38
    {0xf36effab37af72fb, 0x3e48ac77272ee765, 0xd9179fb4fc403258},  // 39
    {0xb01b5a8b7a8ef64b, 0xc4263b822aa823a3, 0xfbb5a6d6f52b4732},  // 40
    {0x2959a414b1568da2, 0x67bc75b11193c986, 0xd00193e02e903cd2},  // 41
    {0xb6dcb43d66faedcd, 0x2b8bce0a16f433be, 0xa5fa90e488a5bc3b},  // 42
    {0x27641c6cdf81856e, 0xeb438deaf9325b9a, 0x3b3b9a3c71846262},  // 43
    {0xc6d292d177e2784a, 0xb982daba9f6b59b8, 0xae0907691cf9792e},  // 44
    {0xf5cb374d87cdf44e, 0xb9ea53172021607c, 0x7e06cc8b10fabff5},  // 45
    {0xe887a1fcb40ccdbd, 0xb632b80c55b9ac67, 0x4299ed7f2834bc1a},  // 46
    {0xa415c7728117b842, 0xf3ba4ca6d28719e9, 0x5b4d223c5887cdf5},  // 47
    {0xe0d62847cb971bf7, 0x4371c7dfa3d8542f, 0x15cf791ebb269fca},  // 48
    {0x4dc704c7bc71e7d7, 0xda2d535dfad33447, 0x703dd10934a164f3},  // 49
    {0x0d05d277a1cc9149, 0x21995662e11123cb, 0xb056ae2dd1bb7087},  // 50
    {0x7d4d7c853140e809, 0x433c1ce09f2f2949, 0x386680fc52efbdc9},  // 51
    {0xf18bf2b8870efb95, 0x56848402d1c4d787, 0x0dcedda0a1ba41b6},  // 52
    {0xe01ea0a127c941a3, 0x6c62a33162d6ce11, 0x1024f17cea79bd3a},  // 53
    {0xc902f59ebfbf7a98, 0x50b3970966bd672b, 0xd4c0f51de2695068},  // 54
    {0x2f9a2bd676d6f113, 0x69a7ec92a112766e, 0x819299746d5b4c56},  // 55
    {0xc46ab319987e83cc, 0x3d31d4b41c2fb4ec, 0x48bf841a235631e5},  // 56
    {0x77df8f8b994e8a5c, 0x06ef4018db899008, 0x35d429d1261af4f2},  // 57
    {0x11685c803459da87, 0x8dc08c1fbe5a5f7f, 0xc97b0972de60a401},  // 58
    {0x07b28d7fc8330304, 0x5d0b30473e74f2e4, 0xc6dbc5846d48e731},  // 59
    {0x6490cbd63455de7f, 0xb3692b331691587d, 0x1b908c099af055de},  // 60
    {0xfb1b9f5d31bc8d5b, 0x6fb551404433f52d, 0xe7917ecdf3c71423},  // 61
    {0xaa961d21322d2395, 0x20851b3fed4d2c44, 0xa34749d861320cb6},  // 62
    {0x31a11361e54bd7ed, 0x828b954d71a69069, 0x8717e7cd1bfc318d},  // 63
    {0x1f9b8caa3dd1814b, 0x9b493f234c69e83a, 0xd33e30d76be03aee},  // 64
    {0xac1236825b2e1088, 0xb7ec4cb5a69919b7, 0x7cb1c94363d42f63},  // 65
    {0xf71a50ce3866b5d3, 0x301f7cce804ff99b, 0x1f732b488cc912b1},  // 66
    {0xb1bde1040c5dab0c, 0xa6f68dfc00a64788, 0xbfc42139a7a03680},  // 67
    {0x7164971abab45c1a, 0xec8242229aa282ca, 0x747192df0f7adbca},  // 68
    {0x64380255832498e0, 0x030a5f8535bff2c7, 0x77e562e862f73c11},  // 69
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

TEST(LateFormationTest, TheSnakeCorridorNarrowsSwaysAndEndsWithItsLastWall) {
    int liveWallsAtPhaseTwo = -1;
    WaveRun run = RunWave(42, kPlayerX, kPlayerY, [&](int update) {
        const double centre = gWaves.waveAnchorX[0];
        if (update == 145) {  // narrowed after 144
            EXPECT_EQ(ObjectPool.x[0] - centre, -112);
        }
        EXPECT_GE(centre, 128);
        EXPECT_LE(centre, 352);
        int live = 0;
        for (int32_t i = 0; i < 40; ++i) live += ObjectPool.state[i] != kObjectFree;
        // After the third snake no wall block enters any more.
        if (update == 1330) liveWallsAtPhaseTwo = live;
        if (update > 1330) {
            EXPECT_LE(live, liveWallsAtPhaseTwo);
        }
    });
    // A snake enters 64 updates after the narrowing and every 395 updates after that.
    EXPECT_EQ(SoundTimes(run, kEffectLaser), EverySoOften(144 + 64, 64 + 331, 3));
    EXPECT_GT(liveWallsAtPhaseTwo, 0);
    // The last wall pair entered 16 updates before the third snake left, at y -16.
    EXPECT_EQ(run.updates, 1328 + (496 + 16) / 2);
}

TEST(LateFormationTest, TheMorphRingStandsOnTheSquareWhileHoldingIt) {
    WaveRun run = RunWave(43, kPlayerX, kPlayerY, [](int update) {
        if (update != 66) return;  // after the first update of the held square
        EXPECT_EQ(ObjectPool.x[0], 240 - 224);
        EXPECT_EQ(ObjectPool.y[8], gWaves.waveAnchorY[0] + 224);
    });
    EXPECT_EQ(SoundTimes(run, kEffectMechanism), EverySoOften(64, 80, 10));
}

TEST(LateFormationTest, TheToneMemoryShowsAndDropsThreeFourAndFiveBlocksInOneOrder) {
    WaveRun run = RunWave(44, kPlayerX, kPlayerY);
    std::vector<int> tones;
    for (const auto& [update, effect] : run.sounds) tones.push_back(effect - kEffectToneDo);
    ASSERT_EQ(tones.size(), 24u);
    // The first show starts 96 updates after the blocks reach y 0.
    EXPECT_EQ(run.sounds[0].first, 160 + 96);
    // The last show plays the whole sequence; every show and attack plays its first entries.
    const std::vector<int> sequence(tones.begin() + 14, tones.begin() + 19);
    size_t at = 0;
    for (size_t length = 3; length <= 5; ++length) {
        std::vector<int> start(sequence.begin(), sequence.begin() + length);
        EXPECT_EQ(std::vector<int>(tones.begin() + at, tones.begin() + at + length), start);
        at += length;
        EXPECT_EQ(std::vector<int>(tones.begin() + at, tones.begin() + at + length), start);
        at += length;
    }
    for (size_t i = 1; i < sequence.size(); ++i) EXPECT_NE(sequence[i], sequence[i - 1]);
}

TEST(LateFormationTest, TheLatticeEndsWhollyBelowTheField) {
    RunWave(45, kPlayerX, kPlayerY);
    EXPECT_GE(gWaves.waveAnchorY[1], std::sqrt(2.0) * 352 + 480);
    EXPECT_GE(*std::min_element(ObjectPool.y, ObjectPool.y + 144), 496);
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

TEST(LateFormationTest, RowsLandOnTheStackTheLateGroupLast) {
    WaveRun run = RunWave(47, kPlayerX, kPlayerY, [](int update) {
        if (update != 929) return;  // every row has landed
        for (int32_t i = 0; i < 120; ++i) EXPECT_EQ(ObjectPool.y[i], 464 - 32 * (i / 15)) << i;
    });
    std::vector<int> thuds = SoundTimes(run, kEffectThud);
    ASSERT_EQ(thuds.size(), 16u);
    // Row 0 lands at (464 + 16) / 4 and (464 + 112) / 4; each later row 32 higher.
    for (int r = 0, start = 0; r < 8; ++r) {
        int floor = 464 - 32 * r;
        EXPECT_EQ(thuds[2 * r], start + (floor + 16) / 4);
        EXPECT_EQ(thuds[2 * r + 1], start + (floor + 112) / 4);
        start = thuds[2 * r + 1];
    }
}

TEST(LateFormationTest, TheMazePanelRests64UpdatesAtEachEndAfterAnAlarm) {
    WaveRun run = RunWave(48, kPlayerX, kPlayerY);
    std::vector<int> alarms = SoundTimes(run, kEffectAlarm);
    std::vector<int> stops = SoundTimes(run, kEffectMechanism);
    ASSERT_EQ(alarms.size(), 10u);
    ASSERT_EQ(stops.size(), 9u);
    for (size_t i = 0; i < stops.size(); ++i) {
        // 64 updates to top speed cover 260 px; the other 700 take 88 at 8 px.
        EXPECT_EQ(stops[i] - alarms[i], 152);
        EXPECT_EQ(alarms[i + 1] - stops[i], 64);
    }
    EXPECT_EQ(ObjectPool.usedCount, 373);
}

TEST(LateFormationTest, TheWindingSnakeTurnsEachBallEightyPixelsLower) {
    RunWave(49, kPlayerX, kPlayerY, [](int update) {
        if (update == 2) {
            EXPECT_EQ(ObjectPool.x[0], 424);
        }
        if (update == 2 + 31) {
            EXPECT_EQ(ObjectPool.y[0], 64);
        }
        if (update == 505) {
            EXPECT_LT(ObjectPool.x[63], 424);
        }
        if (update == 506) {
            EXPECT_EQ(ObjectPool.x[63], 424);
        }
        if (update == 506 + 31) {
            EXPECT_EQ(ObjectPool.y[63], 64);
        }
    });
}

TEST(LateFormationTest, TheDiamondCoreReversesAt195And285WithAClick) {
    WaveRun run = RunWave(50, kPlayerX, kPlayerY, [](int) {
        EXPECT_GE(gWaves.waveAnchorX[1], 195);
        EXPECT_LE(gWaves.waveAnchorX[1], 285);
    });
    EXPECT_EQ(SoundTimes(run, kEffectClick), EverySoOften(45, 90, 21));
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

TEST(LateFormationTest, HammersSlamInTurnEvery146Updates) {
    WaveRun run = RunWave(53, kPlayerX, kPlayerY);
    // Hammer 1 starts lifted, hammer 0 lifts first, hammer 2 rests 64 updates first; each
    // then rests 64, lifts 65 and slams 17.
    for (int time : SoundTimes(run, kEffectThud)) {
        int t = time % 146;
        EXPECT_TRUE(t == 17 || t == 82 || t == 0) << time;
    }
}

TEST(LateFormationTest, OnlyTheApproachedRingsWidenAndEveryRingIsClosed) {
    const double halfDiagonal = std::sqrt(2.0) * 240;
    WaveRun run = RunWave(54, 464, 240);  // out of reach of the left set
    EXPECT_EQ(run.sounds.size(), 1u);
    auto distance = [](int32_t slot, int set) {
        return std::hypot(ObjectPool.x[slot] - gWaves.waveAnchorX[set],
                          ObjectPool.y[slot] - gWaves.waveAnchorY[set]);
    };
    EXPECT_NEAR(distance(0, 0), halfDiagonal - 80, 1e-9);
    EXPECT_NEAR(distance(132, 1), halfDiagonal - 16, 1e-9);
    // The last ball of the outer ring is as far from the first as the second is.
    auto gap = [](int32_t a, int32_t b) {
        return std::hypot(ObjectPool.x[a] - ObjectPool.x[b], ObjectPool.y[a] - ObjectPool.y[b]);
    };
    EXPECT_NEAR(gap(0, 49), gap(0, 1), 1e-6);
}

TEST(LateFormationTest, LanesRefillNinetySixApartAndSkipAnEntryWhenThePoolIsFull) {
    RunWave(55, kPlayerX, kPlayerY, [](int update) {
        // Every slot busy when lanes 0 and 3 are due.
        if (update == 32) {
            std::fill(ObjectPool.state, ObjectPool.state + 64, kObjectExploding);
            std::fill(ObjectPool.x, ObjectPool.x + 64, 240);  // none leaves in this update
        }
        if (update == 33) {
            for (int32_t i = 0; i < 64; ++i) {
                EXPECT_NE(ObjectPool.x[i], -16);
                EXPECT_NE(ObjectPool.x[i], 496);
            }
        }
    });
    RunWave(55, kPlayerX, kPlayerY, [](int update) {
        if (update != 200) return;
        std::vector<double> lane1;
        for (int32_t i = 0; i < 64; ++i) {
            if (ObjectPool.state[i] != kObjectFree && ObjectPool.y[i] == gWaves.waveAnchorY[1])
                lane1.push_back(ObjectPool.x[i]);
        }
        std::sort(lane1.begin(), lane1.end());
        ASSERT_GE(lane1.size(), 4u);
        for (size_t i = 1; i < lane1.size(); ++i) EXPECT_EQ(lane1[i] - lane1[i - 1], 96);
    });
}

TEST(LateFormationTest, TheMazeSwaysFourColumnsWithAMechanismAtEachEnd) {
    WaveRun run = RunWave(56, kPlayerX, kPlayerY, [](int) {
        EXPECT_GE(gWaves.waveAnchorX[0], -128);
        EXPECT_LE(gWaves.waveAnchorX[0], 0);
    });
    EXPECT_EQ(SoundTimes(run, kEffectMechanism), EverySoOften(171, 171, 13));
}

struct PuppetCase {
    const char* name;
    int32_t playerX;
    bool left, right, decide;
    double xAfter20;  // the puppet's x 20 updates into its fall
};

TEST(LateFormationTest, ThePuppetSteersAsThePlayerDoesButNotIntoTheObstacle) {
    const PuppetCase cases[] = {
        {"left and right steer right", 100, true, true, false, 100 + 4 * 20},
        {"decide brakes", 100, true, false, true, 100 - 2 * 20},
        {"pressed against a side", 16, false, true, false, 16},
        {"at the field's edge", 448, false, true, false, 464},
    };
    for (const PuppetCase& c : cases) {
        SCOPED_TRACE(c.name);
        // The puppet appears at update 272, when the obstacle reaches y 120.
        RunWave(57, c.playerX, kPlayerY, [&](int update) {
            gGameInput.inLeft = c.left;
            gGameInput.inRight = c.right;
            gGameInput.inDecide = c.decide;
            if (update == 273 + 20) {
                EXPECT_EQ(ObjectPool.x[0], c.xAfter20);
            }
        });
    }
    // Steered right beside the obstacle, the puppet stops a block away from it.
    double nearest = 0;
    RunWave(57, 176, kPlayerY, [&](int) {
        gGameInput.inRight = std::fabs(ObjectPool.y[0] - ObjectPool.y[1]) < 32;
        if (gGameInput.inRight) nearest = std::max(nearest, ObjectPool.x[0]);
    });
    EXPECT_EQ(nearest, 208);
    // Unsteered above the obstacle, it lands and rides down on it.
    RunWave(57, 240, kPlayerY);
    EXPECT_EQ(ObjectPool.y[0], ObjectPool.y[1] - 32);
}

// A push of loose block `block` (0..3, slots 35..38): the player stands beside it on the side
// opposite `direction` for one update.
struct Push {
    int block;
    int dx, dy;
};

TEST(LateFormationTest, FourBlocksPushedIntoTheCupsOpenTheWallForGood) {
    // Blocks at cells (7, 3), (4, 7), (3, 13), (12, 14); cup holes at (4, 5) open above,
    // (10, 5) open right, (4, 11) open below, (10, 11) open left.
    std::vector<Push> pushes = {{1, 0, -1}};  // into a cup's wall: refused, silent
    auto repeat = [&](int block, int dx, int dy, int times) {
        for (int i = 0; i < times; ++i) pushes.push_back({block, dx, dy});
    };
    repeat(0, -1, 0, 3);
    repeat(0, 0, 1, 2);
    repeat(1, 1, 0, 5);
    repeat(1, 0, 1, 4);
    repeat(1, 1, 0, 1);
    repeat(2, 1, 0, 1);
    repeat(2, 0, -1, 2);
    repeat(3, 0, -1, 9);
    repeat(3, -1, 0, 2);
    const int firstPush = 100, pushUpdates = 17;  // the start, then 16 steps of 2 px
    std::vector<int> wallX;                       // wallX[u]: the wall's first block after update u
    WaveRun run = RunWave(59, 16, 464, [&](int update) {
        wallX.push_back(static_cast<int>(ObjectPool.x[20]));
        int k = (update - firstPush) / pushUpdates;
        bool pushing = update >= firstPush && (update - firstPush) % pushUpdates == 0 &&
                       k < static_cast<int>(pushes.size());
        gPlayField.playerX = 16;
        gPlayField.playerY = 464;
        if (!pushing) return;
        const Push& p = pushes[k];
        gPlayField.playerX = static_cast<int32_t>(ObjectPool.x[35 + p.block] - 32 * p.dx);
        gPlayField.playerY = static_cast<int32_t>(ObjectPool.y[35 + p.block] - 32 * p.dy);
    });
    std::vector<int> pushSounds = SoundTimes(run, kEffectPush);
    ASSERT_EQ(pushSounds.size(), pushes.size() - 1);
    EXPECT_EQ(pushSounds[0], firstPush + pushUpdates + 1);
    EXPECT_EQ(SoundTimes(run, kEffectMechanism).size(), 4u);
    // Opened when the last block reached its cup; open 32 px each way 16 updates later.
    int opened = firstPush + static_cast<int>(pushes.size() - 1) * pushUpdates + 16;
    EXPECT_EQ(wallX[opened - 1], 16);
    EXPECT_EQ(wallX[opened + 14], -14);
    EXPECT_EQ(wallX[opened + 15], -16);
    EXPECT_EQ(wallX.back(), -16);
    EXPECT_EQ(ObjectPool.x[24] - ObjectPool.x[23], 32 + 64);

    // Unsolved, the wall comes down closed.
    RunWave(59, kPlayerX, kPlayerY);
    EXPECT_EQ(ObjectPool.x[20], 16);
}

TEST(LateFormationTest, TheRunnerPausesTwoUpdatesAtEachTurnAndStopsInTheTopGap) {
    std::vector<std::pair<double, double>> runner;  // from the maze's corner
    WaveRun run = RunWave(60, kPlayerX, kPlayerY, [&](int) {
        runner.push_back({ObjectPool.x[86] - ObjectPool.x[0], ObjectPool.y[86] - ObjectPool.y[0]});
    });
    runner.push_back({ObjectPool.x[86] - ObjectPool.x[0], ObjectPool.y[86] - ObjectPool.y[0]});
    std::vector<int> turns = SoundTimes(run, kEffectClick);
    EXPECT_EQ(turns, (std::vector<int>{568, 618, 644, 670, 736, 778, 828}));
    for (int t : turns) {
        // runner[u]: the place after update u.
        EXPECT_EQ(runner[t], runner[t + 1]);
        EXPECT_EQ(runner[t + 1], runner[t + 2]);
        EXPECT_NE(runner[t + 2], runner[t + 3]);
    }
    EXPECT_EQ(runner.back(), (std::pair<double, double>{192, 0}));
}

TEST(LateFormationTest, TheCeilingLeavesASlotAboveThePlayerAndCrashesAfterTheBars) {
    const int32_t x = 176;
    WaveRun run = RunWave(61, x, kPlayerY, [&](int update) {
        if (update != 1) return;
        for (int32_t i = 0; i < 140; ++i) EXPECT_GE(std::fabs(ObjectPool.x[i] - x), 32);
    });
    EXPECT_EQ(run.sounds, (std::vector<std::pair<int, int>>{{496, kEffectWhoosh}}));
    EXPECT_EQ(run.updates, 496 + (496 - 16) / 8);
    // The arm has swung down.
    EXPECT_NEAR(ObjectPool.x[140 + 99], gWaves.waveAnchorX[3], 1e-6);
}

TEST(LateFormationTest, TheBobbingWallsStayInTheirColumnsWithin32Pixels) {
    double highest = 0, lowest = 0;
    RunWave(64, kPlayerX, kPlayerY, [&](int update) {
        const double bob = gWaves.waveAnchorY[1];
        highest = std::max(highest, bob);
        lowest = std::min(lowest, bob);
        if (update > 1) {
            EXPECT_EQ(ObjectPool.x[78], 16);
        }
    });
    EXPECT_EQ(highest, 32);
    EXPECT_EQ(lowest, -32);
}

TEST(LateFormationTest, EachRowsGapIs48PixelsCentredOnItsColumn) {
    const int gapColumn[20] = {8, 7, 6, 5, 6, 7, 8, 9, 10, 11, 10, 9, 8, 7, 8, 9, 8, 7, 6, 5};
    RunWave(65, kPlayerX, kPlayerY, [&](int update) {
        if (update != 1) return;
        for (int r = 0; r < 20; ++r) {
            int s = gapColumn[r];
            EXPECT_EQ(ObjectPool.x[15 * r + s - 1] + 16, 32 * s - 24) << r;
            EXPECT_EQ(ObjectPool.x[15 * r + s] - 16, 32 * s + 24) << r;
        }
    });
}

TEST(LateFormationTest, ADoorSlidesShutOnceNearThePlayerAndTheOthersStayOpen) {
    std::vector<double> door0;  // door0[u]: slot 69's height in the maze after update u
    WaveRun run = RunWave(67, 64, 240, [&](int update) {
        door0.push_back(ObjectPool.y[69] - gWaves.waveAnchorY[0]);
        if (update > 1) {
            EXPECT_EQ(ObjectPool.y[81] - gWaves.waveAnchorY[0], 288 + 16);  // door 3 stays
        }
    });
    // Triggered when the trigger point (64, 128) comes within 32 of the player.
    EXPECT_EQ(run.sounds, (std::vector<std::pair<int, int>>{{464, kEffectSlide}}));
    EXPECT_EQ(door0[464], 32 + 16);
    EXPECT_EQ(door0[464 + 64], 32 + 16 + 64);
    EXPECT_EQ(door0.back(), 32 + 16 + 64);
}

TEST(LateFormationTest, SquaresTurnAfter240UpdatesTheLateOneAfter304) {
    WaveRun run = RunWave(68, kPlayerX, kPlayerY);
    EXPECT_EQ(SoundTimes(run, kEffectMechanism), (std::vector<int>{240, 304}));
    EXPECT_EQ(gWaves.waveAnchorX[2], -256);
}

TEST(LateFormationTest, TheTrianglesSpinApartBetweenRowsOpenAtOppositeEdges) {
    RunWave(69, kPlayerX, kPlayerY, [](int update) {
        if (update != 2) return;
        // Each triangle's corners (its points 0, 5 and 10) stand 160 apart, as far from its
        // centre as its circumradius.
        auto apart = [](int32_t a, int32_t b) {
            return std::hypot(ObjectPool.x[a] - ObjectPool.x[b], ObjectPool.y[a] - ObjectPool.y[b]);
        };
        const double circumradius = 80 / std::sin(1.0471975513333334);
        for (int32_t t = 0; t < 2; ++t) {
            const int32_t corners[3] = {15 * t, 15 * t + 5, 15 * t + 10};
            for (int32_t c = 0; c < 3; ++c) {
                EXPECT_NEAR(apart(corners[c], corners[(c + 1) % 3]), 160, 1e-6);
                EXPECT_NEAR(std::hypot(ObjectPool.x[corners[c]] - gWaves.waveAnchorX[t],
                                       ObjectPool.y[corners[c]] - gWaves.waveAnchorY[t]),
                            circumradius, 1e-6);
            }
        }
        EXPECT_EQ(*std::min_element(ObjectPool.x + 30, ObjectPool.x + 43), 80);
        EXPECT_EQ(*std::max_element(ObjectPool.x + 43, ObjectPool.x + 56), 400);
    });
    EXPECT_EQ(gWaves.waveAnchorAux[0], 1.5 * 1015);
    EXPECT_EQ(gWaves.waveAnchorAux[1], -1.5 * 1015);
}

}  // namespace
