// Track walkers (ids 26, 27, 31): every mover stays on its track and is back at its start
// after one lap; the circling block first goes down the left side and back.
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <utility>
#include <vector>

#include "play_field.h"
#include "wave_engine.h"
#include "wave_expectation.h"
#include "wave_run.h"

namespace {

TEST(TrackFormationTest, EachWaveLastsAsItsFrameFalls) {
    const WaveExpectation waves[] = {
        // The frames' top rows fall from -496 at 1 and from -368 at 0.5.
        {26, 992, SoundList{}},
        {27, 992, SoundList{}},
        {31, 1728, SoundList{}},
    };
    const uint64_t poolHashes[][3] = {
        {0xd359860edc8dc852, 0x0cf9b2a7fb1e5137, 0x8c84cea5b96aee8b},  // 26
        {0x8b117a96dcba0c9b, 0x0b32cf23495d29af, 0xa7ad024fe64a1050},  // 27
        {0x7723bb89da196a6d, 0x3d436d9c512ade0b, 0x431c4e4ee5770899},  // 31
    };
    for (size_t w = 0; w < std::size(waves); ++w) ExpectWave(waves[w], poolHashes[w]);
}

struct TrackMover {
    int32_t slot;    // its first slot
    int32_t origin;  // the anchor of its track
    int32_t width, height;
    int lap;  // updates per lap
};

// Checks after every update that each mover's offset lies on its track's rectangle, and that
// it is back at its first offset after a lap.
void ExpectMoversLap(int32_t id, const std::vector<TrackMover>& movers) {
    std::vector<std::pair<double, double>> first(movers.size());
    RunWave(id, 240, 432, [&](int update) {
        if (update == 1) return;
        for (size_t m = 0; m < movers.size(); ++m) {
            const TrackMover& mover = movers[m];
            double x = ObjectPool.x[mover.slot] - gWaves.waveAnchorX[mover.origin];
            double y = ObjectPool.y[mover.slot] - gWaves.waveAnchorY[mover.origin];
            bool onSide = ((x == 0 || x == mover.width) && y >= 0 && y <= mover.height) ||
                          ((y == 0 || y == mover.height) && x >= 0 && x <= mover.width);
            ASSERT_TRUE(onSide) << "mover " << m << " at " << x << ", " << y;
            if (update == 2) first[m] = {x, y};
            if (update == 2 + mover.lap) {
                EXPECT_EQ(std::make_pair(x, y), first[m]) << "mover " << m;
            }
        }
    });
}

TEST(TrackFormationTest, TwinTrackSquaresLapTheirTracks) {
    // 128 frame blocks, then nine squares of four slots.
    std::vector<TrackMover> movers;
    for (int s = 0; s < 9; ++s) {
        movers.push_back(s < 6 ? TrackMover{128 + 4 * s, 0, 192, 384, 576}
                               : TrackMover{128 + 4 * s, 1, 128, 160, 288});
    }
    ExpectMoversLap(26, movers);
}

TEST(TrackFormationTest, NestedTrackMoversLapTheirTracks) {
    // 56 frame blocks; 8 squares, 8 squares, 10 single blocks and 2 squares.
    std::vector<TrackMover> movers;
    int32_t slot = 56;
    for (int m = 0; m < 8; ++m, slot += 4) movers.push_back({slot, 0, 384, 384, 768});
    for (int m = 0; m < 8; ++m, slot += 4) movers.push_back({slot, 1, 256, 256, 256});
    for (int m = 0; m < 10; ++m, slot += 1) movers.push_back({slot, 2, 160, 160, 640});
    for (int m = 0; m < 2; ++m, slot += 4) movers.push_back({slot, 3, 64, 64, 128});
    ExpectMoversLap(27, movers);
}

TEST(TrackFormationTest, TheCirclingBlockGoesDownAndBackBeforeCirclingClockwise) {
    std::vector<std::pair<double, double>> offsets;  // [u]: after update u
    RunWave(31, 240, 432, [&](int update) {
        offsets.push_back({gWaves.waveAnchorX[0], gWaves.waveAnchorY[0]});
    });
    using Offset = std::pair<double, double>;
    EXPECT_EQ(offsets[64], (Offset{96, 96}));
    EXPECT_EQ(offsets[128], (Offset{96, 32}));
    EXPECT_EQ(offsets[192], (Offset{160, 32}));
    EXPECT_EQ(offsets[256], (Offset{160, 96}));
    EXPECT_EQ(offsets[320], (Offset{96, 96}));
    EXPECT_EQ(offsets[384], (Offset{96, 32}));
    EXPECT_EQ(offsets[416], (Offset{128, 32}));
}

}  // namespace
