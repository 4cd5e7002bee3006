// Stands in for the Direct3D marshalling module until it exists: no DirectDraw object yet.
#include "graphics/d3d_marshal.h"

int IsDirectDrawWindowReady() {
    return 0;
}
