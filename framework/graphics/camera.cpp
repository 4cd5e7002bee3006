// The camera of the draw settings and the transforms it gives; the material. Stands in for the
// light table until it exists: there are no lights, so creating the default light gives no
// handle and there is nothing to delete or send.
#include "graphics/camera.h"

#include "graphics/device_transforms.h"
#include "graphics/draw_settings.h"
#include "graphics/render_state_cache.h"

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
    NormalizeVector(&c.up, &up);
    MakeViewMatrix(&c.view, &c.position, &c.target, &c.up);
    return SetViewMatrix(&c.view);
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

void MarkCullingPlanesStale() {
    Camera().cullingPlanesStale = 1;
}

int CreateDirectionalLight(float x, float y, float z) {
    return -1;
}

int DeleteLight(int light) {
    return -1;
}

int DeleteAllLightsButDefault() {
    return 0;
}

int ApplyLights() {
    LightingSettings& l = gDrawSettings.lighting;
    SetCachedLighting(l.lightingOff == 0 ? 1 : 0);
    if (l.materialChanged != 0 && SetCachedMaterial(&l.material) == 0) l.materialChanged = 0;
    l.lightsChanged = 0;
    return 0;
}

void MarkLightsForResend() {
    gDrawSettings.lighting.lightsChanged = 1;
}
