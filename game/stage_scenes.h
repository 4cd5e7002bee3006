// The scenes between the menus and play: new game, stage intro, the wait for the stage music
// and stage clear.
#pragma once

// Scene 3: a fresh game at stage 1, then the intro in the same frame.
void StartNewGame();
// Scene 4: "STAGE n", the player and the waves back at their start, the stage's background;
// then the wait for the music in the same frame.
void ShowStageIntro();
// Scene 5: draws nothing; 2000 ms after the intro the music and the loop sound start together
// and play begins.
void WaitForStageMusic();
// Scene 7: the music stops and the next stage's intro follows, or after stage 7 the ending.
void ClearStage();
