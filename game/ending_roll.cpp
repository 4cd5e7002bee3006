// The ending roll: congratulations, the credit page and the end picture over the first
// stage's background scrolling down.
#include "ending_roll.h"

#include <orbek/orbek.h>

#include "game_assets.h"
#include "game_sounds.h"
#include "input_sampling.h"
#include "ranking.h"
#include "scene_loop.h"
#include "screen_drawing.h"

namespace {

constexpr int32_t kRollStep = 16;
constexpr int32_t kTileSize = 480;
constexpr uint32_t kCreditsFromMs = 20000;
constexpr uint32_t kEndFromMs = 40000;

void DrawCredits() {
    DrawGameText(32, 64, "BGM");
    DrawGameText(48, 88, "BURST DRIVE");
    DrawGameText(48, 112, "ZOMBIE GHOST PARADE");
    DrawGameText(48, 136, "(C) BROVANE SOUND WORKS - GENERATED MUSIC");
    DrawGameText(48, 184, "TSUDUMI JAPAN");
    DrawGameText(48, 208, "A-PE KAMUY (FIRE GODDESS)");
    DrawGameText(48, 232, "(C) BROVANE SOUND WORKS - GENERATED MUSIC");
    DrawGameText(48, 280, "WHITE LOVERS");
    DrawGameText(48, 304, "(C) BROVANE SOUND WORKS - GENERATED MUSIC");
    DrawGameText(32, 352, "効果音");
    DrawGameText(48, 376, "(C) BROVANE SOUND WORKS - SYNTHESISED EFFECTS");
}

}  // namespace

void StartEndingRoll() {
    GameAssets& a = gAssets;
    EraseDrawScreen(nullptr);
    FlipScreen();
    a.endingBgm = LoadGameSound("sound/White_Lovers_FreeBGM_ver.mp3");
    a.congratulationsGraph = LoadImageFileAsGraph("graphics/congratulations.png", 0);
    a.endGraph = LoadImageFileAsGraph("graphics/end.png", 0);
    a.backgroundGraph = LoadImageFileAsGraph("graphics/back1.png", 0);
    gScenes.rollOffset = 0;
    PlayGameSound(a.endingBgm, kPlayBackground, 1);
    gScenes.endingStartTime = GetMillisecondCount(0);
    gScenes.currentScene = kSceneEndingRoll;
}

void RunEndingRoll() {
    GameAssets& a = gAssets;
    EraseDrawScreen(nullptr);
    gScenes.rollOffset += kRollStep;
    if (gScenes.rollOffset == kTileSize) gScenes.rollOffset = 0;
    int32_t offset = gScenes.rollOffset;
    const int32_t corners[4][2] = {
        {0, offset - kTileSize}, {kTileSize, offset - kTileSize}, {0, offset}, {kTileSize, offset}};
    for (const auto& corner : corners) {
        SetDrawRegion(0, 0, 640, 480);
        PutGraph(corner[0], corner[1], a.backgroundGraph, 1);
    }

    uint32_t t = ElapsedSince(gScenes.endingStartTime);
    if (t < kCreditsFromMs) {
        PutGraph(16, 64, a.congratulationsGraph, 1);
        DrawGameText(256, 232, "ALL STAGE CLEAR!");
        DrawGameText(216, 264, "THANK YOU FOR YOUR PLAYING.");
    } else if (t < kEndFromMs) {
        DrawCredits();
    } else {
        PutGraph(78, 64, a.endGraph, 1);
        DrawGameText(220, 292, "PROGRAM: THE BROVANE TEAM");
    }
    FlipScreen();

    const GameInput& in = gGameInput;
    if (Pressed(in.inDecide, in.prevDecide)) {
        StopGameSound(a.endingBgm);
        DeleteGameSound(a.endingBgm);
        DisposeGraph(a.congratulationsGraph);
        DisposeGraph(a.endGraph);
        DisposeGraph(a.backgroundGraph);
        InsertRanking();
    }
}
