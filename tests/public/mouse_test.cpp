// The mouse through the public header on the headless host: the position in screen pixels at a
// window scale, and the three buttons, each held until released.

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

}  // namespace
