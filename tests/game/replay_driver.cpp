// The replay driver behind the game's test hooks.
#include "replay_driver.h"

#include <platform/testing.h>
#include <platform/testing_d3d9.h>
#include <platform/testing_host.h>
#include <platform/win32_user.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "app/main_window.h"
#include "game_assets.h"
#include "game_sounds.h"
#include "graphics/screen_state.h"
#include "input_sampling.h"
#include "menus.h"
#include "play_field.h"
#include "ranking.h"
#include "scene_loop.h"
#include "wave_engine.h"

Replay gReplay;

namespace {

// The virtual keys of the game's keys; the host event carries both codes.
struct HostKey {
    int dik;
    BYTE virtualKey;
};
const HostKey kHostKeys[] = {
    {kDikEscape, VK_ESCAPE}, {kDikP, 'P'},        {kDikZ, 'Z'},          {kDikF5, VK_F1 + 4},
    {kDikUp, VK_UP},         {kDikLeft, VK_LEFT}, {kDikRight, VK_RIGHT}, {kDikDown, VK_DOWN},
};

// What the host was last told is held.
ReplayInput gHeld;

void SendKey(int dik, bool down) {
    for (const HostKey& key : kHostKeys) {
        if (key.dik != dik) continue;
        HostEvent event;
        event.kind = down ? HostEventKind::KeyDown : HostEventKind::KeyUp;
        event.virtualKey = key.virtualKey;
        event.scanCode = static_cast<uint8_t>(dik);
        TestHostPushEvent(GetMainHwnd(), event);
        return;
    }
    std::fprintf(stderr, "no host key for DirectInput code %d\n", dik);
    std::abort();
}

bool Holds(const ReplayInput& input, int dik) {
    return std::find(input.keys.begin(), input.keys.end(), dik) != input.keys.end();
}

void Feed(const ReplayInput& next) {
    for (int dik : gHeld.keys) {
        if (!Holds(next, dik)) SendKey(dik, false);
    }
    for (int dik : next.keys) {
        if (!Holds(gHeld, dik)) SendKey(dik, true);
    }
    if (gReplay.withPad) {
        HostJoystickState state;
        state.axes[0] = next.padX * 32767;
        state.axes[1] = next.padY * 32767;
        state.buttons = next.padButtons;
        TestHostSetJoystickState(0, state);
    }
    gHeld = next;
}

std::string PathOf(Handle sound) {
    auto found = gReplay.soundPaths.find(sound);
    return found == gReplay.soundPaths.end() ? "" : found->second;
}

}  // namespace

void TestHookBeforePump() {
    Replay& r = gReplay;
    if (r.pass == 0) {
        // Start-up is over: from now on only the passes move the clock.
        TestSetClockStepPerRead(0);
    } else if (r.observe) {
        r.observe(r.pass);
    }
    if (r.pass >= r.passLimit) {
        if (!r.closedAtLimit) {
            HostEvent close;
            close.kind = HostEventKind::Close;
            TestHostPushEvent(GetMainHwnd(), close);
            r.closedAtLimit = true;
        }
    } else {
        Feed(r.script ? r.script(r.pass + 1) : ReplayInput{});
    }
    TestAdvanceClockMicroseconds(kPassMicroseconds);
    r.pass += 1;
}

bool TestHookPlayerInvincible() {
    return gReplay.invincible;
}

void TestHookSoundLoaded(const char* path, Handle sound) {
    gReplay.soundPaths[sound] = path;
}

void TestHookSoundCall(GameSoundCall call, Handle sound, int32_t playType, int32_t fromTop) {
    gReplay.sounds.push_back({gReplay.pass, call, PathOf(sound), playType, fromTop});
}

bool TestHookSaveOperationFails() {
    return gReplay.failSaveOperation > 0 && --gReplay.failSaveOperation == 0;
}

void TestHookTextDrawn(int x, int y, const char* text) {
    gReplay.texts.push_back({gReplay.pass, x, y, text});
}

bool DrewInLastPass(const std::string& text) {
    for (auto it = gReplay.texts.rbegin(); it != gReplay.texts.rend() && it->pass == gReplay.pass;
         ++it) {
        if (it->text == text) return true;
    }
    return false;
}

PressScript& PressScript::Press(std::function<bool()> when, ReplayInput input) {
    steps_.push_back({std::move(when), std::move(input)});
    return *this;
}

ReplayInput PressScript::operator()(int pass) {
    if (holding_) {
        holding_ = false;
        return {};
    }
    if (next_ < steps_.size() && steps_[next_].when()) {
        holding_ = true;
        return steps_[next_++].input;
    }
    return {};
}

void ResetGameState() {
    gGameInput = GameInput{};
    gAssets = GameAssets{};
    gScenes = SceneState{};
    gPlayField = PlayField{};
    ObjectPool = ObjectPoolSlots{};
    gWaves = WaveEngine{};
    gMenus = MenuState{};
    gRanking = RankingState{};
    std::fill(std::begin(RankingTable), std::end(RankingTable), RankingRecord{});
    std::fill(std::begin(SoundRequest), std::end(SoundRequest), 0);
}

void PrepareReplayRun() {
    ResetGameState();
    gReplay = Replay{};
    gHeld = ReplayInput{};
    // One processor: stream sounds are serviced by the pump, so no thread moves the clock.
    TestSetProcessorCount(1);
    // The passes alone move the clock, one frame each: flips do not wait for the blank.
    gScreen.noVSyncWait = 1;
    // Drawing and showing every frame is most of a pass's cost; runs that read the frames turn
    // the pixels and the window's surfaces back on.
    TestD3d9KeepPixels(false);
    TestHostKeepSurfaces(false);
}

void AttachReplayPad() {
    if (!gReplay.withPad) return;
    TestHostJoystick pad;
    pad.info.name = "Pad";
    pad.info.product = "Pad";
    pad.info.axisCount = 2;
    pad.info.buttonCount = 10;
    TestHostSetJoysticks({pad});
}
