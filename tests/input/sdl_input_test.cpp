// Input on the program's own host, fed through SDL itself under its dummy video driver: keys
// pushed into SDL's event queue reach the key table through the scancode table, and one of
// SDL's virtual game controllers moves the bits of GetJoypadBits(1) and receives the rumble.
#include <platform/testing_host.h>

#include <cstdlib>

#include "app/library_fixture.h"
#include "input/input.h"

namespace {

// SDL's scancodes (USB usage numbers) and its controller's axes and buttons.
constexpr int kScancodeZ = 29;
constexpr int kScancodeRight = 79;
constexpr int kScancodeKeypadEnter = 88;
constexpr int kScancodeYen = 137;
constexpr int kAxisLeftX = 0;
constexpr int kAxisLeftY = 1;
constexpr int kButtonA = 0;
constexpr int kButtonStart = 6;
constexpr int kButtonDpadUp = 11;

class SdlInputTest : public LibraryFixture {
protected:
    void SetUp() override {
        LibraryFixture::SetUp();
        if (std::getenv("SDL_VIDEODRIVER") == nullptr) setenv("SDL_VIDEODRIVER", "dummy", 1);
        TestUseHeadlessHost(false);
        TestUseVirtualClock(false);
        gInput = InputState{};
        pad_ = TestSdlAttachVirtualPad();
        ASSERT_EQ(SetupLibrary(), 0);
    }

    void TearDown() override {
        ShutdownLibrary();
        TestSdlDetachVirtualPads();
        LibraryFixture::TearDown();
    }

    // The key table after SDL delivered a key.
    static std::vector<uint8_t> AfterKey(int scancode, bool down) {
        TestSdlPushKey(GetMainHwnd(), scancode, down);
        std::vector<uint8_t> keys(256);
        // A key reaches the table on the refresh after the pump that delivers it.
        for (int tries = 0; tries < 100 && keys == std::vector<uint8_t>(256); ++tries) {
            Sleep(1);
            CopyAllKeyStates(keys.data());
            if (!down) break;
        }
        return keys;
    }

    int pad_ = -1;
};

TEST_F(SdlInputTest, SdlKeysReachTheKeyTableByPosition) {
    EXPECT_EQ(AfterKey(kScancodeZ, true)[0x2C], 1);
    std::vector<uint8_t> keys = AfterKey(kScancodeRight, true);
    EXPECT_EQ(keys[0x2C], 1);
    EXPECT_EQ(keys[0xCD], 1);
    AfterKey(kScancodeZ, false);
    AfterKey(kScancodeRight, false);
    // The numeric pad's Enter is Return to the Win32 keyboard; the yen key has its own code.
    keys = AfterKey(kScancodeKeypadEnter, true);
    EXPECT_EQ(keys[0x1C], 1);
    EXPECT_EQ(keys[0x9C], 1);
    EXPECT_EQ(AfterKey(kScancodeYen, true)[0x7D], 1);
}

TEST_F(SdlInputTest, AVirtualControllerMovesTheBitsOfPadOne) {
    ASSERT_GE(pad_, 0);
    ASSERT_EQ(CountJoypads(), 1);
    EXPECT_EQ(GetJoypadBits(1), 0u);
    TestSdlSetVirtualPadAxis(pad_, kAxisLeftX, 32767);
    TestSdlSetVirtualPadAxis(pad_, kAxisLeftY, -32768);
    TestSdlSetVirtualPadButton(pad_, kButtonA, true);
    TestSdlSetVirtualPadButton(pad_, kButtonStart, true);
    TestSdlSetVirtualPadButton(pad_, kButtonDpadUp, true);
    Sleep(2);
    // A is button 0, start button 7; the direction pad is a hat, which the bits leave out.
    EXPECT_EQ(GetJoypadBits(1), kJoypadRight | kJoypadUp | 1u << 4 | 1u << 11);
    EXPECT_EQ(gInput.joypads[0].state.rgdwPOV[0], 0u);

    ASSERT_EQ(StartJoypadRumble(1, 10000, -1), 0);
    std::vector<std::vector<uint32_t>> rumbles = TestSdlTakeVirtualRumbles();
    ASSERT_FALSE(rumbles.empty());
    EXPECT_EQ(rumbles.front(), (std::vector<uint32_t>{0, 0xFFFF, 0xFFFF}));
    EXPECT_EQ(StopJoypadRumble(1), 0);
    rumbles = TestSdlTakeVirtualRumbles();
    ASSERT_FALSE(rumbles.empty());
    EXPECT_EQ(rumbles.back(), (std::vector<uint32_t>{0, 0, 0}));
}

}  // namespace
