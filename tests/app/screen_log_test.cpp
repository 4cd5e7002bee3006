// The on-screen log without a screen to draw on.
#include "app/screen_log.h"

#include <gtest/gtest.h>

namespace {

TEST(ScreenLogTest, StaysHiddenAndUnsetWithoutAScreen) {
    EXPECT_EQ(SetupScreenLog(), -1);
    EXPECT_EQ(IsScreenLogShown(), 0);
    EXPECT_EQ(DrawScreenLog(), 0);
    EXPECT_EQ(RecreateScreenLogFont(), 0);
    EXPECT_EQ(ShutdownScreenLog(), 0);
}

}  // namespace
