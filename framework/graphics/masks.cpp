// The mask screen is sized to cover both the output and the back buffer, and every bracket
// rectangle is clamped to it as well as to the draw area, so a target larger than the mask is
// composed only where the mask reaches. Nothing in the program writes mask bytes; the device's
// mask texture takes them over for the rectangle of each composition.
#include "graphics/masks.h"

#include <algorithm>
#include <cstring>

#include "core/fatal_error.h"
#include "core/tracked_memory.h"
#include "core/vector_math.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/device_resources.h"
#include "graphics/draw_state.h"
#include "graphics/graph_records.h"
#include "graphics/pixel_format_table.h"
#include "graphics/render_state_cache.h"
#include "graphics/screen_state.h"
#include "graphics/software_screen.h"
#include "graphics/state_resend.h"
#include "graphics/vertex_batch.h"

MaskState gMasks = {};
HandleRegistry gMaskRegistry = {};

namespace {

// One corner of the composition quad: position with rhw, colour, one texture coordinate.
struct MaskVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};
static_assert(sizeof(MaskVertex) == 28);
constexpr DWORD kMaskVertexFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

int PowerOfTwoAtLeast(int value) {
    int p = 1;
    while (p < value) p <<= 1;
    return p;
}

bool HasMaskScreen() {
    return IsDirect3DMode() ? gMasks.screenSurface != nullptr
                            : IsMemImgValid(&gMasks.workScreen) != 0;
}

const GraphRecord* TargetGraph() {
    Handle target = gDrawSettings.drawTargets[0];
    return IsScreenId(target) ? nullptr : GetGraphRecord(target, 0);
}

// The image drawing would reach without the mask.
MEMIMG* RealSoftwareTarget() {
    const GraphRecord* graph = TargetGraph();
    return graph != nullptr ? const_cast<MEMIMG*>(&graph->image) : &gSoftwareScreen.screen;
}

IDirect3DSurface9* RealDeviceTarget() {
    const GraphRecord* graph = TargetGraph();
    return graph != nullptr ? GetGraphTargetSurface(graph) : ScreenSurface();
}

// The rectangle clamped into the draw area and the mask.
RECT ClampRect(RECT rect) {
    const DrawSettings& s = gDrawSettings;
    RECT area = {s.drawX1, s.drawY1, s.drawX2, s.drawY2};
    ClipRectInto(&rect, &area);
    RECT mask = {0, 0, gMasks.width, gMasks.height};
    ClipRectInto(&rect, &mask);
    return rect;
}

bool IsEmpty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

// The draw area again, with every cached state sent whether or not it changed.
void ResendDrawArea() {
    const DrawSettings& s = gDrawSettings;
    ResendCachedDrawStates(0);
    SetDrawRegion(s.drawX1, s.drawY1, s.drawX2, s.drawY2);
}

void CreateDeviceMaskScreen(int w, int h) {
    int drawTargetFormat = gPixelFormats.formats[gPixelFormats.drawTargetIndex];
    D3DFORMAT alphaFormat = gPixelFormats.formats[kFormatAlpha32];
    if (drawTargetFormat == 0) {
        ExitOnFatalError(
            "マスク描画用カラーバッファで使用できるテクスチャフォーマットがありませんでした");
    }
    if (alphaFormat == 0) {
        ExitOnFatalError(
            "マスク描画用アルファチャンネルバッファで使用できるテクスチャフォーマットがありませんで"
            "した");
    }
    gMasks.textureWidth = PowerOfTwoAtLeast(w);
    gMasks.textureHeight = PowerOfTwoAtLeast(h);
    const UINT tw = static_cast<UINT>(gMasks.textureWidth);
    const UINT th = static_cast<UINT>(gMasks.textureHeight);
    if (gMasks.maskTexture == nullptr) {
        if (FAILED(DeviceCreateTexture(tw, th, 1, D3DUSAGE_DYNAMIC, alphaFormat, D3DPOOL_DEFAULT,
                                       &gMasks.maskTexture, nullptr))) {
            ExitOnFatalError("マスク用イメージテクスチャの作成に失敗しました");
        }
        D3DLOCKED_RECT locked{};
        if (SUCCEEDED(TextureLockRect(gMasks.maskTexture, 0, &locked, nullptr, 0))) {
            const ColorFormat* format = ColorFormatOfD3DFormat(alphaFormat);
            size_t rowBytes = static_cast<size_t>(w) * (format != nullptr ? format->pixelBytes : 4);
            for (int y = 0; y < h; ++y) {
                std::memset(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, 0, rowBytes);
            }
            TextureUnlockRect(gMasks.maskTexture, 0);
        }
    }
    if (gMasks.screenTexture == nullptr) {
        if (FAILED(DeviceCreateTexture(tw, th, 1, D3DUSAGE_RENDERTARGET,
                                       static_cast<D3DFORMAT>(drawTargetFormat), D3DPOOL_DEFAULT,
                                       &gMasks.screenTexture, nullptr))) {
            ExitOnFatalError("マスク用スクリーンテクスチャの作成に失敗しました");
        }
        TextureGetSurfaceLevel(gMasks.screenTexture, 0, &gMasks.screenSurface);
    }
}

// The mask bytes of the rectangle into the mask texture's alpha channel.
void UploadMaskBytes(const RECT& rect) {
    const ColorFormat* format = ColorFormatOfD3DFormat(gPixelFormats.formats[kFormatAlpha32]);
    if (format == nullptr || (format->pixelBytes != 2 && format->pixelBytes != 4)) return;
    // The alpha test only asks whether the alpha is 0.
    const uint32_t opaque = ((1u << format->alphaWidth) - 1) << format->alphaShift;
    D3DLOCKED_RECT locked{};
    if (FAILED(TextureLockRect(gMasks.maskTexture, 0, &locked, &rect, 0))) return;
    for (LONG y = rect.top; y < rect.bottom; ++y) {
        uint8_t* row = static_cast<uint8_t*>(locked.pBits) + (y - rect.top) * locked.Pitch;
        const uint8_t* bytes = gMasks.bytes + static_cast<size_t>(y) * gMasks.pitch;
        for (LONG x = rect.left; x < rect.right; ++x) {
            uint32_t value = bytes[x] != 0 ? opaque : 0;
            uint8_t* pixel = row + (x - rect.left) * format->pixelBytes;
            if (format->pixelBytes == 4) {
                std::memcpy(pixel, &value, 4);
            } else {
                auto half = static_cast<uint16_t>(value);
                std::memcpy(pixel, &half, 2);
            }
        }
    }
    TextureUnlockRect(gMasks.maskTexture, 0);
}

// Draws the work screen over the rectangle of the real target where the mask lets it through.
void ComposeOnDevice(const RECT& rect) {
    FlushVertexBatchNow();
    BindRenderTargetSurface(gMasks.savedTarget, 0);
    UploadMaskBytes(rect);
    OpenDeviceScene();
    DeviceSetVertexShader(nullptr);
    DeviceSetPixelShader(nullptr);
    DeviceSetTexture(0, gMasks.screenTexture);
    DeviceSetTexture(1, gMasks.maskTexture);
    const DWORD stageStates[][3] = {
        {0, D3DTSS_COLOROP, D3DTOP_SELECTARG1}, {0, D3DTSS_COLORARG1, D3DTA_TEXTURE},
        {0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1}, {0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE},
        {0, D3DTSS_TEXCOORDINDEX, 0},           {1, D3DTSS_COLOROP, D3DTOP_SELECTARG1},
        {1, D3DTSS_COLORARG1, D3DTA_CURRENT},   {1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
        {1, D3DTSS_ALPHAARG1, D3DTA_TEXTURE},   {1, D3DTSS_TEXCOORDINDEX, 0},
        {2, D3DTSS_COLOROP, D3DTOP_DISABLE},    {2, D3DTSS_ALPHAOP, D3DTOP_DISABLE},
    };
    for (const auto& st : stageStates) {
        DeviceSetTextureStageState(st[0], static_cast<D3DTEXTURESTAGESTATETYPE>(st[1]), st[2]);
    }
    for (DWORD stage = 0; stage < 2; ++stage) {
        DeviceSetSamplerState(stage, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        DeviceSetSamplerState(stage, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        DeviceSetSamplerState(stage, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    }
    const DWORD renderStates[][2] = {
        {D3DRS_ALPHATESTENABLE, TRUE},
        {D3DRS_ALPHAFUNC, static_cast<DWORD>(gMasks.reverse ? D3DCMP_NOTEQUAL : D3DCMP_EQUAL)},
        {D3DRS_ALPHAREF, 0},
        {D3DRS_ALPHABLENDENABLE, FALSE},
        {D3DRS_ZENABLE, FALSE},
        {D3DRS_LIGHTING, FALSE},
        {D3DRS_CULLMODE, D3DCULL_NONE},
        {D3DRS_FOGENABLE, FALSE},
    };
    for (const auto& rs : renderStates) {
        DeviceSetRenderState(static_cast<D3DRENDERSTATETYPE>(rs[0]), rs[1]);
    }
    DeviceSetFVF(kMaskVertexFvf);
    const float l = static_cast<float>(rect.left), t = static_cast<float>(rect.top);
    const float r = static_cast<float>(rect.right), b = static_cast<float>(rect.bottom);
    const float iw = 1.0f / static_cast<float>(gMasks.textureWidth);
    const float ih = 1.0f / static_cast<float>(gMasks.textureHeight);
    const MaskVertex quad[4] = {
        {l - 0.5f, t - 0.5f, 0.0f, 1.0f, 0xFFFFFFFF, l * iw, t * ih},
        {r - 0.5f, t - 0.5f, 0.0f, 1.0f, 0xFFFFFFFF, r * iw, t * ih},
        {l - 0.5f, b - 0.5f, 0.0f, 1.0f, 0xFFFFFFFF, l * iw, b * ih},
        {r - 0.5f, b - 0.5f, 0.0f, 1.0f, 0xFFFFFFFF, r * iw, b * ih},
    };
    DeviceDrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(MaskVertex));
    CloseDeviceScene();
    // What the fixed states above changed outside the cached draw states.
    const RenderStateCache& c = gRenderStates;
    DeviceSetRenderState(D3DRS_LIGHTING, static_cast<DWORD>(c.lighting));
    DeviceSetRenderState(D3DRS_FOGENABLE, static_cast<DWORD>(c.fogEnable));
    if (c.fvf != 0) DeviceSetFVF(c.fvf);
    gRenderStates.blendStatesDirty = 1;
    BindRenderTargetSurface(gMasks.screenSurface, 0);
    ResendDrawArea();
}

template <class Pixel>
void ComposeRows(MEMIMG* target, const RECT& rect) {
    const int32_t targetPitch = target->body->pitch;
    const int32_t workPitch = gMasks.workScreen.body->pitch;
    for (LONG y = rect.top; y < rect.bottom; ++y) {
        auto* out = reinterpret_cast<Pixel*>(target->pixels + y * targetPitch);
        const auto* in = reinterpret_cast<const Pixel*>(gMasks.workScreen.pixels + y * workPitch);
        const uint8_t* bytes = gMasks.bytes + static_cast<size_t>(y) * gMasks.pitch;
        for (LONG x = rect.left; x < rect.right; ++x) {
            if ((bytes[x] == 0) != (gMasks.reverse != 0)) out[x] = in[x];
        }
    }
}

void ComposeInSoftware(const RECT& area) {
    MEMIMG* target = RealSoftwareTarget();
    if (!IsMemImgValid(target) || target->body->format == nullptr ||
        target->body->format->pixelBytes != gMasks.workScreen.body->format->pixelBytes) {
        return;
    }
    RECT rect = area;
    RECT inside = {0, 0, std::min(target->width, gMasks.workScreen.width),
                   std::min(target->height, gMasks.workScreen.height)};
    ClipRectInto(&rect, &inside);
    if (IsEmpty(rect)) return;
    switch (target->body->format->pixelBytes) {
        case 2:
            ComposeRows<uint16_t>(target, rect);
            break;
        case 4:
            ComposeRows<uint32_t>(target, rect);
            break;
        default:
            break;
    }
}

}  // namespace

int RegisterMaskHandleType() {
    if (gMasks.kindRegistered) return -1;
    SetupHandleRegistry(&gMaskRegistry, HandleKindBits(kHandleKindMask), sizeof(MaskRecord),
                        kMaxMasks, nullptr, ReleaseMaskRecord, "マスク");
    gMasks.kindRegistered = 1;
    return 0;
}

int ReleaseMaskRecord(HandleHeader* record) {
    auto* mask = reinterpret_cast<MaskRecord*>(record);
    FreeMemory(mask->data);
    mask->data = nullptr;
    return 0;
}

int CreateMaskScreen(int create) {
    if (create == 0) return 0;
    int outputWidth = 0, outputHeight = 0;
    QueryOutputSize(&outputWidth, &outputHeight);
    // Under the 320 x 240 emulation the output is smaller than the back buffer drawn into.
    int w = std::max(outputWidth, gScreen.screenWidth);
    int h = std::max(outputHeight, gScreen.screenHeight);
    if (gMasks.bytes == nullptr) {
        gMasks.pitch = (w + 3) / 4 * 4;
        gMasks.bytes = static_cast<uint8_t*>(
            AllocClearedMemory(static_cast<uint32_t>(gMasks.pitch * h), __FILE__, __LINE__));
        if (gMasks.bytes == nullptr) return -1;
        gMasks.width = w;
        gMasks.height = h;
    }
    if (IsDirect3DMode()) {
        CreateDeviceMaskScreen(w, h);
    } else if (!IsMemImgValid(&gMasks.workScreen)) {
        // Drawing lands here in place of the screen: the same pixel layout as the screen image.
        const MEMIMG& screen = gSoftwareScreen.screen;
        const int type = IsMemImgValid(&screen) ? screen.body->colorType : -1;
        if (CreateMemImgDefault(&gMasks.workScreen, w, h, type) != 0) {
            ExitOnFatalError("マスク用 MEMIMG の作成に失敗しました");
        }
        gMasks.workScreenCreated = 1;
    }
    return 0;
}

int ReleaseMaskScreen() {
    FreeMemory(gMasks.bytes);
    gMasks.bytes = nullptr;
    if (gMasks.workScreenCreated) ReleaseMemImg(&gMasks.workScreen);
    gMasks.workScreenCreated = 0;
    if (gMasks.maskTexture != nullptr) ReleaseComObject(gMasks.maskTexture);
    if (gMasks.screenSurface != nullptr) ReleaseComObject(gMasks.screenSurface);
    if (gMasks.screenTexture != nullptr) ReleaseComObject(gMasks.screenTexture);
    gMasks.maskTexture = nullptr;
    gMasks.screenSurface = nullptr;
    gMasks.screenTexture = nullptr;
    gMasks.savedTarget = nullptr;
    // Without a mask screen nothing is drawn through it.
    gMasks.useOn = 0;
    return 0;
}

int IsMaskDrawingOn() {
    return gMasks.useOn;
}

int IsMaskScreenUseOn() {
    return gMasks.useRequested;
}

int SwitchMaskScreenUse(int use) {
    if (!gMasks.kindRegistered || gMasks.bytes == nullptr) return -1;
    gMasks.useRequested = use;
    gMasks.useOn = use && HasMaskScreen() ? 1 : 0;
    if (IsDirect3DMode()) {
        if (!HasDirect3DDevice()) return 0;
        FlushVertexBatchNow();
        BindRenderTargetSurface(gMasks.useOn && gMasks.screenSurface != nullptr
                                    ? gMasks.screenSurface
                                    : RealDeviceTarget(),
                                0);
        ApplyDepthSurfaceForTarget();
        ResendDrawArea();
    } else {
        gSoftwareScreen.target = gMasks.useOn ? &gMasks.workScreen : RealSoftwareTarget();
    }
    return 0;
}

int BeginMaskDrawArea(RECT rect) {
    if (++gMasks.nesting != 1) return 0;
    gMasks.openRect = rect;
    rect = ClampRect(rect);
    if (!gMasks.useOn || IsEmpty(rect)) return 0;
    if (!IsDirect3DMode()) {
        CopyMemImgRect(&gMasks.workScreen, RealSoftwareTarget(), &rect, rect.left, rect.top);
    } else if (gMasks.screenSurface != nullptr) {
        FlushVertexBatchNow();
        CloseDeviceScene();
        gMasks.savedTarget = RealDeviceTarget();
        DeviceStretchRect(gMasks.savedTarget, &rect, gMasks.screenSurface, &rect, D3DTEXF_NONE);
    }
    return 0;
}

int EndMaskDrawArea(RECT rect) {
    if (gMasks.nesting == 0 || --gMasks.nesting != 0) return 0;
    rect = ClampRect(rect);
    if (IsEmpty(rect) || !gMasks.useOn) return 0;
    if (!IsDirect3DMode()) {
        ComposeInSoftware(rect);
    } else if (gMasks.screenSurface != nullptr && gMasks.savedTarget != nullptr) {
        ComposeOnDevice(rect);
    }
    return 0;
}

int EndPendingMaskDrawArea() {
    if (gMasks.nesting == 0) return 0;
    gMasks.nesting = 1;
    return EndMaskDrawArea(gMasks.openRect);
}

void ClearMaskDrawing() {
    gMasks.useOn = 0;
}

int RestoreMaskScreen() {
    if (!gMasks.kindRegistered) return -1;
    CreateMaskScreen(gMasks.screenRequested);
    if (gMasks.useRequested) SwitchMaskScreenUse(1);
    return 0;
}

int ShutdownMasks() {
    if (!gMasks.kindRegistered) return -1;
    if (gMasks.useRequested) SwitchMaskScreenUse(0);
    ReleaseMaskScreen();
    gMasks.screenRequested = 0;
    gMasks.useRequested = 0;
    gMasks.useOn = 0;
    RetireAllHandles(&gMaskRegistry, nullptr);
    ShutdownHandleRegistry(&gMaskRegistry);
    gMasks.kindRegistered = 0;
    return 0;
}
