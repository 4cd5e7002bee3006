// Specialised spans: after a state change the first draw plans, for its state, a span made of
// pieces chosen for that state (span_plan.h), which gives exactly the pixels of the general
// path (ShadeSpan) many pixels at a time. States without such a span, primitives in
// perspective or with two mip levels blended, and every draw while the general path is forced
// (ORBEK_D3D9_GENERAL_SPANS=1 or the test hook) go through ShadeSpan.
#pragma once

#include "pixel_pipeline.h"

// Whether the processor runs the spans' SSE2 forms (its feature bits, as the software renderer
// chooses its loops); without them every draw takes the general path.
bool ProcessorHasSse2();
// Plans the pipeline's specialised span; plan.usable stays false when the state has none.
void PlanSpans(DrawPipeline& pipeline);
// Prepares a primitive that the specialised span draws (its flat colours).
void BeginSpecialPrimitive(DrawPipeline& pipeline, const Interpolants& in);
// Shades pixels x0 <= x < x1 of row y with the pipeline's plan.
void SpecialSpan(DrawPipeline& pipeline, const Interpolants& in, int y, int x0, int x1);
