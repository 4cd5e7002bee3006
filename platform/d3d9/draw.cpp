// DrawPrimitiveUP and DrawIndexedPrimitiveUP: vertex fetch by FVF, the world-view-projection
// transform and clipping of untransformed vertices, primitive assembly, culling, and the hand
// over to the rasteriser. The pipeline of the last draw is kept until a state it depends on
// changes, and vertex memory is kept, so a draw allocates nothing.
#include <cmath>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "device.h"
#include "rasterizer.h"
#include "spans.h"

namespace {

constexpr DWORD kMaxPrimitiveCount = 0xFFFFF;
// Clip planes at this multiple of w around the viewport keep projected positions well inside
// the rasteriser's guard band; the viewport itself clips at pixel level.
constexpr float kGuardFactor = 64.0f;

struct VertexLayout {
    bool transformed;  // XYZRHW
    UINT size;
    int diffuse;  // byte offsets, -1 = absent
    int specular;
    int texCount;
    int tex[8];
    int texFloats[8];
};

bool ParseFvf(DWORD fvf, VertexLayout* layout) {
    constexpr DWORD kKnown = D3DFVF_POSITION_MASK | D3DFVF_NORMAL | D3DFVF_PSIZE | D3DFVF_DIFFUSE |
                             D3DFVF_SPECULAR | D3DFVF_TEXCOUNT_MASK | 0xFFFF0000u;
    if ((fvf & ~kKnown) != 0) return false;
    DWORD position = fvf & D3DFVF_POSITION_MASK;
    if (position != D3DFVF_XYZ && position != D3DFVF_XYZRHW) return false;
    layout->transformed = position == D3DFVF_XYZRHW;
    UINT offset = layout->transformed ? 16 : 12;
    if ((fvf & D3DFVF_NORMAL) != 0) offset += 12;
    if ((fvf & D3DFVF_PSIZE) != 0) offset += 4;
    layout->diffuse = layout->specular = -1;
    if ((fvf & D3DFVF_DIFFUSE) != 0) {
        layout->diffuse = static_cast<int>(offset);
        offset += 4;
    }
    if ((fvf & D3DFVF_SPECULAR) != 0) {
        layout->specular = static_cast<int>(offset);
        offset += 4;
    }
    layout->texCount = static_cast<int>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
    if (layout->texCount > 8) return false;
    static constexpr int kFloatsOfSizeCode[4] = {2, 3, 4, 1};
    for (int i = 0; i < layout->texCount; ++i) {
        layout->tex[i] = static_cast<int>(offset);
        layout->texFloats[i] = kFloatsOfSizeCode[(fvf >> (16 + 2 * i)) & 3];
        offset += 4 * layout->texFloats[i];
    }
    layout->size = offset;
    return true;
}

// Vertices a primitive count needs; 0 for an unknown primitive type.
UINT VerticesFor(D3DPRIMITIVETYPE type, UINT count) {
    switch (type) {
        case D3DPT_POINTLIST:
            return count;
        case D3DPT_LINELIST:
            return count * 2;
        case D3DPT_LINESTRIP:
            return count + 1;
        case D3DPT_TRIANGLELIST:
            return count * 3;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN:
            return count + 2;
        default:
            return 0;
    }
}

inline float LoadFloat(const BYTE* p) {
    float v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

inline DWORD LoadDword(const BYTE* p) {
    DWORD v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a.m[i][k] * b.m[k][j];
            r.m[i][j] = sum;
        }
    }
    return r;
}

// A vertex after fetch: its clip-space position for untransformed vertices, its screen
// position otherwise (and once projected).
struct ProcessedVertex {
    float clip[4];
    DWORD outside;  // bit per clip plane the vertex is outside of
    ScreenVertex screen;
};

constexpr int kClipPlanes = 6;

// What a pipeline is built from, compared whole from draw to draw. Surfaces count with what
// the pipeline reads of them, so an object made where a released one was is not taken for it.
struct SurfaceKey {
    const void* object;
    const void* bits;
    D3DFORMAT format;
    UINT width, height, pitch;
};

struct PipelineInputs {
    DWORD renderStates[kRenderStateCount];
    DWORD stageStates[kTextureStages][kStageStateCount];
    DWORD samplerStates[kSamplers][kSamplerStateCount];
    const void* textures[kSamplers];
    DWORD texturesBound;  // bit per sampler holding a plain texture
    SurfaceKey target, depth;
    D3DVIEWPORT9 viewport;
    RECT scissor;
    const void* pixelShader;
    PixelShaderKernel kernel;
    PixelShaderSpanKernel spanKernel;
    ShaderStageBuilder stageBuilder;
    ShaderStageProgram program;  // what stageBuilder made of the current constants
    const void* vertexShader;
    int vertexTexSets;
    bool nativeSubtract;
    bool generalSpansOnly;
};

SurfaceKey KeyOf(const Surface* s) {
    if (s == nullptr) return {};
    return {s, s->bits.get(), s->format, s->width, s->height, s->pitch};
}

void TakePipelineInputs(const Device& device, int vertexTexSets, PipelineInputs* in) {
    const DeviceState& st = device.state;
    std::memset(in, 0, sizeof(*in));  // padding too: inputs are compared bytewise
    std::memcpy(in->renderStates, st.renderStates, sizeof(in->renderStates));
    // A pixel shader replaces the texture stages, so their states do not count then.
    if (st.pixelShader == nullptr) {
        std::memcpy(in->stageStates, st.stageStates, sizeof(in->stageStates));
    }
    std::memcpy(in->samplerStates, st.samplerStates, sizeof(in->samplerStates));
    for (int i = 0; i < kSamplers; ++i) {
        in->textures[i] = st.textures[i];
        if (st.textures[i] != nullptr && st.textures[i]->GetType() == D3DRTYPE_TEXTURE) {
            in->texturesBound |= 1u << i;
        }
    }
    in->target = KeyOf(st.renderTargets[0]);
    in->depth = KeyOf(st.depthStencil);
    in->viewport = st.viewport;
    in->scissor = st.scissor;
    in->pixelShader = st.pixelShader;
    if (st.pixelShader != nullptr) {
        in->kernel = st.pixelShader->kernel;
        in->spanKernel = st.pixelShader->spanKernel;
        in->stageBuilder = st.pixelShader->stages;
        // The stages follow the constants: the program is rebuilt (cheaply, into this record)
        // each draw, and the pipeline with it when it differs.
        if (in->stageBuilder != nullptr) in->stageBuilder(st.pixelFloats, &in->program);
    }
    in->vertexShader = st.vertexShader;
    in->vertexTexSets = vertexTexSets;
    in->nativeSubtract = gD3d9.profile.nativeSubtract;
    in->generalSpansOnly = gD3d9.generalSpansOnly;
}

// Signed distance to clip plane `plane`; inside when >= 0.
inline float PlaneDistance(int plane, const float* c) {
    switch (plane) {
        case 0:
            return c[2];  // near: z >= 0
        case 1:
            return c[3] - c[2];  // far: z <= w
        case 2:
            return kGuardFactor * c[3] - c[0];
        case 3:
            return kGuardFactor * c[3] + c[0];
        case 4:
            return kGuardFactor * c[3] - c[1];
        default:
            return kGuardFactor * c[3] + c[1];
    }
}

DWORD Outcode(const float* c) {
    DWORD code = 0;
    for (int plane = 0; plane < kClipPlanes; ++plane) {
        if (PlaneDistance(plane, c) < 0.0f) code |= 1u << plane;
    }
    return code;
}

ProcessedVertex LerpVertex(const ProcessedVertex& a, const ProcessedVertex& b, float t) {
    ProcessedVertex r = a;
    for (int i = 0; i < 4; ++i) r.clip[i] = a.clip[i] + (b.clip[i] - a.clip[i]) * t;
    r.screen.diffuse = a.screen.diffuse + (b.screen.diffuse - a.screen.diffuse) * t;
    r.screen.specular = a.screen.specular + (b.screen.specular - a.screen.specular) * t;
    for (int s = 0; s < kMaxTexSets; ++s) {
        for (int k = 0; k < 2; ++k) {
            r.screen.tex[s][k] = a.screen.tex[s][k] + (b.screen.tex[s][k] - a.screen.tex[s][k]) * t;
        }
    }
    return r;
}

// A triangle clipped by the six planes has at most nine corners.
constexpr int kMaxPolygon = 3 + kClipPlanes;

struct Polygon {
    ProcessedVertex corners[kMaxPolygon];
    int count;
};

// Clips a convex polygon against every plane the vertices are outside of.
void ClipPolygon(Polygon* polygon, DWORD planes) {
    Polygon out;
    for (int plane = 0; plane < kClipPlanes && polygon->count > 0; ++plane) {
        if ((planes & (1u << plane)) == 0) continue;
        out.count = 0;
        for (int i = 0; i < polygon->count; ++i) {
            const ProcessedVertex& cur = polygon->corners[i];
            const ProcessedVertex& next = polygon->corners[(i + 1) % polygon->count];
            float dc = PlaneDistance(plane, cur.clip), dn = PlaneDistance(plane, next.clip);
            if (dc >= 0.0f) out.corners[out.count++] = cur;
            if ((dc >= 0.0f) != (dn >= 0.0f)) {
                out.corners[out.count++] = LerpVertex(cur, next, dc / (dc - dn));
            }
        }
        *polygon = out;
    }
}

// Assembles primitives from fetched vertices and hands them to the rasteriser.
class PrimitiveWalker {
public:
    PrimitiveWalker(DrawPipeline& pipeline, const DeviceState& state, bool transformed)
        : p_(pipeline), state_(state), transformed_(transformed) {}

    void Triangle(const ProcessedVertex& a, const ProcessedVertex& b, const ProcessedVertex& c,
                  const ProcessedVertex& provoking, bool flipped) {
        DWORD fill = state_.renderStates[D3DRS_FILLMODE];
        if (transformed_ || (a.outside | b.outside | c.outside) == 0) {
            const ScreenVertex* corners[3] = {&a.screen, &b.screen, &c.screen};
            if (!Culled(corners, flipped))
                Emit(fill, a.screen, b.screen, c.screen, provoking.screen);
            return;
        }
        if ((a.outside & b.outside & c.outside) != 0) return;
        Polygon polygon;
        polygon.corners[0] = a;
        polygon.corners[1] = b;
        polygon.corners[2] = c;
        polygon.count = 3;
        ClipPolygon(&polygon, a.outside | b.outside | c.outside);
        if (polygon.count < 3) return;
        ScreenVertex screen[kMaxPolygon];
        const ScreenVertex* corners[kMaxPolygon];
        for (int i = 0; i < polygon.count; ++i) {
            screen[i] = Project(polygon.corners[i]);
            corners[i] = &screen[i];
        }
        if (Culled({corners, static_cast<size_t>(polygon.count)}, flipped)) return;
        for (int i = 1; i + 1 < polygon.count; ++i) {
            Emit(fill, screen[0], screen[i], screen[i + 1], provoking.screen);
        }
    }

    void Line(const ProcessedVertex& a, const ProcessedVertex& b, bool lastPixel) {
        if (transformed_ || (a.outside | b.outside) == 0) {
            RasterizeLine(p_, a.screen, b.screen, a.screen, lastPixel);
            return;
        }
        if ((a.outside & b.outside) != 0) return;
        ProcessedVertex ends[2] = {a, b};
        for (int plane = 0; plane < kClipPlanes; ++plane) {
            float d0 = PlaneDistance(plane, ends[0].clip), d1 = PlaneDistance(plane, ends[1].clip);
            if (d0 < 0.0f && d1 < 0.0f) return;
            if (d0 < 0.0f) {
                ends[0] = LerpVertex(ends[0], ends[1], d0 / (d0 - d1));
            } else if (d1 < 0.0f) {
                ends[1] = LerpVertex(ends[0], ends[1], d0 / (d0 - d1));
            }
        }
        RasterizeLine(p_, Project(ends[0]), Project(ends[1]), a.screen, lastPixel);
    }

    void Point(const ProcessedVertex& v) {
        if (transformed_ || v.outside == 0) RasterizePoint(p_, v.screen);
    }

    // Screen position of a clip-space vertex through the viewport.
    ScreenVertex Project(const ProcessedVertex& v) const {
        const D3DVIEWPORT9& vp = state_.viewport;
        ScreenVertex s = v.screen;
        float rhw = 1.0f / v.clip[3];
        s.x = static_cast<float>(vp.X) +
              (1.0f + v.clip[0] * rhw) * 0.5f * static_cast<float>(vp.Width);
        s.y = static_cast<float>(vp.Y) +
              (1.0f - v.clip[1] * rhw) * 0.5f * static_cast<float>(vp.Height);
        s.z = vp.MinZ + v.clip[2] * rhw * (vp.MaxZ - vp.MinZ);
        s.rhw = rhw;
        return s;
    }

private:
    bool Culled(std::span<const ScreenVertex* const> polygon, bool flipped) const {
        DWORD cull = state_.renderStates[D3DRS_CULLMODE];
        if (cull != D3DCULL_CW && cull != D3DCULL_CCW) return false;
        double area = 0.0;  // positive: clockwise on screen (y grows downwards)
        for (size_t i = 0; i < polygon.size(); ++i) {
            const ScreenVertex& s = *polygon[i];
            const ScreenVertex& t = *polygon[(i + 1) % polygon.size()];
            area += static_cast<double>(s.x) * t.y - static_cast<double>(t.x) * s.y;
        }
        if (flipped) area = -area;
        return cull == D3DCULL_CW ? area > 0.0 : area < 0.0;
    }

    void Emit(DWORD fill, const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
              const ScreenVertex& provoking) {
        if (fill == D3DFILL_POINT) {
            for (const ScreenVertex* v : {&a, &b, &c}) RasterizePoint(p_, *v);
        } else if (fill == D3DFILL_WIREFRAME) {
            RasterizeLine(p_, a, b, provoking, false);
            RasterizeLine(p_, b, c, provoking, false);
            RasterizeLine(p_, c, a, provoking, false);
        } else {
            RasterizeTriangle(p_, a, b, c, provoking);
        }
    }

    DrawPipeline& p_;
    const DeviceState& state_;
    bool transformed_;
};

}  // namespace

// What a device keeps from draw to draw: the pipeline of its last state with the inputs it
// was built from, and the vertex memory, which only grows, so a draw allocates nothing.
struct DrawCache {
    bool sse2 = ProcessorHasSse2();
    bool valid = false;
    PipelineInputs inputs;
    DrawPipeline pipeline;
    std::vector<UINT> order;
    std::vector<ProcessedVertex> fetched;
};

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices,
                                UINT stride) {
    return Draw(type, primitiveCount, vertices, stride, nullptr, D3DFMT_UNKNOWN, 0, 0);
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT vertexCount,
                                       UINT primitiveCount, const void* indices,
                                       D3DFORMAT indexFormat, const void* vertices, UINT stride) {
    if (indices == nullptr) return D3DERR_INVALIDCALL;
    return Draw(type, primitiveCount, vertices, stride, indices, indexFormat, minVertexIndex,
                vertexCount);
}

HRESULT Device::Draw(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                     UINT stride, const void* indices, D3DFORMAT indexFormat, UINT minVertexIndex,
                     UINT vertexCount) {
    if (WrongThread() || !state.inScene || vertexData == nullptr || stride == 0) {
        return D3DERR_INVALIDCALL;
    }
    if (primitiveCount > kMaxPrimitiveCount) return D3DERR_INVALIDCALL;
    UINT indexCount = VerticesFor(type, primitiveCount);
    if (indexCount == 0 && primitiveCount != 0) return D3DERR_INVALIDCALL;
    if (primitiveCount == 0) return D3D_OK;
    VertexLayout layout;
    if (!ParseFvf(state.fvf, &layout) || stride < layout.size) return D3DERR_INVALIDCALL;

    if (drawCache == nullptr) drawCache = std::make_shared<DrawCache>();
    DrawCache& cache = *drawCache;
    // Vertex slot of each index, checked against the range the caller named.
    std::vector<UINT>& order = cache.order;
    order.resize(indexCount);
    if (indices != nullptr) {
        if (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32)
            return D3DERR_INVALIDCALL;
        if (vertexCount == 0) return D3DERR_INVALIDCALL;
        for (UINT i = 0; i < indexCount; ++i) {
            UINT index = indexFormat == D3DFMT_INDEX16 ? static_cast<const WORD*>(indices)[i]
                                                       : static_cast<const DWORD*>(indices)[i];
            if (index < minVertexIndex || index - minVertexIndex >= vertexCount) {
                return D3DERR_INVALIDCALL;
            }
            order[i] = index - minVertexIndex;
        }
    } else {
        minVertexIndex = 0;
        vertexCount = indexCount;
        for (UINT i = 0; i < indexCount; ++i) order[i] = i;
    }

    // The pipeline is kept until a state it depends on changes.
    PipelineInputs inputs;
    TakePipelineInputs(*this, layout.texCount, &inputs);
    DrawPipeline& pipeline = cache.pipeline;
    if (!cache.valid || std::memcmp(&inputs, &cache.inputs, sizeof(inputs)) != 0) {
        cache.valid = false;
        HRESULT built = BuildPipeline(*this, layout.texCount,
                                      inputs.stageBuilder != nullptr ? &inputs.program : nullptr,
                                      cache.sse2 && !gD3d9.generalSpansOnly, &pipeline);
        if (built != D3D_OK) return built;
        std::memcpy(&cache.inputs, &inputs, sizeof(inputs));
        cache.valid = true;
    } else {
        RefreshPipelineTextures(*this, pipeline);
    }
    if (!gD3d9.keepPixels) return D3D_OK;

    // Fetch (and for untransformed vertices transform) each vertex once.
    std::vector<ProcessedVertex>& fetched = cache.fetched;
    fetched.resize(vertexCount);
    D3DMATRIX transform = Multiply(Multiply(state.world[0], state.view), state.projection);
    const BYTE* base =
        static_cast<const BYTE*>(vertexData) + static_cast<size_t>(minVertexIndex) * stride;
    for (UINT i = 0; i < vertexCount; ++i) {
        const BYTE* src = base + static_cast<size_t>(i) * stride;
        ProcessedVertex& v = fetched[i];
        ScreenVertex& s = v.screen;
        float position[4] = {LoadFloat(src), LoadFloat(src + 4), LoadFloat(src + 8),
                             layout.transformed ? LoadFloat(src + 12) : 1.0f};
        s.diffuse = layout.diffuse >= 0 ? ColorFromArgb(LoadDword(src + layout.diffuse))
                                        : Color{1.0f, 1.0f, 1.0f, 1.0f};
        s.specular = layout.specular >= 0 ? ColorFromArgb(LoadDword(src + layout.specular))
                                          : Color{0.0f, 0.0f, 0.0f, 0.0f};
        for (int t = 0; t < kMaxTexSets; ++t) {
            bool present = t < layout.texCount;
            s.tex[t][0] = present ? LoadFloat(src + layout.tex[t]) : 0.0f;
            s.tex[t][1] =
                present && layout.texFloats[t] >= 2 ? LoadFloat(src + layout.tex[t] + 4) : 0.0f;
        }
        if (layout.transformed) {
            s.x = position[0];
            s.y = position[1];
            s.z = position[2];
            s.rhw = position[3];
            v.outside = 0;
            continue;
        }
        for (int c = 0; c < 4; ++c) {
            v.clip[c] = position[0] * transform.m[0][c] + position[1] * transform.m[1][c] +
                        position[2] * transform.m[2][c] + transform.m[3][c];
        }
        v.outside = Outcode(v.clip);
    }
    PrimitiveWalker walker(pipeline, state, layout.transformed);
    if (!layout.transformed) {
        for (ProcessedVertex& v : fetched) {
            if (v.outside == 0) v.screen = walker.Project(v);
        }
    }

    auto at = [&](UINT i) -> const ProcessedVertex& { return fetched[order[i]]; };
    switch (type) {
        case D3DPT_POINTLIST:
            for (UINT i = 0; i < primitiveCount; ++i) walker.Point(at(i));
            break;
        case D3DPT_LINELIST:
            for (UINT i = 0; i < primitiveCount; ++i) {
                walker.Line(at(2 * i), at(2 * i + 1), state.renderStates[D3DRS_LASTPIXEL] != FALSE);
            }
            break;
        case D3DPT_LINESTRIP:
            // Only the strip's final end point is drawn, so no pixel is drawn twice.
            for (UINT i = 0; i < primitiveCount; ++i) {
                bool last = i + 1 == primitiveCount && state.renderStates[D3DRS_LASTPIXEL] != FALSE;
                walker.Line(at(i), at(i + 1), last);
            }
            break;
        case D3DPT_TRIANGLELIST:
            for (UINT i = 0; i < primitiveCount; ++i) {
                walker.Triangle(at(3 * i), at(3 * i + 1), at(3 * i + 2), at(3 * i), false);
            }
            break;
        case D3DPT_TRIANGLESTRIP:
            // Every other triangle of a strip winds the other way round.
            for (UINT i = 0; i < primitiveCount; ++i) {
                walker.Triangle(at(i), at(i + 1), at(i + 2), at(i), (i & 1) != 0);
            }
            break;
        default:  // fan: flat shading takes the colours of the second vertex
            for (UINT i = 0; i < primitiveCount; ++i) {
                walker.Triangle(at(0), at(i + 1), at(i + 2), at(i + 1), false);
            }
            break;
    }
    pipeline.target->Touch();
    return D3D_OK;
}
