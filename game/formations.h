// The wave formations and what they share. A formation is one operation per wave id, called
// by the wave engine in start mode once and then in update mode every frame until it calls
// EndWave. Each family of formations lives in a file of its own; the per-id table in
// formation_table.cpp names each one with the parameters the engine passes.
#pragma once

#include <cstdint>

#include "wave_engine.h"

constexpr int32_t kFormationStart = 0;
constexpr int32_t kFormationUpdate = 1;

// (mode, first, second): the two parameters mean something only to the formations that say so.
using FormationOperation = void (*)(int32_t mode, int32_t first, int32_t second);

struct WaveFormation {
    FormationOperation operation;
    int32_t startFirst, startSecond;
    int32_t updateFirst, updateSecond;
};
extern const WaveFormation kWaveFormations[kWaveIds];

// ---- Shared by every formation ----

// The truncated constants are part of the motion and are used exactly.
constexpr double kPi = 3.141592654;
constexpr double kTwoPi = 6.283185308;
constexpr double kDegreesToRadians = 0.017453292522222223;
// An object whose centre is this far down is wholly below the field.
constexpr double kBelowField = 496;

// Copies the pattern rows, top first, into the grid, each row cleared beyond its text.
void WriteGridRows(const char* const* rows, int32_t count);
// Sprite and shape of slots first .. first + count - 1.
void SetSlotLooks(int32_t first, int32_t count, int32_t sprite, int32_t shape);
// Slot made alive at (x, y) with the given looks.
void PlaceObject(int32_t slot, double x, double y, int32_t sprite, int32_t shape);
// Slot moved to the point at `degrees` and `distance` from (centreX, centreY).
void PlaceAtAngle(int32_t slot, double centreX, double centreY, double degrees, double distance);
// Adds dy to y of slots first .. first + count - 1, whatever their state.
void MoveSlotsDown(int32_t first, int32_t count, double dy);

// ---- Formations of wave ids 0 to 10 ----

void CircleFormation(int32_t mode, int32_t, int32_t);
// first, second: the turn speeds of the two crosses in degrees per frame.
void TwinCrossFormation(int32_t mode, int32_t first, int32_t second);
void SideMoverFormation(int32_t mode, int32_t, int32_t);
void TurnGateFormation(int32_t mode, int32_t, int32_t);
void JointedArmFormation(int32_t mode, int32_t, int32_t);
void WheelFormation(int32_t mode, int32_t, int32_t);
void SwayingCorridorFormation(int32_t mode, int32_t, int32_t);
void ShuttleBlockFormation(int32_t mode, int32_t, int32_t);

// Places slots base+1..base+3 at 32, 64 and 96 from slot base towards `degrees`; the last one's
// position goes to tipX, tipY.
void PlaceArmSegment(int32_t base, double degrees, double* tipX, double* tipY);

// A wave whose formation is not built yet: no objects, over at its first update.
void EmptyFormation(int32_t mode, int32_t, int32_t);
