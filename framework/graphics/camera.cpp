// The camera of the draw settings and the transforms it gives, its culling planes and angles;
// the material.
#include "graphics/camera.h"

#include <cmath>

#include "graphics/device_transforms.h"
#include "graphics/draw_state.h"
#include "graphics/lights.h"
#include "graphics/render_state_cache.h"
#include "graphics/vertex_batch.h"

namespace {

constexpr float kDefaultNear = 10.0f;
constexpr float kDefaultFar = 10000.0f;
constexpr float kDefaultFieldOfView = 1.0471976f;
constexpr float kMaterialPower = 20.0f;

CameraSettings& Camera() {
    return gDrawSettings.camera;
}

}  // namespace

void ResetCameraSettings() {
    DrawSettings& s = gDrawSettings;
    s.depth2D = {0, 0, D3DCMP_LESSEQUAL, 0.0f};
    s.depth3D = {0, 0, D3DCMP_LESSEQUAL, 0.0f};
    s.fillMode = D3DFILL_SOLID;
    s.z2D = 0.2f;
    s.lighting.lightsChanged = 1;
    // A reset replaces the default light rather than adding one more.
    if (FindLight(s.lighting.defaultLight) != nullptr) DeleteLight(s.lighting.defaultLight);
    s.lighting.defaultLight = CreateDirectionalLight(1.0f, -1.0f, 1.0f);

    CameraSettings& c = Camera();
    c.projectionMode = 0;
    c.aspectFactor = 1.0f;
    c.nearZ = kDefaultNear;
    c.farZ = kDefaultFar;
    c.fieldOfView = kDefaultFieldOfView;
    c.orthoHeight = 1.0f;
    MakeIdentityMatrix(&c.givenProjection);

    D3DMATERIAL9& m = s.lighting.material;
    m = D3DMATERIAL9{};
    m.Diffuse = {0.8f, 0.8f, 0.8f, 1.0f};
    m.Specular = {0.8f, 0.8f, 0.8f, 0.0f};
    m.Power = kMaterialPower;
    s.lighting.materialChanged = 1;
}

int SetCameraPositionAndTarget(float x, float y, float z, float targetX, float targetY,
                               float targetZ, float upX, float upY, float upZ) {
    CameraSettings& c = Camera();
    c.position = {x, y, z};
    c.target = {targetX, targetY, targetZ};
    Vector3 direction, side, up = {upX, upY, upZ};
    SubtractVectors(&direction, &c.target, &c.position);
    CrossVectors(&side, &direction, &up);
    CrossVectors(&up, &side, &direction);
    // An up vector along the viewing direction leaves no up to make: the last one is kept.
    if (DotVectors(&up, &up) > 0.0f) NormalizeVector(&c.up, &up);
    MakeViewMatrix(&c.view, &c.position, &c.target, &c.up);
    SetViewMatrix(&c.view);
    ComputeCameraAngles();
    return 0;
}

void ComputeCameraAngles() {
    CameraSettings& c = Camera();
    const Matrix4x4& v = c.view;
    // The camera's axes are the view matrix's columns.
    Vector3 forward = {v.m[0][2], v.m[1][2], v.m[2][2]};
    Vector3 up = {v.m[0][1], v.m[1][1], v.m[2][1]};
    const float halfPi = 1.5707963f;
    float horizontal = 0.0f;
    float vertical;
    if (std::fabs(forward.x) < 1e-8f && std::fabs(forward.z) < 1e-8f) {
        vertical = forward.y < 0.0f ? -halfPi : halfPi;
    } else {
        horizontal = std::atan2(forward.x, forward.z);
        vertical = std::atan2(forward.y, std::sqrt(forward.x * forward.x + forward.z * forward.z));
    }
    // The untwisted up and right axes at these two angles; the twist turns up about forward.
    float sh = std::sin(horizontal), ch = std::cos(horizontal);
    float sv = std::sin(vertical), cv = std::cos(vertical);
    Vector3 plainUp = {-sh * sv, cv, -ch * sv};
    Vector3 plainRight = {ch, 0.0f, -sh};
    c.horizontalAngle = horizontal;
    c.verticalAngle = vertical;
    c.twistAngle = std::atan2(-DotVectors(&up, &plainRight), DotVectors(&up, &plainUp));
}

int SetCameraProjectionMatrix(const Matrix4x4* matrix) {
    Camera().projectionMode = 2;
    Camera().givenProjection = *matrix;
    return UpdateCameraProjection();
}

int SetCameraNearFar(float nearZ, float farZ) {
    Camera().nearZ = nearZ;
    Camera().farZ = farZ;
    return UpdateCameraProjection();
}

int SetCameraFieldOfView(float radians) {
    Camera().projectionMode = 0;
    Camera().fieldOfView = radians;
    return UpdateCameraProjection();
}

int SetCameraAspectFactor(float factor) {
    Camera().aspectFactor = factor;
    return UpdateCameraProjection();
}

int SetCameraScreenCenter(float x, float y) {
    CameraSettings& c = Camera();
    c.screenCentreX = x;
    c.screenCentreY = y;
    Matrix4x4 adjust;
    MakeViewportMatrix(&adjust, x, y,
                       static_cast<float>(gDrawSettings.targetWidth) * c.aspectFactor,
                       static_cast<float>(gDrawSettings.targetHeight) * c.aspectFactor);
    return SetViewportAdjustMatrix(&adjust);
}

int UpdateCameraProjection() {
    const CameraSettings& c = Camera();
    const DrawSettings& s = gDrawSettings;
    float aspect = s.targetWidth > 0 ? static_cast<float>(s.targetHeight) /
                                           static_cast<float>(s.targetWidth) * c.aspectFactor
                                     : c.aspectFactor;
    Matrix4x4 projection = c.givenProjection;
    int made = 0;
    if (c.projectionMode == 0) {
        made = MakePerspectiveMatrix(&projection, c.fieldOfView, c.nearZ, c.farZ, aspect);
    } else if (c.projectionMode == 1) {
        made = MakeOrthographicMatrix(&projection, c.orthoHeight, c.nearZ, c.farZ, aspect);
    }
    if (made == -1) return -1;
    return SetProjectionMatrix(&projection);
}

void UnprojectScreenPoint(float point[3]) {
    CameraSettings& c = Camera();
    const DrawSettings& s = gDrawSettings;
    if (c.inverseStale) {
        Matrix4x4 forward;
        MultiplyMatrices(&forward, &s.viewMatrix, &s.projectionMatrix);
        MultiplyMatrices(&forward, &forward, &s.viewportAdjustMatrix);
        if (InvertMatrix(&c.inverseScreenTransform, &forward) == -1) {
            MakeIdentityMatrix(&c.inverseScreenTransform);
        }
        c.inverseStale = 0;
    }
    Vector3 in = {point[0], point[1], point[2]}, out;
    float w = 1.0f;
    TransformPointWithW(&out, &w, &in, 1.0f, &c.inverseScreenTransform);
    if (w != 0.0f) {
        out.x /= w;
        out.y /= w;
        out.z /= w;
    }
    point[0] = out.x;
    point[1] = out.y;
    point[2] = out.z;
}

void UpdateCullingPlanes() {
    CameraSettings& c = Camera();
    if (!c.cullingPlanesStale) return;
    // The corners of the clip-space box (x and y -1 or 1, z 0 or 1) on the screen, then in the
    // world: index bit 0 right, bit 1 top, bit 2 far.
    Vector3 corners[8];
    Vector3 centre = {0.0f, 0.0f, 0.0f};
    for (int i = 0; i < 8; ++i) {
        Vector3 clip = {i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? 1.0f : 0.0f};
        Vector3 screen;
        MultiplyPointByMatrix(&screen, &clip, &gDrawSettings.viewportAdjustMatrix);
        float point[3] = {screen.x, screen.y, screen.z};
        UnprojectScreenPoint(point);
        corners[i] = {point[0], point[1], point[2]};
        centre = {centre.x + point[0] / 8, centre.y + point[1] / 8, centre.z + point[2] / 8};
    }
    // Three corners of each face: near, far, left, right, top, bottom.
    static constexpr int kFaces[6][3] = {{0, 1, 2}, {4, 6, 5}, {0, 2, 4},
                                         {1, 5, 3}, {2, 3, 6}, {0, 4, 1}};
    for (int f = 0; f < 6; ++f) {
        const Vector3& a = corners[kFaces[f][0]];
        Vector3 ab, ac, normal, toCentre;
        SubtractVectors(&ab, &corners[kFaces[f][1]], &a);
        SubtractVectors(&ac, &corners[kFaces[f][2]], &a);
        CrossVectors(&normal, &ab, &ac);
        // Facing inwards whatever the handedness of the matrices.
        SubtractVectors(&toCentre, &centre, &a);
        if (DotVectors(&normal, &toCentre) < 0.0f) normal = {-normal.x, -normal.y, -normal.z};
        MakePlaneFromPointNormal(c.cullingPlanes[f], &a, &normal);
    }
    c.cullingPlanesStale = 0;
}

int SwitchZBufferUse(int use) {
    int32_t value = use ? 1 : 0;
    if (gDrawSettings.depth3D.enable != value) FlushVertexBatchNow();
    gDrawSettings.depth3D.enable = value;
    return 0;
}
