// Per-pixel work of a draw: interpolation, the texture-stage combiner or a pixel-shader
// kernel, alpha test, depth, blending and the encode into the render target. The draw's state
// is resolved once into a DrawPipeline so that the pixel loop only does arithmetic.
#include "pixel_pipeline.h"

#include <cstring>

#include "device.h"

namespace {

struct PixelInput {
    Color diffuse;
    Color specular;
    float tex[kMaxTexSets][2];
};

inline Color Splat(float v) {
    return ColorLanes{v, v, v, v};
}
inline Color Complement(Color c) {
    return 1.0f - c.v;
}
inline Color Lerp(Color from, Color to, float t) {
    return from + (to - from) * t;
}

bool IsKnownOp(DWORD op) {
    return (op >= D3DTOP_DISABLE && op <= D3DTOP_BLENDCURRENTALPHA) ||
           (op >= D3DTOP_MODULATEALPHA_ADDCOLOR && op <= D3DTOP_MODULATEINVCOLOR_ADDALPHA) ||
           (op >= D3DTOP_DOTPRODUCT3 && op <= D3DTOP_LERP);
}

bool IsKnownArg(DWORD arg) {
    return (arg & D3DTA_SELECTMASK) <= D3DTA_TEMP &&
           (arg & ~(D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE)) == 0;
}

// Which of ARG0, ARG1, ARG2 an operation reads.
bool UsesArg(DWORD op, int index) {
    switch (op) {
        case D3DTOP_SELECTARG1:
            return index == 1;
        case D3DTOP_SELECTARG2:
            return index == 2;
        case D3DTOP_MULTIPLYADD:
        case D3DTOP_LERP:
            return true;
        default:
            return index != 0;
    }
}

bool UsesTextureAlpha(DWORD op) {
    return op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM;
}

// False when a used argument is not offered; sets `reads` bits 1 << selector. Arguments the
// operation ignores become CURRENT, so every argument indexes a register.
bool CheckArgs(DWORD op, DWORD* args, DWORD* reads) {
    for (int i = 0; i < 3; ++i) {
        if (!UsesArg(op, i)) {
            args[i] = D3DTA_CURRENT;
            continue;
        }
        if (!IsKnownArg(args[i])) return false;
        *reads |= 1u << (args[i] & D3DTA_SELECTMASK);
    }
    return true;
}

struct StageAlphas {
    float diffuse, texture, factor, current;
};

// One texture-stage operation on all four channels.
[[gnu::always_inline]] inline Color ApplyOp(DWORD op, Color a0, Color a1, Color a2,
                                            const StageAlphas& alphas) {
    switch (op) {
        case D3DTOP_SELECTARG1:
            return a1;
        case D3DTOP_SELECTARG2:
            return a2;
        case D3DTOP_MODULATE:
            return a1 * a2;
        case D3DTOP_MODULATE2X:
            return a1 * a2 * 2.0f;
        case D3DTOP_MODULATE4X:
            return a1 * a2 * 4.0f;
        case D3DTOP_ADD:
            return a1 + a2;
        case D3DTOP_ADDSIGNED:
            return a1 + a2 - Splat(0.5f);
        case D3DTOP_ADDSIGNED2X:
            return (a1 + a2 - Splat(0.5f)) * 2.0f;
        case D3DTOP_SUBTRACT:
            return a1 - a2;
        case D3DTOP_ADDSMOOTH:
            return a1 + a2 - a1 * a2;
        case D3DTOP_BLENDDIFFUSEALPHA:
            return Lerp(a2, a1, alphas.diffuse);
        case D3DTOP_BLENDTEXTUREALPHA:
            return Lerp(a2, a1, alphas.texture);
        case D3DTOP_BLENDFACTORALPHA:
            return Lerp(a2, a1, alphas.factor);
        case D3DTOP_BLENDTEXTUREALPHAPM:
            return a1 + a2 * (1.0f - alphas.texture);
        case D3DTOP_BLENDCURRENTALPHA:
            return Lerp(a2, a1, alphas.current);
        case D3DTOP_MODULATEALPHA_ADDCOLOR:
            return a1 + a2 * a1.a;
        case D3DTOP_MODULATECOLOR_ADDALPHA:
            return a1 * a2 + Splat(a1.a);
        case D3DTOP_MODULATEINVALPHA_ADDCOLOR:
            return a1 + a2 * (1.0f - a1.a);
        case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
            return Complement(a1) * a2 + Splat(a1.a);
        case D3DTOP_DOTPRODUCT3:
            return Splat(
                Saturate(4.0f * ((a1.r - 0.5f) * (a2.r - 0.5f) + (a1.g - 0.5f) * (a2.g - 0.5f) +
                                 (a1.b - 0.5f) * (a2.b - 0.5f))));
        case D3DTOP_MULTIPLYADD:
            return a0 + a1 * a2;
        default:  // LERP
            return a0 * a1 + Complement(a0) * a2;
    }
}

// The combiner's registers, indexed by D3DTA_ selector.
constexpr int kRegisterCount = D3DTA_TEMP + 1;

[[gnu::always_inline]] inline Color Arg(DWORD arg, const Color* registers) {
    Color c = registers[arg & D3DTA_SELECTMASK];
    if ((arg & D3DTA_COMPLEMENT) != 0) c = Complement(c);
    if ((arg & D3DTA_ALPHAREPLICATE) != 0) c = Splat(c.a);
    return c;
}

[[gnu::always_inline]] inline Color Combine(const DrawPipeline& p, const PixelInput& in) {
    Color r[kRegisterCount] = {in.diffuse,      in.diffuse,  {0, 0, 0, 1},
                               p.textureFactor, in.specular, {0, 0, 0, 0}};
    for (int i = 0; i < p.stageCount; ++i) {
        const StageProgram& s = p.stages[i];
        if (s.sampled) {
            // A stage that reads a texture it does not have passes the current colour on, so
            // untextured draws under the default stage states show the vertex colour and alpha.
            const SamplerSetup& setup = p.samplers.setup[i];
            if (!setup.bound) continue;
            // Coordinate sets the vertices do not carry read as (0, 0).
            static const float kNoCoordinates[2] = {0.0f, 0.0f};
            const float* uv = s.texSet < p.vertexTexSets ? in.tex[s.texSet] : kNoCoordinates;
            r[D3DTA_TEXTURE] = Sample(setup, p.samplers.choice[i], uv[0], uv[1]);
        }
        StageAlphas alphas = {r[D3DTA_DIFFUSE].a, r[D3DTA_TEXTURE].a, r[D3DTA_TFACTOR].a,
                              r[D3DTA_CURRENT].a};
        Color color = ApplyOp(s.colorOp, Arg(s.colorArgs[0], r), Arg(s.colorArgs[1], r),
                              Arg(s.colorArgs[2], r), alphas);
        // An alpha operation left disabled under an enabled colour operation passes alpha on.
        float alpha = r[D3DTA_CURRENT].a;
        if (s.alphaOp != D3DTOP_DISABLE) {
            alpha = ApplyOp(s.alphaOp, Arg(s.alphaArgs[0], r), Arg(s.alphaArgs[1], r),
                            Arg(s.alphaArgs[2], r), alphas)
                        .a;
        }
        r[s.toTemp ? D3DTA_TEMP : D3DTA_CURRENT] =
            Saturate(Color{color.r, color.g, color.b, alpha});
    }
    Color out = r[D3DTA_CURRENT];
    if (p.specularAdd) {
        out.r = Saturate(out.r + in.specular.r);
        out.g = Saturate(out.g + in.specular.g);
        out.b = Saturate(out.b + in.specular.b);
    }
    return out;
}

[[gnu::always_inline]] inline Color BlendFactor(DWORD factor, Color s, Color d) {
    switch (factor) {
        case D3DBLEND_ONE:
            return Splat(1.0f);
        case D3DBLEND_SRCCOLOR:
            return s;
        case D3DBLEND_INVSRCCOLOR:
            return Complement(s);
        case D3DBLEND_SRCALPHA:
        case D3DBLEND_BOTHSRCALPHA:
            return Splat(s.a);
        case D3DBLEND_INVSRCALPHA:
        case D3DBLEND_BOTHINVSRCALPHA:
            return Splat(1.0f - s.a);
        case D3DBLEND_DESTALPHA:
            return Splat(d.a);
        case D3DBLEND_INVDESTALPHA:
            return Splat(1.0f - d.a);
        case D3DBLEND_DESTCOLOR:
            return d;
        case D3DBLEND_INVDESTCOLOR:
            return Complement(d);
        case D3DBLEND_SRCALPHASAT: {
            float f = std::min(s.a, 1.0f - d.a);
            return {f, f, f, 1.0f};
        }
        default:  // ZERO, and values Direct3D does not define
            return Splat(0.0f);
    }
}

[[gnu::always_inline]] inline Color Blend(const DrawPipeline& p, Color s, Color d) {
    DWORD src = p.srcBlend, dest = p.destBlend;
    // The BOTH factors set the destination factor too.
    if (src == D3DBLEND_BOTHSRCALPHA) dest = D3DBLEND_INVSRCALPHA;
    if (src == D3DBLEND_BOTHINVSRCALPHA) dest = D3DBLEND_SRCALPHA;
    Color fs = BlendFactor(src, s, d);
    Color fd = BlendFactor(dest, s, d);
    switch (p.blendOp) {
        case D3DBLENDOP_SUBTRACT:
            return Saturate(s * fs - d * fd);
        case D3DBLENDOP_REVSUBTRACT:
            return Saturate(d * fd - s * fs);
        case D3DBLENDOP_MIN:
            return s.v < d.v ? s.v : d.v;
        case D3DBLENDOP_MAX:
            return s.v > d.v ? s.v : d.v;
        default:
            return Saturate(s * fs + d * fd);
    }
}

void Intersect(RECT* r, LONG left, LONG top, LONG right, LONG bottom) {
    r->left = std::max(r->left, left);
    r->top = std::max(r->top, top);
    r->right = std::min(r->right, right);
    r->bottom = std::min(r->bottom, bottom);
}

Texture* BoundTexture(IDirect3DBaseTexture9* texture) {
    if (texture == nullptr || texture->GetType() != D3DRTYPE_TEXTURE) return nullptr;
    return static_cast<Texture*>(static_cast<IDirect3DTexture9*>(texture));
}

HRESULT BuildStages(const DeviceState& st, DrawPipeline* p) {
    DWORD reads = 0;
    p->stageCount = 0;
    for (int i = 0; i < kTextureStages; ++i) {
        const DWORD* ss = st.stageStates[i];
        StageProgram& s = p->stages[i];
        s.colorOp = ss[D3DTSS_COLOROP];
        if (s.colorOp == D3DTOP_DISABLE) break;
        s.alphaOp = ss[D3DTSS_ALPHAOP];
        s.colorArgs[0] = ss[D3DTSS_COLORARG0];
        s.colorArgs[1] = ss[D3DTSS_COLORARG1];
        s.colorArgs[2] = ss[D3DTSS_COLORARG2];
        s.alphaArgs[0] = ss[D3DTSS_ALPHAARG0];
        s.alphaArgs[1] = ss[D3DTSS_ALPHAARG1];
        s.alphaArgs[2] = ss[D3DTSS_ALPHAARG2];
        if (!IsKnownOp(s.colorOp) || !IsKnownOp(s.alphaOp)) return D3DERR_INVALIDCALL;
        DWORD stageReads = 0;
        if (!CheckArgs(s.colorOp, s.colorArgs, &stageReads)) return D3DERR_INVALIDCALL;
        if (s.alphaOp == D3DTOP_DISABLE) {
            s.alphaArgs[0] = s.alphaArgs[1] = s.alphaArgs[2] = D3DTA_CURRENT;
        } else if (!CheckArgs(s.alphaOp, s.alphaArgs, &stageReads)) {
            return D3DERR_INVALIDCALL;
        }
        s.sampled = (stageReads & (1u << D3DTA_TEXTURE)) != 0 || UsesTextureAlpha(s.colorOp) ||
                    UsesTextureAlpha(s.alphaOp);
        s.toTemp = (ss[D3DTSS_RESULTARG] & D3DTA_SELECTMASK) == D3DTA_TEMP;
        s.texSet =
            static_cast<int>(std::min<DWORD>(ss[D3DTSS_TEXCOORDINDEX] & 0xFFFF, kMaxTexSets));
        reads |= stageReads;
        p->stageCount = i + 1;
        if (s.sampled) {
            p->samplerUsed[i] = true;
            p->lodTexSet[i] = s.texSet;
            if (s.texSet < p->vertexTexSets) p->texSets |= 1u << s.texSet;
        }
    }
    p->needsSpecular = p->specularAdd || (reads & (1u << D3DTA_SPECULAR)) != 0;
    return D3D_OK;
}

}  // namespace

bool Compare(DWORD func, DWORD value, DWORD reference) {
    switch (func) {
        case D3DCMP_NEVER:
            return false;
        case D3DCMP_LESS:
            return value < reference;
        case D3DCMP_EQUAL:
            return value == reference;
        case D3DCMP_LESSEQUAL:
            return value <= reference;
        case D3DCMP_GREATER:
            return value > reference;
        case D3DCMP_NOTEQUAL:
            return value != reference;
        case D3DCMP_GREATEREQUAL:
            return value >= reference;
        default:
            return true;
    }
}

HRESULT BuildPipeline(Device& device, int vertexTexSets, DrawPipeline* p) {
    const DeviceState& st = device.state;
    const DWORD* rs = st.renderStates;
    Surface* target = st.renderTargets[0];
    if (target == nullptr || st.vertexShader != nullptr) return D3DERR_INVALIDCALL;

    p->target = target;
    const D3DVIEWPORT9& vp = st.viewport;
    p->clip = {static_cast<LONG>(vp.X), static_cast<LONG>(vp.Y), static_cast<LONG>(vp.X + vp.Width),
               static_cast<LONG>(vp.Y + vp.Height)};
    Intersect(&p->clip, 0, 0, static_cast<LONG>(target->width), static_cast<LONG>(target->height));
    if (rs[D3DRS_SCISSORTESTENABLE] != FALSE) {
        Intersect(&p->clip, st.scissor.left, st.scissor.top, st.scissor.right, st.scissor.bottom);
    }
    p->depth = nullptr;
    if (rs[D3DRS_ZENABLE] != D3DZB_FALSE && st.depthStencil != nullptr) {
        p->depth = st.depthStencil;
        Intersect(&p->clip, 0, 0, static_cast<LONG>(p->depth->width),
                  static_cast<LONG>(p->depth->height));
        p->depthWrite = rs[D3DRS_ZWRITEENABLE] != FALSE;
        p->depthFunc = rs[D3DRS_ZFUNC];
        std::memcpy(&p->depthBias, &rs[D3DRS_DEPTHBIAS], sizeof(float));
    }

    p->alphaTest = rs[D3DRS_ALPHATESTENABLE] != FALSE;
    p->alphaFunc = rs[D3DRS_ALPHAFUNC];
    p->alphaRef = rs[D3DRS_ALPHAREF] & 0xFF;
    p->blend = rs[D3DRS_ALPHABLENDENABLE] != FALSE;
    p->srcBlend = rs[D3DRS_SRCBLEND];
    p->destBlend = rs[D3DRS_DESTBLEND];
    // Without the blend-operation capability every blend adds, as on such hardware.
    p->blendOp = gD3d9.profile.nativeSubtract ? rs[D3DRS_BLENDOP] : D3DBLENDOP_ADD;
    p->gouraud = rs[D3DRS_SHADEMODE] != D3DSHADE_FLAT;
    p->textureFactor = ColorFromArgb(rs[D3DRS_TEXTUREFACTOR]);
    p->vertexTexSets = vertexTexSets;
    p->texSets = 0;
    for (int i = 0; i < kSamplers; ++i) {
        p->samplerUsed[i] = false;
        p->lodTexSet[i] = 0;
    }

    if (st.pixelShader != nullptr) {
        p->kernel = st.pixelShader->kernel;
        p->shaderContext = {st.pixelFloats, st.pixelInts, st.pixelBools, &p->samplers};
        p->stageCount = 0;
        p->specularAdd = false;
        p->needsSpecular = true;
        p->texSets = (1u << vertexTexSets) - 1;
        for (int i = 0; i < kSamplers; ++i) {
            p->samplerUsed[i] = st.textures[i] != nullptr;
            p->lodTexSet[i] = i < vertexTexSets ? i : 0;
        }
    } else {
        p->kernel = nullptr;
        p->specularAdd = rs[D3DRS_SPECULARENABLE] != FALSE;
        HRESULT built = BuildStages(st, p);
        if (built != D3D_OK) return built;
    }
    for (int i = 0; i < kSamplers; ++i) {
        Texture* texture = p->samplerUsed[i] ? BoundTexture(st.textures[i]) : nullptr;
        PrepareSampler(texture, st.samplerStates[i], &p->samplers.setup[i]);
    }
    return D3D_OK;
}

void BeginPrimitive(DrawPipeline& p, const Interpolants& in) {
    for (int i = 0; i < kSamplers; ++i) {
        if (!p.samplerUsed[i]) continue;
        int set = p.lodTexSet[i];
        float d[2][2] = {{0, 0}, {0, 0}};  // [u or v][along x or y]
        if (set < p.vertexTexSets) {
            for (int k = 0; k < 2; ++k) {
                const Plane& plane = in.tex[set][k];
                if (!in.perspective) {
                    d[k][0] = static_cast<float>(plane.a);
                    d[k][1] = static_cast<float>(plane.b);
                    continue;
                }
                // d(f/q)/dx = (f' q - f q') / q^2 at the reference point.
                double q = in.q.a * in.refX + in.q.b * in.refY + in.q.c;
                double f = plane.a * in.refX + plane.b * in.refY + plane.c;
                if (q == 0.0) continue;
                d[k][0] = static_cast<float>((plane.a * q - f * in.q.a) / (q * q));
                d[k][1] = static_cast<float>((plane.b * q - f * in.q.b) / (q * q));
            }
        }
        p.samplers.choice[i] =
            ChooseSampling(p.samplers.setup[i], d[0][0], d[1][0], d[0][1], d[1][1]);
    }
}

namespace {

// A plane with y fixed: value = a * x + base.
struct RowPlane {
    float a, base;
};

inline RowPlane AtRow(const Plane& plane, int y) {
    return {static_cast<float>(plane.a), static_cast<float>(plane.b * y + plane.c)};
}

inline float Eval(const RowPlane& r, float x) {
    return r.a * x + r.base;
}

// The four planes of a colour with y fixed, evaluated together.
struct RowColor {
    ColorLanes a, base;
};

inline RowColor AtRow(const Plane (&planes)[4], int y) {
    RowColor row;
    for (int c = 0; c < 4; ++c) {
        RowPlane plane = AtRow(planes[c], y);
        row.a[c] = plane.a;
        row.base[c] = plane.base;
    }
    return row;
}

inline Color Eval(const RowColor& r, float x) {
    return r.a * x + r.base;
}

}  // namespace

void ShadeSpan(DrawPipeline& p, const Interpolants& in, int y, int x0, int x1) {
    RowPlane q = in.perspective ? AtRow(in.q, y) : RowPlane{0.0f, 1.0f};
    RowPlane z = AtRow(in.z, y);
    RowColor diffuse = AtRow(in.diffuse, y), specular = AtRow(in.specular, y);
    int sets[kMaxTexSets];
    int setCount = 0;
    RowPlane tex[kMaxTexSets][2];
    for (int set = 0; set < kMaxTexSets; ++set) {
        if ((p.texSets & (1u << set)) == 0) continue;
        sets[setCount++] = set;
        tex[set][0] = AtRow(in.tex[set][0], y);
        tex[set][1] = AtRow(in.tex[set][1], y);
    }

    Surface& target = *p.target;
    const D3DFORMAT targetFormat = target.format;
    const UINT targetBytes = target.info->bytesPerPixel;
    BYTE* targetRow = target.bits.get() + static_cast<size_t>(y) * target.pitch;
    BYTE* depthRow = nullptr;
    D3DFORMAT depthFormat = D3DFMT_UNKNOWN;
    UINT depthBytes = 0;
    if (p.depth != nullptr) {
        depthRow = p.depth->bits.get() + static_cast<size_t>(y) * p.depth->pitch;
        depthFormat = p.depth->format;
        depthBytes = p.depth->info->bytesPerPixel;
    }

    PixelInput pin{};
    for (int x = x0; x < x1; ++x) {
        const float fx = static_cast<float>(x);
        DWORD depthValue = 0;
        if (depthRow != nullptr) {
            depthValue = QuantizeDepth(depthFormat, Eval(z, fx) + p.depthBias);
            if (!Compare(p.depthFunc, depthValue,
                         ReadDepth(depthFormat, depthRow + x * depthBytes))) {
                continue;
            }
        }
        const float w = in.perspective ? 1.0f / Eval(q, fx) : 1.0f;
        if (in.flat) {
            pin.diffuse = in.flatDiffuse;
            pin.specular = in.flatSpecular;
        } else {
            pin.diffuse = Saturate(Eval(diffuse, fx) * w);
            if (p.needsSpecular) pin.specular = Saturate(Eval(specular, fx) * w);
        }
        for (int i = 0; i < setCount; ++i) {
            int set = sets[i];
            pin.tex[set][0] = Eval(tex[set][0], fx) * w;
            pin.tex[set][1] = Eval(tex[set][1], fx) * w;
        }

        Color out;
        if (p.kernel != nullptr) {
            PixelShaderInput sin;
            sin.color0 = {pin.diffuse.r, pin.diffuse.g, pin.diffuse.b, pin.diffuse.a};
            sin.color1 = {pin.specular.r, pin.specular.g, pin.specular.b, pin.specular.a};
            for (int set = 0; set < kMaxTexSets; ++set) {
                sin.texcoord[set] = {pin.tex[set][0], pin.tex[set][1], 0.0f, 1.0f};
            }
            sin.x = fx;
            sin.y = static_cast<float>(y);
            ShaderFloat4 result;
            if (!p.kernel(sin, p.shaderContext, &result)) continue;
            out = Saturate(Color{result.x, result.y, result.z, result.w});
        } else {
            out = Combine(p, pin);
        }

        if (p.alphaTest && !Compare(p.alphaFunc, QuantizeChannel(out.a, 255.0f), p.alphaRef)) {
            continue;
        }
        if (depthRow != nullptr && p.depthWrite) {
            WriteDepth(depthFormat, depthRow + x * depthBytes, depthValue);
        }
        BYTE* pixel = targetRow + x * targetBytes;
        if (p.blend) out = Blend(p, out, ColorFromArgb(DecodePixel(targetFormat, pixel)));
        EncodePixel(targetFormat, pixel, out);
    }
}
