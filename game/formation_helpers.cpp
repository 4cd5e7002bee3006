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

int32_t ExpandRowRuns(const RowRun* runs, int32_t runCount, const char** rows, int32_t maxRows) {
    int32_t n = 0;
    for (int32_t i = 0; i < runCount; ++i) {
        for (int32_t k = 0; k < runs[i].count && n < maxRows; ++k) rows[n++] = runs[i].row;
    }
    return n;
}

int32_t PlacePattern(const RowRun* runs, int32_t runCount, int32_t x0, int32_t y0, int32_t sprite,
                     int32_t shape) {
    const char* rows[kGridRows] = {};
    int32_t rowCount = ExpandRowRuns(runs, runCount, rows, kGridRows);
    return PlacePatternBlocks(rows, rowCount, x0, y0, sprite, shape);
}

int32_t FirstFreeSlot(int32_t first, int32_t end) {
    for (int32_t i = first; i < end; ++i) {
        if (ObjectPool.state[i] == kObjectFree) return i;
    }
    return -1;
}

bool AnyObjectInField(int32_t first, int32_t count) {
    for (int32_t i = first; i < first + count; ++i) {
        double x = ObjectPool.x[i];
        double y = ObjectPool.y[i];
        if (x > -16 && x < kBelowField && y > -16 && y < kBelowField) return true;
    }
    return false;
}

bool AnyObjectAboveBottom(int32_t first, int32_t count) {
    for (int32_t i = first; i < first + count; ++i) {
        if (ObjectPool.y[i] < kBelowField) return true;
    }
    return false;
}

void PlaceTurnedOffset(int32_t slot, double centreX, double centreY, double du, double dv,
                       double radians) {
    double r = std::sqrt(du * du + dv * dv);
    double a = std::atan2(dv, du) + radians;
    ObjectPool.x[slot] = centreX + std::cos(a) * r;
    ObjectPool.y[slot] = centreY + std::sin(a) * r;
}

int32_t PlacePatternBlocks(const char* const* rows, int32_t count, int32_t x0, int32_t y0,
                           int32_t sprite, int32_t shape) {
    WriteGridRows(rows, count);
    int32_t n = PlaceGridBlocks(count, x0, y0, static_cast<int32_t>(std::strlen(rows[0])));
    SetSlotLooks(0, n, sprite, shape);
    return n;
}

void ParkObjects(int32_t first, int32_t count, int32_t sprite, int32_t shape) {
    for (int32_t i = first; i < first + count; ++i)
        PlaceObject(i, kParkedX, kParkedY, sprite, shape);
}

void TakeOffsets(int32_t first, int32_t count, double a, double b, SlotOffsets* offsets) {
    for (int32_t i = first; i < first + count; ++i) {
        offsets->x[i] = static_cast<int32_t>(ObjectPool.x[i] - a);
        offsets->y[i] = static_cast<int32_t>(ObjectPool.y[i] - b);
        ObjectPool.x[i] = kParkedX;
        ObjectPool.y[i] = kParkedY;
    }
}

int32_t TakeGridMarks(char mark, int32_t rows, int32_t cols, int32_t slot, int32_t originX,
                      int32_t originY, int32_t sprite, int32_t shape, SlotOffsets* offsets) {
    for (int32_t r = 0; r < rows && r < kGridRows; ++r) {
        for (int32_t c = 0; c < cols && c < kGridColumns && slot < kPoolSlots; ++c) {
            if (gWaves.FormationGrid[r][c] != mark) continue;
            PlaceObject(slot, kParkedX, kParkedY, sprite, shape);
            offsets->x[slot] = 16 + 32 * c - originX;
            offsets->y[slot] = 16 + 32 * r - originY;
            slot += 1;
        }
    }
    return slot;
}

void PlaceAtOffsets(int32_t first, int32_t count, double x, double y, const SlotOffsets& offsets) {
    for (int32_t i = first; i < first + count; ++i) {
        ObjectPool.x[i] = x + offsets.x[i];
        ObjectPool.y[i] = y + offsets.y[i];
    }
}

void PlaceBlockCells(int32_t first, int32_t count, int32_t columns, double cornerX,
                     double cornerY) {
    for (int32_t k = 0; k < count; ++k) {
        ObjectPool.x[first + k] = cornerX + 16 + 32 * (k % columns);
        ObjectPool.y[first + k] = cornerY + 16 + 32 * (k / columns);
    }
}
