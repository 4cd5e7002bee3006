// Running one wave outside the game's loop: started from its place in the stage table with the
// player held still, then updated until it ends, with the pool checked after every update.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

struct WaveRun {
    int updates = 0;
    std::vector<std::pair<int, int>> sounds;  // (update, effect); update 0 is the start
    // The pool's hash after the first update, after update 250 (or the last, if sooner) and
    // after the last.
    uint64_t hashes[3] = {};
};

// Starts wave `id` with the random numbers seeded alike every time, then updates it until it
// ends, checking after every update that the pool stays within its 400 slots and holds no NaN.
// `each` runs before every update with its number (from 1).
WaveRun RunWave(int32_t id, int32_t playerX, int32_t playerY,
                const std::function<void(int)>& each = {});

// A hash of the state, place and looks of the pool's slots in use.
uint64_t HashPool();
