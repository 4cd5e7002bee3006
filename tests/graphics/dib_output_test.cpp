// DIB output onto a window through StretchDIBits, read back from the headless host's surface.
#include <gtest/gtest.h>
#include <platform/testing.h>
#include <platform/testing_host.h>
#include <platform/win32_gdi.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <vector>

namespace {

constexpr int kWindowWidth = 64;
constexpr int kWindowHeight = 48;

// A DIB header with room for the three BI_BITFIELDS masks.
struct DibInfo {
    BITMAPINFOHEADER header;
    DWORD masks[3];
};

DibInfo Bitfields16(int width, int height) {
    DibInfo info{};
    info.header = {sizeof(BITMAPINFOHEADER), width, height, 1, 16, BI_BITFIELDS, 0, 0, 0, 0, 0};
    info.masks[0] = 0xF800;
    info.masks[1] = 0x07E0;
    info.masks[2] = 0x001F;
    return info;
}

class DibOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestResetPlatform();
        TestUseHeadlessHost(true);
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
        windowClass.lpszClassName = "DibOutputWindow";
        RegisterClassExA(&windowClass);
        window_ = CreateWindowExA(0, "DibOutputWindow", "dib", 0, 0, 0, kWindowWidth, kWindowHeight,
                                  nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
        ShowWindow(window_, SW_SHOW);
        dc_ = GetDC(window_);
        ASSERT_NE(dc_, nullptr);
        RECT all = {0, 0, kWindowWidth, kWindowHeight};
        FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }

    void TearDown() override {
        ReleaseDC(window_, dc_);
        DestroyWindow(window_);
        UnregisterClassA("DibOutputWindow", nullptr);
        TestResetPlatform();
    }

    uint32_t Pixel(int x, int y) const {
        int width = 0, height = 0;
        std::vector<uint32_t> pixels = TestHostReadSurface(window_, &width, &height);
        return pixels[static_cast<size_t>(y) * width + x];
    }

    HWND window_ = nullptr;
    HDC dc_ = nullptr;
};

TEST_F(DibOutputTest, AStretchedDibDoublesEveryPixel) {
    // Top-down 2 x 2: red, green / blue, white.
    DibInfo info = Bitfields16(2, -2);
    const uint16_t bits[] = {0xF800, 0x07E0, 0x001F, 0xFFFF};
    ASSERT_EQ(StretchDIBits(dc_, 4, 6, 4, 4, 0, 0, 2, 2, bits,
                            reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY),
              2);
    EXPECT_EQ(Pixel(4, 6), 0xFF0000u);
    EXPECT_EQ(Pixel(5, 7), 0xFF0000u);
    EXPECT_EQ(Pixel(6, 6), 0x00FF00u);
    EXPECT_EQ(Pixel(4, 8), 0x0000FFu);
    EXPECT_EQ(Pixel(7, 9), 0xFFFFFFu);
    EXPECT_EQ(Pixel(8, 6), 0x000000u);
    EXPECT_EQ(Pixel(3, 6), 0x000000u);
}

// Each field scales to 0..255 rounded, whatever its width: 5-6-5, 5-5-5, an empty field, and a
// mask wider than the pixel (17 bits, of which the pixel holds 16).
TEST_F(DibOutputTest, MaskedFieldsScaleToBytesRounded) {
    struct Case {
        DWORD masks[3];
        uint16_t pixel;
        uint32_t rgb;
    };
    const Case cases[] = {
        {{0xF800, 0x07E0, 0x001F}, 0x8410, 0x848284},  // 16/31, 32/63, 16/31
        {{0x7C00, 0x03E0, 0x001F}, 0x0421, 0x080808},  // 1/31 each
        {{0xF800, 0x0000, 0x001F}, 0xFFFF, 0xFF00FF},
        {{0x1FFFF, 0x0000, 0x0000}, 0xFFFF, 0x7F0000},  // 255 x 65535/131071 = 127.498
    };
    for (const Case& c : cases) {
        DibInfo info = Bitfields16(1, 1);
        std::copy(std::begin(c.masks), std::end(c.masks), info.masks);
        ASSERT_EQ(StretchDIBits(dc_, 0, 0, 1, 1, 0, 0, 1, 1, &c.pixel,
                                reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY),
                  1);
        EXPECT_EQ(Pixel(0, 0), c.rgb) << std::hex << c.masks[0] << " " << c.pixel;
    }
}

TEST_F(DibOutputTest, TheSourceRectangleOfABottomUpDibStartsAtItsLowerLeft) {
    // Bottom-up 2 x 2: the first row in memory is the picture's bottom row.
    DibInfo info = Bitfields16(2, 2);
    const uint16_t bits[] = {0x001F, 0xFFFF, 0xF800, 0x07E0};
    // The bottom-right pixel only, shrunk to one pixel.
    ASSERT_NE(StretchDIBits(dc_, 0, 0, 1, 1, 1, 0, 1, 1, bits,
                            reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY),
              0);
    EXPECT_EQ(Pixel(0, 0), 0xFFFFFFu);
    // The top row, 2 pixels onto 4.
    ASSERT_NE(StretchDIBits(dc_, 0, 1, 4, 1, 0, 1, 2, 1, bits,
                            reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY),
              0);
    EXPECT_EQ(Pixel(1, 1), 0xFF0000u);
    EXPECT_EQ(Pixel(2, 1), 0x00FF00u);
}

// Unstretched, a DIB in a layout the window shows as it is skips decoding: its rows, padded to
// four bytes and stored bottom up, must still be read from the source rectangle's place; a
// rectangle reaching past the DIB draws only the part inside it.
TEST_F(DibOutputTest, AnUnstretchedBottomUpDibShowsItsSourceRectangle) {
    DibInfo info{};
    info.header = {sizeof(BITMAPINFOHEADER), 3, 3, 1, 16, BI_RGB, 0, 0, 0, 0, 0};  // 5-5-5
    // Rows of 3 pixels and a pad, bottom row first.
    const uint16_t bits[] = {0x7FFF, 0x7C00, 0x03E0, 0,  // white, red, green
                             0x001F, 0x0421, 0x7C1F, 0,  // blue, 1/31 each, magenta
                             0x03E0, 0x03E0, 0x03E0, 0};
    const auto* header = reinterpret_cast<const BITMAPINFO*>(&info);
    // The lower-right 2x2 at (10, 10).
    ASSERT_EQ(StretchDIBits(dc_, 10, 10, 2, 2, 1, 0, 2, 2, bits, header, DIB_RGB_COLORS, SRCCOPY),
              2);
    EXPECT_EQ(Pixel(10, 10), 0x080808u);
    EXPECT_EQ(Pixel(11, 10), 0xFF00FFu);
    EXPECT_EQ(Pixel(10, 11), 0xFF0000u);
    EXPECT_EQ(Pixel(11, 11), 0x00FF00u);
    EXPECT_EQ(Pixel(12, 10), 0x000000u);
    EXPECT_EQ(Pixel(10, 12), 0x000000u);
    // 4x4 from a 3x3 DIB: its source rows start one above the top one.
    ASSERT_NE(StretchDIBits(dc_, 20, 20, 4, 4, 0, 0, 4, 4, bits, header, DIB_RGB_COLORS, SRCCOPY),
              0);
    EXPECT_EQ(Pixel(20, 20), 0x000000u);
    EXPECT_EQ(Pixel(20, 21), 0x00FF00u);
    EXPECT_EQ(Pixel(22, 23), 0x00FF00u);
    EXPECT_EQ(Pixel(23, 23), 0x000000u);
}

TEST_F(DibOutputTest, ShrinkingTakesThePixelUnderEachCentre) {
    DibInfo info = Bitfields16(4, -1);
    const uint16_t bits[] = {0xF800, 0x07E0, 0x001F, 0xFFFF};
    ASSERT_NE(StretchDIBits(dc_, 0, 0, 2, 1, 0, 0, 4, 1, bits,
                            reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY),
              0);
    EXPECT_EQ(Pixel(0, 0), 0x00FF00u);
    EXPECT_EQ(Pixel(1, 0), 0xFFFFFFu);
}

TEST_F(DibOutputTest, OutputIsClippedToTheWindow) {
    DibInfo info = Bitfields16(2, -2);
    const uint16_t bits[] = {0xF800, 0xF800, 0xF800, 0xF800};
    ASSERT_NE(StretchDIBits(dc_, kWindowWidth - 1, kWindowHeight - 1, 100, 100, 0, 0, 2, 2, bits,
                            reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY),
              0);
    EXPECT_EQ(Pixel(kWindowWidth - 1, kWindowHeight - 1), 0xFF0000u);
    ASSERT_NE(StretchDIBits(dc_, -10, -10, 11, 11, 0, 0, 2, 2, bits,
                            reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY),
              0);
    EXPECT_EQ(Pixel(0, 0), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 1), 0x000000u);

    // A stretch far beyond the window walks only what lands on it.
    const uint16_t quarters[] = {0xF800, 0x07E0, 0x07E0, 0x001F};
    const auto* header = reinterpret_cast<const BITMAPINFO*>(&info);
    ASSERT_NE(StretchDIBits(dc_, 0, 0, INT_MAX, INT_MAX, 0, 0, 2, 2, quarters, header,
                            DIB_RGB_COLORS, SRCCOPY),
              0);
    EXPECT_EQ(Pixel(0, 0), 0xFF0000u);
    EXPECT_EQ(Pixel(kWindowWidth - 1, kWindowHeight - 1), 0xFF0000u);
    ASSERT_NE(StretchDIBits(dc_, -(1 << 30), -(1 << 30), INT_MAX, INT_MAX, 0, 0, 2, 2, quarters,
                            header, DIB_RGB_COLORS, SRCCOPY),
              0);
    EXPECT_EQ(Pixel(0, 0), 0x0000FFu);
    EXPECT_EQ(Pixel(kWindowWidth - 1, kWindowHeight - 1), 0x0000FFu);
}

TEST_F(DibOutputTest, BadCallsDrawNothing) {
    DibInfo info = Bitfields16(2, -2);
    const uint16_t bits[] = {0xF800, 0xF800, 0xF800, 0xF800};
    const auto* header = reinterpret_cast<const BITMAPINFO*>(&info);
    EXPECT_EQ(StretchDIBits(dc_, 0, 0, 2, 2, 0, 0, 2, 2, bits, header, DIB_RGB_COLORS, 0x00EE0086),
              0);
    EXPECT_EQ(StretchDIBits(dc_, 0, 0, 0, 2, 0, 0, 2, 2, bits, header, DIB_RGB_COLORS, SRCCOPY), 0);
    EXPECT_EQ(StretchDIBits(dc_, 0, 0, 2, 2, 0, 0, 2, -2, bits, header, DIB_RGB_COLORS, SRCCOPY),
              0);
    EXPECT_EQ(StretchDIBits(dc_, 0, 0, 2, 2, 0, 0, 2, 2, nullptr, header, DIB_RGB_COLORS, SRCCOPY),
              0);
    // A memory context has no window to draw on.
    HDC memory = CreateCompatibleDC(nullptr);
    EXPECT_EQ(StretchDIBits(memory, 0, 0, 2, 2, 0, 0, 2, 2, bits, header, DIB_RGB_COLORS, SRCCOPY),
              0);
    DeleteDC(memory);
    DibInfo broken = info;
    broken.header.biBitCount = 12;
    EXPECT_EQ(StretchDIBits(dc_, 0, 0, 2, 2, 0, 0, 2, 2, bits,
                            reinterpret_cast<const BITMAPINFO*>(&broken), DIB_RGB_COLORS, SRCCOPY),
              0);
    EXPECT_EQ(Pixel(0, 0), 0x000000u);
}

}  // namespace
