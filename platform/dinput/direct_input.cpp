// The DirectInput 7 and 8 objects: version checks on Initialize, the pads of the host as the
// attached game controllers, and device creation.
#include "../base/test_overrides.h"
#include "../host/host.h"
#include "../host/joystick_names.h"
#include "dinput_objects.h"

namespace {

// What both versions share; `version` is 7 or 8.
class DirectInputCore {
public:
    explicit DirectInputCore(int version) : version_(version) {}

    HRESULT Initialize(HINSTANCE instance, DWORD requested) {
        if (InjectedFailure(version_ == 7 ? "IDirectInput7A::Initialize"
                                          : "IDirectInput8A::Initialize")) {
            return DIERR_GENERIC;
        }
        if (instance == nullptr) return DIERR_INVALIDPARAM;
        DWORD lowest = version_ == 7 ? 0x0300 : 0x0800;
        DWORD highest = version_ == 7 ? 0x0700 : 0x0800;
        if (requested > highest) return DIERR_OLDDIRECTINPUTVERSION;
        if (requested < lowest) return DIERR_BETADIRECTINPUTVERSION;
        initialised_ = true;
        return DI_OK;
    }

    // Only game controllers are enumerated: the layer lists no other class of device.
    HRESULT EnumDevices(DWORD deviceClass, LPDIENUMDEVICESCALLBACKA callback, LPVOID context,
                        DWORD flags) {
        if (!initialised_) return DIERR_NOTINITIALIZED;
        if (callback == nullptr || deviceClass != DI8DEVCLASS_GAMECTRL) return DIERR_INVALIDPARAM;
        for (int index = 0, count = Host().countJoysticks(); index < count; ++index) {
            HostJoystickInfo info;
            if (!Host().describeJoystick(index, &info)) continue;
            if ((flags & DIEDFL_FORCEFEEDBACK) != 0 && !info.forceFeedback) continue;
            DIDEVICEINSTANCEA instance{};
            instance.dwSize = sizeof instance;
            instance.guidInstance = PadInstanceGuid(index);
            instance.guidProduct = PadProductGuid(index);
            instance.dwDevType = version_ == 7 ? DIDEVTYPE_JOYSTICK : DI8DEVTYPE_GAMEPAD;
            CopyJoystickName(info.name, instance.tszInstanceName, sizeof instance.tszInstanceName);
            CopyJoystickName(info.product, instance.tszProductName, sizeof instance.tszProductName);
            if (callback(&instance, context) == DIENUM_STOP) break;
        }
        return DI_OK;
    }

    HRESULT CreateDevice(REFGUID guid, IDirectInputDevice8A** device) {
        if (device == nullptr) return DIERR_INVALIDPARAM;
        *device = nullptr;
        if (!initialised_) return DIERR_NOTINITIALIZED;
        if (InjectedFailure("IDirectInput::CreateDevice")) return DIERR_DEVICENOTREG;
        return CreateInputDevice(version_, guid, device);
    }

private:
    int version_;
    bool initialised_ = false;
};

class DirectInput7 final
    : public ComObject<IDirectInput7A, gDirectInputObjects, IID_IDirectInput7A> {
public:
    HRESULT CreateDevice(REFGUID guid, IDirectInputDevice7A** created, LPUNKNOWN outer) override {
        if (created == nullptr) return DIERR_INVALIDPARAM;
        IDirectInputDevice8A* device = nullptr;
        HRESULT result = core_.CreateDevice(guid, &device);
        *created = device;
        return result;
    }

    HRESULT EnumDevices(DWORD deviceType, LPDIENUMDEVICESCALLBACKA callback, LPVOID context,
                        DWORD flags) override {
        return core_.EnumDevices(deviceType, callback, context, flags);
    }

    HRESULT Initialize(HINSTANCE instance, DWORD version) override {
        return core_.Initialize(instance, version);
    }

    HRESULT CreateDeviceEx(REFGUID guid, REFIID iid, LPVOID* created, LPUNKNOWN outer) override {
        if (created == nullptr) return DIERR_INVALIDPARAM;
        *created = nullptr;
        if (iid != IID_IDirectInputDevice7A) return DIERR_NOINTERFACE;
        IDirectInputDevice8A* device = nullptr;
        HRESULT result = core_.CreateDevice(guid, &device);
        *created = static_cast<IDirectInputDevice7A*>(device);
        return result;
    }

private:
    DirectInputCore core_{7};
};

class DirectInput8 final
    : public ComObject<IDirectInput8A, gDirectInputObjects, IID_IDirectInput8A> {
public:
    HRESULT CreateDevice(REFGUID guid, IDirectInputDevice8A** created, LPUNKNOWN outer) override {
        return core_.CreateDevice(guid, created);
    }

    HRESULT EnumDevices(DWORD deviceClass, LPDIENUMDEVICESCALLBACKA callback, LPVOID context,
                        DWORD flags) override {
        return core_.EnumDevices(deviceClass, callback, context, flags);
    }

    HRESULT Initialize(HINSTANCE instance, DWORD version) override {
        return core_.Initialize(instance, version);
    }

private:
    DirectInputCore core_{8};
};

// Hands out the interface asked for, or nothing; the object lives only through that reference.
HRESULT HandOut(IUnknown* made, REFIID iid, LPVOID* object) {
    HRESULT result = made->QueryInterface(iid, object);
    made->Release();
    return result;
}

}  // namespace

HRESULT CreateDirectInput7Object(LPUNKNOWN outer, REFIID iid, LPVOID* object) {
    if (outer != nullptr) return DIERR_NOAGGREGATION;
    return HandOut(static_cast<IDirectInput7A*>(new DirectInput7), iid, object);
}

HRESULT CreateDirectInput8Object(LPUNKNOWN outer, REFIID iid, LPVOID* object) {
    if (outer != nullptr) return DIERR_NOAGGREGATION;
    return HandOut(static_cast<IDirectInput8A*>(new DirectInput8), iid, object);
}
