// Deterministic pseudo-random numbers for the generator: the same seed gives the same pictures
// and sounds on every run and every machine (no library distribution is involved).
#pragma once

#include <cstdint>

// A well-mixed 32-bit hash of a 32-bit value.
inline uint32_t Hash32(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// A hash of a lattice point and a seed, as a number in [0, 1).
inline double HashUnit(int x, int y, uint32_t seed) {
    uint32_t h =
        Hash32(static_cast<uint32_t>(x) * 0x9E3779B1U ^ Hash32(static_cast<uint32_t>(y) + seed));
    return (h >> 8) * (1.0 / 16777216.0);
}

// splitmix64: a small generator with a 64-bit state.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double Unit() { return (Next() >> 11) * (1.0 / 9007199254740992.0); }
    // Uniform in [low, high).
    double Range(double low, double high) { return low + (high - low) * Unit(); }
    // Uniform integer in [0, count).
    int Below(int count) { return static_cast<int>(Unit() * count); }

private:
    uint64_t state_;
};
