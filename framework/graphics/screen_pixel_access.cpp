// Pixel access to a draw target: the back buffer (or sub back buffer) is locked directly when
// that was measured faster, else copied through a temporary draw target into system memory; a
// graph's texture piece likewise; in software mode the memory image is handed out in place.
#include "graphics/screen_pixel_access.h"

#include <algorithm>

#include "core/log.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/device_resources.h"
#include "graphics/draw_state.h"
#include "graphics/graph_records.h"
#include "graphics/pixel_format_table.h"
#include "graphics/screen_state.h"
#include "graphics/software_screen.h"
#include "graphics/vertex_batch.h"
#include "image/pixel_convert.h"

namespace {

struct PixelAccessState {
    int32_t open;
    IDirect3DSurface9* locked;
    IDirect3DSurface9* copy;  // the system-memory copy when one was made
};

PixelAccessState gPixelAccess = {0, nullptr, nullptr};

// Copies the rectangle of the surface into a new system-memory surface and locks it.
int LockCopy(IDirect3DSurface9* surface, D3DFORMAT format, const RECT& rect, D3DLOCKED_RECT* lock) {
    UINT width = static_cast<UINT>(rect.right - rect.left);
    UINT height = static_cast<UINT>(rect.bottom - rect.top);
    IDirect3DSurface9* target = nullptr;
    if (FAILED(DeviceCreateRenderTarget(width, height, format, D3DMULTISAMPLE_NONE, 0, FALSE,
                                        &target, nullptr))) {
        return AppendLogText("バックバッファロック用描画可能サーフェスの作成に失敗しました\n");
    }
    IDirect3DSurface9* copy = nullptr;
    if (FAILED(DeviceCreateOffscreenPlainSurface(width, height, format, D3DPOOL_SYSTEMMEM, &copy,
                                                 nullptr))) {
        ReleaseComObject(target);
        return AppendLogText(
            "バックバッファロック用システムメモリサーフェスの作成に失敗しました\n");
    }
    bool done = SUCCEEDED(DeviceStretchRect(surface, &rect, target, nullptr, D3DTEXF_NONE)) &&
                SUCCEEDED(DeviceGetRenderTargetData(target, copy)) &&
                SUCCEEDED(SurfaceLockRect(copy, lock, nullptr, 0));
    ReleaseComObject(target);
    if (!done) {
        ReleaseComObject(copy);
        return -1;
    }
    gPixelAccess.locked = gPixelAccess.copy = copy;
    return 0;
}

// Locks the rectangle of the surface directly when allowed and possible, else copies it.
int LockSurfaceRect(IDirect3DSurface9* surface, D3DFORMAT format, bool direct, const RECT& rect,
                    int readOnly, GraphImage* image) {
    const ColorFormat* colorFormat = ColorFormatOfD3DFormat(format);
    if (surface == nullptr || colorFormat == nullptr) return -1;
    D3DLOCKED_RECT lock{};
    if (direct &&
        SUCCEEDED(SurfaceLockRect(surface, &lock, &rect, readOnly ? D3DLOCK_READONLY : 0))) {
        gPixelAccess.locked = surface;
    } else if (LockCopy(surface, format, rect, &lock) == -1) {
        return -1;
    }
    image->format = *colorFormat;
    image->pitch = lock.Pitch;
    image->pixels = lock.pBits;
    return 0;
}

void DescribeMemImg(const MEMIMG& memImg, const RECT& rect, GraphImage* image) {
    const ColorFormat& format = *memImg.body->format;
    image->format = format;
    image->pitch = memImg.body->pitch;
    image->pixels = memImg.pixels + static_cast<size_t>(rect.top) * memImg.body->pitch +
                    static_cast<size_t>(rect.left) * format.pixelBytes;
}

bool Inside(const RECT& r, int width, int height) {
    return r.left >= 0 && r.left < r.right && r.right <= width && r.top >= 0 && r.top < r.bottom &&
           r.bottom <= height;
}

// A graph's pixels: with textures the piece's surface (its multisample surface when it has
// one) in the table entry's format, else the graph's memory image.
int OpenGraph(const GraphRecord& graph, const RECT& rect, int readOnly, int piece,
              GraphImage* image) {
    const GraphTextureInfo& info = *graph.textureInfo;
    if (!info.flags.useTexture) {
        if (!Inside(rect, graph.width, graph.height) || !IsMemImgValid(&graph.image)) return -1;
        DescribeMemImg(graph.image, rect, image);
        return 0;
    }
    if (piece < 0 || piece >= graph.pieceCount) return -1;
    const GraphPiece& p = GraphPieces(&graph)[piece];
    if (!Inside(rect, p.w, p.h)) return -1;
    RECT onTexture = {rect.left + p.texOffX, rect.top + p.texOffY, rect.right + p.texOffX,
                      rect.bottom + p.texOffY};
    const TexturePiece& t = *p.texPiece;
    IDirect3DSurface9* surface = t.multisampleSurface != nullptr ? t.multisampleSurface : t.surface;
    // Textures that are no draw targets can only be locked; a copy needs a draw target.
    bool direct = gDeviceResources.useBackBufferLock || !info.flags.drawTarget;
    return LockSurfaceRect(surface, gPixelFormats.formats[info.formatIndex], direct, onTexture,
                           readOnly, image);
}

}  // namespace

int OpenScreenPixelAccess(const RECT* rect, GraphImage* image, Handle target, int readOnly,
                          int piece) {
    if (rect == nullptr || image == nullptr || gPixelAccess.open) return -1;
    FlushVertexBatchNow();
    CloseDeviceScene();
    if (target == -1) target = gDrawSettings.drawTargets[0];
    const GraphRecord* graph = GetGraphRecord(target, 0);
    int opened = -1;
    if (graph != nullptr && graph->textureInfo != nullptr) {
        opened = OpenGraph(*graph, *rect, readOnly, piece, image);
    } else if (!Inside(*rect, gScreen.screenWidth, gScreen.screenHeight)) {
        opened = -1;
    } else if (IsDirect3DMode()) {
        IDirect3DSurface9* surface = gDeviceResources.subBackBuffer != nullptr
                                         ? gDeviceResources.subBackBuffer
                                         : gDeviceResources.backBuffer;
        opened = LockSurfaceRect(surface, gPixelFormats.backBufferFormat,
                                 gDeviceResources.useBackBufferLock != 0, *rect, readOnly, image);
    } else if (IsMemImgValid(&gSoftwareScreen.screen)) {
        DescribeMemImg(gSoftwareScreen.screen, *rect, image);
        opened = 0;
    }
    if (opened == -1) return -1;
    image->width = rect->right - rect->left;
    image->height = rect->bottom - rect->top;
    image->mipCount = 0;
    gPixelAccess.open = 1;
    return 0;
}

int CloseScreenPixelAccess() {
    if (gPixelAccess.locked != nullptr) SurfaceUnlockRect(gPixelAccess.locked);
    ReleaseComObject(gPixelAccess.copy);
    gPixelAccess = PixelAccessState{0, nullptr, nullptr};
    return 0;
}

int ReadGraphRectInto(Handle graph, const RECT& rect, GraphImage* image) {
    const GraphRecord* record = GetGraphRecord(graph, 0);
    if (record == nullptr) return -1;
    bool textured = record->textureInfo != nullptr && record->textureInfo->flags.useTexture;
    int pieces = textured ? record->pieceCount : 1;
    for (int i = 0; i < pieces; ++i) {
        RECT area = {0, 0, record->width, record->height};
        if (textured) {
            const GraphPiece& piece = GraphPieces(record)[i];
            area = {piece.drawX, piece.drawY, piece.drawX + piece.w, piece.drawY + piece.h};
        }
        RECT overlap = {std::max(area.left, rect.left), std::max(area.top, rect.top),
                        std::min(area.right, rect.right), std::min(area.bottom, rect.bottom)};
        if (overlap.right <= overlap.left || overlap.bottom <= overlap.top) continue;
        RECT local = {overlap.left - area.left, overlap.top - area.top, overlap.right - area.left,
                      overlap.bottom - area.top};
        GraphImage pixels{};
        if (OpenScreenPixelAccess(&local, &pixels, graph, 1, i) == -1) return -1;
        RECT whole = {0, 0, local.right - local.left, local.bottom - local.top};
        ConvertPixelRect({.destPixels = image->pixels,
                          .destPitch = image->pitch,
                          .destFormat = &image->format,
                          .srcPixels = pixels.pixels,
                          .srcPitch = pixels.pitch,
                          .srcFormat = &pixels.format,
                          .destX = overlap.left - rect.left,
                          .destY = overlap.top - rect.top,
                          .srcRect = &whole});
        CloseScreenPixelAccess();
    }
    return 0;
}
