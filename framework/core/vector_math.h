// Vector and matrix maths for the 3D side (camera, projection, viewport, lights) and the
// rectangle clip that every clipping drawer uses. Points are row vectors: p' = (x, y, z, 1) x M,
// so the translation is the fourth row and A x B applies A first.
#pragma once

#include <platform/win32_user.h>

struct Vector3 {
    float x, y, z;
};

// Four rows of four, row by row.
struct Matrix4x4 {
    float m[4][4];
};

// The screen size behind the default aspect (height / width; 0.75 while either is 0).
void SetProjectionScreenSize(int width, int height);

int MakeIdentityMatrix(Matrix4x4* out);
// out = a x b, computed aside so that out may be a or b; a null out does nothing.
int MultiplyMatrices(Matrix4x4* out, const Matrix4x4* a, const Matrix4x4* b);
int TransposeMatrix(Matrix4x4* out, const Matrix4x4* in);
// -1 with out untouched when the determinant lies within 1e-7 of zero.
int InvertMatrix(Matrix4x4* out, const Matrix4x4* in);
// aspect < 0 takes the default aspect. -1 when far and near nearly meet or the field of view
// is nearly zero.
int MakePerspectiveMatrix(Matrix4x4* out, float fovY, float nearZ, float farZ, float aspect);
int MakeOrthographicMatrix(Matrix4x4* out, float viewHeight, float nearZ, float farZ, float aspect);
int MakeViewportMatrix(Matrix4x4* out, float centreX, float centreY, float width, float height);
int MakeViewMatrix(Matrix4x4* out, const Vector3* eye, const Vector3* target, const Vector3* up);
// plane = (n, -(n . point)) with n the normal made unit length.
int MakePlaneFromPointNormal(float plane[4], const Vector3* point, const Vector3* normal);

int NormalizeVector(Vector3* out, const Vector3* in);
Vector3* MakeUnitVector(Vector3* out, float x, float y, float z);
int SubtractVectors(Vector3* out, const Vector3* a, const Vector3* b);
int CrossVectors(Vector3* out, const Vector3* a, const Vector3* b);
float DotVectors(const Vector3* a, const Vector3* b);

// (v, 1) x m without the division by w; out may be v.
int TransformPoint(Vector3* out, const Vector3* v, const Matrix4x4* m);
// (v, w) x m, all four columns.
int TransformPointWithW(Vector3* out, float* outW, const Vector3* v, float w, const Matrix4x4* m);
// As TransformPoint; out must not be in.
Vector3* MultiplyPointByMatrix(Vector3* out, const Vector3* in, const Matrix4x4* m);
// in x the upper 3 x 3 of m; out must not be in.
Vector3* MultiplyDirectionByMatrix(Vector3* out, const Vector3* in, const Matrix4x4* m);

// Clips rect (right and bottom exclusive) into clip; the result may be empty.
int ClipRectInto(RECT* rect, const RECT* clip);
