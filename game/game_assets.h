// The game's framework handles: those held for the whole run, loaded at start-up, and those
// held for a while (the stage background and music, the ending roll's three assets).
#pragma once

#include <orbek/orbek.h>

#include <cstdint>

#include "game_sounds.h"

struct GameAssets {
    Handle gameFont;
    Handle size32Cells[16];  // 0 player, 4 its blink; 1-3, 5-7 boxes; 8-11, 12-15 balls
    Handle explosionCells[16];
    Handle explosion2Cells[16];
    Handle titleGraph;
    Handle size16Cells[2];  // 0 life icon, 1 menu cursor
    Handle gameOverGraph;
    Handle goalGraph;
    Handle uzuGraph;
    Handle entryGraph;
    Handle rankGraph;
    Handle boardGraph;
    Handle loopSound;
    Handle SoundEffectTable[kSoundEffects];
    Handle stageBgm[4];

    Handle backgroundGraph;  // from a stage intro to its clear or the end of the game
    Handle currentBgm;       // the stage's music, one of stageBgm
    Handle endingBgm;        // during the ending roll only, as the next two
    Handle congratulationsGraph;
    Handle endGraph;
};
extern GameAssets gAssets;

// Start-up's loads in their order: the pictures, the loop sound, then (with the requests
// cleared) the effects and the stage music.
void LoadGameAssets();
// The background and the music of a stage, 1 to 7.
const char* StageBackgroundPath(int32_t stage);
Handle StageBgm(int32_t stage);
