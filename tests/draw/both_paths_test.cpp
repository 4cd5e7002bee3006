// One picture from both paths: the same scene of graph draws and boxes, drawn through the
// public calls once on the Direct3D device and once on the software screen, 640x480 at 16 and
// 32 bits, must give the same frame.
//
// Tolerance: every channel within 3 steps of the screen's channel (1/255 at 32 bits; 1/31 for
// red and blue, 1/63 for green at 16 bits). The device rounds each product of a blend to
// nearest; the software renderer scales its products back by shifts of 8 bits or table
// look-ups that round down, and a pixel of the subtractive mode or under a bright goes through
// up to three of them; at 16 bits it also blends 5- and 6-bit channels where the device's
// textures hold 5-bit green (A1R5G5B5) or 8-bit channels. The largest difference measured is 3
// steps, in the subtractive mode. The scene's sprites are discs of random texels over a
// checkered gradient, so a pixel off, a swapped channel or another blend mode moves pixels by
// far more: the test checks that the device frame moved by one pixel, with red and blue
// swapped, or drawn with each column's blend mode exchanged fails in every cell it touches.
//
// Where the renderers follow different documented rules for where a pixel samples the graph,
// the software renderer mapping a pixel's top-left corner and drawing both end columns of each
// triangle row, the device sampling pixel centres under the top-left fill rule (a rotation by
// an angle other than 0, a quadrilateral), a pixel matches when the pixel of one frame lies
// within the tolerance of a pixel at most one away in the other frame. Those cells draw in the
// opaque mode, as the software renderer draws a quadrilateral's diagonal twice, and only with
// parallelograms: the device maps any other quadrilateral bilinearly, the software renderer as two
// affine triangles. When the frames differ, both are written as PNG files into the test's
// directory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <string>

#include "draw_call_fixture.h"
#include "media/image_writers.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kCell = 80, kColumns = 8, kRows = 6;
constexpr int kTolerance = 3;

// A blend configuration per column: mode, parameter, bright.
struct ColumnBlend {
    int mode, param;
    int red, green, blue;
};
constexpr ColumnBlend kBlends[kColumns] = {
    {BlendOpaque, 0, 255, 255, 255},           {BlendTranslucent, 128, 255, 255, 255},
    {BlendAdditive, 255, 255, 255, 255},       {BlendAdditive, 128, 255, 160, 64},
    {BlendSubtractive, 160, 255, 255, 255},    {BlendMultiply, 255, 255, 255, 255},
    {BlendInvertedSource, 200, 255, 255, 255}, {BlendMultiplyTranslucent, 160, 128, 255, 200},
};

// How a cell's pixels are compared.
enum class Match { Exact, WithinOnePixel };

// Rows 0 to 4 follow the same rules on both paths; row 5 holds rotations and quadrilaterals.
Match CellMatch(int column, int row) {
    if (row < 5) return Match::Exact;
    return column == 7 ? Match::Exact : Match::WithinOnePixel;
}

struct Frame {
    int bits = 32;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * kWidth + x]; }
};

// Pixels of the cell that do not match, and the largest step difference among them.
struct CellResult {
    int column, row;
    int mismatches;
    int worst;
};

// The smallest difference between a's pixel and the pixels of b at most one pixel away.
int NearestDifference(const Frame& a, const Frame& b, int x, int y) {
    int best = 255;
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= kWidth || ny >= kHeight) continue;
            best = std::min(best, StepDifference(a.At(x, y), b.At(nx, ny), a.bits));
        }
    }
    return best;
}

CellResult CompareCell(const Frame& a, const Frame& b, int column, int row) {
    CellResult r = {column, row, 0, 0};
    const bool nearby = CellMatch(column, row) == Match::WithinOnePixel;
    for (int y = row * kCell; y < (row + 1) * kCell; ++y) {
        for (int x = column * kCell; x < (column + 1) * kCell; ++x) {
            int d = StepDifference(a.At(x, y), b.At(x, y), a.bits);
            // The two resample the graph at different points, so a texel one of them shows may
            // be missing from the other: one direction matching is enough.
            if (d > kTolerance && nearby) {
                d = std::min(NearestDifference(a, b, x, y), NearestDifference(b, a, x, y));
            }
            if (d > kTolerance) {
                ++r.mismatches;
                r.worst = std::max(r.worst, d);
            }
        }
    }
    return r;
}

std::vector<CellResult> MismatchedCells(const Frame& a, const Frame& b) {
    std::vector<CellResult> out;
    for (int row = 0; row < kRows; ++row) {
        for (int column = 0; column < kColumns; ++column) {
            const CellResult r = CompareCell(a, b, column, row);
            if (r.mismatches > 0) out.push_back(r);
        }
    }
    return out;
}

class BothPathsTest : public DrawCallFixture {
protected:
    struct Graphs {
        Handle background;  // split into several texture pieces on the device
        Handle sprite;      // a disc of random texels in a transparent square (alpha)
        Handle keyed;       // the same disc keyed out by the transparent colour
    };

    Graphs MakeGraphs() {
        Graphs g{};
        gDrawSettings.graphCreate.maxTextureSize = 256;
        g.background = MakeGraph(kWidth, kHeight, [](int x, int y) {
            const uint32_t check = (x / 8 + y / 8) % 2 ? 200 : 60;
            return static_cast<uint32_t>((x * 255 / (kWidth - 1)) << 16 | (y * 255 / (kHeight - 1))
                                                                              << 8) |
                   check;
        });
        gDrawSettings.graphCreate.maxTextureSize = 0;
        std::mt19937 random(7);
        std::vector<uint32_t> texels(32 * 32);
        // Never the transparent colour, black.
        for (uint32_t& t : texels) t = (random() & 0xFFFFFF) | 0x010101;
        auto inside = [](int x, int y) { return (x - 16) * (x - 16) + (y - 16) * (y - 16) < 225; };
        g.sprite = MakeGraph(
            32, 32,
            [&](int x, int y) { return (inside(x, y) ? 0xFF000000 : 0) | texels[y * 32 + x]; },
            true);
        g.keyed =
            MakeGraph(32, 32, [&](int x, int y) { return inside(x, y) ? texels[y * 32 + x] : 0; });
        return g;
    }

    // Each column in its blend configuration (shifted by blendShift columns): the exact rows,
    // then the rotations and quadrilaterals of row 5.
    static void DrawScene(const Graphs& g, int blendShift) {
        ChangeBlendMode(BlendOpaque, 0);
        PutGraph(0, 0, g.background, 0);
        for (int column = 0; column < kColumns; ++column) {
            const ColumnBlend& b = kBlends[(column + blendShift) % kColumns];
            ChangeBlendMode(b.mode, b.param);
            SetDrawBright(b.red, b.green, b.blue);
            // The software renderer multiplies by a fully transparent pixel (black); the device
            // skips it.
            const Handle sprite = b.mode == BlendMultiply ? g.keyed : g.sprite;
            const int x = column * kCell;
            PutGraph(x + 4, 4, sprite, 1);
            PutGraphPart(x + 44, 44, 6, 4, 24, 20, sprite, 1, 0);
            PutGraphStretched(x + 8, kCell + 8, x + 72, kCell + 72, sprite, 1);
            PutGraphMirrored(x + 4, 2 * kCell + 4, sprite, 1);
            PutGraphPart(x + 44, 2 * kCell + 4, 6, 4, 24, 20, sprite, 1, 1);
            PutGraphStretchedFloat(x + 76.0f, 2 * kCell + 44.0f, x + 44.0f, 2 * kCell + 76.0f,
                                   sprite, 1);
            PutGraphRotated(x + 20.0f, 3 * kCell + 20.0f, 1.0, 0.0, sprite, 1, 0);
            PutGraphRotated(x + 60.7f, 3 * kCell + 60.2f, 1.0, 0.0, sprite, 1, 0);
            PutBox(x + 4, 4 * kCell + 4, x + 36, 4 * kCell + 30, PackScreenColor(200, 100, 50), 1);
            PutBox(x + 30, 4 * kCell + 24, x + 60, 4 * kCell + 50, PackScreenColor(30, 220, 90), 0);
            PutBoxFilled(x + 76, 4 * kCell + 76, x + 50, 4 * kCell + 56,
                         PackScreenColor(90, 40, 240));
            PutBoxOutline(x + 6, 4 * kCell + 74, x + 40, 4 * kCell + 54,
                          PackScreenColor(250, 250, 20));
        }
        SetDrawBright(255, 255, 255);
        ChangeBlendMode(BlendOpaque, 0);
        const int y = 5 * kCell;
        PutGraphRotated(40.0f, y + 40.0f, 1.0, 0.4, g.sprite, 1, 0);
        PutGraphRotated(120.0f, y + 40.0f, 1.0, std::numbers::pi / 2, g.sprite, 1, 0);
        PutGraphRotated(200.0f, y + 40.0f, 1.5, 2.0, g.keyed, 1, 1);
        PutGraphRotated(280.0f, y + 40.0f, 1.0, std::numbers::pi, g.sprite, 1, 0);
        PutGraphOnQuad(g.sprite, 340, y + 10, 380, y + 20, 380, y + 60, 340, y + 50, 1, 0);
        PutGraphOnQuadFloat(414, y + 8, 462, y + 20, 476, y + 74, 428, y + 62, g.keyed, 1);
        PutGraphOnQuadFloat(492, y + 12, 524, y + 12, 524, y + 44, 492, y + 44, g.sprite, 1);
        // The game's explosions: additive, linear sampling, angle 0.
        ChangeBlendMode(BlendAdditive, 255);
        SetDrawSamplingMode(1);
        PutGraphRotated(600.0f, y + 40.0f, 1.0, 0.0, g.sprite, 1, 0);
        SetDrawSamplingMode(0);
        ChangeBlendMode(BlendOpaque, 0);
    }

    Frame Render(bool device, int bits, int blendShift = 0) {
        StartPath(device, bits);
        const Graphs g = MakeGraphs();
        DrawScene(g, blendShift);
        Frame frame{bits, ReadFrame()};
        EXPECT_EQ(frame.pixels.size(), static_cast<size_t>(kWidth) * kHeight);
        EndFramework();
        return frame;
    }

    // Ends the framework and clears what a start leaves behind, so that the other path starts
    // afresh.
    void EndFramework() {
        ShutdownLibrary();
        EXPECT_EQ(TestD3d9LiveObjects(), 0);
        gLibrary = LibraryState{};
        gMainWindow = MainWindowState{};
        gShell = ShellState{};
        gShell.windowed = 1;
        ResetGraphicsState();
        ResetGraphSettings();
    }

    void WritePng(const Frame& frame, const std::string& name) {
        std::vector<uint16_t> samples;
        samples.reserve(frame.pixels.size() * 3);
        for (uint32_t p : frame.pixels) {
            for (int shift : {16, 8, 0})
                samples.push_back(static_cast<uint16_t>((p >> shift) & 0xFF));
        }
        WriteFile(name.c_str(), MakePngFile(PngOptions{}, kWidth, kHeight, samples, {}, {}));
    }

    static std::string Describe(const std::vector<CellResult>& cells) {
        std::string text;
        for (const CellResult& c : cells) {
            text += "cell (" + std::to_string(c.column) + ", " + std::to_string(c.row) +
                    "): " + std::to_string(c.mismatches) + " pixels, up to " +
                    std::to_string(c.worst) + " steps\n";
        }
        return text;
    }
};

class BothPathsDepthTest : public BothPathsTest, public ::testing::WithParamInterface<int> {};

TEST_P(BothPathsDepthTest, DeviceAndSoftwareScreenDrawTheSameFrame) {
    const int bits = GetParam();
    const Frame device = Render(true, bits);
    const Frame software = Render(false, bits);
    const std::vector<CellResult> cells = MismatchedCells(device, software);
    if (!cells.empty()) {
        const std::string prefix = "both_paths_" + std::to_string(bits);
        WritePng(device, prefix + "_device.png");
        WritePng(software, prefix + "_software.png");
        ADD_FAILURE() << Describe(cells) << "frames written to " << directory_ << "/" << prefix
                      << "_*.png";
    }

    // The tolerance catches a frame one pixel off, a swapped channel and a wrong blend mode.
    Frame shifted = device, swapped = device;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            shifted.pixels[static_cast<size_t>(y) * kWidth + x] = device.At(std::max(x - 1, 0), y);
            const uint32_t p = device.At(x, y);
            swapped.pixels[static_cast<size_t>(y) * kWidth + x] =
                (p & 0xFF00FF00) | (p >> 16 & 0xFF) | (p & 0xFF) << 16;
        }
    }
    int exactCells = 0, shiftedFailing = 0;
    for (int row = 0; row < kRows; ++row) {
        for (int column = 0; column < kColumns; ++column) {
            exactCells += CellMatch(column, row) == Match::Exact;
        }
    }
    for (const CellResult& c : MismatchedCells(shifted, software)) {
        shiftedFailing += CellMatch(c.column, c.row) == Match::Exact;
    }
    EXPECT_EQ(shiftedFailing, exactCells);
    EXPECT_EQ(MismatchedCells(swapped, software).size(), static_cast<size_t>(kRows * kColumns));
    const Frame otherModes = Render(true, bits, 1);
    for (int column = 0; column < kColumns; ++column) {
        int failing = 0;
        for (const CellResult& c : MismatchedCells(otherModes, software)) {
            failing += c.column == column && c.row < 5;
        }
        EXPECT_EQ(failing, 5) << "column " << column;
    }
}

INSTANTIATE_TEST_SUITE_P(ScreenDepths, BothPathsDepthTest, ::testing::Values(16, 32),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param) + "Bit";
                         });

}  // namespace
