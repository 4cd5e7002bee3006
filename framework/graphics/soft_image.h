// The soft-image handle kind (2): records that hold a decoded image, registered at start-up
// and deleted at shutdown.
#pragma once

#include "core/handle_registry.h"
#include "image/color_format.h"

struct SoftImageRecord {
    HandleHeader header;
    GraphImage image;
};

int RegisterSoftImageHandleType();
int UnregisterSoftImageHandleType();
int DeleteAllSoftImages();
// The kind's terminate callback: frees the record's image; 0.
int ReleaseSoftImageRecord(HandleHeader* record);
HandleRegistry* GetSoftImageHandleRegistry();
