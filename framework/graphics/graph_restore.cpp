// Graph restore: the restore source each graph records, the release of the device objects of
// the memory-texture pool and of every graph before the device goes, the refill of every graph
// from its source after the device is made anew, transfers of images into existing graphs,
// copies of a screen rectangle into a graph and colour fills. Shaders and buffers release and remake their device objects with the device itself.
#include "graphics/graph_restore.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "core/file_access.h"
#include "core/log.h"
#include "core/tracked_memory.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/device_resources.h"
#include "graphics/draw_state.h"
#include "graphics/graph_creation.h"
#include "graphics/graph_loading.h"
#include "graphics/graph_records.h"
#include "graphics/graph_transfer.h"
#include "graphics/graphics_state.h"
#include "graphics/memory_textures.h"
#include "graphics/screen_pixel_access.h"
#include "graphics/screen_state.h"
#include "graphics/software_screen.h"
#include "graphics/vertex_batch.h"
#include "image/image_loaders.h"
#include "softrender/raster.h"

namespace {

constexpr uint32_t kFullPathBytes = 1024;

void ReleaseGraphObjects(GraphRecord* graph) {
    GraphTextureInfo* info = graph->textureInfo;
    if (info != nullptr && info->flags.useTexture) ReleaseTexturePieces(info, 0);
    if (graph->movie != -1 && gGraphMovieHooks.releaseDeviceObjects != nullptr) {
        gGraphMovieHooks.releaseDeviceObjects(graph->movie);
    }
}

// A restore record with `extra` bytes behind it, or null (logged) when it cannot be had.
GraphRestoreInfo* AllocRestoreInfo(uint64_t extra, const char* failure) {
    uint64_t bytes = sizeof(GraphRestoreInfo) + extra;
    void* block = bytes <= 0x7FFFFFFF
                      ? AllocClearedMemory(static_cast<uint32_t>(bytes), __FILE__, __LINE__)
                      : nullptr;
    if (block == nullptr) AppendLogText(failure);
    return static_cast<GraphRestoreInfo*>(block);
}

GraphRestoreInfo* StoreFileName(const char* fileName) {
    const char* failure =
        "転送する画像ファイルのファイル名を保存するメモリ領域の確保に失敗しました\n";
    char full[kFullPathBytes];
    if (ToFullPath(fileName, full, sizeof full) != 0) {
        AppendLogText(failure);
        return nullptr;
    }
    size_t length = std::strlen(full) + 1;
    GraphRestoreInfo* info = AllocRestoreInfo(length, failure);
    if (info == nullptr) return nullptr;
    info->fileName = reinterpret_cast<char*>(info + 1);
    std::memcpy(info->fileName, full, length);
    return info;
}

GraphRestoreInfo* StoreMemoryImages(const void* image, uint32_t size, const void* alpha,
                                    uint32_t alphaSize) {
    if (alpha == nullptr) alphaSize = 0;
    GraphRestoreInfo* info = AllocRestoreInfo(
        uint64_t{size} + alphaSize, "転送する画像データを保存するメモリ領域の確保に失敗しました\n");
    if (info == nullptr) return nullptr;
    auto* data = reinterpret_cast<uint8_t*>(info + 1);
    info->memImage = data;
    info->memImageSize = size;
    std::memcpy(data, image, size);
    if (alpha != nullptr) {
        info->alphaMemImage = data + size;
        info->alphaMemImageSize = alphaSize;
        std::memcpy(data + size, alpha, alphaSize);
    }
    return info;
}

GraphRestoreInfo* StoreImages(const GraphImage* image, const GraphImage* alpha) {
    const char* failure = "転送する基本イメージを保存するメモリ領域の確保に失敗しました\n";
    int bytes = ComputeGraphImageDataBytes(image);
    int alphaBytes = alpha != nullptr ? ComputeGraphImageDataBytes(alpha) : 0;
    if (bytes < 0 || alphaBytes < 0) {
        AppendLogText(failure);
        return nullptr;
    }
    GraphRestoreInfo* info =
        AllocRestoreInfo(2 * sizeof(GraphImage) + uint64_t(bytes) + uint64_t(alphaBytes), failure);
    if (info == nullptr) return nullptr;
    auto* heads = reinterpret_cast<GraphImage*>(info + 1);
    auto* pixels = reinterpret_cast<uint8_t*>(heads + 2);
    heads[0] = *image;
    heads[0].pixels = pixels;
    std::memcpy(pixels, image->pixels, static_cast<size_t>(bytes));
    info->image = &heads[0];
    if (alpha != nullptr) {
        heads[1] = *alpha;
        heads[1].pixels = pixels + bytes;
        std::memcpy(heads[1].pixels, alpha->pixels, static_cast<size_t>(alphaBytes));
        info->alphaImage = &heads[1];
    }
    return info;
}

// The images decoded for the last graph restored from a file or a memory image, kept while the
// next graph has the same source (the cells of a divided graph follow each other in the slots).
struct DecodedSource {
    bool held = false;
    const char* fileName = nullptr;
    const void* memImage = nullptr;
    const void* alphaMemImage = nullptr;
    uint32_t mirror = 0;
    GraphImage color{}, alpha{};
    bool withAlpha = false;

    bool Matches(const GraphRestoreInfo& info) const {
        if (!held || mirror != info.mirror) return false;
        if (info.fileName != nullptr) {
            return fileName != nullptr && std::strcmp(fileName, info.fileName) == 0;
        }
        return fileName == nullptr && memImage == info.memImage &&
               alphaMemImage == info.alphaMemImage;
    }

    void Free() {
        if (held) {
            FreeGraphImage(&color);
            FreeGraphImage(&alpha);
        }
        *this = DecodedSource{};
    }

    // Decodes the info's file or memory image; false (logged) when it cannot be.
    bool Decode(const GraphRestoreInfo& info) {
        Free();
        int read = 0;
        if (info.fileName != nullptr) {
            read = ReadGraphImageAndAlpha(info.fileName, nullptr, 0, 0, nullptr, 0, 0, &color,
                                          &alpha, static_cast<int>(info.mirror));
            if (read == -1) {
                EmitLogFormat("ファイル:%s がロードできませんでした", info.fileName);
                return false;
            }
        } else {
            read = ReadGraphImageAndAlpha(nullptr, info.memImage, info.memImageSize, 1,
                                          info.alphaMemImage, info.alphaMemImageSize,
                                          info.alphaMemImage != nullptr ? 1 : 2, &color, &alpha,
                                          static_cast<int>(info.mirror));
            if (read == -1) {
                AppendLogText("メモリからの画像データのローができませんでした\n");
                return false;
            }
        }
        held = true;
        withAlpha = read == 0;
        fileName = info.fileName;
        memImage = info.memImage;
        alphaMemImage = info.alphaMemImage;
        mirror = info.mirror;
        return true;
    }
};

// Where a texture set's full image lies in the source every graph on it restores from; oneSource
// only when all of them restore from one source at positions that agree, so that refilling the
// whole set writes into each graph exactly what its own refill would.
struct TextureSetSource {
    const GraphRestoreInfo* info;
    int originX, originY;
    bool oneSource;
    bool filled;
};

std::unordered_map<const GraphTextureInfo*, TextureSetSource> TextureSetSources() {
    std::unordered_map<const GraphTextureInfo*, TextureSetSource> sets;
    ForEachHandleRecord(&gGraphRegistry, [&sets](HandleHeader* header) {
        const auto* graph = reinterpret_cast<const GraphRecord*>(header);
        if (graph->textureInfo == nullptr) return;
        TextureSetSource own = {graph->restoreInfo, graph->imageX - graph->texX,
                                graph->imageY - graph->texY, true, false};
        auto [at, added] = sets.try_emplace(graph->textureInfo, own);
        TextureSetSource& s = at->second;
        if (!added &&
            (s.info != own.info || s.originX != own.originX || s.originY != own.originY)) {
            s.oneSource = false;
        }
    });
    return sets;
}

// The texture piece of the graph that holds the rectangle (in the graph's coordinates) whole;
// -1 for none.
int PieceHolding(const GraphRecord& graph, const RECT& rect) {
    for (int i = 0; i < graph.pieceCount; ++i) {
        const GraphPiece& p = GraphPieces(&graph)[i];
        if (rect.left >= p.drawX && rect.top >= p.drawY && rect.right <= p.drawX + p.w &&
            rect.bottom <= p.drawY + p.h) {
            return i;
        }
    }
    return -1;
}

// The rectangle on the piece's texture.
RECT OnTexture(const GraphPiece& p, const RECT& rect) {
    int dx = p.texOffX - p.drawX, dy = p.texOffY - p.drawY;
    return {rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy};
}

// The device surface a copy is read from: the screen's (the sub back buffer when there is one)
// or the piece of the source graph that holds the rectangle, with the rectangle on it.
IDirect3DSurface9* SourceSurface(const GraphRecord* source, const RECT& rect, RECT* onSurface) {
    if (source == nullptr) {
        *onSurface = rect;
        return gDeviceResources.subBackBuffer != nullptr ? gDeviceResources.subBackBuffer
                                                         : gDeviceResources.backBuffer;
    }
    int piece = PieceHolding(*source, rect);
    if (piece < 0) return nullptr;
    const GraphPiece& p = GraphPieces(source)[piece];
    *onSurface = OnTexture(p, rect);
    const TexturePiece& t = *p.texPiece;
    return t.multisampleSurface != nullptr ? t.multisampleSurface : t.surface;
}

// Reads the rectangle of the source through the pixel access and uploads it into the graph.
int UploadScreenRect(Handle source, const GraphRecord* sourceGraph, const RECT& rect, int destX,
                     int destY, Handle graph) {
    RECT read = rect;
    int piece = 0;
    if (sourceGraph != nullptr && sourceGraph->textureInfo->flags.useTexture) {
        piece = PieceHolding(*sourceGraph, rect);
        if (piece < 0) return -1;
        const GraphPiece& p = GraphPieces(sourceGraph)[piece];
        read = {rect.left - p.drawX, rect.top - p.drawY, rect.right - p.drawX,
                rect.bottom - p.drawY};
    }
    GraphImage image{};
    if (OpenScreenPixelAccess(&read, &image, source, 1, piece) == -1) return -1;
    RECT all = {0, 0, image.width, image.height};
    int result = UploadImageToGraph(graph, &all, destX, destY, &image, nullptr, 0, 0, 0);
    CloseScreenPixelAccess();
    return result;
}

// Whether width x height at (x, y) lies inside the image and the alpha image (when given);
// reckoned in 64 bits, so that a place far outside cannot wrap around into them.
bool InsideImages(const GraphImage* image, const GraphImage* alpha, int64_t x, int64_t y,
                  int64_t width, int64_t height) {
    for (const GraphImage* i : {image, alpha}) {
        if (i != nullptr && (x < 0 || y < 0 || x + width > i->width || y + height > i->height)) {
            return false;
        }
    }
    return true;
}

}  // namespace

int ReleaseAllDeviceTextures() {
    ReleasePooledTextureObjects();
    ForEachGraphRecord(ReleaseGraphObjects);
    return 0;
}

void ReloadAllGraphs() {
    AppendLogText("グラフィックを復帰します\n");
    std::unordered_map<const GraphTextureInfo*, TextureSetSource> sets = TextureSetSources();
    DecodedSource decoded;
    const HandleRegistry& r = gGraphRegistry;
    int32_t highest = r.liveCount == 0 ? -1 : r.highestUsed;
    for (int32_t slot = r.lowestUsed; slot <= highest; ++slot) {
        const GraphRecord* graph = reinterpret_cast<const GraphRecord*>(r.slots[slot]);
        if (graph == nullptr || graph->restoreInfo == nullptr) continue;
        const GraphRestoreInfo& info = *graph->restoreInfo;
        const GraphImage* image = info.image;
        const GraphImage* alpha = info.alphaImage;
        if (info.fileName != nullptr || info.memImage != nullptr) {
            if (!decoded.Matches(info) && !decoded.Decode(info)) continue;
            image = &decoded.color;
            alpha = decoded.withAlpha ? &decoded.alpha : nullptr;
        }
        if (image == nullptr) continue;
        int useColorKey = gImageLoadSettings.ignoreTransparentColor ? 0 : 1;
        auto set = sets.find(graph->textureInfo);
        if (set != sets.end() && set->second.oneSource) {
            TextureSetSource& s = set->second;
            if (s.filled) continue;
            // The whole set at once, as it was loaded: DXT blocks and mip levels cannot be
            // written graph by graph. A set that reaches beyond the image (its other graphs
            // are gone) is filled graph by graph.
            RECT whole = {s.originX, s.originY, s.originX + graph->textureInfo->width,
                          s.originY + graph->textureInfo->height};
            s.filled = UploadImageToGraph(graph->header.handle, &whole, 0, 0, image, alpha,
                                          useColorKey, 1, 0) == 0;
            s.oneSource = s.filled;
            if (s.filled) continue;
        }
        TransferImageToGraphAt(image, alpha, graph->imageX, graph->imageY, graph->header.handle,
                               useColorKey, 0);
    }
    decoded.Free();
    AppendLogText("グラフィックの復帰が完了しました\n");
}

int SetGraphRestoreInfo(int noRestoreData, Handle graph, const char* fileName, const void* memImage,
                        uint32_t memImageSize, const void* alphaMemImage,
                        uint32_t alphaMemImageSize, const GraphImage* image,
                        const GraphImage* alphaImage, int mirror, Handle sourceGraph,
                        int acceptPending) {
    GraphRecord* record = GetGraphRecord(graph, acceptPending);
    if (record == nullptr) return -1;
    const GraphRecord* source = GetGraphRecord(sourceGraph, 1);
    ReleaseGraphRestoreInfo(record->restoreInfo);
    record->restoreInfo = nullptr;
    if (noRestoreData) return 0;
    if (source != nullptr || (fileName == nullptr && memImage == nullptr && image == nullptr)) {
        if (source != nullptr) {
            ShareGraphRestoreInfo(source->restoreInfo);
            record->restoreInfo = source->restoreInfo;
        }
        return 0;
    }
    GraphRestoreInfo* info =
        fileName != nullptr ? StoreFileName(fileName)
        : memImage != nullptr
            ? StoreMemoryImages(memImage, memImageSize, alphaMemImage, alphaMemImageSize)
            : StoreImages(image, alphaImage);
    if (info == nullptr) return -1;
    info->mirror = static_cast<uint32_t>(mirror);
    info->refCount = 1;
    record->restoreInfo = info;
    return 0;
}

int TransferImageToGraphAt(const GraphImage* image, const GraphImage* alphaImage, int srcX,
                           int srcY, Handle graph, int useColorKey, int acceptPending) {
    if (!IsGraphicsInitialized()) return -1;
    GraphRecord* record = GetGraphRecord(graph, acceptPending);
    if (record == nullptr) return -1;
    record->imageX = srcX;
    record->imageY = srcY;
    RECT source = {srcX, srcY, srcX + record->width, srcY + record->height};
    return UploadImageToGraph(graph, &source, 0, 0, image, alphaImage, useColorKey, 0,
                              acceptPending);
}

int TransferGraphImageToGraph(const GraphImage* image, const GraphImage* alphaImage, int srcX,
                              int srcY, Handle graph) {
    const ImageLoadSettings& load = gImageLoadSettings;
    if (TransferImageToGraphAt(image, alphaImage, srcX, srcY, graph,
                               load.ignoreTransparentColor ? 0 : 1, 0) == -1) {
        return -1;
    }
    // A private copy: the caller may free its images at once, and the graph survives device
    // loss all the same.
    return SetGraphRestoreInfo(load.noRestoreData, graph, nullptr, nullptr, 0, nullptr, 0, image,
                               alphaImage, 0, -1, 0);
}

int TransferGraphImageRectToGraph(const GraphImage* image, const GraphImage* alphaImage,
                                  const RECT* source, int destX, int destY, Handle graph) {
    GraphRecord* record = GetGraphRecord(graph, 0);
    if (record == nullptr || source == nullptr) return -1;
    record->imageX = source->left - destX;
    record->imageY = source->top - destY;
    return UploadImageToGraph(graph, source, destX, destY, image, alphaImage,
                              gImageLoadSettings.ignoreTransparentColor ? 0 : 1, 0, 0);
}

int64_t DivCellImageX(int imageWidth, int column, int cellWidth, int mirror) {
    int64_t start = int64_t{column} * cellWidth;
    return mirror ? imageWidth - start - cellWidth : start;
}

int TransferGraphImageToDivGraphs(const GraphImage* image, const GraphImage* alphaImage, int count,
                                  int xNum, int yNum, int cellWidth, int cellHeight,
                                  const Handle* cells, int mirror, int useColorKey,
                                  int acceptPending) {
    if (!IsGraphicsInitialized() || image == nullptr || cells == nullptr || count < 1 || xNum < 1 ||
        yNum < 1 || cellWidth < 1 || cellHeight < 1 || count > int64_t{xNum} * yNum) {
        return -1;
    }
    // Every cell's place, all checked before anything is written.
    std::vector<POINT> places(static_cast<size_t>(count));
    const GraphRecord* first = GetGraphRecord(cells[0], acceptPending);
    bool oneSet = true;
    for (int i = 0; i < count; ++i) {
        const GraphRecord* cell = GetGraphRecord(cells[i], acceptPending);
        if (cell == nullptr || cell->textureInfo == nullptr) return -1;
        int column = i % xNum, row = i / xNum;
        int64_t x = DivCellImageX(image->width, column, cellWidth, mirror);
        int64_t y = int64_t{row} * cellHeight;
        if (!InsideImages(image, alphaImage, x, y, cell->width, cell->height)) return -1;
        places[i] = {static_cast<LONG>(x), static_cast<LONG>(y)};
        // One upload puts every cell at its place only when they all sit in the set as they
        // sit in the image.
        oneSet = oneSet && cell->textureInfo == first->textureInfo &&
                 x - cell->texX == places[0].x - first->texX &&
                 y - cell->texY == places[0].y - first->texY;
    }
    const GraphTextureInfo& set = *first->textureInfo;
    int originX = places[0].x - first->texX, originY = places[0].y - first->texY;
    if (oneSet && InsideImages(image, alphaImage, originX, originY, set.width, set.height)) {
        RECT whole = {originX, originY, originX + set.width, originY + set.height};
        if (UploadImageToGraph(cells[0], &whole, 0, 0, image, alphaImage, useColorKey, 1,
                               acceptPending) == -1) {
            return -1;
        }
        for (int i = 0; i < count; ++i) {
            GraphRecord* cell = GetGraphRecord(cells[i], acceptPending);
            cell->imageX = places[i].x;
            cell->imageY = places[i].y;
        }
        return 0;
    }
    for (int i = 0; i < count; ++i) {
        if (TransferImageToGraphAt(image, alphaImage, places[i].x, places[i].y, cells[i],
                                   useColorKey, acceptPending) == -1) {
            return -1;
        }
    }
    return 0;
}

int ColorFillGraph(Handle graph, int red, int green, int blue, int alpha) {
    return ColorFillGraph(graph, red, green, blue, alpha, 0);
}

int CopyScreenRectToGraph(Handle source, int x1, int y1, int x2, int y2, int destX, int destY,
                          Handle graph) {
    const GraphRecord* to = GetGraphRecord(graph, 0);
    if (!IsGraphicsInitialized() || to == nullptr || to->textureInfo == nullptr) return -1;
    FlushVertexBatchNow();
    CloseDeviceScene();
    const GraphRecord* from = nullptr;
    int sourceWidth = 0, sourceHeight = 0;
    if (source == kBackScreen || source == kFrontScreen) {
        QueryGraphSize(source, &sourceWidth, &sourceHeight);
    } else {
        from = GetGraphRecord(source, 0);
        if (from == nullptr || from->textureInfo == nullptr) return -1;
        sourceWidth = from->width;
        sourceHeight = from->height;
    }
    // Checked against the source itself and the destination's own size, so that no copy reads
    // or writes outside either.
    RECT rect = {x1, y1, x2, y2};
    if (x1 < 0 || x1 >= x2 || x2 > sourceWidth || y1 < 0 || y1 >= y2 || y2 > sourceHeight ||
        destX < 0 || destY < 0 || int64_t{x2} - x1 + destX > to->width ||
        int64_t{y2} - y1 + destY > to->height) {
        return -1;
    }
    ++to->textureInfo->writeCount;
    if (!to->textureInfo->flags.useTexture) {
        const MEMIMG* image = from != nullptr ? &from->image : &gSoftwareScreen.screen;
        MEMIMG* dest = &GetGraphRecord(graph, 0)->image;
        return CopyMemImgRect(dest, image, &rect, destX, destY);
    }
    if (!HasDirect3DDevice()) return -1;
    if (!IsDrawTargetGraph(to)) return UploadScreenRect(source, from, rect, destX, destY, graph);
    RECT destRect = {destX, destY, destX + x2 - x1, destY + y2 - y1};
    int destPiece = PieceHolding(*to, destRect);
    RECT onSource{};
    IDirect3DSurface9* surface = SourceSurface(from, rect, &onSource);
    if (destPiece < 0 || surface == nullptr) return -1;
    const GraphPiece& p = GraphPieces(to)[destPiece];
    RECT onDest = OnTexture(p, destRect);
    return FAILED(DeviceStretchRect(surface, &onSource, p.texPiece->surface, &onDest, D3DTEXF_NONE))
               ? -1
               : 0;
}

int CopyDrawScreenToGraph(int x1, int y1, int x2, int y2, Handle graph) {
    const GraphRecord* record = GetGraphRecord(graph, 0);
    if (record == nullptr || int64_t{x2} - x1 != record->width ||
        int64_t{y2} - y1 != record->height) {
        return -1;
    }
    return CopyScreenRectToGraph(gDrawSettings.drawTargets[0], x1, y1, x2, y2, 0, 0, graph);
}

int ColorFillGraph(Handle graph, int red, int green, int blue, int alpha, int acceptPending) {
    GraphRecord* record = GetGraphRecord(graph, acceptPending);
    if (!IsGraphicsInitialized() || record == nullptr || record->textureInfo == nullptr) return -1;
    red = std::clamp(red, 0, 255);
    green = std::clamp(green, 0, 255);
    blue = std::clamp(blue, 0, 255);
    alpha = std::clamp(alpha, 0, 255);
    if (!record->textureInfo->flags.useTexture) {
        int32_t all[4] = {0, 0, record->width, record->height};
        FillMemImgRect(&record->image, all, PackScreenColor(red, green, blue));
        ++record->textureInfo->writeCount;
        return 0;
    }
    // Only draw targets take a fill on the device; any other textured graph stays as it is.
    if (!HasDirect3DDevice()) return -1;
    if (!IsDrawTargetGraph(record)) return 0;
    ++record->textureInfo->writeCount;
    D3DCOLOR colour = D3DCOLOR_ARGB(alpha, red, green, blue);
    for (int i = 0; i < record->pieceCount; ++i) {
        const GraphPiece& p = GraphPieces(record)[i];
        RECT rect = {p.texOffX, p.texOffY, p.texOffX + p.w, p.texOffY + p.h};
        if (FAILED(DeviceColorFill(p.texPiece->surface, &rect, colour))) return -1;
    }
    return 0;
}
