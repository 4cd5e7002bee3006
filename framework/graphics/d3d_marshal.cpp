// Stands in for the Direct3D marshalling module until it exists: only the readiness test of
// the DirectDraw object and the main window.
#include "graphics/d3d_marshal.h"

#include "app/shell.h"
#include "graphics/vertical_blank.h"

int IsDirectDrawWindowReady() {
    return GetDirectDraw7Object() != nullptr && GetMainHwnd() != nullptr ? 1 : 0;
}
