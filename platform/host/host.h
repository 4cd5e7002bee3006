// The narrow interface between the layer and the machine it runs on: windows with a pixel
// surface, input and window events, display modes, cursor, clipboard, audio out and
// joysticks. Two drivers implement it: SDL2 (the program's) and headless (tests). Only the
// layer calls it; the framework never does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// Pixel layouts a window shows as they come: those of the back buffer formats the Direct3D
// device presents and of the DIBs drawn onto a window unstretched.
enum class HostPixelFormat { Xrgb8888, Rgb565, Xrgb1555 };

// Rows of pixels in one of those layouts. `pixels` is the top-left pixel; `pitchBytes` steps
// from a row to the one below it (negative for rows stored bottom up).
struct HostImage {
    const void* pixels = nullptr;
    int32_t pitchBytes = 0;
    int32_t width = 0;
    int32_t height = 0;
    HostPixelFormat format = HostPixelFormat::Xrgb8888;
};

// Fills `frames` stereo 16-bit frames.
using HostAudioCallback = void (*)(void* user, int16_t* out, int32_t frames);

struct HostDriver {
    const char* name;
    // Starts the video side; false when there is no display.
    bool (*start)();
    void (*stop)();

    // Windows: position and size are those of the client area (windows have no frame here).
    uint32_t (*createWindow)(const char* titleUtf8, int x, int y, int width, int height);
    void (*destroyWindow)(uint32_t window);
    void (*setTitle)(uint32_t window, const char* titleUtf8);
    void (*showWindow)(uint32_t window, bool show);
    void (*minimiseWindow)(uint32_t window);
    void (*restoreWindow)(uint32_t window);
    void (*raiseWindow)(uint32_t window);
    void (*placeWindow)(uint32_t window, int x, int y, int width, int height);
    // Full screen covers the display and scales the surface to fit, keeping its aspect.
    void (*setFullScreen)(uint32_t window, bool on);
    // The client-size surface as 0x00RRGGBB pixels (converted to that layout first when an image
    // left it in another); unlocking shows it. Null without a window.
    uint32_t* (*lockSurface)(uint32_t window, int* width, int* height, int* pitchBytes);
    void (*unlockSurface)(uint32_t window);
    // Shows `image` one to one with its top-left pixel at (x, y) of the client area, clipped
    // to it; the rest of the surface stays. The surface takes the image's layout, so a picture
    // is copied once on its way and converted only where the window cannot show it as it is.
    // False when the window has no surface.
    bool (*showImage)(uint32_t window, const HostImage& image, int x, int y);

    bool (*pollEvent)(HostEvent* event);

    HostDisplayMode (*desktopMode)();
    // Writes up to `capacity` modes; returns how many there are.
    int (*listDisplayModes)(HostDisplayMode* modes, int capacity);

    void (*showCursor)(bool show);
    void (*enableScreenSaver)(bool enable);
    std::string (*clipboardText)();
    bool (*setClipboardText)(const char* utf8);

    // One output device at a time; the callback mixes what it plays.
    bool (*openAudio)(int frequency, HostAudioCallback callback, void* user);
    void (*closeAudio)();
    // Brings an output that renders on the clock (headless) up to the present; an output that
    // pulls on a thread of its own (SDL2) does nothing.
    void (*serviceAudio)();
    std::vector<std::string> (*audioDeviceNames)();

    // Joysticks by index, 0 to count - 1, in the order the host found them.
    int (*countJoysticks)();
    bool (*describeJoystick)(int index, HostJoystickInfo* info);
    bool (*readJoystick)(int index, HostJoystickState* state);
    // Starts `effect` in `slot` of the joystick, replacing what played there, or stops the slot
    // (null). Without effects of its own the joystick rumbles as strongly as its strongest
    // playing effect. False when the joystick is gone or has no force feedback.
    bool (*playJoystickEffect)(int index, int slot, const HostJoystickEffect* effect);
};

extern const HostDriver kSdlHost;
extern const HostDriver kHeadlessHost;

// The driver that the environment names in ORBEK_HOST ("sdl" or "headless"); SDL2 when it
// names none of them.
const HostDriver& HostFromEnvironment();
// The driver in use: the environment's at start, else the one a test selected.
const HostDriver& Host();
void SelectHostDriver(const HostDriver& driver);
