// Falling walls (ids 14, 21, 25, 32, 34, 36): how long each falls, the order in which the
// splitting wall's rows open and close, and the jaw's halves meeting cell on cell.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <utility>

#include "game_sounds.h"
#include "play_field.h"
#include "wave_expectation.h"
#include "wave_run.h"

namespace {

TEST(FallingWallFormationTest, EachWaveLastsAndSoundsAsItsMotionGives) {
    const WaveExpectation waves[] = {
        // Arrow: the top block from -336 to 496 at 4 a frame.
        {14, 208, SoundList{}},
        // Parting wall: from -304 at 0.5.
        {21, 1600, SoundList{}},
        // Maze: from -496 at 1.5.
        {25, 662, SoundList{}},
        // Splitting wall: the voice when its top row reaches y 16.
        {32, 800, SoundList{{320, kEffectVoice}}},
        // Jaw: 240 updates falling, 320 closing, 64 shut and 320 parting.
        {34, 944, SoundList{{560, kEffectMechanism}}},
        // Sine rows: until the highest block of the last row, at -447.7, is below the field.
        {36, 944, SoundList{}},
    };
    const uint64_t poolHashes[][3] = {
        {0x609cf20e140ebba0, 0xb587bf76ec3f772b, 0xb587bf76ec3f772b},  // 14
        {0xd4fb457d4425676a, 0x00739e48d34ce4e1, 0x9e1ebecc11654288},  // 21
        {0x1dc5909318d41653, 0xb6f8323f23ac837f, 0x9fbc09c0821087a5},  // 25
        {0xc3196089d34d4598, 0xb7d738af3bf6b29b, 0x2c1530ea3794cc0c},  // 32
        {0x0322f51e23152374, 0x5237aa52b043316a, 0xd2276cca20d4c004},  // 34
        {0xc820583b5c22b195, 0x5dc6f4ff57d15756, 0xdc3fd9622781f680},  // 36
    };
    for (size_t w = 0; w < std::size(waves); ++w) ExpectWave(waves[w], poolHashes[w]);
}

TEST(FallingWallFormationTest, TheSplitOpensFromTheBottomAndClosesFromTheTopBeforeMovingRight) {
    // Row r's gaps: left of column 4 and left of column 11, in pixels between the blocks.
    auto gap = [](int r, int column) {
        return ObjectPool.x[15 * r + column] - ObjectPool.x[15 * r + column - 1] - 32;
    };
    int fullAt[10] = {}, closedAt[10] = {};
    int firstRightGap = 0;
    RunWave(32, 240, 432, [&](int update) {
        if (update == 1) return;
        for (int r = 0; r < 10; ++r) {
            if (gap(r, 4) == 48 && fullAt[r] == 0) fullAt[r] = update - 1;
            if (update - 1 > 320 && gap(r, 4) == 0 && closedAt[r] == 0) closedAt[r] = update - 1;
            if (gap(r, 11) > 0 && firstRightGap == 0) firstRightGap = update - 1;
        }
    });
    // The bottom row opens from update 97 at 0.25 a side per frame; rows 7 and 6 follow 32
    // and 64 later; the rows above it never reach the full width.
    EXPECT_EQ(fullAt[9], 96 + 96);
    EXPECT_EQ(fullAt[8], 96 + 32 + 96);
    EXPECT_EQ(fullAt[7], 96 + 64 + 96);
    EXPECT_EQ(fullAt[3], 0);
    for (int r = 1; r < 10; ++r) {
        if (fullAt[r] != 0) {
            EXPECT_LT(closedAt[r - 1], closedAt[r]) << r;
        }
    }
    EXPECT_EQ(closedAt[9], 320 + 36 + 24);
    EXPECT_EQ(firstRightGap, closedAt[9] + 1);
}

TEST(FallingWallFormationTest, TheJawsHalvesInterlockCellOnCell) {
    RunWave(34, 240, 432, [](int update) {
        if (update != 560 + 1) return;
        std::set<std::pair<double, double>> cells;
        for (int32_t i = 0; i < ObjectPool.usedCount; ++i) {
            EXPECT_EQ(static_cast<int>(ObjectPool.x[i]) % 32, 16);
            cells.insert({ObjectPool.x[i], ObjectPool.y[i]});
        }
        // The 15 x 15 pattern without its four empty cells.
        EXPECT_EQ(cells.size(), 221u);
        EXPECT_EQ(ObjectPool.usedCount, 221);
    });
}

}  // namespace
