// A fixture for tests of the drawing calls: the framework started on the software Direct3D
// device or on the software screen (16 or 32 bits) with the back buffer as draw screen, graphs
// made from pixel functions, the vertices a draw left in the batch, and the drawn frame read
// back as 0xAARRGGBB from either path (16-bit channels widened by repeating their high bits).
#pragma once

#include <orbek/orbek.h>
#include <platform/testing_d3d9.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

#include "graphics/draw_screen.h"
#include "graphics/graph_fixture.h"
#include "graphics/software_screen.h"
#include "graphics/vertex_batch.h"

class DrawCallFixture : public GraphFixture {
protected:
    // Direct3D device or software screen, then the back buffer as draw screen.
    void StartPath(bool device, int bits) {
        if (device) {
            StartDevice(bits);
        } else {
            StartSoftware(bits);
        }
        ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
    }

    // A graph of 0xAARRGGBB pixels (alpha ignored without withAlpha).
    Handle MakeGraph(int width, int height, const std::function<uint32_t(int, int)>& pixel,
                     bool withAlpha = false) {
        Handle graph =
            BuildGraphFromGraphImage(MakeImage(width, height, pixel, withAlpha), nullptr, 0);
        EXPECT_NE(graph, -1);
        return graph;
    }

    // The vertices the batch holds, as the kind it holds.
    template <class Vertex>
    static std::vector<Vertex> BatchVertices() {
        const VertexBatch& b = gVertexBatch;
        const auto* end = reinterpret_cast<const Vertex*>(b.writePointer);
        return std::vector<Vertex>(end - b.vertexCount, end);
    }

    // The draw screen as 0xAARRGGBB, row by row.
    static std::vector<uint32_t> ReadFrame() {
        if (IsDirect3DMode()) {
            FlushVertexBatchNow();
            UINT width = 0, height = 0;
            std::vector<DWORD> pixels =
                TestD3d9ReadSurface(gDeviceResources.backBuffer, &width, &height);
            return std::vector<uint32_t>(pixels.begin(), pixels.end());
        }
        const MEMIMG& screen = gSoftwareScreen.screen;
        std::vector<uint32_t> out(static_cast<size_t>(screen.width) * screen.height);
        const bool wide = screen.body->colorType == kMemImgXrgb8888;
        for (int y = 0; y < screen.height; ++y) {
            const uint8_t* row = screen.pixels + static_cast<size_t>(y) * screen.body->pitch;
            for (int x = 0; x < screen.width; ++x) {
                uint32_t argb = 0;
                if (wide) {
                    argb = reinterpret_cast<const uint32_t*>(row)[x] | 0xFF000000;
                } else {
                    const uint32_t v = reinterpret_cast<const uint16_t*>(row)[x];
                    const uint32_t r = v >> 11, g = (v >> 5) & 63, b = v & 31;
                    argb = 0xFF000000 | (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 |
                           (b << 3 | b >> 2);
                }
                out[static_cast<size_t>(y) * screen.width + x] = argb;
            }
        }
        return out;
    }

    static uint32_t FramePixel(const std::vector<uint32_t>& frame, int x, int y) {
        return frame[static_cast<size_t>(y) * 640 + x];
    }
};

// An opaque texel that tells its place: red from x, green from y, blue from both.
inline uint32_t Texel(int x, int y) {
    return 0xFF000000 | static_cast<uint32_t>(x * 8) << 16 | static_cast<uint32_t>(y * 8) << 8 |
           static_cast<uint32_t>((x * 7 + y * 13) & 0xFF);
}

// The largest difference of two 0xAARRGGBB pixels over red, green and blue, in steps of a
// screen's channels: 1/255 at 32 bits, 1/31 (red, blue) and 1/63 (green) at 16 bits.
inline int StepDifference(uint32_t a, uint32_t b, int bits) {
    int worst = 0;
    for (int channel = 0; channel < 3; ++channel) {
        const int shift = 16 - 8 * channel;
        const int drop = bits == 32 ? 0 : (channel == 1 ? 2 : 3);
        const int x = static_cast<int>((a >> shift) & 0xFF) >> drop;
        const int y = static_cast<int>((b >> shift) & 0xFF) >> drop;
        worst = std::max(worst, std::abs(x - y));
    }
    return worst;
}
