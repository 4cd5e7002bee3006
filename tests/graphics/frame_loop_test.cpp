// The game's frame loop on the graphics core: clear, 1,000 textured quads in three blend modes
// fed through the batch, flip; then the device is lost in the middle of the loop, rebuilt on
// re-activation, and the same frame is drawn again. Every presented pixel is checked against
// the blend modes' formulas applied quad by quad. Graph creation does not exist yet, so the
// textures are made straight through the device wrappers and remade by the restore callback.
#include <gtest/gtest.h>
#include <platform/testing_host.h>

#include "app/message_pump.h"
#include "draw_fixture.h"
#include "graphics/graphics_system.h"
#include "graphics/software_screen.h"

namespace {

constexpr int kQuadCount = 1000;
constexpr int kQuadSize = 16;
constexpr int kRun = 40;  // quads drawn in one mode before the next

struct QuadDraw {
    int x, y, texture, mode, param;
};

class FrameLoopTest : public DrawFixture {
protected:
    void SetUp() override {
        DrawFixture::SetUp();
        gCurrent = this;
        std::mt19937 random(2024);
        for (auto& texels : texels_) {
            texels.resize(kQuadSize * kQuadSize);
            for (uint32_t& t : texels) t = 0xFF000000 | (random() & 0xFFFFFF);
        }
        // The keyed sprite: a transparent corner.
        for (int i = 0; i < kQuadSize * kQuadSize; ++i) {
            if (i % kQuadSize + i / kQuadSize < 10) texels_[0][i] &= 0x00FFFFFF;
        }
        const int modes[3][2] = {{BlendOpaque, 0}, {BlendTranslucent, 128}, {BlendAdditive, 200}};
        for (int i = 0; i < kQuadCount; ++i) {
            int kind = (i / kRun) % 3;
            quads_.push_back({static_cast<int>(random() % (640 - kQuadSize + 1)),
                              static_cast<int>(random() % (480 - kQuadSize + 1)), kind,
                              modes[kind][0], modes[kind][1]});
        }
    }

    void TearDown() override {
        gCurrent = nullptr;
        DrawFixture::TearDown();
    }

    static void RemakeTextures() {
        for (IDirect3DTexture9*& texture : gCurrent->live_) {
            if (texture == nullptr) continue;
            std::erase(gCurrent->textures_, texture);
            ReleaseComObject(texture);
            texture = nullptr;
        }
        gCurrent->MakeTextures();
    }

    void MakeTextures() {
        for (int i = 0; i < 3; ++i) live_[i] = MakeTexture(kQuadSize, kQuadSize, texels_[i]);
    }

    // One frame of the program; in software mode only the clear reaches the screen.
    void DrawFrame() {
        ASSERT_EQ(EraseDrawScreen(nullptr), 0);
        if (IsDirect3DMode()) {
            TextureCreateFlags keyed{};
            keyed.colorKeyAlpha = 1;
            for (const QuadDraw& q : quads_) {
                ChangeBlendMode(q.mode, q.param);
                QueueQuad(live_[q.texture], q.texture == 0 ? keyed : TextureCreateFlags{}, q.x, q.y,
                          kQuadSize, kQuadSize);
            }
        }
        ASSERT_EQ(FlipScreen(), 0);
    }

    // The frame the formulas give: each quad applied to the previous result.
    std::vector<uint32_t> ExpectedFrame(uint32_t background) const {
        std::vector<uint32_t> screen(640 * 480, background);
        for (const QuadDraw& q : quads_) {
            BlendCase c = {q.mode, q.param, 0xFFFFFF, q.texture == 0 ? 2 : 0, true};
            for (int i = 0; i < kQuadSize * kQuadSize; ++i) {
                uint32_t& dest =
                    screen[static_cast<size_t>(q.y + i / kQuadSize) * 640 + q.x + i % kQuadSize];
                int out[3];
                if (draw_model::Blend(c, texels_[q.texture][i], dest, out)) {
                    dest = draw_model::Quantise(out, {8, 8, 8});
                }
            }
        }
        return screen;
    }

    static void ExpectPresented(const std::vector<uint32_t>& expected) {
        TestD3d9Frame frame{};
        ASSERT_TRUE(TestD3d9LastPresent(&frame));
        ASSERT_EQ(frame.pixels.size(), expected.size());
        int mismatches = 0;
        for (size_t i = 0; i < expected.size(); ++i) {
            if (frame.pixels[i] != expected[i] && mismatches++ < 5) {
                ADD_FAILURE() << "pixel (" << i % 640 << ", " << i / 640 << ") is " << std::hex
                              << frame.pixels[i] << ", expected " << expected[i];
            }
        }
        EXPECT_EQ(mismatches, 0);
    }

    static HostEvent Focus(HostEventKind kind) {
        HostEvent event;
        event.kind = kind;
        return event;
    }

    inline static FrameLoopTest* gCurrent = nullptr;
    std::vector<uint32_t> texels_[3];
    std::vector<QuadDraw> quads_;
    IDirect3DTexture9* live_[3] = {};
};

TEST_F(FrameLoopTest, AFrameIsDrawnTheSameBeforeAndAfterTheDeviceIsLost) {
    gScreen.backgroundRed = 0x20;
    gScreen.backgroundGreen = 0x40;
    gScreen.backgroundBlue = 0x60;
    StartDrawing(32);
    InstallGraphRestoreHandler(RemakeTextures);
    MakeTextures();
    std::vector<uint32_t> expected = ExpectedFrame(0xFF204060);

    DrawFrame();
    ExpectPresented(expected);

    // Lost in the middle of the loop: the flip fails quietly, the re-activation rebuilds.
    TestD3d9LoseDevices();
    ASSERT_EQ(IsDeviceReady(), 0);
    DrawFrame();
    TestHostPushEvent(GetMainHwnd(), Focus(HostEventKind::FocusLost));
    TestHostPushEvent(GetMainHwnd(), Focus(HostEventKind::FocusGained));
    ASSERT_EQ(PumpMessages(), 0);
    ASSERT_EQ(IsDeviceReady(), 1);
    ASSERT_EQ(GetDrawScreen(), kBackScreen);

    DrawFrame();
    ExpectPresented(expected);
    EXPECT_EQ(ReadLog().find("ビューポートのセットに失敗しました"), std::string::npos);
}

TEST_F(FrameLoopTest, WithoutADeviceTheSameProgramClearsAndFlipsTheSoftwareScreen) {
    TestSetExportMissing("d3d9.dll", "Direct3DCreate9Ex", true);
    TestSetExportMissing("d3d9.dll", "Direct3DCreate9", true);
    gScreen.backgroundRed = 0xF8;
    gScreen.backgroundBlue = 0xF8;
    ASSERT_EQ(SetupLibrary(), 0);
    ASSERT_EQ(IsDirect3DMode(), 0);
    ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
    DrawFrame();
    int width = 0, height = 0;
    std::vector<uint32_t> window = TestHostReadSurface(GetMainHwnd(), &width, &height);
    ASSERT_EQ(width, 640);
    ASSERT_EQ(height, 480);
    for (size_t i = 0; i < window.size(); ++i) {
        ASSERT_EQ(window[i], 0xFF00FFu) << i;
    }
}

}  // namespace
