// Loading images as graphs: an image file, an image in memory or decoded images become one
// graph or a grid of cells (divided graphs), or are loaded into such graphs that exist. Every
// load snapshots the current settings into a request and runs it; graphs made from decoded
// images and empty graphs are made here too.
// LoadImageFileAsGraph and LoadImageFileAsDivGraphs are public (orbek/orbek.h).
#pragma once

#include <orbek/orbek.h>

#include <cstdint>

#include "graphics/draw_state.h"
#include "image/image_loaders.h"

// The load settings beside the creation settings; nothing in this system changes them.
struct ImageLoadSettings {
    int32_t ignoreTransparentColor;  // transfers do no colour keying
    // Fully transparent pixels take the colour of an opaque neighbour, so filtered drawing
    // shows no fringe of the transparent colour.
    int32_t edgeFill;
    int32_t colorFromImage;  // the transparent colour is the image's top-left pixel
    int32_t noRestoreData;   // graphs keep nothing to restore from
};
extern ImageLoadSettings gImageLoadSettings;

// One load, with everything it needs captured when it was asked for, so that it can run at
// once or later on a worker alike.
struct ImageLoadRequest {
    ImageLoadContext context;
    int32_t movieOpenSetting;
    GraphCreateSettings create;
    ImageLoadSettings load;
    int32_t reuse;     // load into the graph or cells given instead of making new ones
    Handle graph;      // single load
    Handle baseGraph;  // divided load: the whole image, deleted once the cells hold it
    // The source: the first of these present.
    const char* fileName;
    const void* memImage;
    uint32_t memImageSize;
    const void* alphaMemImage;
    uint32_t alphaMemImageSize;
    GraphImage* image;  // the caller's, flipped for the load and back afterwards
    GraphImage* alphaImage;
    int32_t cellCount, cellsAcross, cellsDown, cellWidth, cellHeight;
    Handle* cells;
    int32_t flagWord;  // handed on to creation, without effect there
    int32_t mirror;    // flipped left to right, each row's cells numbered from the right
    int32_t movieMode;
};

// The images of one load: decoded by it (owned) or the caller's.
struct ImageLoadSources {
    int32_t owned;
    GraphImage color;
    GraphImage alpha;
    GraphImage* use;
    GraphImage* useAlpha;  // null for none
    int32_t flipped;       // the caller's images were flipped and must be flipped back
};

// Decoded images (the alpha image may be null) as a graph that keeps a copy to restore from.
Handle LoadGraphImageAsGraph(GraphImage* image, GraphImage* alphaImage, int32_t flag);
// A graph of decoded images with the current settings, keeping nothing to restore from.
Handle BuildGraphFromGraphImage(GraphImage* image, GraphImage* alphaImage, int32_t flag);
// A graph of the size with nothing in it (black draw targets); -1 when it cannot be made.
Handle CreateEmptyGraph(const GraphCreateSettings* settings, int width, int height, int32_t flag,
                        int async, int fromAsyncWorker);

void CaptureGraphCreateSettings(GraphCreateSettings* out);
void CaptureImageLoadSettings(ImageLoadRequest* request);
// A new graph filled from the request's source: its handle, or -1 (nothing left behind). With
// reuse the request's graph is filled instead (0); one with a load still pending is refused.
Handle SubmitImageLoadRequest(ImageLoadRequest* request, int async, int fromAsyncWorker);
// The request's cells filled from its source: 0, or -1 with every handle it issued deleted. With
// reuse the request's cells are filled instead and never deleted; a pending one is refused.
int SubmitDivImageLoadRequest(ImageLoadRequest* request, int async);
int RunImageLoadRequest(ImageLoadRequest* request, int fromAsyncWorker);
int RunDivImageLoadRequest(ImageLoadRequest* request, int fromAsyncWorker);
int AcquireLoadImages(ImageLoadSources* sources, const ImageLoadRequest* request);
void ReleaseLoadImages(ImageLoadSources* sources);
// Makes the graph from the images (edge fill, creation, transfer); -1 on failure. With reuse
// the existing graph, which must have the images' size, is filled instead and keys with the
// load's transparent colour from then on.
int BuildGraphFromImages(const GraphCreateSettings* create, const ImageLoadSettings* load,
                         int reuse, Handle graph, GraphImage* image, GraphImage* alphaImage,
                         int32_t flag, int fromAsyncWorker);
// BuildGraphFromImages into baseGraph, then cells[0..allNum-1] cut out of it row by row. With
// reuse the existing cells are filled instead (baseGraph unused): the image must hold the
// xNum x yNum grid, and nothing is written when it, the alpha image or a cell does not fit.
int CreateDivGraphFromGraphImage(const GraphCreateSettings* create, const ImageLoadSettings* load,
                                 int reuse, Handle baseGraph, GraphImage* image,
                                 GraphImage* alphaImage, int allNum, int xNum, int yNum, int width,
                                 int height, Handle* cells, int32_t flag, int mirror,
                                 int fromAsyncWorker);
