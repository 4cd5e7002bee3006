// Planning and drawing of specialised spans. The plan follows the texture stages as the general
// path's combiner does, but with a buffer for each register value: a register that a stage only
// selects is the same buffer, every other operation writes a new one.
#include "spans.h"

#include <algorithm>

#include "platform/cpu.h"
#include "resources.h"
#include "span_steps.h"

namespace {

bool ChooseBlendKind(const DrawPipeline& p, BlendKind* kind) {
    if (!p.blend) {
        *kind = BlendKind::Replace;
        return true;
    }
    DWORD src = p.srcBlend, dest = p.destBlend, op = p.blendOp;
    if (src == D3DBLEND_BOTHSRCALPHA) dest = D3DBLEND_INVSRCALPHA, src = D3DBLEND_SRCALPHA;
    if (op == D3DBLENDOP_MIN || op == D3DBLENDOP_MAX) {
        *kind = op == D3DBLENDOP_MIN ? BlendKind::Minimum : BlendKind::Maximum;
        return true;
    }
    struct Row {
        DWORD src, dest, op;
        BlendKind kind;
    };
    static constexpr Row kRows[] = {
        {D3DBLEND_ONE, D3DBLEND_ZERO, D3DBLENDOP_ADD, BlendKind::Replace},
        {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, BlendKind::Translucent},
        {D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_ADD, BlendKind::Additive},
        {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_ADD, BlendKind::AddBoth},
        {D3DBLEND_ONE, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, BlendKind::Premultiplied},
        {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, D3DBLENDOP_ADD, BlendKind::Multiply},
        {D3DBLEND_DESTCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, BlendKind::Multiply},
        {D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, BlendKind::InvertDest},
        {D3DBLEND_ZERO, D3DBLEND_ONE, D3DBLENDOP_ADD, BlendKind::Keep},
        {D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT, BlendKind::SubtractAlpha},
        {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_SUBTRACT, BlendKind::SubtractSource},
        {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT, BlendKind::SubtractDest},
    };
    for (const Row& row : kRows) {
        if (row.src == src && row.dest == dest && row.op == op) {
            *kind = row.kind;
            return true;
        }
    }
    return false;
}

// The alpha test as the range the merges test; false when every alpha passes.
bool AlphaRange(DWORD func, int ref, MergeJob* job) {
    auto set = [job](int lo, int hi, bool invert) {
        job->alphaLo = lo;
        job->alphaRange = hi - lo;
        job->alphaInvert = invert;
    };
    switch (func) {
        case D3DCMP_NEVER:
            set(0, 255, true);
            return true;
        case D3DCMP_LESS:
            ref == 0 ? set(0, 255, true) : set(0, ref - 1, false);
            return true;
        case D3DCMP_EQUAL:
            set(ref, ref, false);
            return true;
        case D3DCMP_LESSEQUAL:
            set(0, ref, false);
            return true;
        case D3DCMP_GREATER:
            ref == 255 ? set(0, 255, true) : set(ref + 1, 255, false);
            return true;
        case D3DCMP_NOTEQUAL:
            set(ref, ref, true);
            return true;
        case D3DCMP_GREATEREQUAL:
            set(ref, 255, false);
            return true;
        default:
            return false;
    }
}

class Planner {
public:
    Planner(DrawPipeline& p) : p_(p), plan_(p.plan) {}

    bool Run() {
        plan_.diffuse = NewBuffer();
        plan_.specular = p_.needsSpecular ? NewBuffer() : plan_.diffuse;
        r_[D3DTA_DIFFUSE] = r_[D3DTA_CURRENT] = plan_.diffuse;
        r_[D3DTA_TEXTURE] = Constant(0xFF000000u);
        r_[D3DTA_TFACTOR] = factor_ = Constant(p_.textureFactor);
        r_[D3DTA_SPECULAR] = plan_.specular;
        r_[D3DTA_TEMP] = Constant(0);
        for (int i = 0; i < p_.stageCount; ++i) {
            const StageProgram& s = p_.stages[i];
            if (s.sampled) {
                if (!p_.samplers.setup[i].bound) continue;
                DWORD* texels = NewBuffer();
                plan_.fetchStages[plan_.fetchCount] = i;
                plan_.fetchOut[plan_.fetchCount++] = texels;
                r_[D3DTA_TEXTURE] = texels;
            }
            const DWORD* alphas[4] = {r_[D3DTA_DIFFUSE], r_[D3DTA_TEXTURE], r_[D3DTA_TFACTOR],
                                      r_[D3DTA_CURRENT]};
            const DWORD* color = Operation(s.colorOp, s.colorArgs, alphas);
            const DWORD* alpha = r_[D3DTA_CURRENT];
            if (s.alphaOp != D3DTOP_DISABLE) {
                bool same =
                    s.alphaOp == s.colorOp && std::equal(s.alphaArgs, s.alphaArgs + 3, s.colorArgs);
                alpha = same ? color : Operation(s.alphaOp, s.alphaArgs, alphas);
            }
            const DWORD* result = color;
            if (alpha != color) result = Pair(MergeAlphaStep, color, alpha);
            r_[s.toTemp ? D3DTA_TEMP : D3DTA_CURRENT] = result;
        }
        if (p_.specularAdd)
            r_[D3DTA_CURRENT] = Pair(SpecularAddStep, r_[D3DTA_CURRENT], plan_.specular);
        plan_.merge.source = r_[D3DTA_CURRENT];
        plan_.interpolateDiffuse = p_.gouraud && Reads(plan_.diffuse);
        plan_.interpolateSpecular = p_.gouraud && p_.needsSpecular && Reads(plan_.specular);
        return ok_;
    }

private:
    DWORD* NewBuffer() {
        if (plan_.bufferCount == static_cast<int>(std::size(plan_.buffers))) {
            ok_ = false;
            return plan_.buffers[0].px;
        }
        return plan_.buffers[plan_.bufferCount++].px;
    }

    const DWORD* Constant(DWORD value) {
        DWORD* buffer = NewBuffer();
        std::fill_n(buffer, kSpanChunk, value);
        return buffer;
    }

    CombineStep& NewStep(CombineFn run) {
        if (plan_.stepCount == static_cast<int>(std::size(plan_.steps))) ok_ = false;
        CombineStep& step = plan_.steps[ok_ ? plan_.stepCount++ : 0];
        step = {};
        step.run = run;
        return step;
    }

    // A step of two inputs (ARG1, ARG2) into a new buffer.
    const DWORD* Pair(CombineFn run, const DWORD* first, const DWORD* second) {
        DWORD* out = NewBuffer();
        CombineStep& step = NewStep(run);
        step.args[0] = step.args[1] = first;
        step.args[2] = second;
        step.out = out;
        return out;
    }

    const DWORD* Operation(DWORD op, const DWORD* args, const DWORD* const* alphas) {
        const DWORD* in[3];
        DWORD flips[3];
        for (int k = 0; k < 3; ++k) {
            in[k] = r_[args[k] & D3DTA_SELECTMASK];
            flips[k] = (args[k] & D3DTA_COMPLEMENT) != 0 ? 0xFFFFFFFFu : 0u;
            if ((args[k] & D3DTA_ALPHAREPLICATE) != 0) {
                DWORD* modified = NewBuffer();
                CombineStep& step = NewStep(ModifierStep);
                step.op = args[k];
                step.args[0] = step.args[1] = step.args[2] = in[k];
                step.out = modified;
                in[k] = modified;
                flips[k] = 0;
            }
        }
        // Selecting an unmodified argument needs no step: the register is that buffer.
        if (op == D3DTOP_SELECTARG1 && flips[1] == 0) return in[1];
        if (op == D3DTOP_SELECTARG2 && flips[2] == 0) return in[2];
        DWORD* out = NewBuffer();
        CombineStep& step = NewStep(CombineStepFor(op));
        step.op = op;
        for (int k = 0; k < 3; ++k) {
            step.args[k] = in[k];
            step.flips[k] = flips[k];
        }
        std::copy(alphas, alphas + 4, step.alphas);
        step.out = out;
        return out;
    }

public:
    // When the last step multiplies a buffer by a colour that is the same across a primitive
    // (the flat diffuse colour or the texture factor), that step can be left to a modulated
    // merge: the buffer it multiplies and the colour.
    bool LastModulate(const DWORD** source, const DWORD** factor) const {
        if (plan_.stepCount == 0) return false;
        const CombineStep& last = plan_.steps[plan_.stepCount - 1];
        if (last.out != plan_.merge.source || last.op != D3DTOP_MODULATE ||
            last.run != CombineStepFor(D3DTOP_MODULATE) || last.flips[1] != 0 ||
            last.flips[2] != 0) {
            return false;
        }
        auto constant = [this](const DWORD* b) {
            return b == factor_ || (b == plan_.diffuse && !p_.gouraud);
        };
        for (int k : {1, 2}) {
            if (!constant(last.args[k])) continue;
            *factor = last.args[k];
            *source = last.args[3 - k];
            return true;
        }
        return false;
    }

private:
    bool Reads(const DWORD* buffer) const {
        if (plan_.merge.source == buffer) return true;
        for (int i = 0; i < plan_.stepCount; ++i) {
            const CombineStep& s = plan_.steps[i];
            if (std::find(s.args, s.args + 3, buffer) != s.args + 3) return true;
            if (std::find(s.alphas, s.alphas + 4, buffer) != s.alphas + 4) return true;
        }
        return false;
    }

    DrawPipeline& p_;
    SpanPlan& plan_;
    const DWORD* r_[D3DTA_TEMP + 1] = {};
    const DWORD* factor_ = nullptr;
    bool ok_ = true;
};

void FillBuffer(DWORD* buffer, DWORD value) {
    std::fill_n(buffer, kSpanChunk, value);
}

// The kernel over the chunk (a per-pixel kernel pixel by pixel) into the plan's buffer, then each
// run of pixels it kept merged.
void KernelChunk(const DrawPipeline& p, const Interpolants& in, int x, int y, int n, BYTE* target,
                 int bytes) {
    const SpanPlan& plan = p.plan;
    bool kept[kSpanChunk];
    if (p.spanKernel != nullptr) {
        static_assert(kSpanChunk <= kMaxShaderSpan);
        RunSpanKernel(p, in, x, y, n, 1.0, plan.diffuse, plan.specular, plan.kernelOut, kept);
    } else {
        for (int i = 0; i < n; ++i) {
            bool discard;
            plan.kernelOut[i] =
                RunPixelKernel(p, in, x + i, y, 1.0, plan.diffuse[i], plan.specular[i], &discard);
            kept[i] = !discard;
        }
    }
    MergeJob job = plan.merge;
    for (int i = 0; i < n;) {
        if (!kept[i]) {
            ++i;
            continue;
        }
        int end = i + 1;
        while (end < n && kept[end]) ++end;
        job.source = plan.kernelOut + i;
        job.run(job, target + static_cast<size_t>(i) * bytes, end - i);
        i = end;
    }
}

}  // namespace

bool ProcessorHasSse2() {
    if (!CpuHasCpuidInstruction()) return false;
    unsigned regs[4];
    CpuId(1, regs);
    return (regs[3] & (1u << 26)) != 0;
}

void PlanSpans(DrawPipeline& p) {
    SpanPlan& plan = p.plan;
    plan.usable = false;
    plan.fetchCount = plan.stepCount = plan.bufferCount = 0;
    plan.fill = false;
    plan.kernel = false;
    plan.merge.factor = nullptr;
    if (p.depth != nullptr) return;
    BlendKind kind;
    if (!ChooseBlendKind(p, &kind)) return;
    MergeJob& merge = plan.merge;
    bool alphaTest = p.alphaTest && AlphaRange(p.alphaFunc, static_cast<int>(p.alphaRef), &merge);
    merge.run = MergeFor(p.target->format, kind, alphaTest, false);
    if (merge.run == nullptr) return;
    if (p.kernel != nullptr || p.spanKernel != nullptr) {
        // The kernel's output buffer is followed by another, so merges may read past a run.
        plan.kernel = true;
        plan.diffuse = plan.buffers[0].px;
        plan.specular = plan.buffers[1].px;
        plan.kernelOut = plan.buffers[2].px;
        plan.bufferCount = 4;
        merge.source = plan.kernelOut;
        plan.interpolateDiffuse = plan.interpolateSpecular = p.gouraud;
        plan.usable = true;
        return;
    }
    Planner planner(p);
    if (!planner.Run()) return;
    const DWORD *source, *factor;
    MergeFn modulated = MergeFor(p.target->format, kind, alphaTest, true);
    if (modulated != nullptr && planner.LastModulate(&source, &factor)) {
        --plan.stepCount;
        merge.run = modulated;
        merge.source = source;
        merge.factor = factor;
    }
    plan.fill = !p.gouraud && kind == BlendKind::Replace && !alphaTest &&
                merge.source == plan.diffuse && merge.factor == nullptr;
    plan.usable = true;
}

void BeginSpecialPrimitive(DrawPipeline& p, const Interpolants& in) {
    SpanPlan& plan = p.plan;
    if (!in.flat || plan.fill) return;
    FillBuffer(plan.diffuse, in.flatDiffuse);
    if (plan.specular != plan.diffuse) FillBuffer(plan.specular, in.flatSpecular);
}

void SpecialSpan(DrawPipeline& p, const Interpolants& in, int y, int x0, int x1) {
    const SpanPlan& plan = p.plan;
    Surface& target = *p.target;
    const int bytes = target.info->bytesPerPixel;
    BYTE* row = target.bits.get() + static_cast<size_t>(y) * target.pitch;
    if (plan.fill) {
        FillRow(target.format, row + static_cast<size_t>(x0) * bytes, x1 - x0, in.flatDiffuse);
        return;
    }
    const int dy = y - in.pixelY;
    for (int x = x0; x < x1; x += kSpanChunk) {
        const int n = std::min(kSpanChunk, x1 - x);
        const int dx = x - in.pixelX;
        for (int k = 0; k < plan.fetchCount; ++k) {
            const int i = plan.fetchStages[k];
            const SamplerSetup& setup = p.samplers.setup[i];
            const SamplerChoice& choice = p.samplers.choice[i];
            const StageCoords& c = in.coords[i];
            (choice.linear ? FetchLinear : FetchPoint)(
                setup, setup.levels[choice.level0], FixedValue(c.u[0], dx, dy), c.u[0].dx,
                FixedValue(c.v[0], dx, dy), c.v[0].dx, plan.fetchOut[k], n);
        }
        if (plan.interpolateDiffuse) InterpolateColors(in.diffuseFixed, dx, dy, plan.diffuse, n);
        if (plan.interpolateSpecular) {
            InterpolateColors(in.specularFixed, dx, dy, plan.specular, n);
        }
        if (plan.kernel) {
            KernelChunk(p, in, x, y, n, row + static_cast<size_t>(x) * bytes, bytes);
            continue;
        }
        for (int i = 0; i < plan.stepCount; ++i) plan.steps[i].run(plan.steps[i], n);
        plan.merge.run(plan.merge, row + static_cast<size_t>(x) * bytes, n);
    }
}
