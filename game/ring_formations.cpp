// Rings that turn while they sink: the circle of blocks (id 0) and the wheel of balls in a
// round hole cut through two walls (id 8).
#include <cmath>

#include "formations.h"
#include "play_field.h"
#include "wave_engine.h"

namespace {

constexpr int32_t kCircleBlocks = 16;
constexpr double kCircleRadius = 224;
constexpr double kCircleEndY = 720;

constexpr int32_t kWheelRings = 4;
constexpr int32_t kWheelRingBalls = 55;  // the centre and the four rings
constexpr int32_t kWheelSpokeBalls = 32;
constexpr int32_t kWheelFirstWall = kWheelRingBalls + kWheelSpokeBalls;
constexpr double kWheelHoleRadius = 224;
constexpr double kWheelEndY = 688;
// A quarter and three quarters of a spoke's 25.78... degree spacing.
constexpr double kSpokeNearDegrees = 6.445775194380118;
constexpr double kSpokeFarDegrees = 19.337325583140352;

struct WheelState {
    int32_t ringBalls[kWheelRings + 1];  // balls per ring, ring 0 the centre
    int32_t wallCount;
};
WheelState gWheel;

void PlaceWallRow(int32_t* slot, double y, double x, double step) {
    for (; x > -16 && x < kBelowField; x += step) PlaceObject((*slot)++, x, y, 0, kShapeBall);
}

}  // namespace

void CircleFormation(int32_t mode, int32_t, int32_t) {
    double& centreX = gWaves.waveAnchorX[0];
    double& centreY = gWaves.waveAnchorY[0];
    double& angle = gWaves.waveAnchorAux[0];
    if (mode == kFormationStart) {
        ObjectPool.usedCount = kCircleBlocks;
        centreX = 240;
        centreY = -240;
        angle = 0;
        for (int32_t i = 0; i < kCircleBlocks; ++i) PlaceObject(i, 0, -16, 0, kShapeBox);
        return;
    }
    centreY += 1.0;
    angle += 1.0;
    for (int32_t i = 0; i < kCircleBlocks; ++i) {
        PlaceAtAngle(i, centreX, centreY, 22.5 * i + angle, kCircleRadius);
    }
    if (centreY >= kCircleEndY) EndWave();
}

void WheelFormation(int32_t mode, int32_t, int32_t) {
    double& centreX = gWaves.waveAnchorX[0];
    double& centreY = gWaves.waveAnchorY[0];
    double& angle = gWaves.waveAnchorAux[0];
    if (mode == kFormationStart) {
        gWheel.ringBalls[0] = 1;
        for (int32_t k = 1; k <= kWheelRings; ++k) {
            gWheel.ringBalls[k] = static_cast<int32_t>(64 * k * kPi / 36);
        }
        for (int32_t i = 0; i < kWheelFirstWall; ++i) {
            PlaceObject(i, 0, -32, i < kWheelRingBalls ? 1 : 2, kShapeBall);
        }
        centreX = 240;
        centreY = -208;
        angle = 0;
        // Walls left and right of the hole, row by row; none where the hole meets the edge.
        int32_t slot = kWheelFirstWall;
        for (int32_t m = -5; m <= 5; ++m) {
            double y = centreY + 32 * m;
            double w = kWheelHoleRadius * std::cos(std::asin(32.0 * m / kWheelHoleRadius));
            if (centreX + w < kBelowField) PlaceWallRow(&slot, y, centreX + w, 32);
            if (centreX - w > -16) PlaceWallRow(&slot, y, centreX - w, -32);
        }
        gWheel.wallCount = slot - kWheelFirstWall;
        ObjectPool.usedCount = slot;
        return;
    }
    angle -= 0.75;
    centreY += 1.0;
    MoveSlotsDown(kWheelFirstWall, gWheel.wallCount, 1.0);
    ObjectPool.x[0] = centreX;
    ObjectPool.y[0] = centreY;
    int32_t slot = 1;
    for (int32_t k = 1; k <= kWheelRings; ++k) {
        int32_t count = gWheel.ringBalls[k];
        for (int32_t j = 0; j < count; ++j, ++slot) {
            double a = j * (kTwoPi / count) + angle * kDegreesToRadians;
            ObjectPool.x[slot] = centreX + std::cos(a) * (32 * k);
            ObjectPool.y[slot] = centreY + std::sin(a) * (32 * k);
        }
    }
    const double spokeRadii[2] = {160, 192};
    for (double radius : spokeRadii) {
        for (int32_t p = 0; p < 8; ++p) {
            PlaceAtAngle(slot++, centreX, centreY, 45 * p + angle + kSpokeNearDegrees, radius);
            PlaceAtAngle(slot++, centreX, centreY, 45 * p + angle + kSpokeFarDegrees, radius);
        }
    }
    if (centreY >= kWheelEndY) EndWave();
}
