// The menus: the title and the joypad configuration are scenes drawing one frame per call; the
// continue, pause and hold prompts of play run loops of their own until answered.
#pragma once

#include <cstdint>

struct MenuState {
    int32_t titleCursor;   // 0 START, 1 OPTION, 2 EXIT; kept between visits
    int32_t optionCursor;  // 0 decide/brake button, 1 pause button, 2 RANKING, 3 EXIT
    int32_t uzuAngle;      // degrees of the option screen's tiles, 356 down to 0 by 4
};
extern MenuState gMenus;

// Scene 0, one frame.
void TitleMenu();
// Scene 1, one frame.
void JoypadConfigMenu();
// The prompt after the last life: 0 YES (go on), 1 NO (give up). Also 0 when it stopped for Esc
// (currentScene is then -1) or because the program must end.
int32_t ContinueMenu();
// Resume, or quit the game to the title.
void PauseMenu();
// Freezes play until F5 is pressed again.
void HoldUntilF5();
