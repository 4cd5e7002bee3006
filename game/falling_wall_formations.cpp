// Walls that fall through the field, some opening and closing on the way: an arrow that falls
// fast (id 14), a wall of balls whose halves part along a travelling wave (id 21), a maze
// (id 25), a wall whose rows split open left and then right (id 32), two jagged halves that
// close and part (id 34) and four wavy rows (id 36).
#include <algorithm>
#include <cmath>
#include <iterator>

#include "formations.h"
#include "game_sounds.h"
#include "play_field.h"
#include "wave_engine.h"

namespace {

constexpr double kArrowFall = 4.0;
constexpr RowRun kArrowRows[] = {
    {"000000010000000", 1}, {"000000111000000", 5}, {"000000010000000", 1}, {"000000000000000", 1},
    {"000000010000000", 1}, {"000000111000000", 1}, {"000000010000000", 1},
};
constexpr double kMazeFall = 1.5;
constexpr RowRun kFallingMazeRows[] = {
    {"000000000001001", 2}, {"000001111111001", 1}, {"000001000001001", 1}, {"111111000001001", 1},
    {"000001001001001", 2}, {"001001001001001", 1}, {"001001001000001", 2}, {"001001001111111", 1},
    {"001000001000000", 2}, {"001111111000000", 1}, {"001000000000000", 2},
};

constexpr double kPartingMiddle = 240;
constexpr double kPartingWaveLength = 576;
constexpr double kPartingWaveStep = 1.25;
constexpr double kPartingScale = 0.03272492347916667;  // 2 pi / 192

constexpr int32_t kSplitRows = 10;
constexpr int32_t kSplitColumns = 15;
constexpr double kSplitFullGap = 24;

constexpr double kSineRowScale = 0.013089969391666668;  // 2 pi / 480

struct PartingWallState {
    int32_t baseX[kPoolSlots];
    double offset;  // the wave's travel, 0 .. 576
    int32_t counter;
    int32_t direction;  // 0 forwards for 64 updates, 1 back for 96
};
PartingWallState gParting;

enum SplitState : int32_t {
    kSplitFall = 0,
    kSplitOpenLeft = 1,
    kSplitHoldLeft = 2,
    kSplitCloseLeft = 3,
    kSplitJumpRight = 4,
    kSplitOpenRight = 5,
};

struct SplittingWallState {
    double baseX[kSplitRows * kSplitColumns], baseY[kSplitRows * kSplitColumns];
    double gap[kSplitRows];  // how far each side of a row stands off its split
    int32_t state;
    int32_t counter;
};
SplittingWallState gSplit;

enum JawPhase : int32_t { kJawFall = 0, kJawClose = 1, kJawHold = 2, kJawPart = 3 };

struct ClosingJawState {
    int32_t leftCount;  // the left half's slots come first
    int32_t phase;
    int32_t timer;
};
ClosingJawState gJaw;

// Rows from bottom (row 9, k = 0) to top open by `step` per update, each 32 x k updates after
// the bottom one, as far as the full gap.
void OpenRowsStaggered(double step, int32_t stagger) {
    for (int32_t k = 0; k < kSplitRows; ++k) {
        double& g = gSplit.gap[kSplitRows - 1 - k];
        if (gSplit.counter >= stagger * k) g = std::min(g + step, kSplitFullGap);
    }
}

void StepSplittingWall() {
    SplittingWallState& w = gSplit;
    switch (w.state) {
        case kSplitFall:
            if (w.baseY[0] == -208) {
                w.state = kSplitOpenLeft;
                w.counter = 0;
            }
            break;
        case kSplitOpenLeft:
        case kSplitOpenRight:
            OpenRowsStaggered(0.25, 32);
            w.counter += 1;
            if (w.state == kSplitOpenLeft && w.baseY[0] == -16) w.state = kSplitHoldLeft;
            break;
        case kSplitHoldLeft:
            if (w.baseY[0] == 16) {
                w.state = kSplitCloseLeft;
                w.counter = 0;
                SoundRequest[kEffectVoice] = 1;
            }
            break;
        case kSplitCloseLeft:
            // The top row closes first.
            for (int32_t r = 0; r < kSplitRows; ++r) {
                if (4 * r <= w.counter) w.gap[r] = std::max(w.gap[r] - 1, 0.0);
            }
            w.counter += 1;
            if (w.gap[kSplitRows - 1] == 0) {
                w.state = kSplitJumpRight;
                w.counter = 0;
            }
            break;
        case kSplitJumpRight:
            OpenRowsStaggered(1.0, 4);
            w.counter += 1;
            // The counter runs on into the slow opening.
            if (w.counter == 16) w.state = kSplitOpenRight;
            break;
        default:
            break;
    }
}

// A field-wide pattern of blocks that only falls: placed at start, moved down by `fall` each
// update until its top row is below the field.
void RunFallingPattern(int32_t mode, const RowRun* rows, int32_t runCount, int32_t y0,
                       double fall) {
    if (mode == kFormationStart) {
        ObjectPool.usedCount = PlacePattern(rows, runCount, 0, y0, 0, kShapeBox);
        return;
    }
    MoveSlotsDown(0, ObjectPool.usedCount, fall);
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}

void MoveJaw(double leftDx, double rightDx, double dy) {
    for (int32_t i = 0; i < ObjectPool.usedCount; ++i) {
        ObjectPool.x[i] += i < gJaw.leftCount ? leftDx : rightDx;
        ObjectPool.y[i] += dy;
    }
}

}  // namespace

void ArrowFormation(int32_t mode, int32_t, int32_t) {
    RunFallingPattern(mode, kArrowRows, std::size(kArrowRows), -352, kArrowFall);
}

void PartingWallFormation(int32_t mode, int32_t, int32_t) {
    if (mode == kFormationStart) {
        const RowRun rows[] = {{"1111111111111111", 10}};
        int32_t n = PlacePattern(rows, 1, -16, -320, 0, kShapeBall);
        for (int32_t i = 0; i < n; ++i) {
            int32_t x = static_cast<int32_t>(ObjectPool.x[i]);
            gParting.baseX[i] = ObjectPool.x[i] >= kPartingMiddle ? x + 16 : x - 16;
        }
        ObjectPool.usedCount = n;
        gParting.offset = 0.0;
        gParting.counter = 0;
        gParting.direction = 0;
        return;
    }
    PartingWallState& w = gParting;
    if (w.direction == 0) {
        w.offset += kPartingWaveStep;
        if (w.offset >= kPartingWaveLength) w.offset -= kPartingWaveLength;
        if (++w.counter == 64) {
            w.direction = 1;
            w.counter = 0;
        }
    } else {
        w.offset -= kPartingWaveStep;
        if (w.offset < 0) w.offset += kPartingWaveLength;
        if (++w.counter == 96) {
            w.direction = 0;
            w.counter = 0;
        }
    }
    for (int32_t i = 0; i < ObjectPool.usedCount; ++i) {
        ObjectPool.y[i] += 0.5;
        double s = 32 * std::sin((ObjectPool.y[i] - w.offset) * kPartingScale);
        double c = std::max(s, -16.0);
        ObjectPool.x[i] = w.baseX[i] < kPartingMiddle ? w.baseX[i] - c : w.baseX[i] + c;
    }
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}

void FallingMazeFormation(int32_t mode, int32_t, int32_t) {
    RunFallingPattern(mode, kFallingMazeRows, std::size(kFallingMazeRows), -512, kMazeFall);
}

void SplittingWallFormation(int32_t mode, int32_t, int32_t) {
    if (mode == kFormationStart) {
        for (int32_t r = 0; r < kSplitRows; ++r) {
            for (int32_t c = 0; c < kSplitColumns; ++c) {
                int32_t slot = kSplitColumns * r + c;
                gSplit.baseX[slot] = 16 + 32 * c;
                gSplit.baseY[slot] = -304 + 32 * r;
                PlaceObject(slot, gSplit.baseX[slot], gSplit.baseY[slot], 0, kShapeBox);
            }
            gSplit.gap[r] = 0;
        }
        ObjectPool.usedCount = kSplitRows * kSplitColumns;
        gSplit.state = kSplitFall;
        gSplit.counter = 0;
        return;
    }
    for (double& y : gSplit.baseY) y += 1.0;
    StepSplittingWall();
    int32_t split = gSplit.state <= kSplitCloseLeft ? 4 : 11;
    for (int32_t r = 0; r < kSplitRows; ++r) {
        for (int32_t c = 0; c < kSplitColumns; ++c) {
            int32_t slot = kSplitColumns * r + c;
            double g = c < split ? -gSplit.gap[r] : gSplit.gap[r];
            ObjectPool.x[slot] = gSplit.baseX[slot] + g;
            ObjectPool.y[slot] = gSplit.baseY[slot];
        }
    }
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}

void ClosingJawFormation(int32_t mode, int32_t, int32_t) {
    if (mode == kFormationStart) {
        // 1 the left half, 2 the right half; they start 320 pixels further apart.
        const RowRun rows[] = {
            {"111111112222222", 1}, {"111111122222222", 1}, {"111111111222222", 1},
            {"111111122222222", 2}, {"111111222222222", 1}, {"111111111222222", 1},
            {"111111112222222", 2}, {"111111222222222", 1}, {"111111100222222", 2},
            {"111111112222222", 1}, {"111111222222222", 1}, {"111111112222222", 1},
        };
        int32_t n = PlacePattern(rows, std::size(rows), -160, -480, 1, kShapeBox);
        int32_t slot = n;
        for (int32_t r = 0; r < 15; ++r) {
            for (int32_t c = 0; c < 15; ++c) {
                if (gWaves.FormationGrid[r][c] == '2') {
                    PlaceObject(slot++, 176 + 32 * c, -464 + 32 * r, 1, kShapeBox);
                }
            }
        }
        ObjectPool.usedCount = slot;
        gJaw.leftCount = n;
        gJaw.phase = kJawFall;
        gJaw.timer = 0;
        return;
    }
    switch (gJaw.phase) {
        case kJawFall:
            MoveJaw(0, 0, 2.0);
            if (ObjectPool.y[0] == 16) gJaw.phase = kJawClose;
            break;
        case kJawClose:
            MoveJaw(0.5, -0.5, 0);
            // The halves interlock when the left one is back at its place in the pattern.
            if (ObjectPool.x[0] == 16) {
                gJaw.timer = 0;
                SoundRequest[kEffectMechanism] = 1;
                gJaw.phase = kJawHold;
            }
            break;
        case kJawHold:
            if (++gJaw.timer == 64) gJaw.phase = kJawPart;
            break;
        default:
            MoveJaw(-1, 1, 1);
            break;
    }
    if (ObjectPool.x[0] <= -304) EndWave();
}

void SineRowFormation(int32_t mode, int32_t, int32_t) {
    if (mode == kFormationStart) {
        int32_t slot = 0;
        for (int32_t k = 0; k < 4; ++k) {
            double rowY = -64 - 112 * k;
            // Rows 0 and 2 have their gap on the left, rows 1 and 3 on the right.
            int32_t gapFirst = k % 2 == 0 ? 1 : 12;
            for (int32_t i = 0; i < 15; ++i) {
                if (i == gapFirst || i == gapFirst + 1) continue;
                double x = 16 + 32 * i;
                PlaceObject(slot++, x, rowY - 48 * std::sin(x * kSineRowScale), 0, kShapeBox);
            }
        }
        ObjectPool.usedCount = slot;
        return;
    }
    MoveSlotsDown(0, ObjectPool.usedCount, 1.0);
    if (!AnyObjectAboveBottom(0, ObjectPool.usedCount)) EndWave();
}
