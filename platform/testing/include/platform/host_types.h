// The values that cross the host interface: events, display modes, joysticks and their
// effects. They stand with the tests' hooks, below the host, because tests script the headless
// host with them; the host's calls themselves stay private to the layer (host/host.h).
#pragma once

#include <cstdint>
#include <string>

enum class HostEventKind {
    Close,  // the window's close button (or the system's quit request)
    FocusGained,
    FocusLost,
    Minimised,
    Restored,
    Shown,    // the window is on the screen again; a window manager that restores a minimised
              // window by mapping it may say no more than this
    Resized,  // x, y: the new client size, made by the user or the window manager
    Moved,    // x, y: the new client origin on the desktop
    Exposed,  // the picture must be drawn again
    KeyDown,  // virtualKey (the sided one for Shift, Ctrl, Alt), scanCode, repeat
    KeyUp,
    Text,             // text: UTF-8 typed by the last key (or committed by an input method)
    TextEditing,      // text: an input method's UTF-8 composition ("" when it ends); x: its
                      // cursor and y: the length of its selected part, in characters
    MouseMove,        // x, y: client coordinates
    MouseButtonDown,  // button: 1 left, 2 right, 3 middle; x, y
    MouseButtonUp,
    MouseWheel,      // x: horizontal steps, y: vertical steps (positive away from the user)
    DropFile,        // text: UTF-8 path
    DisplayChanged,  // the desktop's mode changed
};

struct HostEvent {
    HostEventKind kind = HostEventKind::Exposed;
    uint32_t window = 0;  // host window id
    int32_t x = 0;
    int32_t y = 0;
    int32_t button = 0;
    uint8_t virtualKey = 0;
    uint8_t scanCode = 0;  // the key's DirectInput key code
    bool repeat = false;
    std::string text;
};

struct HostDisplayMode {
    int32_t width;
    int32_t height;
    int32_t bits;
    int32_t refresh;
};

// A joystick as the host knows it. A game controller is laid out as DirectInput shows a pad:
// left stick x, y; the triggers as z; right stick as rx, ry; A B X Y, the shoulders, back,
// start and the stick clicks as buttons 0 to 9; the direction pad as the hat.
struct HostJoystickInfo {
    std::string name;     // UTF-8
    std::string product;  // UTF-8: the controller's product name, else the joystick's
    int32_t axisCount = 0;
    int32_t buttonCount = 0;  // up to 32
    bool hasHat = false;
    bool forceFeedback = false;  // effects of its own, or at least rumble motors
};

struct HostJoystickState {
    int32_t axes[6] = {};  // -32768..32767: x, y, z, rx, ry, rz; 0 for axes it lacks
    uint32_t buttons = 0;  // bit n: button n held
    int32_t hat = -1;      // -1 centred, else degrees clockwise from up
};

// A force-feedback effect: a constant push, or a sine wave shaped by an envelope. Levels run
// from 0 to 10,000.
struct HostJoystickEffect {
    bool sine = false;
    int32_t magnitude = 0;
    uint32_t periodMs = 0;
    int32_t attackLevel = 0;
    uint32_t attackMs = 0;
    int32_t fadeLevel = 0;
    uint32_t fadeMs = 0;
    uint32_t lengthMs = 0;  // 0: until stopped
};
