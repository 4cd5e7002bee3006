// Graph creation: the flags and format of a new graph's textures, the split of its image into
// texture pieces the device can hold, the memory image that stands for the textures in software
// mode, each graph's view of the pieces, and graphs derived from others.
#include "graphics/graph_creation.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/shell_hooks.h"
#include "core/log.h"
#include "core/tracked_memory.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_marshal.h"
#include "graphics/device_resources.h"
#include "graphics/graphics_state.h"
#include "graphics/pixel_format_table.h"
#include "graphics/screen_state.h"

namespace {

// Levels of the full mip chain: each side halved (at least 1) until both are 1.
int FullMipChain(int width, int height) {
    int levels = 1;
    while (width > 1 || height > 1) {
        width = std::max(1, width / 2);
        height = std::max(1, height / 2);
        ++levels;
    }
    return levels;
}

// The sides of the pieces along one side of the image, at their positions.
struct PieceSpan {
    int32_t position, size;
};

std::vector<PieceSpan> SplitSide(int maxSize, int length, int forcePowerOfTwo) {
    int count = SplitTextureLength(maxSize, length, nullptr, 1, forcePowerOfTwo);
    std::vector<uint16_t> sizes(static_cast<size_t>(count));
    SplitTextureLength(maxSize, length, sizes.data(), 1, forcePowerOfTwo);
    std::vector<PieceSpan> spans;
    int32_t position = 0;
    for (uint16_t size : sizes) {
        spans.push_back({position, size});
        position += size;
    }
    return spans;
}

// The texture pieces of an image, row by row; on a device that takes only square textures each
// oblong piece becomes squares of its shorter side (those that start inside the image).
std::vector<TexturePiece> LayOutPieces(int maxSize, int width, int height, int forcePowerOfTwo) {
    std::vector<PieceSpan> across = SplitSide(maxSize, width, forcePowerOfTwo);
    std::vector<PieceSpan> down = SplitSide(maxSize, height, forcePowerOfTwo);
    std::vector<TexturePiece> pieces;
    auto add = [&](int32_t x, int32_t y, int32_t w, int32_t h) {
        TexturePiece piece{};
        piece.x = x;
        piece.y = y;
        piece.texWidth = w;
        piece.texHeight = h;
        piece.usedWidth = std::min(w, width - x);
        piece.usedHeight = std::min(h, height - y);
        pieces.push_back(piece);
    };
    for (const PieceSpan& row : down) {
        for (const PieceSpan& column : across) {
            if (!gDeviceResources.squareOnly || column.size == row.size) {
                add(column.position, row.position, column.size, row.size);
                continue;
            }
            // Enough squares to cover the whole piece, not only the whole multiples.
            int32_t side = std::min(column.size, row.size);
            bool wide = column.size > row.size;
            int32_t longer = wide ? column.size : row.size;
            for (int32_t step = 0; step < longer; step += side) {
                int32_t x = column.position + (wide ? step : 0);
                int32_t y = row.position + (wide ? 0 : step);
                if (x < width && y < height) add(x, y, side, side);
            }
        }
    }
    return pieces;
}

// A loading worker cannot delete its own pending graph (the deletion would wait for the very
// load it is part of): it gives the device objects back on the main thread, and the load's end
// deletes the graph.
int FailCreation(Handle graph, const char* line, int fromAsyncWorker) {
    if (line != nullptr) AppendLogText(line);
    if (!fromAsyncWorker) {
        DisposeGraph(graph);
        return -1;
    }
    const GraphRecord* record = GetGraphRecord(graph, 1);
    if (record != nullptr && record->textureInfo != nullptr) {
        ReleaseTexturePieces(record->textureInfo, 1);
    }
    return -1;
}

// Fills the graph's memory image in software mode: a one-byte image for blend images, else the
// screen-like 16- or 32-bit image with palette and alpha as the flags say.
int CreateGraphMemImg(GraphTextureInfo* info) {
    const TextureCreateFlags& f = info->flags;
    if (f.blendImage) {
        if (CreateMemImg(&info->image, info->width, info->height, -1, 0, kMemImgSingle8, 0, 0, 0,
                         nullptr) == -1) {
            return AppendLogText("ブレンド画像用メモリイメージの作成に失敗しました\n");
        }
        return 0;
    }
    bool wide = f.colorBits > 16;
    int type = wide ? kMemImgXrgb8888 : kMemImgRgb565;
    uint32_t transparent =
        f.paletteImage ? 0xFFFF
                       : PackKeyColorForFormat(GetMemImgColorFormat(type, f.alphaChannel, 0),
                                               info->transparentColor);
    info->formatIndex = wide ? (f.alphaChannel ? kMemImgFormat32Alpha : kMemImgFormat32)
                             : (f.alphaChannel ? kMemImgFormat16Alpha : kMemImgFormat16);
    if (CreateMemImg(&info->image, info->width, info->height, -1, transparent, type, f.paletteImage,
                     f.alphaChannel, 0, nullptr) == -1) {
        return AppendLogText("メモリイメージの作成に失敗しました\n");
    }
    return 0;
}

// The GraphPiece of a texture piece that overlaps the graph's rectangle.
GraphPiece MakeGraphPiece(const GraphRecord& graph, TexturePiece* piece) {
    GraphPiece p{};
    int32_t left = std::max(piece->x, graph.texX);
    int32_t top = std::max(piece->y, graph.texY);
    int32_t right = std::min(piece->x + piece->usedWidth, graph.texX + graph.width);
    int32_t bottom = std::min(piece->y + piece->usedHeight, graph.texY + graph.height);
    p.drawX = left - graph.texX;
    p.drawY = top - graph.texY;
    p.texOffX = left - piece->x;
    p.texOffY = top - piece->y;
    p.w = right - left;
    p.h = bottom - top;
    float u0 = static_cast<float>(p.texOffX) / static_cast<float>(piece->texWidth);
    float v0 = static_cast<float>(p.texOffY) / static_cast<float>(piece->texHeight);
    float u1 = static_cast<float>(p.texOffX + p.w) / static_cast<float>(piece->texWidth);
    float v1 = static_cast<float>(p.texOffY + p.h) / static_cast<float>(piece->texHeight);
    float x0 = static_cast<float>(p.drawX), y0 = static_cast<float>(p.drawY);
    float x1 = static_cast<float>(p.drawX + p.w), y1 = static_cast<float>(p.drawY + p.h);
    const float corners[4][4] = {
        {x0, y0, u0, v0}, {x1, y0, u1, v0}, {x0, y1, u0, v1}, {x1, y1, u1, v1}};
    std::memcpy(p.corners, corners, sizeof corners);
    float height = static_cast<float>(graph.height);
    float ratio = height / static_cast<float>(graph.width);
    p.diagonalFlags[0] = y0 <= height - x0 * ratio;
    p.diagonalFlags[1] = y0 <= height - x1 * ratio;
    p.diagonalFlags[2] = y1 < height - x0 * ratio;
    p.diagonalFlags[3] = y1 < height - x1 * ratio;
    p.texPiece = piece;
    return p;
}

bool Overlaps(const TexturePiece& piece, const GraphRecord& graph) {
    return piece.x < graph.texX + graph.width && graph.texX < piece.x + piece.usedWidth &&
           piece.y < graph.texY + graph.height && graph.texY < piece.y + piece.usedHeight;
}

}  // namespace

TextureCreateFlags MakeTextureCreateFlags(const GraphCreateSettings* s, int width, int height,
                                          int alphaChannel, int paletteImage, int dxtKind,
                                          int mipLevels) {
    TextureCreateFlags f{};
    f.useTexture = IsDirect3DMode() ? 1 : 0;
    f.managedPool = s->managedPool ? 1 : 0;
    f.dxtKind = static_cast<uint8_t>(dxtKind);
    int levels = mipLevels;
    if (levels == -1) levels = s->mipLevels == 0 ? 1 : s->mipLevels;
    if (levels == -1) levels = FullMipChain(width, height);
    f.mipLevels = static_cast<uint8_t>(std::clamp(levels, 0, 255));
    if (s->drawTarget == 1) {
        f.drawTarget = 1;
        f.alphaChannel = s->drawTargetAlpha ? 1 : 0;
        f.managedPool = 0;
        f.mipLevels = 1;
        f.multisampleCount = static_cast<uint8_t>(s->multisampleCount);
        f.multisampleQuality = static_cast<uint8_t>(s->multisampleQuality);
    } else {
        f.alphaChannel = alphaChannel ? 1 : 0;
        f.colorKeyAlpha = s->colorKeyAlpha ? 1 : 0;
        f.blendImage = s->blendImage ? 1 : 0;
    }
    int screenBits = QueryColorBitDepth();
    if (f.useTexture) {
        int bits = s->colorBits != 0 ? s->colorBits : (f.alphaChannel ? 32 : screenBits);
        f.colorBits = static_cast<uint8_t>(bits);
        if (f.alphaChannel) f.colorKeyAlpha = 0;
        if (f.blendImage) {
            f.colorBits = 32;
            f.alphaChannel = 1;
            f.drawTarget = 0;
            f.colorKeyAlpha = 0;
            return f;
        }
        if (f.drawTarget) {
            f.channelCount = static_cast<uint8_t>(s->channelCount);
            f.channelBits = static_cast<uint8_t>(s->channelBits);
            f.floatChannels = s->floatChannels ? 1 : 0;
        }
    } else {
        f.dxtKind = 0;
        f.colorBits = static_cast<uint8_t>(s->colorBits != 0 ? s->colorBits : screenBits);
        f.useMemImg = 1;
        f.paletteImage = paletteImage ? 1 : 0;
        f.managedPool = 0;
        f.drawTarget = f.blendImage ? 0 : 1;
        f.mipLevels = 0;
        f.colorKeyAlpha = 0;
    }
    return f;
}

int SelectTextureFormatIndex(const TextureCreateFlags* f) {
    if (f->dxtKind >= 1 && f->dxtKind <= 5) return kFormatDxt1 + f->dxtKind - 1;
    int channelBits = f->channelBits;
    // Without channel bits the colour bits give the width of all channels together.
    auto below = [&](int bits, int colorBitsInstead) {
        return channelBits != 0 ? channelBits < bits : f->colorBits < colorBitsInstead;
    };
    if (f->channelCount == 1) {
        if (f->floatChannels) return below(32, 32) ? 19 : 20;
        return below(16, 16) ? 17 : 18;
    }
    if (f->channelCount == 2) {
        if (f->floatChannels) return below(32, 64) ? 23 : 24;
        return below(16, 32) ? 21 : 22;
    }
    if (f->floatChannels) return below(32, 128) ? 15 : 16;
    if (channelBits >= 9) return 14;
    bool wide = f->colorBits > 16;
    if (f->drawTarget) {
        if (f->alphaChannel || f->colorKeyAlpha) return kFormatDrawTargetAlpha;
        return wide ? kFormatDrawTarget32 : kFormatDrawTarget16;
    }
    if (f->alphaChannel) return wide ? kFormatAlpha32 : kFormatAlpha16;
    if (f->colorKeyAlpha) return wide ? kFormatAlphaTest32 : kFormatAlphaTest16;
    return wide ? kFormat32 : kFormat16;
}

const ColorFormat* LookupGraphImageFormat(int alphaChannel, int alphaTest, int wide,
                                          int drawTarget) {
    TextureCreateFlags flags{};
    flags.alphaChannel = alphaChannel ? 1 : 0;
    flags.colorKeyAlpha = alphaTest ? 1 : 0;
    flags.colorBits = wide ? 32 : 16;
    flags.drawTarget = drawTarget ? 1 : 0;
    return ColorFormatOfFormatIndex(SelectTextureFormatIndex(&flags));
}

int CreateGraphTextures(const GraphCreateSettings* s, Handle graph, int width, int height,
                        int alphaChannel, int paletteImage, int dxtKind, int mipLevels,
                        int fromAsyncWorker) {
    if (GetGraphRecord(graph, 1) == nullptr) return -1;
    TextureCreateFlags flags =
        MakeTextureCreateFlags(s, width, height, alphaChannel, paletteImage, dxtKind, mipLevels);
    const char* noMemory = "グラフィックのオリジナル画像データ保存用メモリの確保に失敗しました\n";
    // A size that no image of the byte limit could have is refused before anything is made.
    if (width < 1 || height < 1 || int64_t{width} * height * 4 > GetGraphImageByteLimit()) {
        return FailCreation(graph, noMemory, fromAsyncWorker);
    }

    std::vector<TexturePiece> pieces;
    if (flags.useTexture) {
        // No piece can be larger than the device takes.
        int maxSize = std::min(s->maxTextureSize, gDeviceResources.maxTextureSize);
        pieces = LayOutPieces(maxSize, width, height, flags.drawTarget ? 0 : 1);
    }
    uint64_t bytes = sizeof(GraphTextureInfo) + uint64_t{pieces.size()} * sizeof(TexturePiece);
    auto* info = bytes <= 0x7FFFFFFF ? static_cast<GraphTextureInfo*>(AllocClearedMemory(
                                           static_cast<uint32_t>(bytes), __FILE__, __LINE__))
                                     : nullptr;
    if (info == nullptr) return FailCreation(graph, noMemory, fromAsyncWorker);
    info->refCount = 1;
    info->flags = flags;
    info->transparentColor = s->transparentColor;
    info->width = width;
    info->height = height;
    GraphRecord* record = GetGraphRecord(graph, 1);
    record->textureInfo = info;
    record->texX = record->texY = 0;
    record->width = width;
    record->height = height;

    if (flags.useTexture) {
        info->formatIndex = SelectTextureFormatIndex(&flags);
        bool dxt = info->formatIndex >= kFormatDxt1 && info->formatIndex < kFormatDxt1 + 5;
        info->mipLevels = dxt ? 1 : std::max<int>(1, flags.mipLevels);
        // Every piece has the same levels: no more than the smallest piece can hold.
        for (const TexturePiece& p : pieces) {
            info->mipLevels = std::min(info->mipLevels, FullMipChain(p.texWidth, p.texHeight));
        }
        info->pieceCount = static_cast<int32_t>(pieces.size());
        info->pieces = reinterpret_cast<TexturePiece*>(info + 1);
        std::copy(pieces.begin(), pieces.end(), info->pieces);
        info->drawTargetZ = flags.drawTarget && s->drawTargetDepth ? 1 : 0;
        if (CreateGraphTextureObjects(info, fromAsyncWorker) == -1) {
            return FailCreation(graph, nullptr, fromAsyncWorker);
        }
    } else if (CreateGraphMemImg(info) == -1) {
        return FailCreation(graph, nullptr, fromAsyncWorker);
    }
    if (SetupGraphPieces(graph, 1) == -1) return FailCreation(graph, nullptr, fromAsyncWorker);
    return 0;
}

int SetupGraphPieces(Handle graph, int acceptPending) {
    GraphRecord* record = GetGraphRecord(graph, acceptPending);
    if (record == nullptr || record->textureInfo == nullptr) return -1;
    GraphTextureInfo* info = record->textureInfo;
    if (!info->flags.useTexture) {
        if (IsMemImgValid(&record->image)) ReleaseMemImg(&record->image);
        DeriveMemImg(&record->image, &info->image, record->texX, record->texY, record->width,
                     record->height);
        return IsMemImgValid(&record->image) ? 0 : -1;
    }
    int count = 0;
    for (int i = 0; i < info->pieceCount; ++i) count += Overlaps(info->pieces[i], *record);
    if (count == 0) return AppendLogText("テクスチャ描画情報の作成に失敗しました\n");
    if (count > kInlineGraphPieces) {
        uint32_t size = sizeof(GraphRecord) +
                        static_cast<uint32_t>(count - kInlineGraphPieces) * sizeof(GraphPiece);
        if (ResizeHandleData(&gGraphRegistry, graph, size) == -1) {
            return AppendLogText("画像描画情報格納用メモリの確保に失敗しました\n");
        }
        record = GetGraphRecord(graph, 1);
    }
    GraphPiece* out = GraphPieces(record);
    record->pieceCount = 0;
    for (int i = 0; i < info->pieceCount; ++i) {
        if (Overlaps(info->pieces[i], *record)) {
            out[record->pieceCount++] = MakeGraphPiece(*record, &info->pieces[i]);
        }
    }
    return 0;
}

int SetupGraphFromGraphImage(const GraphCreateSettings* s, Handle graph, const GraphImage* image,
                             const GraphImage* alphaImage, int fromAsyncWorker) {
    if (!IsGraphicsInitialized()) return -1;
    if (!fromAsyncWorker) WaitWhileInactive();
    if (alphaImage != nullptr &&
        (alphaImage->width != image->width || alphaImage->height != image->height)) {
        return -1;
    }
    const ColorFormat& f = image->format;
    int alphaChannel = f.alphaWidth != 0 || alphaImage != nullptr ? 1 : 0;
    int paletteImage = f.pixelBytes == 1 && f.alphaWidth == 0 && alphaImage == nullptr ? 1 : 0;
    int mipLevels = image->mipCount >= 1 ? image->mipCount : -1;
    return CreateGraphTextures(s, graph, image->width, image->height, alphaChannel, paletteImage,
                               f.dxtKind, mipLevels, fromAsyncWorker);
}

int DeriveGraph(Handle newGraph, Handle source, int x, int y, int width, int height,
                int acceptPending) {
    const GraphRecord* from = GetGraphRecord(source, acceptPending);
    GraphRecord* to = GetGraphRecord(newGraph, 1);
    if (from == nullptr || to == nullptr || from->textureInfo == nullptr) return -1;
    ShareGraphTextureInfo(from->textureInfo);
    to->textureInfo = from->textureInfo;
    ShareGraphRestoreInfo(from->restoreInfo);
    to->restoreInfo = from->restoreInfo;
    to->imageX = from->imageX + x;
    to->imageY = from->imageY + y;
    to->texX = from->texX + x;
    to->texY = from->texY + y;
    to->width = width;
    to->height = height;
    return SetupGraphPieces(newGraph, 1);
}

int CutGraphRectInto(Handle newGraph, int x, int y, int width, int height, Handle source,
                     int acceptPending) {
    const GraphRecord* from = GetGraphRecord(source, acceptPending);
    if (from == nullptr) return -1;
    // An empty rectangle would make a graph that every drawing routine trusts to have pixels.
    if (x < 0 || x >= from->width || y < 0 || y >= from->height || width < 1 || height < 1) {
        return -1;
    }
    width = std::min(width, from->width - x);
    height = std::min(height, from->height - y);
    return DeriveGraph(newGraph, source, x, y, width, height, acceptPending);
}

Handle CutGraphRectEx(int x, int y, int width, int height, Handle source, int acceptPending) {
    Handle graph = IssueGraphHandle();
    if (graph == -1) return -1;
    if (CutGraphRectInto(graph, x, y, width, height, source, acceptPending) == -1) {
        DisposeGraph(graph);
        return -1;
    }
    return graph;
}

Handle CutGraphRect(int x, int y, int width, int height, Handle source) {
    return CutGraphRectEx(x, y, width, height, source, 0);
}

int ReleaseTexturePieces(GraphTextureInfo* info, int fromAsyncWorker) {
    for (int i = 0; i < info->pieceCount; ++i) {
        TexturePiece& p = info->pieces[i];
        // The side surfaces go before the texture they belong to.
        MarshalReleaseComObject(p.multisampleSurface, fromAsyncWorker);
        MarshalReleaseComObject(p.depthSurface, fromAsyncWorker);
        MarshalReleaseComObject(p.surface, fromAsyncWorker);
        MarshalReleaseComObject(p.texture, fromAsyncWorker);
        p.multisampleSurface = p.depthSurface = p.surface = nullptr;
        p.texture = nullptr;
    }
    return 0;
}

void ShareGraphTextureInfo(GraphTextureInfo* info) {
    if (info != nullptr) ++info->refCount;
}

void ReleaseGraphTextureInfo(GraphTextureInfo* info) {
    if (info == nullptr || --info->refCount > 0) return;
    if (info->flags.useTexture) {
        ReleaseTexturePieces(info, 0);
    } else if (IsMemImgValid(&info->image)) {
        ReleaseMemImg(&info->image);
    }
    FreeMemory(info);
}
