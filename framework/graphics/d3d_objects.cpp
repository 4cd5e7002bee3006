#include "graphics/d3d_objects.h"

Direct3DState gDirect3D = {};
