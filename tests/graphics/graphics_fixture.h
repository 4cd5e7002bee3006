// A fixture for tests of the graphics core that start the framework: the library fixture's
// headless host, virtual clock and temporary log, with the software Direct3D device and the
// vertical blank at their defaults and the screen settings cleared. Every Direct3D object must
// be gone once the framework has shut down.
#pragma once

#include <platform/testing_d3d9.h>
#include <platform/testing_ddraw.h>

#include "app/library_fixture.h"
#include "graphics/d3d_device.h"
#include "graphics/device_resources.h"
#include "graphics/screen_state.h"

class GraphicsFixture : public LibraryFixture {
protected:
    void SetUp() override {
        LibraryFixture::SetUp();
        ResetGraphicsState();
    }

    void TearDown() override {
        LibraryFixture::TearDown();
        EXPECT_EQ(TestD3d9LiveObjects(), 0);
        EXPECT_EQ(TestCountDirectDrawObjects(), 0);
        ResetGraphicsState();
    }

    static void ResetGraphicsState() {
        TestD3d9Reset();
        TestSetVerticalBlankIntervals({});
        FreeDisplayModeList();
        gScreen = ScreenState{};
        gDeviceResources.zBufferWidth = gDeviceResources.zBufferHeight = 0;
        // Each test starts as a new process would, before any Ex device failed.
        gDirect3D.noExDevice = 0;
    }

    // Whether "d3d9.dll" offers the Ex interfaces in this run (ORBEK_D3D9_NO_EX hides them).
    static bool ExInterfacesOffered() {
        HMODULE module = LoadLibraryA("d3d9.dll");
        bool offered = GetProcAddress(module, "Direct3DCreate9Ex") != nullptr;
        FreeLibrary(module);
        return offered;
    }

    // The log's heading of the device creation on the path this run takes.
    static const char* DeviceHeading() {
        return ExInterfacesOffered() ? "IDirect3DDevice9Ex オブジェクトを取得します.... "
                                     : "IDirect3DDevice9 オブジェクトを取得します.... ";
    }

    // Starts the framework in full screen (window mode is the fixture's default).
    int SetupFullScreen() {
        gShell.windowed = 0;
        return SetupLibrary();
    }
};
