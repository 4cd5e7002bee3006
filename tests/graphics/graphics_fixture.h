// A fixture for tests of the graphics core that start the framework: the library fixture's
// headless host, virtual clock and temporary log, with the software Direct3D device and the
// vertical blank at their defaults and the screen settings cleared. Every Direct3D object must
// be gone once the framework has shut down.
#pragma once

#include <platform/testing_d3d9.h>
#include <platform/testing_ddraw.h>

#include "app/library_fixture.h"
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
    }

    // Starts the framework in full screen (window mode is the fixture's default).
    int SetupFullScreen() {
        gShell.windowed = 0;
        return SetupLibrary();
    }
};
