// Rows and lanes of blocks: rows that drop and stack from the floor (id 47), lanes crossing the
// field (id 55), a fast checkerboard (id 58), a ceiling with a slot above the player and bars
// sweeping below it (id 61), and rows with a zigzagging gap (id 65).
#include <orbek/orbek.h>

#include <cmath>

#include "formations.h"
#include "game_sounds.h"
#include "play_field.h"
#include "wave_engine.h"

namespace {

constexpr int32_t kStackRows = 8;
constexpr int32_t kStackColumns = 15;
constexpr int32_t kStackSlots = kStackRows * kStackColumns;
constexpr int32_t kLateGroup = 4;  // blocks of a row that fall from higher up
constexpr double kStackFallSpeed = 4.0;

struct StackingRowsState {
    int32_t landed[kStackSlots];
    int32_t row;    // the row falling now
    int32_t phase;  // 0 stacking, 1 leaving
};
StackingRowsState gStack;

constexpr int32_t kLanes = 6;
constexpr int32_t kLaneSlots = 64;
// Lanes 0-2 run rightwards, 3-5 leftwards; 0 and 3 rise, 2 and 5 sink as they go.
constexpr int32_t kLaneStep[kLanes] = {3, 2, 1, -3, -2, -1};
constexpr double kLaneEndY = 644;

struct ConveyorLanesState {
    int32_t lane[kLaneSlots];
    int32_t frameCounter;
};
ConveyorLanesState gLanes;

constexpr int32_t kCeilingRows = 5;
constexpr int32_t kCeilingColumns = 29;
constexpr int32_t kCeilingSlotColumn = 14;  // left open: the slot above the player
constexpr int32_t kCeilingSlots = kCeilingRows * (kCeilingColumns - 1);
constexpr int32_t kBars = 3;
constexpr int32_t kBarSlots = 32;
constexpr int32_t kArmBalls = 4;
constexpr double kCeilingStopY = 16;
constexpr double kCeilingCrashSpeed = 8.0;

struct GatedBarsState {
    int32_t baseX[kBars];  // where the bars' gaps sway about: the player's x at the start
    int32_t angle[kBars];  // degrees
    int32_t armAngle;      // degrees
    int32_t phase;         // 0 entering, 1 bars drop, 2 the ceiling crashes down
    int32_t counter;
};
GatedBarsState gGatedBars;

constexpr int32_t kGapRows = 20;
constexpr int32_t kGapRowBlocks = 15;

// Row `row` of the stack: in place across the field, a random group of four of them higher.
void OpenStackRow(int32_t row) {
    int32_t first = kStackColumns * row;
    for (int32_t k = 0; k < kStackColumns; ++k) ObjectPool.x[first + k] = 16 + 32 * k;
    int32_t late = RandomUpTo(5) + 4;
    for (int32_t k = late; k < late + kLateGroup; ++k) ObjectPool.y[first + k] = -112;
}

// The height of lane k at x, as its motion gives it.
double LaneY(int32_t k, double x) {
    const double* s = gWaves.waveAnchorX;
    const double* b = gWaves.waveAnchorY;
    switch (k) {
        case 0:
            return b[0] - (x - s[0]) * 0.25;
        case 2:
            return (x - s[2]) * 0.25 + b[2];
        case 3:
            return b[3] - (s[3] - x) * 0.25;
        case 5:
            return (s[5] - x) * 0.25 + b[5];
        default:
            return b[k];
    }
}

// A new object at the head of lane k in the first free slot; none when every slot is busy.
void EnterLane(int32_t k) {
    for (int32_t i = 0; i < kLaneSlots; ++i) {
        if (ObjectPool.state[i] != kObjectFree) continue;
        ObjectPool.state[i] = kObjectAlive;
        ObjectPool.x[i] = gWaves.waveAnchorX[k];
        ObjectPool.y[i] = gWaves.waveAnchorY[k];
        gLanes.lane[i] = k;
        return;
    }
}

}  // namespace

void StackingRowsFormation(int32_t mode, int32_t, int32_t) {
    double& floorY = gWaves.waveAnchorY[0];
    StackingRowsState& s = gStack;
    if (mode == kFormationStart) {
        for (int32_t& landed : s.landed) landed = 0;
        ParkObjects(0, kStackSlots, 1, kShapeBox);
        ObjectPool.usedCount = kStackSlots;
        floorY = 464;
        s.row = 0;
        s.phase = 0;
        OpenStackRow(0);
        return;
    }
    if (s.phase == 1) {
        MoveSlotsDown(0, kStackSlots, 2.0);
        if (ObjectPool.y[kStackSlots - 1] >= kBelowField) EndWave();
        return;
    }
    bool rowLanded = true;
    for (int32_t i = kStackColumns * s.row; i < kStackColumns * (s.row + 1); ++i) {
        if (s.landed[i] != 0) continue;
        ObjectPool.y[i] += kStackFallSpeed;
        if (ObjectPool.y[i] == floorY) {
            s.landed[i] = 1;
            SoundRequest[kEffectThud] = 1;
        } else {
            rowLanded = false;
        }
    }
    if (!rowLanded) return;
    s.row += 1;
    if (s.row == kStackRows) {
        s.phase = 1;
    } else {
        floorY -= 32;
        OpenStackRow(s.row);
    }
}

void ConveyorLanesFormation(int32_t mode, int32_t, int32_t) {
    double* start = gWaves.waveAnchorX;
    double* base = gWaves.waveAnchorY;
    if (mode == kFormationStart) {
        for (int32_t k = 0; k < kLanes; ++k) start[k] = k < 3 ? -16 : 496;
        base[0] = -480;
        base[1] = -448;
        base[2] = -416;
        base[3] = std::sqrt(2.0) * 32 - 288;
        base[4] = base[3] + 32;
        base[5] = base[3] + 64;
        for (int32_t i = 0; i < kLaneSlots; ++i) {
            ObjectPool.state[i] = kObjectFree;
            ObjectPool.sprite[i] = 2;
            ObjectPool.shape[i] = kShapeBox;
        }
        ObjectPool.usedCount = kLaneSlots;
        for (int32_t k = 0; k < kLanes; ++k) {
            for (int32_t m = 0; m < 6; ++m) {
                int32_t i = 6 * k + m;
                double x = k < 3 ? start[k] + 96 * m : start[k] - 96 * m;
                ObjectPool.state[i] = kObjectAlive;
                ObjectPool.x[i] = x;
                ObjectPool.y[i] = LaneY(k, x);
                gLanes.lane[i] = k;
            }
        }
        gLanes.frameCounter = 0;
        return;
    }
    for (int32_t k = 0; k < kLanes; ++k) base[k] += 1.0;
    for (int32_t i = 0; i < kLaneSlots; ++i) {
        if (ObjectPool.state[i] == kObjectFree) continue;
        int32_t lane = gLanes.lane[i];
        ObjectPool.x[i] += kLaneStep[lane];
        ObjectPool.y[i] = LaneY(lane, ObjectPool.x[i]);
        bool fromLeft = lane < 3;
        if (fromLeft ? ObjectPool.x[i] >= 496 : ObjectPool.x[i] <= -16) {
            ObjectPool.state[i] = kObjectFree;
        }
    }
    // Entry periods match the lanes' speeds, so each lane refills 96 px apart.
    int32_t counter = ++gLanes.frameCounter;
    if (counter % 96 == 0) {
        EnterLane(2);
        EnterLane(5);
    }
    if (counter % 48 == 0) {
        EnterLane(1);
        EnterLane(4);
    }
    if (counter % 32 == 0) {
        EnterLane(0);
        EnterLane(3);
    }
    if (base[0] >= kLaneEndY) EndWave();
}

void CheckerRainFormation(int32_t mode, int32_t, int32_t) {
    if (mode == kFormationStart) {
        const char* const even = "110011001100110";
        const char* const odd = "001100110011001";
        const char* const empty = "000000000000000";
        const char* rows[30];
        for (int32_t r = 0; r < 30; ++r) {
            int32_t band = r % 8;
            rows[r] = band < 2 ? even : (band == 4 || band == 5) ? odd : empty;
        }
        int32_t n = PlacePatternBlocks(rows, 30, 0, -960, 2, kShapeBox);
        ObjectPool.usedCount = n;
        return;
    }
    MoveSlotsDown(0, ObjectPool.usedCount, 5.25);
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}

void GatedBarsFormation(int32_t mode, int32_t, int32_t) {
    double* barX = gWaves.waveAnchorX;
    double* barY = gWaves.waveAnchorY;
    double& pivotX = gWaves.waveAnchorX[3];
    double& pivotY = gWaves.waveAnchorY[3];
    GatedBarsState& g = gGatedBars;
    const int32_t n = kCeilingSlots;
    if (mode == kFormationStart) {
        // The ceiling's slot is where the player is now.
        const int32_t p = gPlayField.playerX;
        int32_t slot = 0;
        for (int32_t r = 0; r < kCeilingRows; ++r) {
            for (int32_t k = 0; k < kCeilingColumns; ++k) {
                if (k == kCeilingSlotColumn) continue;
                PlaceObject(slot++, p - 448 + 32 * k, -272 + 32 * r, 1, kShapeBox);
            }
        }
        ParkObjects(n, kBars * kBarSlots, 2, kShapeBox);
        ParkObjects(n + kBars * kBarSlots, kArmBalls, 0, kShapeBall);
        ObjectPool.usedCount = n + kBars * kBarSlots + kArmBalls;
        const int32_t startAngle[kBars] = {0, 100, 230};
        for (int32_t b = 0; b < kBars; ++b) {
            barY[b] = -96 + 32 * b;
            g.baseX[b] = p;
            g.angle[b] = startAngle[b];
        }
        pivotX = p + 48;
        pivotY = -112;
        g.armAngle = 180;
        g.phase = 0;
        return;
    }
    switch (g.phase) {
        case 0:
            MoveSlotsDown(0, n, 1.0);
            for (int32_t b = 0; b < kBars; ++b) barY[b] += 1.0;
            pivotY += 1.0;
            if (ObjectPool.y[0] == kCeilingStopY) {
                g.counter = 0;
                g.phase = 1;
            }
            break;
        case 1:
            // The lowest bar drops first, the others 32 and 64 updates later.
            barY[2] += 2.0;
            if (g.counter >= 32) barY[1] += 2.0;
            if (g.counter >= 64) barY[0] += 2.0;
            g.counter += 1;
            if (barY[0] >= 480) {
                SoundRequest[kEffectWhoosh] = 1;
                g.phase = 2;
            }
            break;
        default:
            MoveSlotsDown(0, n, kCeilingCrashSpeed);
            pivotY += kCeilingCrashSpeed;
            if (g.armAngle > 90) g.armAngle -= 5;
            break;
    }
    g.angle[0] += 2;
    g.angle[1] -= 2;
    g.angle[2] += 2;
    for (int32_t b = 0; b < kBars; ++b) {
        barX[b] = std::sin(g.angle[b] * kDegreesToRadians) * 64 + g.baseX[b];
        // A gap of two cells about the bar's centre.
        int32_t slot = n + kBarSlots * b;
        for (int32_t i = 0; i < 34; ++i) {
            if (i == 16 || i == 17) continue;
            ObjectPool.x[slot] = barX[b] - 544 + 16 + 32 * i;
            ObjectPool.y[slot] = barY[b] + 16;
            slot += 1;
        }
    }
    for (int32_t m = 0; m < kArmBalls; ++m) {
        PlaceAtAngle(n + kBars * kBarSlots + m, pivotX, pivotY, g.armAngle, 32 * m);
    }
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}

void ZigzagGapRowsFormation(int32_t mode, int32_t, int32_t) {
    if (mode == kFormationStart) {
        // The column each row's gap is centred on.
        const int32_t gapColumn[kGapRows] = {8,  7, 6, 5, 6, 7, 8, 9, 10, 11,
                                             10, 9, 8, 7, 8, 9, 8, 7, 6,  5};
        for (int32_t r = 0; r < kGapRows; ++r) {
            for (int32_t c = 0; c < kGapRowBlocks; ++c) {
                double x = c < gapColumn[r] ? 32 * c - 8 : 32 * c + 40;
                PlaceObject(kGapRowBlocks * r + c, x, -16 - 64 * r, 2, kShapeBox);
            }
        }
        ObjectPool.usedCount = kGapRows * kGapRowBlocks;
        return;
    }
    MoveSlotsDown(0, ObjectPool.usedCount, 2.0);
    if (ObjectPool.y[ObjectPool.usedCount - 1] >= kBelowField) EndWave();
}
