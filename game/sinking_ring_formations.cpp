// Formations placed every frame by angle and distance about a centre that sinks: a disc with a
// slit that rocks (id 19), four open rings turning in four rooms (id 28), three rings that
// burst outwards (id 29), two counter-turning rings that widen (id 30), a swinging bell
// (id 33), a block that swells and shrinks (id 35) and a frame that turns and pulses (id 37).
#include <cmath>
#include <iterator>

#include "formations.h"
#include "game_sounds.h"
#include "play_field.h"
#include "wave_engine.h"

namespace {

constexpr double kRockLimit = 15;
constexpr double kRockSpeed = 0.2;

constexpr int32_t kArcs = 4;
constexpr int32_t kArcBalls = 13;
constexpr double kArcRadius = 80;
constexpr double kArcBallSpacing = 24.270422049439897;  // degrees
constexpr double kArcFirstBall = 34.37746770336062;     // leaves 68.75 degrees open

constexpr int32_t kBurstRings = 3;
constexpr int32_t kBurstRingBalls = 16;
constexpr double kBurstCentreY = 176;
constexpr double kBurstSpeed = 4;

constexpr int32_t kWideningRingBalls = 10;
constexpr double kWideningStartRadius = 54.112680644178766;
constexpr double kWideningStartY = -102.11268064417877;

constexpr int32_t kBellArcPoints = 6;
constexpr int32_t kBellChordPoints = 6;
constexpr int32_t kBellStemPoints = 4;
constexpr int32_t kBellBalls = kBellArcPoints + kBellChordPoints + kBellStemPoints;
constexpr int32_t kBellPivot = kBellBalls - 1;
constexpr int32_t kBellRowBlocks = 13;
constexpr double kBellRadius = 120;
constexpr double kBellSwing = 55;  // degrees each way

constexpr double kBreathEndY = 688;

struct RockingDiscState {
    int32_t baseX[kPoolSlots], baseY[kPoolSlots];
    double speed;
};
RockingDiscState gRock;

struct TurningArcState {
    int32_t frameBlocks;
};
TurningArcState gArcs;

struct BurstRingState {
    double ballAngle[kBurstRings * kBurstRingBalls];  // degrees
    int32_t phase;                                    // 0 turning, 1 burst
};
BurstRingState gBurst;

struct WideningRingState {
    double baseRadius;
    int32_t phase;  // 0 sinking, 1 widening
};
WideningRingState gWidening;

struct PendulumState {
    double pointX[kBellBalls], pointY[kBellBalls];  // the bell hanging straight
};
PendulumState gBell;

struct BreathingBlockState {
    int32_t offsetX[kPoolSlots], offsetY[kPoolSlots];    // from the centre
    double distance[kPoolSlots], direction[kPoolSlots];  // radians
    int32_t phase;                                       // 0 swelling and shrinking, 1 resting
    int32_t counter;
};
BreathingBlockState gBreath;

struct PulsingFrameState {
    double distance[kPoolSlots], direction[kPoolSlots];  // degrees
    double turn;
    int32_t counter;
};
PulsingFrameState gPulse;

// The bell hanging straight from the centre: the arc, the chord 32 above its ends and the
// stem up to the pivot.
void BuildBell(double centreX, double centreY) {
    for (int32_t i = 0; i < kBellArcPoints; ++i) {
        double a = (45 + 18 * i) * kDegreesToRadians;
        gBell.pointX[i] = centreX + std::cos(a) * kBellRadius;
        gBell.pointY[i] = centreY + std::sin(a) * kBellRadius;
    }
    double rightX = gBell.pointX[0];
    double leftX = gBell.pointX[kBellArcPoints - 1];
    double chordY = gBell.pointY[0] - 32;
    for (int32_t k = 0; k < kBellChordPoints; ++k) {
        gBell.pointX[kBellArcPoints + k] = leftX + k * (rightX - leftX) / 5;
        gBell.pointY[kBellArcPoints + k] = chordY;
    }
    for (int32_t k = 0; k < kBellStemPoints; ++k) {
        gBell.pointX[kBellArcPoints + kBellChordPoints + k] = centreX;
        gBell.pointY[kBellArcPoints + kBellChordPoints + k] = chordY - 32 * (k + 1);
    }
}

}  // namespace

void RockingDiscFormation(int32_t mode, int32_t, int32_t) {
    double& centreY = gWaves.waveAnchorY[0];
    double& tilt = gWaves.waveAnchorAux[0];
    if (mode == kFormationStart) {
        const RowRun rows[] = {
            {"0001111001111000", 1}, {"0011111001111100", 2}, {"0111111001111110", 3},
            {"1111111001111111", 4}, {"0111111001111110", 3}, {"0011111001111100", 2},
            {"0001111001111000", 1},
        };
        int32_t n = PlacePattern(rows, std::size(rows), -16, -512, 0, kShapeBall);
        for (int32_t i = 0; i < n; ++i) {
            gRock.baseX[i] = static_cast<int32_t>(ObjectPool.x[i]);
            gRock.baseY[i] = static_cast<int32_t>(ObjectPool.y[i]);
        }
        ObjectPool.usedCount = n;
        gWaves.waveAnchorX[0] = 256;
        centreY = -256;
        tilt = 0;
        gRock.speed = kRockSpeed;
        return;
    }
    double centreX = gWaves.waveAnchorX[0];
    centreY += 1.0;
    tilt += gRock.speed;
    if (tilt >= kRockLimit || tilt <= -kRockLimit) {
        gRock.speed = -gRock.speed;
        SoundRequest[kEffectSlide] = 1;
    }
    double turn = tilt * kDegreesToRadians;
    for (int32_t i = 0; i < ObjectPool.usedCount; ++i) {
        gRock.baseY[i] += 1;
        PlaceTurnedOffset(i, centreX, centreY, gRock.baseX[i] - centreX, gRock.baseY[i] - centreY,
                          turn);
    }
    if (!AnyObjectAboveBottom(0, ObjectPool.usedCount)) EndWave();
}

void TurningArcFormation(int32_t mode, int32_t, int32_t) {
    const double turn[kArcs] = {-1.5, 1.5, -1.5, 1.5};
    if (mode == kFormationStart) {
        const RowRun rows[] = {
            {"111001111111111", 1}, {"100000010000001", 2}, {"100000000000001", 2},
            {"100000010000001", 2}, {"111111111100111", 1}, {"100000010000001", 2},
            {"100000000000001", 2}, {"100000010000001", 2}, {"111001111111111", 1},
        };
        int32_t n = PlacePattern(rows, std::size(rows), 0, -480, 0, kShapeBox);
        ParkObjects(n, kArcs * kArcBalls, 1, kShapeBall);
        ObjectPool.usedCount = n + kArcs * kArcBalls;
        const double centreX[kArcs] = {128, 352, 128, 352};
        const double centreY[kArcs] = {-352, -352, -128, -128};
        const double angle[kArcs] = {0, 180, 180, 0};
        for (int32_t k = 0; k < kArcs; ++k) {
            gWaves.waveAnchorX[k] = centreX[k];
            gWaves.waveAnchorY[k] = centreY[k];
            gWaves.waveAnchorAux[k] = angle[k];
        }
        gArcs.frameBlocks = n;
        return;
    }
    int32_t n = gArcs.frameBlocks;
    MoveSlotsDown(0, n, 0.5);
    for (int32_t k = 0; k < kArcs; ++k) {
        gWaves.waveAnchorY[k] += 0.5;
        gWaves.waveAnchorAux[k] += turn[k];
        for (int32_t j = 0; j < kArcBalls; ++j) {
            PlaceAtAngle(n + kArcBalls * k + j, gWaves.waveAnchorX[k], gWaves.waveAnchorY[k],
                         j * kArcBallSpacing + kArcFirstBall + gWaves.waveAnchorAux[k], kArcRadius);
        }
    }
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}

void BurstRingFormation(int32_t mode, int32_t, int32_t) {
    const int32_t balls = kBurstRings * kBurstRingBalls;
    double& centreY = gWaves.waveAnchorY[0];
    double& angle = gWaves.waveAnchorAux[0];
    if (mode == kFormationStart) {
        ObjectPool.usedCount = balls;
        ParkObjects(0, balls, 2, kShapeBall);
        gWaves.waveAnchorX[0] = 240;
        centreY = -176;
        angle = 90;
        gBurst.phase = 0;
        return;
    }
    if (gBurst.phase == 1) {
        for (int32_t i = 0; i < balls; ++i) {
            double a = gBurst.ballAngle[i] * kDegreesToRadians;
            ObjectPool.x[i] += kBurstSpeed * std::cos(a);
            ObjectPool.y[i] += kBurstSpeed * std::sin(a);
        }
        if (!AnyObjectInField(0, balls)) EndWave();
        return;
    }
    centreY += 1.0;
    angle += 2.0;
    for (int32_t k = 0; k < kBurstRings; ++k) {
        for (int32_t j = 0; j < kBurstRingBalls; ++j) {
            int32_t slot = kBurstRingBalls * k + j;
            gBurst.ballAngle[slot] = j * 22.5 + angle - 7.5 * k;
            PlaceAtAngle(slot, gWaves.waveAnchorX[0], centreY, gBurst.ballAngle[slot], 96 + 32 * k);
        }
    }
    if (centreY == kBurstCentreY) {
        gBurst.phase = 1;
        SoundRequest[kEffectRingBurst] = 1;
    }
}

void WideningRingFormation(int32_t mode, int32_t, int32_t) {
    const int32_t balls = 2 * kWideningRingBalls;
    double& centreY = gWaves.waveAnchorY[0];
    if (mode == kFormationStart) {
        ObjectPool.usedCount = balls;
        ParkObjects(0, balls, 1, kShapeBall);
        gWaves.waveAnchorX[0] = 240;
        centreY = kWideningStartY;
        gWaves.waveAnchorAux[0] = 0;
        gWaves.waveAnchorAux[1] = 0;
        gWidening.baseRadius = kWideningStartRadius;
        gWidening.phase = 0;
        return;
    }
    bool widening = gWidening.phase == 1;
    if (widening) {
        gWidening.baseRadius += 1.0;
    } else {
        centreY += 2.0;
        if (centreY >= 240) gWidening.phase = 1;
    }
    gWaves.waveAnchorAux[0] += 0.75;
    gWaves.waveAnchorAux[1] -= 0.75;
    for (int32_t ring = 0; ring < 2; ++ring) {
        for (int32_t j = 0; j < kWideningRingBalls; ++j) {
            PlaceAtAngle(kWideningRingBalls * ring + j, gWaves.waveAnchorX[0], centreY,
                         j * 36 + gWaves.waveAnchorAux[ring], gWidening.baseRadius + 32 * ring);
        }
    }
    // Whichever way the last ball leaves.
    if (widening && !AnyObjectInField(0, balls)) EndWave();
}

void PendulumFormation(int32_t mode, int32_t, int32_t) {
    const int32_t rowStart[2] = {kBellBalls, kBellBalls + kBellRowBlocks};
    double& centreY = gWaves.waveAnchorY[0];
    double& angle = gWaves.waveAnchorAux[0];
    if (mode == kFormationStart) {
        gWaves.waveAnchorX[0] = 240;
        centreY = -168;
        angle = 0;
        ParkObjects(0, kBellBalls, 1, kShapeBall);
        ParkObjects(rowStart[0], 2 * kBellRowBlocks, 0, kShapeBox);
        ObjectPool.usedCount = kBellBalls + 2 * kBellRowBlocks;
        return;
    }
    centreY += 0.5;
    angle += 1.0;
    if (static_cast<int64_t>(angle) % 180 == 0) SoundRequest[kEffectSwing] = 1;
    BuildBell(gWaves.waveAnchorX[0], centreY);
    double pivotX = gBell.pointX[kBellPivot];
    double pivotY = gBell.pointY[kBellPivot];
    double swing = std::sin(angle * kDegreesToRadians) * kBellSwing * kDegreesToRadians;
    for (int32_t i = 0; i < kBellBalls; ++i) {
        PlaceTurnedOffset(i, pivotX, pivotY, gBell.pointX[i] - pivotX, gBell.pointY[i] - pivotY,
                          swing);
    }
    for (int32_t k = 0; k < kBellRowBlocks; ++k) {
        ObjectPool.x[rowStart[0] + k] = 80 + 32 * k;
        ObjectPool.y[rowStart[0] + k] = pivotY - 32;
    }
    for (int32_t k = 0; k < kBellRowBlocks; ++k) {
        ObjectPool.x[rowStart[1] + k] = 32 * k;
        ObjectPool.y[rowStart[1] + k] = ObjectPool.y[rowStart[0]] + 260;
    }
    if (ObjectPool.y[rowStart[0]] >= kBelowField) EndWave();
}

void BreathingBlockFormation(int32_t mode, int32_t, int32_t) {
    double& centreX = gWaves.waveAnchorX[0];
    double& centreY = gWaves.waveAnchorY[0];
    if (mode == kFormationStart) {
        const RowRun rows[] = {{"111111111111111", 5}};
        int32_t n = PlacePattern(rows, 1, 0, -160, 2, kShapeBox);
        centreX = 240;
        centreY = -80;
        for (int32_t i = 0; i < n; ++i) {
            int32_t du = static_cast<int32_t>(ObjectPool.x[i] - 240);
            int32_t dv = static_cast<int32_t>(ObjectPool.y[i] + 80);
            gBreath.offsetX[i] = du;
            gBreath.offsetY[i] = dv;
            gBreath.distance[i] = std::sqrt(static_cast<double>(du * du + dv * dv));
            gBreath.direction[i] = std::atan2(dv, du);
        }
        ObjectPool.usedCount = n;
        gBreath.phase = 0;
        gBreath.counter = 0;
        SoundRequest[kEffectJump] = 1;
        return;
    }
    centreY += 1.0;
    if (gBreath.phase == 0) {
        double scale = 2 * std::sin(gBreath.counter * kDegreesToRadians) + 1;
        for (int32_t i = 0; i < ObjectPool.usedCount; ++i) {
            double r = gBreath.distance[i] * scale;
            ObjectPool.x[i] = centreX + std::cos(gBreath.direction[i]) * r;
            ObjectPool.y[i] = centreY + std::sin(gBreath.direction[i]) * r;
        }
        gBreath.counter += 2;
        if (gBreath.counter == 180) {
            gBreath.phase = 1;
            gBreath.counter = 0;
        }
    } else {
        for (int32_t i = 0; i < ObjectPool.usedCount; ++i) {
            ObjectPool.x[i] = centreX + gBreath.offsetX[i];
            ObjectPool.y[i] = centreY + gBreath.offsetY[i];
        }
        if (++gBreath.counter == 64) {
            gBreath.phase = 0;
            gBreath.counter = 0;
            SoundRequest[kEffectJump] = 1;
        }
    }
    if (centreY >= kBreathEndY) EndWave();
}

void PulsingFrameFormation(int32_t mode, int32_t, int32_t) {
    double& centreX = gWaves.waveAnchorX[0];
    double& centreY = gWaves.waveAnchorY[0];
    if (mode == kFormationStart) {
        const RowRun rows[] = {
            {"000111111111000", 1}, {"000100000001000", 7}, {"000111111111000", 1}};
        int32_t n = PlacePattern(rows, 3, 0, -288, 0, kShapeBall);
        centreX = 240;
        centreY = -144;
        for (int32_t i = 0; i < n; ++i) {
            double du = ObjectPool.x[i] - centreX;
            double dv = ObjectPool.y[i] - centreY;
            gPulse.distance[i] = std::sqrt(du * du + dv * dv);
            gPulse.direction[i] = std::atan2(dv, du) / kTwoPi * 360;
        }
        ObjectPool.usedCount = n;
        gPulse.turn = 0;
        gPulse.counter = 0;
        SoundRequest[kEffectJump] = 1;
        return;
    }
    centreY += 1.0;
    gPulse.counter += 1;
    gPulse.turn += 0.5;
    double scale = 1.5 * std::fabs(std::sin(gPulse.counter * kDegreesToRadians)) + 1;
    for (int32_t i = 0; i < ObjectPool.usedCount; ++i) {
        PlaceAtAngle(i, centreX, centreY, gPulse.direction[i] + gPulse.turn,
                     gPulse.distance[i] * scale);
    }
    if (gPulse.counter % 180 == 0 && centreY < 624) SoundRequest[kEffectJump] = 1;
    // The frame's farthest corner, 144 x sqrt 2 out, swollen 1.5 times, is then below the field.
    if (centreY >= 144 * 1.5 * std::sqrt(2.0) + 480) EndWave();
}
