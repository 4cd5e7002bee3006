// The blend image of a graph: what the renderers read of a blend graph. The device takes a
// blend graph's value from its texture's alpha and the software renderer from a memory image of
// one byte per pixel, while a graph loaded as a picture holds its value in its red channel; so
// the graph set as blend graph is copied into a graph made as a blend image, whose every pixel
// carries that red in each channel.
#pragma once

#include "core/handle_registry.h"

// The blend image of the graph's pixels as they are now, written into `reuse` (a blend image
// made before, or -1) when that has the graph's size, else into a new one; `reuse` is left for
// the caller to delete. Its handle, or -1 for a bad or pending graph or when it cannot be made
// (logged).
Handle MakeBlendImageOfGraph(Handle graph, Handle reuse);
