// The layer's DirectInput on its own: versions, DirectInput's rules on formats, cooperation
// and acquisition, axis properties, and effects checked and played with their gain.
#include <algorithm>
#include <iterator>

#include "input_fixture.h"

namespace {

class DirectInputLayerTest : public InputFixture {
protected:
    void SetUp() override {
        InputFixture::SetUp();
        TestHostJoystick pad = Pad(3, 12);
        pad.info.hasHat = true;
        TestHostSetJoysticks({pad});
        ASSERT_EQ(CoCreateInstance(CLSID_DirectInput8, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IDirectInput8A, reinterpret_cast<LPVOID*>(&input_)),
                  S_OK);
        ASSERT_EQ(input_->Initialize(GetModuleHandleA(nullptr), 0x0800), DI_OK);
    }

    void TearDown() override {
        if (device_ != nullptr) device_->Release();
        input_->Release();
        InputFixture::TearDown();
    }

    // Pad 0 with the joystick format, shared in the background, acquired.
    IDirectInputDevice8A* AcquiredPad() {
        GUID pad = {};
        input_->EnumDevices(
            DI8DEVCLASS_GAMECTRL,
            [](LPCDIDEVICEINSTANCEA instance, LPVOID found) {
                *static_cast<GUID*>(found) = instance->guidInstance;
                return DIENUM_STOP;
            },
            &pad, DIEDFL_ATTACHEDONLY);
        EXPECT_EQ(input_->CreateDevice(pad, &device_, nullptr), DI_OK);
        EXPECT_EQ(device_->SetDataFormat(&c_dfDIJoystick), DI_OK);
        EXPECT_EQ(
            device_->SetCooperativeLevel(GetMainHwnd(), DISCL_NONEXCLUSIVE | DISCL_BACKGROUND),
            DI_OK);
        EXPECT_EQ(device_->Acquire(), DI_OK);
        return device_;
    }

    // Every axis of the pad at `raw`.
    DIJOYSTATE ReadPad(int32_t raw) {
        HostJoystickState state;
        std::fill(std::begin(state.axes), std::end(state.axes), raw);
        state.hat = 90;
        TestHostSetJoystickState(0, state);
        DIJOYSTATE read{};
        EXPECT_EQ(device_->GetDeviceState(sizeof read, &read), DI_OK);
        return read;
    }

    static HRESULT SetAxis(IDirectInputDevice8A* device, REFGUID property, DWORD how, DWORD axis,
                           LONG low, LONG high = 0) {
        DIPROPRANGE range = {{sizeof(DIPROPRANGE), sizeof(DIPROPHEADER), axis, how}, low, high};
        DIPROPDWORD value = {{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), axis, how},
                             static_cast<DWORD>(low)};
        return property == DIPROP_RANGE ? device->SetProperty(property, &range.diph)
                                        : device->SetProperty(property, &value.diph);
    }

    IDirectInput8A* input_ = nullptr;
    IDirectInputDevice8A* device_ = nullptr;
};

TEST_F(DirectInputLayerTest, ObjectsCheckTheirVersionAndInterfaces) {
    IDirectInput7A* seven = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DirectInput, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput7A,
                               reinterpret_cast<LPVOID*>(&seven)),
              S_OK);
    IDirectInputDevice7A* device = nullptr;
    EXPECT_EQ(seven->CreateDevice(GUID_SysMouse, &device, nullptr), DIERR_NOTINITIALIZED);
    EXPECT_EQ(seven->Initialize(GetModuleHandleA(nullptr), 0x0800), DIERR_OLDDIRECTINPUTVERSION);
    EXPECT_EQ(seven->Initialize(nullptr, 0x0700), DIERR_INVALIDPARAM);
    EXPECT_EQ(seven->Initialize(GetModuleHandleA(nullptr), 0x0500), DI_OK);
    void* other = nullptr;
    EXPECT_EQ(seven->QueryInterface(IID_IDirectInput8A, &other), E_NOINTERFACE);
    EXPECT_EQ(seven->CreateDeviceEx(GUID_SysKeyboard, IID_IDirectInputDevice8A, &other, nullptr),
              DIERR_NOINTERFACE);
    GUID unknown = {0x12345678, 0, 0, {}};
    EXPECT_EQ(seven->CreateDevice(unknown, &device, nullptr), DIERR_DEVICENOTREG);
    EXPECT_EQ(seven->Release(), 0u);
    EXPECT_EQ(input_->EnumDevices(
                  3, [](LPCDIDEVICEINSTANCEA, LPVOID) { return DIENUM_CONTINUE; }, nullptr, 0),
              DIERR_INVALIDPARAM);
}

TEST_F(DirectInputLayerTest, DevicesKeepDirectInputsRulesOnFormatsAndAcquisition) {
    ASSERT_EQ(input_->CreateDevice(GUID_SysKeyboard, &device_, nullptr), DI_OK);
    BYTE keys[256];
    EXPECT_EQ(device_->Acquire(), DIERR_INVALIDPARAM);
    EXPECT_EQ(device_->SetDataFormat(&c_dfDIMouse), DIERR_INVALIDPARAM);
    EXPECT_EQ(device_->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    EXPECT_EQ(device_->GetDeviceState(sizeof keys, keys), DIERR_NOTACQUIRED);
    EXPECT_EQ(device_->SetCooperativeLevel(GetMainHwnd(), DISCL_EXCLUSIVE | DISCL_BACKGROUND),
              DIERR_UNSUPPORTED);
    EXPECT_EQ(device_->SetCooperativeLevel(GetMainHwnd(), DISCL_NONEXCLUSIVE | DISCL_FOREGROUND),
              DI_OK);
    EXPECT_EQ(device_->Acquire(), DI_OK);
    EXPECT_EQ(device_->SetDataFormat(&c_dfDIKeyboard), DIERR_ACQUIRED);
    EXPECT_EQ(device_->GetDeviceState(255, keys), DIERR_INVALIDPARAM);
    // A foreground device is lost with the foreground and cannot be had back without it.
    Focus(false);
    EXPECT_EQ(device_->GetDeviceState(sizeof keys, keys), DIERR_INPUTLOST);
    EXPECT_EQ(device_->Acquire(), DIERR_OTHERAPPHASPRIO);
    Focus(true);
    EXPECT_EQ(device_->Acquire(), DI_OK);
}

TEST_F(DirectInputLayerTest, PadAxesFollowTheirRangeDeadZoneAndSaturation) {
    IDirectInputDevice8A* pad = AcquiredPad();
    DIJOYSTATE read = ReadPad(0);
    EXPECT_EQ(read.lX, 32768);  // the default range is 0..65535
    EXPECT_EQ(read.lZ, 32768);
    EXPECT_EQ(read.lRx, 0);  // an axis the pad lacks
    EXPECT_EQ(read.rgdwPOV[0], 9000u);
    EXPECT_EQ(read.rgdwPOV[1], 0xFFFFFFFFu);
    EXPECT_EQ(SetAxis(pad, DIPROP_RANGE, DIPH_DEVICE, 0, -100, 100), DIERR_ACQUIRED);
    pad->Unacquire();
    EXPECT_EQ(SetAxis(pad, DIPROP_RANGE, DIPH_DEVICE, 0, -100, 100), DI_OK);
    EXPECT_EQ(SetAxis(pad, DIPROP_RANGE, DIPH_BYOFFSET, DIJOFS_RX, -100, 100),
              DIERR_OBJECTNOTFOUND);
    EXPECT_EQ(SetAxis(pad, DIPROP_RANGE, DIPH_BYOFFSET, DIJOFS_X, 100, 100), DIERR_INVALIDPARAM);
    EXPECT_EQ(SetAxis(pad, DIPROP_DEADZONE, DIPH_BYOFFSET, DIJOFS_X, 10001), DIERR_INVALIDPARAM);
    EXPECT_EQ(SetAxis(pad, DIPROP_DEADZONE, DIPH_BYOFFSET, DIJOFS_X, 2000), DI_OK);
    EXPECT_EQ(SetAxis(pad, DIPROP_SATURATION, DIPH_BYOFFSET, DIJOFS_X, 6000), DI_OK);
    pad->Acquire();
    // Dead zone 20 %, saturation 60 %: 40 % of the travel reads half-way.
    EXPECT_EQ(ReadPad(-6554).lX, 0);
    EXPECT_EQ(ReadPad(13107).lX, 50);
    EXPECT_EQ(ReadPad(-16384).lX, -75);
    EXPECT_EQ(ReadPad(19661).lX, 100);
    EXPECT_EQ(ReadPad(-19661).lZ, -60);  // the device-wide range, without dead zone
}

TEST_F(DirectInputLayerTest, EffectsAreCheckedAndPlayWithTheirGainUntilStoppedOrReleased) {
    IDirectInputDevice8A* pad = AcquiredPad();
    DICONSTANTFORCE force = {-8000};
    DIEFFECT effect = {};
    effect.dwSize = sizeof effect;
    effect.dwDuration = 2 * DI_SECONDS;
    effect.dwGain = 5000;
    effect.cbTypeSpecificParams = sizeof force;
    effect.lpvTypeSpecificParams = &force;
    IDirectInputEffect* made = nullptr;
    EXPECT_EQ(pad->CreateEffect(GUID_Sine, &effect, &made, nullptr), DIERR_INVALIDPARAM);
    GUID unknown = {0x13541C29, 0x8E33, 0x11D0, {}};
    EXPECT_EQ(pad->CreateEffect(unknown, &effect, &made, nullptr), DIERR_DEVICENOTREG);
    ASSERT_EQ(pad->CreateEffect(GUID_ConstantForce, &effect, &made, nullptr), DI_OK);
    TestHostTakeJoystickEffects();
    EXPECT_EQ(made->Start(3, 0), DI_OK);
    EXPECT_EQ(made->Stop(), DI_OK);
    EXPECT_EQ(made->Start(1, 0), DI_OK);
    EXPECT_EQ(made->Release(), 0u);
    std::vector<TestHostEffectCall> calls = TestHostTakeJoystickEffects();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_TRUE(calls[0].start);
    EXPECT_EQ(calls[0].effect.magnitude, 4000);
    EXPECT_EQ(calls[0].effect.lengthMs, 6000u);
    EXPECT_FALSE(calls[1].start);
    EXPECT_EQ(calls[2].effect.lengthMs, 2000u);
    EXPECT_FALSE(calls[3].start);
    EXPECT_EQ(calls[3].slot, calls[0].slot);
}

}  // namespace
