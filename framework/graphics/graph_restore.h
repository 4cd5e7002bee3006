// Graph restore after device loss: what each graph was made from, the release of every graph's
// device objects before the device goes, the refill after it is made anew, and the transfers
// that write images into existing graphs.
#pragma once

#include <platform/win32_types.h>

#include <cstdint>

#include "core/handle_registry.h"
#include "media/color_format.h"

struct ImageLoadRequest;

// Before the device is released; 0.
int ReleaseAllDeviceTextures();
// The built-in restore handler: reloads every graph from what it was made from.
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
// Writes the source rectangle of the image at (destX, destY) of the graph, which then
// remembers where it lies in that image; colour keying unless transparent colours are ignored.
int TransferGraphImageRectToGraph(const GraphImage* image, const GraphImage* alphaImage,
                                  const RECT* source, int destX, int destY, Handle graph);
// Opens the file as a movie that plays into the graph; -1 (logged) when it is no movie.
int OpenMovieAsGraph(const ImageLoadRequest* request, Handle graph, const char* fileName,
                     int fromAsyncWorker);
