// The draw settings, their reset and their setters; each change reaches the software
// renderer's draw state and, in Direct3D mode, the device through the render-state cache.
#include "graphics/draw_settings.h"

#include <algorithm>
#include <iterator>

#include "core/shell_hooks.h"
#include "graphics/blend_image.h"
#include "graphics/camera.h"
#include "graphics/d3d_device.h"
#include "graphics/device_transforms.h"
#include "graphics/draw_state.h"
#include "graphics/graph_records.h"
#include "graphics/masks.h"
#include "graphics/pixel_format_table.h"
#include "graphics/render_state_cache.h"
#include "graphics/screen_state.h"
#include "graphics/software_screen.h"
#include "graphics/vertex_batch.h"
#include "softrender/mem_img.h"

namespace {

constexpr float kDefaultFogEnd = 1500.0f;
constexpr uint32_t kOpaque = 0xFF000000;

int ClampByte(int value) {
    return std::clamp(value, 0, 255);
}

const ColorFormat* ScreenColorFormat() {
    bool sixteen = QueryColorBitDepth() == 16;
    if (IsDirect3DMode()) {
        return ColorFormatOfD3DFormat(sixteen ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8);
    }
    return GetMemImgColorFormat(sixteen ? kMemImgRgb565 : kMemImgXrgb8888, 0, 0);
}

void UpdateVertexColor() {
    if (IsDirect3DMode()) gDrawSettings.vertexColor = ComputeDrawVertexColor();
}

// The size of the current draw target; false when it has none.
bool TargetSize(int* width, int* height) {
    const DrawSettings& s = gDrawSettings;
    Handle target = s.drawTargets[0];
    if (target == kBackScreenAlias3 || target == kBackScreenAlias5) {
        *width = s.targetWidth;
        *height = s.targetHeight;
        return true;
    }
    if (target != kBackScreen && target != kFrontScreen && !IsGraphReady(target)) return false;
    return QueryGraphSize(target, width, height) == 0;
}

}  // namespace

int ResetDrawSettings() {
    DrawSettings& s = gDrawSettings;
    DrawSettings kept = s;
    s = DrawSettings{};
    s.restoreCallback = kept.restoreCallback;
    s.lighting = kept.lighting;
    ClearMaskDrawing();
    // The creation choices a program makes once, before it loads anything.
    s.graphCreate.transparentColor = kept.graphCreate.transparentColor;
    s.graphCreate.colorBits = kept.graphCreate.colorBits;
    s.graphCreate.mipLevels = kept.graphCreate.mipLevels;
    s.graphCreate.maxTextureSize = kept.graphCreate.maxTextureSize;
    s.graphCreate.colorKeyAlpha = 1;
    s.graphCreate.managedPool = 1;

    for (auto& axis : s.textureAddress) std::fill(std::begin(axis), std::end(axis), 3);
    s.blendGraph = -1;
    // Gone already when the graphs went before the reset; nothing else holds it.
    DisposeGraph(kept.blendImageGraph);
    s.blendImageGraph = -1;
    gSoftwareScreen.blendImage = nullptr;
    s.alphaTestFunc = -1;
    s.maxAnisotropy = 1;
    s.zBufferGraph = kBackScreen;
    MakeIdentityMatrix(&s.worldMatrix);
    MakeIdentityMatrix(&s.viewMatrix);
    MakeIdentityMatrix(&s.projectionMatrix);
    MakeIdentityMatrix(&s.viewportAdjustMatrix);
    MakeIdentityMatrix(&s.drawAreaAdjustMatrix);
    SetMemImgBlendMode(BlendOpaque, 0);
    SetDrawBright(255, 255, 255);
    s.fogMode = D3DFOG_LINEAR;
    s.fogColor = 0xFFFFFFFF;
    s.fogStart = 0.0f;
    s.fogEnd = kDefaultFogEnd;
    ResetCameraSettings();

    std::fill(std::begin(s.drawTargets), std::end(s.drawTargets), -1);
    s.drawTargets[0] = kBackScreen;
    SelectDrawScreen(kFrontScreen);
    int width = 0, height = 0;
    QueryGraphSize(s.drawTargets[0], &width, &height);
    SetDrawRegion(0, 0, width, height);
    s.ignoreChanges = 0;
    UpdateVertexColor();
    return 0;
}

int ChangeBlendMode(int mode, int param) {
    DrawSettings& s = gDrawSettings;
    param = ClampByte(param);
    if (s.ignoreChanges || (mode == s.blendMode && param == s.blendParam)) return 0;
    // Modes index the blend-state table; anything else would read past it.
    if (mode < BlendOpaque || mode > kLastBlendMode) return -1;
    WaitWhileInactive();
    s.blendMode = mode;
    s.blendParam = param;
    SetMemImgBlendMode(mode, param);
    UpdateVertexColor();
    return 0;
}

int SetDrawBright(int red, int green, int blue) {
    DrawSettings& s = gDrawSettings;
    red = ClampByte(red), green = ClampByte(green), blue = ClampByte(blue);
    if (red == s.brightRed && green == s.brightGreen && blue == s.brightBlue) return 0;
    ApplyBrightColorValue(static_cast<uint32_t>(red << 16 | green << 8 | blue));
    return 0;
}

void ApplyBrightColorValue(uint32_t rgb) {
    DrawSettings& s = gDrawSettings;
    s.brightRed = static_cast<int32_t>((rgb >> 16) & 0xFF);
    s.brightGreen = static_cast<int32_t>((rgb >> 8) & 0xFF);
    s.brightBlue = static_cast<int32_t>(rgb & 0xFF);
    SetMemImgBright(rgb & 0xFFFFFF);
    UpdateVertexColor();
}

ScreenColor PackScreenColor(int red, int green, int blue) {
    return PackColorForFormat(ScreenColorFormat(), red & 0xFF, green & 0xFF, blue & 0xFF, 255);
}

int UnpackScreenColor(ScreenColor color, int* red, int* green, int* blue) {
    return UnpackColorForFormat(ScreenColorFormat(), color, red, green, blue, nullptr);
}

float* MakeColorValue(float* out, float red, float green, float blue, float alpha) {
    out[0] = red;
    out[1] = green;
    out[2] = blue;
    out[3] = alpha;
    return out;
}

int IsGraphReady(Handle graph) {
    return GetGraphRecord(graph, 0) != nullptr ? 1 : 0;
}

int SetDrawRegion(int x1, int y1, int x2, int y2) {
    DrawSettings& s = gDrawSettings;
    if (s.ignoreChanges) return 0;
    EndPendingMaskDrawArea();
    s.requestedArea = {x1, y1, x2, y2};
    int width = 0, height = 0;
    if (!TargetSize(&width, &height)) return -1;
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    s.drawX1 = std::clamp(x1, 0, width);
    s.drawX2 = std::clamp(x2, 0, width);
    s.drawY1 = std::clamp(y1, 0, height);
    s.drawY2 = std::clamp(y2, 0, height);
    s.drawX1f = static_cast<float>(s.drawX1);
    s.drawY1f = static_cast<float>(s.drawY1);
    s.drawX2f = static_cast<float>(s.drawX2);
    s.drawY2f = static_cast<float>(s.drawY2);
    RECT area = {s.drawX1, s.drawY1, s.drawX2, s.drawY2};
    SetMemImgDrawArea(&area);
    int areaWidth = s.drawX2 - s.drawX1, areaHeight = s.drawY2 - s.drawY1;
    if (areaWidth == 0 || areaHeight == 0) {
        s.emptyDrawArea = 1;
        return 0;
    }
    s.emptyDrawArea = 0;
    if (!IsDirect3DMode()) return 0;
    if (!HasDirect3DDevice()) return -1;
    D3DVIEWPORT9 viewport = {static_cast<DWORD>(s.drawX1),
                             static_cast<DWORD>(s.drawY1),
                             static_cast<DWORD>(areaWidth),
                             static_cast<DWORD>(areaHeight),
                             0.0f,
                             1.0f};
    ApplyViewport(&viewport);
    ApplyScissorRect(&area);
    // Projected points keep their place on the target when the viewport narrows to the area.
    Matrix4x4 areaViewport, inverse;
    MakeViewportMatrix(&areaViewport, s.drawX1f + static_cast<float>(areaWidth) * 0.5f,
                       s.drawY1f + static_cast<float>(areaHeight) * 0.5f,
                       static_cast<float>(areaWidth), static_cast<float>(areaHeight));
    InvertMatrix(&inverse, &areaViewport);
    SetDrawAreaAdjustMatrix(&inverse);
    return 0;
}

int SetDrawSamplingMode(int mode) {
    DrawSettings& s = gDrawSettings;
    if (s.ignoreChanges || mode == s.samplingMode) return 0;
    if (mode < kSamplingPoint || mode > kSamplingAnisotropic) return -1;
    s.samplingMode = mode;
    if (IsDirect3DMode()) ApplyTextureFilterMode(mode);
    return 0;
}

int SetFogMode(int mode) {
    DrawSettings& s = gDrawSettings;
    bool direct3D = IsDirect3DMode() && HasDirect3DDevice();
    if (s.fogMode == mode && (!direct3D || gRenderStates.fogMode == mode)) return 0;
    FlushVertexBatchNow();
    s.fogMode = mode;
    if (direct3D) SetCachedFogMode(mode);
    return 0;
}

int SetFogColor(int red, int green, int blue) {
    DrawSettings& s = gDrawSettings;
    uint32_t color = kOpaque | static_cast<uint32_t>(ClampByte(red)) << 16 |
                     static_cast<uint32_t>(ClampByte(green)) << 8 |
                     static_cast<uint32_t>(ClampByte(blue));
    bool direct3D = IsDirect3DMode() && HasDirect3DDevice();
    if (s.fogColor == color && (!direct3D || gRenderStates.fogColor == color)) return 0;
    FlushVertexBatchNow();
    s.fogColor = color;
    if (direct3D) SetCachedFogColor(color);
    return 0;
}

int SetFogStartEnd(float start, float end) {
    DrawSettings& s = gDrawSettings;
    bool direct3D = IsDirect3DMode() && HasDirect3DDevice();
    if (s.fogStart == start && s.fogEnd == end &&
        (!direct3D || (gRenderStates.fogStart == start && gRenderStates.fogEnd == end))) {
        return 0;
    }
    FlushVertexBatchNow();
    s.fogStart = start;
    s.fogEnd = end;
    if (direct3D) SetCachedFogRange(start, end);
    return 0;
}

int SetBlendGraph(Handle graph, int type, int param1, int param2) {
    DrawSettings& s = gDrawSettings;
    // The type indexes the device's blend stage sets and shaders.
    if (type < kBlendGraphWeighted || type > kBlendGraphWeightedGraphFirst) return -1;
    if (graph != -1 && GetGraphRecord(graph, 0) == nullptr) return -1;
    WaitWhileInactive();
    Handle previous = s.blendImageGraph;
    Handle image = -1;
    if (graph != -1) {
        image = MakeBlendImageOfGraph(graph, previous);
        if (image == -1) return -1;
    }
    s.blendGraph = graph;
    s.blendImageGraph = image;
    s.blendGraphType = type;
    s.blendGraphParams[0] = ClampByte(param1);
    s.blendGraphParams[1] = type == kBlendGraphThreshold ? ClampByte(param2) : 0;
    const GraphRecord* record = image != -1 ? GetGraphRecord(image, 0) : nullptr;
    if (!IsDirect3DMode()) {
        if (type == kBlendGraphThreshold) {
            SetBlendGraphThresholds(s.blendGraphParams[0], s.blendGraphParams[1]);
        } else {
            SetBlendGraphWeights(type == kBlendGraphWeighted ? s.blendGraphParams[0] : 255);
        }
        gSoftwareScreen.blendImage = record != nullptr ? &record->image : nullptr;
    } else if (HasDirect3DDevice()) {
        IDirect3DTexture9* texture = record != nullptr ? GetGraphFirstTexture(record) : nullptr;
        if (texture != nullptr) {
            const TexturePiece& piece = record->textureInfo->pieces[0];
            SelectBlendTexture(texture, piece.texWidth, piece.texHeight);
            SetPendingBlendGraphParams(type, s.blendGraphParams[0], s.blendGraphParams[1]);
        } else if (Handle unread = DropBlendGraph(); unread != previous) {
            DisposeGraph(unread);
        }
    }
    // Let go only now that nothing selects it any more.
    if (previous != -1 && previous != s.blendImageGraph) DisposeGraph(previous);
    return IsDirect3DMode() && !HasDirect3DDevice() ? -1 : 0;
}

Handle DropBlendGraph() {
    DrawSettings& s = gDrawSettings;
    Handle image = s.blendImageGraph;
    s.blendGraph = s.blendImageGraph = -1;
    gSoftwareScreen.blendImage = nullptr;
    SelectBlendTexture(nullptr, 0, 0);
    SetPendingBlendGraphParams(-1, 0, 0);
    return image;
}

int AttachBlendGraph(Handle graph, int threshold, int width) {
    return SetBlendGraph(graph, 1, threshold, width);
}

int SwitchVSyncWait(int wait) {
    gScreen.noVSyncWait = wait ? 0 : 1;
    return 0;
}

int IsVSyncWaitOn() {
    return gScreen.noVSyncWait ? 0 : 1;
}

int HasGraphRestoreHandler() {
    return gDrawSettings.restoreCallback != nullptr ? 1 : 0;
}

int GetDrawSamplingMode() {
    return gDrawSettings.samplingMode;
}

Handle GetSelectedDrawScreen() {
    return gDrawSettings.drawTargets[0];
}
