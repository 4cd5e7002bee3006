// Moves reference images into memory images and back, sets the draw state on both sides,
// and draws random images, so that the blits and the reference model can be compared.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "blit_reference.h"
#include "softrender/mem_img.h"

// A number from lo to hi, both included.
int Between(std::mt19937& rng, int lo, int hi);

// Mode and parameter with the whole destination as draw area and identity blend-graph weights.
RefState WholeImageState(uint32_t mode, int p, const RefImage& dst, uint32_t bright = 0xFFFFFF);

enum class TestKind { Direct, Alpha, Palette };

// The stream that the renderer's writer makes for img's pixels.
std::vector<uint8_t> WrittenStream(const RefImage& img);

// A memory image holding a copy of a reference image (its stream too, flag set).
class TestMemImg {
public:
    // extraPitch bytes pad every row, so pitches other than the packed one are exercised.
    explicit TestMemImg(const RefImage& img, int extraPitch = 0);
    ~TestMemImg();
    TestMemImg(const TestMemImg&) = delete;
    TestMemImg& operator=(const TestMemImg&) = delete;

    MEMIMG* get() { return &img_; }
    // The pixels as they stand now, in the reference layout.
    RefImage Read(const RefImage& like) const;

private:
    MEMIMG img_{};
};

class TestMask {
public:
    explicit TestMask(const RefMask& mask);
    ~TestMask();
    TestMask(const TestMask&) = delete;
    TestMask& operator=(const TestMask&) = delete;
    MEMIMG* get() { return &img_; }

private:
    MEMIMG img_{};
};

// Applies st to the memory-image draw state (area, mode, parameter, bright, weights) and
// selects the packed-byte or the plain loops.
void ApplyState(const RefState& st);

// Random content. Keys and the alpha values 0 and 255 are drawn often, and the bits that a
// pixel does not use are set at random.
// An image of one colour (or index) everywhere, with an all-zero palette.
RefImage FlatImage(int colorType, TestKind kind, int w, int h, uint32_t fill);
RefImage RandomImage(std::mt19937& rng, int colorType, TestKind kind, int width, int height);
RefImage RandomDestination(std::mt19937& rng, int colorType, int width, int height);
RefMask RandomMask(std::mt19937& rng, int width, int height);
void RandomWeights(std::mt19937& rng, uint8_t weights[256]);

// The image's colour at (x, y) as a readable string, for failure messages.
std::string Describe(const RefImage& img, int x, int y);

// One destination colour type, source kind and blend mode of the model comparisons.
struct Combination {
    int colorType;
    TestKind kind;
    uint32_t mode;
};

// Every combination: both colour types, every source kind, the drawn modes and modes that
// must draw nothing (5 to 9, 12 and a negative mode, compared unsigned).
std::vector<Combination> AllCombinations();
std::string Name(const testing::TestParamInfo<Combination>& info);
