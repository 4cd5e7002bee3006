// Start-up and a first frame through the public header alone.
#include "public_fixture.h"

namespace {

using StartUpTest = PublicFixture;

TEST_F(StartUpTest, ABoxDrawnOnTheBackScreenIsShown) {
    StartFramework();
    int width = 0, height = 0;
    const std::vector<uint32_t> picture = DrawAndShow(
        [] { PutBoxFilled(10, 20, 30, 40, PackScreenColor(255, 128, 0)); }, &width, &height);
    ASSERT_EQ(width, 640);
    ASSERT_EQ(height, 480);
    EXPECT_EQ(picture[25 * 640 + 15], 0xFF8000u);
    EXPECT_EQ(picture[5 * 640 + 5], 0u);
}

}  // namespace

namespace {

// A second start in the same process logs to its own directory.
TEST_F(StartUpTest, StartsAgainAfterAShutdownWithItsOwnLog) {
    StartFramework();
    AppendLogText("first run\n");
    ASSERT_EQ(ShutdownLibrary(), 0);
    StartFramework();
    AppendLogText("second run\n");
    EXPECT_EQ(ReadLog().find("first run"), std::string::npos);
    EXPECT_NE(ReadLog().find("second run"), std::string::npos);
    int width = 0, height = 0;
    const std::vector<uint32_t> picture = DrawAndShow(
        [] { PutBoxFilled(0, 0, 4, 4, PackScreenColor(0, 0, 255)); }, &width, &height);
    ASSERT_FALSE(picture.empty());
    EXPECT_EQ(picture[0], 0x0000FFu);
}

}  // namespace
