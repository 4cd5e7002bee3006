// The wave runner of the formation tests.
#include "wave_run.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/random.h"
#include "game_sounds.h"
#include "play_field.h"
#include "replay.h"
#include "wave_engine.h"

namespace {

constexpr int kMiddleHashUpdate = 250;
constexpr int kUpdateLimit = 100000;

void TakeSoundRequests(int update, WaveRun* run) {
    for (int32_t n = 0; n < kSoundRequestSlots; ++n) {
        if (SoundRequest[n] == 0) continue;
        run->sounds.push_back({update, n});
        SoundRequest[n] = 0;
    }
}

}  // namespace

WaveRun RunWave(int32_t id, int32_t playerX, int32_t playerY,
                const std::function<void(int)>& each) {
    ResetGameState();
    SeedRandom(1);
    gPlayField.playerState = kPlayerAlive;
    gPlayField.playerX = playerX;
    gPlayField.playerY = playerY;
    for (int32_t s = 0; s < kStages; ++s) {
        for (int32_t w = 0; w < kWavesPerStageMax; ++w) {
            if (StageTable[s][w] != id) continue;
            gWaves.stageNumber = s + 1;
            gWaves.waveIndex = w;
        }
    }
    StartWave();
    EXPECT_EQ(gWaves.currentWaveId, id);
    WaveRun run;
    TakeSoundRequests(0, &run);
    while (gWaves.waveActive == 1 && run.updates < kUpdateLimit) {
        if (each) each(run.updates + 1);
        UpdateWave();
        run.updates += 1;
        EXPECT_LE(ObjectPool.usedCount, kPoolSlots);
        for (int32_t i = 0; i < ObjectPool.usedCount; ++i) {
            EXPECT_TRUE(std::isfinite(ObjectPool.x[i]) && std::isfinite(ObjectPool.y[i]))
                << "slot " << i << " update " << run.updates;
        }
        TakeSoundRequests(run.updates, &run);
        if (run.updates == 1) run.hashes[0] = HashPool();
        if (run.updates <= kMiddleHashUpdate) run.hashes[1] = HashPool();
    }
    EXPECT_EQ(gWaves.waveActive, 0) << "wave " << id << " never ended";
    run.hashes[2] = HashPool();
    return run;
}

uint64_t HashPool() {
    uint64_t hash = 14695981039346656037ull;
    auto mix = [&](const void* data, size_t size) {
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
    };
    mix(&ObjectPool.usedCount, sizeof ObjectPool.usedCount);
    for (int32_t i = 0; i < ObjectPool.usedCount; ++i) {
        mix(&ObjectPool.state[i], sizeof ObjectPool.state[i]);
        mix(&ObjectPool.x[i], sizeof ObjectPool.x[i]);
        mix(&ObjectPool.y[i], sizeof ObjectPool.y[i]);
        mix(&ObjectPool.sprite[i], sizeof ObjectPool.sprite[i]);
        mix(&ObjectPool.shape[i], sizeof ObjectPool.shape[i]);
    }
    return hash;
}
