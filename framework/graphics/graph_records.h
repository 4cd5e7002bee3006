// Graphs: the records behind graph handles (kind 1), the texture flags a graph was made with,
// the size queries and the vertex colour every textured draw uses.
#pragma once

#include <platform/d3d9.h>

#include <cstdint>

#include "core/handle_registry.h"
#include "graphics/mem_img.h"

constexpr int32_t kMaxGraphs = 32768;

// How a graph's textures were made (one byte each).
struct TextureCreateFlags {
    uint8_t useTexture;
    uint8_t alphaChannel;
    uint8_t drawTarget;
    uint8_t useMemImg;
    uint8_t managedPool;
    uint8_t dxtKind;
    uint8_t mipLevels;
    uint8_t colorKeyAlpha;  // a one-bit alpha that the transparent colour clears
    uint8_t floatChannels;
    uint8_t colorBits;
    uint8_t channelCount;
    uint8_t channelBits;
    uint8_t blendImage;
    uint8_t paletteImage;
    uint8_t multisampleCount;
    uint8_t multisampleQuality;
};

// One texture of a split image.
struct TexturePiece {
    IDirect3DTexture9* texture;
    IDirect3DSurface9* surface;             // level 0
    IDirect3DSurface9* multisampleSurface;  // of a multisampled draw target
    IDirect3DSurface9* depthSurface;        // of a draw target that has one
    int32_t x, y;
    int32_t usedWidth, usedHeight;
    int32_t texWidth, texHeight;
};

struct GraphTextureInfo {
    int32_t refCount;
    int32_t formatIndex;
    TextureCreateFlags flags;
    uint32_t transparentColor;
    int32_t width, height;
    int32_t drawTargetZ;
    int32_t mipLevels;
    int32_t pieceCount;
    TexturePiece* pieces;
    MEMIMG image;  // without Direct3D
};

struct GraphPiece {
    int32_t drawX, drawY;
    int32_t texOffX, texOffY;
    int32_t w, h;
    float corners[4][4];  // x, y, u, v of top-left, top-right, bottom-left, bottom-right
    uint8_t diagonalFlags[4];
    TexturePiece* texPiece;
};

struct GraphRecord {
    HandleHeader header;
    int* lostFlag;
    Handle movie;
    void* restoreInfo;
    int32_t imageX, imageY;
    GraphTextureInfo* textureInfo;
    int32_t texX, texY;
    int32_t width, height;
    void* ownedBlocks[2];
    MEMIMG image;  // without Direct3D
    int32_t pieceCount;
    GraphPiece pieces[4];
};

extern HandleRegistry gGraphRegistry;

int InitGraphRecord(HandleHeader* record);
int TerminateGraphRecord(HandleHeader* record);
// Null for a bad handle; without acceptPending also while a load into the graph is pending.
GraphRecord* GetGraphRecord(Handle graph, int acceptPending);
// The graph's size, or for -2 and -4 the screen size; either pointer may be null.
int QueryGraphSize(Handle graph, int* width, int* height);
// 1 when the graph has textures and they are draw targets.
int IsDrawTargetGraph(const GraphRecord* record);
// The level-0 surface (multisample surface when there is one) of the graph's first piece.
IDirect3DSurface9* GetGraphTargetSurface(const GraphRecord* record);
// The texture of the graph's first piece; null for graphs without textures.
IDirect3DTexture9* GetGraphFirstTexture(const GraphRecord* record);
// The blend parameter as alpha (255 for blend mode 0 outside filter passes) over the draw
// bright: what every Direct3D draw writes as its vertex colour.
uint32_t ComputeDrawVertexColor();
