// The streams (ids 11 and 12): rows released into free slots, the maze's random last row, the
// turning frame of the ball stream, its explosions that run at double speed, and its target
// angle that starts at 0 on every run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "core/random.h"
#include "formations.h"
#include "play_field.h"
#include "wave_engine.h"
#include "wave_expectation.h"
#include "wave_run.h"

namespace {

TEST(StreamFormationTest, EachStreamLastsUntilItsLastRowHasLeft) {
    const WaveExpectation waves[] = {
        // Maze: the 98th row comes 97 x 8 updates after the first and falls 512 pixels at 4.
        {11, 1 + 97 * 8 + 128, SoundList{}},
        {12, 3621, SoundList{}},
    };
    const uint64_t poolHashes[][3] = {
        {0x3d8830d1bbc3fd34, 0x1e014fe0fa13308f, 0xc2f51043869ef89d},  // 11
        {0x11099a3d39dcc360, 0x7b4f53464d84746c, 0x7a4d98a3dd07fa7b},  // 12
    };
    for (size_t w = 0; w < std::size(waves); ++w) ExpectWave(waves[w], poolHashes[w]);
}

// The x of every alive object at y -16, the row just released.
std::vector<double> JustReleasedRow() {
    std::vector<double> xs;
    for (int32_t i = 0; i < kPoolSlots; ++i) {
        if (ObjectPool.state[i] == kObjectAlive && ObjectPool.y[i] == -16) {
            xs.push_back(ObjectPool.x[i]);
        }
    }
    std::sort(xs.begin(), xs.end());
    return xs;
}

TEST(StreamFormationTest, TheMazesLastRowClosesThePassageThatTheRandomChoiceGives) {
    for (int choice = 0; choice < 2; ++choice) {
        SCOPED_TRACE(choice);
        uint32_t seed = 1;
        for (;; ++seed) {
            SeedRandom(seed);
            if (RandomUpTo(1) == choice) break;
        }
        std::vector<double> firstRow, lastRow;
        RunWave(11, 240, 432, [&](int update) {
            if (update == 1) {  // started again with the choice wanted
                SeedRandom(seed);
                MazeStreamFormation(kFormationStart, 0, 0);
            }
            if (update == 2) firstRow = JustReleasedRow();
            if (update == 1 + 97 * 8 + 1) lastRow = JustReleasedRow();
        });
        EXPECT_EQ(firstRow.size(), 11u);  // 111110000111111
        std::vector<double> expected;
        const char* row = choice == 0 ? "111111110011111" : "111110011111111";
        for (int c = 0; c < 15; ++c) {
            if (row[c] == '1') expected.push_back(16 + 32 * c);
        }
        EXPECT_EQ(lastRow, expected);
    }
}

TEST(StreamFormationTest, TheBallStreamFlowsFromRightToLeftOnceTurnedTo90Degrees) {
    // Target 90 from counter 1920; 45 to go at 0.2 a frame. A falling ball then moves left by
    // 1 a frame, and the angle hovers within 0.2 degrees of 90.
    std::vector<double> x(kPoolSlots), y(kPoolSlots);
    int checked = 0;
    RunWave(12, 240, 432, [&](int update) {
        if (update > 2200 && update < 2500) {
            for (int32_t i = 0; i < kPoolSlots; ++i) {
                if (ObjectPool.state[i] != kObjectAlive || ObjectPool.sprite[i] != 1) continue;
                if (x[i] == 0 && y[i] == 0) continue;
                double dx = ObjectPool.x[i] - x[i], dy = ObjectPool.y[i] - y[i];
                if (std::hypot(dx, dy) > 2) continue;  // a slot released anew
                EXPECT_NEAR(dx, -1, 1e-3);
                EXPECT_NEAR(dy, 0, 0.2 * 0.0175 + 1e-9);
                ++checked;
            }
        }
        for (int32_t i = 0; i < kPoolSlots; ++i) {
            bool alive = ObjectPool.state[i] == kObjectAlive;
            x[i] = alive ? ObjectPool.x[i] : 0;
            y[i] = alive ? ObjectPool.y[i] : 0;
        }
    });
    EXPECT_GT(checked, 1000);
}

TEST(StreamFormationTest, AHitStreamBallBurnsOutIn32FramesWhileDriftingWithTheStream) {
    int32_t hit = -1;
    int burntAt = 0;
    double yAtHit = 0;
    RunWave(12, 240, 432, [&](int update) {
        // The play field's part of each frame: exploding slots count up and burn out at 64.
        for (int32_t i = 0; i < kPoolSlots; ++i) {
            if (ObjectPool.state[i] == kObjectExploding && ++ObjectPool.explodeTimer[i] == 64) {
                ObjectPool.state[i] = kObjectFree;
                if (i == hit && burntAt == 0) burntAt = update;
            }
        }
        if (update == 100) {
            hit = 0;  // the first ball of the first row, falling steadily
            ASSERT_EQ(ObjectPool.state[hit], kObjectAlive);
            ObjectPool.state[hit] = kObjectExploding;
            ObjectPool.explodeTimer[hit] = 0;
            yAtHit = ObjectPool.y[hit];
        }
        if (update == 110) {
            EXPECT_NEAR(ObjectPool.y[hit] - yAtHit, 10, 1e-9);
        }
    });
    EXPECT_EQ(burntAt, 100 + 32);
}

TEST(StreamFormationTest, ARunAbandonedMidTurnLeavesTheNextRunUnchanged) {
    WaveRun first = RunWave(12, 240, 432);
    // Quit after counter 640, when the target angle is -15.
    RunWave(12, 240, 432, [](int update) {
        if (update == 700) gWaves.waveActive = 0;
    });
    WaveRun again = RunWave(12, 240, 432);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(again.hashes[i], first.hashes[i]);
}

}  // namespace
