// Image transfer into graphs: each texture piece that the destination rectangle reaches gets its
// part of the image converted into the texture's format, through the route its pool allows;
// without textures the image goes into the graph's memory image.
#include "graphics/graph_transfer.h"

#include <platform/win32.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/async_load.h"
#include "core/log.h"
#include "core/shell_hooks.h"
#include "core/tracked_memory.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_marshal.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/graph_records.h"
#include "graphics/graphics_state.h"
#include "graphics/memory_textures.h"
#include "graphics/pixel_format_table.h"
#include "graphics/vertex_batch.h"
#include "image/image_convert.h"
#include "image/pixel_convert.h"

namespace {

// How long the wait for a lent transfer texture lasts before the log tells of it.
constexpr uint32_t kLongTransferWaitMs = 5000;

// What every piece of one upload is written with.
struct Transfer {
    const GraphImage* image;
    const GraphImage* alpha;       // null for none
    const ColorFormat* texFormat;  // plain textures: how their pixels are laid out
    int textureDxt;                // 1 to 5 when the textures hold DXT blocks
    bool key;                      // transparent pixels get alpha 0
    uint32_t keyColor;             // 0x00RRGGBB
    int fromWorker;                // every Direct3D call goes to the main thread
};

int DxtKindOfD3DFormat(D3DFORMAT format) {
    const D3DFORMAT kinds[] = {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5};
    for (int i = 0; i < 5; ++i) {
        if (kinds[i] == format) return i + 1;
    }
    return 0;
}

bool RectInside(const RECT& r, const GraphImage& image) {
    return r.left >= 0 && r.top >= 0 && r.right <= image.width && r.bottom <= image.height;
}

// Clears the alpha of the pixels whose colour, once in the texture's format, is the
// transparent colour: near colours that the format cannot tell apart are transparent too.
void ClearKeyedAlpha(void* pixels, int pitch, const ColorFormat& f, int width, int height,
                     uint32_t key) {
    uint32_t colour = f.redMask | f.greenMask | f.blueMask;
    uint32_t packed = PackKeyColorForFormat(&f, key) & colour;
    for (int y = 0; y < height; ++y) {
        uint8_t* p = static_cast<uint8_t*>(pixels) + static_cast<intptr_t>(y) * pitch;
        for (int x = 0; x < width; ++x, p += f.pixelBytes) {
            uint32_t v = LoadPixelValue(p, f.pixelBytes);
            if ((v & colour) == packed) StorePixelValue(p, f.pixelBytes, v & ~f.alphaMask);
        }
    }
}

// Converts the source rectangle into pixels of the texture's format at `dest`.
int ConvertRect(const Transfer& t, void* dest, int pitch, const RECT& source) {
    const GraphImage& image = *t.image;
    int result = ConvertPixelRect({.destPixels = dest,
                                   .destPitch = pitch,
                                   .destFormat = t.texFormat,
                                   .srcPixels = image.pixels,
                                   .srcPitch = image.pitch,
                                   .srcFormat = &image.format,
                                   .alphaPixels = t.alpha != nullptr ? t.alpha->pixels : nullptr,
                                   .alphaPitch = t.alpha != nullptr ? t.alpha->pitch : 0,
                                   .alphaFormat = t.alpha != nullptr ? &t.alpha->format : nullptr,
                                   .srcRect = &source});
    if (result < 0) return -1;
    if (t.key) {
        ClearKeyedAlpha(dest, pitch, *t.texFormat, source.right - source.left,
                        source.bottom - source.top, t.keyColor);
    }
    return 0;
}

int RefuseDxt() {
    return AppendLogText(
        "DXTフォーマットのテクスチャに標準形式のイメージを転送することはできません\n");
}

// The blocks of a DXT image of the texture's kind, when the rectangle is the piece's whole used
// area and starts on a block; anything else cannot go into DXT blocks.
int CopyDxtBlocks(const Transfer& t, IDirect3DTexture9* texture, const TexturePiece& piece,
                  const RECT& source, int tx, int ty) {
    const GraphImage& image = *t.image;
    int w = source.right - source.left, h = source.bottom - source.top;
    bool whole = tx == 0 && ty == 0 && w == piece.usedWidth && h == piece.usedHeight;
    if (image.format.dxtKind != t.textureDxt || !whole || source.left % 4 != 0 ||
        source.top % 4 != 0) {
        return RefuseDxt();
    }
    D3DLOCKED_RECT lock{};
    if (FAILED(MarshalTextureLockRect(texture, 0, &lock, nullptr, 0, t.fromWorker))) {
        return AppendLogText("テクスチャのロックに失敗しました\n");
    }
    int blockBytes = t.textureDxt == 1 ? 8 : 16;
    size_t imagePitch = static_cast<size_t>((image.width + 3) / 4) * blockBytes;
    const uint8_t* from = static_cast<const uint8_t*>(image.pixels) +
                          static_cast<size_t>(source.top / 4) * imagePitch +
                          static_cast<size_t>(source.left / 4) * blockBytes;
    size_t rowBytes = static_cast<size_t>((w + 3) / 4) * blockBytes;
    for (int row = 0; row < (h + 3) / 4; ++row) {
        std::memcpy(static_cast<uint8_t*>(lock.pBits) + static_cast<intptr_t>(row) * lock.Pitch,
                    from + row * imagePitch, rowBytes);
    }
    MarshalTextureUnlockRect(texture, 0, t.fromWorker);
    return 0;
}

// One level: the rectangle converted into level 0 at (tx, ty). Where the image ends inside the
// texture, the column, row and corner beyond it repeat the image's edge, so that bilinear
// sampling at the edge mixes in no stale texels.
int TransferImageRect(const Transfer& t, IDirect3DTexture9* texture, const TexturePiece& piece,
                      const RECT& source, int tx, int ty) {
    if (t.textureDxt != 0) return CopyDxtBlocks(t, texture, piece, source, tx, ty);
    if (t.image->format.dxtKind != 0) return RefuseDxt();
    int w = source.right - source.left, h = source.bottom - source.top;
    bool column = piece.usedWidth < piece.texWidth && tx + w == piece.usedWidth;
    bool row = piece.usedHeight < piece.texHeight && ty + h == piece.usedHeight;
    RECT area = {tx, ty, tx + w + (column ? 1 : 0), ty + h + (row ? 1 : 0)};
    D3DLOCKED_RECT lock{};
    if (FAILED(MarshalTextureLockRect(texture, 0, &lock, &area, 0, t.fromWorker))) {
        return AppendLogText("テクスチャのロックに失敗しました\n");
    }
    auto* pixels = static_cast<uint8_t*>(lock.pBits);
    int result = ConvertRect(t, pixels, lock.Pitch, source);
    size_t bytes = t.texFormat->pixelBytes;
    auto at = [&](int x, int y) {
        return pixels + static_cast<intptr_t>(y) * lock.Pitch + x * bytes;
    };
    if (result == 0 && column) {
        for (int y = 0; y < h; ++y) std::memcpy(at(w, y), at(w - 1, y), bytes);
    }
    if (result == 0 && row) std::memcpy(at(0, h), at(0, h - 1), w * bytes);
    if (result == 0 && column && row) std::memcpy(at(w, h), at(w - 1, h - 1), bytes);
    MarshalTextureUnlockRect(texture, 0, t.fromWorker);
    return result;
}

// The rectangle of mip level `level` of a texture whose level 0 gets (tx, ty, w, h).
RECT LevelRect(int tx, int ty, int w, int h, int level) {
    int left = tx >> level, top = ty >> level;
    return {left, top, left + std::max(1, w >> level), top + std::max(1, h >> level)};
}

int WriteLevel(IDirect3DTexture9* texture, int level, const RECT& area, const uint8_t* rows,
               int pitch, int bytes, int fromWorker) {
    D3DLOCKED_RECT lock{};
    if (FAILED(MarshalTextureLockRect(texture, static_cast<UINT>(level), &lock, &area, 0,
                                      fromWorker))) {
        return AppendLogText("ミップマップテクスチャのロックに失敗しました\n");
    }
    for (int y = 0; y < area.bottom - area.top; ++y) {
        std::memcpy(static_cast<uint8_t*>(lock.pBits) + static_cast<intptr_t>(y) * lock.Pitch,
                    rows + static_cast<intptr_t>(y) * pitch,
                    static_cast<size_t>(area.right - area.left) * bytes);
    }
    MarshalTextureUnlockRect(texture, static_cast<UINT>(level), fromWorker);
    return 0;
}

// Level l of a plain image that carries its own levels, each stored after the one before with
// rows of its own width; false when the image's data does not hold it.
bool ImageLevel(const GraphImage& image, int level, GraphImage* out) {
    *out = image;
    int64_t offset = 0;
    int64_t end = ComputeGraphImageDataBytes(&image);
    for (int l = 0; l <= level; ++l) {
        out->width = std::max(1, image.width >> l);
        out->height = std::max(1, image.height >> l);
        out->pitch = l == 0 ? image.pitch : out->width * image.format.pixelBytes;
        out->pixels = static_cast<uint8_t*>(image.pixels) + offset;
        offset += int64_t{out->pitch} * out->height;
    }
    out->mipCount = 0;
    return offset <= end;
}

// Every level of a mip-mapped texture: the image's own levels when it has enough, else level 0
// converted and each further level the 2 x 2 average of the one before.
int TransferImageMipLevels(const Transfer& t, IDirect3DTexture9* texture, int levels,
                           const RECT& source, int tx, int ty) {
    const GraphImage& image = *t.image;
    if (t.textureDxt != 0 || image.format.dxtKind != 0) return RefuseDxt();
    int w = source.right - source.left, h = source.bottom - source.top;
    int bytes = t.texFormat->pixelBytes;
    GraphImage last{};
    bool ownLevels =
        image.mipCount >= levels && t.alpha == nullptr && ImageLevel(image, levels - 1, &last);
    if (ownLevels) {
        for (int level = 0; level < levels; ++level) {
            GraphImage view{};
            ImageLevel(image, level, &view);
            RECT from = LevelRect(source.left, source.top, w, h, level);
            RECT area = LevelRect(tx, ty, w, h, level);
            D3DLOCKED_RECT lock{};
            if (FAILED(MarshalTextureLockRect(texture, static_cast<UINT>(level), &lock, &area, 0,
                                              t.fromWorker))) {
                return AppendLogText("ミップマップテクスチャのロックに失敗しました\n");
            }
            Transfer levelTransfer = t;
            levelTransfer.image = &view;
            int result = ConvertRect(levelTransfer, lock.pBits, lock.Pitch, from);
            MarshalTextureUnlockRect(texture, static_cast<UINT>(level), t.fromWorker);
            if (result == -1) return -1;
        }
        return 0;
    }

    int bufferWidth = 1, bufferHeight = 1;
    while (bufferWidth < w) bufferWidth *= 2;
    while (bufferHeight < h) bufferHeight *= 2;
    int pitch = bufferWidth * bytes;
    int64_t size = int64_t{pitch} * bufferHeight;
    uint8_t* buffers[2] = {nullptr, nullptr};
    if (size <= 0x7FFFFFFF) {
        for (uint8_t*& b : buffers) {
            b = static_cast<uint8_t*>(
                AllocClearedMemory(static_cast<uint32_t>(size), __FILE__, __LINE__));
        }
    }
    int result = 0;
    if (buffers[0] == nullptr || buffers[1] == nullptr) {
        result = AppendLogText(
            "テクスチャへ転送する画像を一時的に格納するメモリ領域の確保に失敗しました\n");
    } else {
        result = ConvertRect(t, buffers[0], pitch, source);
        int contentWidth = bufferWidth, contentHeight = bufferHeight;
        for (int level = 0; level < levels && result == 0; ++level) {
            if (level > 0) {
                ShrinkPixelsByHalf(t.texFormat, buffers[1], pitch, buffers[0], pitch, 0, 0, 0, 0,
                                   contentWidth, contentHeight);
                std::swap(buffers[0], buffers[1]);
                contentWidth = std::max(1, contentWidth / 2);
                contentHeight = std::max(1, contentHeight / 2);
            }
            result = WriteLevel(texture, level, LevelRect(tx, ty, w, h, level), buffers[0], pitch,
                                bytes, t.fromWorker);
        }
    }
    for (uint8_t* b : buffers) {
        if (b != nullptr) FreeMemory(b);
    }
    return result;
}

// A pooled transfer texture of the piece's shape; -1 when none can be made or the program ends
// meanwhile. While all of them are in use a worker waits on the main thread, and the main thread
// waits here, running the workers' calls so that those holding the entries give them back: for
// as long as that takes, since a busy machine may hold the workers up for any time. A wait past
// kLongTransferWaitMs is logged once, so that an entry never given back shows.
int AcquireTransferTexture(const GraphTextureInfo& info, const TexturePiece& piece,
                           int fromAsyncWorker) {
    const uint32_t start = GetMillisecondCount();
    bool logged = false;
    for (;;) {
        int index = AcquireMemoryTexture(piece.texWidth, piece.texHeight, info.mipLevels,
                                         info.formatIndex, fromAsyncWorker);
        if (index != kMemoryTextureBusy) return index;
        if (!logged && GetMillisecondCount() - start >= kLongTransferWaitMs) {
            logged = true;
            AppendLogText(
                "画像転送用のシステムメモリテクスチャが５秒以上返されません、待ち続けます\n");
        }
        Sleep(1);
        RunMainThreadRequests();
        if (PumpMessagesUnlocked() == -1) return -1;
    }
}

// Writes one piece's part of the image: the rectangle `source` of the image lands at (tx, ty)
// of the piece's texture.
int WritePiece(const Transfer& t, const GraphTextureInfo& info, const TexturePiece& piece,
               const RECT& source, int tx, int ty) {
    if (info.flags.managedPool) {
        if (info.mipLevels > 1) {
            return TransferImageMipLevels(t, piece.texture, info.mipLevels, source, tx, ty);
        }
        return TransferImageRect(t, piece.texture, piece, source, tx, ty);
    }
    int entry = AcquireTransferTexture(info, piece, t.fromWorker);
    if (entry < 0) return -1;
    IDirect3DTexture9* transfer = GetMemoryTexture(entry);
    int result = info.mipLevels > 1
                     ? TransferImageMipLevels(t, transfer, info.mipLevels, source, tx, ty)
                     : TransferImageRect(t, transfer, piece, source, tx, ty);
    // Only the rectangles just written are dirty, so the rest of the piece keeps its texels.
    if (result == 0 && FAILED(MarshalUpdateTexture(transfer, piece.texture, t.fromWorker))) {
        result = -1;
    }
    ReleaseMemoryTexture(entry, t.fromWorker);
    return result;
}

// A part of a graph or of the full image that one texture piece shows.
struct PieceArea {
    const TexturePiece* piece;
    int x, y, w, h;        // in the destination's coordinates
    int texOffX, texOffY;  // where that part starts in the piece's texture
};

PieceArea AreaOf(const GraphPiece& p) {
    return {p.texPiece, p.drawX, p.drawY, p.w, p.h, p.texOffX, p.texOffY};
}

PieceArea AreaOf(const TexturePiece& p) {
    return {&p, p.x, p.y, p.usedWidth, p.usedHeight, 0, 0};
}

// A draw target's image: converted once into a system-memory surface, then copied into each
// piece on the device.
struct Staging {
    IDirect3DSurface9* surface = nullptr;
    int fromWorker = 0;
    ~Staging() { MarshalReleaseComObject(surface, fromWorker); }
};

int FillStaging(const Transfer& t, D3DFORMAT format, const RECT& source, Staging* staging) {
    auto w = static_cast<UINT>(source.right - source.left);
    auto h = static_cast<UINT>(source.bottom - source.top);
    staging->fromWorker = t.fromWorker;
    if (FAILED(MarshalCreateOffscreenPlainSurface(w, h, format, D3DPOOL_SYSTEMMEM,
                                                  &staging->surface, nullptr, t.fromWorker))) {
        staging->surface = nullptr;
        return AppendLogText("画像転送用のシステムメモリテクスチャの作成に失敗しました\n");
    }
    D3DLOCKED_RECT lock{};
    if (FAILED(MarshalSurfaceLockRect(staging->surface, &lock, nullptr, D3DLOCK_DISCARD,
                                      t.fromWorker))) {
        return -1;
    }
    int result = ConvertRect(t, lock.pBits, lock.Pitch, source);
    MarshalSurfaceUnlockRect(staging->surface, t.fromWorker);
    return result;
}

int UploadToTextures(Transfer* t, GraphRecord* record, const RECT& source, int destX, int destY,
                     int whole) {
    if (!HasDirect3DDevice()) return -1;
    const GraphTextureInfo& info = *record->textureInfo;
    D3DFORMAT format = gPixelFormats.formats[info.formatIndex];
    t->textureDxt = DxtKindOfD3DFormat(format);
    t->texFormat = t->textureDxt != 0 ? ColorFormatOfFormatIndex(info.formatIndex)
                                      : ColorFormatOfD3DFormat(format);
    if (t->texFormat == nullptr) return -1;
    t->key = t->key && t->texFormat->alphaWidth != 0 && t->alpha == nullptr &&
             t->image->format.alphaWidth == 0;
    Staging staging;
    if (info.flags.drawTarget && FillStaging(*t, format, source, &staging) == -1) return -1;

    int w = source.right - source.left, h = source.bottom - source.top;
    int count = whole ? info.pieceCount : record->pieceCount;
    for (int i = 0; i < count; ++i) {
        PieceArea a = whole ? AreaOf(info.pieces[i]) : AreaOf(GraphPieces(record)[i]);
        int left = std::max(a.x, destX), top = std::max(a.y, destY);
        int right = std::min(a.x + a.w, destX + w), bottom = std::min(a.y + a.h, destY + h);
        if (left >= right || top >= bottom) continue;
        // A device made anew may not have been able to make the piece's objects again.
        if (a.piece->texture == nullptr || a.piece->surface == nullptr) return -1;
        int tx = a.texOffX + left - a.x, ty = a.texOffY + top - a.y;
        RECT part = {source.left + left - destX, source.top + top - destY,
                     source.left + right - destX, source.top + bottom - destY};
        if (info.flags.drawTarget) {
            RECT fromStaging = {left - destX, top - destY, right - destX, bottom - destY};
            POINT to = {tx, ty};
            if (FAILED(MarshalUpdateSurface(staging.surface, &fromStaging, a.piece->surface, &to,
                                            t->fromWorker))) {
                return AppendLogText("描画可能テクスチャへの画像の転送に失敗しました\n");
            }
        } else if (WritePiece(*t, info, *a.piece, part, tx, ty) == -1) {
            return -1;
        }
    }
    return 0;
}

// A palette image's transparent colour is an index: the first palette entry whose colour is the
// transparent colour in the image's colour type, 0 when none is.
void ChooseTransparentIndex(MemImgBody* body, uint32_t key) {
    const ColorFormat* format = GetMemImgColorFormat(body->colorType, 0, 0);
    uint32_t wanted = PackKeyColorForFormat(format, key);
    bool wide = body->colorType == kMemImgXrgb8888;
    uint32_t mask = wide ? 0xFFFFFF : 0xFFFF;
    body->transparentColor = 0;
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t entry = 0;
        std::memcpy(&entry, body->palette + i * (wide ? 4 : 2), wide ? 4 : 2);
        if ((entry & mask) == (wanted & mask)) {
            body->transparentColor = i;
            return;
        }
    }
}

int UploadToMemImg(const Transfer& t, GraphRecord* record, const RECT& source, int destX, int destY,
                   int whole) {
    GraphTextureInfo& info = *record->textureInfo;
    int limitW = whole ? info.width : record->width;
    int limitH = whole ? info.height : record->height;
    int left = std::max(destX, 0), top = std::max(destY, 0);
    int right = std::min(destX + static_cast<int>(source.right - source.left), limitW);
    int bottom = std::min(destY + static_cast<int>(source.bottom - source.top), limitH);
    if (left >= right || top >= bottom) return 0;
    int offsetX = whole ? 0 : record->texX, offsetY = whole ? 0 : record->texY;
    if (TransferImageToMemImg(t.image, t.alpha, &info.image, source.left + left - destX,
                              source.top + top - destY, right - left, bottom - top, left + offsetX,
                              top + offsetY, 0) == -1) {
        return -1;
    }
    MemImgBody* body = info.image.body;
    if (body->paletteFlag && t.image->format.pixelBytes == 1) {
        ChooseTransparentIndex(body, info.transparentColor);
    }
    return 0;
}

}  // namespace

int UploadImageToGraph(Handle graph, const RECT* source, int destX, int destY,
                       const GraphImage* image, const GraphImage* alphaImage, int useColorKey,
                       int wholeImageCoordinates, int fromAsyncWorker) {
    if (!IsGraphicsInitialized()) return -1;
    GraphRecord* record = GetGraphRecord(graph, fromAsyncWorker);
    if (record == nullptr || record->textureInfo == nullptr) return -1;
    FlushVertexBatch(fromAsyncWorker);
    if (source->right - source->left <= 0 || source->bottom - source->top <= 0) return 0;
    // A rectangle reaching outside the image would be read beyond its pixels.
    if (!RectInside(*source, *image) ||
        (alphaImage != nullptr && !RectInside(*source, *alphaImage))) {
        return -1;
    }

    // DXT images the textures cannot take as they are become plain pixels first.
    GraphTextureInfo& info = *record->textureInfo;
    int textureDxt =
        info.flags.useTexture ? DxtKindOfD3DFormat(gPixelFormats.formats[info.formatIndex]) : 0;
    GraphImage expanded[2] = {};
    const GraphImage* sources[2] = {image, alphaImage};
    for (int i = 0; i < 2; ++i) {
        const GraphImage* s = sources[i];
        if (s == nullptr || s->format.dxtKind == 0 || s->format.dxtKind == textureDxt) continue;
        if (ExpandGraphImageCopy(s, &expanded[i]) == -1) {
            FreeGraphImage(&expanded[0]);
            return AppendLogText("標準イメージ用のメモリ確保に失敗しました\n");
        }
        sources[i] = &expanded[i];
    }

    Transfer t = {sources[0],     sources[1], nullptr, 0, useColorKey != 0, info.transparentColor,
                  fromAsyncWorker};
    int result = info.flags.useTexture
                     ? UploadToTextures(&t, record, *source, destX, destY, wholeImageCoordinates)
                     : UploadToMemImg(t, record, *source, destX, destY, wholeImageCoordinates);
    ++info.writeCount;
    for (GraphImage& e : expanded) {
        if (e.pixels != nullptr) FreeGraphImage(&e);
    }
    return result;
}
