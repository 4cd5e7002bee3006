// What one wave does with the player held at (240, 432), as a row of a table: its length and
// its sounds; checked together with the runner's three pool hashes taken from a reviewed run.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

using SoundList = std::vector<std::pair<int, int>>;  // (update, effect); update 0 the start

// `count` requests of `effect`, the first at update `first`, then one every `period`.
SoundList Every(int first, int period, int count, int effect);

struct WaveExpectation {
    int32_t id;
    int updates;
    std::optional<SoundList> sounds;  // none when a test checks them apart
};

void ExpectWave(const WaveExpectation& expected, const uint64_t (&poolHashes)[3]);
