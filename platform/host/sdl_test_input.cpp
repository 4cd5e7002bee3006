// Hooks for tests only on the SDL2 host: key events put into SDL's own queue, and SDL's
// virtual game controllers standing in for real pads, with the rumble requests they receive.
#include "sdl_test_input.h"

#include <SDL.h>

#include <cstring>
#include <vector>

#include "platform/testing_host.h"
#include "sdl_joysticks.h"

namespace {

struct SdlTestInputState {
    std::vector<SDL_Joystick*> pads;  // by pad number
    std::vector<std::vector<uint32_t>> rumbles;
};

SdlTestInputState gSdlTestInput;

int RecordRumble(void* user, Uint16 low, Uint16 high) {
    gSdlTestInput.rumbles.push_back(
        {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(user)), low, high});
    return 0;
}

SDL_Joystick* VirtualPad(int pad) {
    if (pad < 0 || pad >= static_cast<int>(gSdlTestInput.pads.size())) return nullptr;
    return gSdlTestInput.pads[static_cast<size_t>(pad)];
}

}  // namespace

void SdlPushKey(uint32_t hostWindow, int scancode, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.windowID = hostWindow;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.scancode = static_cast<SDL_Scancode>(scancode);
    event.key.keysym.sym = SDL_GetKeyFromScancode(event.key.keysym.scancode);
    SDL_PushEvent(&event);
}

void SdlPushText(uint32_t hostWindow, const char* utf8, bool editing, int start, int length) {
    SDL_Event event{};
    if (editing) {
        event.type = SDL_TEXTEDITING;
        event.edit.windowID = hostWindow;
        std::strncpy(event.edit.text, utf8, sizeof event.edit.text - 1);
        event.edit.start = start;
        event.edit.length = length;
    } else {
        event.type = SDL_TEXTINPUT;
        event.text.windowID = hostWindow;
        std::strncpy(event.text.text, utf8, sizeof event.text.text - 1);
    }
    SDL_PushEvent(&event);
}

void SdlPushWindowEvent(uint32_t hostWindow, int sdlWindowEvent) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.windowID = hostWindow;
    event.window.event = static_cast<Uint8>(sdlWindowEvent);
    SDL_PushEvent(&event);
}

int TestSdlAttachVirtualPad() {
    if (!StartSdlJoysticks()) return -1;
    int number = static_cast<int>(gSdlTestInput.pads.size());
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.name = "Orbek Virtual Pad";
    desc.userdata = reinterpret_cast<void*>(static_cast<uintptr_t>(number));
    desc.Rumble = RecordRumble;
    int device = SDL_JoystickAttachVirtualEx(&desc);
    if (device < 0) return -1;
    SDL_Joystick* joystick = SDL_JoystickOpen(device);
    if (joystick == nullptr) {
        SDL_JoystickDetachVirtual(device);
        return -1;
    }
    gSdlTestInput.pads.push_back(joystick);
    return number;
}

void TestSdlSetVirtualPadAxis(int pad, int axis, int16_t value) {
    if (SDL_Joystick* joystick = VirtualPad(pad)) SDL_JoystickSetVirtualAxis(joystick, axis, value);
}

void TestSdlSetVirtualPadButton(int pad, int button, bool down) {
    if (SDL_Joystick* joystick = VirtualPad(pad)) {
        SDL_JoystickSetVirtualButton(joystick, button, down ? SDL_PRESSED : SDL_RELEASED);
    }
}

std::vector<std::vector<uint32_t>> TestSdlTakeVirtualRumbles() {
    std::vector<std::vector<uint32_t>> rumbles;
    rumbles.swap(gSdlTestInput.rumbles);
    return rumbles;
}

void TestSdlDetachVirtualPads() {
    for (SDL_Joystick* joystick : gSdlTestInput.pads) {
        SDL_JoystickID instance = SDL_JoystickInstanceID(joystick);
        SDL_JoystickClose(joystick);
        for (int i = 0; i < SDL_NumJoysticks(); ++i) {
            if (SDL_JoystickGetDeviceInstanceID(i) == instance) SDL_JoystickDetachVirtual(i);
        }
    }
    gSdlTestInput = SdlTestInputState{};
}
