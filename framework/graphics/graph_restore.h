// Graph restore after device loss: what each graph was made from, the release of every graph's
// device objects before the device goes, the refill after it is made anew, and the transfers
// that write images into existing graphs.
#pragma once

#include <orbek/orbek.h>
#include <platform/win32_user.h>

#include <cstdint>

#include "core/handle_registry.h"
#include "image/color_format.h"

// Before the device is released; 0.
int ReleaseAllDeviceTextures();
// The built-in restore handler: reloads every graph from what it was made from; the graphs of
// one texture set with one source (the cells of a divided load) are refilled at once.
void ReloadAllGraphs();

// Records what the graph's textures are filled from again after device loss: a file (stored
// as its full path), a memory image with its alpha image, or images (copied); with none of
// them, or with a valid sourceGraph, the source graph's record is shared. With noRestoreData
// the graph keeps none. -1 for a bad graph or when the copy cannot be stored (logged).
int SetGraphRestoreInfo(int noRestoreData, Handle graph, const char* fileName, const void* memImage,
                        uint32_t memImageSize, const void* alphaMemImage,
                        uint32_t alphaMemImageSize, const GraphImage* image,
                        const GraphImage* alphaImage, int mirror, Handle sourceGraph,
                        int acceptPending);
// Writes the graph's own size of the image, from (srcX, srcY), into the whole graph, which then
// remembers that position; colour keying as UploadImageToGraph.
int TransferImageToGraphAt(const GraphImage* image, const GraphImage* alphaImage, int srcX,
                           int srcY, Handle graph, int useColorKey, int acceptPending);
// TransferImageToGraphAt with colour keying unless transparent colours are ignored; the graph
// then restores from a copy of the images (unless restore data is switched off).
int TransferGraphImageToGraph(const GraphImage* image, const GraphImage* alphaImage, int srcX,
                              int srcY, Handle graph);
// Writes the source rectangle of the images at (destX, destY) of the graph, which then places
// itself in the image at the rectangle's corner less that point.
int TransferGraphImageRectToGraph(const GraphImage* image, const GraphImage* alphaImage,
                                  const RECT* source, int destX, int destY, Handle graph);
// Where a divided graph's cell of the column starts across the image. Mirrored, cells count
// from the right edge of the flipped image, so that each is the unflipped image's cell at the
// same place, shown mirrored, whatever the image's width beyond the cells.
int64_t DivCellImageX(int imageWidth, int column, int cellWidth, int mirror);
// Writes the image into existing cells laid out as a divided load lays them out: cell i at
// column i % xNum and row i / xNum of cellWidth x cellHeight cells, each filled with its own size
// from its place, which it then remembers; mirrored (the image being the flipped one), each row
// is counted from the image's right edge, as a mirrored load cuts its cells. Cells on one texture
// set at the places it was made for are filled by one upload of the whole set, which DXT blocks
// and mip levels need. -1, with nothing written, unless every cell is valid (pending accepted
// with acceptPending) and lies inside the image and the alpha image.
int TransferGraphImageToDivGraphs(const GraphImage* image, const GraphImage* alphaImage, int count,
                                  int xNum, int yNum, int cellWidth, int cellHeight,
                                  const Handle* cells, int mirror, int useColorKey,
                                  int acceptPending);
// Fills the graph with the colour (each channel clamped to 0..255): on the device only a draw
// target (any other textured graph is left as it is, with 0), as a raw fill; without textures
// through the software renderer's fill under the current blend mode, bright and draw area, alpha
// ignored. The public form (orbek/orbek.h) takes no pending graph.
int ColorFillGraph(Handle graph, int red, int green, int blue, int alpha, int acceptPending);
