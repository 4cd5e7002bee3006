// Filter and blend requests for the filter tests, written on one line.
#pragma once

#include "draw/filters.h"

// The kind over the source's rectangle into the destination at (destX, destY).
inline FilterRequest Filter(int kind, Handle source, Handle dest, RECT rect, int destX = 0,
                            int destY = 0) {
    return {.sourceGraph = source,
            .destGraph = dest,
            .kind = kind,
            .srcX1 = rect.left,
            .srcY1 = rect.top,
            .srcX2 = rect.right,
            .srcY2 = rect.bottom,
            .destX = destX,
            .destY = destY};
}

// Runs the request with the kind's parameters.
template <typename... Args>
int RunFilter(const FilterRequest& request, Args... args) {
    return ApplyFilterOrBlend(request, FilterParameters{{static_cast<int64_t>(args)...}});
}

// The blend of the layer over the base's rectangle into the destination at the same place.
inline FilterRequest Blend(int kind, Handle base, Handle layer, Handle dest, int ratio, RECT rect) {
    FilterRequest request = Filter(kind, base, dest, rect, rect.left, rect.top);
    request.isBlend = 1;
    request.blendGraph = layer;
    request.blendRatio = ratio;
    return request;
}
