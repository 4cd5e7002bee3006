// Start-up and a first frame through the public header alone, after a start and a shutdown
// before, in the same process: the second start begins a log of its own.
#include "public_fixture.h"

namespace {

using StartUpTest = PublicFixture;

TEST_F(StartUpTest, StartsAgainWithALogOfItsOwnAndShowsABoxDrawnOnTheBackScreen) {
    StartFramework();
    AppendLogText("first run\n");
    ASSERT_EQ(ShutdownLibrary(), 0);
    StartFramework();
    AppendLogText("second run\n");
    EXPECT_EQ(ReadLog().find("first run"), std::string::npos);
    EXPECT_NE(ReadLog().find("second run"), std::string::npos);
    int width = 0, height = 0;
    const std::vector<uint32_t> picture = DrawAndShow(
        [] { PutBoxFilled(10, 20, 30, 40, PackScreenColor(255, 128, 0)); }, &width, &height);
    ASSERT_EQ(std::make_pair(width, height), std::make_pair(640, 480));
    EXPECT_EQ(picture[25 * 640 + 15], 0xFF8000u);
    EXPECT_EQ(picture[5 * 640 + 5], 0u);
}

}  // namespace
