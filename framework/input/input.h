// Keyboard, mouse and joypads: the key table by DirectInput key code, up to 16 pads read as
// JoypadBits with a keyboard assignment per pad, force-feedback vibration, and the devices
// re-acquired on activation. DirectInput 7, else 8, else the Win32 keyboard and winmm pads.
// The public calls are in orbek/orbek.h. Each public query (TestKeyDown, CopyAllKeyStates,
// CountJoypads, GetJoypadBits, StopJoypadRumble) first waits for activation while the
// application is inactive, and with input not set up (and no close requested) sets input up
// and returns that result instead. A rumble above power 5,000 adds the sine.
#pragma once

#include <orbek/orbek.h>
#include <platform/dinput.h>

#include <cstdint>

// Per pad, per bit, four DirectInput key codes; 0 or less means none.
typedef int32_t JoypadKeyMap[kMaxJoypads][32][4];

struct JoypadRecord {
    IDirectInputDevice7A* device;
    IDirectInputEffect* effects[2];  // constant force; enveloped sine
    HANDLE event;
    DIJOYSTATE state;  // X, Y, Z and the rotations in -1000..1000
    int32_t hasZAndR;  // winmm pads: Z and R axes reported
    uint32_t lastPoll;
    int32_t vibrationOn;
    int32_t vibrationPower;     // 0..10,000
    int32_t vibrationDuration;  // ms; negative for no end
    int32_t vibrationElapsed;
    uint32_t lastVibrationTick;
    int32_t effectPlaying[2];
    char instanceName[MAX_PATH];
    char productName[MAX_PATH];
};

struct VkToDikRow {
    uint16_t virtualKey;
    uint16_t dik;
    uint16_t flag;
};
// 100 rows, then a row whose virtual key is 0xFFFF.
extern const VkToDikRow VkToDikTable[];

// Kept when the input state is cleared. The switches are the application's (or a test's) to
// set; the set-up itself turns NoDirectInputSwitch on when no DirectInput can be had.
struct InputSettings {
    int32_t NoDirectInputSwitch;
    int32_t KeyboardByWin32Switch;
    int32_t DirectInputKeyboardOnNewerWindows;
    int32_t noForceFeedback;
    JoypadKeyMap keyMap;
    int32_t keyMapInitialised;
};

struct InputState {
    InputSettings settings;
    IDirectInput7A* directInput7;  // at most one of the two is held: which says the version
    IDirectInput8A* directInput8;
    int32_t multimediaFallback;  // the DirectInput object's "-1": no DirectInput, winmm pads
    int32_t setUp;
    IDirectInputDevice7A* keyboard;
    HANDLE keyboardEvent;
    uint32_t keyboardUpdated;  // millisecond time of the last refresh
    IDirectInputDevice7A* mouse;
    int32_t mouseButtons[3];  // left, right, middle held, from the Win32 keyboard state
    int32_t joypadCount;
    JoypadRecord joypads[kMaxJoypads];
    KeyStateTable keys;
    int32_t updatingKeyboard;  // guards UpdateKeyboardState against the pump it runs
};
// The module's state, read by tests and open to the application's switches.
extern InputState gInput;

int SetupInput();
int ShutdownInput();
// 0; -1 without DirectInput.
int SetupJoypads();
int ReleaseJoypads();
// 1 when the table was refreshed, else 0.
int UpdateKeyboardState(int32_t pumpFirst);
// Pad index 0..15: 0, -1 for a pad that cannot be read.
int UpdateJoypadState(int32_t index);
int TickJoypadRumble();
int ApplyJoypadVibration();
int ReacquireInputDevices();
