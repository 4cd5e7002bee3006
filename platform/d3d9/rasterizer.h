// Rasterisation by Direct3D 9's rules: pixel centres on integer coordinates, the top-left fill
// rule for triangles, a diamond-exit approximation for lines, one pixel per point.
#pragma once

#include "pixel_pipeline.h"

struct ScreenVertex {
    float x, y, z, rhw;
    Color diffuse;
    Color specular;
    float tex[kMaxTexSets][2];
};

// `provoking` gives the colours of flat shading.
void RasterizeTriangle(DrawPipeline& pipeline, const ScreenVertex& a, const ScreenVertex& b,
                       const ScreenVertex& c, const ScreenVertex& provoking);
// `lastPixel` also draws the pixel of the end point; `provoking` gives the colours of flat
// shading.
void RasterizeLine(DrawPipeline& pipeline, const ScreenVertex& a, const ScreenVertex& b,
                   const ScreenVertex& provoking, bool lastPixel);
void RasterizePoint(DrawPipeline& pipeline, const ScreenVertex& v);
