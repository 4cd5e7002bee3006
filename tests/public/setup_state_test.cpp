// What lasts only as long as what it came from, through the public header on the device and on
// the software renderer: the device's shader version with the graphics, the blend graph with
// its graph.

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

// A black blend graph at threshold 128 lets nothing through; deleted, it is no blend graph
// any more, and graphs draw whole.
TEST_P(SetupStateTest, DeletingTheBlendGraphRemovesIt) {
    StartFramework();
    WriteBgraImage("black.bgra", 16, 16, std::vector<uint32_t>(256, 0xFF000000));
    WriteBgraImage("white.bgra", 8, 8, std::vector<uint32_t>(64, 0xFFFFFFFF));
    const Handle white = LoadImageFileAsGraph("white.bgra", 0);
    for (bool again : {false, true}) {
        SCOPED_TRACE(again);
        const Handle blend = LoadImageFileAsGraph("black.bgra", 0);
        ASSERT_EQ(AttachBlendGraph(blend, 128, 0), 0);
        EXPECT_EQ(Show([&] { EXPECT_EQ(PutGraph(0, 0, white, 0), 0); })[4 * 640 + 4], 0u);
        ASSERT_EQ(DisposeGraph(blend), 0);
        EXPECT_EQ(Show([&] { EXPECT_EQ(PutGraph(0, 0, white, 0), 0); })[4 * 640 + 4], 0xFFFFFFu);
    }
    EXPECT_EQ(AttachBlendGraph(-1, 0, 0), 0);
}

}  // namespace
