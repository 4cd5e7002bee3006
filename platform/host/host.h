// The narrow interface between the layer and the machine it runs on: windows with a pixel
// surface, input and window events, display modes, cursor, clipboard, audio out and
// joysticks. Two drivers implement it: SDL2 (the program's) and headless (tests). Only the
// layer calls it; the framework never does.
#pragma once

#include <platform/host_types.h>

#include <cstdint>
#include <string>
#include <vector>

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
    // Where the pointer is on the display, in the layer's desktop coordinates (a full-screen
    // window's surface pixels while one is shown), over the program's windows or not. False
    // where the host learns of the pointer only while it is over one of them.
    bool (*pointerPosition)(int* x, int* y);
    // Moves the pointer there; false where the host cannot.
    bool (*placePointer)(int x, int y);
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
