// Lines of objects that wind down the field: three sine snakes running down a swaying corridor
// of recycled wall blocks (id 42), and a line of balls turning at each edge (id 49).
#include <orbek/orbek.h>

#include <cmath>

#include "formations.h"
#include "game_sounds.h"
#include "play_field.h"
#include "wave_engine.h"

namespace {

constexpr int32_t kWallSlots = 40;  // wall blocks are recycled within slots 0..39
constexpr int32_t kSnakeFirst = 40;
constexpr int32_t kSnakeBalls = 16;
constexpr int32_t kSnakePasses = 3;
constexpr int32_t kSnakeWaitUpdates = 64;
constexpr int32_t kWallPairEvery = 16;
constexpr int32_t kNarrowSide = -112;
constexpr double kSnakeSpeed = 3.0;
constexpr double kSnakeWave = 0.039269908175;  // 2 pi / 160
constexpr double kSnakeWidth = 80;
constexpr double kCorridorLeftX = 128;
constexpr double kCorridorRightX = 352;

struct SnakeCorridorState {
    int32_t side[kWallSlots];  // 0 left, 1 right
    int32_t left, right;       // wall offsets from the corridor's centre
    int32_t phase;             // 0 narrowing, 1 snakes, 2 no more walls
    int32_t snakeStep;         // 0 waiting, 1 running
    int32_t wait;
    int32_t passes;
    double snakePhase;  // the snake's shift along its sine
    double drift;       // the corridor's sway per update
    int32_t frameCounter;
};
SnakeCorridorState gSnakeCorridor;

constexpr int32_t kWindingBalls = 64;
constexpr int32_t kTurnUpdates = 31;
constexpr double kTurnStep = 5.806451612903226;  // 180 / 31 degrees
constexpr double kTurnRadius = 40;
constexpr double kRightTurnX = 424;
constexpr double kLeftTurnX = 56;

enum WindingMode : int32_t { kRunRight = 0, kTurnRight = 1, kRunLeft = 2, kTurnLeft = 3 };

struct WindingSnakeState {
    int32_t mode[kWindingBalls];
    int32_t counter[kWindingBalls];
    int32_t turnX[kWindingBalls], turnY[kWindingBalls];
};
WindingSnakeState gWinding;

double CorridorX(int32_t side) {
    const SnakeCorridorState& s = gSnakeCorridor;
    return gWaves.waveAnchorX[0] + (side == 0 ? s.left : s.right);
}

// A new wall block on `side` in the first free wall slot, if any.
void EnterWallBlock(int32_t side) {
    for (int32_t i = 0; i < kWallSlots; ++i) {
        if (ObjectPool.state[i] != kObjectFree) continue;
        PlaceObject(i, CorridorX(side), -16, 0, kShapeBox);
        gSnakeCorridor.side[i] = side;
        return;
    }
}

void RunSnake() {
    SnakeCorridorState& s = gSnakeCorridor;
    if (s.snakeStep == 0) {
        if (++s.wait == kSnakeWaitUpdates) {
            for (int32_t k = 0; k < kSnakeBalls; ++k) {
                ObjectPool.state[kSnakeFirst + k] = kObjectAlive;
                ObjectPool.x[kSnakeFirst + k] = 16;
                ObjectPool.y[kSnakeFirst + k] = -16 - 32 * k;
            }
            s.snakePhase = RandomUpTo(4) * 32;
            SoundRequest[kEffectLaser] = 1;
            s.snakeStep = 1;
        }
        return;
    }
    const double centre = gWaves.waveAnchorX[0];
    for (int32_t k = kSnakeFirst; k < kSnakeFirst + kSnakeBalls; ++k) {
        ObjectPool.y[k] += kSnakeSpeed;
        ObjectPool.x[k] =
            std::sin((ObjectPool.y[k] - s.snakePhase) * kSnakeWave) * kSnakeWidth + centre;
    }
    if (ObjectPool.y[kSnakeFirst + kSnakeBalls - 1] >= kBelowField) {
        for (int32_t k = kSnakeFirst; k < kSnakeFirst + kSnakeBalls; ++k) {
            ObjectPool.state[k] = kObjectFree;
        }
        s.passes += 1;
        if (s.passes < kSnakePasses) {
            s.snakeStep = 0;
            s.wait = 0;
        } else {
            s.phase = 2;
        }
    }
}

// One ball's turn: a half circle about its turn centre, then on along the next run.
void TurnBall(int32_t i, double degrees, int32_t nextMode) {
    WindingSnakeState& w = gWinding;
    ObjectPool.x[i] = std::cos(degrees * kDegreesToRadians) * kTurnRadius + w.turnX[i];
    ObjectPool.y[i] = std::sin(degrees * kDegreesToRadians) * kTurnRadius + w.turnY[i];
    if (w.counter[i] == kTurnUpdates) {
        ObjectPool.x[i] = w.turnX[i];
        ObjectPool.y[i] = w.turnY[i] + kTurnRadius;
        w.mode[i] = nextMode;
    }
}

// A ball that reached the end of its run starts turning about the point 40 below it.
void BeginTurn(int32_t i, int32_t turnMode) {
    WindingSnakeState& w = gWinding;
    w.mode[i] = turnMode;
    w.counter[i] = 0;
    w.turnX[i] = static_cast<int32_t>(ObjectPool.x[i]);
    w.turnY[i] = static_cast<int32_t>(ObjectPool.y[i]) + 40;
}

}  // namespace

void SnakeCorridorFormation(int32_t mode, int32_t, int32_t) {
    SnakeCorridorState& s = gSnakeCorridor;
    double& centre = gWaves.waveAnchorX[0];
    if (mode == kFormationStart) {
        centre = 240;
        s.left = -256;
        s.right = 256;
        for (int32_t r = 0; r < 16; ++r) {
            for (int32_t side = 0; side < 2; ++side) {
                PlaceObject(2 * r + side, CorridorX(side), -16 + 32 * r, 0, kShapeBox);
                s.side[2 * r + side] = side;
            }
        }
        ObjectPool.usedCount = kSnakeFirst + kSnakeBalls;
        for (int32_t i = 32; i < ObjectPool.usedCount; ++i) ObjectPool.state[i] = kObjectFree;
        SetSlotLooks(kSnakeFirst, kSnakeBalls, 1, kShapeBox);
        s.frameCounter = 0;
        s.phase = 0;
        return;
    }
    if (s.phase == 0) {
        s.right -= 1;
        s.left += 1;
        if (s.left == kNarrowSide) {
            s.phase = 1;
            s.drift = 0.25;
            s.snakeStep = 0;
            s.wait = 0;
            s.passes = 0;
        }
    } else if (s.phase == 1) {
        RunSnake();
    }
    if (s.phase != 0) {
        centre += s.drift;
        if (centre == kCorridorRightX || centre == kCorridorLeftX) s.drift = -s.drift;
    }
    bool wallLeft = false;
    for (int32_t i = 0; i < kWallSlots; ++i) {
        if (ObjectPool.state[i] == kObjectFree) continue;
        ObjectPool.x[i] = CorridorX(s.side[i]);
        ObjectPool.y[i] += 2.0;
        if (ObjectPool.y[i] >= kBelowField) ObjectPool.state[i] = kObjectFree;
        if (ObjectPool.state[i] != kObjectFree) wallLeft = true;
    }
    s.frameCounter += 1;
    if (s.phase != 2 && s.frameCounter % kWallPairEvery == 0) {
        EnterWallBlock(0);
        EnterWallBlock(1);
    }
    if (!wallLeft) EndWave();
}

void WindingSnakeFormation(int32_t mode, int32_t, int32_t) {
    WindingSnakeState& w = gWinding;
    if (mode == kFormationStart) {
        for (int32_t i = 0; i < kWindingBalls; ++i) {
            PlaceObject(i, 420 - 32 * i, -16, 1, kShapeBall);
            w.mode[i] = kRunRight;
        }
        ObjectPool.usedCount = kWindingBalls;
        return;
    }
    // Every ball moves, whatever its state, so the line keeps its spacing.
    for (int32_t i = 0; i < kWindingBalls; ++i) {
        switch (w.mode[i]) {
            case kRunRight:
                ObjectPool.x[i] += 4.0;
                if (ObjectPool.x[i] == kRightTurnX) BeginTurn(i, kTurnRight);
                break;
            case kTurnRight:
                w.counter[i] += 1;
                TurnBall(i, kTurnStep * w.counter[i] - 90, kRunLeft);
                break;
            case kRunLeft:
                ObjectPool.x[i] -= 4.0;
                if (ObjectPool.x[i] == kLeftTurnX) BeginTurn(i, kTurnLeft);
                break;
            default:
                w.counter[i] += 1;
                TurnBall(i, -90 - kTurnStep * w.counter[i], kRunRight);
                break;
        }
    }
    if (ObjectPool.y[kWindingBalls - 1] >= kBelowField) EndWave();
}
