// Streams: long patterns released row by row into free slots while the earlier rows are still
// on screen. A maze that falls fast (id 11) and a stream of three kinds of balls whose whole
// frame turns about the field's centre (id 12).
#include <orbek/orbek.h>

#include <cmath>
#include <iterator>

#include "formations.h"
#include "play_field.h"
#include "wave_engine.h"

namespace {

constexpr int32_t kMazeRows = 98;
constexpr int32_t kMazeReleaseStep = 32;  // the counter grows by 4, so a row every 8 updates
constexpr double kMazeFall = 4.0;

// Row 0 is released first and so is the lowest on screen.
constexpr RowRun kMazeRuns[] = {
    {"111110000111111", 1}, {"111100001111111", 1}, {"111000011111111", 1}, {"110000111111111", 1},
    {"100001111111111", 1}, {"110000111111111", 1}, {"111000011111111", 1}, {"111100001111111", 1},
    {"111110000111111", 1}, {"111111000011111", 1}, {"111111100001111", 1}, {"111111110000111", 1},
    {"111111111000011", 1}, {"111111111100001", 2}, {"111111111110001", 2}, {"111111111100011", 2},
    {"111111111000111", 2}, {"111111110001111", 2}, {"111111100011111", 2}, {"111111000111111", 2},
    {"111110001111111", 2}, {"111100011111111", 2}, {"111000111111111", 2}, {"110001111111111", 2},
    {"100011111111111", 2}, {"100111111111111", 5}, {"100000011111111", 2}, {"111110011111111", 4},
    {"111110000001111", 2}, {"111111111001111", 6}, {"111111110000111", 3}, {"111111111011111", 1},
    {"111111110000111", 3}, {"111111000011111", 3}, {"111111110111111", 1}, {"111111000011111", 3},
    {"111111110000111", 3}, {"111111111011111", 1}, {"111111110000111", 3}, {"100000000000001", 8},
    {"111110000011111", 3}, {"111110010011111", 9},
};
// The last row closes one of the two passages beside the pillar of the rows before it.
constexpr const char* kMazeLastRows[2] = {"111111110011111", "111110011111111"};

constexpr int32_t kStreamRows = 91;
constexpr int32_t kStreamReleaseStep = 32;
constexpr int32_t kStreamEntryV = -116;
constexpr int32_t kStreamTimerCycle = 128;
constexpr double kStreamCentre = 240;
constexpr double kStreamAngleStep = 0.2;

// 0 empty; 1 falls steadily, 2 stops and goes, 3 sways sideways.
constexpr RowRun kStreamRuns[] = {
    {"100011111111111", 1}, {"100000000000001", 1}, {"100000020000001", 1}, {"100000000000001", 1},
    {"111111111110301", 1}, {"100000000000001", 1}, {"100000020000001", 1}, {"100000000000001", 1},
    {"103011111111111", 1}, {"100000000000001", 2}, {"111111111110301", 1}, {"100000000000001", 2},
    {"103011111111111", 1}, {"100000000000001", 2}, {"111111111110301", 1}, {"100000000010001", 1},
    {"100022000110001", 1}, {"100000000110001", 1}, {"100011000000001", 1}, {"100011000220001", 1},
    {"100011000000001", 1}, {"103011111111111", 1}, {"100000000000001", 1}, {"100000020000001", 1},
    {"100000000000001", 1}, {"111111111110001", 1}, {"111111111110301", 1}, {"100000000000001", 2},
    {"111111000111111", 2}, {"100000000000001", 2}, {"111111111111001", 1}, {"100000000000001", 2},
    {"103333333333301", 1}, {"100000000000001", 2}, {"103333333333301", 1}, {"100000000000001", 2},
    {"111111111111001", 1}, {"100000010000001", 3}, {"100103010301111", 1}, {"100100000001001", 3},
    {"100111111111001", 1}, {"100000000000001", 2}, {"111111000111111", 1}, {"111111030111111", 1},
    {"111111000111111", 2}, {"111111030111111", 1}, {"111111000111111", 2}, {"111111030111111", 1},
    {"111111000111111", 2}, {"100000000000001", 2}, {"100111111111111", 1}, {"100000000000001", 2},
    {"111111111111001", 1}, {"100000000001001", 2}, {"100111111001001", 1}, {"100000001001001", 1},
    {"100000001000001", 1}, {"111111001000001", 1}, {"100000001111111", 1}, {"100000001000001", 1},
    {"100111111000001", 1}, {"100000000001001", 2}, {"111111111111001", 1}, {"100000000000001", 2},
    {"103011111111111", 1}, {"100000000000001", 1}, {"100002200220001", 1}, {"100000000000001", 1},
    {"111111111111001", 1},
};

// The target angle's schedule, by the frame counter.
struct AngleTarget {
    int32_t frame;
    int32_t target;
};
constexpr AngleTarget kStreamTargets[] = {{640, -15}, {1280, 45}, {1920, 90}, {2560, 0}};

struct MazeStreamState {
    const char* rows[kMazeRows];
    int32_t frameCounter;
    int32_t rowsReleased;
};
MazeStreamState gMaze;

struct RotatingStreamState {
    const char* rows[kStreamRows];
    int32_t u[kPoolSlots], v[kPoolSlots];  // stream coordinates before the turn
    char kind[kPoolSlots];
    int32_t frameCounter;
    int32_t rowsReleased;
    double angle;  // degrees
    int32_t targetAngle;
};
RotatingStreamState gStream;

void ClearWholePool() {
    ObjectPool.usedCount = kPoolSlots;
    for (int32_t i = 0; i < kPoolSlots; ++i) ObjectPool.state[i] = kObjectFree;
}

bool AnySlotInUse() {
    for (int32_t i = 0; i < kPoolSlots; ++i) {
        if (ObjectPool.state[i] != kObjectFree) return true;
    }
    return false;
}

void ReleaseMazeRow(const char* row) {
    for (int32_t c = 0; row[c] != '\0'; ++c) {
        if (row[c] != '1') continue;
        int32_t slot = FirstFreeSlot(0, kPoolSlots);
        if (slot < 0) continue;
        PlaceObject(slot, 16 + 32 * c, -16, 2, kShapeBox);
    }
}

void ReleaseStreamRow(const char* row) {
    for (int32_t c = 0; row[c] != '\0'; ++c) {
        char kind = row[c];
        if (kind == '0') continue;
        int32_t slot = FirstFreeSlot(0, kPoolSlots);
        if (slot < 0) continue;
        ObjectPool.state[slot] = kObjectAlive;
        ObjectPool.sprite[slot] = kind == '1' ? 1 : kind == '2' ? 2 : 0;
        ObjectPool.shape[slot] = kShapeBall;
        ObjectPool.explodeTimer[slot] = 0;
        gStream.u[slot] = 16 + 32 * c;
        gStream.v[slot] = kStreamEntryV;
        gStream.kind[slot] = kind;
    }
}

// The per-object timer is the slot's explosion timer, which the play field also advances while
// the object explodes.
void DriftStreamObject(int32_t slot) {
    int32_t& t = ObjectPool.explodeTimer[slot];
    bool stillPart = t < 32 || t > 95;
    if (gStream.kind[slot] == '2') gStream.v[slot] += stillPart ? -1 : 1;
    if (gStream.kind[slot] == '3') gStream.u[slot] += stillPart ? 1 : -1;
    gStream.v[slot] += 1;
    t += 1;
    if (t == kStreamTimerCycle) t = 0;
    int32_t leaveV = gStream.kind[slot] == '1' ? 595 : 659;
    if (gStream.v[slot] > leaveV) ObjectPool.state[slot] = kObjectFree;
}

}  // namespace

void MazeStreamFormation(int32_t mode, int32_t, int32_t) {
    if (mode == kFormationStart) {
        int32_t last = RandomUpTo(1);
        int32_t n = ExpandRowRuns(kMazeRuns, std::size(kMazeRuns), gMaze.rows, kMazeRows - 1);
        gMaze.rows[n] = kMazeLastRows[last];
        ClearWholePool();
        gMaze.frameCounter = 0;
        gMaze.rowsReleased = 0;
        return;
    }
    for (int32_t i = 0; i < kPoolSlots; ++i) {
        if (ObjectPool.state[i] == kObjectFree) continue;
        ObjectPool.y[i] += kMazeFall;
        if (ObjectPool.y[i] >= kBelowField) ObjectPool.state[i] = kObjectFree;
    }
    if (gMaze.rowsReleased == kMazeRows && !AnySlotInUse()) {
        EndWave();
        return;
    }
    if (gMaze.frameCounter % kMazeReleaseStep == 0 && gMaze.rowsReleased < kMazeRows) {
        ReleaseMazeRow(gMaze.rows[gMaze.rowsReleased++]);
    }
    gMaze.frameCounter += 4;
}

void RotatingStreamFormation(int32_t mode, int32_t, int32_t) {
    if (mode == kFormationStart) {
        ExpandRowRuns(kStreamRuns, std::size(kStreamRuns), gStream.rows, kStreamRows);
        ClearWholePool();
        gStream.frameCounter = 0;
        gStream.rowsReleased = 0;
        gStream.angle = 0.0;
        // Set here rather than left from a run abandoned mid-wave.
        gStream.targetAngle = 0;
        return;
    }
    for (int32_t i = 0; i < kPoolSlots; ++i) {
        if (ObjectPool.state[i] != kObjectFree) DriftStreamObject(i);
    }
    if (gStream.rowsReleased == kStreamRows && !AnySlotInUse()) {
        EndWave();
        return;
    }
    if (gStream.frameCounter % kStreamReleaseStep == 0 && gStream.rowsReleased < kStreamRows) {
        ReleaseStreamRow(gStream.rows[gStream.rowsReleased++]);
    }
    double turn = gStream.angle * kTwoPi / 360;
    for (int32_t i = 0; i < kPoolSlots; ++i) {
        if (ObjectPool.state[i] == kObjectFree) continue;
        PlaceTurnedOffset(i, kStreamCentre, kStreamCentre, gStream.u[i] - kStreamCentre,
                          gStream.v[i] - kStreamCentre, turn);
    }
    gStream.frameCounter += 1;
    if (gStream.targetAngle > gStream.angle) gStream.angle += kStreamAngleStep;
    if (gStream.targetAngle < gStream.angle) gStream.angle -= kStreamAngleStep;
    for (const AngleTarget& step : kStreamTargets) {
        if (gStream.frameCounter == step.frame) gStream.targetAngle = step.target;
    }
}
