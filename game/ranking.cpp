// The ranking: filing a game, entering a three-character name, and the table over swinging
// tiles.
#include "ranking.h"

#include <orbek/orbek.h>

#include <cmath>
#include <cstring>
#include <utility>

#include "game_assets.h"
#include "input_sampling.h"
#include "play_field.h"
#include "save_file.h"
#include "scene_loop.h"
#include "screen_drawing.h"
#include "wave_engine.h"

RankingRecord RankingTable[kRankedGames + 1];
RankingState gRanking;
const char NameAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!?+-*/%&.";

namespace {

constexpr int32_t kAlphabetLast = sizeof NameAlphabet - 2;
constexpr int32_t kNameLength = 3;
constexpr int32_t kSwingFrames = 720;
constexpr double kTwoPi = 6.283185308;

}  // namespace

void InsertRanking() {
    RankingRecord& newcomer = RankingTable[kRankedGames];
    newcomer.score = gPlayField.score;
    newcomer.stage = gWaves.stageNumber;
    std::strcpy(newcomer.name, "---");
    gRanking.rankIndex = kRankedGames;
    // Upwards past every record not better than it: among equal scores the newest is highest.
    for (int32_t k = kRankedGames - 1; k >= 0; --k) {
        if (RankingTable[k].score > RankingTable[k + 1].score) break;
        std::swap(RankingTable[k], RankingTable[k + 1]);
        gRanking.rankIndex = k;
    }
    if (gRanking.rankIndex == kRankedGames) {
        gScenes.currentScene = kSceneTitle;
        return;
    }
    gRanking.nameLength = 0;
    gRanking.letterIndex = 0;
    gRanking.entryTimer = 0;
    gScenes.currentScene = kSceneNameEntry;
}

void NameEntry() {
    const GameInput& in = gGameInput;
    RankingState& r = gRanking;
    if (Pressed(in.inLeft, in.prevLeft))
        r.letterIndex = r.letterIndex == 0 ? kAlphabetLast : r.letterIndex - 1;
    if (Pressed(in.inRight, in.prevRight))
        r.letterIndex = r.letterIndex == kAlphabetLast ? 0 : r.letterIndex + 1;
    r.nameBuffer[r.nameLength] = NameAlphabet[r.letterIndex];
    if (Pressed(in.inDecide, in.prevDecide) && ++r.nameLength == kNameLength) {
        r.nameBuffer[kNameLength] = '\0';
        std::memcpy(RankingTable[r.rankIndex].name, r.nameBuffer, sizeof r.nameBuffer);
        WriteSaveData();
        gScenes.currentScene = kSceneTitle;
    }
    r.entryTimer += 1;

    EraseDrawScreen(nullptr);
    double turn = r.entryTimer % 360;
    DrawTurningTiles(gAssets.entryGraph, -turn, turn);
    DrawGameText(272, 96, "R A N K");
    DrawGameFormat(288, 128, "%d位", r.rankIndex + 1);
    DrawGameText(264, 192, "S C O R E");
    DrawGameFormat(272, 224, "%07d", gPlayField.score);
    DrawGameText(272, 288, "N A M E");
    for (int32_t i = 0; i < r.nameLength; ++i)
        DrawGameFormat(272 + 24 * i, 320, "%c", r.nameBuffer[i]);
    if (r.nameLength < kNameLength && r.entryTimer % 60 < 30) {
        DrawGameFormat(272 + 24 * r.nameLength, 320, "%c", r.nameBuffer[r.nameLength]);
    }
    FlipScreen();
}

void RankingView() {
    const GameInput& in = gGameInput;
    if (Pressed(in.inDecide, in.prevDecide)) gScenes.currentScene = kSceneOption;
    if (++gRanking.rankingTimer == kSwingFrames) gRanking.rankingTimer = 0;
    double swing = std::sin(gRanking.rankingTimer * kTwoPi / kSwingFrames) * 180;

    EraseDrawScreen(nullptr);
    DrawTurningTiles(gAssets.rankGraph, swing, swing);
    DrawGameText(196, 48, "RANK");
    DrawGameText(248, 48, "SCORE");
    DrawGameText(308, 48, "STAGE");
    DrawGameText(364, 48, "NAME");
    for (int32_t i = 0; i < kRankedGames; ++i) {
        const RankingRecord& record = RankingTable[i];
        int y = 80 + 32 * i;
        DrawGameFormat(208, y, "%d", i + 1);
        DrawGameFormat(240, y, "%07d", record.score);
        if (record.stage == kAllStagesCleared) {
            DrawGameText(320, y, "ALL");
        } else {
            DrawGameFormat(320, y, "%d", record.stage);
        }
        DrawGameText(368, y, record.name);
    }
    FlipScreen();
}
