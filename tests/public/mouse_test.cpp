// The mouse through the public header on the headless host: the position in screen pixels
// at every window scale, and the three buttons.

#include "public_fixture.h"

namespace {

using MouseTest = PublicFixture;

void PushMouse(HostEventKind kind, int x, int y, int button = 0) {
    HostEvent event;
    event.kind = kind;
    event.x = x;
    event.y = y;
    event.button = button;
    TestHostPushEvent(FindWindowA(nullptr, "Orbek"), event);
}

std::pair<int32_t, int32_t> MousePosition() {
    int32_t x = -1, y = -1;
    ReadMousePosition(&x, &y);
    return {x, y};
}

// Positions in the window's client area read back divided by the scale, truncated.
TEST_F(MouseTest, ThePositionReadsInScreenPixelsAtEveryScale) {
    StartFramework();
    PushMouse(HostEventKind::MouseMove, 100, 50);
    AdvanceClock(1);
    EXPECT_EQ(MousePosition(), std::make_pair(100, 50));
    EXPECT_EQ(ReadMousePosition(nullptr, nullptr), 0);

    ASSERT_EQ(SetWindowScale(2, 3), 0);
    PushMouse(HostEventKind::MouseMove, 201, 150);
    AdvanceClock(1);
    EXPECT_EQ(MousePosition(), std::make_pair(100, 50));
    PushMouse(HostEventKind::MouseMove, 1279, 1439);
    AdvanceClock(1);
    EXPECT_EQ(MousePosition(), std::make_pair(639, 479));
}

// Each button sets its bit while held, whatever the others do.
TEST_F(MouseTest, EachButtonIsHeldUntilReleased) {
    StartFramework();
    EXPECT_EQ(GetMouseButtonBits(), 0);
    const std::pair<int, int32_t> buttons[] = {
        {1, kMouseLeft}, {2, kMouseRight}, {3, kMouseMiddle}};
    int32_t held = 0;
    for (const auto& [button, bit] : buttons) {
        PushMouse(HostEventKind::MouseButtonDown, 10, 10, button);
        AdvanceClock(1);
        held |= bit;
        EXPECT_EQ(GetMouseButtonBits(), held) << button;
    }
    PushMouse(HostEventKind::MouseButtonUp, 10, 10, 2);
    AdvanceClock(1);
    EXPECT_EQ(GetMouseButtonBits(), kMouseLeft | kMouseMiddle);
    PushMouse(HostEventKind::MouseButtonUp, 10, 10, 1);
    PushMouse(HostEventKind::MouseButtonUp, 10, 10, 3);
    AdvanceClock(1);
    EXPECT_EQ(GetMouseButtonBits(), 0);
}

}  // namespace
