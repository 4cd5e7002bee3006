// DirectInput devices under DirectInput's rules on formats, cooperation and acquisition: the
// system keyboard by key code and the mouse (both from the host's input events), and pads (the
// host's joysticks with per-axis range, dead zone and saturation).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "../base/test_overrides.h"
#include "../host/host.h"
#include "../keyboard/keyboard.h"
#include "dinput_objects.h"
#include "platform/win32_user.h"

const DIDATAFORMAT c_dfDIKeyboard = {
    sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), 0, 256, 0, nullptr};
const DIDATAFORMAT c_dfDIMouse = {sizeof(DIDATAFORMAT),
                                  sizeof(DIOBJECTDATAFORMAT),
                                  DIDF_RELAXIS,
                                  sizeof(DIMOUSESTATE),
                                  0,
                                  nullptr};
const DIDATAFORMAT c_dfDIJoystick = {
    sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_ABSAXIS, sizeof(DIJOYSTATE), 0, nullptr};

namespace {

enum class DeviceKind { Keyboard, Mouse, Pad };

constexpr int kAxes = 6;
constexpr DWORD kFullScale = 10000;  // dead zone and saturation are parts of 10,000
constexpr DWORD kCentredView = 0xFFFFFFFF;

struct AxisSetting {
    LONG min = 0;
    LONG max = 65535;
    DWORD deadZone = 0;
    DWORD saturation = kFullScale;
};

// A host axis (-32768..32767) in an axis's range: positions within the dead zone read as the
// centre, positions beyond the saturation as the end, and the rest is spread in between.
LONG ScaleAxis(int32_t raw, const AxisSetting& axis) {
    double position = raw < 0 ? raw / 32768.0 : raw / 32767.0;
    double magnitude = std::min(std::fabs(position), 1.0);
    double dead = axis.deadZone / static_cast<double>(kFullScale);
    double saturated = axis.saturation / static_cast<double>(kFullScale);
    double scaled = magnitude <= dead        ? 0.0
                    : magnitude >= saturated ? 1.0
                                             : (magnitude - dead) / (saturated - dead);
    double centre = (static_cast<double>(axis.min) + axis.max) / 2.0;
    double half = (static_cast<double>(axis.max) - axis.min) / 2.0;
    return static_cast<LONG>(std::lround(centre + std::copysign(scaled, position) * half));
}

class InputDevice final : public ComObject<IDirectInputDevice8A, gDirectInputObjects> {
public:
    InputDevice(int version, DeviceKind kind, int pad, const HostJoystickInfo& info)
        : version_(version), kind_(kind), pad_(pad), info_(info) {
        info_.axisCount = std::clamp(info_.axisCount, 0, kAxes);
    }

    HRESULT Acquire() override {
        Record("Acquire");
        if (InjectedFailure("IDirectInputDevice::Acquire")) return DIERR_OTHERAPPHASPRIO;
        if (format_ == nullptr) return DIERR_INVALIDPARAM;
        if (acquired_) return DI_NOEFFECT;
        if (!InForeground()) return DIERR_OTHERAPPHASPRIO;
        HostJoystickInfo info;
        if (kind_ == DeviceKind::Pad && !Host().describeJoystick(pad_, &info)) {
            return DIERR_UNPLUGGED;
        }
        acquired_ = true;
        if (kind_ == DeviceKind::Mouse) GetCursorPos(&lastCursor_);
        return DI_OK;
    }

    HRESULT Unacquire() override {
        Record("Unacquire");
        if (!acquired_) return DI_NOEFFECT;
        acquired_ = false;
        return DI_OK;
    }

    HRESULT GetDeviceState(DWORD bytes, LPVOID data) override {
        Record("GetDeviceState", bytes);
        if (data == nullptr || format_ == nullptr || bytes != format_->dwDataSize) {
            return DIERR_INVALIDPARAM;
        }
        if (!acquired_) return DIERR_NOTACQUIRED;
        // A lost device must be acquired again, as when its window loses the foreground.
        if (InjectedFailure("IDirectInputDevice::GetDeviceState") || !InForeground()) {
            acquired_ = false;
            return DIERR_INPUTLOST;
        }
        switch (kind_) {
            case DeviceKind::Keyboard:
                ReadKeyboard(static_cast<BYTE*>(data));
                return DI_OK;
            case DeviceKind::Mouse:
                ReadMouse(static_cast<DIMOUSESTATE*>(data));
                return DI_OK;
            case DeviceKind::Pad:
                if (ReadPad(static_cast<DIJOYSTATE*>(data))) return DI_OK;
                acquired_ = false;
                return DIERR_INPUTLOST;
        }
        return DIERR_GENERIC;
    }

    HRESULT SetDataFormat(LPCDIDATAFORMAT format) override {
        Record("SetDataFormat");
        if (InjectedFailure("IDirectInputDevice::SetDataFormat")) return DIERR_INVALIDPARAM;
        if (acquired_) return DIERR_ACQUIRED;
        const DIDATAFORMAT* own = kind_ == DeviceKind::Keyboard ? &c_dfDIKeyboard
                                  : kind_ == DeviceKind::Mouse  ? &c_dfDIMouse
                                                                : &c_dfDIJoystick;
        if (format != own) return DIERR_INVALIDPARAM;
        format_ = format;
        return DI_OK;
    }

    HRESULT SetEventNotification(HANDLE event) override {
        Record("SetEventNotification");
        if (InjectedFailure("IDirectInputDevice::SetEventNotification")) {
            return DIERR_INVALIDPARAM;
        }
        // Accepted but never signalled: the layer sees no input arrive between reads, so its
        // readers go by time.
        return acquired_ ? DIERR_ACQUIRED : DI_OK;
    }

    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override {
        Record("SetCooperativeLevel", flags);
        if (InjectedFailure("IDirectInputDevice::SetCooperativeLevel")) return DIERR_INVALIDPARAM;
        if (acquired_) return DIERR_ACQUIRED;
        bool exclusive = (flags & DISCL_EXCLUSIVE) != 0;
        bool foreground = (flags & DISCL_FOREGROUND) != 0;
        if (exclusive == ((flags & DISCL_NONEXCLUSIVE) != 0) ||
            foreground == ((flags & DISCL_BACKGROUND) != 0) || !IsWindow(window)) {
            return DIERR_INVALIDPARAM;
        }
        // Windows keeps its own keys: nobody holds the keyboard exclusively in the background.
        if (kind_ == DeviceKind::Keyboard && exclusive && !foreground) return DIERR_UNSUPPORTED;
        window_ = window;
        cooperation_ = flags;
        return DI_OK;
    }

    HRESULT SetProperty(REFGUID property, LPCDIPROPHEADER header) override {
        Record("SetProperty", property.Data1);
        if (InjectedFailure("IDirectInputDevice::SetProperty")) return DIERR_INVALIDPARAM;
        if (header == nullptr || header->dwHeaderSize != sizeof(DIPROPHEADER)) {
            return DIERR_INVALIDPARAM;
        }
        if (property == DIPROP_BUFFERSIZE) {
            if (header->dwSize != sizeof(DIPROPDWORD) || header->dwHow != DIPH_DEVICE) {
                return DIERR_INVALIDPARAM;
            }
            // Accepted; the layer offers no buffered data to read through it.
            return acquired_ ? DIERR_ACQUIRED : DI_OK;
        }
        bool range = property == DIPROP_RANGE;
        if (!range && property != DIPROP_DEADZONE && property != DIPROP_SATURATION) {
            return DIERR_UNSUPPORTED;
        }
        if (kind_ != DeviceKind::Pad) return DIERR_UNSUPPORTED;
        if (acquired_) return DIERR_ACQUIRED;
        if (header->dwSize != (range ? sizeof(DIPROPRANGE) : sizeof(DIPROPDWORD))) {
            return DIERR_INVALIDPARAM;
        }
        int first = 0, last = info_.axisCount - 1;
        if (header->dwHow == DIPH_BYOFFSET) {
            if (header->dwObj % 4 != 0 ||
                header->dwObj / 4 >= static_cast<DWORD>(info_.axisCount)) {
                return DIERR_OBJECTNOTFOUND;
            }
            first = last = static_cast<int>(header->dwObj / 4);
        } else if (header->dwHow != DIPH_DEVICE) {
            return DIERR_INVALIDPARAM;
        }
        if (range) {
            const DIPROPRANGE* value = reinterpret_cast<const DIPROPRANGE*>(header);
            if (value->lMin >= value->lMax) return DIERR_INVALIDPARAM;
            for (int axis = first; axis <= last; ++axis) {
                axes_[axis].min = value->lMin;
                axes_[axis].max = value->lMax;
            }
            return DI_OK;
        }
        DWORD value = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
        if (value > kFullScale) return DIERR_INVALIDPARAM;
        for (int axis = first; axis <= last; ++axis) {
            (property == DIPROP_DEADZONE ? axes_[axis].deadZone : axes_[axis].saturation) = value;
        }
        return DI_OK;
    }

    HRESULT CreateEffect(REFGUID effect, LPCDIEFFECT parameters, IDirectInputEffect** created,
                         LPUNKNOWN outer) override {
        Record("CreateEffect");
        if (created == nullptr) return DIERR_INVALIDPARAM;
        *created = nullptr;
        if (outer != nullptr) return DIERR_NOAGGREGATION;
        if (InjectedFailure("IDirectInputDevice::CreateEffect")) return DIERR_DEVICENOTREG;
        if (kind_ != DeviceKind::Pad || !info_.forceFeedback) return DIERR_UNSUPPORTED;
        return CreatePadEffect(pad_, nextEffectSlot_++, effect, parameters, created);
    }

    HRESULT Poll() override {
        Record("Poll");
        if (!acquired_) return DIERR_NOTACQUIRED;
        // The state is read when asked for; nothing needs polling first.
        return DI_NOEFFECT;
    }

private:
    // The interface of the DirectInput version that made the device.
    bool Answers(REFIID iid) const override {
        return iid == (version_ == 7 ? IID_IDirectInputDevice7A : IID_IDirectInputDevice8A);
    }

    // `argument` -1: the call has none worth recording.
    void Record(const char* method, long long argument = -1) const {
        if (!gDirectInput.recordCalls) return;
        // Appended piece by piece: GCC 12 flags "text" + std::string with a false -Wrestrict.
        std::string what = method;
        if (argument >= 0) what.append(" ").append(std::to_string(argument));
        std::string who = kind_ == DeviceKind::Keyboard ? "keyboard" : "mouse";
        if (kind_ == DeviceKind::Pad) who = std::string("pad ").append(std::to_string(pad_));
        RecordDirectInputCall(who, what);
    }

    bool InForeground() const {
        return (cooperation_ & DISCL_FOREGROUND) == 0 || GetForegroundWindow() == window_;
    }

    static void ReadKeyboard(BYTE* keys) { ReadHeldScanCodes(keys); }

    void ReadMouse(DIMOUSESTATE* state) {
        *state = DIMOUSESTATE{};
        POINT cursor;
        GetCursorPos(&cursor);
        state->lX = cursor.x - lastCursor_.x;
        state->lY = cursor.y - lastCursor_.y;
        lastCursor_ = cursor;
        const BYTE buttons[] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON};
        for (int i = 0; i < 3; ++i) state->rgbButtons[i] = IsHostKeyHeld(buttons[i]) ? 0x80 : 0;
    }

    bool ReadPad(DIJOYSTATE* state) const {
        HostJoystickState read;
        if (!Host().readJoystick(pad_, &read)) return false;
        *state = DIJOYSTATE{};
        LONG* axes[kAxes] = {&state->lX,  &state->lY,  &state->lZ,
                             &state->lRx, &state->lRy, &state->lRz};
        for (int axis = 0; axis < info_.axisCount; ++axis) {
            *axes[axis] = ScaleAxis(read.axes[axis], axes_[axis]);
        }
        for (int button = 0; button < std::min<int>(info_.buttonCount, 32); ++button) {
            state->rgbButtons[button] = (read.buttons >> button & 1) != 0 ? 0x80 : 0;
        }
        std::fill(std::begin(state->rgdwPOV), std::end(state->rgdwPOV), kCentredView);
        if (info_.hasHat && read.hat >= 0) state->rgdwPOV[0] = static_cast<DWORD>(read.hat) * 100;
        return true;
    }

    int version_;
    DeviceKind kind_;
    int pad_;  // the host joystick, for pads
    HostJoystickInfo info_;
    const DIDATAFORMAT* format_ = nullptr;
    HWND window_ = nullptr;
    DWORD cooperation_ = 0;  // until set: non-exclusive, in the background
    bool acquired_ = false;
    AxisSetting axes_[kAxes];
    POINT lastCursor_{};
    int nextEffectSlot_ = 0;
};

}  // namespace

HRESULT CreateInputDevice(int version, REFGUID guid, IDirectInputDevice8A** device) {
    HostJoystickInfo info;
    int pad = PadIndexOfGuid(guid);
    if (guid == GUID_SysKeyboard) {
        *device = new InputDevice(version, DeviceKind::Keyboard, -1, info);
    } else if (guid == GUID_SysMouse) {
        *device = new InputDevice(version, DeviceKind::Mouse, -1, info);
    } else if (pad >= 0 && Host().describeJoystick(pad, &info)) {
        *device = new InputDevice(version, DeviceKind::Pad, pad, info);
    } else {
        return DIERR_DEVICENOTREG;
    }
    return DI_OK;
}
