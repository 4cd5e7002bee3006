// MT19937 with the 1998 reference seeding. Words are produced a block of 624 at a time: the
// state is twisted and every word tempered into the output block.
#include "core/random.h"

namespace {
constexpr int kStateWords = 624;
constexpr int kFarOffset = 397;
constexpr uint32_t kUpperMask = 0x80000000u;
constexpr uint32_t kLowerMask = 0x7FFFFFFFu;
constexpr uint32_t kMatrix = 0x9908B0DFu;
constexpr uint32_t kDefaultSeed = 4357;
}  // namespace

struct RandomState {
    uint32_t state[kStateWords];
    uint32_t block[kStateWords];
    int nextIndex = kStateWords;  // kStateWords: the block is used up
    bool seeded;
};

static RandomState gRandom;

static uint32_t Twisted(uint32_t current, uint32_t next, uint32_t far) {
    const uint32_t y = (current & kUpperMask) | (next & kLowerMask);
    return far ^ (y >> 1) ^ ((y & 1u) != 0 ? kMatrix : 0u);
}

static void GenerateBlock() {
    uint32_t* mt = gRandom.state;
    for (int k = 0; k < kStateWords; ++k) {
        mt[k] = Twisted(mt[k], mt[(k + 1) % kStateWords], mt[(k + kFarOffset) % kStateWords]);
    }
    for (int k = 0; k < kStateWords; ++k) {
        uint32_t y = mt[k];
        y ^= y >> 11;
        y ^= (y << 7) & 0x9D2C5680u;
        y ^= (y << 15) & 0xEFC60000u;
        y ^= y >> 18;
        gRandom.block[k] = y;
    }
    gRandom.nextIndex = 0;
}

void SeedRandom(uint32_t seed) {
    uint32_t s = seed;
    for (int i = 0; i < kStateWords; ++i) {
        gRandom.state[i] = s & 0xFFFF0000u;
        s = 69069u * s + 1u;
        gRandom.state[i] |= s >> 16;
        s = 69069u * s + 1u;
    }
    gRandom.seeded = true;
    GenerateBlock();
}

uint32_t NextRandomWord() {
    if (gRandom.nextIndex >= kStateWords) {
        if (!gRandom.seeded) {
            SeedRandom(kDefaultSeed);
        } else {
            GenerateBlock();
        }
    }
    return gRandom.block[gRandom.nextIndex++];
}

int RandomUpTo(int n) {
    if (n < 0) return 0;
    // n + 1 in 64 bits, so that n = INT_MAX does not overflow.
    const uint64_t range = uint64_t{static_cast<uint32_t>(n)} + 1u;
    return static_cast<int>((uint64_t{NextRandomWord()} * range) >> 32);
}
