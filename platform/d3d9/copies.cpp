// Copies and fills between surfaces: UpdateSurface, UpdateTexture (only the regions changed
// since the last update), GetRenderTargetData, StretchRect, ColorFill and Clear, each with
// Direct3D 9's rules on pools and formats.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "device.h"

namespace {

RECT Whole(const Surface& s) {
    return {0, 0, static_cast<LONG>(s.width), static_cast<LONG>(s.height)};
}

bool Inside(const Surface& s, const RECT& r) {
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom &&
           r.right <= static_cast<LONG>(s.width) && r.bottom <= static_cast<LONG>(s.height);
}

// Block formats copy whole blocks: the rectangle's corners must lie on the 4x4 grid, or on
// the surface's edge.
bool BlockAligned(const Surface& s, const RECT& r) {
    if (s.info->blockBytes == 0) return true;
    auto on = [](LONG v, UINT edge) { return v % 4 == 0 || static_cast<UINT>(v) == edge; };
    return r.left % 4 == 0 && r.top % 4 == 0 && on(r.right, s.width) && on(r.bottom, s.height);
}

RECT Intersection(const RECT& a, const RECT& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

bool IsEmpty(const RECT& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

// Raw copy of `r` of `from` to (x, y) of `to`; both have the same format.
void CopyRect(const Surface& from, const RECT& r, Surface& to, LONG x, LONG y) {
    const FormatInfo& f = *from.info;
    UINT rowBytes = FormatRowBytes(f, static_cast<UINT>(r.right - r.left));
    UINT rows = FormatRowCount(f, static_cast<UINT>(r.bottom - r.top));
    LONG step = f.blockBytes != 0 ? 4 : 1;
    for (UINT i = 0; i < rows; ++i) {
        std::memmove(to.At(x, y + i * step), from.At(r.left, r.top + i * step), rowBytes);
    }
    to.Touch();
}

void FillPixels(Surface& s, const RECT& r, const BYTE* pixel) {
    UINT bytes = s.info->bytesPerPixel;
    for (LONG y = r.top; y < r.bottom; ++y) {
        FillPixelRow(s.At(r.left, y), static_cast<UINT>(r.right - r.left), pixel, bytes);
    }
    s.Touch();
}

// Region of level `level` covered by a level-0 region, grown to whole blocks.
RECT LevelRect(const Surface& level, const RECT& top, UINT index) {
    LONG scale = 1L << index;
    RECT r = {top.left / scale, top.top / scale, (top.right + scale - 1) / scale,
              (top.bottom + scale - 1) / scale};
    if (level.info->blockBytes != 0) {
        r.left &= ~3L;
        r.top &= ~3L;
        r.right = (r.right + 3) & ~3L;
        r.bottom = (r.bottom + 3) & ~3L;
    }
    return Intersection(r, Whole(level));
}

HRESULT UpdateTextures(Texture& from, Texture& to) {
    if (from.pool != D3DPOOL_SYSTEMMEM || to.pool != D3DPOOL_DEFAULT || from.format != to.format) {
        return D3DERR_INVALIDCALL;
    }
    // The source may carry extra larger levels; its level matching the destination's top
    // level is where the copy starts.
    size_t first = 0;
    while (first < from.levels.size() && (from.levels[first]->width != to.levels[0]->width ||
                                          from.levels[first]->height != to.levels[0]->height)) {
        ++first;
    }
    if (first == from.levels.size() || from.levels.size() - first < to.levels.size()) {
        return D3DERR_INVALIDCALL;
    }
    std::vector<RECT> regions = from.dirty;
    if (first != 0 && !regions.empty()) regions = {Whole(*from.levels[first])};
    for (const RECT& region : regions) {
        for (size_t i = 0; i < to.levels.size(); ++i) {
            Surface& source = *from.levels[first + i];
            RECT r = LevelRect(source, region, static_cast<UINT>(i));
            if (!IsEmpty(r)) CopyRect(source, r, *to.levels[i], r.left, r.top);
        }
    }
    from.dirty.clear();
    return D3D_OK;
}

HRESULT UpdateVolumes(VolumeTexture& from, VolumeTexture& to) {
    if (from.pool != D3DPOOL_SYSTEMMEM || to.pool != D3DPOOL_DEFAULT || from.format != to.format ||
        from.levels.size() < to.levels.size()) {
        return D3DERR_INVALIDCALL;
    }
    for (size_t i = 0; i < to.levels.size(); ++i) {
        const VolumeLevel& a = from.levels[i];
        const VolumeLevel& b = to.levels[i];
        if (a.width != b.width || a.height != b.height || a.depth != b.depth)
            return D3DERR_INVALIDCALL;
    }
    if (from.dirty) {
        for (size_t i = 0; i < to.levels.size(); ++i) {
            std::memcpy(to.levels[i].bits.get(), from.levels[i].bits.get(),
                        static_cast<size_t>(from.levels[i].slicePitch) * from.levels[i].depth);
        }
    }
    from.dirty = false;
    return D3D_OK;
}

// Pixel (x, y) of a video surface as A8R8G8B8. YV12 keeps its V plane after the luma rows and
// its U plane after that, both at half the pitch; the packed formats keep a pair of pixels in
// four bytes, Y0 U Y1 V (YUY2) or U Y0 V Y1 (UYVY).
// A row of `count` pixels of a video surface from (x, y) on, as A8R8G8B8.
void ReadYuvRow(const Surface& s, LONG x, LONG y, LONG count, DWORD* out) {
    if (s.format == D3DFMT_YV12) {
        const BYTE* luma = s.At(0, y);
        size_t chromaPitch = s.pitch / 2;
        const BYTE* v = s.bits.get() + static_cast<size_t>(s.pitch) * s.height +
                        static_cast<size_t>(y / 2) * chromaPitch;
        const BYTE* u = v + chromaPitch * (s.height / 2);
        for (LONG i = 0; i < count; ++i) {
            LONG at = x + i;
            out[i] = YuvToArgb(luma[at], u[at / 2], v[at / 2]);
        }
        return;
    }
    // Byte offsets of Y0, U and V inside a pair; Y1 follows Y0 by two.
    bool yuy2 = s.format == D3DFMT_YUY2;
    int y0 = yuy2 ? 0 : 1, u = yuy2 ? 1 : 0, v = yuy2 ? 3 : 2;
    const BYTE* row = s.At(0, y);
    for (LONG i = 0; i < count; ++i) {
        LONG at = x + i;
        const BYTE* pair = row + (at & ~1L) * 2;
        out[i] = YuvToArgb(pair[y0 + (at & 1) * 2], pair[u], pair[v]);
    }
}

DWORD ReadYuvPixel(const Surface& s, LONG x, LONG y) {
    DWORD argb;
    ReadYuvRow(s, x, y, 1, &argb);
    return argb;
}

DWORD ReadArgb(const Surface& s, LONG x, LONG y) {
    return IsYuvFormat(s.format) ? ReadYuvPixel(s, x, y) : DecodePixel(s.format, s.At(x, y));
}

Color ReadColor(const Surface& s, LONG x, LONG y) {
    x = std::clamp<LONG>(x, 0, static_cast<LONG>(s.width) - 1);
    y = std::clamp<LONG>(y, 0, static_cast<LONG>(s.height) - 1);
    return ColorFromArgb(ReadArgb(s, x, y));
}

}  // namespace

HRESULT Device::UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect,
                              IDirect3DSurface9* dest, const POINT* destPoint) {
    if (WrongThread()) return D3DERR_INVALIDCALL;
    Surface* from = OwnSurface(this, source);
    Surface* to = OwnSurface(this, dest);
    if (from == nullptr || to == nullptr || from->pool != D3DPOOL_SYSTEMMEM ||
        to->pool != D3DPOOL_DEFAULT || from->format != to->format || from->IsDepth() ||
        from->format == D3DFMT_YV12 || from->locked || to->locked) {
        return D3DERR_INVALIDCALL;
    }
    RECT r = sourceRect != nullptr ? *sourceRect : Whole(*from);
    POINT at = destPoint != nullptr ? *destPoint : POINT{0, 0};
    RECT placed = {at.x, at.y, at.x + (r.right - r.left), at.y + (r.bottom - r.top)};
    if (!Inside(*from, r) || !Inside(*to, placed) || !BlockAligned(*from, r) ||
        !BlockAligned(*to, placed)) {
        return D3DERR_INVALIDCALL;
    }
    CopyRect(*from, r, *to, at.x, at.y);
    return D3D_OK;
}

HRESULT Device::UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* dest) {
    if (WrongThread()) return D3DERR_INVALIDCALL;
    auto* fromPlain = dynamic_cast<Texture*>(source);
    auto* toPlain = dynamic_cast<Texture*>(dest);
    if (fromPlain != nullptr && toPlain != nullptr && fromPlain->device == this &&
        toPlain->device == this) {
        return UpdateTextures(*fromPlain, *toPlain);
    }
    auto* fromVolume = dynamic_cast<VolumeTexture*>(source);
    auto* toVolume = dynamic_cast<VolumeTexture*>(dest);
    if (fromVolume != nullptr && toVolume != nullptr && fromVolume->device == this &&
        toVolume->device == this) {
        return UpdateVolumes(*fromVolume, *toVolume);
    }
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* dest) {
    if (WrongThread()) return D3DERR_INVALIDCALL;
    Surface* from = OwnSurface(this, renderTarget);
    Surface* to = OwnSurface(this, dest);
    if (from == nullptr || to == nullptr || !from->IsRenderTarget() ||
        to->pool != D3DPOOL_SYSTEMMEM || from->format != to->format || from->width != to->width ||
        from->height != to->height || to->locked) {
        return D3DERR_INVALIDCALL;
    }
    CopyRect(*from, Whole(*from), *to, 0, 0);
    return D3D_OK;
}

HRESULT Device::StretchRect(IDirect3DSurface9* source, const RECT* sourceRect,
                            IDirect3DSurface9* dest, const RECT* destRect,
                            D3DTEXTUREFILTERTYPE filter) {
    if (WrongThread()) return D3DERR_INVALIDCALL;
    Surface* from = OwnSurface(this, source);
    Surface* to = OwnSurface(this, dest);
    if (from == nullptr || to == nullptr || from->pool != D3DPOOL_DEFAULT ||
        to->pool != D3DPOOL_DEFAULT || from->IsDepth() || to->IsDepth() ||
        from->info->blockBytes != 0 || to->info->blockBytes != 0 || IsYuvFormat(to->format) ||
        from->locked || to->locked) {
        return D3DERR_INVALIDCALL;
    }
    // Plain textures are neither read nor written by StretchRect; render-target textures are.
    if ((from->texture != nullptr && !from->IsRenderTarget()) ||
        (to->texture != nullptr && !to->IsRenderTarget()) || filter > D3DTEXF_LINEAR) {
        return D3DERR_INVALIDCALL;
    }
    RECT s = sourceRect != nullptr ? *sourceRect : Whole(*from);
    RECT d = destRect != nullptr ? *destRect : Whole(*to);
    if (!Inside(*from, s) || !Inside(*to, d)) return D3DERR_INVALIDCALL;
    if (from == to && !IsEmpty(Intersection(s, d))) return D3DERR_INVALIDCALL;

    LONG sw = s.right - s.left, sh = s.bottom - s.top;
    LONG dw = d.right - d.left, dh = d.bottom - d.top;
    if (sw == dw && sh == dh && from->format == to->format) {
        CopyRect(*from, s, *to, d.left, d.top);
        return D3D_OK;
    }
    if (sw == dw && sh == dh && IsYuvFormat(from->format)) {
        // A movie frame shown at its size: each pixel converted once, a row at a time.
        std::vector<DWORD> row(static_cast<size_t>(dw));
        for (LONG y = 0; y < dh; ++y) {
            ReadYuvRow(*from, s.left, s.top + y, dw, row.data());
            BYTE* out = to->At(d.left, d.top + y);
            if (to->format == D3DFMT_X8R8G8B8 || to->format == D3DFMT_A8R8G8B8) {
                std::memcpy(out, row.data(), row.size() * 4);  // converted pixels are opaque
                continue;
            }
            for (LONG x = 0; x < dw; ++x)
                EncodeArgb(to->format, out + x * to->info->bytesPerPixel, row[x]);
        }
        to->Touch();
        return D3D_OK;
    }
    for (LONG y = 0; y < dh; ++y) {
        // Centre of the destination pixel in source pixels.
        double v = (y + 0.5) * sh / dh + s.top;
        for (LONG x = 0; x < dw; ++x) {
            double u = (x + 0.5) * sw / dw + s.left;
            Color c;
            if (filter == D3DTEXF_LINEAR && (sw != dw || sh != dh)) {
                double fx = u - 0.5, fy = v - 0.5;
                LONG x0 = static_cast<LONG>(std::floor(fx)), y0 = static_cast<LONG>(std::floor(fy));
                float wx = static_cast<float>(fx - x0), wy = static_cast<float>(fy - y0);
                auto at = [&](LONG px, LONG py) {
                    return ReadColor(*from, std::clamp(px, s.left, s.right - 1),
                                     std::clamp(py, s.top, s.bottom - 1));
                };
                Color top = at(x0, y0) * (1.0f - wx) + at(x0 + 1, y0) * wx;
                Color bottom = at(x0, y0 + 1) * (1.0f - wx) + at(x0 + 1, y0 + 1) * wx;
                c = top * (1.0f - wy) + bottom * wy;
            } else {
                c = ReadColor(*from, static_cast<LONG>(std::floor(u)),
                              static_cast<LONG>(std::floor(v)));
            }
            EncodePixel(to->format, to->At(d.left + x, d.top + y), c);
        }
    }
    to->Touch();
    return D3D_OK;
}

HRESULT Device::ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) {
    if (WrongThread()) return D3DERR_INVALIDCALL;
    Surface* s = OwnSurface(this, surface);
    // Render targets (render-target texture levels included) and offscreen plain surfaces of
    // the default pool only.
    if (s == nullptr || s->pool != D3DPOOL_DEFAULT || s->IsDepth() || s->info->blockBytes != 0 ||
        IsYuvFormat(s->format) || (s->texture != nullptr && !s->IsRenderTarget()) || s->locked) {
        return D3DERR_INVALIDCALL;
    }
    RECT r = rect != nullptr ? *rect : Whole(*s);
    if (!Inside(*s, r)) return D3DERR_INVALIDCALL;
    BYTE pixel[4];
    EncodeArgb(s->format, pixel, color);
    FillPixels(*s, r, pixel);
    return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                      DWORD stencil) {
    if (WrongThread()) return D3DERR_INVALIDCALL;
    constexpr DWORD kAllFlags = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL;
    if (flags == 0 || (flags & ~kAllFlags) != 0 || (count == 0) != (rects == nullptr)) {
        return D3DERR_INVALIDCALL;
    }
    // None of the offered depth formats has stencil bits.
    if ((flags & D3DCLEAR_STENCIL) != 0) return D3DERR_INVALIDCALL;
    Surface* depth = state.depthStencil;
    if ((flags & D3DCLEAR_ZBUFFER) != 0 && (depth == nullptr || !(z >= 0.0f && z <= 1.0f))) {
        return D3DERR_INVALIDCALL;
    }
    if ((flags & D3DCLEAR_TARGET) != 0 && state.renderTargets[0] == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    if (!gD3d9.keepPixels) return D3D_OK;

    const D3DVIEWPORT9& vp = state.viewport;
    RECT area = {static_cast<LONG>(vp.X), static_cast<LONG>(vp.Y),
                 static_cast<LONG>(vp.X + vp.Width), static_cast<LONG>(vp.Y + vp.Height)};
    if (state.renderStates[D3DRS_SCISSORTESTENABLE] != FALSE)
        area = Intersection(area, state.scissor);
    const DWORD regions = rects == nullptr ? 1 : count;
    for (DWORD i = 0; i < regions; ++i) {
        const RECT region =
            rects == nullptr
                ? area
                : Intersection(area, {rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2});
        if ((flags & D3DCLEAR_TARGET) != 0) {
            for (Surface* target : state.renderTargets) {
                if (target == nullptr) continue;
                RECT r = Intersection(region, Whole(*target));
                if (IsEmpty(r)) continue;
                BYTE pixel[4];
                EncodeArgb(target->format, pixel, color);
                FillPixels(*target, r, pixel);
            }
        }
        if ((flags & D3DCLEAR_ZBUFFER) != 0) {
            RECT r = Intersection(region, Whole(*depth));
            if (IsEmpty(r)) continue;
            BYTE pixel[4];
            WriteDepth(depth->format, pixel, QuantizeDepth(depth->format, z));
            FillPixels(*depth, r, pixel);
        }
    }
    return D3D_OK;
}
