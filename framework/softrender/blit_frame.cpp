// Set-up shared by the blits and the rasteriser: refusals, clipping, the mode at the current
// parameter and its shortcuts, the source kind, the table rows each loop reads, and the
// packed-byte loop selection.
#include "softrender/blit_frame.h"

#include <algorithm>

#include "core/system_info.h"
#include "softrender/blits.h"

struct BlitState {
    bool plainLoopsOnly;  // test hook
};
static BlitState gBlits;

void SetBlitPlainLoopsOnly(bool on) {
    gBlits.plainLoopsOnly = on;
}

bool PackedByteLoopsSelected() {
    return gSystemInfo.mmxUsable != 0 && !gBlits.plainLoopsOnly;
}

bool CanDrawOnto(const MEMIMG* dest) {
    const MemImgBody* d = dest->body;
    if (d->paletteFlag == 1 || d->alphaFlag == 1) return false;
    return d->colorType == 0 || d->colorType == 1;
}

bool CanBlitOnto(const MEMIMG* dest, const MEMIMG* src) {
    return src->body->colorType == dest->body->colorType && CanDrawOnto(dest);
}

RECT DrawableArea(const MEMIMG* dest) {
    const RECT& a = gMemImgDraw.drawArea;
    RECT r;
    r.left = std::max<LONG>(a.left, 0);
    r.top = std::max<LONG>(a.top, 0);
    r.right = std::max(std::min<LONG>(a.right, dest->width), r.left);
    r.bottom = std::max(std::min<LONG>(a.bottom, dest->height), r.top);
    return r;
}

RECT ClipWideRect(int64_t left, int64_t top, int64_t right, int64_t bottom, const RECT& area) {
    right = std::max(right, left);
    bottom = std::max(bottom, top);
    RECT r;
    r.bottom = static_cast<LONG>(std::clamp<int64_t>(bottom, area.top, area.bottom));
    r.top = static_cast<LONG>(std::clamp<int64_t>(top, area.top, area.bottom));
    r.right = static_cast<LONG>(std::clamp<int64_t>(right, area.left, area.right));
    r.left = static_cast<LONG>(std::clamp<int64_t>(left, area.left, area.right));
    return r;
}

static SrcKind KindOf(const MemImgBody* b) {
    const bool wide = b->colorType == 1;
    if (b->paletteFlag == 1) return wide ? SrcKind::Palette32 : SrcKind::Palette565;
    if (b->alphaFlag == 1) return wide ? SrcKind::Alpha32 : SrcKind::Alpha565;
    return wide ? SrcKind::Direct32 : SrcKind::Direct565;
}

uint32_t CurrentBlendParam() {
    return static_cast<uint32_t>(std::clamp<int32_t>(gMemImgDraw.blendParam, 0, 255));
}

int ModeAtParam(uint32_t mode, uint32_t p) {
    if (mode > 11 || (mode >= 5 && mode <= 9)) return -1;
    if (mode >= 1 && mode <= 3 && p == 0) return -1;
    if (mode == 1 && p == 255) return 0;
    return static_cast<int>(mode);
}

// The operation a mode runs at parameter p, or -1 when it draws nothing. Only the unscaled and
// scaled loops have shortcut operations.
static int ChooseOp(uint32_t mode, uint32_t p, bool palette, bool plain, BlitPath path) {
    // A palette source still runs the subtract at 0, which moves the low bits of green and red.
    if (mode == 3 && p == 0 && palette) return 3;
    const int op = ModeAtParam(mode, p);
    if (op < 0 || !plain) return op;
    if (path == BlitPath::Unscaled) {
        if (op == 1 && p == 128) return kOpHalfMix;
        if (op == 2 && p == 255) return kOpRawAdd;
    }
    const bool rawSub = path == BlitPath::Unscaled || path == BlitPath::Scaled;
    if (rawSub && op == 3 && p == 255) return kOpRawSub;
    return op;
}

BlendContext ParamBlendContext(uint32_t p) {
    const MemImgDrawState& st = gMemImgDraw;
    BlendContext c{};
    c.p = p;
    c.productP = st.productTable[p];
    c.signedP = st.signedProductTable[p] + 255;
    c.lerp6Block = &st.lerp6Table[p / 4][0][0];
    return c;
}

bool PrepareBlit(const MEMIMG* src, int32_t trans, const MEMIMG* mask, BlitPath path,
                 BlitSetup* out) {
    const MemImgDrawState& st = gMemImgDraw;
    const MemImgBody* body = src->body;
    const uint32_t p = CurrentBlendParam();
    const uint32_t bright = st.bright & 0xFFFFFF;

    out->kind = KindOf(body);
    out->mask = mask != nullptr;
    out->bright = bright != 0xFFFFFF;
    const bool plain = !out->mask && !out->bright && !HasAlpha(out->kind);
    out->op = ChooseOp(static_cast<uint32_t>(st.blendMode), p, IsPalette(out->kind), plain, path);
    if (out->op < 0) return false;

    // A key that no pixel of the kind can hold never matches, so transparency changes nothing.
    const uint32_t key = body->transparentColor;
    bool keyFits = true;
    if (IsPalette(out->kind))
        keyFits = key <= 0xFF;
    else if (out->kind == SrcKind::Direct565)
        keyFits = key <= 0xFFFF;
    out->trans = trans != 0 && keyFits;
    out->simd = PackedByteLoopsSelected();

    BlendContext& c = out->ctx;
    c = ParamBlendContext(p);
    c.brightRow[0] = st.productTable[bright & 0xFF];
    c.brightRow[1] = st.productTable[bright >> 8 & 0xFF];
    c.brightRow[2] = st.productTable[bright >> 16 & 0xFF];
    c.weights = st.blendGraphThresholds;
    c.palette = static_cast<const uint8_t*>(body->palette);
    c.key = key;
    return true;
}

void ForgetRunLengthStream(MEMIMG* dest) {
    dest->body->runLengthFlag = 0;
}
