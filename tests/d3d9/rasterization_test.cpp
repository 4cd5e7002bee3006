// Which pixels the device covers: the top-left rule on shared edges, pixel centres on integer
// coordinates, viewport clipping, flat shading, lines and points.
#include <limits>
#include <random>

#include "device_fixture.h"

namespace {

// Additive blending of a small step shows how often each pixel was written.
void CountWrites(IDirect3DDevice9* device) {
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
}

constexpr D3DCOLOR kStep = 0xFF101010;

}  // namespace

TEST_F(DeviceTest, IntegerCornersCoverTheHalfOpenRectangle) {
    CreateDevice(16, 16);
    FillRect(2, 3, 7, 9, 0xFFFFFFFF);
    for (UINT y = 0; y < 16; ++y) {
        for (UINT x = 0; x < 16; ++x) {
            bool inside = x >= 2 && x < 7 && y >= 3 && y < 9;
            EXPECT_EQ(Pixel(x, y), inside ? 0xFFFFFFFFu : 0xFF000000u) << x << "," << y;
        }
    }
}

TEST_F(DeviceTest, JitteredMeshCoversEveryPixelExactlyOnce) {
    CreateDevice(64, 64);
    CountWrites(device_);
    for (unsigned seed : {7u, 11u, 23u, 99u}) {
        Clear(0);
        // A 9x9 grid of shared vertices, jittered (keeping every cell convex) inside the
        // rectangle; boundary vertices stay on the rectangle's edges.
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> jitter(-1.7f, 1.7f);
        constexpr int kCells = 8;
        const float left = 4.25f, top = 3.5f, size = 56.0f;
        float gx[kCells + 1][kCells + 1], gy[kCells + 1][kCells + 1];
        for (int j = 0; j <= kCells; ++j) {
            for (int i = 0; i <= kCells; ++i) {
                bool edgeX = i == 0 || i == kCells, edgeY = j == 0 || j == kCells;
                gx[j][i] = left + size * i / kCells + (edgeX ? 0.0f : jitter(random));
                gy[j][i] = top + size * j / kCells + (edgeY ? 0.0f : jitter(random));
            }
        }
        std::vector<ColorVertex> triangles;
        for (int j = 0; j < kCells; ++j) {
            for (int i = 0; i < kCells; ++i) {
                ColorVertex a{gx[j][i], gy[j][i], 0, 1, kStep};
                ColorVertex b{gx[j][i + 1], gy[j][i + 1], 0, 1, kStep};
                ColorVertex c{gx[j + 1][i], gy[j + 1][i], 0, 1, kStep};
                ColorVertex d{gx[j + 1][i + 1], gy[j + 1][i + 1], 0, 1, kStep};
                // Alternate the diagonal and the winding.
                if ((i + j) % 2 == 0) {
                    triangles.insert(triangles.end(), {a, b, d, a, d, c});
                } else {
                    triangles.insert(triangles.end(), {b, c, a, b, d, c});
                }
            }
        }
        Draw(D3DPT_TRIANGLELIST, kColorFvf, triangles, static_cast<UINT>(triangles.size() / 3));
        std::vector<DWORD> image = Pixels();
        for (UINT y = 0; y < 64; ++y) {
            for (UINT x = 0; x < 64; ++x) {
                // Pixel centres on the left and top edges belong to the rectangle, those on
                // the right and bottom edges do not.
                bool inside = x >= left && x < left + size && y >= top && y < top + size;
                ASSERT_EQ(image[y * 64 + x], inside ? 0xFF101010u : 0xFF000000u)
                    << x << "," << y << " seed " << seed;
            }
        }
    }
}

TEST_F(DeviceTest, EdgesThroughPixelCentresAreSharedOnce) {
    CreateDevice(16, 16);
    CountWrites(device_);
    // A fan of triangles around a pixel centre, with edges running exactly through centres
    // horizontally, vertically and diagonally.
    const float cx = 8, cy = 8;
    const float ring[][2] = {{2, 2}, {8, 2}, {14, 2}, {14, 8}, {14, 14}, {8, 14}, {2, 14}, {2, 8}};
    std::vector<ColorVertex> v;
    for (int i = 0; i < 8; ++i) {
        const float* p = ring[i];
        const float* q = ring[(i + 1) % 8];
        v.push_back({cx, cy, 0, 1, kStep});
        v.push_back({p[0], p[1], 0, 1, kStep});
        v.push_back({q[0], q[1], 0, 1, kStep});
    }
    Draw(D3DPT_TRIANGLELIST, kColorFvf, v, 8);
    for (UINT y = 0; y < 16; ++y) {
        for (UINT x = 0; x < 16; ++x) {
            bool inside = x >= 2 && x < 14 && y >= 2 && y < 14;
            EXPECT_EQ(Pixel(x, y), inside ? 0xFF101010u : 0xFF000000u) << x << "," << y;
        }
    }
}

TEST_F(DeviceTest, ViewportClipsPretransformedGeometry) {
    CreateDevice(16, 16);
    D3DVIEWPORT9 viewport = {4, 5, 6, 3, 0.0f, 1.0f};
    ASSERT_EQ(device_->SetViewport(&viewport), D3D_OK);
    FillRect(-100, -100, 100, 100, 0xFFFFFFFF);
    for (UINT y = 0; y < 16; ++y) {
        for (UINT x = 0; x < 16; ++x) {
            bool inside = x >= 4 && x < 10 && y >= 5 && y < 8;
            EXPECT_EQ(Pixel(x, y), inside ? 0xFFFFFFFFu : 0xFF000000u) << x << "," << y;
        }
    }
    D3DVIEWPORT9 outside = {10, 10, 7, 1, 0.0f, 1.0f};
    EXPECT_EQ(device_->SetViewport(&outside), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, FlatShadingTakesTheFirstVertexColour) {
    CreateDevice(16, 16);
    device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    // A strip: triangle 0 takes vertex 0, triangle 1 vertex 1.
    std::vector<ColorVertex> strip = {{0, 0, 0, 1, 0xFFFF0000},
                                      {16, 0, 0, 1, 0xFF00FF00},
                                      {0, 16, 0, 1, 0xFF0000FF},
                                      {16, 16, 0, 1, 0xFFFFFFFF}};
    Draw(D3DPT_TRIANGLESTRIP, kColorFvf, strip, 2);
    EXPECT_EQ(Pixel(2, 2), 0xFFFF0000u);
    EXPECT_EQ(Pixel(13, 13), 0xFF00FF00u);
    // A fan takes the second vertex of each triangle.
    std::vector<ColorVertex> fan = {{0, 0, 0, 1, 0xFFFF0000},
                                    {16, 0, 0, 1, 0xFF00FF00},
                                    {16, 16, 0, 1, 0xFF0000FF},
                                    {0, 16, 0, 1, 0xFFFFFFFF}};
    Draw(D3DPT_TRIANGLEFAN, kColorFvf, fan, 2);
    EXPECT_EQ(Pixel(13, 2), 0xFF00FF00u);
    EXPECT_EQ(Pixel(2, 13), 0xFF0000FFu);
}

TEST_F(DeviceTest, GouraudShadingInterpolatesAtPixelCentres) {
    CreateDevice(8, 8);
    // Red runs from 0 at x = -0.5 to 255 at x = 7.5: pixel i gets (i + 0.5) * 255 / 8.
    std::vector<ColorVertex> v = {{-0.5f, -0.5f, 0, 1, 0xFF000000},
                                  {7.5f, -0.5f, 0, 1, 0xFFFF0000},
                                  {-0.5f, 7.5f, 0, 1, 0xFF000000},
                                  {7.5f, 7.5f, 0, 1, 0xFFFF0000}};
    Draw(D3DPT_TRIANGLESTRIP, kColorFvf, v, 2);
    for (UINT x = 0; x < 8; ++x) {
        DWORD red = static_cast<DWORD>((x + 0.5) * 255.0 / 8.0 + 0.5);
        EXPECT_EQ(Pixel(x, 3), 0xFF000000u | (red << 16)) << x;
    }
}

TEST_F(DeviceTest, CullingFollowsWindingOnScreen) {
    CreateDevice(8, 8);
    std::vector<ColorVertex> clockwise = {
        {0, 0, 0, 1, 0xFFFFFFFF}, {8, 0, 0, 1, 0xFFFFFFFF}, {0, 8, 0, 1, 0xFFFFFFFF}};
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    Draw(D3DPT_TRIANGLELIST, kColorFvf, clockwise, 1);
    EXPECT_EQ(Pixel(1, 1), 0xFF000000u);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    Draw(D3DPT_TRIANGLELIST, kColorFvf, clockwise, 1);
    EXPECT_EQ(Pixel(1, 1), 0xFFFFFFFFu);
}

TEST_F(DeviceTest, LinesLeaveTheirEndPixelAndPointsTakeOnePixel) {
    CreateDevice(8, 8);
    device_->SetRenderState(D3DRS_LASTPIXEL, FALSE);
    std::vector<ColorVertex> line = {{1, 2, 0, 1, 0xFFFFFFFF}, {5, 2, 0, 1, 0xFFFFFFFF}};
    Draw(D3DPT_LINELIST, kColorFvf, line, 1);
    for (UINT x = 0; x < 8; ++x)
        EXPECT_EQ(Pixel(x, 2), x >= 1 && x < 5 ? 0xFFFFFFFFu : 0xFF000000u) << x;
    device_->SetRenderState(D3DRS_LASTPIXEL, TRUE);
    std::vector<ColorVertex> vertical = {{6, 1, 0, 1, 0xFFFF0000}, {6, 4, 0, 1, 0xFFFF0000}};
    Draw(D3DPT_LINELIST, kColorFvf, vertical, 1);
    for (UINT y = 0; y < 8; ++y)
        EXPECT_EQ(Pixel(6, y), y >= 1 && y <= 4 ? 0xFFFF0000u : 0xFF000000u) << y;

    std::vector<ColorVertex> points = {{3.4f, 5.6f, 0, 1, 0xFF00FF00}};
    Draw(D3DPT_POINTLIST, kColorFvf, points, 1);
    EXPECT_EQ(Pixel(3, 6), 0xFF00FF00u);
    EXPECT_EQ(Pixel(3, 5), 0xFF000000u);
}

TEST_F(DeviceTest, UntransformedVerticesGoThroughTheTransformsAndClipAtTheNearPlane) {
    CreateDevice(16, 16);
    // Identity transforms: clip space x, y in -1..1 maps to the whole viewport.
    struct Xyz {
        float x, y, z;
        D3DCOLOR c;
    };
    std::vector<Xyz> quad = {{-1, 1, 0.5f, 0xFFFFFFFF},
                             {1, 1, 0.5f, 0xFFFFFFFF},
                             {-1, -1, 0.5f, 0xFFFFFFFF},
                             {1, -1, 0.5f, 0xFFFFFFFF}};
    Draw(D3DPT_TRIANGLESTRIP, D3DFVF_XYZ | D3DFVF_DIFFUSE, quad, 2);
    EXPECT_EQ(Pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(Pixel(15, 15), 0xFFFFFFFFu);
    Clear(0);
    // Half of this quad lies in front of the near plane (z < 0) and is clipped away.
    std::vector<Xyz> crossing = {{-1, 1, -1.0f, 0xFFFF0000},
                                 {1, 1, -1.0f, 0xFFFF0000},
                                 {-1, -1, 1.0f, 0xFFFF0000},
                                 {1, -1, 1.0f, 0xFFFF0000}};
    Draw(D3DPT_TRIANGLESTRIP, D3DFVF_XYZ | D3DFVF_DIFFUSE, crossing, 2);
    EXPECT_EQ(Pixel(8, 2), 0xFF000000u);
    EXPECT_EQ(Pixel(8, 13), 0xFFFF0000u);
}

TEST_F(DeviceTest, HugeAndBrokenCoordinatesNeverWriteOutsideTheTarget) {
    CreateDevice(8, 8);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // Vertices beyond the guard band, at infinity or NaN: those triangles are not drawn.
    std::vector<ColorVertex> broken = {
        {0, 0, 0, 1, 0xFFFFFFFF},    {1e30f, 0, 0, 1, 0xFFFFFFFF}, {0, 8, 0, 1, 0xFFFFFFFF},
        {nan, 0, 0, 1, 0xFFFFFFFF},  {8, 0, 0, 1, 0xFFFFFFFF},     {0, 8, 0, 1, 0xFFFFFFFF},
        {0, -inf, 0, 1, 0xFFFFFFFF}, {8, 0, 0, 1, 0xFFFFFFFF},     {0, 8, 0, 1, 0xFFFFFFFF}};
    Draw(D3DPT_TRIANGLELIST, kColorFvf, broken, 3);
    for (DWORD pixel : Pixels()) EXPECT_EQ(pixel, 0xFF000000u);
    // Far outside but within the guard band: clipped to the target.
    FillRect(-500000, -500000, 500000, 500000, 0xFF00FF00);
    for (DWORD pixel : Pixels()) EXPECT_EQ(pixel, 0xFF00FF00u);
    // A texture coordinate of NaN or an rhw of zero samples somewhere, without a fault.
    device_->SetTexture(0, MakeTexture32(D3DFMT_X8R8G8B8, 2, 2, {1, 2, 3, 4}));
    TexturedRect(0, 0, 8, 8, nan, 0, inf, 1);
    std::vector<TexturedScreenVertex> zeroRhw = {{0, 0, 0, 0, 0xFFFFFFFF, 0, 0},
                                                 {8, 0, 0, 1, 0xFFFFFFFF, 1, 0},
                                                 {0, 8, 0, 1, 0xFFFFFFFF, 0, 1}};
    Draw(D3DPT_TRIANGLELIST, kTexturedFvf, zeroRhw, 1);
}
