// Arguments at the ends of their ranges through the public header: ints at INT_MIN and INT_MAX,
// floats NaN and infinite, lengths that end a buffer without a terminator. Each call answers as
// its comment says, without overflowing and without reading past what it was given.

#include <climits>

#include "public_fixture.h"

namespace {

using ExtremeShaderConstantsTest = PublicFixture;

// A range whose end lies beyond the kind's registers is refused however far beyond.
TEST_F(ExtremeShaderConstantsTest, RangesBeyondTheKindAreRefused) {
    StartFramework();
    const float values[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    for (int32_t kind : {kShaderConstVertexFloat, kShaderConstPixelFloat, kShaderConstPixelBool}) {
        for (const auto& [first, count] : {std::pair{1, INT_MAX},
                                           {INT_MAX, 1},
                                           {INT_MAX, INT_MAX},
                                           {-1, 1},
                                           {0, -1},
                                           {INT_MIN, INT_MAX}}) {
            EXPECT_EQ(StoreShaderConstants(kind, first, values, count), -1)
                << kind << ": " << first << ", " << count;
            EXPECT_EQ(ClearShaderConstRange(kind, first, count), -1)
                << kind << ": " << first << ", " << count;
        }
    }
    EXPECT_EQ(StoreShaderConstants(kShaderConstPixelFloat, 223, values, 1), 0);
    EXPECT_EQ(StoreShaderConstants(kShaderConstPixelFloat, 224, values, 1), -1);
    EXPECT_EQ(ClearShaderConstRange(kShaderConstPixelFloat, 0, 224), 0);
}

}  // namespace
