// Graph records: the registry of kind 1, the counted texture sets and restore sources the
// records share, the queries every drawing call makes, and the split of an image side into
// texture sizes.
#include "graphics/graph_records.h"


#include "core/tracked_memory.h"
#include "graphics/device_resources.h"
#include "graphics/draw_state.h"
#include "graphics/screen_state.h"


HandleRegistry gGraphRegistry = {};
GraphMovieHooks gGraphMovieHooks = {};

Handle IssueGraphHandle() {
    return IssueHandle(&gGraphRegistry, -1);
}

int InitGraphRecord(HandleHeader* record) {
    reinterpret_cast<GraphRecord*>(record)->movie = -1;
    return 0;
}

void ShareGraphRestoreInfo(GraphRestoreInfo* info) {
    if (info != nullptr) ++info->refCount;
}

void ReleaseGraphRestoreInfo(GraphRestoreInfo* info) {
    // The head and everything it points to are one block.
    if (info != nullptr && --info->refCount <= 0) FreeMemory(info);
}

int IsGraphLoading(Handle graph) {
    return IsHandleLoadPending(&gGraphRegistry, graph);
}

GraphRecord* GetGraphRecord(Handle graph, int acceptPending) {
    return reinterpret_cast<GraphRecord*>(acceptPending
                                              ? FindHandleRecord(&gGraphRegistry, graph)
                                              : FindUsableHandleRecord(&gGraphRegistry, graph));
}

int IsMultisampledGraph(Handle graph) {
    const GraphRecord* record = GetGraphRecord(graph, 0);
    return record != nullptr && record->textureInfo != nullptr &&
                   record->textureInfo->flags.useTexture &&
                   record->textureInfo->flags.multisampleCount != 0
               ? 1
               : 0;
}

int DisposeGraph(Handle graph) {
    return RetireHandle(&gGraphRegistry, graph);
}

int AttachGraphLostFlag(Handle graph, int* flag) {
    GraphRecord* record = GetGraphRecord(graph, 0);
    if (record == nullptr) return -1;
    record->lostFlag = flag;
    if (flag != nullptr) *flag = 0;
    return 0;
}

int QueryGraphSize(Handle graph, int* width, int* height) {
    int w = 0, h = 0;
    if (graph == kBackScreen || graph == kFrontScreen) {
        w = gScreen.screenWidth;
        h = gScreen.screenHeight;
    } else {
        const GraphRecord* record = GetGraphRecord(graph, 1);
        if (record == nullptr) return -1;
        w = record->width;
        h = record->height;
    }
    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
    return 0;
}

int QueryGraphTextureSize(Handle graph, int* width, int* height) {
    const GraphRecord* record = GetGraphRecord(graph, 1);
    if (record == nullptr) return -1;
    const GraphTextureInfo* info = record->textureInfo;
    bool textured = info != nullptr && info->flags.useTexture;
    if (width != nullptr) *width = textured ? info->width : record->width;
    if (height != nullptr) *height = textured ? info->height : record->height;
    return 0;
}

int SplitTextureLength(int maxSize, int length, uint16_t* out, int fitWhole, int forcePowerOfTwo) {
    const DeviceResourceState& device = gDeviceResources;
    int max = maxSize > 0 ? maxSize : device.maxTextureSize;
    if (max < 1) max = 1;
    int count = 0, last = 0, previous = 0;
    auto record = [&](int size) {
        if (out != nullptr) out[count] = static_cast<uint16_t>(size);
        ++count;
        previous = last;
        last = size;
    };
    bool anySize = !device.pow2Only || device.nonPow2Conditional;
    if (!forcePowerOfTwo && anySize && length <= max) {
        record(length);
        return count;
    }
    if (length < 2) {
        record(1);
        return count;
    }
    int n = max;
    while (n > 1 && n > length) n /= 2;
    bool wholeWanted = fitWhole || (maxSize <= 0 && length <= gScreen.screenWidth);
    if (wholeWanted && 2 * n <= max) {
        record(n >= length ? n : 2 * n);
        return count;
    }
    for (int left = length;;) {
        record(n);
        left -= n;
        if (left <= 0) break;
        // Most of a piece left over: one piece of twice the size holds it instead.
        if (left > 3 * n / 4 && n < max) {
            last = 2 * n;
            if (out != nullptr) out[count - 1] = static_cast<uint16_t>(last);
            break;
        }
        while (left < n && n > 1) n /= 2;
    }
    if (count >= 2 && last == previous && 2 * last <= max) {
        --count;
        if (out != nullptr) out[count - 1] = static_cast<uint16_t>(2 * last);
    }
    return count;
}

int IsDrawTargetGraph(const GraphRecord* record) {
    return record->textureInfo != nullptr && record->textureInfo->flags.drawTarget != 0 ? 1 : 0;
}

IDirect3DSurface9* GetGraphTargetSurface(const GraphRecord* record) {
    if (record->textureInfo == nullptr || record->textureInfo->pieceCount == 0) return nullptr;
    const TexturePiece& piece = record->textureInfo->pieces[0];
    return piece.multisampleSurface != nullptr ? piece.multisampleSurface : piece.surface;
}

IDirect3DTexture9* GetGraphFirstTexture(const GraphRecord* record) {
    if (record->textureInfo == nullptr || record->textureInfo->pieceCount == 0) return nullptr;
    return record->textureInfo->pieces[0].texture;
}

uint32_t ComputeDrawVertexColor() {
    const DrawSettings& s = gDrawSettings;
    uint32_t alpha = s.blendMode != BlendOpaque ? s.blendParam
                     : s.filterPassAlpha != 0   ? s.blendParam
                                                : 255;
    return alpha << 24 | static_cast<uint32_t>(s.brightRed) << 16 |
           static_cast<uint32_t>(s.brightGreen) << 8 | static_cast<uint32_t>(s.brightBlue);
}

int CheckBlendGraphCoverage(const GraphRecord* record) {
    const GraphRecord* blend = GetGraphRecord(gDrawSettings.blendGraph, 0);
    if (blend == nullptr || blend->width < record->width || blend->height < record->height) {
        return -1;
    }
    return 0;
}

void ForEachGraphRecord(void (*visit)(GraphRecord* record)) {
    ForEachHandleRecord(&gGraphRegistry, [visit](HandleHeader* header) {
        visit(reinterpret_cast<GraphRecord*>(header));
    });
}
