// Which host driver the layer uses: chosen by name from the environment at start (ORBEK_HOST,
// "sdl" or "headless"; SDL2 when unset), or by a test.
#include "host.h"

#include <cstdlib>
#include <cstring>

namespace {

struct NamedHost {
    const char* name;
    const HostDriver* driver;
};

constexpr NamedHost kNamedHosts[] = {{"sdl", &kSdlHost}, {"headless", &kHeadlessHost}};

}  // namespace

const HostDriver& HostFromEnvironment() {
    const char* name = std::getenv("ORBEK_HOST");
    for (const NamedHost& host : kNamedHosts) {
        if (name != nullptr && std::strcmp(name, host.name) == 0) return *host.driver;
    }
    return kSdlHost;
}

struct HostSelectionState {
    const HostDriver* driver = &HostFromEnvironment();
};

static HostSelectionState gHostSelection;

const HostDriver& Host() {
    return *gHostSelection.driver;
}

void SelectHostDriver(const HostDriver& driver) {
    gHostSelection.driver = &driver;
}
