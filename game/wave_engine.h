// The wave engine: the stage table, the start and update of the current wave's formation by
// its id, the end of a wave and the goal after a stage's last one, and the grid of pattern rows
// that formations turn into objects.
#pragma once

#include <cstdint>

constexpr int32_t kStages = 7;
constexpr int32_t kWavesPerStageMax = 10;
constexpr int32_t kWaveIds = 70;
constexpr int32_t kGridRows = 32;
constexpr int32_t kGridColumns = 48;
constexpr int32_t kAnchors = 6;

// Wave ids by stage (row 0 is stage 1) and wave index; every id 0..69 stands once.
extern const int32_t StageTable[kStages][kWavesPerStageMax];
extern const int32_t wavesPerStage[kStages];

struct WaveEngine {
    int32_t stageNumber;  // 1..7 in play, 8 after the last stage
    int32_t waveIndex;    // the current wave's place in its stage's row
    int32_t waveActive;   // 1 from a wave's start to its end
    int32_t currentWaveId;
    // Pattern rows written by formations as NUL-terminated strings, read by PlaceGridBlocks.
    char FormationGrid[kGridRows][kGridColumns];
    // Scratch shared by all formations: centres, reference points, angles. Never reset here.
    double waveAnchorX[kAnchors], waveAnchorY[kAnchors], waveAnchorAux[kAnchors];
};
extern WaveEngine gWaves;

// Called by the play field every frame, update first: the next wave starts in the frame in
// which the last one ended.
void UpdateWave();
void StartWave();
// Called by a formation in update mode when its wave is over.
void EndWave();
// Makes each '1' of grid rows 0..rows-1, columns 0..cols-1 the next slot from slot 0, alive at
// (x0 + 16 + 32 column, y0 + 16 + 32 row); sets nothing but state, x and y. Returns the count.
int32_t PlaceGridBlocks(int32_t rows, int32_t x0, int32_t y0, int32_t cols);
