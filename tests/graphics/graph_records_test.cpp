#include "graphics/graph_records.h"

#include <gtest/gtest.h>

#include <bit>
#include <numeric>
#include <vector>

#include "graphics/device_resources.h"
#include "graphics/screen_state.h"

namespace {

// The split rule stated from the binary digits of the length: with the device's restriction
// and no forcing, or the length below 2, one piece as it is; asked to fit whole (or with no
// maximum given and the length within the screen) and the length within the maximum, the
// power of two at or above it; otherwise the length's binary digits from the top (as many
// maximum-size pieces as fit first), until one digit has more than three quarters of itself
// still to come below it: that digit is doubled and ends the list. Two equal last pieces
// whose sum fits the maximum become one.
std::vector<int> ReferenceSplit(int given, int length, bool fitWhole, bool force, bool anySize,
                                int deviceMax, int screenWidth) {
    int max = given > 0 ? given : deviceMax;
    if (!force && anySize && length <= max) return {length};
    if (length < 2) return {1};
    bool whole = fitWhole || (given <= 0 && length <= screenWidth);
    if (whole && length <= max) return {static_cast<int>(std::bit_ceil(unsigned(length)))};
    std::vector<int> pieces;
    for (int rest = length; rest > 0;) {
        int digit = static_cast<int>(std::bit_floor(unsigned(std::min(rest, max))));
        rest -= digit;
        if (digit < max && rest > 3 * digit / 4) {
            pieces.push_back(2 * digit);
            break;
        }
        pieces.push_back(digit);
    }
    size_t n = pieces.size();
    if (n >= 2 && pieces[n - 1] == pieces[n - 2] && 2 * pieces[n - 1] <= max) {
        pieces.pop_back();
        pieces.back() *= 2;
    }
    return pieces;
}

class GraphRecordsTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedDevice_ = gDeviceResources;
        savedScreen_ = gScreen;
        gDeviceResources.pow2Only = 1;
        gDeviceResources.nonPow2Conditional = 0;
        gDeviceResources.maxTextureSize = 1024;
        gScreen.screenWidth = 640;
        gScreen.screenHeight = 480;
    }
    void TearDown() override {
        gDeviceResources = savedDevice_;
        gScreen = savedScreen_;
    }

    static std::vector<int> Split(int max, int length, int fitWhole, int force) {
        int count = SplitTextureLength(max, length, nullptr, fitWhole, force);
        std::vector<uint16_t> out(static_cast<size_t>(count));
        EXPECT_EQ(SplitTextureLength(max, length, out.data(), fitWhole, force), count);
        return std::vector<int>(out.begin(), out.end());
    }

    DeviceResourceState savedDevice_;
    ScreenState savedScreen_;
};

TEST_F(GraphRecordsTest, SplitTextureLengthGivesTheWorkedExamples) {
    EXPECT_EQ(Split(1024, 1000, 1, 1), std::vector<int>({1024}));
    EXPECT_EQ(Split(1024, 1300, 1, 1), std::vector<int>({1024, 256, 16, 4}));
    EXPECT_EQ(Split(1024, 1536, 1, 1), std::vector<int>({1024, 512}));
    EXPECT_EQ(Split(1024, 700, 0, 1), std::vector<int>({512, 128, 64}));
    EXPECT_EQ(Split(1024, 1, 1, 1), std::vector<int>({1}));
    // The creation example: 640 wide on a 512 device in two pieces, 480 high in one.
    gDeviceResources.maxTextureSize = 512;
    EXPECT_EQ(Split(0, 640, 1, 1), std::vector<int>({512, 128}));
    EXPECT_EQ(Split(0, 480, 1, 1), std::vector<int>({512}));
}

TEST_F(GraphRecordsTest, SplitTextureLengthFollowsTheRuleForEveryLength) {
    struct Device {
        int pow2Only, conditional, max;
    };
    for (Device device :
         {Device{1, 0, 1024}, Device{1, 0, 4096}, Device{0, 0, 2048}, Device{1, 1, 256}}) {
        gDeviceResources.pow2Only = device.pow2Only;
        gDeviceResources.nonPow2Conditional = device.conditional;
        gDeviceResources.maxTextureSize = device.max;
        bool anySize = !device.pow2Only || device.conditional;
        for (int given : {0, 64, 512}) {
            for (int flags = 0; flags < 4; ++flags) {
                int fitWhole = flags & 1, force = flags >> 1;
                for (int length = 1; length <= 4200; ++length) {
                    std::vector<int> pieces = Split(given, length, fitWhole, force);
                    ASSERT_EQ(pieces, ReferenceSplit(given, length, fitWhole, force, anySize,
                                                     device.max, 640))
                        << "device max " << device.max << " given " << given << " flags " << flags
                        << " length " << length;
                    // The pieces hold the length, and only the last one reaches past it.
                    int sum = std::accumulate(pieces.begin(), pieces.end(), 0);
                    ASSERT_GE(sum, length);
                    ASSERT_LT(sum - pieces.back(), length);
                }
            }
        }
    }
}

TEST_F(GraphRecordsTest, TheScreenIdsHaveTheScreenSizeBeforeAnyGraph) {
    int width = 0, height = 0;
    EXPECT_EQ(QueryGraphSize(kBackScreen, &width, &height), 0);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_EQ(QueryGraphSize(kFrontScreen, nullptr, &height), 0);
    EXPECT_EQ(height, 480);
    EXPECT_EQ(QueryGraphSize(0x04000001, &width, &height), -1);
}

}  // namespace
