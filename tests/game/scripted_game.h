// The scripted whole game that the two-renderer replay compares and the benchmark times: the
// title; in each of the seven stages the first 240 frames of its first wave, then its goal; in
// stage 2 the last life lost to the first object and the continue prompt accepted (no other
// life is lost); the ending roll, two passes a page; the name "BBB" entered; Esc on the title.
#pragma once

#include <cstdint>

#include "replay_driver.h"

struct ScriptedGame {
    ScriptedGame();
    // Steers the game at the end of every pass (from the replay's observer).
    void Steer();

    PressScript script;
    int deaths = 0;
    int32_t lastStage = 0;
    int rollPasses = 0;
};
