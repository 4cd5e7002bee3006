// winmm's joystick calls over the host's joysticks: capabilities and positions, axes on the
// 0..65535 scale with the centre at 32768, buttons as bits, the hat as the point of view.
#include <algorithm>
#include <bit>
#include <cstring>

#include "../base/test_overrides.h"
#include "../host/host.h"
#include "../host/joystick_names.h"
#include "platform/mmsystem.h"

namespace {

constexpr UINT kMaxJoysticks = 16;
constexpr UINT kMaxAxes = 6;
constexpr UINT kMaxButtons = 32;
constexpr UINT kPeriodMin = 10;
constexpr UINT kPeriodMax = 1000;

DWORD Position(int32_t axis) {
    return static_cast<DWORD>(std::clamp(axis, -32768, 32767) + 32768);
}

}  // namespace

MMRESULT joyGetDevCapsA(UINT_PTR joystickId, LPJOYCAPSA caps, UINT capsSize) {
    if (caps == nullptr || capsSize < sizeof(JOYCAPSA)) return MMSYSERR_INVALPARAM;
    if (InjectedFailure("joyGetDevCapsA")) return MMSYSERR_NODRIVER;
    HostJoystickInfo info;
    if (joystickId >= kMaxJoysticks ||
        !Host().describeJoystick(static_cast<int>(joystickId), &info)) {
        return JOYERR_PARMS;
    }
    std::memset(caps, 0, sizeof(JOYCAPSA));
    CopyJoystickName(info.product, caps->szPname, sizeof caps->szPname);
    caps->wXmax = caps->wYmax = caps->wZmax = caps->wRmax = caps->wUmax = caps->wVmax = 65535;
    caps->wNumButtons = static_cast<UINT>(info.buttonCount);
    caps->wPeriodMin = kPeriodMin;
    caps->wPeriodMax = kPeriodMax;
    static const UINT kAxisCaps[] = {0, 0, JOYCAPS_HASZ, JOYCAPS_HASR, JOYCAPS_HASU, JOYCAPS_HASV};
    for (int axis = 0; axis < std::min<int>(info.axisCount, kMaxAxes); ++axis) {
        caps->wCaps |= kAxisCaps[axis];
    }
    if (info.hasHat) caps->wCaps |= JOYCAPS_HASPOV | JOYCAPS_POV4DIR;
    caps->wMaxAxes = kMaxAxes;
    caps->wNumAxes = static_cast<UINT>(info.axisCount);
    caps->wMaxButtons = kMaxButtons;
    return JOYERR_NOERROR;
}

MMRESULT joyGetPosEx(UINT joystickId, LPJOYINFOEX info) {
    if (info == nullptr || info->dwSize != sizeof(JOYINFOEX)) return MMSYSERR_INVALPARAM;
    if (InjectedFailure("joyGetPosEx")) return JOYERR_UNPLUGGED;
    if (joystickId >= kMaxJoysticks) return JOYERR_PARMS;
    HostJoystickState state;
    if (!Host().readJoystick(static_cast<int>(joystickId), &state)) return JOYERR_UNPLUGGED;
    DWORD flags = info->dwFlags;
    DWORD* positions[] = {&info->dwXpos, &info->dwYpos, &info->dwZpos,
                          &info->dwRpos, &info->dwUpos, &info->dwVpos};
    for (int axis = 0; axis < static_cast<int>(kMaxAxes); ++axis) {
        if ((flags & (JOY_RETURNX << axis)) != 0) *positions[axis] = Position(state.axes[axis]);
    }
    if ((flags & JOY_RETURNBUTTONS) != 0) {
        info->dwButtons = state.buttons;
        info->dwButtonNumber = static_cast<DWORD>(std::popcount(state.buttons));
    }
    if ((flags & JOY_RETURNPOV) != 0) {
        info->dwPOV = state.hat < 0 ? JOY_POVCENTERED : static_cast<DWORD>(state.hat) * 100;
    }
    return JOYERR_NOERROR;
}
