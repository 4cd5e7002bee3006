// Id 7: a block body carried by a two-jointed arm from a shoulder that sinks beside a falling
// column, swinging and lunging at the player's side of the field, with two legs of balls.
#include <cmath>

#include "formations.h"
#include "game_sounds.h"
#include "play_field.h"
#include "wave_engine.h"

namespace {

constexpr int32_t kBodyBlocks = 24;
constexpr int32_t kFigureSlots = 34;  // shoulders, joints, arm and leg segments
constexpr int32_t kColumnBlocks = 48;
constexpr double kBodyStartX = 112;
constexpr double kBodyStartY = -64;
constexpr double kShoulderX = 432;
constexpr double kColumnStopY = 464;

// Slots of the figure, counted from the first slot after the body.
enum FigureSlot : int32_t {
    kUpperShoulder = 0,
    kUpperJoint = 3,
    kUpperArmMiddle = 6,
    kUpperArmTip = 9,
    kLowerShoulder = 10,
    kLowerJoint = 13,
    kLowerArmMiddle = 16,
    kFrontHip = 20,
    kFrontKnee = 23,
    kBackHip = 27,
    kBackKnee = 30,
    kColumn = 34,
};

struct JointedArmState {
    double offsetX[kBodyBlocks], offsetY[kBodyBlocks];  // from the body point
    double t1, t2, t3;                                  // arm angle and the two leg angles, degrees
    int32_t phase;      // 0 column falls, 1 swing and lunge, 2 column leaves
    int32_t swingStep;  // 0 arm closes, 1 arm opens, 2 lunge
    double lungeSpeed;
};
JointedArmState gArm;

void RebuildFigure() {
    const int32_t n = kBodyBlocks;
    double& shoulderX = gWaves.waveAnchorX[0];
    double& shoulderY = gWaves.waveAnchorY[0];
    double& bodyX = gWaves.waveAnchorX[1];
    double& bodyY = gWaves.waveAnchorY[1];
    double* x = ObjectPool.x;
    double* y = ObjectPool.y;
    double tipX, tipY;

    for (int32_t i = 0; i < 3; ++i) {
        x[n + kUpperShoulder + i] = shoulderX;
        y[n + kUpperShoulder + i] = shoulderY + 32 * i;
    }
    x[n + kUpperJoint] = x[n + kUpperShoulder] - 32;
    y[n + kUpperJoint] = y[n + kUpperShoulder];
    PlaceArmSegment(n + kUpperJoint, gArm.t1 + 90, &tipX, &tipY);
    PlaceArmSegment(n + kUpperArmMiddle, -90 - gArm.t1, &tipX, &tipY);
    bodyX = x[n + kUpperArmTip] - 128;
    bodyY = y[n + kUpperArmTip] - 48;
    for (int32_t i = 0; i < kBodyBlocks; ++i) {
        x[i] = bodyX + gArm.offsetX[i];
        y[i] = bodyY + gArm.offsetY[i];
    }

    for (int32_t i = 0; i < 3; ++i) {
        x[n + kLowerShoulder + i] = shoulderX;
        y[n + kLowerShoulder + i] = shoulderY - 96 - 32 * i;
    }
    x[n + kLowerJoint] = x[n + kLowerShoulder] - 32;
    y[n + kLowerJoint] = y[n + kLowerShoulder];
    PlaceArmSegment(n + kLowerJoint, -90 - gArm.t1, &tipX, &tipY);
    PlaceArmSegment(n + kLowerArmMiddle, gArm.t1 + 90, &tipX, &tipY);

    x[n + kFrontHip] = bodyX - 32;
    y[n + kFrontHip] = bodyY + 80;
    PlaceArmSegment(n + kFrontHip, gArm.t2 + 90, &tipX, &tipY);
    PlaceArmSegment(n + kFrontKnee, gArm.t3 + 90, &tipX, &tipY);
    x[n + kBackHip] = bodyX - 32;
    y[n + kBackHip] = bodyY - 80;
    PlaceArmSegment(n + kBackHip, -90 - gArm.t2, &tipX, &tipY);
    PlaceArmSegment(n + kBackKnee, -90 - gArm.t3, &tipX, &tipY);
}

void Swing() {
    double& shoulderX = gWaves.waveAnchorX[0];
    switch (gArm.swingStep) {
        case 0:
            gArm.t1 -= 0.5;
            gArm.t2 -= 0.5;
            gArm.t3 += 0.5;
            if (gArm.t1 == 45) gArm.swingStep = 1;
            break;
        case 1:
            gArm.t1 += 0.5;
            gArm.t2 += 0.5;
            gArm.t3 -= 0.5;
            if (gArm.t1 == 70) {
                gArm.swingStep = 2;
                gArm.lungeSpeed = -8;
            }
            break;
        default:
            shoulderX += gArm.lungeSpeed;
            gArm.lungeSpeed += 0.25;
            if (shoulderX == kShoulderX) {
                SoundRequest[kEffectThud] = 1;
                gArm.swingStep = 0;
            }
            break;
    }
}

bool FigureBelowField() {
    for (int32_t i = 0; i < kBodyBlocks + kFigureSlots; ++i) {
        if (ObjectPool.y[i] < kBelowField) return false;
    }
    return true;
}

}  // namespace

void PlaceArmSegment(int32_t base, double degrees, double* tipX, double* tipY) {
    for (int32_t j = 1; j <= 3; ++j) {
        PlaceAtAngle(base + j, ObjectPool.x[base], ObjectPool.y[base], degrees, 32 * j);
    }
    *tipX = ObjectPool.x[base + 3];
    *tipY = ObjectPool.y[base + 3];
}

void JointedArmFormation(int32_t mode, int32_t, int32_t) {
    const int32_t n = kBodyBlocks;
    const int32_t column = n + kColumn;
    if (mode == kFormationStart) {
        const char* const rows[4] = {"0011111", "1111111", "1111111", "0011111"};
        WriteGridRows(rows, 4);
        PlaceGridBlocks(4, 0, -128, 7);
        SetSlotLooks(0, n, 2, kShapeBox);
        for (int32_t i = 0; i < n; ++i) {
            gArm.offsetX[i] = ObjectPool.x[i] - kBodyStartX;
            gArm.offsetY[i] = ObjectPool.y[i] - kBodyStartY;
        }
        for (int32_t i = 0; i < kFigureSlots; ++i) {
            bool shoulderBlock = i < kUpperJoint || (i >= kLowerShoulder && i < kLowerJoint);
            PlaceObject(n + i, 0, -32, shoulderBlock ? 2 : 1,
                        shoulderBlock ? kShapeBox : kShapeBall);
        }
        for (int32_t j = 0; j < kColumnBlocks; ++j)
            PlaceObject(column + j, 464, -16 - 32 * j, 0, kShapeBox);
        ObjectPool.usedCount = column + kColumnBlocks;
        gWaves.waveAnchorX[0] = kShoulderX;
        gWaves.waveAnchorY[0] = -176;
        gArm.t1 = 70;
        gArm.t2 = 25;
        gArm.t3 = 80;
        gArm.phase = 0;
        return;
    }
    RebuildFigure();
    switch (gArm.phase) {
        case 0:
            MoveSlotsDown(column, kColumnBlocks, 2.0);
            if (ObjectPool.y[column] == kColumnStopY) {
                gArm.phase = 1;
                gArm.swingStep = 0;
            }
            break;
        case 1:
            Swing();
            gWaves.waveAnchorY[0] += 0.5;
            MoveSlotsDown(column, kColumnBlocks, 0.5);
            if (FigureBelowField()) gArm.phase = 2;
            break;
        default:
            MoveSlotsDown(column, kColumnBlocks, 2.0);
            if (ObjectPool.y[column + kColumnBlocks - 1] >= kBelowField) EndWave();
            break;
    }
}
