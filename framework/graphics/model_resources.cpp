// Stands in for the model resources until they exist: Direct3D is never in use, so there are
// no kinds to register.
#include "graphics/model_resources.h"

int RegisterModelHandleTypes() {
    return 0;
}

int UnregisterModelHandleTypes() {
    return 0;
}
