// The mouse through the public header on the headless host: the position in screen pixels at a
// window scale, on the window and off it, and the three buttons, each held until released.

#include "public_fixture.h"

namespace {

class MouseTest : public PublicFixture {
protected:
    // Hands the window a mouse event and lets the framework read it.
    void PushMouse(HostEventKind kind, int x, int y, int button = 0) {
        HostEvent event;
        event.kind = kind;
        event.x = x;
        event.y = y;
        event.button = button;
        TestHostPushEvent(FindWindowA(nullptr, "Orbek"), event);
        AdvanceClock(1);
    }
};

TEST_F(MouseTest, ThePositionReadsInScreenPixelsAndButtonsAreHeldUntilReleased) {
    StartFramework();
    // The window's last pixel at a scale of 2 x 3 is the screen's last.
    ASSERT_EQ(SetWindowScale(2, 3), 0);
    PushMouse(HostEventKind::MouseMove, 1279, 1439);
    int32_t x = -1, y = -1;
    EXPECT_EQ(ReadMousePosition(&x, &y), 0);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(639, 479));
    EXPECT_EQ(ReadMousePosition(nullptr, nullptr), 0);
    // The host's buttons 1, 2 and 3 are the left, right and middle ones.
    PushMouse(HostEventKind::MouseButtonDown, 0, 0, 1);
    PushMouse(HostEventKind::MouseButtonDown, 0, 0, 3);
    EXPECT_EQ(GetMouseButtonBits(), kMouseLeft | kMouseMiddle);
    PushMouse(HostEventKind::MouseButtonDown, 0, 0, 2);
    PushMouse(HostEventKind::MouseButtonUp, 0, 0, 1);
    EXPECT_EQ(GetMouseButtonBits(), kMouseRight | kMouseMiddle);
}

// The pointer off the window reads outside the screen, measured from the window's picture
// wherever the window stands: the display's position less the window's, divided by the scale
// and rounded down, so one display pixel left of a window at scale 2 reads -1. In full screen
// the display's position itself, whatever the scale.
TEST_F(MouseTest, OffTheWindowThePositionLiesOutsideTheScreen) {
    // The 640 x 480 window centred on a 1024 x 768 desktop stands at (192, 144).
    TestHostSetDesktopMode({1024, 768, 32, 60});
    StartFramework();
    auto read = [this](int displayX, int displayY) {
        TestHostPlacePointer(displayX, displayY);
        AdvanceClock(1);
        int32_t x = 0, y = 0;
        ReadMousePosition(&x, &y);
        return std::make_pair(x, y);
    };
    EXPECT_EQ(read(100, 100), std::make_pair(-92, -44));
    EXPECT_EQ(read(700, 100), std::make_pair(508, -44));
    EXPECT_EQ(read(1000, 700), std::make_pair(808, 556));
    // A window manager moves the window to the origin; the pointer leaves it from its last
    // pixel.
    HostEvent moved;
    moved.kind = HostEventKind::Moved;
    TestHostPushEvent(FindWindowA(nullptr, "Orbek"), moved);
    PushMouse(HostEventKind::MouseMove, 639, 479);
    int32_t x = 0, y = 0;
    ReadMousePosition(&x, &y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(639, 479));
    EXPECT_EQ(read(1000, 700), std::make_pair(1000, 700));

    // At scale 2, the window moved to (100, 50).
    ASSERT_EQ(SetWindowScale(2, 2), 0);
    moved.x = 100;
    moved.y = 50;
    TestHostPushEvent(FindWindowA(nullptr, "Orbek"), moved);
    EXPECT_EQ(read(99, 49), std::make_pair(-1, -1));
    EXPECT_EQ(read(101, 51), std::make_pair(0, 0));
    EXPECT_EQ(read(1000, 700), std::make_pair(450, 325));

    TestHostSetDisplayModes({{640, 480, 16, 60}});
    ASSERT_EQ(ChangeWindowMode(0), 0);
    EXPECT_EQ(read(700, 100), std::make_pair(700, 100));
}

}  // namespace
