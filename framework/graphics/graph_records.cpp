// Graph records: the registry of kind 1 and the queries every drawing call makes. Stands in for
// graph creation until it exists: no graph is ever given textures or an image, so the
// terminate callback has nothing to release.
#include "graphics/graph_records.h"

#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/screen_state.h"

HandleRegistry gGraphRegistry = {};

int InitGraphRecord(HandleHeader* record) {
    reinterpret_cast<GraphRecord*>(record)->movie = -1;
    return 0;
}

int TerminateGraphRecord(HandleHeader* record) {
    GraphRecord* graph = reinterpret_cast<GraphRecord*>(record);
    if (graph->lostFlag != nullptr) *graph->lostFlag = 1;
    return 0;
}

GraphRecord* GetGraphRecord(Handle graph, int acceptPending) {
    if (!gGraphRegistry.setUp) return nullptr;
    auto* record = reinterpret_cast<GraphRecord*>(FindHandleRecord(&gGraphRegistry, graph));
    if (record == nullptr || (!acceptPending && record->header.asyncPendingCount != 0)) {
        return nullptr;
    }
    return record;
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
