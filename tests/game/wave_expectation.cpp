#include "wave_expectation.h"

#include <gtest/gtest.h>

#include "wave_run.h"

SoundList Every(int first, int period, int count, int effect) {
    SoundList sounds;
    for (int i = 0; i < count; ++i) sounds.push_back({first + period * i, effect});
    return sounds;
}

void ExpectWave(const WaveExpectation& expected, const uint64_t (&poolHashes)[3]) {
    SCOPED_TRACE(testing::Message() << "wave " << expected.id);
    WaveRun run = RunWave(expected.id, 240, 432);
    EXPECT_EQ(run.updates, expected.updates);
    if (expected.sounds) {
        EXPECT_EQ(run.sounds, *expected.sounds);
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(run.hashes[i], poolHashes[i])
            << "hash " << i << ": 0x" << std::hex << run.hashes[i];
    }
}
