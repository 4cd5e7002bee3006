// What every formation shares: writing pattern rows, setting up and placing objects.
#include <cmath>
#include <cstring>

#include "formations.h"
#include "play_field.h"
#include "wave_engine.h"

void WriteGridRows(const char* const* rows, int32_t count) {
    for (int32_t r = 0; r < count && r < kGridRows; ++r) {
        char* row = gWaves.FormationGrid[r];
        std::memset(row, 0, kGridColumns);
        std::strncpy(row, rows[r], kGridColumns - 1);
    }
}

void SetSlotLooks(int32_t first, int32_t count, int32_t sprite, int32_t shape) {
    for (int32_t i = first; i < first + count; ++i) {
        ObjectPool.sprite[i] = sprite;
        ObjectPool.shape[i] = shape;
    }
}

void PlaceObject(int32_t slot, double x, double y, int32_t sprite, int32_t shape) {
    ObjectPool.state[slot] = kObjectAlive;
    ObjectPool.x[slot] = x;
    ObjectPool.y[slot] = y;
    ObjectPool.sprite[slot] = sprite;
    ObjectPool.shape[slot] = shape;
}

void PlaceAtAngle(int32_t slot, double centreX, double centreY, double degrees, double distance) {
    double a = degrees * kDegreesToRadians;
    ObjectPool.x[slot] = centreX + std::cos(a) * distance;
    ObjectPool.y[slot] = centreY + std::sin(a) * distance;
}

void MoveSlotsDown(int32_t first, int32_t count, double dy) {
    for (int32_t i = first; i < first + count; ++i) ObjectPool.y[i] += dy;
}

void EmptyFormation(int32_t mode, int32_t, int32_t) {
    if (mode == kFormationStart) {
        ObjectPool.usedCount = 0;
    } else {
        EndWave();
    }
}
