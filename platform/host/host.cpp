// Which host driver the layer uses: SDL2 unless a test chose the headless one.
#include "host.h"

struct HostSelectionState {
    const HostDriver* driver = &kSdlHost;
};

static HostSelectionState gHostSelection;

const HostDriver& Host() {
    return *gHostSelection.driver;
}

void SelectHostDriver(const HostDriver& driver) {
    gHostSelection.driver = &driver;
}
