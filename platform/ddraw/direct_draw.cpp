// DirectDraw 7, reduced to the vertical-blank wait: blanks fall on whole multiples of the
// display's refresh period on the layer's clock (so the virtual clock in tests jumps to them),
// or at intervals a test scripts. The software Direct3D device's presents wait on the same blanks.
#include "direct_draw.h"

#include <mutex>
#include <vector>

#include "../base/clock.h"
#include "../base/test_overrides.h"
#include "../ole32/com_object.h"
#include "platform/ddraw.h"
#include "platform/testing_ddraw.h"

namespace {

constexpr unsigned kDefaultRefreshHz = 60;

struct DirectDrawState {
    std::mutex lock;
    std::vector<unsigned> scriptedIntervals;  // empty: the display's refresh
    size_t nextInterval = 0;
    unsigned long long scriptedBlank = 0;  // 0: not anchored yet
    int waits = 0;
};

DirectDrawState gDirectDraw;
ComObjectCount gDirectDrawObjects;

unsigned long long RefreshPeriodMicroseconds() {
    DEVMODEA mode{};
    mode.dmSize = sizeof(mode);
    unsigned hz = kDefaultRefreshHz;
    if (EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode) &&
        mode.dmDisplayFrequency > 1) {
        hz = mode.dmDisplayFrequency;
    }
    return 1000000ULL / hz;
}

// The time of the first blank after `now`.
unsigned long long NextBlank(unsigned long long now) {
    std::lock_guard<std::mutex> guard(gDirectDraw.lock);
    const std::vector<unsigned>& script = gDirectDraw.scriptedIntervals;
    if (script.empty()) {
        unsigned long long period = RefreshPeriodMicroseconds();
        return (now / period + 1) * period;
    }
    if (gDirectDraw.scriptedBlank == 0) gDirectDraw.scriptedBlank = now;
    while (gDirectDraw.scriptedBlank <= now) {
        gDirectDraw.scriptedBlank += script[gDirectDraw.nextInterval];
        gDirectDraw.nextInterval = (gDirectDraw.nextInterval + 1) % script.size();
    }
    return gDirectDraw.scriptedBlank;
}

void WaitUntil(unsigned long long when) {
    unsigned long long now = ClockPeekMicroseconds();
    if (when <= now) return;
    if (ClockIsVirtual()) {
        ClockAdvanceMicroseconds(when - now);
        return;
    }
    SleepUntilMicroseconds(when);
}

class DirectDraw final : public ComObject<IDirectDraw7, gDirectDrawObjects, IID_IDirectDraw7> {
public:
    HRESULT Initialize(GUID* driver) override {
        if (initialised_) return DDERR_ALREADYINITIALIZED;
        if (InjectedFailure("IDirectDraw7::Initialize")) return DDERR_UNSUPPORTED;
        initialised_ = true;
        return DD_OK;
    }

    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override {
        if (!initialised_) return DDERR_NOTINITIALIZED;
        bool exclusive = (flags & DDSCL_EXCLUSIVE) != 0;
        bool normal = (flags & DDSCL_NORMAL) != 0;
        if (exclusive == normal || (exclusive && (flags & DDSCL_FULLSCREEN) == 0) ||
            (exclusive && window == nullptr)) {
            return DDERR_INVALIDPARAMS;
        }
        return DD_OK;
    }

    HRESULT WaitForVerticalBlank(DWORD flags, HANDLE event) override {
        if (!initialised_) return DDERR_NOTINITIALIZED;
        if (flags == DDWAITVB_BLOCKBEGINEVENT) return DDERR_UNSUPPORTED;
        if (flags != DDWAITVB_BLOCKBEGIN) return DDERR_INVALIDPARAMS;
        {
            std::lock_guard<std::mutex> guard(gDirectDraw.lock);
            ++gDirectDraw.waits;
        }
        WaitForNextVerticalBlank();
        return DD_OK;
    }

private:
    bool initialised_ = false;
};

}  // namespace

void WaitForNextVerticalBlank() {
    WaitUntil(NextBlank(ClockPeekMicroseconds()));
}

HRESULT CreateDirectDraw7Object(LPUNKNOWN outer, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return E_NOINTERFACE;
    auto* directDraw = new DirectDraw;
    HRESULT result = directDraw->QueryInterface(iid, object);
    directDraw->Release();
    return result;
}

void TestSetVerticalBlankIntervals(const std::vector<unsigned>& microseconds) {
    std::lock_guard<std::mutex> guard(gDirectDraw.lock);
    gDirectDraw.scriptedIntervals.clear();
    for (unsigned interval : microseconds) {
        if (interval > 0) gDirectDraw.scriptedIntervals.push_back(interval);
    }
    gDirectDraw.nextInterval = 0;
    gDirectDraw.scriptedBlank = 0;
    gDirectDraw.waits = 0;
}

int TestCountDirectDrawObjects() {
    return gDirectDrawObjects.live;
}

int TestCountVerticalBlankWaits() {
    std::lock_guard<std::mutex> guard(gDirectDraw.lock);
    return gDirectDraw.waits;
}
