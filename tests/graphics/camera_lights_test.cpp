// The camera's view and projection against matrices worked out here, screen points taken back
// to the world, the camera's angles and culling planes; the light table's slots, high mark and
// check numbers, and the order in which lights get device indices.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "graphics/camera.h"
#include "graphics/draw_settings.h"
#include "graphics/lights.h"
#include "graphics/render_state_cache.h"
#include "graphics/shader_constants.h"
#include "graphics_fixture.h"

namespace {

using Row = std::array<double, 4>;

// (x, y, z, w) x m in double precision.
Row Transform(const Row& v, const Matrix4x4& m) {
    Row out{};
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) out[c] += v[r] * m.m[r][c];
    }
    return out;
}

void ExpectMatrixNear(const Matrix4x4& actual, const double (&expected)[4][4]) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_NEAR(actual.m[r][c], expected[r][c], 1e-5) << r << "," << c;
        }
    }
}

class CameraLightsTest : public GraphicsFixture {
protected:
    void SetUp() override {
        GraphicsFixture::SetUp();
        ASSERT_EQ(SetupLibrary(), 0);
        ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
    }
};

TEST_F(CameraLightsTest, ViewAndProjectionMatchTheirDefinitions) {
    ASSERT_EQ(SetCameraPositionAndTarget(3, 4, 5, 0, 0, 0, 0, 1, 0), 0);
    // Left-handed look-at: z towards the target, x = up x z, y = z x x.
    const double len = std::sqrt(50.0);
    const double z[3] = {-3 / len, -4 / len, -5 / len};
    double x[3] = {1 * z[2] - 0 * z[1], 0 * z[0] - 0 * z[2], 0 * z[1] - 1 * z[0]};
    const double xl = std::hypot(x[0], x[1], x[2]);
    for (double& v : x) v /= xl;
    const double y[3] = {z[1] * x[2] - z[2] * x[1], z[2] * x[0] - z[0] * x[2],
                         z[0] * x[1] - z[1] * x[0]};
    const double eye[3] = {3, 4, 5};
    auto dot = [&](const double* a) { return a[0] * eye[0] + a[1] * eye[1] + a[2] * eye[2]; };
    const double view[4][4] = {{x[0], y[0], z[0], 0},
                               {x[1], y[1], z[1], 0},
                               {x[2], y[2], z[2], 0},
                               {-dot(x), -dot(y), -dot(z), 1}};
    ExpectMatrixNear(gDrawSettings.viewMatrix, view);
    // The stored up vector is square to the viewing direction.
    const Vector3& up = gDrawSettings.camera.up;
    EXPECT_NEAR(up.x * z[0] + up.y * z[1] + up.z * z[2], 0.0, 1e-6);

    ASSERT_EQ(SetCameraNearFar(2.0f, 500.0f), 0);
    ASSERT_EQ(SetCameraFieldOfView(1.0f), 0);
    const double aspect = 480.0 / 640.0;
    const double cot = 1.0 / std::tan(0.5);
    const double q = 500.0 / 498.0;
    const double perspective[4][4] = {
        {aspect * cot, 0, 0, 0}, {0, cot, 0, 0}, {0, 0, q, 1}, {0, 0, -q * 2.0, 0}};
    ExpectMatrixNear(gDrawSettings.projectionMatrix, perspective);

    gDrawSettings.camera.projectionMode = 1;
    gDrawSettings.camera.orthoHeight = 300.0f;
    ASSERT_EQ(UpdateCameraProjection(), 0);
    const double ortho[4][4] = {{2.0 / (300.0 / aspect), 0, 0, 0},
                                {0, 2.0 / 300.0, 0, 0},
                                {0, 0, 1.0 / 498.0, 0},
                                {0, 0, -2.0 / 498.0, 1}};
    ExpectMatrixNear(gDrawSettings.projectionMatrix, ortho);

    Matrix4x4 given{};
    for (int i = 0; i < 4; ++i) given.m[i][i] = static_cast<float>(i + 2);
    ASSERT_EQ(SetCameraProjectionMatrix(&given), 0);
    EXPECT_EQ(gDrawSettings.camera.projectionMode, 2);
    const double expectedGiven[4][4] = {{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 4, 0}, {0, 0, 0, 5}};
    ExpectMatrixNear(gDrawSettings.projectionMatrix, expectedGiven);
}

TEST_F(CameraLightsTest, UnprojectTakesAScreenPointBackToTheWorld) {
    ASSERT_EQ(SetCameraPositionAndTarget(10, 20, -300, 0, 0, 0, 0, 1, 0), 0);
    ASSERT_EQ(SetCameraNearFar(10.0f, 1000.0f), 0);
    ASSERT_EQ(SetCameraScreenCenter(200.0f, 100.0f), 0);
    const DrawSettings& s = gDrawSettings;
    for (const Row& world : {Row{1, 2, 3, 1}, Row{-50, 40, 100, 1}, Row{5, -5, -200, 1}}) {
        Row p = Transform(Transform(Transform(world, s.viewMatrix), s.projectionMatrix),
                          s.viewportAdjustMatrix);
        float point[3] = {static_cast<float>(p[0] / p[3]), static_cast<float>(p[1] / p[3]),
                          static_cast<float>(p[2] / p[3])};
        UnprojectScreenPoint(point);
        EXPECT_NEAR(point[0], world[0], 1e-2);
        EXPECT_NEAR(point[1], world[1], 1e-2);
        EXPECT_NEAR(point[2], world[2], 1e-2);
    }
}

TEST_F(CameraLightsTest, AnglesAndCullingPlanesFollowTheCamera) {
    const CameraSettings& c = gDrawSettings.camera;
    ASSERT_EQ(SetCameraPositionAndTarget(0, 10, 0, 0, 0, 0, 0, 0, 1), 0);
    EXPECT_NEAR(c.verticalAngle, -std::numbers::pi / 2, 1e-6);
    EXPECT_EQ(c.horizontalAngle, 0.0f);
    EXPECT_NEAR(c.twistAngle, 0.0, 1e-6);
    ASSERT_EQ(SetCameraPositionAndTarget(0, 0, 0, 1, 1, 1, 0, 1, 0), 0);
    EXPECT_NEAR(c.horizontalAngle, std::numbers::pi / 4, 1e-6);
    EXPECT_NEAR(c.verticalAngle, std::atan2(1.0, std::sqrt(2.0)), 1e-6);
    EXPECT_NEAR(c.twistAngle, 0.0, 1e-6);

    ASSERT_EQ(SetCameraPositionAndTarget(0, 0, -100, 0, 0, 0, 0, 1, 0), 0);
    ASSERT_EQ(SetCameraNearFar(10.0f, 1000.0f), 0);
    UpdateCullingPlanes();
    EXPECT_EQ(c.cullingPlanesStale, 0);
    auto side = [&](int plane, double x, double y, double z) {
        const float* p = c.cullingPlanes[plane];
        return p[0] * x + p[1] * y + p[2] * z + p[3];
    };
    for (int plane = 0; plane < 6; ++plane) EXPECT_GT(side(plane, 0, 0, 0), 0.0) << plane;
    EXPECT_LT(side(0, 0, 0, -95), 0.0);    // before the near plane
    EXPECT_LT(side(1, 0, 0, 1000), 0.0);   // beyond the far plane
    EXPECT_LT(side(2, -5000, 0, 0), 0.0);  // far to the left
    EXPECT_LT(side(3, 5000, 0, 0), 0.0);   // far to the right
}

TEST_F(CameraLightsTest, TheTableFillsReusesSlotsAndLowersItsHighMark) {
    ASSERT_EQ(DeleteAllLightsButDefault(), 0);
    ASSERT_EQ(gLights.count, 1);
    std::vector<int> handles;
    for (int i = 1; i < kMaxLights; ++i) handles.push_back(CreateLight());
    EXPECT_EQ(gLights.count, kMaxLights);
    EXPECT_EQ(gLights.highMark, kMaxLights);
    EXPECT_EQ(CreateLight(), -1);
    const int freed = handles[100];
    ASSERT_EQ(DeleteLight(freed), 0);
    EXPECT_EQ(DeleteLight(freed), -1);
    const int reused = CreateLight();
    EXPECT_EQ(reused & 0xFFFF, freed & 0xFFFF);
    EXPECT_NE(reused, freed);
    EXPECT_EQ(reused >> 26, kHandleKindLight);
    EXPECT_EQ(DeleteLight(freed), -1);

    // Deleting the highest slot moves the mark down over every empty slot below it.
    for (int i = 200; i < kMaxLights - 2; ++i) ASSERT_EQ(DeleteLight(handles[i]), 0);
    EXPECT_EQ(gLights.highMark, kMaxLights);
    ASSERT_EQ(DeleteLight(handles[kMaxLights - 2]), 0);
    int highest = gDrawSettings.lighting.defaultLight & 0xFFFF;
    for (int i = 0; i < 200; ++i) highest = std::max(highest, handles[i] & 0xFFFF);
    EXPECT_EQ(gLights.highMark, highest + 1);
    EXPECT_LT(gLights.highMark, 300);
    EXPECT_EQ(CreateDirectionalLight(0, 0, 0), -1);
    EXPECT_EQ(DeleteLight(-1), -1);
    EXPECT_EQ(DeleteLight(0x2C000000 | 5000), -1);
}

TEST_F(CameraLightsTest, DirectionalLightsComeFirstThenSpotThenPoint) {
    ASSERT_EQ(DeleteAllLightsButDefault(), 0);
    auto make = [](D3DLIGHTTYPE type) {
        int handle = CreateLight();
        FindLight(handle)->light.Type = type;
        return handle;
    };
    const int point = make(D3DLIGHT_POINT);
    const int spot = make(D3DLIGHT_SPOT);
    const int directional = CreateDirectionalLight(0, 0, 2);
    const int point2 = make(D3DLIGHT_POINT);
    ASSERT_EQ(ApplyLights(), 0);
    const int defaultLight = gDrawSettings.lighting.defaultLight;
    EXPECT_EQ(FindLight(defaultLight)->deviceIndex, 0);
    EXPECT_EQ(FindLight(directional)->deviceIndex, 1);
    EXPECT_EQ(FindLight(spot)->deviceIndex, 2);
    EXPECT_EQ(FindLight(point)->deviceIndex, 3);
    EXPECT_EQ(FindLight(point2)->deviceIndex, 4);
    EXPECT_FLOAT_EQ(FindLight(directional)->light.Direction.z, 1.0f);
    EXPECT_EQ(gRenderStates.lights[1].Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(gRenderStates.lights[2].Type, D3DLIGHT_SPOT);
    EXPECT_EQ(gRenderStates.lights[4].Type, D3DLIGHT_POINT);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(gRenderStates.lightEnabled[i], 1) << i;

    // Fewer lights: the indices move up and the freed device lights are switched off.
    ASSERT_EQ(DeleteLight(directional), 0);
    ASSERT_EQ(DeleteLight(spot), 0);
    ASSERT_EQ(ApplyLights(), 0);
    EXPECT_EQ(FindLight(point)->deviceIndex, 1);
    EXPECT_EQ(FindLight(point2)->deviceIndex, 2);
    EXPECT_EQ(gRenderStates.lightEnabled[3], 0);
    EXPECT_EQ(gRenderStates.lightEnabled[4], 0);
}

// A float register of usage set 0 as four floats.
std::array<float, 4> Register(int kind, int index) {
    std::array<float, 4> out{};
    std::memcpy(out.data(), gShaderConstCache.kinds[kind].sets[0].values[index], 16);
    return out;
}

TEST_F(CameraLightsTest, LightConstantsTakeSevenRegistersPerLight) {
    ASSERT_EQ(DeleteAllLightsButDefault(), 0);
    const int point = CreateLight();
    LightRecord* p = FindLight(point);
    p->light.Type = D3DLIGHT_POINT;
    p->light.Position = {10.0f, 20.0f, 30.0f};
    p->light.Ambient = {0.5f, 0.25f, 1.0f, 1.0f};
    LightingSettings& l = gDrawSettings.lighting;
    l.material.Ambient = {0.5f, 0.5f, 0.5f, 1.0f};
    l.material.Emissive = {0.125f, 0.0f, 0.0f, 0.0f};
    l.materialChanged = 1;
    ASSERT_EQ(SetCameraPositionAndTarget(0, 0, -100, 0, 0, 0, 0, 1, 0), 0);
    ASSERT_EQ(ApplyLights(), 0);
    ASSERT_EQ(p->deviceIndex, 1);

    // Light 1: ambient x material ambient at vertex 18 + 7, pixel 36 + 7 and pixel 11 + 3.
    const std::array<float, 4> ambient = {0.25f, 0.125f, 0.5f, 1.0f};
    EXPECT_EQ(Register(kShaderConstVertexFloat, 25), ambient);
    EXPECT_EQ(Register(kShaderConstPixelFloat, 43), ambient);
    EXPECT_EQ(Register(kShaderConstPixelFloat, 14), ambient);
    // The default light's ambient (0.33) at light 0's registers.
    EXPECT_FLOAT_EQ(Register(kShaderConstVertexFloat, 18)[0], 0.33f * 0.5f);
    // Position in view space (w 1) at vertex 14 + 7 and pixel 32 + 7: the camera 100 behind.
    const std::array<float, 4> position = {10.0f, 20.0f, 130.0f, 1.0f};
    EXPECT_EQ(Register(kShaderConstVertexFloat, 21), position);
    EXPECT_EQ(Register(kShaderConstPixelFloat, 39), position);
    // The default light's direction in view space (w 0) at vertex 15 and pixel 33.
    const float d = 1.0f / std::sqrt(3.0f);
    const std::array<float, 4> direction = Register(kShaderConstVertexFloat, 15);
    EXPECT_NEAR(direction[0], d, 1e-6);
    EXPECT_NEAR(direction[1], -d, 1e-6);
    EXPECT_NEAR(direction[2], d, 1e-6);
    EXPECT_EQ(direction[3], 0.0f);
    EXPECT_EQ(Register(kShaderConstPixelFloat, 33), direction);
    // Register 1: global ambient x material ambient + emissive.
    const D3DCOLOR g = gRenderStates.ambient;
    EXPECT_FLOAT_EQ(Register(kShaderConstVertexFloat, 1)[0],
                    static_cast<float>((g >> 16) & 0xFF) / 255.0f * 0.5f + 0.125f);
    EXPECT_EQ(Register(kShaderConstPixelFloat, 1), Register(kShaderConstVertexFloat, 1));
}

}  // namespace
