// The filters' front end, the passes of the shader path with their work targets and draw
// state, and the processor path on decoded images read back from the graphs.
#include "draw/filters.h"

#include <orbek/orbek.h>

#include <algorithm>
#include <cstring>
#include <iterator>

#include "core/clamped_math.h"
#include "core/log.h"
#include "draw/blend_filters.h"
#include "draw/filter_kernels.h"
#include "draw/image_filters.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/device_resources.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_loading.h"
#include "graphics/graph_records.h"
#include "graphics/graph_restore.h"
#include "graphics/graph_transfer.h"
#include "graphics/graphics_state.h"
#include "graphics/prepare_draw.h"
#include "graphics/render_state_cache.h"
#include "graphics/screen_pixel_access.h"
#include "graphics/shader_constants.h"
#include "graphics/shader_pack.h"
#include "graphics/shaders.h"
#include "graphics/vertex_batch.h"
#include "image/pixel_convert.h"

const float kLuminanceRegister[4] = {0.299f, 0.587f, 0.114f, 0.0f};

namespace {

// The usage set of the filters' constants: the highest, so that no other set's value of c0 to
// c20 reaches the device while a filter draws.
constexpr int kFilterConstSet = 3;
constexpr int kWorkTargetClasses = 16;  // sides 1 to 32768
constexpr int kAlphaAlways = 8;         // D3DCMP_ALWAYS
constexpr DWORD kPassFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;
constexpr DWORD kCopyFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// Two square draw-target graphs per power-of-two side, kept for reuse.
Handle gWorkTargets[kWorkTargetClasses][2] = {};

// What SaveFilterDrawState found and RestoreFilterDrawState puts back.
struct FilterDrawState {
    IDirect3DSurface9* targets[kCachedRenderTargets];
    D3DVIEWPORT9 viewport;
    int32_t zEnable;
    int32_t blendMode, blendParam;
    int32_t samplingMode;
    int32_t alphaFunc, alphaRef;
    int32_t fogEnable, lighting;
    IDirect3DSurface9* depthStencil;
};

// The kind's arguments as the front end converted them.
struct FilterArguments {
    int ints[4];
    float floats[10];
    Handle graph;
};

bool IsFilterableGraph(Handle graph) {
    return GetGraphRecord(graph, 0) != nullptr;
}

float Scale100Over255(int value) {
    return static_cast<float>(value) * 100.0f / 255.0f;
}

// A ScreenColor and an alpha as r, g, b, a in 0..1.
void SplitColor(ScreenColor color, int alpha, float* out) {
    int r = 0, g = 0, b = 0;
    UnpackScreenColor(color, &r, &g, &b);
    out[0] = static_cast<float>(r) / 255.0f;
    out[1] = static_cast<float>(g) / 255.0f;
    out[2] = static_cast<float>(b) / 255.0f;
    out[3] = static_cast<float>(alpha) / 255.0f;
}

// The parameters in order, each as the 32-bit value it stands for.
class ParameterReader {
public:
    explicit ParameterReader(const FilterParameters& parameters) : parameters_(parameters) {}
    int Next() {
        return next_ < std::size(parameters_.values)
                   ? static_cast<int>(static_cast<uint32_t>(parameters_.values[next_++]))
                   : 0;
    }

private:
    const FilterParameters& parameters_;
    size_t next_ = 0;
};

void ReadFilterArguments(int isBlend, int kind, const FilterParameters& parameters,
                         FilterArguments* out) {
    ParameterReader in(parameters);
    if (isBlend) {
        if (kind == kBlendFilterRGBAMix) {
            for (int& selector : out->ints) selector = in.Next();
        }
        return;
    }
    switch (kind) {
        case kFilterMono:
            out->floats[0] = Scale100Over255(in.Next());
            out->floats[1] = Scale100Over255(in.Next());
            break;
        case kFilterGauss:
            out->ints[0] = in.Next();
            out->floats[0] = static_cast<float>(in.Next()) / 100.0f;
            break;
        case kFilterDownScale:
            out->ints[0] = in.Next();
            break;
        case kFilterBrightClip: {
            out->ints[0] = in.Next();
            out->floats[0] = static_cast<float>(in.Next());
            out->ints[1] = in.Next();
            if (out->ints[1] != 0) {
                auto color = static_cast<ScreenColor>(in.Next());
                SplitColor(color, in.Next(), &out->floats[1]);
            }
            break;
        }
        case kFilterHsb:
            out->ints[0] = in.Next();
            out->floats[0] = static_cast<float>(in.Next());
            out->floats[1] = Scale100Over255(in.Next());
            out->floats[2] = Scale100Over255(in.Next());
            break;
        case kFilterLevel:
            for (int i = 0; i < 5; ++i) out->floats[i] = static_cast<float>(in.Next());
            out->floats[2] /= 100.0f;
            break;
        case kFilterTwoColor: {
            out->floats[0] = static_cast<float>(in.Next());
            for (int i = 0; i < 2; ++i) {
                auto color = static_cast<ScreenColor>(in.Next());
                SplitColor(color, in.Next(), &out->floats[1 + 4 * i]);
            }
            break;
        }
        case kFilterGradientMap:
            out->graph = in.Next();
            out->ints[0] = in.Next();
            break;
        default:
            break;
    }
}

int RunFilterRoutine(FilterJob* job, const FilterArguments& a) {
    if (job->isBlend) {
        if (job->kind == kBlendFilterRGBAMix) {
            return RunRGBAMixBlend(job, a.ints[0], a.ints[1], a.ints[2], a.ints[3]);
        }
        return RunBasBFBlend(job);
    }
    switch (job->kind) {
        case kFilterMono:
            return Mono(job, a.floats[0], a.floats[1]);
        case kFilterGauss:
            return Gauss(job, a.ints[0], a.floats[0]);
        case kFilterDownScale:
            return DownScale(job, a.ints[0]);
        case kFilterBrightClip:
            return BrightClip(job, a.ints[0], a.floats[0], a.ints[1], &a.floats[1]);
        case kFilterHsb:
            return Hsb(job, a.ints[0], a.floats[0], a.floats[1], a.floats[2]);
        case kFilterInvert:
            return Invert(job);
        case kFilterLevel:
            return Level(job, a.floats[0], a.floats[1], a.floats[2], a.floats[3], a.floats[4]);
        case kFilterTwoColor:
            return TwoColor(job, a.floats[0], &a.floats[1], &a.floats[5]);
        case kFilterGradientMap:
            return GradientMap(job, a.graph, a.ints[0]);
        default:
            return PremultipliedAlpha(job);
    }
}

// A draw-target graph that is being drawn to: its pending picture is finished before reading.
void SettleDrawTarget(Handle graph) {
    if (gDrawSettings.drawTargets[0] != graph) return;
    const GraphRecord* record = GetGraphRecord(graph, 0);
    if (record == nullptr || !IsDrawTargetGraph(record)) return;
    FlushVertexBatchNow();
    CloseDeviceScene();
    if (!IsMultisampledGraph(graph)) return;
    for (int i = 0; i < record->pieceCount; ++i) {
        ResolveMultisampleSurface(GraphPieces(record)[i].texPiece);
    }
}

int AllocClearedImage(int width, int height, GraphImage* image) {
    if (AllocGraphImageARGB32(width, height, image) == -1) return -1;
    ClearGraphImageRect(image, 0, 0, width, height);
    return 0;
}

// ---- Shader path ----

// The smallest k with 2^k >= length; kWorkTargetClasses when none of the pool's sides fits.
int SideClass(int length) {
    int k = 0;
    while (k < kWorkTargetClasses && (1 << k) < length) ++k;
    return k;
}

bool IsSingleTextureAtOrigin(const GraphRecord* record) {
    if (record->textureInfo == nullptr || !record->textureInfo->flags.useTexture ||
        record->pieceCount != 1) {
        return false;
    }
    const GraphPiece& piece = GraphPieces(record)[0];
    return piece.texOffX == 0 && piece.texOffY == 0;
}

// The pool's draw target of the side class and slot, made when missing or stale.
Handle GetWorkTarget(int sideClass, int slot) {
    const int side = 1 << sideClass;
    if (sideClass >= kWorkTargetClasses) {
        EmitLogFormat("作業用描画可能テクスチャの作成に失敗しました Size:%dx%d", side, side);
        return -1;
    }
    Handle& entry = gWorkTargets[sideClass][slot];
    if (GetGraphRecord(entry, 0) != nullptr) return entry;
    GraphCreateSettings settings{};
    CaptureGraphCreateSettings(&settings);
    settings.drawTarget = 1;
    settings.drawTargetAlpha = 1;
    // One texture of the whole side, so that every pass reads and draws one surface.
    settings.maxTextureSize = 0;
    settings.multisampleCount = 0;
    settings.multisampleQuality = 0;
    entry = CreateEmptyGraph(&settings, side, side, 0, 0, 0);
    const GraphRecord* record = GetGraphRecord(entry, 0);
    if (record == nullptr || !IsSingleTextureAtOrigin(record)) {
        if (entry != -1) DisposeGraph(entry);
        EmitLogFormat("作業用描画可能テクスチャの作成に失敗しました Size:%dx%d", side, side);
        entry = -1;
    }
    return entry;
}

// Binds the graph's first piece as render target 0 with a viewport over all of it.
void BindWholeTarget(const GraphRecord* record) {
    IDirect3DSurface9* surface = GetGraphTargetSurface(record);
    BindRenderTargetSurface(surface, 0);
    D3DSURFACE_DESC desc{};
    if (surface != nullptr && SUCCEEDED(SurfaceGetDesc(surface, &desc))) {
        const D3DVIEWPORT9 whole = {0, 0, desc.Width, desc.Height, 0.0f, 1.0f};
        ApplyViewport(&whole);
    }
}

// A draw under the filter state that must keep its texels' alpha: the overwrite mode at full
// parameter, since the vertex alpha carries the parameter.
template <typename Draw>
void DrawAtFullAlpha(Draw draw) {
    ChangeBlendMode(BlendOverwrite, 255);
    draw();
    ChangeBlendMode(BlendOverwrite, 0);
}

// Draws every texture piece of the source into the work target at the piece's own position.
void PreCopyPieces(Handle source, Handle target) {
    const GraphRecord* from = GetGraphRecord(source, 0);
    const GraphRecord* to = GetGraphRecord(target, 0);
    FlushVertexBatchNow();
    BindWholeTarget(to);
    UserShaderState shaders{};
    SaveUserShaderState(&shaders);
    SelectUserPixelShader(0);
    SetDrawSamplingMode(kSamplingPoint);
    DrawAtFullAlpha([&] {
        OpenDeviceScene();
        for (int i = 0; i < from->pieceCount; ++i) {
            const GraphPiece& p = GraphPieces(from)[i];
            PrepareDrawStates(&from->textureInfo->flags, p.texPiece->texture, kDrawUseTextureAlpha);
            const float l = static_cast<float>(p.drawX) - 0.5f;
            const float t = static_cast<float>(p.drawY) - 0.5f;
            const float r = l + static_cast<float>(p.w), b = t + static_cast<float>(p.h);
            const float x[4] = {l, r, l, r}, y[4] = {t, t, b, b};
            TexturedVertex v[4];
            for (int k = 0; k < 4; ++k) {
                v[k] = {x[k], y[k], 0.0f, 1.0f, 0xFFFFFFFF, p.corners[k][2], p.corners[k][3]};
            }
            SetCachedFvf(kCopyFvf);
            DeviceDrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TexturedVertex));
        }
    });
    SetDrawSamplingMode(kSamplingLinear);
    RestoreUserShaderState(&shaders, kShaderTextureStages);
}

void SaveFilterDrawState(FilterDrawState* saved) {
    FlushVertexBatchNow();
    RenderStateCache& c = gRenderStates;
    DrawSettings& d = gDrawSettings;
    std::copy(std::begin(c.renderTargets), std::end(c.renderTargets), saved->targets);
    saved->viewport = c.viewport;
    for (int slot = 1; slot < kCachedRenderTargets; ++slot) {
        if (c.renderTargets[slot] != nullptr) BindRenderTargetSurface(nullptr, slot);
    }
    saved->zEnable = d.depth2D.enable;
    d.depth2D.enable = 0;
    saved->blendMode = d.blendMode;
    saved->blendParam = d.blendParam;
    saved->samplingMode = d.samplingMode;
    saved->alphaFunc = d.alphaTestFunc;
    saved->alphaRef = d.alphaTestRef;
    if (!d.ignoreChanges) {
        ChangeBlendMode(BlendOverwrite, 0);
        SetDrawSamplingMode(kSamplingLinear);
        ChangeAlphaTestState(kAlphaAlways, 0);
    }
    saved->fogEnable = c.fogEnable;
    saved->lighting = c.lighting;
    SetCachedFogEnable(0);
    SetCachedLighting(0);
    saved->depthStencil = nullptr;
    DeviceGetDepthStencilSurface(&saved->depthStencil);
    DeviceSetDepthStencilSurface(nullptr);
}

void RestoreFilterDrawState(const FilterDrawState& saved) {
    FlushVertexBatchNow();
    RenderStateCache& c = gRenderStates;
    DrawSettings& d = gDrawSettings;
    DeviceSetDepthStencilSurface(saved.depthStencil);
    ReleaseComObject(saved.depthStencil);
    for (int slot = 0; slot < kCachedRenderTargets; ++slot) {
        BindRenderTargetSurface(saved.targets[slot], slot);
    }
    c.ResendAll = 1;
    ApplyViewport(&saved.viewport);
    c.ResendAll = 0;
    // A state never sent before the filter (-1) is left as the filter set it.
    if (saved.lighting >= 0) SetCachedLighting(saved.lighting);
    if (saved.fogEnable >= 0) SetCachedFogEnable(saved.fogEnable);
    if (!d.ignoreChanges) {
        ChangeAlphaTestState(saved.alphaFunc, std::clamp(saved.alphaRef, 0, 255));
        SetDrawSamplingMode(saved.samplingMode);
        ChangeBlendMode(saved.blendMode, saved.blendParam);
    }
    d.depth2D.enable = saved.zEnable;
}

// Blends 14 and 15 leave pixels of no alpha unwritten, which the processor path writes as 0 (its
// output image starts cleared): on the shader path they draw into a cleared work target.
bool NeedsClearedTarget(const FilterJob& job) {
    return job.isBlend && (job.kind == 14 || job.kind == 15);
}

// BrightClip leaves the pixels it does not keep as the destination had them, where the processor
// path reads the destination back first: a work target takes the destination's pixels first.
bool KeepsDestinationPixels(const FilterJob& job) {
    return !job.isBlend && job.kind == kFilterBrightClip;
}

// The pass's input and render target. The requested source and destination stay those of the
// call; input is what the previous pass drew (the source itself for the first).
int PrepareFilterTargets(int throughWork, int passCount, const FilterJob& job, Handle source,
                         Handle dest, Handle input, Handle* passInput, Handle* target) {
    const GraphRecord* from = GetGraphRecord(source, 0);
    const GraphRecord* to = GetGraphRecord(dest, 0);
    if (from == nullptr || to == nullptr) return -1;
    *passInput = input;
    *target = dest;
    if (!AreBuiltinShadersOn()) return 0;
    // A destination split over textures, or shown from inside one, is drawn through a target.
    const bool direct = !(throughWork && source == dest) && !NeedsClearedTarget(job) &&
                        IsDrawTargetGraph(to) && IsSingleTextureAtOrigin(to);
    const bool alternate = throughWork && job.passIndex % 2 == passCount % 2;
    const bool preCopy = job.passIndex == 0 && !IsSingleTextureAtOrigin(from);
    int slot = 0;
    if (!direct || alternate) {
        int width = from->width, height = from->height;
        if (!preCopy) QueryGraphTextureSize(input, &width, &height);
        // The pass draws at the destination position: the target reaches that far too.
        width = std::max(width, job.destX + job.outWidth);
        height = std::max(height, job.destY + job.outHeight);
        slot = alternate ? 0 : 1;
        *target = GetWorkTarget(SideClass(std::max(width, height)), slot);
        if (*target == -1) return -1;
        if (NeedsClearedTarget(job)) ColorFillGraph(*target, 0, 0, 0, 0, 0);
        if (KeepsDestinationPixels(job)) PreCopyPieces(dest, *target);
    }
    if (preCopy) {
        const int copySlot = *target == dest ? 0 : 1 - slot;
        Handle copy = GetWorkTarget(SideClass(std::max(from->width, from->height)), copySlot);
        if (copy == -1) return -1;
        PreCopyPieces(source, copy);
        *passInput = copy;
    }
    return 0;
}

// Draw states for the pre-transformed strip; the filter's pixel shader stays selected, and the
// draw states put the shader textures on stages 0 to 7.
void SetupFilterPass() {
    PrepareDrawStates(nullptr, nullptr, kDrawKeepUserShaders);
    ApplyUserVertexShader(0);
}

// Copies the last target's rectangle into the destination when the passes did not draw there;
// one copy per destination piece, as a copy on the device stays within one texture.
int CopyFilterResultToGraph(const FilterJob& job, int throughWork, int result, Handle lastTarget) {
    if (result < 0 || !AreBuiltinShadersOn()) return 0;
    if (!(throughWork && job.sourceGraph == job.destGraph) && lastTarget == job.destGraph) {
        return 0;
    }
    const GraphRecord* dest = GetGraphRecord(job.destGraph, 0);
    if (dest == nullptr) return -1;
    const RECT area = {job.destX, job.destY, job.destX + job.outWidth, job.destY + job.outHeight};
    for (int i = 0; i < dest->pieceCount; ++i) {
        const GraphPiece& p = GraphPieces(dest)[i];
        const RECT o = {std::max<LONG>(area.left, p.drawX), std::max<LONG>(area.top, p.drawY),
                        std::min<LONG>(area.right, p.drawX + p.w),
                        std::min<LONG>(area.bottom, p.drawY + p.h)};
        if (o.right <= o.left || o.bottom <= o.top) continue;
        if (CopyScreenRectToGraph(lastTarget, o.left, o.top, o.right, o.bottom, o.left, o.top,
                                  job.destGraph) == -1) {
            return -1;
        }
    }
    return 0;
}

// A position before 0 moves to 0, and the two positions that go with it move as far. In 64
// bits: any corner of the request may lie anywhere in the int range.
void ClipLeadingEdge(int64_t& edge, int64_t& other, int64_t& blend) {
    if (edge >= 0) return;
    other -= edge;
    blend -= edge;
    edge = 0;
}

}  // namespace

int ReadGraphToBaseImage(Handle graph, GraphImage* out, const RECT* rect) {
    const GraphRecord* record = GetGraphRecord(graph, 0);
    if (record == nullptr) return -1;
    RECT area = rect != nullptr ? *rect : RECT{0, 0, record->width, record->height};
    if (AllocClearedImage(area.right - area.left, area.bottom - area.top, out) == -1) return -1;
    if (ReadGraphRectInto(graph, area, out) == -1) {
        FreeGraphImage(out);
        return -1;
    }
    return 0;
}

void FreeFilterImages(FilterJob* job) {
    FreeGraphImage(&job->sourceImage);
    FreeGraphImage(&job->blendImage);
    FreeGraphImage(&job->destImage);
}

int ReadFilterImages(FilterJob* job, int freshDest, int width, int height) {
    bool sized = width >= 0 && height >= 0;
    job->outWidth = sized ? width : job->srcX2 - job->srcX1;
    job->outHeight = sized ? height : job->srcY2 - job->srcY1;
    RECT source = {job->srcX1, job->srcY1, job->srcX2, job->srcY2};
    bool ok = ReadGraphToBaseImage(job->sourceGraph, &job->sourceImage, &source) == 0;
    // The layer is read at the source's coordinates; where it does not reach, it is transparent.
    if (ok && job->isBlend) {
        ok = AllocClearedImage(source.right - source.left, source.bottom - source.top,
                               &job->blendImage) == 0 &&
             ReadGraphRectInto(job->blendGraph, source, &job->blendImage) == 0;
    }
    if (ok) {
        RECT dest = {job->destX, job->destY, job->destX + job->outWidth,
                     job->destY + job->outHeight};
        ok = freshDest ? AllocClearedImage(job->outWidth, job->outHeight, &job->destImage) == 0
                       : ReadGraphToBaseImage(job->destGraph, &job->destImage, &dest) == 0;
    }
    if (!ok) {
        FreeFilterImages(job);
        return -1;
    }
    return 0;
}

int FinishSoftFilter(FilterJob* job) {
    FreeGraphImage(&job->sourceImage);
    FreeGraphImage(&job->blendImage);
    RECT rect = {0, 0, job->outWidth, job->outHeight};
    UploadImageToGraph(job->destGraph, &rect, job->destX, job->destY, &job->destImage, nullptr, 0,
                       0, 0);
    FreeGraphImage(&job->destImage);
    return 0;
}

Handle CreateFilterShaderFromPack(const char* fileName) {
    RegisterFilterShaderKernels();
    const void* code = nullptr;
    uint32_t size = 0;
    if (!IsBuiltinShaderPackOpen() || FindPackedShader(fileName, &code, &size) == -1) return -1;
    // The pack's bytes are handed over where they lie; the handle keeps its own copy only to
    // make the shader again after a device re-creation.
    return CreateShaderFromCode(0, const_cast<void*>(code), static_cast<int>(size), 0, 0, 0);
}

Handle FetchFilterShader(Handle* cache, const char* fileName, const char* logPrefix) {
    if (GetShaderObject(*cache, 0) != nullptr) return *cache;
    *cache = CreateFilterShaderFromPack(fileName);
    if (*cache == -1) {
        EmitLogFormat("%sフィルター用シェーダーの作成に失敗しました %s", logPrefix, fileName);
    }
    return *cache;
}

void QueryFilterTextureSize(Handle graph, int* width, int* height) {
    *width = *height = 1;
    const GraphRecord* record = GetGraphRecord(graph, 0);
    if (record == nullptr || record->pieceCount < 1 || GraphPieces(record)[0].texPiece == nullptr) {
        return;
    }
    const TexturePiece& piece = *GraphPieces(record)[0].texPiece;
    *width = std::max(piece.texWidth, 1);
    *height = std::max(piece.texHeight, 1);
}

int RunFilterShaderPass(int divisor, FilterJob* job, Handle second, int swapTextures) {
    const GraphRecord* source = GetGraphRecord(job->sourceGraph, 0);
    const GraphRecord* dest = GetGraphRecord(job->destGraph, 0);
    if (source == nullptr || dest == nullptr) return -1;
    const int w = job->srcX2 - job->srcX1, h = job->srcY2 - job->srcY1;
    const int outWidth = w / divisor, outHeight = h / divisor;
    int texWidth = 1, texHeight = 1;
    QueryFilterTextureSize(job->sourceGraph, &texWidth, &texHeight);
    // Coordinate sets as {left, top, right, bottom}; a reduced strip reads whole blocks only.
    float sets[2][4] = {
        {static_cast<float>(job->srcX1) / static_cast<float>(texWidth),
         static_cast<float>(job->srcY1) / static_cast<float>(texHeight),
         static_cast<float>(job->srcX1 + outWidth * divisor) / static_cast<float>(texWidth),
         static_cast<float>(job->srcY1 + outHeight * divisor) / static_cast<float>(texHeight)}};
    std::copy(std::begin(sets[0]), std::end(sets[0]), sets[1]);
    if (job->isBlend) {
        const GraphRecord* blend = GetGraphRecord(job->blendGraph, 0);
        if (blend == nullptr || blend->pieceCount < 1) return -1;
        if (job->useBlendPosition == 0) {
            const GraphPiece& piece = GraphPieces(blend)[0];
            const float whole[4] = {piece.corners[0][2], piece.corners[0][3], piece.corners[3][2],
                                    piece.corners[3][3]};
            std::copy(std::begin(whole), std::end(whole), sets[1]);
        } else {
            int blendWidth = 1, blendHeight = 1;
            QueryFilterTextureSize(job->blendGraph, &blendWidth, &blendHeight);
            const float bw = static_cast<float>(blendWidth), bh = static_cast<float>(blendHeight);
            const float placed[4] = {
                static_cast<float>(job->blendX) / bw, static_cast<float>(job->blendY) / bh,
                static_cast<float>(job->blendX + w) / bw, static_cast<float>(job->blendY + h) / bh};
            std::copy(std::begin(placed), std::end(placed), sets[1]);
        }
    }
    Handle textures[2] = {job->sourceGraph, second};
    if (swapTextures) {
        std::swap(textures[0], textures[1]);
        std::swap(sets[0], sets[1]);
    }
    const float left = static_cast<float>(job->destX) - 0.5f;
    const float top = static_cast<float>(job->destY) - 0.5f;
    const float right = left + static_cast<float>(outWidth);
    const float bottom = top + static_cast<float>(outHeight);
    const float x[4] = {left, right, left, right}, y[4] = {top, top, bottom, bottom};
    BlendVertex strip[4];
    for (int k = 0; k < 4; ++k) {
        const int across = k & 1 ? 2 : 0, down = k & 2 ? 3 : 1;
        strip[k] = {x[k],
                    y[k],
                    0.0f,
                    1.0f,
                    0xFFFFFFFF,
                    0xFFFFFFFF,
                    sets[0][across],
                    sets[0][down],
                    sets[1][across],
                    sets[1][down]};
    }
    FlushVertexBatchNow();
    BindWholeTarget(dest);
    BindShaderTexture(0, textures[0]);
    BindShaderTexture(1, textures[1]);
    OpenDeviceScene();
    SetupFilterPass();
    SetCachedFvf(kPassFvf);
    DeviceDrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, strip, sizeof(BlendVertex));
    const TexturePiece* piece = GraphPieces(dest)[0].texPiece;
    if (IsDrawTargetGraph(dest) && piece != nullptr && piece->multisampleSurface != nullptr) {
        CloseDeviceScene();
        ResolveMultisampleSurface(piece);
    }
    return 0;
}

int DrawFilterShaderPass(FilterJob* job, Handle shader, const float (*constants)[4], int registers,
                         int pointSampling, Handle second, int swapTextures, int divisor) {
    if (pointSampling && !gDrawSettings.ignoreChanges) SetDrawSamplingMode(kSamplingPoint);
    UserShaderState saved{};
    SaveUserShaderState(&saved);
    const int live = LiveConstSetMask(&gShaderConstCache);
    SelectShaderConstSets(&gShaderConstCache, live | 1 << kFilterConstSet);
    if (registers > 0) {
        StoreShaderConstants(&gShaderConstCache, kShaderConstPixelFloat, kFilterConstSet, 0,
                             constants, registers, 1);
    }
    SelectUserPixelShader(shader);
    const int result = RunFilterShaderPass(divisor, job, second, swapTextures);
    RestoreUserShaderState(&saved, kShaderTextureStages);
    if (registers > 0) {
        ClearShaderConstRange(&gShaderConstCache, kShaderConstPixelFloat, kFilterConstSet, 0,
                              registers);
    }
    SelectShaderConstSets(&gShaderConstCache, live);
    return result;
}

int ApplyFilterOrBlend(const FilterRequest& request, const FilterParameters& parameters) {
    // The corners are clipped below; the caller's request stays as it was.
    FilterRequest r = request;
    if (!gGraphRegistry.setUp || !IsFilterableGraph(r.sourceGraph) ||
        !IsFilterableGraph(r.destGraph)) {
        return -1;
    }
    if (r.srcX2 <= r.srcX1 || r.srcY2 <= r.srcY1) return -1;
    if (!r.isBlend && static_cast<unsigned>(r.kind) > kFilterPremultipliedAlpha) return -1;
    if (r.isBlend && (!IsFilterableGraph(r.blendGraph) || r.kind < 0 ||
                      r.kind > kBlendFilterMultipleAlphaOnly)) {
        return -1;
    }
    float ratio = static_cast<float>(std::clamp(r.blendRatio, 0, 255)) / 255.0f;

    // Corners left of or above the source or the destination move all three positions alike.
    int64_t srcX1 = r.srcX1, srcY1 = r.srcY1, destX = r.destX, destY = r.destY;
    int64_t blendX = r.blendX, blendY = r.blendY;
    ClipLeadingEdge(srcX1, destX, blendX);
    ClipLeadingEdge(srcY1, destY, blendY);
    ClipLeadingEdge(destX, srcX1, blendX);
    ClipLeadingEdge(destY, srcY1, blendY);
    if (r.srcX2 <= srcX1 || r.srcY2 <= srcY1) return 0;
    int srcWidth = 0, srcHeight = 0, destWidth = 0, destHeight = 0;
    QueryGraphSize(r.sourceGraph, &srcWidth, &srcHeight);
    QueryGraphSize(r.destGraph, &destWidth, &destHeight);
    r.srcX2 = std::min(r.srcX2, srcWidth);
    r.srcY2 = std::min(r.srcY2, srcHeight);
    if (srcX1 >= srcWidth || srcY1 >= srcHeight || r.srcX2 < 1 || r.srcY2 < 1 ||
        destX >= destWidth || destY >= destHeight) {
        return 0;
    }
    // Inside both graphs now. The blend position alone may still lie anywhere: held in the
    // band, the shader path's sums with it cannot overflow, and it stays outside the blend graph.
    r.srcX1 = static_cast<int32_t>(srcX1);
    r.srcY1 = static_cast<int32_t>(srcY1);
    r.destX = static_cast<int32_t>(destX);
    r.destY = static_cast<int32_t>(destY);
    r.blendX = ClampToFar(blendX);
    r.blendY = ClampToFar(blendY);
    int w = r.srcX2 - r.srcX1, h = r.srcY2 - r.srcY1;
    if (w < 1 || h < 1) return 0;

    FilterArguments arguments{};
    ReadFilterArguments(r.isBlend, r.kind, parameters, &arguments);
    // The down-scale filter's output is the rectangle divided by its factor; only that must fit.
    int divisor = 1;
    if (!r.isBlend && r.kind == kFilterDownScale) {
        arguments.ints[0] = NormalizeDownScaleFactor(arguments.ints[0]);
        divisor = arguments.ints[0];
    }
    if (w / divisor + r.destX > destWidth) {
        w = (destWidth - r.destX) * divisor;
        r.srcX2 = r.srcX1 + w;
    }
    if (h / divisor + r.destY > destHeight) {
        h = (destHeight - r.destY) * divisor;
        r.srcY2 = r.srcY1 + h;
    }

    SettleDrawTarget(r.sourceGraph);
    SettleDrawTarget(r.destGraph);
    if (r.isBlend) SettleDrawTarget(r.blendGraph);
    if (!r.isBlend && r.kind == kFilterGradientMap) SettleDrawTarget(arguments.graph);

    FilterJob job{};
    job.isBlend = r.isBlend;
    job.kind = r.kind;
    job.sourceGraph = r.sourceGraph;
    job.blendGraph = r.isBlend ? r.blendGraph : -1;
    job.destGraph = r.destGraph;
    job.blendRatio = ratio;
    job.srcX1 = r.srcX1;
    job.srcY1 = r.srcY1;
    job.srcX2 = r.srcX2;
    job.srcY2 = r.srcY2;
    job.blendX = r.blendX;
    job.blendY = r.blendY;
    job.useBlendPosition = r.useBlendPosition;
    job.destX = r.destX;
    job.destY = r.destY;
    job.outWidth = w / divisor;
    job.outHeight = h / divisor;
    // A filter that cannot run is reported, not passed off as done.
    if (!AreBuiltinShadersOn()) return RunFilterRoutine(&job, arguments) < 0 ? -1 : 0;

    int passes = 1, throughWork = 0;
    if (!r.isBlend && r.kind == kFilterGauss) {
        passes = 2;
        throughWork = 1;
    } else if (!r.isBlend && r.kind == kFilterHsb && arguments.ints[0] != 1) {
        passes = 2;
    }
    if (r.srcX1 != r.destX || r.srcY1 != r.destY || gGraphicsSystem.FilterResultExact == 0) {
        throughWork = 1;
    }
    if (!gRenderStates.sceneOpen) OpenDeviceScene();
    FilterDrawState saved{};
    SaveFilterDrawState(&saved);
    const FilterJob requested = job;
    Handle input = r.sourceGraph, target = -1;
    int result = 0, done = 0;
    for (int pass = 0; pass < passes; ++pass) {
        job.passIndex = pass;
        Handle passInput = -1, passTarget = -1;
        if (PrepareFilterTargets(throughWork, passes, job, r.sourceGraph, r.destGraph, input,
                                 &passInput, &passTarget) == -1 ||
            !IsGraphicsInitialized() || GetGraphRecord(passTarget, 0) == nullptr) {
            break;
        }
        job.sourceGraph = passInput;
        job.destGraph = passTarget;
        result = RunFilterRoutine(&job, arguments);
        target = passTarget;
        input = passTarget;
        ++done;
        if (result < 0) break;
        // The next pass reads what this one drew, where it drew it.
        job.srcX1 = r.destX;
        job.srcY1 = r.destY;
        job.srcX2 = r.destX + w;
        job.srcY2 = r.destY + h;
    }
    RestoreFilterDrawState(saved);
    const int passIndex = job.passIndex;
    job = requested;
    job.passIndex = passIndex;
    if (CopyFilterResultToGraph(job, throughWork, result, target) == -1) return -1;
    return done < passes || result < 0 ? -1 : 0;
}

int ApplyFilterInPlace(Handle graph, int32_t kind, const FilterParameters& parameters) {
    int width = 0, height = 0;
    if (QueryGraphSize(graph, &width, &height) == -1) return -1;
    const FilterRequest whole = {
        .sourceGraph = graph, .destGraph = graph, .kind = kind, .srcX2 = width, .srcY2 = height};
    return ApplyFilterOrBlend(whole, parameters);
}

int TestFilterResultExact() {
    static constexpr uint8_t kColors[4][3] = {
        {204, 168, 80}, {128, 100, 245}, {66, 222, 143}, {34, 255, 78}};
    GraphCreateSettings settings{};
    CaptureGraphCreateSettings(&settings);
    settings.drawTarget = 1;
    settings.drawTargetAlpha = 0;
    Handle graph = CreateEmptyGraph(&settings, 8, 8, 0, 0, 0);
    GraphImage input{}, output{};
    int exact = 0;
    if (graph != -1 && AllocGraphImageXRGB32(8, 8, &input) == 0 &&
        AllocGraphImageXRGB32(8, 8, &output) == 0) {
        ClearGraphImageRect(&input, 0, 0, 8, 8);
        for (int i = 0; i < 4; ++i) {
            WriteGraphImagePixel(&input, i, i, kColors[i][0], kColors[i][1], kColors[i][2], 255);
        }
        RECT rect = {0, 0, 8, 8};
        UploadImageToGraph(graph, &rect, 0, 0, &input, nullptr, 0, 0, 0);
        gGraphicsSystem.FilterResultExact = 1;
        ApplyFilterInPlace(graph, kFilterInvert);
        gGraphicsSystem.FilterResultExact = 0;
        GraphImage pixels{};
        if (OpenScreenPixelAccess(&rect, &pixels, graph, 1, 0) == 0) {
            ConvertPixelRect({.destPixels = output.pixels,
                              .destPitch = output.pitch,
                              .destFormat = &output.format,
                              .srcPixels = pixels.pixels,
                              .srcPitch = pixels.pitch,
                              .srcFormat = &pixels.format,
                              .srcRect = &rect});
            CloseScreenPixelAccess();
            int counted = 0;
            for (int i = 0; i < 4; ++i) {
                int rgb[3] = {}, alpha = 0;
                ReadGraphImagePixel(&output, i, i, &rgb[0], &rgb[1], &rgb[2], &alpha);
                for (int c = 0; c < 3; ++c) {
                    int sum = kColors[i][c] + rgb[c];
                    if (sum >= 254 && sum <= 256) ++counted;
                }
            }
            exact = counted == 12 ? 1 : 0;
        }
    }
    if (graph != -1) DisposeGraph(graph);
    FreeGraphImage(&input);
    FreeGraphImage(&output);
    return exact;
}
