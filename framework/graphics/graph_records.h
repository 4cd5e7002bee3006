// Graphs: the records behind graph handles (kind 1), the shared texture sets and restore sources
// they point into, the texture flags a graph was made with, the rule that splits an image side
// into texture sizes, the size queries and the vertex colour every textured draw uses.
// DisposeGraph is public (orbek/orbek.h).
#pragma once

#include <orbek/orbek.h>
#include <platform/d3d9.h>

#include <cstdint>

#include "core/handle_registry.h"
#include "softrender/mem_img.h"

constexpr int32_t kMaxGraphs = 32768;
// GraphPiece records that fit in a record as registered; more grow the record.
constexpr int kInlineGraphPieces = 4;

// How a graph's textures were made (one byte each).
struct TextureCreateFlags {
    uint8_t useTexture;
    uint8_t alphaChannel;
    uint8_t drawTarget;
    uint8_t useMemImg;
    uint8_t managedPool;  // locked directly; 0: filled through a system-memory texture
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
    int32_t x, y;                           // in the full image
    int32_t usedWidth, usedHeight;          // the part of the texture the image covers
    int32_t texWidth, texHeight;
};

// One per loaded or created image, shared by every graph derived from it.
struct GraphTextureInfo {
    int32_t refCount;
    int32_t formatIndex;  // into the pixel-format table; 27 to 30 for memory images
    TextureCreateFlags flags;
    uint32_t transparentColor;  // 0x00RRGGBB
    int32_t width, height;
    int32_t drawTargetZ;
    int32_t mipLevels;
    int32_t pieceCount;
    TexturePiece* pieces;  // behind the record, in the same block
    MEMIMG image;          // without Direct3D
    // Raised by each upload, fill and copy into the pixels, so that a copy of them (a blend
    // image) can tell whether it is still theirs; drawing into a draw target does not count.
    uint32_t writeCount;
};

// What the restore after device loss reloads: exactly one of a full file path, a memory image
// (with an optional alpha memory image) or image copies, each stored behind the head.
struct GraphRestoreInfo {
    char* fileName;
    GraphImage* image;
    GraphImage* alphaImage;
    void* memImage;
    uint32_t memImageSize;
    void* alphaMemImage;
    uint32_t alphaMemImageSize;
    uint32_t mirror;
    int32_t refCount;
};

// The part of one texture piece that a graph shows.
struct GraphPiece {
    int32_t drawX, drawY;      // in the graph
    int32_t texOffX, texOffY;  // in the piece's texture
    int32_t w, h;
    float corners[4][4];  // x, y, u, v of top-left, top-right, bottom-left, bottom-right
    // Where the piece lies against the graph's diagonal from bottom-left to top-right.
    uint8_t diagonalFlags[4];
    TexturePiece* texPiece;
};

struct GraphRecord {
    HandleHeader header;
    int* lostFlag;  // set to 1 when the graph is deleted
    Handle movie;   // -1 for none
    GraphRestoreInfo* restoreInfo;
    int32_t imageX, imageY;  // in the image it was loaded from
    GraphTextureInfo* textureInfo;
    int32_t texX, texY;  // in the full image of textureInfo
    int32_t width, height;
    void* ownedBlocks[2];  // freed with the graph
    MEMIMG image;          // without Direct3D: a view of the shared image
    int32_t pieceCount;
    // Kept last: a record grown for more pieces continues this array (read it through
    // GraphPieces).
    GraphPiece pieces[kInlineGraphPieces];
};

extern HandleRegistry gGraphRegistry;

struct ImageLoadRequest;

// What graphs need of the movies they show, which live on the floor above: the shell fills it
// at start-up. While a slot is empty no file opens as a movie.
struct GraphMovieHooks {
    // The movie-open setting word that each load captures.
    int (*captureOpenSetting)(int32_t* out);
    // Opens the file as a movie shown by the graph; -1 (logged) when it is none.
    int (*open)(const ImageLoadRequest* request, Handle graph, const char* fileName,
                int fromAsyncWorker);
    // Before the device goes: the movie's objects in the device's default pool.
    void (*releaseDeviceObjects)(Handle movie);
    // The graph is deleted, and its movie with it.
    int (*remove)(Handle movie);
};
extern GraphMovieHooks gGraphMovieHooks;

Handle IssueGraphHandle();
int InitGraphRecord(HandleHeader* record);
// Null for a bad handle; without acceptPending also while a load into the graph is pending.
GraphRecord* GetGraphRecord(Handle graph, int acceptPending);
// The record's pieceCount pieces (a grown record holds more than kInlineGraphPieces).
inline GraphPiece* GraphPieces(GraphRecord* record) {
    return record->pieces;
}
inline const GraphPiece* GraphPieces(const GraphRecord* record) {
    return record->pieces;
}
// 1 for a usable graph with textures made with a multisample count.
int IsMultisampledGraph(Handle graph);
// With textures the full image's size, else the graph's own.
int QueryGraphTextureSize(Handle graph, int* width, int* height);
// Splits one side of `length` into texture sizes no larger than maxSize (0: the device's
// maximum); out may be null. Returns the number of pieces.
int SplitTextureLength(int maxSize, int length, uint16_t* out, int fitWhole, int forcePowerOfTwo);
// 1 when the graph has textures and they are draw targets.
int IsDrawTargetGraph(const GraphRecord* record);
// The level-0 surface (multisample surface when there is one) of the graph's first piece.
IDirect3DSurface9* GetGraphTargetSurface(const GraphRecord* record);
// The texture of the graph's first piece; null for graphs without textures.
IDirect3DTexture9* GetGraphFirstTexture(const GraphRecord* record);
// The blend parameter as alpha (255 for blend mode 0 outside filter passes) over the draw
// bright: what every Direct3D draw writes as its vertex colour.
uint32_t ComputeDrawVertexColor();
// 0 when the current blend graph is a usable graph at least as large as the graph, else -1.
int CheckBlendGraphCoverage(const GraphRecord* record);
// Calls visit for every live graph in slot order.
void ForEachGraphRecord(void (*visit)(GraphRecord* record));

// Counted sharing of the restore source; the last release frees it.
void ShareGraphRestoreInfo(GraphRestoreInfo* info);
void ReleaseGraphRestoreInfo(GraphRestoreInfo* info);
