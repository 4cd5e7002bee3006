// The narrow interface between the layer and the machine it runs on: windows with a 32-bit
// pixel surface, input and window events, display modes, cursor, clipboard, audio out and
// joysticks. Two drivers implement it: SDL2 (the program's) and headless (tests). Only the
// layer calls it; the framework never does.
#pragma once

#include <cstdint>
#include <string>

enum class HostEventKind {
    Close,  // the window's close button (or the system's quit request)
    FocusGained,
    FocusLost,
    Minimised,
    Restored,
    Resized,  // x, y: the new client size, made by the user or the window manager
    Moved,    // x, y: the new client origin on the desktop
    Exposed,  // the picture must be drawn again
    KeyDown,  // virtualKey (the sided one for Shift, Ctrl, Alt), extended, repeat
    KeyUp,
    Text,             // text: UTF-8 typed by the last key (or committed by an input method)
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
    bool extended = false;
    bool repeat = false;
    std::string text;
};

struct HostDisplayMode {
    int32_t width;
    int32_t height;
    int32_t bits;
    int32_t refresh;
};

struct HostJoystickState {
    int32_t axes[6];   // -32768..32767: x, y, z, rx, ry, rz
    uint32_t buttons;  // bit n: button n held
    int32_t hat;       // -1 centred, else degrees clockwise from up
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
    // The client-size surface, 0x00RRGGBB pixels; unlocking shows it. Null without a window.
    uint32_t* (*lockSurface)(uint32_t window, int* width, int* height, int* pitchBytes);
    void (*unlockSurface)(uint32_t window);

    bool (*pollEvent)(HostEvent* event);

    HostDisplayMode (*desktopMode)();
    // Writes up to `capacity` modes; returns how many there are.
    int (*listDisplayModes)(HostDisplayMode* modes, int capacity);

    void (*showCursor)(bool show);
    void (*enableScreenSaver)(bool enable);
    std::string (*clipboardText)();
    bool (*setClipboardText)(const char* utf8);

    bool (*openAudio)(int frequency, HostAudioCallback callback, void* user);
    void (*closeAudio)();

    int (*countJoysticks)();
    bool (*readJoystick)(int index, HostJoystickState* state, std::string* name);
    bool (*rumbleJoystick)(int index, uint16_t low, uint16_t high, uint32_t milliseconds);
};

extern const HostDriver kSdlHost;
extern const HostDriver kHeadlessHost;

// The driver in use: SDL2 unless a test chose the headless one.
const HostDriver& Host();
