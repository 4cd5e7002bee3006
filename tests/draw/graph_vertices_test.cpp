// The Direct3D vertex builders: where a graph's quad lands (half a pixel up and left, clipped
// with its texture coordinates, rotated about even and odd centres), quadrilaterals as two
// triangles or an 8 x 8 grid, blend-graph coordinates and box vertices.
#include "draw/graph_vertices.h"

#include <gtest/gtest.h>

#include <cmath>

#include "draw_call_fixture.h"
#include "graphics/d3d_device.h"
#include "graphics/draw_settings.h"

namespace {

// Strip order of the corners, as the six vertices of a quad take them.
constexpr int kQuadOrder[6] = {0, 1, 2, 3, 2, 1};

class GraphVerticesTest : public DrawCallFixture {
protected:
    void SetUp() override {
        DrawCallFixture::SetUp();
        StartPath(true, 32);
        graph_ = MakeGraph(32, 32, Texel);
        FlushVertexBatchNow();
    }

    // The quad's top-left vertex after drawing through draw; the batch is emptied first.
    template <class Draw>
    static TexturedVertex FirstVertex(Draw draw) {
        FlushVertexBatchNow();
        EXPECT_EQ(draw(), 0);
        const std::vector<TexturedVertex> v = BatchVertices<TexturedVertex>();
        EXPECT_EQ(v.size(), 6u);
        return v.empty() ? TexturedVertex{} : v[0];
    }

    Handle graph_ = -1;
};

TEST_F(GraphVerticesTest, TranslatedQuadSitsHalfAPixelUpAndLeft) {
    ChangeBlendMode(BlendTranslucent, 200);
    SetDrawBright(10, 20, 30);
    ASSERT_EQ(PutGraph(10, 20, graph_, 0), 0);
    const std::vector<TexturedVertex> v = BatchVertices<TexturedVertex>();
    ASSERT_EQ(v.size(), 6u);
    const GraphPiece& piece = GraphPieces(GetGraphRecord(graph_, 0))[0];
    for (int i = 0; i < 6; ++i) {
        const float* corner = piece.corners[kQuadOrder[i]];
        EXPECT_EQ(v[i].x, 9.5f + corner[0]);
        EXPECT_EQ(v[i].y, 19.5f + corner[1]);
        EXPECT_EQ(v[i].z, gDrawSettings.z2D);
        EXPECT_EQ(v[i].u, corner[2]);
        EXPECT_EQ(v[i].v, corner[3]);
    }
    // Flat shading reads the first vertex of each triangle.
    EXPECT_EQ(v[0].diffuse, 0xC80A141Eu);
    EXPECT_EQ(v[3].diffuse, 0xC80A141Eu);
}

TEST_F(GraphVerticesTest, ClippingMovesPositionsAndTextureCoordinatesTogether) {
    ASSERT_EQ(SetDrawRegion(20, 40, 640, 480), 0);
    const float texture =
        static_cast<float>(GetGraphRecord(graph_, 0)->textureInfo->pieces[0].texWidth);
    TexturedVertex v = FirstVertex([&] { return PutGraph(10, 30, graph_, 0); });
    EXPECT_EQ(v.x, 20.0f);
    EXPECT_EQ(v.y, 40.0f);
    EXPECT_FLOAT_EQ(v.u, 10.5f / texture);
    EXPECT_FLOAT_EQ(v.v, 10.5f / texture);
    std::vector<uint32_t> frame = ReadFrame();
    for (int y = 39; y < 62; ++y) {
        for (int x = 19; x < 42; ++x) {
            const uint32_t expected = x < 20 || y < 40 ? 0xFF000000 : Texel(x - 10, y - 30);
            ASSERT_EQ(FramePixel(frame, x, y) | 0xFF000000, expected) << x << ", " << y;
        }
    }
    // Stretched twice: the clip edge lies half a pixel out, texture coordinates move by half
    // a texel per pixel.
    v = FirstVertex([&] { return PutGraphStretched(10, 30, 74, 94, graph_, 0); });
    EXPECT_EQ(v.x, 19.5f);
    EXPECT_FLOAT_EQ(v.u, 10.0f / (2 * texture));
    frame = ReadFrame();
    for (int y = 40; y < 94; ++y) {
        for (int x = 20; x < 74; ++x) {
            ASSERT_EQ(FramePixel(frame, x, y) | 0xFF000000, Texel((x - 10) / 2, (y - 30) / 2));
        }
    }
}

TEST_F(GraphVerticesTest, RotatedCentresFollowSizeScaleAndSampling) {
    const Handle odd = MakeGraph(5, 5, Texel), mixed = MakeGraph(4, 7, Texel);
    struct Case {
        Handle graph;
        float x, y;
        double scale;
        int sampling;
        float left, top;  // of the unrotated quad
    };
    const Case cases[] = {
        {graph_, 100, 100, 1.0, 0, 83.5f, 83.5f},  // even: texel 16 on pixel 100
        {odd, 100, 100, 1.0, 0, 97.5f, 97.5f},     // odd: texel 2 on pixel 100
        {mixed, 100, 100, 1.0, 0, 97.5f, 96.5f},   // only the even side moves
        {odd, 100, 100, 2.0, 0, 94.5f, 94.5f},     // scaled: half a pixel up and left
        {odd, 100, 100, 1.0000001, 0, 97.0f, 97.0f},
        {graph_, 100.3f, 100.6f, 1.0, 0, 83.5f, 83.5f},  // snapped off whole pixels
        {odd, 100.3f, 100, 1.0, 0, 97.5f, 97.5f},        // on half pixels: kept
        {graph_, 100.25f, 100, 1.0, 1, 83.75f, 83.5f},   // filtered: where it was asked
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.left);
        SetDrawSamplingMode(c.sampling);
        const TexturedVertex v =
            FirstVertex([&] { return PutGraphRotated(c.x, c.y, c.scale, 0.0, c.graph, 0, 0); });
        EXPECT_FLOAT_EQ(v.x, c.left);
        EXPECT_FLOAT_EQ(v.y, c.top);
    }
    SetDrawSamplingMode(0);
    // Turned: the graph's left edge on the right, for any non-zero turn.
    for (int turn : {1, 2}) {
        const TexturedVertex v =
            FirstVertex([&] { return PutGraphRotated(100, 100, 1.0, 0.0, graph_, 0, turn); });
        EXPECT_EQ(v.x, 115.5f);
    }
    // Rotated edges are not snapped.
    const TexturedVertex v =
        FirstVertex([&] { return PutGraphRotated(100.5f, 100, 1.0, 0.5, graph_, 0, 0); });
    const double s = std::sin(0.5f), c = std::cos(0.5f);
    EXPECT_NEAR(v.x, 100 + (-16 * c + 16 * s), 1e-4);
    EXPECT_NEAR(v.y, 100 + (-16 * s - 16 * c), 1e-4);
    FlushVertexBatchNow();
    EXPECT_EQ(PutGraphRotated(100, 100, 0.0, 0.0, graph_, 0, 0), -1);
    EXPECT_EQ(gVertexBatch.vertexCount, 0);
}

TEST_F(GraphVerticesTest, QuadrilateralsAreTwoTrianglesOrAGrid) {
    // Within a pixel of a parallelogram: six vertices at the corners.
    ASSERT_EQ(PutGraphOnQuad(graph_, 10, 10, 42, 10, 43, 42, 11, 42, 0, 0), 0);
    const std::vector<TexturedVertex> v = BatchVertices<TexturedVertex>();
    ASSERT_EQ(v.size(), 6u);
    const float strip[4][2] = {{10, 10}, {42, 10}, {11, 42}, {43, 42}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(v[i].x, strip[kQuadOrder[i]][0]);
        EXPECT_EQ(v[i].y, strip[kQuadOrder[i]][1]);
    }
    // Any other: drawn at once as a grid.
    FlushVertexBatchNow();
    ASSERT_EQ(PutGraphOnQuad(graph_, 100, 10, 160, 10, 150, 60, 110, 70, 0, 0), 0);
    EXPECT_EQ(gVertexBatch.vertexCount, 0);
    EXPECT_NE(FramePixel(ReadFrame(), 130, 40), 0xFF000000u);

    const float corners[8] = {100, 10, 160, 10, 110, 70, 150, 60};
    EXPECT_EQ(IsNearParallelogram(corners), 0);
    const float nearly[8] = {0, 0, 10, 0, 1, 10, 11, 11};
    EXPECT_EQ(IsNearParallelogram(nearly), 1);
    TexturePiece texture{};
    texture.texWidth = 32;
    texture.texHeight = 16;
    GraphPiece piece{};
    const float uv[4][2] = {{0.25f, 0}, {0.625f, 0}, {0.25f, 1}, {0.625f, 1}};
    for (int k = 0; k < 4; ++k) {
        piece.corners[k][2] = uv[k][0];
        piece.corners[k][3] = uv[k][1];
    }
    piece.texPiece = &texture;
    TexturedVertex grid[64];
    BuildQuadTileGrid(&piece, corners, 0x12345678, grid);
    for (int k = 0; k < 4; ++k) {
        const TexturedVertex& at = grid[(k / 2) * 56 + (k % 2) * 7];
        EXPECT_EQ(at.x, corners[2 * k]);
        EXPECT_EQ(at.y, corners[2 * k + 1]);
        EXPECT_EQ(at.diffuse, 0x12345678u);
    }
    // One seventh along both edges: weights 36, 6, 6 and 1 over 49.
    EXPECT_NEAR(grid[9].x, (36 * 100 + 6 * 160 + 6 * 110 + 150) / 49.0, 1e-4);
    EXPECT_NEAR(grid[9].y, (36 * 10 + 6 * 10 + 6 * 70 + 60) / 49.0, 1e-4);
    // Texture edges inside the texture are pulled in by a thousandth of a texel; 0 and 1 stay.
    EXPECT_FLOAT_EQ(grid[0].u, 0.25f + 0.001f / 32);
    EXPECT_FLOAT_EQ(grid[7].u, 0.625f - 0.001f / 32);
    EXPECT_EQ(grid[0].v, 0.0f);
    EXPECT_EQ(grid[63].v, 1.0f);
}

TEST_F(GraphVerticesTest, BlendGraphCoordinatesFollowTheGraph) {
    const Handle blend = MakeGraph(64, 64, Texel);
    ASSERT_EQ(SetBlendGraph(blend, 0, 128, 0), 0);
    FlushVertexBatchNow();
    ASSERT_EQ(PutGraphStretched(10, 10, 74, 42, graph_, 0), 0);
    ASSERT_EQ(gVertexBatch.vertexKind, kVertexKindBlend);
    const std::vector<BlendVertex> v = BatchVertices<BlendVertex>();
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[1].blendU, 0.5f);  // graph column 32 over a 64-texel blend texture
    EXPECT_EQ(v[1].blendV, 0.0f);
    EXPECT_EQ(v[2].blendV, 0.5f);
    EXPECT_EQ(v[1].x, 73.5f);
    // Quadrilaterals under a blend graph: an axis-parallel rectangle is a stretched draw on
    // whole pixels; any other is drawn piece by piece at once, half a pixel up and left.
    FlushVertexBatchNow();
    ASSERT_EQ(PutGraphOnQuad(graph_, 100, 10, 164, 10, 164, 42, 100, 42, 0, 0), 0);
    EXPECT_EQ(BatchVertices<BlendVertex>()[0].x, 99.5f);
    FlushVertexBatchNow();
    const uint32_t before = FramePixel(ReadFrame(), 230, 40);
    ASSERT_EQ(PutGraphOnQuad(graph_, 200, 10, 260, 20, 250, 70, 210, 60, 0, 0), 0);
    EXPECT_EQ(gVertexBatch.vertexCount, 0);
    EXPECT_NE(FramePixel(ReadFrame(), 230, 40), before);
}

TEST_F(GraphVerticesTest, BoxesUseWholePixelCornersAndTheVertexColour) {
    ChangeBlendMode(BlendTranslucent, 128);
    SetDrawBright(255, 128, 0);
    ASSERT_EQ(PutBoxFilled(700, 50, 600, 10, PackScreenColor(200, 100, 50)), 0);
    const std::vector<ColoredVertex> v = BatchVertices<ColoredVertex>();
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[0].x, 600.0f);  // ordered and clamped to the draw area
    EXPECT_EQ(v[0].y, 10.0f);
    EXPECT_EQ(v[3].x, 640.0f);
    EXPECT_EQ(v[3].y, 50.0f);
    EXPECT_EQ(v[0].diffuse, 0x80C83200u);
    FlushVertexBatchNow();
    ASSERT_EQ(PutBoxOutline(10, 20, 5, 30, PackScreenColor(1, 2, 3)), 0);
    EXPECT_EQ(gVertexBatch.vertexCount, 24);
}

TEST_F(GraphVerticesTest, WholePixelDrawsLetTheTexturesKeyDecide) {
    // Opaque mode with linear sampling: a draw on whole pixels keeps the colour key's alpha
    // test, a stretched float draw blends by the texture's alpha.
    SetDrawSamplingMode(1);
    ASSERT_EQ(PutGraph(10, 10, graph_, 1), 0);
    FlushVertexBatchNow();
    EXPECT_EQ(TestD3d9ReadRenderState(gDirect3D.device, D3DRS_ALPHAREF), 16u);
    ASSERT_EQ(PutGraphStretchedFloat(10, 10, 42.5f, 42, graph_, 1), 0);
    FlushVertexBatchNow();
    EXPECT_EQ(TestD3d9ReadRenderState(gDirect3D.device, D3DRS_ALPHAREF), 0u);
}

}  // namespace
