// Objects fed in from the side that cross the field while it scrolls: four rows of blocks
// running alternately right and left (id 20), and balls that run left to right in arches over
// a floor between two walls (id 24).
#include <cmath>

#include "formations.h"
#include "play_field.h"
#include "wave_engine.h"

namespace {

constexpr int32_t kConveyorSlots = 64;
constexpr int32_t kConveyorRows = 4;
constexpr int32_t kConveyorBlocksPerRow = 6;
constexpr double kConveyorLeftEntry = -16;
constexpr double kConveyorRightEntry = 496;

constexpr int32_t kTrainSlots = 32;
constexpr int32_t kTrainBeat = 32;
constexpr int32_t kTrainBeatsPerCycle = 12;
constexpr int32_t kTrainQuietBeats = 4;            // beats 0..3 of a cycle bring no ball
constexpr double kTrainScale = 0.024543692609375;  // pi / 128: arches 128 pixels long
constexpr double kTrainArchHeight = 64;

struct ConveyorRowsState {
    double velocity[kConveyorSlots];
    int32_t frameCounter;
};
ConveyorRowsState gConveyor;

struct BallTrainState {
    int32_t firstTrain;
    int32_t counter;
};
BallTrainState gTrain;

// A block enters at the first free slot, if any, on the given row line.
void FeedConveyor(double x, double rowLine, double velocity) {
    int32_t slot = FirstFreeSlot(0, kConveyorSlots);
    if (slot < 0) return;
    PlaceObject(slot, x, std::trunc(rowLine), 2, kShapeBox);
    gConveyor.velocity[slot] = velocity;
}

void AddTrainBall(double x, double y) {
    int32_t slot = FirstFreeSlot(gTrain.firstTrain, gTrain.firstTrain + kTrainSlots);
    if (slot >= 0) PlaceObject(slot, x, y, 1, kShapeBox);
}

}  // namespace

void ConveyorRowsFormation(int32_t mode, int32_t, int32_t) {
    double* rowLine = gWaves.waveAnchorY;
    if (mode == kFormationStart) {
        ObjectPool.usedCount = kConveyorSlots;
        for (int32_t i = 0; i < kConveyorSlots; ++i) ObjectPool.state[i] = kObjectFree;
        const double rowSpeed[kConveyorRows] = {0.5, -0.5, 1.0, -1.0};
        for (int32_t row = 0; row < kConveyorRows; ++row) {
            rowLine[row] = -16 - 40 * row;
            for (int32_t b = 0; b < kConveyorBlocksPerRow; ++b) {
                int32_t slot = kConveyorBlocksPerRow * row + b;
                double x = rowSpeed[row] > 0 ? -16 + 96 * b : 496 - 96 * b;
                PlaceObject(slot, x, rowLine[row], 2, kShapeBox);
                gConveyor.velocity[slot] = rowSpeed[row];
            }
        }
        gConveyor.frameCounter = 0;
        return;
    }
    for (int32_t i = 0; i < kConveyorSlots; ++i) {
        if (ObjectPool.state[i] == kObjectFree) continue;
        double velocity = gConveyor.velocity[i];
        ObjectPool.x[i] += velocity;
        ObjectPool.y[i] += 1.0;
        if ((velocity > 0 && ObjectPool.x[i] >= kConveyorRightEntry) ||
            (velocity < 0 && ObjectPool.x[i] <= kConveyorLeftEntry)) {
            ObjectPool.state[i] = kObjectFree;
        }
    }
    for (int32_t row = 0; row < kConveyorRows; ++row) rowLine[row] += 1.0;
    int32_t counter = ++gConveyor.frameCounter;
    if (counter % 192 == 0) {
        FeedConveyor(kConveyorLeftEntry, rowLine[0], 0.5);
        FeedConveyor(kConveyorRightEntry, rowLine[1], -0.5);
    }
    if (counter % 96 == 0) {
        FeedConveyor(kConveyorLeftEntry, rowLine[2], 1.0);
        FeedConveyor(kConveyorRightEntry, rowLine[3], -1.0);
    }
    if (rowLine[3] >= kBelowField) EndWave();
}

void BallTrainFormation(int32_t mode, int32_t, int32_t) {
    double& floor = gWaves.waveAnchorY[0];
    if (mode == kFormationStart) {
        const RowRun rows[] = {
            {"001111111111111", 1}, {"000000000000000", 3}, {"111111111111100", 1}};
        int32_t n = PlacePattern(rows, 3, 0, -160, 0, kShapeBox);
        gTrain.firstTrain = n;
        for (int32_t i = n; i < n + kTrainSlots; ++i) ObjectPool.state[i] = kObjectFree;
        ObjectPool.usedCount = n + kTrainSlots;
        // The balls already under way, as if the train had been running for a while.
        for (int32_t k = 0; k < 16; ++k) {
            if (k % kTrainBeatsPerCycle < 8) AddTrainBall(-16 + 32 * k, -16);
        }
        gTrain.counter = 736;
        floor = -48;
        return;
    }
    int32_t n = gTrain.firstTrain;
    MoveSlotsDown(0, n, 0.25);
    floor += 0.25;
    for (int32_t i = n; i < n + kTrainSlots; ++i) {
        if (ObjectPool.state[i] == kObjectFree) continue;
        double& x = ObjectPool.x[i];
        x += 1.0;
        ObjectPool.y[i] =
            floor - std::fabs(kTrainArchHeight * std::sin((std::trunc(x) + 16) * kTrainScale));
        if (x >= kBelowField) ObjectPool.state[i] = kObjectFree;
    }
    gTrain.counter += 1;
    if (gTrain.counter % kTrainBeat == 0 &&
        (gTrain.counter / kTrainBeat) % kTrainBeatsPerCycle >= kTrainQuietBeats) {
        AddTrainBall(-16, floor);
    }
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}
