// Starting, updating and ending waves, and the grid of pattern rows.
#include "wave_engine.h"

#include <algorithm>

#include "formations.h"
#include "play_field.h"

const int32_t StageTable[kStages][kWavesPerStageMax] = {
    {40, 49, 43, 52, 8, 36, 0, 19, 1, 7},     {37, 2, 6, 21, 35, 41, 24, 25, 26, 9},
    {23, 14, 15, 16, 17, 18, 10, 3, 22, 11},  {5, 28, 20, 13, 4, 29, 31, 32, 33, 34},
    {30, 38, 39, 42, 27, 45, 46, 47, 48, 50}, {44, 51, 53, 54, 57, 55, 56, 58, 59, 12},
    {60, 62, 61, 63, 67, 65, 68, 66, 69, 64},
};
const int32_t wavesPerStage[kStages] = {10, 10, 10, 10, 10, 10, 10};

WaveEngine gWaves;

namespace {

constexpr int32_t kGoalStartY = -64;

bool InPlayableStage() {
    return gWaves.stageNumber >= 1 && gWaves.stageNumber <= kStages;
}

void RunFormation(int32_t mode) {
    int32_t id = gWaves.currentWaveId;
    if (id < 0 || id >= kWaveIds) return;
    const WaveFormation& formation = kWaveFormations[id];
    if (mode == kFormationStart) {
        formation.operation(mode, formation.startFirst, formation.startSecond);
    } else {
        formation.operation(mode, formation.updateFirst, formation.updateSecond);
    }
}

}  // namespace

void StartWave() {
    if (gWaves.waveActive != 0 || gPlayField.goalActive != 0 || !InPlayableStage()) return;
    int32_t index = gWaves.waveIndex;
    if (index < 0 || index >= kWavesPerStageMax) return;
    gWaves.waveActive = 1;
    gWaves.currentWaveId = StageTable[gWaves.stageNumber - 1][index];
    RunFormation(kFormationStart);
}

void UpdateWave() {
    if (gWaves.waveActive == 1) RunFormation(kFormationUpdate);
}

void EndWave() {
    gWaves.waveIndex += 1;
    gWaves.waveActive = 0;
    if (InPlayableStage() && gWaves.waveIndex == wavesPerStage[gWaves.stageNumber - 1]) {
        gPlayField.goalActive = 1;
        gPlayField.goalY = kGoalStartY;
        gPlayField.goalSlowCounter = 0;
    }
}

int32_t PlaceGridBlocks(int32_t rows, int32_t x0, int32_t y0, int32_t cols) {
    rows = std::min(rows, kGridRows);
    cols = std::min(cols, kGridColumns);
    int32_t k = 0;
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < cols && k < kPoolSlots; ++c) {
            if (gWaves.FormationGrid[r][c] != '1') continue;
            ObjectPool.state[k] = kObjectAlive;
            ObjectPool.x[k] = x0 + 16 + 32 * c;
            ObjectPool.y[k] = y0 + 16 + 32 * r;
            k += 1;
        }
    }
    return k;
}
