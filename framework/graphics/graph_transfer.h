// Image transfer into graphs: a rectangle of a decoded image (with its optional alpha image)
// written into every texture piece it reaches, by the route the textures were made for (a
// system-memory surface for draw targets, a direct lock for the managed pool, a pooled
// system-memory texture otherwise), with the edge column and row repeated for bilinear
// sampling, mip levels, DXT blocks and the colour key; or into the graph's memory image.
#pragma once

#include <platform/win32_user.h>

#include "core/handle_registry.h"
#include "image/color_format.h"

// Writes the source rectangle of the image into the graph with its top-left at (destX, destY),
// in the graph's coordinates or, with wholeImageCoordinates, in those of the full image of its
// texture set. useColorKey: where the texture has alpha and no alpha image is given, pixels of
// the transparent colour (compared in the texture's format) get alpha 0. 0 also for an empty
// rectangle; -1 when the rectangle is not inside the image or a step fails (logged).
int UploadImageToGraph(Handle graph, const RECT* source, int destX, int destY,
                       const GraphImage* image, const GraphImage* alphaImage, int useColorKey,
                       int wholeImageCoordinates, int fromAsyncWorker);
