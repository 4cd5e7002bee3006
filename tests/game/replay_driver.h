// The replay driver behind the game's test hooks: a virtual clock that moves 16 ms per pass of
// the game's loops, keys and pad fed per pass from a script, a log of every sound call and every
// text drawn, and the game's state reset between runs. The hooks of game/test_hooks.h are
// defined in replay_driver.cpp, which the game's tests and its benchmark share.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "test_hooks.h"

// DirectInput codes of the game's keys.
constexpr int kDikEscape = 0x01;
constexpr int kDikP = 0x19;
constexpr int kDikZ = 0x2C;
constexpr int kDikF5 = 0x3F;
constexpr int kDikUp = 0xC8;
constexpr int kDikLeft = 0xCB;
constexpr int kDikRight = 0xCD;
constexpr int kDikDown = 0xD0;

constexpr uint32_t kPassMicroseconds = 16000;

// What is held during one pass.
struct ReplayInput {
    std::vector<int> keys;    // DirectInput codes
    uint32_t padButtons = 0;  // bit n: pad button n
    int padX = 0, padY = 0;   // stick: -1, 0 or 1 (y downwards)
};

struct SoundEvent {
    int pass;
    GameSoundCall call;
    std::string path;  // as the game loaded it
    int32_t playType, fromTop;
};

struct TextEvent {
    int pass;
    int x, y;
    std::string text;  // as drawn (Shift-JIS)
};

struct Replay {
    // The input of the next pass; passes are numbered from 1, the first pass of the scene loop.
    std::function<ReplayInput(int pass)> script;
    // Called at the end of every pass, before its pump, with the pass just run.
    std::function<void(int pass)> observe;
    int passLimit = 30000;  // then the window is closed
    bool withPad = false;   // a pad is attached before start-up
    bool invincible = false;
    int failSaveOperation = 0;  // the n-th save operation from now fails; 0 none

    int pass = 0;  // passes run so far
    bool closedAtLimit = false;
    std::map<Handle, std::string> soundPaths;
    std::vector<SoundEvent> sounds;
    std::vector<TextEvent> texts;
};
extern Replay gReplay;

// Every module-wide record of the game back to its program-start zero.
void ResetGameState();

// True when the pass just run drew the text (anywhere).
bool DrewInLastPass(const std::string& text);

// A script of presses: each is held for one pass once its condition holds, then released for
// one pass before the next may come.
class PressScript {
public:
    PressScript& Press(std::function<bool()> when, ReplayInput input);
    PressScript& Press(ReplayInput input) {
        return Press([] { return true; }, std::move(input));
    }
    ReplayInput operator()(int pass);
    bool Done() const { return next_ == steps_.size(); }

private:
    struct Step {
        std::function<bool()> when;
        ReplayInput input;
    };
    std::vector<Step> steps_;
    size_t next_ = 0;
    bool holding_ = false;
};

// Before a run: the game's state and the replay reset, one processor, flips that do not wait for
// the blank, and no window surface.
void PrepareReplayRun();
// Attaches the replay's pad to the host when the replay asks for one.
void AttachReplayPad();
