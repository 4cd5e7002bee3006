// Graph restore: the restore source each graph records, the release of the device objects of
// the memory-texture pool and of every graph before the device goes, and the transfer of an
// image into an existing graph. Stands in for the rest until the restore handler exists: the
// vertex buffers, index buffers and shaders hold no device objects yet, and after a device
// re-creation the graphs' textures are made again but not refilled; movie graphs wait for the
// movie player, which opens no file yet.
#include "graphics/graph_restore.h"

#include <cstring>

#include "core/full_path.h"
#include "core/log.h"
#include "core/tracked_memory.h"
#include "graphics/graph_creation.h"
#include "graphics/graph_loading.h"
#include "graphics/graph_records.h"
#include "graphics/graph_transfer.h"
#include "graphics/graphics_system.h"
#include "graphics/memory_textures.h"
#include "media/movies.h"

namespace {

constexpr uint32_t kFullPathBytes = 1024;

void ReleaseGraphObjects(GraphRecord* graph) {
    GraphTextureInfo* info = graph->textureInfo;
    if (info != nullptr && info->flags.useTexture) ReleaseTexturePieces(info);
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
    if (ResolveFullPath(fileName, full, sizeof full, nullptr) != 0) {
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

}  // namespace

int ReleaseAllDeviceTextures() {
    ReleasePooledTextureObjects();
    ForEachGraphRecord(ReleaseGraphObjects);
    return 0;
}

void ReloadAllGraphs() {}

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

int TransferGraphImageRectToGraph(const GraphImage* image, const GraphImage* alphaImage,
                                  const RECT* source, int destX, int destY, Handle graph) {
    GraphRecord* record = GetGraphRecord(graph, 0);
    if (record == nullptr) return -1;
    record->imageX = source->left - destX;
    record->imageY = source->top - destY;
    return UploadImageToGraph(graph, source, destX, destY, image, alphaImage,
                              gImageLoadSettings.ignoreTransparentColor == 0, 0, 0);
}

int OpenMovieAsGraph(const ImageLoadRequest* request, Handle graph, const char* fileName,
                     int fromAsyncWorker) {
    Handle movie = LoadMovieHandle(&request->movieOpenSetting, fileName, nullptr, nullptr,
                                   request->movieMode, 0);
    if (movie == -1) {
        return EmitLogFormat("右記のグラフィックファイルのロードに失敗しました：%s ", fileName);
    }
    // No movie opens until the player exists; a graph of its frames comes with it.
    DeleteMovieHandle(movie);
    return -1;
}
