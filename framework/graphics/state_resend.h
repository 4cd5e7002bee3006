// Sending the cached states to the device again, after a re-creation or after drawing that
// went around the cache: the render-state cache, the blend stages, the transforms and the
// shader constants, in a fixed order. Above each of them, so none of them calls up.
#pragma once

// After a device re-creation: every cached state is sent again, in a fixed order.
int ResendAllRenderStates();
// Sends the viewport, transforms, textures, samplers, blend states, depth, raster states and
// shader constants again (flags go to the blend states).
int ResendCachedDrawStates(int flags);
