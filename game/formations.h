// The wave formations and what they share. A formation is one operation per wave id, called
// by the wave engine in start mode once and then in update mode every frame until it calls
// EndWave. Each family of formations lives in a file of its own; the per-id table in
// formation_table.cpp names each one with the parameters the engine passes.
#pragma once

#include <cstdint>

#include "play_field.h"
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

// ---- Formations of wave ids 11 to 37, and what several of them share ----

// A pattern row and how many times it stands in a row, as the patterns are written.
struct RowRun {
    const char* row;
    int32_t count;
};
// Spells the runs out into rows (at most maxRows); returns how many were written.
int32_t ExpandRowRuns(const RowRun* runs, int32_t runCount, const char** rows, int32_t maxRows);
// PlacePatternBlocks of the runs spelt out.
int32_t PlacePattern(const RowRun* runs, int32_t runCount, int32_t x0, int32_t y0, int32_t sprite,
                     int32_t shape);
// The first slot of first .. end - 1 whose state is free, or -1.
int32_t FirstFreeSlot(int32_t first, int32_t end);
// Whether any of slots first .. first + count - 1 lies strictly inside -16 < x, y < 496.
bool AnyObjectInField(int32_t first, int32_t count);
// Whether any of slots first .. first + count - 1 has y above the field's bottom (below 496).
bool AnyObjectAboveBottom(int32_t first, int32_t count);
// Slot placed at its offset (du, dv) from (centreX, centreY) turned by `radians`, through the
// offset's own distance and direction, computed afresh every time as the motions expect.
void PlaceTurnedOffset(int32_t slot, double centreX, double centreY, double du, double dv,
                       double radians);

void MazeStreamFormation(int32_t mode, int32_t, int32_t);
void RotatingStreamFormation(int32_t mode, int32_t, int32_t);
void LaneBarFormation(int32_t mode, int32_t, int32_t);
void ArrowFormation(int32_t mode, int32_t, int32_t);
// Ids 15-18. first, second at start: the spawn point the line is fired from; ignored at
// update.
void AimedLineFormation(int32_t mode, int32_t first, int32_t second);
void RockingDiscFormation(int32_t mode, int32_t, int32_t);
void ConveyorRowsFormation(int32_t mode, int32_t, int32_t);
void PartingWallFormation(int32_t mode, int32_t, int32_t);
void HammerFormation(int32_t mode, int32_t, int32_t);
void DiscShuffleFormation(int32_t mode, int32_t, int32_t);
void BallTrainFormation(int32_t mode, int32_t, int32_t);
void FallingMazeFormation(int32_t mode, int32_t, int32_t);
void TwinTrackFormation(int32_t mode, int32_t, int32_t);
void NestedTrackFormation(int32_t mode, int32_t, int32_t);
void TurningArcFormation(int32_t mode, int32_t, int32_t);
void BurstRingFormation(int32_t mode, int32_t, int32_t);
void WideningRingFormation(int32_t mode, int32_t, int32_t);
void CirclingBlockFormation(int32_t mode, int32_t, int32_t);
void SplittingWallFormation(int32_t mode, int32_t, int32_t);
void PendulumFormation(int32_t mode, int32_t, int32_t);
void ClosingJawFormation(int32_t mode, int32_t, int32_t);
void BreathingBlockFormation(int32_t mode, int32_t, int32_t);
void SineRowFormation(int32_t mode, int32_t, int32_t);
void PulsingFrameFormation(int32_t mode, int32_t, int32_t);

// ---- Shared by the formations of wave ids 38 to 69 ----

// Where an object that its formation positions itself waits for its first update.
constexpr double kParkedX = 16;
constexpr double kParkedY = -16;

// Per-slot offsets (x, y) of objects from the reference point of their group.
struct SlotOffsets {
    int32_t x[kPoolSlots], y[kPoolSlots];
};

// Writes the pattern rows, top first, and makes each 1 of them the next slot from slot 0, placed
// as PlaceGridBlocks does from (x0, y0) with the given looks. Returns how many it made.
int32_t PlacePatternBlocks(const char* const* rows, int32_t count, int32_t x0, int32_t y0,
                           int32_t sprite, int32_t shape);
// Slots first .. first + count - 1 alive and parked (just above the field), with the given
// looks; the formation's first update places them.
void ParkObjects(int32_t first, int32_t count, int32_t sprite, int32_t shape);
// Each slot's offset from (a, b) as placed, truncated; the slots are then parked.
void TakeOffsets(int32_t first, int32_t count, double a, double b, SlotOffsets* offsets);
// Each cell equal to `mark` in grid rows 0..rows-1, columns 0..cols-1 makes the next slot from
// `slot` alive and parked, with the offset (16 + 32 column - originX, 16 + 32 row - originY).
// Returns the slot after the last one made.
int32_t TakeGridMarks(char mark, int32_t rows, int32_t cols, int32_t slot, int32_t originX,
                      int32_t originY, int32_t sprite, int32_t shape, SlotOffsets* offsets);
// Slots first .. first + count - 1 at (x, y) plus their offsets.
void PlaceAtOffsets(int32_t first, int32_t count, double x, double y, const SlotOffsets& offsets);
// The members of a block `columns` cells wide whose top-left corner is (cornerX, cornerY):
// member k at (cornerX + 16 + 32 (k mod columns), cornerY + 16 + 32 (k div columns)).
void PlaceBlockCells(int32_t first, int32_t count, int32_t columns, double cornerX, double cornerY);

// ---- Formations of wave ids 38 to 69 ----

void PistonFrameFormation(int32_t mode, int32_t, int32_t);
void MeshingCombsFormation(int32_t mode, int32_t, int32_t);
void SwingingSlabFormation(int32_t mode, int32_t, int32_t);
void ClosingWallsFormation(int32_t mode, int32_t, int32_t);
void SnakeCorridorFormation(int32_t mode, int32_t, int32_t);
void MorphRingFormation(int32_t mode, int32_t, int32_t);
void ToneMemoryFormation(int32_t mode, int32_t, int32_t);
void SpinningLatticeFormation(int32_t mode, int32_t, int32_t);
void SlidingPairsFormation(int32_t mode, int32_t, int32_t);
void StackingRowsFormation(int32_t mode, int32_t, int32_t);
void SlidingMazePanelFormation(int32_t mode, int32_t, int32_t);
void WindingSnakeFormation(int32_t mode, int32_t, int32_t);
void DiamondCoreFormation(int32_t mode, int32_t, int32_t);
void QuadrantTrapFormation(int32_t mode, int32_t, int32_t);
void DroppingPillarsFormation(int32_t mode, int32_t, int32_t);
void HammerArmsFormation(int32_t mode, int32_t, int32_t);
void SensingRingsFormation(int32_t mode, int32_t, int32_t);
void ConveyorLanesFormation(int32_t mode, int32_t, int32_t);
void SwayingMazeFormation(int32_t mode, int32_t, int32_t);
void PuppetBlockFormation(int32_t mode, int32_t, int32_t);
void CheckerRainFormation(int32_t mode, int32_t, int32_t);
void PushPuzzleFormation(int32_t mode, int32_t, int32_t);
void CorridorRunnerFormation(int32_t mode, int32_t, int32_t);
void GatedBarsFormation(int32_t mode, int32_t, int32_t);
void TripleRingFormation(int32_t mode, int32_t, int32_t);
void WindmillMazeFormation(int32_t mode, int32_t, int32_t);
void BobbingLayerFormation(int32_t mode, int32_t, int32_t);
void ZigzagGapRowsFormation(int32_t mode, int32_t, int32_t);
void PillarsAndBarsFormation(int32_t mode, int32_t, int32_t);
void SlidingDoorsFormation(int32_t mode, int32_t, int32_t);
void ConvergingSquaresFormation(int32_t mode, int32_t, int32_t);
void SpinningTrianglesFormation(int32_t mode, int32_t, int32_t);
