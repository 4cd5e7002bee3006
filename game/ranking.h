// The ten best games: filing a finished game, the name entry of a newcomer (scene 9) and the
// ranking view (scene 2).
#pragma once

#include <cstdint>

constexpr int32_t kRankedGames = 10;
constexpr int32_t kNameBytes = 16;  // at most 15 characters and the NUL
constexpr int32_t kAllStagesCleared = 8;

struct RankingRecord {
    int32_t score;
    int32_t stage;  // 1..7 the stage reached, 8 all stages cleared
    char name[kNameBytes];
};

// Records 0..9 best first; record 10 is scratch for the newcomer.
extern RankingRecord RankingTable[kRankedGames + 1];

struct RankingState {
    int32_t rankIndex;    // the newcomer's place 0..9, 10 when it did not make the table
    int32_t nameLength;   // characters accepted, 0..3
    int32_t letterIndex;  // 0..44 in NameAlphabet
    char nameBuffer[4];
    int32_t entryTimer;    // frames of the name entry
    int32_t rankingTimer;  // 0..719, frames of the view's swing
};
extern RankingState gRanking;

extern const char NameAlphabet[];

// Files score and stageNumber; the next scene is the name entry (9) or the title (0).
void InsertRanking();
// Scene 9, one frame.
void NameEntry();
// Scene 2, one frame.
void RankingView();
