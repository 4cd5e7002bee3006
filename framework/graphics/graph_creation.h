// Graph creation: the texture flags and format a graph gets, its texture pieces (or memory
// image), and graphs derived from others that share their textures (rectangles cut out of a
// graph, the cells of a divided graph).
#pragma once

#include "graphics/draw_state.h"
#include "graphics/graph_records.h"

// Format indexes of graphs without Direct3D, beyond the pixel-format table.
constexpr int32_t kMemImgFormat16 = 27;
constexpr int32_t kMemImgFormat16Alpha = 28;
constexpr int32_t kMemImgFormat32 = 29;
constexpr int32_t kMemImgFormat32Alpha = 30;

TextureCreateFlags MakeTextureCreateFlags(const GraphCreateSettings* settings, int width,
                                          int height, int alphaChannel, int paletteImage,
                                          int dxtKind, int mipLevels);
// The pixel-format table index of textures made with the flags.
int SelectTextureFormatIndex(const TextureCreateFlags* flags);
// The colour format of textures made with only these flags (32 or 16 bits).
const ColorFormat* LookupGraphImageFormat(int alphaChannel, int alphaTest, int wide,
                                          int drawTarget);
// Gives the graph its textures (or memory image) of the size, all pieces laid out; mipLevels -1
// takes the settings' choice. On failure the graph handle is deleted (on a loading worker only
// its device objects are given back: the load's end deletes it) and -1 returned.
int CreateGraphTextures(const GraphCreateSettings* settings, Handle graph, int width, int height,
                        int alphaChannel, int paletteImage, int dxtKind, int mipLevels,
                        int fromAsyncWorker);
// The graph's view of the texture pieces it overlaps (or of the shared memory image) from
// texX, texY, width and height. The record may move: look it up again afterwards.
int SetupGraphPieces(Handle graph, int acceptPending);
// CreateGraphTextures with the flags the image asks for; -1 (graph deleted) on failure.
int SetupGraphFromGraphImage(const GraphCreateSettings* settings, Handle graph,
                             const GraphImage* image, const GraphImage* alphaImage,
                             int fromAsyncWorker);
// newGraph shows the rectangle (x, y, width, height) of source, sharing its textures.
int DeriveGraph(Handle newGraph, Handle source, int x, int y, int width, int height,
                int acceptPending);
// DeriveGraph of a rectangle whose corner lies inside the source, cut to the source's edge.
int CutGraphRectInto(Handle newGraph, int x, int y, int width, int height, Handle source,
                     int acceptPending);
Handle CutGraphRectEx(int x, int y, int width, int height, Handle source, int acceptPending);
Handle CutGraphRect(int x, int y, int width, int height, Handle source);
// Releases every piece's surfaces and texture; the pieces keep their layout. 0.
int ReleaseTexturePieces(GraphTextureInfo* info, int fromAsyncWorker);
// Counted sharing of a graph's texture set; the last release frees it with its device objects
// or memory image.
void ShareGraphTextureInfo(GraphTextureInfo* info);
void ReleaseGraphTextureInfo(GraphTextureInfo* info);
