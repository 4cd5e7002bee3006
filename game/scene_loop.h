// The program's entry and its scene loop: one scene per pass, then the requested sounds, the
// Esc test and the message pump.
#pragma once

#include <cstdint>

enum Scene : int32_t {
    kSceneExit = -1,
    kSceneTitle = 0,
    kSceneOption = 1,  // joypad configuration
    kSceneRankingView = 2,
    kSceneNewGame = 3,
    kSceneStageIntro = 4,
    kSceneMusicWait = 5,
    kScenePlay = 6,
    kSceneStageClear = 7,
    kSceneEndingRoll = 8,
    kSceneNameEntry = 9,
};

struct SceneState {
    int32_t currentScene;
    uint32_t introStartTime;   // set at the stage intro, read by the wait for the music
    int32_t rollOffset;        // the ending's background scroll, 0..464
    uint32_t endingStartTime;  // when the ending roll began
};
extern SceneState gScenes;

// Starts the framework in full screen, loads everything, reads the save file and runs the
// scene loop until Esc, EXIT or the end of the message pump. Always 0; the arguments are not
// read.
int WinMain(void* module, void* previousInstance, char* commandLine, int showCode);

// PumpMessages for every loop of the game: 0 to go on, -1 once the program must end.
int PumpGame();
// Milliseconds since `start`, a GetMillisecondCount reading; correct across the clock's 31-bit
// wrap.
uint32_t ElapsedSince(uint32_t start);
