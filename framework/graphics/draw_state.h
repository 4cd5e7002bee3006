// The draw state: the one record every drawing call reads (draw targets and area, blend mode
// and parameter, blend graph, bright colour, sampling, fog, the camera, material and lights,
// the graph-creation settings). Plain data at the bottom of the graphics floors; the setters
// that pass changes on to the device sit above (draw_settings, camera, lights).
#pragma once

#include <orbek/orbek.h>
#include <platform/d3d9.h>
#include <platform/win32_user.h>

#include <cstdint>

#include "core/handle_registry.h"
#include "core/vector_math.h"

struct CameraSettings {
    int32_t projectionMode;  // 0 perspective, 1 orthographic, 2 a matrix the program gave
    float nearZ, farZ;
    float fieldOfView;  // radians
    float orthoHeight;
    float aspectFactor;
    Matrix4x4 givenProjection;
    Vector3 position, target, up;
    Matrix4x4 view;
    float screenCentreX, screenCentreY;
    // The 2D camera's viewport of the whole draw target and its inverse.
    Matrix4x4 targetViewport, inverseTargetViewport;
    // Near, far, left, right, top, bottom: a, b, c, d with a x + b y + c z + d >= 0 inside.
    float cullingPlanes[6][4];
    int32_t cullingPlanesStale;
    // The inverse of view x projection x viewport adjustment, made again after each change.
    Matrix4x4 inverseScreenTransform;
    int32_t inverseStale;
    float horizontalAngle, verticalAngle, twistAngle;
};

struct LightingSettings {
    int32_t lightingOff;  // lighting is on while this is 0
    D3DMATERIAL9 material;
    int32_t materialChanged;
    int32_t lightsChanged;
    int32_t defaultLight;  // light handle
};

constexpr int32_t kLastBlendMode = BlendSubtractiveNative;

// `DrawSamplingMode`.
constexpr int32_t kSamplingPoint = 0;
constexpr int32_t kSamplingLinear = 1;
constexpr int32_t kSamplingAnisotropic = 2;

constexpr int kDrawTargetSlots = 16;

struct DepthSettings {
    int32_t enable, write, func;
    float bias;
};

// What every graph creation or load takes a snapshot of.
struct GraphCreateSettings {
    uint32_t transparentColor;  // 0x00RRGGBB
    int32_t colorBits;          // 0: the screen's
    int32_t channelBits;
    int32_t colorKeyAlpha;
    int32_t alphaChannelForEmpty;
    int32_t blendImage;
    int32_t managedPool;
    int32_t drawTarget;
    int32_t drawTargetAlpha;
    int32_t floatChannels;
    int32_t drawTargetDepth;
    int32_t channelCount;
    int32_t multisampleCount;
    int32_t multisampleQuality;
    int32_t mipLevels;       // -1 the full chain
    int32_t maxTextureSize;  // 0: the device's
    int32_t movie;
};

// How a blend graph weights what is drawn: by its value times its parameter; by a threshold and
// ramp width; by its value alone, the drawn graph's texture coming first on the device.
constexpr int32_t kBlendGraphWeighted = 0;
constexpr int32_t kBlendGraphThreshold = 1;
constexpr int32_t kBlendGraphWeightedGraphFirst = 2;

struct DrawSettings {
    GraphRestoreCallback restoreCallback;    // kept across a reset
    Handle drawTargets[kDrawTargetSlots];    // slot 0 is the draw screen
    int32_t drawX1, drawY1, drawX2, drawY2;  // the draw area, right and bottom exclusive
    float drawX1f, drawY1f, drawX2f, drawY2f;
    RECT requestedArea;  // as last given, unordered and unclamped
    int32_t targetWidth, targetHeight;
    CameraSettings camera;
    int32_t fogEnable, fogMode;
    uint32_t fogColor;  // 0xFFRRGGBB
    float fogStart, fogEnd, fogDensity;
    int32_t samplingMode;
    int32_t maxAnisotropy;
    int32_t blendMode, blendParam;
    Handle blendGraph;  // -1 for none
    // The blend image made of the blend graph, which the renderers read (blend_image.h).
    Handle blendImageGraph;
    int32_t blendGraphType;  // one of the kBlendGraph types
    int32_t blendGraphParams[2];  // type 1: threshold, ramp width
    int32_t brightRed, brightGreen, brightBlue;
    uint32_t vertexColor;          // ComputeDrawVertexColor of the current settings
    int32_t textureAddress[3][8];  // U, V, W per stage
    GraphCreateSettings graphCreate;
    int32_t ignoreChanges;  // setters return 0 without change
    int32_t emptyDrawArea;  // drawing calls return 0 without drawing
    int32_t ignoreTextureColor;
    int32_t filterPassAlpha;
    int32_t alphaTestFunc, alphaTestRef;  // -1: the blend mode decides
    DepthSettings depth2D, depth3D;
    int32_t fillMode;
    float z2D;
    int32_t cullMode;
    int32_t specularEnable;
    Handle zBufferGraph;
    Matrix4x4 worldMatrix, viewMatrix, projectionMatrix;
    Matrix4x4 viewportAdjustMatrix, drawAreaAdjustMatrix;
    LightingSettings lighting;  // kept across a reset
};
extern DrawSettings gDrawSettings;

// Besides kBackScreen and kFrontScreen (the back buffer, shown on the window every 32 ms):
// accepted as the back buffer; they keep the target size they find.
constexpr int kBackScreenAlias3 = -3;
constexpr int kBackScreenAlias5 = -5;

// 1 for the screen ids (not a graph).
int IsScreenId(int screen);
// The current draw target of slot 0.
int GetDrawScreen();
