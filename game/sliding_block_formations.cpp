// Blocks that slide sideways: rows of movers crossing a T-shaped wall (id 5) and blocks that
// shuttle in their lanes between cells kept clear (id 10).
#include <orbek/orbek.h>

#include <cmath>

#include "formations.h"
#include "play_field.h"
#include "wave_engine.h"

namespace {

constexpr int32_t kMovers = 8;
constexpr int32_t kMoverReentryFrames = 168;
constexpr double kMoverEntryX = -16;

constexpr int32_t kShuttleRows = 14;
constexpr int32_t kShuttleColumns = 15;
constexpr double kShuttleMinX = 16;
constexpr double kShuttleMaxX = 464;

struct SideMoverState {
    int32_t firstMover;  // movers follow the blocks
    int32_t frameCounter;
};
SideMoverState gSideMover;

struct ClearCell {
    int32_t x, y;
};

struct ShuttleState {
    int32_t direction[kPoolSlots];  // -4 or +4
    ClearCell clearCells[kShuttleRows * kShuttleColumns];
    int32_t clearCount;
};
ShuttleState gShuttle;

void ReenterMover(double y) {
    for (int32_t i = gSideMover.firstMover; i < gSideMover.firstMover + kMovers; ++i) {
        if (ObjectPool.state[i] != kObjectFree) continue;
        ObjectPool.state[i] = kObjectAlive;
        ObjectPool.x[i] = kMoverEntryX;
        ObjectPool.y[i] = y;
        return;
    }
}

bool ShuttleBlocked(int32_t slot, double nx) {
    if (nx < kShuttleMinX || nx > kShuttleMaxX) return true;
    double y = ObjectPool.y[slot];
    for (int32_t j = 0; j < ObjectPool.usedCount; ++j) {
        if (j != slot && ObjectPool.state[j] == kObjectAlive && ObjectPool.y[j] == y &&
            std::fabs(nx - ObjectPool.x[j]) < 32) {
            return true;
        }
    }
    for (int32_t c = 0; c < gShuttle.clearCount; ++c) {
        const ClearCell& cell = gShuttle.clearCells[c];
        if (cell.y == y && std::fabs(nx - cell.x) < 32) return true;
    }
    return false;
}

}  // namespace

void SideMoverFormation(int32_t mode, int32_t, int32_t) {
    if (mode == kFormationStart) {
        const char* const rows[7] = {
            "001111111111111", "000000010000000", "000000010000000", "000000010000000",
            "000000000000000", "000000000000000", "111111111111100",
        };
        WriteGridRows(rows, 7);
        int32_t n = PlaceGridBlocks(7, 0, -224, 15);
        SetSlotLooks(0, n, 2, kShapeBox);
        const double moverX[4] = {-16, 152, 320, 488};
        for (int32_t m = 0; m < kMovers; ++m) {
            PlaceObject(n + m, moverX[m % 4], m < 4 ? -80 : -48, 1, kShapeBox);
        }
        ObjectPool.usedCount = n + kMovers;
        gSideMover.firstMover = n;
        gSideMover.frameCounter = 0;
        return;
    }
    int32_t n = gSideMover.firstMover;
    // The blocks always fall: a hit block that has burnt out must still carry the wave's end
    // test (slot 0) below the field, or the wave would never end.
    MoveSlotsDown(0, n, 1.0);
    for (int32_t i = n; i < ObjectPool.usedCount; ++i) {
        if (ObjectPool.state[i] != kObjectFree) ObjectPool.y[i] += 1.0;
    }
    for (int32_t i = n; i < n + kMovers; ++i) {
        if (ObjectPool.state[i] == kObjectFree) continue;
        ObjectPool.x[i] += 1.0;
        if (ObjectPool.x[i] >= kBelowField) ObjectPool.state[i] = kObjectFree;
    }
    if (++gSideMover.frameCounter == kMoverReentryFrames) {
        gSideMover.frameCounter = 0;
        ReenterMover(ObjectPool.y[0] + 128);
        ReenterMover(ObjectPool.y[0] + 160);
    }
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}

void ShuttleBlockFormation(int32_t mode, int32_t, int32_t) {
    if (mode == kFormationStart) {
        // 1 a block, a a lane a block may enter, 0 a cell kept clear.
        const char* const rows[kShuttleRows] = {
            "aa1aaa1aa1a001a", "aaa1aaaa1a100a1", "a1aa1aaa1aa001a", "aa1aaa1aa1a00a1",
            "1a00000001a001a", "a100000000000a1", "1a00a1a0000001a", "a100aa1aa1aa1a1",
            "1a0000a1aa1aa1a", "a10000aa1aa1aa1", "aa1a00a1a1aaa1a", "a1aa001aaa1a1aa",
            "1aaa00a1aaa1a1a", "aa1a001a1aaaaa1",
        };
        WriteGridRows(rows, kShuttleRows);
        int32_t n = PlaceGridBlocks(kShuttleRows, 0, -448, kShuttleColumns);
        SetSlotLooks(0, n, 0, kShapeBox);
        for (int32_t i = 0; i < n; ++i) gShuttle.direction[i] = RandomUpTo(1) * 8 - 4;
        ObjectPool.usedCount = n;
        gShuttle.clearCount = 0;
        for (int32_t r = 0; r < kShuttleRows; ++r) {
            for (int32_t c = 0; c < kShuttleColumns; ++c) {
                if (rows[r][c] == '0')
                    gShuttle.clearCells[gShuttle.clearCount++] = {16 + 32 * c, -432 + 32 * r};
            }
        }
        return;
    }
    for (int32_t i = 0; i < ObjectPool.usedCount; ++i) {
        if (ObjectPool.state[i] != kObjectAlive) continue;
        double nx = ObjectPool.x[i] + gShuttle.direction[i];
        if (ShuttleBlocked(i, nx)) {
            gShuttle.direction[i] = -gShuttle.direction[i];
        } else {
            ObjectPool.x[i] = nx;
        }
    }
    MoveSlotsDown(0, ObjectPool.usedCount, 1.0);
    for (int32_t c = 0; c < gShuttle.clearCount; ++c) gShuttle.clearCells[c].y += 1;
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}
