// Formations turned about a centre (ids 19, 28, 29, 30, 33, 35, 37): their sounds at the
// turns of their motion, the burst, the bell's swing and the block's swelling.
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

TEST(TurningFormationTest, EachWaveLastsAndSoundsAsItsMotionGives) {
    const WaveExpectation waves[] = {
        // Rocking disc: 0.2 a frame, past 15 after 76 updates, then past -15 after 152 more.
        {19, 1016, Every(76, 152, 7, kEffectSlide)},
        // Arcs: the frame from -464 at 0.5.
        {28, 1920, SoundList{}},
        // Burst: the centre reaches y 176 after 352 updates.
        {29, 431, SoundList{{352, kEffectRingBurst}}},
        // Widening: 172 updates sinking, then widening until no ball is left in the field.
        {30, 452, SoundList{}},
        // Pendulum: a swing sound every half period of 180.
        {33, 1543, Every(180, 180, 8, kEffectSwing)},
        // Breathing: a jump at the start and at each swell, 90 + 64 updates apart, until the
        // centre reaches 688.
        {35, 768, Every(0, 154, 5, kEffectJump)},
        // Pulsing frame: a jump at the start and every 180 while the centre is above 624; it
        // ends once the centre passes 785.47.
        {37, 930, Every(0, 180, 5, kEffectJump)},
    };
    const uint64_t poolHashes[][3] = {
        {0x6dde32030fe5880f, 0x339acfdbbee79747, 0xfd758d35c02dbdec},  // 19
        {0x6464bc57e14171e8, 0x6a80bd653a906815, 0xfbfb9a6acf181304},  // 28
        {0x95c5cafb20cae97f, 0xbaa26c44ed401106, 0xa63460572d88ad04},  // 29
        {0x99240c52582f4217, 0x748b141c90ee08dc, 0x26724eb0533b8758},  // 30
        {0x133ee4bf93d276ed, 0x7aad2a5a34a3e55c, 0x7b06522af6439827},  // 33
        {0x74ddc461a6a0653f, 0x5ce050e2281e0341, 0xdc805be22db3f730},  // 35
        {0x600476704b6414a7, 0xa2a54d1808b73013, 0xe3188a8921788004},  // 37
    };
    for (size_t w = 0; w < std::size(waves); ++w) ExpectWave(waves[w], poolHashes[w]);
}

TEST(TurningFormationTest, TheDiscRocksNoFurtherThanOneStepPast15Degrees) {
    double widest = 0;
    RunWave(19, 240, 432,
            [&](int) { widest = std::max(widest, std::fabs(gWaves.waveAnchorAux[0])); });
    EXPECT_LT(widest, 15.2 + 1e-9);
}

TEST(TurningFormationTest, BurstBallsFlyStraightOutFourPixelsAFrame) {
    double distance[48] = {};
    RunWave(29, 240, 432, [&](int update) {
        for (int32_t i = 0; i < 48; ++i) {
            double d = std::hypot(ObjectPool.x[i] - 240, ObjectPool.y[i] - 176);
            if (update > 353) {
                EXPECT_NEAR(d - distance[i], 4, 1e-9);
            }
            distance[i] = d;
        }
    });
}

TEST(TurningFormationTest, TheBellSwings55DegreesEachWayAboutItsPivot) {
    RunWave(33, 240, 432, [](int update) {
        // Ball 14, on the stem below the pivot (ball 15), points 90 degrees plus the swing.
        double degrees =
            std::atan2(ObjectPool.y[14] - ObjectPool.y[15], ObjectPool.x[14] - ObjectPool.x[15]) /
            0.017453292522222223;
        if (update == 91) {
            EXPECT_NEAR(degrees, 90 + 55, 1e-6);
        }
        if (update == 271) {
            EXPECT_NEAR(degrees, 90 - 55, 1e-6);
        }
        if (update == 181) {
            // Hanging straight: six chord points evenly spaced 32 above the arc's ends.
            for (int k = 6; k < 12; ++k) EXPECT_NEAR(ObjectPool.y[k], ObjectPool.y[0] - 32, 1e-6);
            double step = (ObjectPool.x[0] - ObjectPool.x[5]) / 5;
            for (int k = 7; k < 12; ++k) {
                EXPECT_NEAR(ObjectPool.x[k] - ObjectPool.x[k - 1], step, 1e-6);
            }
        }
    });
}

TEST(TurningFormationTest, TheBlockSwellsThreefoldAndReturnsToItsOwnSize) {
    // Block 0, the top-left corner, lies (-224, -64) from the centre.
    auto offset = [] {
        return std::pair{ObjectPool.x[0] - gWaves.waveAnchorX[0],
                         ObjectPool.y[0] - gWaves.waveAnchorY[0]};
    };
    RunWave(35, 240, 432, [&](int update) {
        if (update == 47) {  // counter 90
            EXPECT_NEAR(offset().first, -224 * 3, 1e-9);
            EXPECT_NEAR(offset().second, -64 * 3, 1e-9);
        }
        if (update == 92) {  // resting at its own size
            EXPECT_EQ(offset(), (std::pair{-224.0, -64.0}));
        }
    });
}

}  // namespace
