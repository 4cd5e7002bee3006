// Per-pixel work of a draw: interpolation, the texture-stage combiner or a pixel-shader
// kernel, alpha test, depth, blending and the encode into the render target. The draw's state
// is resolved once into a DrawPipeline; ShadeSpan, the general path, interprets it pixel by
// pixel in the device's integer arithmetic (pixel_math.h), which the specialised spans
// (spans.h) reproduce exactly.
#include "pixel_pipeline.h"

#include <cstring>

#include "device.h"
#include "span_steps.h"
#include "spans.h"

namespace {

using namespace pixel_math;

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

// The combiner's registers, indexed by D3DTA_ selector.
constexpr int kRegisterCount = D3DTA_TEMP + 1;

inline int Lerp255(int from, int to, int alpha) {
    return Div255(to * alpha + from * (255 - alpha));
}

inline int BlendFactor(DWORD factor, int channel, DWORD s, DWORD d) {
    switch (factor) {
        case D3DBLEND_ONE:
            return 255;
        case D3DBLEND_SRCCOLOR:
            return Channel(s, channel);
        case D3DBLEND_INVSRCCOLOR:
            return 255 - Channel(s, channel);
        case D3DBLEND_SRCALPHA:
        case D3DBLEND_BOTHSRCALPHA:
            return static_cast<int>(Alpha(s));
        case D3DBLEND_INVSRCALPHA:
        case D3DBLEND_BOTHINVSRCALPHA:
            return 255 - static_cast<int>(Alpha(s));
        case D3DBLEND_DESTALPHA:
            return static_cast<int>(Alpha(d));
        case D3DBLEND_INVDESTALPHA:
            return 255 - static_cast<int>(Alpha(d));
        case D3DBLEND_DESTCOLOR:
            return Channel(d, channel);
        case D3DBLEND_INVDESTCOLOR:
            return 255 - Channel(d, channel);
        case D3DBLEND_SRCALPHASAT:
            return channel == 3
                       ? 255
                       : std::min(static_cast<int>(Alpha(s)), 255 - static_cast<int>(Alpha(d)));
        default:  // ZERO, and values Direct3D does not define
            return 0;
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

using StageStates = DWORD[kTextureStages][kStageStateCount];

HRESULT BuildStages(const StageStates& states, DrawPipeline* p) {
    DWORD reads = 0;
    p->stageCount = 0;
    for (int i = 0; i < kTextureStages; ++i) {
        const DWORD* ss = states[i];
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

// The texture-stage states of a stage program: its stages, then one disabled stage; false for
// a count out of range.
bool StageStatesOf(const ShaderStageProgram& program, StageStates* states) {
    if (program.count < 0 || program.count > kMaxShaderStages) return false;
    for (int i = 0; i < kTextureStages; ++i) {
        DWORD* ss = (*states)[i];
        if (i >= program.count) {
            ss[D3DTSS_COLOROP] = D3DTOP_DISABLE;
            break;
        }
        const ShaderStage& s = program.stages[i];
        ss[D3DTSS_COLOROP] = s.colorOp;
        ss[D3DTSS_COLORARG1] = s.colorArg1;
        ss[D3DTSS_COLORARG2] = s.colorArg2;
        ss[D3DTSS_ALPHAOP] = s.alphaOp;
        ss[D3DTSS_ALPHAARG1] = s.alphaArg1;
        ss[D3DTSS_ALPHAARG2] = s.alphaArg2;
        ss[D3DTSS_COLORARG0] = ss[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        ss[D3DTSS_TEXCOORDINDEX] = s.texCoordIndex;
        ss[D3DTSS_RESULTARG] = s.resultArg;
    }
    return true;
}

inline DWORD ArgValue(DWORD arg, const DWORD* r) {
    return ApplyArgModifiers(arg, r[arg & D3DTA_SELECTMASK]);
}

// The diffuse or specular colour of a pixel of a perspective primitive.
DWORD PerspectiveColor(const Plane (&planes)[4], double x, double y, double w) {
    int c[4];
    for (int i = 0; i < 4; ++i) {
        const Plane& plane = planes[i];
        double value = (plane.a * x + plane.b * y + plane.c) * w;
        c[i] = ChannelFromFixed(RoundToInt64(value * (255.0 * (1 << kColorFraction))));
    }
    return static_cast<DWORD>(c[3]) << 24 | static_cast<DWORD>(c[0]) << 16 |
           static_cast<DWORD>(c[1]) << 8 | static_cast<DWORD>(c[2]);
}

DWORD FixedColor(const FixedPlane (&planes)[4], int dx, int dy) {
    int c[4];
    for (int i = 0; i < 4; ++i) c[i] = ChannelFromFixed(FixedValue(planes[i], dx, dy));
    return static_cast<DWORD>(c[3]) << 24 | static_cast<DWORD>(c[0]) << 16 |
           static_cast<DWORD>(c[1]) << 8 | static_cast<DWORD>(c[2]);
}

constexpr double kTexelScale = double{1 << kTexelFraction};

// The texel sampler i reads through coordinate set texSet at pixel (x, y).
DWORD SampleAt(const DrawPipeline& p, const Interpolants& in, int i, int texSet, int x, int y,
               double w) {
    const SamplerSetup& setup = p.samplers.setup[i];
    const SamplerChoice& choice = p.samplers.choice[i];
    auto at = [&](int which) {
        const SamplerLevel& level = setup.levels[which == 0 ? choice.level0 : choice.level1];
        int64_t u = 0, v = 0;
        if (texSet >= p.vertexTexSets) {
            // Coordinate sets the vertices do not carry read as (0, 0).
        } else if (in.perspective) {
            const Plane& pu = in.tex[texSet][0];
            const Plane& pv = in.tex[texSet][1];
            u = RoundToInt64((pu.a * x + pu.b * y + pu.c) * w * (level.width * kTexelScale));
            v = RoundToInt64((pv.a * x + pv.b * y + pv.c) * w * (level.height * kTexelScale));
        } else {
            u = FixedValue(in.coords[i].u[which], x - in.pixelX, y - in.pixelY);
            v = FixedValue(in.coords[i].v[which], x - in.pixelX, y - in.pixelY);
        }
        return sampling::SampleLevel(setup, level, choice.linear, u, v);
    };
    DWORD texel = at(0);
    if (choice.weight1 != 0) texel = sampling::MixLevels(texel, at(1), choice.weight1);
    return texel;
}

// The texel stage i samples at pixel (x, y).
DWORD SampleStage(const DrawPipeline& p, const Interpolants& in, int i, int x, int y, double w) {
    return SampleAt(p, in, i, p.stages[i].texSet, x, y, w);
}

// What a span kernel's SampleTextureSpan needs of the primitive.
struct KernelPrimitive {
    const DrawPipeline* pipeline;
    const Interpolants* in;
    double w;  // of the single pixel of a span in perspective
};

DWORD Combine(const DrawPipeline& p, const Interpolants& in, int x, int y, double w, DWORD diffuse,
              DWORD specular) {
    DWORD r[kRegisterCount] = {diffuse, diffuse, 0xFF000000u, p.textureFactor, specular, 0};
    for (int i = 0; i < p.stageCount; ++i) {
        const StageProgram& s = p.stages[i];
        if (s.sampled) {
            // A stage that reads a texture it does not have passes the current colour on, so
            // untextured draws under the default stage states show the vertex colour and alpha.
            if (!p.samplers.setup[i].bound) continue;
            r[D3DTA_TEXTURE] = SampleStage(p, in, i, x, y, w);
        }
        StageAlphas alphas = {
            static_cast<int>(Alpha(r[D3DTA_DIFFUSE])), static_cast<int>(Alpha(r[D3DTA_TEXTURE])),
            static_cast<int>(Alpha(r[D3DTA_TFACTOR])), static_cast<int>(Alpha(r[D3DTA_CURRENT]))};
        DWORD color =
            ApplyStageOp(s.colorOp, ArgValue(s.colorArgs[0], r), ArgValue(s.colorArgs[1], r),
                         ArgValue(s.colorArgs[2], r), alphas);
        // An alpha operation left disabled under an enabled colour operation passes alpha on.
        DWORD alpha = r[D3DTA_CURRENT];
        if (s.alphaOp != D3DTOP_DISABLE) {
            alpha = ApplyStageOp(s.alphaOp, ArgValue(s.alphaArgs[0], r),
                                 ArgValue(s.alphaArgs[1], r), ArgValue(s.alphaArgs[2], r), alphas);
        }
        r[s.toTemp ? D3DTA_TEMP : D3DTA_CURRENT] = (color & 0x00FFFFFFu) | (alpha & 0xFF000000u);
    }
    DWORD out = r[D3DTA_CURRENT];
    if (p.specularAdd) out = AddSpecular(out, specular);
    return out;
}

}  // namespace

void RunSpanKernel(const DrawPipeline& p, const Interpolants& in, int x, int y, int n, double w,
                   const DWORD* diffuse, const DWORD* specular, DWORD* out, bool* kept) {
    KernelPrimitive primitive = {&p, &in, w};
    PixelShaderSpan span;
    span.x = x;
    span.y = y;
    span.count = n;
    span.diffuse = diffuse;
    span.specular = specular;
    span.primitive = &primitive;
    for (int set = 0; set < kMaxTexSets; ++set) {
        ShaderTexcoordPlane& t = span.texcoords[set];
        t = {};
        if ((p.texSets & (1u << set)) == 0) continue;
        const Plane& pu = in.tex[set][0];
        const Plane& pv = in.tex[set][1];
        if (in.perspective) {
            // One pixel: its coordinates as the constant term.
            t.u[2] = (pu.a * x + pu.b * y + pu.c) * w;
            t.v[2] = (pv.a * x + pv.b * y + pv.c) * w;
        } else {
            t = {{pu.a, pu.b, pu.c}, {pv.a, pv.b, pv.c}};
        }
    }
    p.spanKernel(span, p.shaderContext, out, kept);
}

void SampleTextureSpan(const PixelShaderSpan& span, const PixelShaderContext& context, int sampler,
                       DWORD* out) {
    const auto& k = *static_cast<const KernelPrimitive*>(span.primitive);
    const DrawPipeline& p = *k.pipeline;
    const Interpolants& in = *k.in;
    const SamplerSetup* setup =
        sampler >= 0 && sampler < kPipelineStages
            ? &static_cast<const ShaderSamplers*>(context.samplers)->setup[sampler]
            : nullptr;
    if (setup == nullptr || !setup->bound || !p.samplerUsed[sampler]) {
        std::fill_n(out, span.count, 0xFF000000u);
        return;
    }
    const SamplerChoice& choice = p.samplers.choice[sampler];
    // Without perspective the fetches of the specialised spans give the stages' texels.
    if (!in.perspective && choice.weight1 == 0 && sampler < p.vertexTexSets) {
        const StageCoords& c = in.coords[sampler];
        const int dx = span.x - in.pixelX, dy = span.y - in.pixelY;
        (choice.linear ? FetchLinear : FetchPoint)(
            *setup, setup->levels[choice.level0], FixedValue(c.u[0], dx, dy), c.u[0].dx,
            FixedValue(c.v[0], dx, dy), c.v[0].dx, out, span.count);
        return;
    }
    for (int i = 0; i < span.count; ++i) {
        out[i] = SampleAt(p, in, sampler, sampler, span.x + i, span.y, k.w);
    }
}

DWORD RunPixelKernel(const DrawPipeline& p, const Interpolants& in, int x, int y, double w,
                     DWORD diffuse, DWORD specular, bool* discard) {
    auto unpack = [](DWORD c) {
        auto channel = [c](int i) { return static_cast<float>(Channel(c, i)) * (1.0f / 255.0f); };
        return ShaderFloat4{channel(2), channel(1), channel(0), channel(3)};
    };
    PixelShaderInput sin;
    sin.color0 = unpack(diffuse);
    sin.color1 = unpack(specular);
    for (int set = 0; set < kMaxTexSets; ++set) {
        float uv[2] = {0.0f, 0.0f};
        if ((p.texSets & (1u << set)) != 0) {
            for (int k = 0; k < 2; ++k) {
                const Plane& plane = in.tex[set][k];
                uv[k] = static_cast<float>((plane.a * x + plane.b * y + plane.c) * w);
            }
        }
        sin.texcoord[set] = {uv[0], uv[1], 0.0f, 1.0f};
    }
    sin.x = static_cast<float>(x);
    sin.y = static_cast<float>(y);
    ShaderFloat4 result;
    *discard = !p.kernel(sin, p.shaderContext, &result);
    // Channel by channel: the kernel has just stored them one by one.
    return ByteFromChannel(result.w) << 24 | ByteFromChannel(result.x) << 16 |
           ByteFromChannel(result.y) << 8 | ByteFromChannel(result.z);
}

DWORD ApplyArgModifiers(DWORD arg, DWORD value) {
    if ((arg & D3DTA_COMPLEMENT) != 0) value = ~value;
    if ((arg & D3DTA_ALPHAREPLICATE) != 0) value = Splat(static_cast<int>(Alpha(value)));
    return value;
}

DWORD ApplyStageOp(DWORD op, DWORD a0, DWORD a1, DWORD a2, const StageAlphas& alphas) {
    const int alpha1 = static_cast<int>(Alpha(a1));
    switch (op) {
        case D3DTOP_SELECTARG1:
            return a1;
        case D3DTOP_SELECTARG2:
            return a2;
        case D3DTOP_MODULATE:
            return EachChannel(a1, a2, [](int, int x, int y) { return Mul255(x, y); });
        case D3DTOP_MODULATE2X:
            return EachChannel(a1, a2,
                               [](int, int x, int y) { return std::min(255, Div255(2 * x * y)); });
        case D3DTOP_MODULATE4X:
            return EachChannel(a1, a2,
                               [](int, int x, int y) { return std::min(255, Div255(4 * x * y)); });
        case D3DTOP_ADD:
            return EachChannel(a1, a2, [](int, int x, int y) { return std::min(255, x + y); });
        case D3DTOP_ADDSIGNED:  // x + y - 0.5, the half rounding up
            return EachChannel(a1, a2, [](int, int x, int y) { return Clamp255(x + y - 127); });
        case D3DTOP_ADDSIGNED2X:
            return EachChannel(a1, a2,
                               [](int, int x, int y) { return Clamp255(2 * (x + y) - 255); });
        case D3DTOP_SUBTRACT:
            return EachChannel(a1, a2, [](int, int x, int y) { return std::max(0, x - y); });
        case D3DTOP_ADDSMOOTH:  // x + y - x y
            return EachChannel(a1, a2, [](int, int x, int y) { return x + Mul255(y, 255 - x); });
        case D3DTOP_BLENDDIFFUSEALPHA:
        case D3DTOP_BLENDTEXTUREALPHA:
        case D3DTOP_BLENDFACTORALPHA:
        case D3DTOP_BLENDCURRENTALPHA: {
            int alpha = op == D3DTOP_BLENDDIFFUSEALPHA   ? alphas.diffuse
                        : op == D3DTOP_BLENDTEXTUREALPHA ? alphas.texture
                        : op == D3DTOP_BLENDFACTORALPHA  ? alphas.factor
                                                         : alphas.current;
            return EachChannel(a2, a1, [alpha](int, int x, int y) { return Lerp255(x, y, alpha); });
        }
        case D3DTOP_BLENDTEXTUREALPHAPM:
            return EachChannel(a1, a2, [&alphas](int, int x, int y) {
                return std::min(255, x + Mul255(y, 255 - alphas.texture));
            });
        case D3DTOP_MODULATEALPHA_ADDCOLOR:
            return EachChannel(a1, a2, [alpha1](int, int x, int y) {
                return std::min(255, x + Mul255(y, alpha1));
            });
        case D3DTOP_MODULATECOLOR_ADDALPHA:
            return EachChannel(a1, a2, [alpha1](int, int x, int y) {
                return std::min(255, Mul255(x, y) + alpha1);
            });
        case D3DTOP_MODULATEINVALPHA_ADDCOLOR:
            return EachChannel(a1, a2, [alpha1](int, int x, int y) {
                return std::min(255, x + Mul255(y, 255 - alpha1));
            });
        case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
            return EachChannel(a1, a2, [alpha1](int, int x, int y) {
                return std::min(255, Mul255(255 - x, y) + alpha1);
            });
        case D3DTOP_DOTPRODUCT3: {
            // 4 ((x - 0.5)(y - 0.5) summed over red, green and blue), in 255ths.
            int sum = 0;
            for (int i = 0; i < 3; ++i) {
                sum += (2 * Channel(a1, i) - 255) * (2 * Channel(a2, i) - 255);
            }
            return Splat(SignedDiv255(sum));
        }
        case D3DTOP_MULTIPLYADD:
            return EachChannel(a1, a2, [a0](int i, int x, int y) {
                return std::min(255, Channel(a0, i) + Mul255(x, y));
            });
        default:  // LERP: a0 a1 + (1 - a0) a2
            return EachChannel(a1, a2,
                               [a0](int i, int x, int y) { return Lerp255(y, x, Channel(a0, i)); });
    }
}

DWORD AddSpecular(DWORD color, DWORD specular) {
    return (color & 0xFF000000u) |
           (EachChannel(color, specular, [](int, int x, int y) { return std::min(255, x + y); }) &
            0x00FFFFFFu);
}

DWORD BlendPixel(DWORD srcBlend, DWORD destBlend, DWORD blendOp, DWORD s, DWORD d) {
    // The BOTH factors set the destination factor too.
    if (srcBlend == D3DBLEND_BOTHSRCALPHA) destBlend = D3DBLEND_INVSRCALPHA;
    if (srcBlend == D3DBLEND_BOTHINVSRCALPHA) destBlend = D3DBLEND_SRCALPHA;
    return EachChannel(s, d, [&](int i, int x, int y) {
        int fs = BlendFactor(srcBlend, i, s, d), fd = BlendFactor(destBlend, i, s, d);
        switch (blendOp) {
            case D3DBLENDOP_SUBTRACT:
                return SignedDiv255(x * fs - y * fd);
            case D3DBLENDOP_REVSUBTRACT:
                return SignedDiv255(y * fd - x * fs);
            case D3DBLENDOP_MIN:
                return std::min(x, y);
            case D3DBLENDOP_MAX:
                return std::max(x, y);
            default:
                return std::min(255, Div255(x * fs + y * fd));
        }
    });
}

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

FixedPlane MakeFixedPlane(const Plane& plane, double scale, int refX, int refY) {
    // Offsets from the reference pixel stay below 2^14, so these limits keep every value of
    // the plane inside 64 bits.
    constexpr int64_t kAtLimit = int64_t{1} << 50, kStepLimit = int64_t{1} << 40;
    double at = (plane.a * refX + plane.b * refY + plane.c) * scale;
    return {std::clamp(RoundToInt64(at), -kAtLimit, kAtLimit),
            std::clamp(RoundToInt64(plane.a * scale), -kStepLimit, kStepLimit),
            std::clamp(RoundToInt64(plane.b * scale), -kStepLimit, kStepLimit)};
}

HRESULT BuildPipeline(Device& device, int vertexTexSets, const ShaderStageProgram* program,
                      bool special, DrawPipeline* p) {
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
    p->textureFactor = rs[D3DRS_TEXTUREFACTOR];
    p->vertexTexSets = vertexTexSets;
    p->texSets = 0;
    for (int i = 0; i < kSamplers; ++i) {
        p->samplerUsed[i] = false;
        p->lodTexSet[i] = 0;
    }

    if (program != nullptr) {
        // Specular is added by the fixed pipeline only, which the shader replaces.
        p->kernel = nullptr;
        p->spanKernel = nullptr;
        p->specularAdd = false;
        p->textureFactor = program->textureFactor;
        StageStates states;
        if (!StageStatesOf(*program, &states)) return D3DERR_INVALIDCALL;
        HRESULT built = BuildStages(states, p);
        if (built != D3D_OK) return built;
    } else if (st.pixelShader != nullptr) {
        p->kernel = st.pixelShader->kernel;
        p->spanKernel = st.pixelShader->spanKernel;
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
        p->spanKernel = nullptr;
        p->specularAdd = rs[D3DRS_SPECULARENABLE] != FALSE;
        HRESULT built = BuildStages(st.stageStates, p);
        if (built != D3D_OK) return built;
    }
    for (int i = 0; i < kSamplers; ++i) {
        PrepareSamplerStates(st.samplerStates[i], &p->samplers.setup[i]);
    }
    RefreshPipelineTextures(device, *p);
    p->plan.usable = false;
    if (special) PlanSpans(*p);
    return D3D_OK;
}

void RefreshPipelineTextures(Device& device, DrawPipeline& p) {
    const DeviceState& st = device.state;
    for (int i = 0; i < kSamplers; ++i) {
        Texture* texture = p.samplerUsed[i] ? BoundTexture(st.textures[i]) : nullptr;
        PrepareSamplerTexture(texture, st.samplerStates[i], &p.samplers.setup[i]);
    }
}

void BeginPrimitive(DrawPipeline& p, Interpolants& in, int refX, int refY) {
    in.pixelX = refX;
    in.pixelY = refY;
    for (int i = 0; i < kSamplers; ++i) {
        if (!p.samplerUsed[i]) continue;
        const SamplerSetup& setup = p.samplers.setup[i];
        // With one level and one filter the footprint cannot change the choice.
        if (setup.levelCount <= 1 && setup.magFilter == setup.minFilter) {
            p.samplers.choice[i] = ChooseSampling(setup, 0, 0, 0, 0);
            continue;
        }
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
        p.samplers.choice[i] = ChooseSampling(setup, d[0][0], d[1][0], d[0][1], d[1][1]);
    }

    bool special = p.plan.usable && !in.perspective;
    if (!in.perspective) {
        constexpr double kColorScale = 255.0 * (1 << kColorFraction);
        if (!in.flat) {
            for (int c = 0; c < 4; ++c) {
                in.diffuseFixed[c] = MakeFixedPlane(in.diffuse[c], kColorScale, refX, refY);
                if (p.needsSpecular) {
                    in.specularFixed[c] = MakeFixedPlane(in.specular[c], kColorScale, refX, refY);
                }
            }
        }
        // Span kernels sample through sampler i's own coordinate set; stages through theirs.
        const bool spanKernel = p.spanKernel != nullptr;
        const int samplers = spanKernel ? kPipelineStages : p.stageCount;
        for (int i = 0; i < samplers; ++i) {
            const SamplerSetup& setup = p.samplers.setup[i];
            if (spanKernel ? !p.samplerUsed[i] : !p.stages[i].sampled) continue;
            if (!setup.bound) continue;
            const int texSet = spanKernel ? i : p.stages[i].texSet;
            const SamplerChoice& choice = p.samplers.choice[i];
            // Span kernels blend two levels in SampleTextureSpan.
            if (choice.weight1 != 0 && !spanKernel) special = false;
            for (int which = 0; which < (choice.weight1 != 0 ? 2 : 1); ++which) {
                const SamplerLevel& level =
                    setup.levels[which == 0 ? choice.level0 : choice.level1];
                StageCoords& out = in.coords[i];
                if (texSet >= p.vertexTexSets) {
                    out.u[which] = out.v[which] = FixedPlane{0, 0, 0};
                    continue;
                }
                out.u[which] =
                    MakeFixedPlane(in.tex[texSet][0], level.width * kTexelScale, refX, refY);
                out.v[which] =
                    MakeFixedPlane(in.tex[texSet][1], level.height * kTexelScale, refX, refY);
            }
        }
    }
    in.shade = special ? SpecialSpan : ShadeSpan;
    ++(special ? gD3d9.pathCounts.specialised : gD3d9.pathCounts.general);
    if (special) BeginSpecialPrimitive(p, in);
}

void ShadeSpan(DrawPipeline& p, const Interpolants& in, int y, int x0, int x1) {
    const float za = static_cast<float>(in.z.a), zBase = static_cast<float>(in.z.b * y + in.z.c);
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

    for (int x = x0; x < x1; ++x) {
        DWORD depthValue = 0;
        if (depthRow != nullptr) {
            depthValue =
                QuantizeDepth(depthFormat, za * static_cast<float>(x) + zBase + p.depthBias);
            if (!Compare(p.depthFunc, depthValue,
                         ReadDepth(depthFormat, depthRow + x * depthBytes))) {
                continue;
            }
        }
        double w = 1.0;
        if (in.perspective) w = 1.0 / (in.q.a * x + in.q.b * y + in.q.c);
        DWORD diffuse = in.flatDiffuse, specular = in.flatSpecular;
        if (!in.flat) {
            if (in.perspective) {
                diffuse = PerspectiveColor(in.diffuse, x, y, w);
                if (p.needsSpecular) specular = PerspectiveColor(in.specular, x, y, w);
            } else {
                diffuse = FixedColor(in.diffuseFixed, x - in.pixelX, y - in.pixelY);
                if (p.needsSpecular)
                    specular = FixedColor(in.specularFixed, x - in.pixelX, y - in.pixelY);
            }
        }

        DWORD out;
        if (p.spanKernel != nullptr) {
            bool kept;
            RunSpanKernel(p, in, x, y, 1, w, &diffuse, &specular, &out, &kept);
            if (!kept) continue;
        } else if (p.kernel != nullptr) {
            bool discard;
            out = RunPixelKernel(p, in, x, y, w, diffuse, specular, &discard);
            if (discard) continue;
        } else {
            out = Combine(p, in, x, y, w, diffuse, specular);
        }

        if (p.alphaTest && !Compare(p.alphaFunc, Alpha(out), p.alphaRef)) continue;
        if (depthRow != nullptr && p.depthWrite) {
            WriteDepth(depthFormat, depthRow + x * depthBytes, depthValue);
        }
        BYTE* pixel = targetRow + x * targetBytes;
        if (p.blend) {
            out = BlendPixel(p.srcBlend, p.destBlend, p.blendOp, out,
                             DecodePixel(targetFormat, pixel));
        }
        EncodeArgb(targetFormat, pixel, out);
    }
}
