// Module-wide state of the software Direct3D device and what its files share: the profile it
// reports, the live devices, the kept presented frame.
#pragma once

#include <atomic>
#include <vector>

#include "../ole32/com_object.h"
#include "platform/d3d9_present.h"
#include "platform/testing_d3d9.h"

class Device;

// Whether the environment asks for the general pixel path only.
bool GeneralSpansWanted();

struct D3d9State {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    std::vector<Device*> devices;
    UINT pitchPadding = 0;
    // Every draw through the general pixel path (ORBEK_D3D9_GENERAL_SPANS=1, or a test).
    bool generalSpansOnly = GeneralSpansWanted();
    // Primitives drawn by the specialised spans and by the general path, for tests.
    TestD3d9PathCounts pathCounts{};
    D3d9PresentHandler presentHandler = nullptr;
    // The last presented frame; its `bits` point into presentedBits.
    int presentCount = 0;
    D3d9PresentedFrame lastPresent{};
    std::vector<BYTE> presentedBits;
};

extern D3d9State gD3d9;
// The device's objects that live, for tests.
extern ComObjectCount gD3d9Objects;

// Caps as the current profile reports them.
void FillDeviceCaps(D3DCAPS9* caps);
// Whether the device offers `format` for the usage (0, D3DUSAGE_RENDERTARGET or
// D3DUSAGE_DEPTHSTENCIL; D3DUSAGE_DYNAMIC is ignored) and resource type.
bool IsFormatOffered(D3DFORMAT format, DWORD usage, D3DRESOURCETYPE type);
