#include "core/vector_math.h"

#include <gtest/gtest.h>

namespace {

Matrix4x4 Filled(float start) {
    Matrix4x4 m;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) m.m[i][j] = start + static_cast<float>(i * 4 + j);
    }
    return m;
}

void ExpectMatrixNear(const Matrix4x4& a, const Matrix4x4& b, float tolerance) {
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], tolerance) << i << "," << j;
    }
}

class VectorMathTest : public ::testing::Test {
protected:
    void TearDown() override { SetProjectionScreenSize(0, 0); }
};

TEST_F(VectorMathTest, ProductsApplyTheLeftMatrixFirstAndMayOverwriteAnInput) {
    Matrix4x4 translate, scale;
    MakeIdentityMatrix(&translate);
    translate.m[3][0] = 10.0f;
    MakeIdentityMatrix(&scale);
    scale.m[0][0] = 2.0f;
    Vector3 p = {1.0f, 0.0f, 0.0f};

    Matrix4x4 both;
    MultiplyMatrices(&both, &translate, &scale);
    Vector3 out;
    TransformPoint(&out, &p, &both);
    EXPECT_FLOAT_EQ(out.x, 22.0f);  // (1 + 10) * 2

    Matrix4x4 a = Filled(1.0f), b = Filled(-3.0f), expected;
    MultiplyMatrices(&expected, &a, &b);
    EXPECT_FLOAT_EQ(expected.m[1][2], 5 * -1 + 6 * 3 + 7 * 7 + 8 * 11);
    MultiplyMatrices(&a, &a, &b);
    ExpectMatrixNear(a, expected, 0.0f);
    EXPECT_EQ(MultiplyMatrices(nullptr, &a, &b), 0);
}

TEST_F(VectorMathTest, InversionUndoesAMatrixAndRefusesANearlySingularOne) {
    Matrix4x4 m = {{{2, 0, 0, 1}, {0, 3, 1, 0}, {1, 0, 4, 0}, {5, 6, 7, 1}}};
    Matrix4x4 inverse, identity, product;
    ASSERT_EQ(InvertMatrix(&inverse, &m), 0);
    MultiplyMatrices(&product, &m, &inverse);
    MakeIdentityMatrix(&identity);
    ExpectMatrixNear(product, identity, 1e-5f);

    Matrix4x4 tiny{};
    tiny.m[0][0] = tiny.m[1][1] = tiny.m[2][2] = 1.0f;
    tiny.m[3][3] = 1e-8f;
    Matrix4x4 untouched = Filled(7.0f);
    EXPECT_EQ(InvertMatrix(&untouched, &tiny), -1);
    ExpectMatrixNear(untouched, Filled(7.0f), 0.0f);

    Matrix4x4 t;
    TransposeMatrix(&t, &m);
    EXPECT_EQ(t.m[0][3], m.m[3][0]);
    EXPECT_EQ(t.m[2][1], m.m[1][2]);
}

TEST_F(VectorMathTest, PerspectiveTakesItsDefaultAspectFromTheScreenSize) {
    const float fov = 1.0471976f;  // 60 degrees: cot(30) = sqrt(3)
    Matrix4x4 m;
    ASSERT_EQ(MakePerspectiveMatrix(&m, fov, 10.0f, 1010.0f, -1.0f), 0);
    EXPECT_NEAR(m.m[1][1], 1.7320508f, 1e-5f);
    EXPECT_NEAR(m.m[0][0], 0.75f * 1.7320508f, 1e-5f);
    EXPECT_FLOAT_EQ(m.m[2][2], 1010.0f / 1000.0f);
    EXPECT_FLOAT_EQ(m.m[2][3], 1.0f);
    EXPECT_FLOAT_EQ(m.m[3][2], -1010.0f / 1000.0f * 10.0f);
    EXPECT_EQ(m.m[3][3], 0.0f);

    SetProjectionScreenSize(320, 480);
    MakePerspectiveMatrix(&m, fov, 10.0f, 1010.0f, -1.0f);
    EXPECT_NEAR(m.m[0][0], 1.5f * 1.7320508f, 1e-5f);
    MakePerspectiveMatrix(&m, fov, 10.0f, 1010.0f, 0.0f);
    EXPECT_EQ(m.m[0][0], 0.0f);

    EXPECT_EQ(MakePerspectiveMatrix(&m, fov, 5.0f, 5.0f, 1.0f), -1);
    EXPECT_EQ(MakePerspectiveMatrix(&m, 0.0f, 1.0f, 5.0f, 1.0f), -1);
}

TEST_F(VectorMathTest, OrthographicAndViewportMatricesPlaceTheirTerms) {
    Matrix4x4 m;
    SetProjectionScreenSize(640, 480);
    ASSERT_EQ(MakeOrthographicMatrix(&m, 480.0f, 1.0f, 101.0f, -1.0f), 0);
    EXPECT_FLOAT_EQ(m.m[0][0], 2.0f / 640.0f);
    EXPECT_FLOAT_EQ(m.m[1][1], 2.0f / 480.0f);
    EXPECT_FLOAT_EQ(m.m[2][2], 1.0f / 100.0f);
    EXPECT_FLOAT_EQ(m.m[3][2], -1.0f / 100.0f);
    EXPECT_EQ(m.m[3][3], 1.0f);
    EXPECT_EQ(MakeOrthographicMatrix(&m, 480.0f, 3.0f, 3.0f, 1.0f), -1);

    MakeViewportMatrix(&m, 320.0f, 240.0f, 640.0f, 480.0f);
    Vector3 corner = {-1.0f, 1.0f, 0.5f}, out;
    TransformPoint(&out, &corner, &m);
    EXPECT_FLOAT_EQ(out.x, 0.0f);
    EXPECT_FLOAT_EQ(out.y, 0.0f);
    EXPECT_FLOAT_EQ(out.z, 0.5f);
}

TEST_F(VectorMathTest, TheViewMatrixMovesTheEyeToTheOriginLookingDownZ) {
    Vector3 eye = {3.0f, 4.0f, -10.0f}, target = {3.0f, 4.0f, 0.0f}, up = {0.0f, 1.0f, 0.0f};
    Matrix4x4 view;
    MakeViewMatrix(&view, &eye, &target, &up);
    Vector3 out;
    TransformPoint(&out, &eye, &view);
    EXPECT_NEAR(out.x, 0.0f, 1e-5f);
    EXPECT_NEAR(out.y, 0.0f, 1e-5f);
    EXPECT_NEAR(out.z, 0.0f, 1e-5f);
    TransformPoint(&out, &target, &view);
    EXPECT_NEAR(out.z, 10.0f, 1e-5f);
    Vector3 right = {4.0f, 4.0f, -10.0f};
    TransformPoint(&out, &right, &view);
    EXPECT_NEAR(out.x, 1.0f, 1e-5f);
}

TEST_F(VectorMathTest, VectorsPlanesAndTransformsOfPointsAndDirections) {
    Vector3 a = {1.0f, 2.0f, 3.0f}, b = {4.0f, 5.0f, 6.0f}, out;
    CrossVectors(&out, &a, &b);
    EXPECT_FLOAT_EQ(out.x, -3.0f);
    EXPECT_FLOAT_EQ(out.y, 6.0f);
    EXPECT_FLOAT_EQ(out.z, -3.0f);
    EXPECT_FLOAT_EQ(DotVectors(&a, &b), 32.0f);
    SubtractVectors(&out, &b, &a);
    EXPECT_FLOAT_EQ(out.z, 3.0f);
    EXPECT_EQ(MakeUnitVector(&out, 0.0f, 3.0f, 4.0f), &out);
    EXPECT_FLOAT_EQ(out.y, 0.6f);
    EXPECT_FLOAT_EQ(out.z, 0.8f);

    float plane[4];
    Vector3 point = {0.0f, 2.0f, 0.0f}, normal = {0.0f, 5.0f, 0.0f};
    MakePlaneFromPointNormal(plane, &point, &normal);
    EXPECT_FLOAT_EQ(plane[1], 1.0f);
    EXPECT_FLOAT_EQ(plane[3], -2.0f);

    Matrix4x4 m = Filled(0.0f);
    Vector3 v = {1.0f, 1.0f, 1.0f};
    Vector3 direction;
    MultiplyDirectionByMatrix(&direction, &v, &m);
    EXPECT_FLOAT_EQ(direction.x, 0 + 4 + 8);
    Vector3 moved;
    EXPECT_EQ(MultiplyPointByMatrix(&moved, &v, &m), &moved);
    EXPECT_FLOAT_EQ(moved.x, 0 + 4 + 8 + 12);
    float w;
    TransformPointWithW(&out, &w, &v, 2.0f, &m);
    EXPECT_FLOAT_EQ(out.y, 1 + 5 + 9 + 2 * 13);
    EXPECT_FLOAT_EQ(w, 3 + 7 + 11 + 2 * 15);
    TransformPoint(&v, &v, &m);
    EXPECT_FLOAT_EQ(v.z, 2 + 6 + 10 + 14);
}

TEST_F(VectorMathTest, ClippedRectanglesStayInsideTheClipAndMayBeEmpty) {
    RECT clip = {0, 0, 100, 100};
    RECT inverted = {50, 50, 10, 10};
    ClipRectInto(&inverted, &clip);
    EXPECT_EQ(inverted.left, 50);
    EXPECT_EQ(inverted.top, 50);
    EXPECT_EQ(inverted.right, 50);
    EXPECT_EQ(inverted.bottom, 50);

    RECT wide = {-20, -20, 200, 300};
    RECT screen = {0, 0, 640, 240};
    ClipRectInto(&wide, &screen);
    EXPECT_EQ(wide.left, 0);
    EXPECT_EQ(wide.top, 0);
    EXPECT_EQ(wide.right, 200);
    EXPECT_EQ(wide.bottom, 240);

    RECT outside = {700, 300, 800, 400};
    ClipRectInto(&outside, &screen);
    EXPECT_EQ(outside.left, 640);
    EXPECT_EQ(outside.right, 640);
    EXPECT_EQ(outside.top, 240);
}

}  // namespace
