// Objects fed in from the sides (ids 20 and 24): when they enter and how long the waves last.
#include <gtest/gtest.h>

#include <iterator>
#include <vector>

#include "play_field.h"
#include "wave_engine.h"
#include "wave_expectation.h"
#include "wave_run.h"

namespace {

TEST(ConveyorFormationTest, EachWaveLastsAsItsMotionGives) {
    const WaveExpectation waves[] = {
        // Conveyor: until the last row line, from -136, reaches 496.
        {20, 632, SoundList{}},
        // Ball train: the floor wall from -144 at 0.25.
        {24, 2560, SoundList{}},
    };
    const uint64_t poolHashes[][3] = {
        {0xd0e2657cf6a63385, 0x0ad6fd04646e248a, 0xfff1708365fa5c76},  // 20
        {0x07a185c325b91488, 0xe9a072d6ff568460, 0x2bb9684aeacf3c5e},  // 24
    };
    for (size_t w = 0; w < std::size(waves); ++w) ExpectWave(waves[w], poolHashes[w]);
}

// Updates after which an object stands at its entry point x.
std::vector<int> Entries(int32_t id, int32_t first, double entryX, double otherEntryX) {
    std::vector<int> entries;
    RunWave(id, 240, 432, [&](int update) {
        for (int32_t i = first; i < ObjectPool.usedCount; ++i) {
            if (ObjectPool.state[i] != kObjectAlive) continue;
            if (update > 1 && (ObjectPool.x[i] == entryX || ObjectPool.x[i] == otherEntryX)) {
                entries.push_back(update - 1);
            }
        }
    });
    return entries;
}

TEST(ConveyorFormationTest, ConveyorBlocksEnterInPairsEvery96And192Updates) {
    std::vector<int> expected;
    for (int update = 96; update < 632; update += 96) {
        int pairs = update % 192 == 0 ? 2 : 1;
        expected.insert(expected.end(), 2 * pairs, update);
    }
    EXPECT_EQ(Entries(20, 0, -16, 496), expected);
}

TEST(ConveyorFormationTest, TrainBallsComeOnEightBeatsOfTwelve) {
    // The counter starts at 736, beat 23; beats 0 to 3 of every 12 bring nothing.
    std::vector<int> expected;
    for (int update = 32; update < 2560; update += 32) {
        if ((736 + update) / 32 % 12 >= 4) expected.push_back(update);
    }
    ASSERT_EQ(expected[0], 160);
    EXPECT_EQ(Entries(24, 26, -16, -16), expected);
}

}  // namespace
