// A fixture for tests of a program of one's own: the framework is reached through orbek/orbek.h
// alone; the platform layer's test hooks below it give the headless host, the virtual clock and
// what the window shows. Each test starts in a current directory emptied for it, which
// holds its files and Log.txt, and with the framework's configuration at its defaults.
#pragma once

#include <orbek/orbek.h>

#include <gtest/gtest.h>
#include <platform/testing.h>
#include <platform/testing_d3d9.h>
#include <platform/testing_host.h>
#include <platform/win32_user.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class PublicFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // ChangeWindowMode(1) and SetupLibrary, then the back screen selected; asserts success.
    void StartFramework();
    // The window's last presented picture, 0x00RRGGBB by row; empty when there is none.
    std::vector<uint32_t> ReadShownPicture(int* width, int* height) const;
    // The picture after clearing, drawing and presenting one frame through draw().
    template <typename Draw>
    std::vector<uint32_t> DrawAndShow(Draw draw, int* width, int* height) {
        EraseDrawScreen(nullptr);
        draw();
        FlipScreen();
        return ReadShownPicture(width, height);
    }
    // DrawAndShow on the default 640 x 480 screen, whose size it checks: the picture, of that
    // size even when none was shown, so that a failing test reads no further than it.
    template <typename Draw>
    std::vector<uint32_t> Show(Draw draw) {
        int width = 0, height = 0;
        std::vector<uint32_t> picture = DrawAndShow(draw, &width, &height);
        EXPECT_EQ(width, 640);
        picture.resize(640 * 480);
        return picture;
    }
    // The text of this test's Log.txt.
    std::string ReadLog() const;
    // Advances the virtual clock by the milliseconds, pumping messages once.
    void AdvanceClock(uint32_t milliseconds);
    // Calls frame (a loading screen) and PumpMessages until no load is queued or running: the
    // frames drawn, or -1 when PumpMessages asks the program to end or the loads have not ended
    // after 60 s of real time, a bound that only catches a hang (the workers run at the lowest
    // priority, so a busy machine may hold them up for long).
    static int PumpUntilLoadsEnd(const std::function<void()>& frame = {});
    // Writes an image file of the framework's raw "BGRA" format: width x height pixels
    // 0xAARRGGBB, row by row, alpha included.
    static void WriteBgraImage(const std::string& path, int width, int height,
                               const std::vector<uint32_t>& pixels);
    // An uncompressed 24-bit BMP file of width x height pixels colour(x, y) = 0x00RRGGBB.
    static std::vector<uint8_t> BmpImage(int width, int height,
                                         const std::function<uint32_t(int, int)>& colour);
    static void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
    // A WAVE file of a tenth of a second of silence, 16-bit mono at 8,000 Hz.
    static void WriteSilentWave(const std::string& path);
    // Whether each colour channel of the shown pixel lies within 8 of the expected one: a
    // 16-bit screen's step.
    static bool Near(uint32_t shown, uint32_t expected);

    std::string directory_;

private:
    std::string previous_;
};

// The same tests on the Direct3D device (parameter true) and on the software renderer: SetUp
// chooses the renderer, the test starts the framework. Instantiated as
// INSTANTIATE_TEST_SUITE_P(Renderers, Suite, ::testing::Bool(), RendererName).
class RendererFixture : public PublicFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override;
};
std::string RendererName(const ::testing::TestParamInfo<bool>& info);
