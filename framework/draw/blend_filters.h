// The blend filters: the layer-blend formulas (kinds 0 and 2 to 16) and the channel mix (kind 1),
// computing on the images their job read. 0, or -1 with the job's images freed.
#pragma once

#include "draw/filters.h"

int RunBasBFBlend(FilterJob* job);
// Selectors 0..3 name the source's R, G, B, A and 4..7 the blend graph's.
int RunRGBAMixBlend(FilterJob* job, int red, int green, int blue, int alpha);
