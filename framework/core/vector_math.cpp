// Single-precision vector and matrix operations over row vectors, the default projection
// aspect that follows the screen size, and the integer rectangle clip.
#include "core/vector_math.h"

#include <algorithm>
#include <cmath>

namespace {

struct VectorMathState {
    int projectionWidth;
    int projectionHeight;
};

VectorMathState gVectorMath = {0, 0};

float DefaultAspect() {
    if (gVectorMath.projectionWidth == 0 || gVectorMath.projectionHeight == 0) return 0.75f;
    return static_cast<float>(gVectorMath.projectionHeight) /
           static_cast<float>(gVectorMath.projectionWidth);
}

// The determinant of the 3 x 3 matrix left when row r and column c are struck out.
float Minor(const Matrix4x4& a, int r, int c) {
    float k[3][3];
    for (int i = 0, y = 0; i < 4; ++i) {
        if (i == r) continue;
        for (int j = 0, x = 0; j < 4; ++j) {
            if (j == c) continue;
            k[y][x++] = a.m[i][j];
        }
        ++y;
    }
    return k[0][0] * (k[1][1] * k[2][2] - k[1][2] * k[2][1]) -
           k[0][1] * (k[1][0] * k[2][2] - k[1][2] * k[2][0]) +
           k[0][2] * (k[1][0] * k[2][1] - k[1][1] * k[2][0]);
}

}  // namespace

void SetProjectionScreenSize(int width, int height) {
    gVectorMath.projectionWidth = width;
    gVectorMath.projectionHeight = height;
}

int MakeIdentityMatrix(Matrix4x4* out) {
    *out = Matrix4x4{};
    for (int i = 0; i < 4; ++i) out->m[i][i] = 1.0f;
    return 0;
}

int MultiplyMatrices(Matrix4x4* out, const Matrix4x4* a, const Matrix4x4* b) {
    if (out == nullptr) return 0;
    Matrix4x4 product;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            product.m[i][j] = a->m[i][0] * b->m[0][j] + a->m[i][1] * b->m[1][j] +
                              a->m[i][2] * b->m[2][j] + a->m[i][3] * b->m[3][j];
        }
    }
    *out = product;
    return 0;
}

int TransposeMatrix(Matrix4x4* out, const Matrix4x4* in) {
    Matrix4x4 t;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) t.m[i][j] = in->m[j][i];
    }
    *out = t;
    return 0;
}

int InvertMatrix(Matrix4x4* out, const Matrix4x4* in) {
    float cofactor[4][4];
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            float minor = Minor(*in, i, j);
            cofactor[i][j] = ((i + j) & 1) != 0 ? -minor : minor;
        }
    }
    float det = 0.0f;
    for (int j = 0; j < 4; ++j) det += in->m[0][j] * cofactor[0][j];
    if (det > -1e-7f && det < 1e-7f) return -1;
    // The inverse is the adjugate (the transposed cofactors) over the determinant.
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) out->m[i][j] = cofactor[j][i] / det;
    }
    return 0;
}

int MakePerspectiveMatrix(Matrix4x4* out, float fovY, float nearZ, float farZ, float aspect) {
    float sine = std::sin(fovY * 0.5f);
    float cosine = std::cos(fovY * 0.5f);
    if (std::fabs(farZ - nearZ) < 1e-4f || std::fabs(sine) < 1e-4f) return -1;
    if (aspect < 0.0f) aspect = DefaultAspect();
    float c = cosine / sine;
    float q = farZ / (farZ - nearZ);
    *out = Matrix4x4{};
    out->m[0][0] = aspect * c;
    out->m[1][1] = c;
    out->m[2][2] = q;
    out->m[2][3] = 1.0f;
    out->m[3][2] = -q * nearZ;
    return 0;
}

int MakeOrthographicMatrix(Matrix4x4* out, float viewHeight, float nearZ, float farZ,
                           float aspect) {
    if (std::fabs(nearZ - farZ) < 1e-4f) return -1;
    if (aspect < 0.0f) aspect = DefaultAspect();
    *out = Matrix4x4{};
    out->m[0][0] = 2.0f / (viewHeight / aspect);
    out->m[1][1] = 2.0f / viewHeight;
    out->m[2][2] = 1.0f / (farZ - nearZ);
    out->m[3][2] = nearZ / (nearZ - farZ);
    out->m[3][3] = 1.0f;
    return 0;
}

int MakeViewportMatrix(Matrix4x4* out, float centreX, float centreY, float width, float height) {
    *out = Matrix4x4{};
    out->m[0][0] = width * 0.5f;
    out->m[1][1] = -height * 0.5f;
    out->m[2][2] = 1.0f;
    out->m[3][3] = 1.0f;
    out->m[3][0] = centreX;
    out->m[3][1] = centreY;
    return 0;
}

int MakeViewMatrix(Matrix4x4* out, const Vector3* eye, const Vector3* target, const Vector3* up) {
    Vector3 z, x, y;
    SubtractVectors(&z, target, eye);
    CrossVectors(&x, up, &z);
    CrossVectors(&y, &z, &x);
    NormalizeVector(&x, &x);
    NormalizeVector(&y, &y);
    NormalizeVector(&z, &z);
    *out = Matrix4x4{{{x.x, y.x, z.x, 0.0f},
                      {x.y, y.y, z.y, 0.0f},
                      {x.z, y.z, z.z, 0.0f},
                      {-DotVectors(&x, eye), -DotVectors(&y, eye), -DotVectors(&z, eye), 1.0f}}};
    return 0;
}

int MakePlaneFromPointNormal(float plane[4], const Vector3* point, const Vector3* normal) {
    Vector3 n;
    NormalizeVector(&n, normal);
    plane[0] = n.x;
    plane[1] = n.y;
    plane[2] = n.z;
    plane[3] = -DotVectors(&n, point);
    return 0;
}

int NormalizeVector(Vector3* out, const Vector3* in) {
    float length = std::sqrt(in->x * in->x + in->y * in->y + in->z * in->z);
    *out = {in->x / length, in->y / length, in->z / length};
    return 0;
}

Vector3* MakeUnitVector(Vector3* out, float x, float y, float z) {
    Vector3 v = {x, y, z};
    NormalizeVector(out, &v);
    return out;
}

int SubtractVectors(Vector3* out, const Vector3* a, const Vector3* b) {
    *out = {a->x - b->x, a->y - b->y, a->z - b->z};
    return 0;
}

int CrossVectors(Vector3* out, const Vector3* a, const Vector3* b) {
    *out = {a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x};
    return 0;
}

float DotVectors(const Vector3* a, const Vector3* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z;
}

int TransformPoint(Vector3* out, const Vector3* v, const Matrix4x4* m) {
    Vector3 in = *v;
    MultiplyPointByMatrix(out, &in, m);
    return 0;
}

int TransformPointWithW(Vector3* out, float* outW, const Vector3* v, float w, const Matrix4x4* m) {
    Vector3 in = *v;
    const float(*k)[4] = m->m;
    *out = {in.x * k[0][0] + in.y * k[1][0] + in.z * k[2][0] + w * k[3][0],
            in.x * k[0][1] + in.y * k[1][1] + in.z * k[2][1] + w * k[3][1],
            in.x * k[0][2] + in.y * k[1][2] + in.z * k[2][2] + w * k[3][2]};
    *outW = in.x * k[0][3] + in.y * k[1][3] + in.z * k[2][3] + w * k[3][3];
    return 0;
}

Vector3* MultiplyPointByMatrix(Vector3* out, const Vector3* in, const Matrix4x4* m) {
    MultiplyDirectionByMatrix(out, in, m);
    out->x += m->m[3][0];
    out->y += m->m[3][1];
    out->z += m->m[3][2];
    return out;
}

Vector3* MultiplyDirectionByMatrix(Vector3* out, const Vector3* in, const Matrix4x4* m) {
    const float(*k)[4] = m->m;
    out->x = in->x * k[0][0] + in->y * k[1][0] + in->z * k[2][0];
    out->y = in->x * k[0][1] + in->y * k[1][1] + in->z * k[2][1];
    out->z = in->x * k[0][2] + in->y * k[1][2] + in->z * k[2][2];
    return out;
}

int ClipRectInto(RECT* rect, const RECT* clip) {
    rect->right = std::max(rect->right, rect->left);
    rect->bottom = std::max(rect->bottom, rect->top);
    rect->bottom = std::clamp(rect->bottom, clip->top, std::max(clip->top, clip->bottom));
    rect->top = std::clamp(rect->top, clip->top, std::max(clip->top, clip->bottom));
    rect->right = std::clamp(rect->right, clip->left, std::max(clip->left, clip->right));
    rect->left = std::clamp(rect->left, clip->left, std::max(clip->left, clip->right));
    return 0;
}
