// DirectDraw 7 as the layer offers it: only the object that waits for the vertical blank,
// created through CoCreateInstance. Standard names, GUIDs and numeric values.
#pragma once

#include "platform/com.h"
#include "platform/win32_user.h"

constexpr HRESULT MAKE_DDHRESULT(DWORD code) {
    return static_cast<HRESULT>(0x88760000u | code);
}
constexpr HRESULT DD_OK = S_OK;
constexpr HRESULT DDERR_ALREADYINITIALIZED = MAKE_DDHRESULT(5);
constexpr HRESULT DDERR_INVALIDPARAMS = E_INVALIDARG;
constexpr HRESULT DDERR_NOTINITIALIZED = CO_E_NOTINITIALIZED;
constexpr HRESULT DDERR_UNSUPPORTED = E_NOTIMPL;

constexpr DWORD DDSCL_FULLSCREEN = 0x1;
constexpr DWORD DDSCL_ALLOWREBOOT = 0x2;
constexpr DWORD DDSCL_NOWINDOWCHANGES = 0x4;
constexpr DWORD DDSCL_NORMAL = 0x8;
constexpr DWORD DDSCL_EXCLUSIVE = 0x10;

constexpr DWORD DDWAITVB_BLOCKBEGIN = 0x1;
constexpr DWORD DDWAITVB_BLOCKBEGINEVENT = 0x2;
constexpr DWORD DDWAITVB_BLOCKEND = 0x4;

// {3C305196-50DB-11D3-9CFE-00C04FD930C5}
constexpr CLSID CLSID_DirectDraw7 = {
    0x3C305196, 0x50DB, 0x11D3, {0x9C, 0xFE, 0x00, 0xC0, 0x4F, 0xD9, 0x30, 0xC5}};
// {15E65EC0-3B9C-11D2-B92F-00609797EA5B}
constexpr IID IID_IDirectDraw7 = {
    0x15E65EC0, 0x3B9C, 0x11D2, {0xB9, 0x2F, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};

struct IDirectDraw7 : IUnknown {
    // A null GUID (or a DDCREATE_* value) selects the primary display; once per object.
    virtual HRESULT Initialize(GUID* driver) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    // DDWAITVB_BLOCKBEGIN returns at the start of the next vertical blank, paced by the
    // display's refresh rate.
    virtual HRESULT WaitForVerticalBlank(DWORD flags, HANDLE event) = 0;

protected:
    ~IDirectDraw7() = default;
};
