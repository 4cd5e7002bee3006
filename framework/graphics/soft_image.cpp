// The soft-image handle kind: its registry, whose records each hold a decoded image that is
// freed when the handle goes.
#include "graphics/soft_image.h"

struct SoftImageState {
    HandleRegistry registry;
};
static SoftImageState gSoftImage;

int RegisterSoftImageHandleType() {
    if (gSoftImage.registry.setUp) return -1;
    return SetupHandleRegistry(&gSoftImage.registry, HandleKindBits(kHandleKindSoftImage),
                               sizeof(SoftImageRecord), 8192, nullptr, ReleaseSoftImageRecord,
                               "ソフトイメージ");
}

int UnregisterSoftImageHandleType() {
    if (!gSoftImage.registry.setUp) return -1;
    return ShutdownHandleRegistry(&gSoftImage.registry);
}

int DeleteAllSoftImages() {
    return RetireAllHandles(&gSoftImage.registry, nullptr);
}

int ReleaseSoftImageRecord(HandleHeader* record) {
    FreeGraphImage(&reinterpret_cast<SoftImageRecord*>(record)->image);
    return 0;
}

HandleRegistry* GetSoftImageHandleRegistry() {
    return &gSoftImage.registry;
}
