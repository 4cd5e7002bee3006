// Blocks that walk rectangular tracks inside a falling frame, turning at the corners: nine
// squares on two tracks (id 26), squares and single blocks on four nested tracks (id 27), and
// one solid block circling a small square (id 31).
#include <algorithm>
#include <iterator>

#include "formations.h"
#include "play_field.h"
#include "wave_engine.h"

namespace {

// Reaching the corner (x, y) of its track, a walker takes the velocity (vx, vy).
struct TrackCorner {
    int32_t x, y, vx, vy;
};
struct Track {
    TrackCorner corners[4];
};

// A walker's offset from its track's origin and its velocity, whole pixels.
struct TrackWalker {
    int32_t x, y, vx, vy;
};

// Clockwise on screen round a w x h rectangle at the given speed.
constexpr Track ClockwiseTrack(int32_t w, int32_t h, int32_t speed) {
    return {{{0, 0, speed, 0}, {w, 0, 0, speed}, {w, h, -speed, 0}, {0, h, 0, -speed}}};
}
constexpr Track AnticlockwiseTrack(int32_t side, int32_t speed) {
    return {{{0, 0, 0, speed}, {0, side, speed, 0}, {side, side, 0, -speed}, {side, 0, -speed, 0}}};
}

// The corner rule: the walker steps, then turns if it stands on a corner.
void WalkTrack(TrackWalker* walker, const Track& track) {
    walker->x += walker->vx;
    walker->y += walker->vy;
    for (const TrackCorner& corner : track.corners) {
        if (walker->x == corner.x && walker->y == corner.y) {
            walker->vx = corner.vx;
            walker->vy = corner.vy;
        }
    }
}

// The slots of a walker `columns` x `rows` cells large, row by row, at origin + offset.
void PlaceWalker(int32_t slot, int32_t columns, int32_t rows, double originX, double originY,
                 const TrackWalker& walker) {
    for (int32_t k = 0; k < columns * rows; ++k) {
        ObjectPool.x[slot + k] = originX + walker.x + 32 * (k % columns);
        ObjectPool.y[slot + k] = originY + walker.y + 32 * (k / columns);
    }
}

struct TrackGroup {
    int32_t track;  // its origin is anchor `track`
    int32_t size;   // 2 for squares, 1 for single blocks
};

// Twin tracks: A, 192 x 384, and B, 128 x 160, both clockwise at 2.
constexpr Track kTwinTracks[2] = {ClockwiseTrack(192, 384, 2), ClockwiseTrack(128, 160, 2)};
constexpr int32_t kTwinSquares = 9;
constexpr TrackWalker kTwinStarts[kTwinSquares] = {
    {0, 0, 2, 0},    {192, 0, 0, 2}, {192, 192, 0, 2}, {192, 384, -2, 0}, {0, 384, 0, -2},
    {0, 192, 0, -2}, {0, 0, 2, 0},   {128, 64, 0, 2},  {32, 160, -2, 0},
};

// Nested tracks of sides 384, 256, 160 and 64, turning alternately.
constexpr Track kNestedTracks[4] = {AnticlockwiseTrack(384, 2), ClockwiseTrack(256, 256, 4),
                                    AnticlockwiseTrack(160, 1), ClockwiseTrack(64, 64, 2)};
constexpr int32_t kNestedWalkers = 28;
constexpr TrackGroup kNestedGroups[kNestedWalkers] = {
    {0, 2}, {0, 2}, {0, 2}, {0, 2}, {0, 2}, {0, 2}, {0, 2}, {0, 2}, {1, 2}, {1, 2},
    {1, 2}, {1, 2}, {1, 2}, {1, 2}, {1, 2}, {1, 2}, {2, 1}, {2, 1}, {2, 1}, {2, 1},
    {2, 1}, {2, 1}, {2, 1}, {2, 1}, {2, 1}, {2, 1}, {3, 2}, {3, 2},
};
constexpr TrackWalker kNestedStarts[kNestedWalkers] = {
    {192, 0, -2, 0},   {384, 0, -2, 0},   {384, 192, 0, -2}, {384, 384, 0, -2}, {192, 384, 2, 0},
    {0, 384, 2, 0},    {0, 192, 0, 2},    {0, 0, 0, 2},      {0, 128, 0, -4},   {0, 256, 0, -4},
    {128, 256, -4, 0}, {256, 256, -4, 0}, {256, 128, 0, 4},  {256, 0, 0, 4},    {128, 0, 4, 0},
    {0, 0, 4, 0},      {64, 0, -1, 0},    {128, 0, -1, 0},   {160, 32, 0, -1},  {160, 96, 0, -1},
    {160, 160, 0, -1}, {96, 160, 1, 0},   {32, 160, 1, 0},   {0, 128, 0, 1},    {0, 64, 0, 1},
    {0, 0, 0, 1},      {0, 0, 2, 0},      {64, 64, -2, 0},
};

// The solid block circles the square (96, 32) .. (160, 96), clockwise once it has come back
// up the left side.
constexpr Track kCirclingTrack = {
    {{96, 32, 1, 0}, {160, 32, 0, 1}, {160, 96, -1, 0}, {96, 96, 0, -1}}};
constexpr int32_t kCirclingColumns = 12;
constexpr int32_t kCirclingRows = 8;

struct TwinTrackState {
    int32_t frameBlocks;
    TrackWalker squares[kTwinSquares];
};
TwinTrackState gTwin;

struct NestedTrackState {
    int32_t frameBlocks;
    TrackWalker walkers[kNestedWalkers];
};
NestedTrackState gNested;

struct CirclingBlockState {
    int32_t frameBlocks;
    TrackWalker block;  // its offset mirrors anchor 0
};
CirclingBlockState gCircling;

}  // namespace

void TwinTrackFormation(int32_t mode, int32_t, int32_t) {
    double* originX = gWaves.waveAnchorX;
    double* originY = gWaves.waveAnchorY;
    if (mode == kFormationStart) {
        const RowRun rows[] = {
            {"111111111111100", 1}, {"100000000000000", 2}, {"100111100001100", 3},
            {"100111100000000", 2}, {"100111100111111", 5}, {"100000000111111", 2},
            {"100111111111111", 1},
        };
        int32_t n = PlacePattern(rows, std::size(rows), 0, -512, 0, kShapeBox);
        originX[0] = ObjectPool.x[0] + 32;
        originY[0] = ObjectPool.y[0] + 32;
        originX[1] = ObjectPool.x[0] + 288;
        originY[1] = originY[0];
        ParkObjects(n, 4 * kTwinSquares, 2, kShapeBox);
        ObjectPool.usedCount = n + 4 * kTwinSquares;
        gTwin.frameBlocks = n;
        std::copy(std::begin(kTwinStarts), std::end(kTwinStarts), gTwin.squares);
        return;
    }
    int32_t n = gTwin.frameBlocks;
    MoveSlotsDown(0, n, 1.0);
    originY[0] += 1.0;
    originY[1] += 1.0;
    for (int32_t s = 0; s < kTwinSquares; ++s) {
        int32_t track = s < 6 ? 0 : 1;
        WalkTrack(&gTwin.squares[s], kTwinTracks[track]);
        PlaceWalker(n + 4 * s, 2, 2, originX[track], originY[track], gTwin.squares[s]);
    }
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}

void NestedTrackFormation(int32_t mode, int32_t, int32_t) {
    double* originX = gWaves.waveAnchorX;
    double* originY = gWaves.waveAnchorY;
    if (mode == kFormationStart) {
        const RowRun rows[] = {
            {"1111111001111111", 1}, {"1000000000000001", 14}, {"1111111001111111", 1}};
        int32_t n = PlacePattern(rows, 3, 0, -512, 0, kShapeBox);
        for (int32_t i = 0; i < n; ++i) ObjectPool.x[i] -= 16;
        const double inset[4] = {32, 64, 64, 32};
        double x = ObjectPool.x[0], y = ObjectPool.y[0];
        for (int32_t track = 0; track < 4; ++track) {
            x += inset[track];
            y += inset[track];
            originX[track] = x;
            originY[track] = y;
        }
        int32_t slots = 0;
        for (const TrackGroup& group : kNestedGroups) slots += group.size * group.size;
        ParkObjects(n, slots, 2, kShapeBox);
        ObjectPool.usedCount = n + slots;
        gNested.frameBlocks = n;
        std::copy(std::begin(kNestedStarts), std::end(kNestedStarts), gNested.walkers);
        return;
    }
    int32_t n = gNested.frameBlocks;
    MoveSlotsDown(0, n, 1.0);
    for (int32_t track = 0; track < 4; ++track) originY[track] += 1.0;
    int32_t slot = n;
    for (int32_t w = 0; w < kNestedWalkers; ++w) {
        const TrackGroup& group = kNestedGroups[w];
        WalkTrack(&gNested.walkers[w], kNestedTracks[group.track]);
        PlaceWalker(slot, group.size, group.size, originX[group.track], originY[group.track],
                    gNested.walkers[w]);
        slot += group.size * group.size;
    }
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}

void CirclingBlockFormation(int32_t mode, int32_t, int32_t) {
    if (mode == kFormationStart) {
        const RowRun rows[] = {{"1111111111111", 1}, {"1110000000000", 10}, {"1111111111111", 1}};
        int32_t n = PlacePattern(rows, 3, 0, -384, 0, kShapeBox);
        ParkObjects(n, kCirclingColumns * kCirclingRows, 2, kShapeBox);
        ObjectPool.usedCount = n + kCirclingColumns * kCirclingRows;
        gCircling.frameBlocks = n;
        gCircling.block = {96, 32, 0, 1};
        gWaves.waveAnchorX[0] = 96;
        gWaves.waveAnchorY[0] = 32;
        return;
    }
    int32_t n = gCircling.frameBlocks;
    MoveSlotsDown(0, n, 0.5);
    TrackWalker& block = gCircling.block;
    WalkTrack(&block, kCirclingTrack);
    gWaves.waveAnchorX[0] = block.x;
    gWaves.waveAnchorY[0] = block.y;
    PlaceWalker(n, kCirclingColumns, kCirclingRows, ObjectPool.x[0], ObjectPool.y[0], block);
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}
