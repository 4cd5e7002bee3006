// A fixture for tests that draw through the vertex batch: the framework started on the
// software device, draw-target graphs, textures made straight through the device wrappers, textured
// quads fed to the batch the way the graph builders feed it, read-back of the back buffer, and a
// reference model of what each blend mode gives, written from the modes' meaning (not from the
// device's factors).
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_loading.h"
#include "graphics/graph_records.h"
#include "graphics/prepare_draw.h"
#include "graphics/render_state_cache.h"
#include "graphics/vertex_batch.h"
#include "graphics_fixture.h"

class DrawFixture : public GraphicsFixture {
protected:
    void SetUp() override {
        GraphicsFixture::SetUp();
        TestD3d9KeepPresents(true);
    }

    void TearDown() override {
        for (IDirect3DTexture9* texture : textures_) ReleaseComObject(texture);
        textures_.clear();
        GraphicsFixture::TearDown();
    }

    // A graph made as a draw target of the given size (32-bit on a 32-bit screen).
    static Handle MakeTargetGraph(int width, int height) {
        GraphCreateSettings settings = gDrawSettings.graphCreate;
        settings.drawTarget = 1;
        Handle graph = CreateEmptyGraph(&settings, width, height, 0, 0, 0);
        EXPECT_NE(graph, -1);
        return graph;
    }

    // The level-0 surface of a graph's first texture piece.
    static IDirect3DSurface9* TargetSurface(Handle graph) {
        const GraphRecord* record = GetGraphRecord(graph, 0);
        return record != nullptr ? GetGraphTargetSurface(record) : nullptr;
    }

    // Starts the framework with a 16-bit (full screen) or 32-bit (window) back buffer and
    // selects the back buffer as the draw screen.
    void StartDrawing(int bits) {
        int started = bits == 16 ? SetupFullScreen() : SetupLibrary();
        ASSERT_EQ(started, 0);
        ASSERT_EQ(IsDirect3DMode(), 1);
        ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
    }

    // An A8R8G8B8 texture holding the pixels (0xAARRGGBB, row by row); released at tear-down.
    IDirect3DTexture9* MakeTexture(int width, int height, const std::vector<uint32_t>& pixels) {
        IDirect3DTexture9* texture = nullptr;
        // Dynamic in the default pool, so that Ex devices (no managed pool) lock it too.
        EXPECT_EQ(DeviceCreateTexture(width, height, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8,
                                      D3DPOOL_DEFAULT, &texture, nullptr),
                  D3D_OK);
        if (texture == nullptr) return nullptr;
        D3DLOCKED_RECT lock{};
        EXPECT_EQ(TextureLockRect(texture, 0, &lock, nullptr, 0), D3D_OK);
        for (int y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lock.pBits) +
                                                    static_cast<size_t>(y) * lock.Pitch);
            for (int x = 0; x < width; ++x) row[x] = pixels[static_cast<size_t>(y) * width + x];
        }
        TextureUnlockRect(texture, 0);
        textures_.push_back(texture);
        return texture;
    }

    // A textured quad at (x, y), one texel per pixel, queued in the batch as the graph builders
    // queue it: half-pixel offset, two triangles, the colour on the first vertex of each.
    static void QueueQuad(IDirect3DTexture9* texture, const TextureCreateFlags& flags, int x, int y,
                          int width, int height, int drawFlags = kDrawUseTextureAlpha) {
        PrepareDrawStates(&flags, texture, drawFlags);
        auto* v = static_cast<TexturedVertex*>(ReserveBatchVertices(0, D3DPT_TRIANGLELIST, 6));
        ASSERT_NE(v, nullptr);
        float left = static_cast<float>(x) - 0.5f, top = static_cast<float>(y) - 0.5f;
        float right = left + static_cast<float>(width), bottom = top + static_cast<float>(height);
        const float corners[6][4] = {{left, top, 0, 0},    {right, top, 1, 0},
                                     {left, bottom, 0, 1}, {right, bottom, 1, 1},
                                     {left, bottom, 0, 1}, {right, top, 1, 0}};
        for (int i = 0; i < 6; ++i) {
            v[i].x = corners[i][0];
            v[i].y = corners[i][1];
            v[i].z = gDrawSettings.z2D;
            v[i].u = corners[i][2];
            v[i].v = corners[i][3];
        }
        v[0].diffuse = v[3].diffuse = gDrawSettings.vertexColor;
    }

    // An untextured rectangle in pixel-edge coordinates.
    static void QueueBox(int x1, int y1, int x2, int y2, D3DCOLOR colour) {
        PrepareDrawStates(nullptr, nullptr, kDrawModulateColor);
        auto* v = static_cast<ColoredVertex*>(ReserveBatchVertices(0, D3DPT_TRIANGLELIST, 6));
        ASSERT_NE(v, nullptr);
        float l = static_cast<float>(x1), t = static_cast<float>(y1);
        float r = static_cast<float>(x2), b = static_cast<float>(y2);
        const float corners[6][2] = {{l, t}, {r, t}, {l, b}, {r, b}, {l, b}, {r, t}};
        for (int i = 0; i < 6; ++i) {
            v[i].x = corners[i][0];
            v[i].y = corners[i][1];
            v[i].z = gDrawSettings.z2D;
        }
        v[0].diffuse = v[3].diffuse = colour;
    }

    static std::vector<DWORD> ReadBackBuffer() {
        FlushVertexBatchNow();
        UINT width = 0, height = 0;
        return TestD3d9ReadSurface(gDeviceResources.backBuffer, &width, &height);
    }

    static DWORD BackBufferPixel(int x, int y) {
        FlushVertexBatchNow();
        return TestD3d9ReadPixel(gDeviceResources.backBuffer, static_cast<UINT>(x),
                                 static_cast<UINT>(y));
    }

    // Fills a rectangle of the back buffer with a colour, bypassing the framework.
    static void FillBackBuffer(const RECT& r, D3DCOLOR colour) {
        FlushVertexBatchNow();
        ASSERT_EQ(DeviceColorFill(gDeviceResources.backBuffer, &r, colour), D3D_OK);
    }

    std::vector<IDirect3DTexture9*> textures_;
};

// What a draw of one texel onto one destination pixel gives, from the blend mode's meaning.
struct BlendCase {
    int mode;
    int param;
    uint32_t bright;      // 0x00RRGGBB
    int alphaSource;      // 0 the vertex, 1 alpha channel, 2 colour key
    bool nativeSubtract;  // the device subtracts in one pass
};

// Channel widths of the back buffer: 8 for X8R8G8B8, 5/6/5 for R5G6B5.
struct TargetBits {
    int red, green, blue;
};

// The modes' formulas in 8-bit channels, each product or sum rounded to nearest once (the
// arithmetic the device states: Direct3D leaves rounding to the device).
namespace draw_model {

inline int Div255(int n) {
    return n <= 0 ? 0 : std::min(255, (n + 127) / 255);
}

inline int Channel(uint32_t value, int shift) {
    return static_cast<int>((value >> shift) & 0xFF);
}

// The result per channel (red, green, blue), or false when the pixel is not drawn.
inline bool Blend(const BlendCase& c, uint32_t texel, uint32_t dest, int out[3]) {
    bool white = (c.bright & 0xFFFFFF) == 0xFFFFFF;
    int vertexAlpha = c.mode == 0 ? 255 : c.param;
    int alpha = c.alphaSource == 0 ? vertexAlpha : Channel(texel, 24);
    if (c.alphaSource != 0 && c.mode != 0) alpha = Div255(alpha * vertexAlpha);
    bool textureAlpha = c.alphaSource != 0;
    bool opaque = c.mode == 0 || c.mode == 6;
    if (c.alphaSource == 2 && alpha <= 16) return false;
    if (c.alphaSource != 2 && (!opaque || textureAlpha) && alpha <= 0) return false;
    for (int i = 0; i < 3; ++i) {
        int shift = 16 - 8 * i;
        int t = Channel(texel, shift), b = Channel(c.bright, shift), d = Channel(dest, shift);
        if (c.mode == 10) t = 255 - t;
        int s = white ? t : Div255(t * b);
        if (c.mode == 12 || c.mode == 13) s = Div255(4 * t * b);
        if (c.mode == 11) s = Div255(s * alpha + 255 * (255 - alpha));
        int r = s;
        switch (c.mode) {
            case 0:
            case 6:
                r = textureAlpha ? Div255(s * alpha + d * (255 - alpha)) : s;
                break;
            case 1:
            case 10:
            case 12:
                r = Div255(s * alpha + d * (255 - alpha));
                break;
            case 2:
            case 5:
            case 13:
                r = Div255(s * alpha + d * 255);
                break;
            case 3:
                r = c.nativeSubtract ? Div255(d * 255 - s * alpha) : Div255(s * (255 - d));
                break;
            case 4:
            case 11:
                r = Div255(d * s);
                break;
            case 8:
                r = d;
                break;
            case 9:
                r = Div255(s * (255 - d));
                break;
            case 15:
                r = Div255(s * 255 + d * (255 - alpha));
                break;
            case 16:
                r = Div255(d * 255 - s * alpha);
                break;
            default:  // 14
                break;
        }
        out[i] = r;
    }
    return true;
}

// Rounded to the target's channels and widened back to 8 bits, as the back buffer reads.
inline uint32_t Quantise(const int v[3], TargetBits bits) {
    uint32_t result = 0xFF000000;
    const int widths[3] = {bits.red, bits.green, bits.blue};
    for (int i = 0; i < 3; ++i) {
        uint32_t top = (1u << widths[i]) - 1;
        uint32_t q = (static_cast<uint32_t>(v[i]) * top + 127) / 255;
        uint32_t wide = q << (8 - widths[i]);
        for (int filled = widths[i]; filled < 8; filled += widths[i]) wide |= wide >> filled;
        result |= (wide & 0xFF) << (16 - 8 * i);
    }
    return result;
}

}  // namespace draw_model
