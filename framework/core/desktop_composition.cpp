// The desktop composition switch over the run-time DLL table.
#include "core/desktop_composition.h"

#include "core/platform_dlls.h"

namespace {

struct DesktopCompositionState {
    int32_t off;
};

DesktopCompositionState gDesktopComposition = {};

}  // namespace

int EnableDesktopComposition(int32_t enable) {
    int32_t off = enable == 0 ? 1 : 0;
    if (off == gDesktopComposition.off || gPlatformDlls.DwmEnableComposition == nullptr) return 0;
    gPlatformDlls.DwmEnableComposition(enable != 0 ? 1 : 0);
    gDesktopComposition.off = off;
    return 0;
}

int IsDesktopCompositionOff() {
    return gDesktopComposition.off;
}
