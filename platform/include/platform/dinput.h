// DirectInput 7 and 8 as the layer offers them: the system keyboard and mouse from the host's
// input events, game pads from the host's joysticks (with range, dead zone and force-feedback
// effects), reached through CoCreateInstance. Standard names and values; interfaces hold only
// the methods that are called, and Release returns the new reference count.
#pragma once

#include "platform/com.h"
#include "platform/win32_user.h"

// ---- Result codes ----------------------------------------------------------------------------

constexpr HRESULT DI_OK = S_OK;
constexpr HRESULT DI_NOEFFECT = S_FALSE;
constexpr HRESULT DI_POLLEDDEVICE = 2;
constexpr HRESULT DIERR_GENERIC = E_FAIL;
constexpr HRESULT DIERR_INVALIDPARAM = E_INVALIDARG;
constexpr HRESULT DIERR_NOINTERFACE = E_NOINTERFACE;
constexpr HRESULT DIERR_OUTOFMEMORY = E_OUTOFMEMORY;
constexpr HRESULT DIERR_UNSUPPORTED = E_NOTIMPL;
constexpr HRESULT DIERR_DEVICENOTREG = REGDB_E_CLASSNOTREG;
constexpr HRESULT DIERR_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
constexpr HRESULT DIERR_OTHERAPPHASPRIO = static_cast<HRESULT>(0x80070005);
constexpr HRESULT DIERR_OBJECTNOTFOUND = static_cast<HRESULT>(0x80070002);
constexpr HRESULT DIERR_NOTACQUIRED = static_cast<HRESULT>(0x8007000C);
constexpr HRESULT DIERR_NOTINITIALIZED = static_cast<HRESULT>(0x80070015);
constexpr HRESULT DIERR_INPUTLOST = static_cast<HRESULT>(0x8007001E);
constexpr HRESULT DIERR_ACQUIRED = static_cast<HRESULT>(0x800700AA);
constexpr HRESULT DIERR_OLDDIRECTINPUTVERSION = static_cast<HRESULT>(0x8007047E);
constexpr HRESULT DIERR_BETADIRECTINPUTVERSION = static_cast<HRESULT>(0x80070481);
constexpr HRESULT DIERR_ALREADYINITIALIZED = static_cast<HRESULT>(0x800704DF);
constexpr HRESULT DIERR_UNPLUGGED = static_cast<HRESULT>(0x80040209);

// ---- Class and interface identifiers -----------------------------------------------------------

// {25E609E0-B259-11CF-BFC7-444553540000}
constexpr CLSID CLSID_DirectInput = {
    0x25E609E0, 0xB259, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {25E609E4-B259-11CF-BFC7-444553540000}
constexpr CLSID CLSID_DirectInput8 = {
    0x25E609E4, 0xB259, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {9A4CB684-236D-11D3-8E9D-00C04F6844AE}
constexpr IID IID_IDirectInput7A = {
    0x9A4CB684, 0x236D, 0x11D3, {0x8E, 0x9D, 0x00, 0xC0, 0x4F, 0x68, 0x44, 0xAE}};
// {BF798030-483A-4DA2-AA99-5D64ED369700}
constexpr IID IID_IDirectInput8A = {
    0xBF798030, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};
// {57D7C6BC-2356-11D3-8E9D-00C04F6844AE}
constexpr IID IID_IDirectInputDevice7A = {
    0x57D7C6BC, 0x2356, 0x11D3, {0x8E, 0x9D, 0x00, 0xC0, 0x4F, 0x68, 0x44, 0xAE}};
// {54D41080-DC15-4833-A41B-748F73A38179}
constexpr IID IID_IDirectInputDevice8A = {
    0x54D41080, 0xDC15, 0x4833, {0xA4, 0x1B, 0x74, 0x8F, 0x73, 0xA3, 0x81, 0x79}};
// {E7E1F7C0-88D2-11D0-9AD0-00A0C9A06E35}
constexpr IID IID_IDirectInputEffect = {
    0xE7E1F7C0, 0x88D2, 0x11D0, {0x9A, 0xD0, 0x00, 0xA0, 0xC9, 0xA0, 0x6E, 0x35}};

// {6F1D2B60-D5A0-11CF-BFC7-444553540000}
constexpr GUID GUID_SysMouse = {
    0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {6F1D2B61-D5A0-11CF-BFC7-444553540000}
constexpr GUID GUID_SysKeyboard = {
    0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {13541C20-8E33-11D0-9AD0-00A0C9A06E35}
constexpr GUID GUID_ConstantForce = {
    0x13541C20, 0x8E33, 0x11D0, {0x9A, 0xD0, 0x00, 0xA0, 0xC9, 0xA0, 0x6E, 0x35}};
// {13541C23-8E33-11D0-9AD0-00A0C9A06E35}
constexpr GUID GUID_Sine = {
    0x13541C23, 0x8E33, 0x11D0, {0x9A, 0xD0, 0x00, 0xA0, 0xC9, 0xA0, 0x6E, 0x35}};

// Property identifiers are small numbers in DirectInput; here each is a GUID whose first field
// holds that number, so that SetProperty keeps its standard signature.
constexpr GUID DIPROP_BUFFERSIZE = {1, 0, 0, {}};
constexpr GUID DIPROP_RANGE = {4, 0, 0, {}};
constexpr GUID DIPROP_DEADZONE = {5, 0, 0, {}};
constexpr GUID DIPROP_SATURATION = {6, 0, 0, {}};

// ---- Enumeration, cooperation, properties ----------------------------------------------------

constexpr DWORD DIDEVTYPE_JOYSTICK = 4;     // version 7's device type
constexpr DWORD DI8DEVCLASS_GAMECTRL = 4;   // version 8's device class
constexpr DWORD DI8DEVTYPE_GAMEPAD = 0x15;  // version 8's device type of a pad
constexpr DWORD DIEDFL_ATTACHEDONLY = 0x1;
constexpr DWORD DIEDFL_FORCEFEEDBACK = 0x100;
constexpr BOOL DIENUM_STOP = 0;
constexpr BOOL DIENUM_CONTINUE = 1;

constexpr DWORD DISCL_EXCLUSIVE = 0x1;
constexpr DWORD DISCL_NONEXCLUSIVE = 0x2;
constexpr DWORD DISCL_FOREGROUND = 0x4;
constexpr DWORD DISCL_BACKGROUND = 0x8;

constexpr DWORD DIPH_DEVICE = 0;
constexpr DWORD DIPH_BYOFFSET = 1;

struct DIPROPHEADER {
    DWORD dwSize;
    DWORD dwHeaderSize;
    DWORD dwObj;
    DWORD dwHow;
};
typedef const DIPROPHEADER* LPCDIPROPHEADER;

struct DIPROPDWORD {
    DIPROPHEADER diph;
    DWORD dwData;
};

struct DIPROPRANGE {
    DIPROPHEADER diph;
    LONG lMin;
    LONG lMax;
};

constexpr DWORD DI_FFNOMINALMAX = 10000;
constexpr DWORD DI_SECONDS = 1000000;

// ---- Device states and data formats ----------------------------------------------------------

struct DIJOYSTATE {
    LONG lX;
    LONG lY;
    LONG lZ;
    LONG lRx;
    LONG lRy;
    LONG lRz;
    LONG rglSlider[2];
    DWORD rgdwPOV[4];  // hundredths of a degree clockwise from up; 0xFFFFFFFF centred
    BYTE rgbButtons[32];
};

constexpr DWORD DIJOFS_X = 0;
constexpr DWORD DIJOFS_Y = 4;
constexpr DWORD DIJOFS_Z = 8;
constexpr DWORD DIJOFS_RX = 12;
constexpr DWORD DIJOFS_RY = 16;
constexpr DWORD DIJOFS_RZ = 20;

struct DIMOUSESTATE {
    LONG lX;  // movement since the last read
    LONG lY;
    LONG lZ;
    BYTE rgbButtons[4];
};

struct DIOBJECTDATAFORMAT {
    const GUID* pguid;
    DWORD dwOfs;
    DWORD dwType;
    DWORD dwFlags;
};

constexpr DWORD DIDF_ABSAXIS = 0x1;
constexpr DWORD DIDF_RELAXIS = 0x2;

struct DIDATAFORMAT {
    DWORD dwSize;
    DWORD dwObjSize;
    DWORD dwFlags;
    DWORD dwDataSize;
    DWORD dwNumObjs;
    const DIOBJECTDATAFORMAT* rgodf;
};
typedef const DIDATAFORMAT* LPCDIDATAFORMAT;

// The three predefined formats: 256 key bytes, DIMOUSESTATE and DIJOYSTATE. Devices accept
// the one of their own kind.
extern const DIDATAFORMAT c_dfDIKeyboard;
extern const DIDATAFORMAT c_dfDIMouse;
extern const DIDATAFORMAT c_dfDIJoystick;

struct DIDEVICEINSTANCEA {
    DWORD dwSize;
    GUID guidInstance;
    GUID guidProduct;
    DWORD dwDevType;
    CHAR tszInstanceName[MAX_PATH];
    CHAR tszProductName[MAX_PATH];
    GUID guidFFDriver;
    WORD wUsagePage;
    WORD wUsage;
};
typedef const DIDEVICEINSTANCEA* LPCDIDEVICEINSTANCEA;
typedef BOOL (*LPDIENUMDEVICESCALLBACKA)(LPCDIDEVICEINSTANCEA instance, LPVOID context);

// ---- Effects ---------------------------------------------------------------------------------

constexpr DWORD DIEFF_OBJECTOFFSETS = 0x2;
constexpr DWORD DIEFF_CARTESIAN = 0x10;
constexpr DWORD DIEFF_POLAR = 0x20;
constexpr DWORD DIEB_NOTRIGGER = 0xFFFFFFFF;

struct DIENVELOPE {
    DWORD dwSize;
    DWORD dwAttackLevel;
    DWORD dwAttackTime;  // microseconds
    DWORD dwFadeLevel;
    DWORD dwFadeTime;
};

struct DICONSTANTFORCE {
    LONG lMagnitude;
};

struct DIPERIODIC {
    DWORD dwMagnitude;
    LONG lOffset;
    DWORD dwPhase;
    DWORD dwPeriod;  // microseconds
};

struct DIEFFECT {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwDuration;  // microseconds, INFINITE for no end
    DWORD dwSamplePeriod;
    DWORD dwGain;
    DWORD dwTriggerButton;
    DWORD dwTriggerRepeatInterval;
    DWORD cAxes;
    DWORD* rgdwAxes;
    LONG* rglDirection;
    DIENVELOPE* lpEnvelope;
    DWORD cbTypeSpecificParams;
    LPVOID lpvTypeSpecificParams;
    DWORD dwStartDelay;
};
typedef const DIEFFECT* LPCDIEFFECT;

struct IDirectInputEffect : IUnknown {
    virtual HRESULT Start(DWORD iterations, DWORD flags) = 0;
    virtual HRESULT Stop() = 0;

protected:
    ~IDirectInputEffect() = default;
};

// ---- Devices and the DirectInput objects -----------------------------------------------------

struct IDirectInputDevice7A : IUnknown {
    virtual HRESULT Acquire() = 0;
    virtual HRESULT Unacquire() = 0;
    virtual HRESULT GetDeviceState(DWORD bytes, LPVOID data) = 0;
    virtual HRESULT SetDataFormat(LPCDIDATAFORMAT format) = 0;
    virtual HRESULT SetEventNotification(HANDLE event) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    virtual HRESULT SetProperty(REFGUID property, LPCDIPROPHEADER header) = 0;
    virtual HRESULT CreateEffect(REFGUID effect, LPCDIEFFECT parameters,
                                 IDirectInputEffect** created, LPUNKNOWN outer) = 0;
    virtual HRESULT Poll() = 0;

protected:
    ~IDirectInputDevice7A() = default;
};

// Version 8's device offers every call above; it is declared as a kind of version 7's device
// so that one record can hold either.
struct IDirectInputDevice8A : IDirectInputDevice7A {
protected:
    ~IDirectInputDevice8A() = default;
};

struct IDirectInput7A : IUnknown {
    virtual HRESULT CreateDevice(REFGUID device, IDirectInputDevice7A** created,
                                 LPUNKNOWN outer) = 0;
    virtual HRESULT EnumDevices(DWORD deviceType, LPDIENUMDEVICESCALLBACKA callback, LPVOID context,
                                DWORD flags) = 0;
    virtual HRESULT Initialize(HINSTANCE instance, DWORD version) = 0;
    virtual HRESULT CreateDeviceEx(REFGUID device, REFIID iid, LPVOID* created,
                                   LPUNKNOWN outer) = 0;

protected:
    ~IDirectInput7A() = default;
};

struct IDirectInput8A : IUnknown {
    virtual HRESULT CreateDevice(REFGUID device, IDirectInputDevice8A** created,
                                 LPUNKNOWN outer) = 0;
    virtual HRESULT EnumDevices(DWORD deviceClass, LPDIENUMDEVICESCALLBACKA callback,
                                LPVOID context, DWORD flags) = 0;
    virtual HRESULT Initialize(HINSTANCE instance, DWORD version) = 0;

protected:
    ~IDirectInput8A() = default;
};
