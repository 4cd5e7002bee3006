// Loading the game's pictures and sounds. A load that fails leaves -1, on which every later
// draw or play does nothing.
#include "game_assets.h"

GameAssets gAssets;

namespace {

// Stages 1 and 4, 2 and 5, 3 and 6 share a look and a piece of music; stage 7 has its own.
int32_t StageTheme(int32_t stage) {
    if (stage < 1 || stage > 7) return 0;
    return stage == 7 ? 3 : (stage - 1) % 3;
}

}  // namespace

void LoadGameAssets() {
    GameAssets& a = gAssets;
    LoadImageFileAsDivGraphs("graphics/size32.png", 16, 4, 4, 32, 32, a.size32Cells, 0);
    LoadImageFileAsDivGraphs("graphics/explosion.png", 16, 8, 2, 96, 96, a.explosionCells, 0);
    LoadImageFileAsDivGraphs("graphics/explosion2.png", 16, 8, 2, 96, 96, a.explosion2Cells, 0);
    a.titleGraph = LoadImageFileAsGraph("graphics/title2.png", 0);
    LoadImageFileAsDivGraphs("graphics/size16.png", 2, 2, 1, 16, 16, a.size16Cells, 0);
    a.gameOverGraph = LoadImageFileAsGraph("graphics/gameover.png", 0);
    a.goalGraph = LoadImageFileAsGraph("graphics/goal.png", 0);
    a.uzuGraph = LoadImageFileAsGraph("graphics/uzu.png", 0);
    a.entryGraph = LoadImageFileAsGraph("graphics/entry.png", 0);
    a.rankGraph = LoadImageFileAsGraph("graphics/rank.png", 0);
    a.boardGraph = LoadImageFileAsGraph("graphics/board.png", 0);
    a.loopSound = LoadGameSound("sound/loop04.wav");
    ClearSoundRequests();
    LoadSoundEffects();
    const char* const music[4] = {"sound/burst.mp3", "sound/zombie_ghost.mp3",
                                  "sound/tsudumi-japan.mp3", "sound/a-pe-kamuy_mixv2.mp3"};
    for (int32_t i = 0; i < 4; ++i) a.stageBgm[i] = LoadGameSound(music[i]);
}

const char* StageBackgroundPath(int32_t stage) {
    const char* const backgrounds[4] = {"graphics/back1.png", "graphics/back3.png",
                                        "graphics/back4.png", "graphics/back5.png"};
    return backgrounds[StageTheme(stage)];
}

Handle StageBgm(int32_t stage) {
    return gAssets.stageBgm[StageTheme(stage)];
}
