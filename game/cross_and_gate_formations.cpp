// Arms of balls turning about pivots between walls: two crosses that never stop (ids 1-4) and
// six turnstiles that swing a quarter turn when the player comes near (id 6).
#include <cmath>

#include "formations.h"
#include "game_sounds.h"
#include "play_field.h"
#include "wave_engine.h"

namespace {

constexpr int32_t kCrosses = 2;
constexpr int32_t kCrossSlots = 13;  // the centre and four arms of three balls
constexpr double kCrossArmDistances[3] = {32, 64, 96};

constexpr int32_t kGates = 6;
constexpr int32_t kGateSlots = 5;  // the pivot and two arms of two balls
constexpr double kGateArmDistances[2] = {32, 64};
enum GateState : int32_t { kGateIdle = 0, kGateTurning = 1, kGateDone = 2 };

struct GateData {
    double pivotX, pivotY;
    double angle;
    double step;                // degrees per frame while turning
    double triggerX, triggerY;  // offset from the pivot of the point the player must near
};
constexpr GateData kGateData[kGates] = {
    {464, -304, 270, +0.5, -32, -32}, {272, -304, 90, -0.5, 32, 32},
    {176, -208, 270, -0.5, -32, -32}, {400, -208, 90, -0.5, 32, 32},
    {272, -112, 180, -0.5, -32, 32},  {80, -16, 0, +0.5, 32, -32},
};

struct CrossState {
    int32_t firstBall;  // the first cross's centre slot, after the blocks
};
CrossState gCross;

struct GateFormationState {
    int32_t blocks;
    int32_t state[kGates];
    double startAngle[kGates];
    int32_t phase;  // 0 falling fast, 1 creeping past the player, 2 leaving fast
};
GateFormationState gGate;

}  // namespace

void TwinCrossFormation(int32_t mode, int32_t first, int32_t second) {
    if (mode == kFormationStart) {
        const char* const rows[9] = {
            "111111111111100", "000000000000000", "000000000000000",
            "000000010000000", "000000010000000", "000000010000000",
            "000000010000000", "000000010000000", "001111111111111",
        };
        WriteGridRows(rows, 9);
        int32_t n = PlaceGridBlocks(9, 0, -288, 15);
        SetSlotLooks(0, n, 0, kShapeBox);
        for (int32_t i = n; i < n + kCrosses * kCrossSlots; ++i)
            PlaceObject(i, 0, -32, 1, kShapeBall);
        ObjectPool.usedCount = n + kCrosses * kCrossSlots;
        gWaves.waveAnchorX[0] = 112;
        gWaves.waveAnchorX[1] = 368;
        for (int32_t k = 0; k < kCrosses; ++k) {
            gWaves.waveAnchorY[k] = -144;
            gWaves.waveAnchorAux[k] = 0;
        }
        gCross.firstBall = n;
        return;
    }
    const int32_t speeds[kCrosses] = {first, second};
    MoveSlotsDown(0, gCross.firstBall, 0.5);
    for (int32_t k = 0; k < kCrosses; ++k) {
        double centreX = gWaves.waveAnchorX[k];
        double& centreY = gWaves.waveAnchorY[k];
        double& angle = gWaves.waveAnchorAux[k];
        centreY += 0.5;
        int32_t centre = gCross.firstBall + kCrossSlots * k;
        ObjectPool.x[centre] = centreX;
        ObjectPool.y[centre] = centreY;
        angle += speeds[k];
        for (int32_t m = 0; m < 4; ++m) {
            for (int32_t j = 0; j < 3; ++j) {
                PlaceAtAngle(centre + 1 + 3 * m + j, centreX, centreY, 90 * m + angle,
                             kCrossArmDistances[j]);
            }
        }
    }
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}

void TurnGateFormation(int32_t mode, int32_t, int32_t) {
    if (mode == kFormationStart) {
        const char* const rows[10] = {
            "111111110001000", "000000000001000", "000000000001000", "001000001001000",
            "001000001000000", "001000001000000", "001001000001100", "000000000000000",
            "000000000000000", "000001111111111",
        };
        WriteGridRows(rows, 10);
        int32_t n = PlaceGridBlocks(10, 0, -320, 15);
        SetSlotLooks(0, n, 0, kShapeBox);
        for (int32_t k = 0; k < kGates; ++k) {
            int32_t sprite = k == 0 || k == kGates - 1 ? 1 : 2;
            for (int32_t s = 0; s < kGateSlots; ++s) {
                PlaceObject(n + kGateSlots * k + s, 0, -32, sprite, kShapeBall);
            }
            gWaves.waveAnchorX[k] = kGateData[k].pivotX;
            gWaves.waveAnchorY[k] = kGateData[k].pivotY;
            gWaves.waveAnchorAux[k] = kGateData[k].angle;
            gGate.state[k] = kGateIdle;
        }
        ObjectPool.usedCount = n + kGates * kGateSlots;
        gGate.blocks = n;
        gGate.phase = 0;
        return;
    }
    double fall = gGate.phase == 1 ? 0.25 : 2.0;
    MoveSlotsDown(0, gGate.blocks, fall);
    const PlayField& player = gPlayField;
    for (int32_t k = 0; k < kGates; ++k) {
        double pivotX = gWaves.waveAnchorX[k];
        double& pivotY = gWaves.waveAnchorY[k];
        double& angle = gWaves.waveAnchorAux[k];
        pivotY += fall;
        int32_t pivot = gGate.blocks + kGateSlots * k;
        ObjectPool.x[pivot] = pivotX;
        ObjectPool.y[pivot] = pivotY;
        for (int32_t m = 0; m < 2; ++m) {
            for (int32_t j = 0; j < 2; ++j) {
                PlaceAtAngle(pivot + 1 + 2 * m + j, pivotX, pivotY, angle - 90 * m,
                             kGateArmDistances[j]);
            }
        }
        const GateData& gate = kGateData[k];
        switch (gGate.state[k]) {
            case kGateIdle:
                if (player.playerState != kPlayerExploding &&
                    std::fabs(pivotX + gate.triggerX - player.playerX) <= 32 &&
                    std::fabs(pivotY + gate.triggerY - player.playerY) <= 32) {
                    gGate.startAngle[k] = angle;
                    SoundRequest[kEffectMechanism] = 1;
                    gGate.state[k] = kGateTurning;
                }
                break;
            case kGateTurning:
                angle += gate.step;
                if (std::fabs(angle - gGate.startAngle[k]) == 90) gGate.state[k] = kGateDone;
                break;
            default:
                break;
        }
    }
    if (gGate.phase == 0 && ObjectPool.y[0] >= -80) gGate.phase = 1;
    if (gGate.phase == 1 && ObjectPool.y[0] >= 336) gGate.phase = 2;
    if (ObjectPool.y[0] >= 560) EndWave();
}
