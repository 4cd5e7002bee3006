// The SDL2 host's joysticks: game controllers through SDL's controller mapping, laid out as
// DirectInput shows such a pad; other joysticks as SDL reports them. Force feedback plays as
// SDL haptic effects where the device has them, else on its rumble motors.
#include "sdl_joysticks.h"

#include <SDL.h>

#include <algorithm>
#include <map>

namespace {

constexpr int kMaxAxes = 6;
constexpr int kMaxButtons = 32;
constexpr int kFullLevel = 10000;
// SDL ends a rumble after at most this long; an endless effect rumbles this long.
constexpr uint32_t kLongestRumbleMs = 0xFFFF;

// DirectInput's button order for a controller: A B X Y, shoulders, back, start, stick clicks.
constexpr SDL_GameControllerButton kControllerButtons[] = {
    SDL_CONTROLLER_BUTTON_A,
    SDL_CONTROLLER_BUTTON_B,
    SDL_CONTROLLER_BUTTON_X,
    SDL_CONTROLLER_BUTTON_Y,
    SDL_CONTROLLER_BUTTON_LEFTSHOULDER,
    SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
    SDL_CONTROLLER_BUTTON_BACK,
    SDL_CONTROLLER_BUTTON_START,
    SDL_CONTROLLER_BUTTON_LEFTSTICK,
    SDL_CONTROLLER_BUTTON_RIGHTSTICK,
};
constexpr int kControllerAxes = 5;

struct SdlPad {
    SDL_JoystickID instance = -1;
    SDL_Joystick* joystick = nullptr;
    SDL_GameController* controller = nullptr;  // null for a plain joystick
    SDL_Haptic* haptic = nullptr;
    std::map<int, int> hapticEffects;           // slot -> SDL effect id
    std::map<int, HostJoystickEffect> rumbles;  // slot -> effect, without haptics
};

struct SdlJoysticksState {
    bool started = false;
    bool haptics = false;
    std::map<int, SdlPad> pads;  // by device index
};

SdlJoysticksState gSdlJoysticks;

void ClosePad(SdlPad& pad) {
    if (pad.haptic != nullptr) SDL_HapticClose(pad.haptic);
    if (pad.controller != nullptr) {
        SDL_GameControllerClose(pad.controller);
    } else if (pad.joystick != nullptr) {
        SDL_JoystickClose(pad.joystick);
    }
    pad = SdlPad{};
}

// The pad at a device index, opened on first use and again when another device took the index.
SdlPad* OpenPad(int index) {
    if (!StartSdlJoysticks() || index < 0 || index >= SDL_NumJoysticks()) return nullptr;
    SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(index);
    SdlPad& pad = gSdlJoysticks.pads[index];
    if (pad.joystick != nullptr && pad.instance == instance) return &pad;
    ClosePad(pad);
    if (SDL_IsGameController(index)) {
        pad.controller = SDL_GameControllerOpen(index);
        if (pad.controller != nullptr) pad.joystick = SDL_GameControllerGetJoystick(pad.controller);
    }
    if (pad.joystick == nullptr) pad.joystick = SDL_JoystickOpen(index);
    if (pad.joystick == nullptr) return nullptr;
    pad.instance = instance;
    if (gSdlJoysticks.haptics && SDL_JoystickIsHaptic(pad.joystick) == SDL_TRUE) {
        pad.haptic = SDL_HapticOpenFromJoystick(pad.joystick);
    }
    return &pad;
}

int32_t HatDegrees(Uint8 hat) {
    static const std::pair<Uint8, int32_t> kHats[] = {
        {SDL_HAT_UP, 0},     {SDL_HAT_RIGHTUP, 45},   {SDL_HAT_RIGHT, 90}, {SDL_HAT_RIGHTDOWN, 135},
        {SDL_HAT_DOWN, 180}, {SDL_HAT_LEFTDOWN, 225}, {SDL_HAT_LEFT, 270}, {SDL_HAT_LEFTUP, 315}};
    for (const auto& entry : kHats) {
        if (entry.first == hat) return entry.second;
    }
    return -1;
}

void ReadController(SDL_GameController* controller, HostJoystickState* state) {
    auto axis = [controller](SDL_GameControllerAxis a) {
        return static_cast<int32_t>(SDL_GameControllerGetAxis(controller, a));
    };
    state->axes[0] = axis(SDL_CONTROLLER_AXIS_LEFTX);
    state->axes[1] = axis(SDL_CONTROLLER_AXIS_LEFTY);
    // One z axis for both triggers, the left one pushing it up, as DirectInput shows them.
    state->axes[2] =
        std::clamp(axis(SDL_CONTROLLER_AXIS_TRIGGERLEFT) - axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT),
                   -32768, 32767);
    state->axes[3] = axis(SDL_CONTROLLER_AXIS_RIGHTX);
    state->axes[4] = axis(SDL_CONTROLLER_AXIS_RIGHTY);
    for (size_t i = 0; i < std::size(kControllerButtons); ++i) {
        if (SDL_GameControllerGetButton(controller, kControllerButtons[i]) != 0) {
            state->buttons |= 1u << i;
        }
    }
    auto held = [controller](SDL_GameControllerButton b) {
        return SDL_GameControllerGetButton(controller, b) != 0;
    };
    Uint8 hat = (held(SDL_CONTROLLER_BUTTON_DPAD_UP) ? SDL_HAT_UP : 0) |
                (held(SDL_CONTROLLER_BUTTON_DPAD_DOWN) ? SDL_HAT_DOWN : 0) |
                (held(SDL_CONTROLLER_BUTTON_DPAD_LEFT) ? SDL_HAT_LEFT : 0) |
                (held(SDL_CONTROLLER_BUTTON_DPAD_RIGHT) ? SDL_HAT_RIGHT : 0);
    state->hat = HatDegrees(hat);
}

void ReadPlainJoystick(SDL_Joystick* joystick, HostJoystickState* state) {
    for (int axis = 0; axis < std::min(kMaxAxes, SDL_JoystickNumAxes(joystick)); ++axis) {
        state->axes[axis] = SDL_JoystickGetAxis(joystick, axis);
    }
    for (int button = 0; button < std::min(kMaxButtons, SDL_JoystickNumButtons(joystick));
         ++button) {
        if (SDL_JoystickGetButton(joystick, button) != 0) state->buttons |= 1u << button;
    }
    if (SDL_JoystickNumHats(joystick) > 0) state->hat = HatDegrees(SDL_JoystickGetHat(joystick, 0));
}

Sint16 HapticLevel(int32_t level) {
    return static_cast<Sint16>(std::clamp(level, 0, kFullLevel) * 32767 / kFullLevel);
}

Uint16 HapticTime(uint32_t ms) {
    return static_cast<Uint16>(std::min<uint32_t>(ms, 0x7FFF));
}

SDL_HapticEffect MakeHapticEffect(const HostJoystickEffect& effect) {
    SDL_HapticEffect made{};
    Uint32 length = effect.lengthMs != 0 ? effect.lengthMs : SDL_HAPTIC_INFINITY;
    if (effect.sine) {
        made.type = SDL_HAPTIC_SINE;
        made.periodic.direction.type = SDL_HAPTIC_POLAR;
        made.periodic.length = length;
        made.periodic.period = HapticTime(effect.periodMs);
        made.periodic.magnitude = HapticLevel(effect.magnitude);
        made.periodic.attack_length = HapticTime(effect.attackMs);
        made.periodic.attack_level = static_cast<Uint16>(HapticLevel(effect.attackLevel));
        made.periodic.fade_length = HapticTime(effect.fadeMs);
        made.periodic.fade_level = static_cast<Uint16>(HapticLevel(effect.fadeLevel));
    } else {
        made.type = SDL_HAPTIC_CONSTANT;
        made.constant.direction.type = SDL_HAPTIC_CARTESIAN;
        made.constant.direction.dir[0] = 1;
        made.constant.length = length;
        made.constant.level = HapticLevel(effect.magnitude);
    }
    return made;
}

bool PlayHaptic(SdlPad& pad, int slot, const HostJoystickEffect* effect) {
    auto running = pad.hapticEffects.find(slot);
    if (running != pad.hapticEffects.end()) {
        SDL_HapticStopEffect(pad.haptic, running->second);
        SDL_HapticDestroyEffect(pad.haptic, running->second);
        pad.hapticEffects.erase(running);
    }
    if (effect == nullptr) return true;
    SDL_HapticEffect made = MakeHapticEffect(*effect);
    int id = SDL_HapticNewEffect(pad.haptic, &made);
    if (id < 0) return false;
    pad.hapticEffects[slot] = id;
    return SDL_HapticRunEffect(pad.haptic, id, 1) == 0;
}

// The motors run as strongly as the strongest effect: the low one for every effect, the high
// one for constant pushes only, so that a sine feels softer.
bool PlayRumble(SdlPad& pad, int slot, const HostJoystickEffect* effect) {
    if (SDL_JoystickHasRumble(pad.joystick) != SDL_TRUE) return false;
    if (effect != nullptr) {
        pad.rumbles[slot] = *effect;
    } else {
        pad.rumbles.erase(slot);
    }
    int32_t low = 0, high = 0;
    uint32_t length = 0;
    for (const auto& entry : pad.rumbles) {
        const HostJoystickEffect& e = entry.second;
        int32_t level = std::clamp(e.magnitude, 0, kFullLevel) * 0xFFFF / kFullLevel;
        low = std::max(low, level);
        if (!e.sine) high = std::max(high, level);
        length = std::max(length, e.lengthMs != 0 ? e.lengthMs : kLongestRumbleMs);
    }
    return SDL_JoystickRumble(pad.joystick, static_cast<Uint16>(low), static_cast<Uint16>(high),
                              std::min(length, kLongestRumbleMs)) == 0;
}

bool HapticPlays(const SdlPad& pad, bool sine) {
    return pad.haptic != nullptr &&
           (SDL_HapticQuery(pad.haptic) & (sine ? SDL_HAPTIC_SINE : SDL_HAPTIC_CONSTANT)) != 0;
}

}  // namespace

bool StartSdlJoysticks() {
    if (gSdlJoysticks.started) return true;
    // Pads answer whichever window has the focus; the framework decides when to read them.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) return false;
    gSdlJoysticks.haptics = SDL_InitSubSystem(SDL_INIT_HAPTIC) == 0;
    gSdlJoysticks.started = true;
    return true;
}

int SdlCountJoysticks() {
    if (!StartSdlJoysticks()) return 0;
    return std::max(0, SDL_NumJoysticks());
}

bool SdlDescribeJoystick(int index, HostJoystickInfo* info) {
    SdlPad* pad = OpenPad(index);
    if (pad == nullptr) return false;
    *info = HostJoystickInfo{};
    const char* name = SDL_JoystickName(pad->joystick);
    info->name = name != nullptr ? name : "";
    const char* product =
        pad->controller != nullptr ? SDL_GameControllerName(pad->controller) : nullptr;
    info->product = product != nullptr ? product : info->name;
    if (pad->controller != nullptr) {
        info->axisCount = kControllerAxes;
        info->buttonCount = static_cast<int32_t>(std::size(kControllerButtons));
        info->hasHat = true;
    } else {
        info->axisCount = std::clamp(SDL_JoystickNumAxes(pad->joystick), 0, kMaxAxes);
        info->buttonCount = std::clamp(SDL_JoystickNumButtons(pad->joystick), 0, kMaxButtons);
        info->hasHat = SDL_JoystickNumHats(pad->joystick) > 0;
    }
    info->forceFeedback =
        pad->haptic != nullptr || SDL_JoystickHasRumble(pad->joystick) == SDL_TRUE;
    return true;
}

bool SdlReadJoystick(int index, HostJoystickState* state) {
    SdlPad* pad = OpenPad(index);
    if (pad == nullptr || SDL_JoystickGetAttached(pad->joystick) != SDL_TRUE) return false;
    SDL_JoystickUpdate();
    *state = HostJoystickState{};
    if (pad->controller != nullptr) {
        ReadController(pad->controller, state);
    } else {
        ReadPlainJoystick(pad->joystick, state);
    }
    return true;
}

bool SdlPlayJoystickEffect(int index, int slot, const HostJoystickEffect* effect) {
    SdlPad* pad = OpenPad(index);
    if (pad == nullptr) return false;
    bool haptic =
        effect != nullptr ? HapticPlays(*pad, effect->sine) : pad->hapticEffects.count(slot) != 0;
    return haptic ? PlayHaptic(*pad, slot, effect) : PlayRumble(*pad, slot, effect);
}
