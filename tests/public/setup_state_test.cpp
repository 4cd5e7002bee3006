// What lasts only as long as what it came from, through the public header on the device and on
// the software renderer: the device's shader version with the graphics.

#include "public_fixture.h"

namespace {

using SetupStateTest = RendererFixture;
INSTANTIATE_TEST_SUITE_P(Renderers, SetupStateTest, ::testing::Bool(), RendererName);

TEST_P(SetupStateTest, TheShaderVersionIsTheRunningDevicesOnly) {
    const int running = GetParam() ? 200 : 0;
    EXPECT_EQ(GetUsableShaderVersion(), 0);
    StartFramework();
    EXPECT_EQ(GetUsableShaderVersion(), running);
    ASSERT_EQ(ShutdownLibrary(), 0);
    EXPECT_EQ(GetUsableShaderVersion(), 0);
    StartFramework();
    EXPECT_EQ(GetUsableShaderVersion(), running);
}

}  // namespace
