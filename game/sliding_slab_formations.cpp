// Slabs of blocks that slide inside or against walls: pistons in a frame (id 38), two combs
// sliding past each other (id 39), a swinging slab between two walls (id 40), walls closing a
// chamber near the player (id 41), sliding pairs in a frame (id 46), four slabs trapping the
// player (id 51), pillars dropping onto the player (id 52) and four squares meeting in the
// middle (id 68).
#include <cmath>

#include "formations.h"
#include "game_sounds.h"
#include "play_field.h"
#include "wave_engine.h"

namespace {

constexpr int32_t kPistons = 6;
constexpr int32_t kPistonSlots = 6;  // 2 wide, 3 tall
constexpr int32_t kPistonRestUpdates = 32;

struct PistonState {
    int32_t blocks;
    int32_t offset[kPistons];  // how far each piston stands below its rest place
    int32_t speed[kPistons];   // pixels per update
    int32_t phase;             // 0 stroke, 1 rest
    int32_t counter;
};
PistonState gPiston;

constexpr double kCombTurnLeftX = 80;
constexpr double kCombTurnRightX = 128;
constexpr int32_t kCombRestUpdates = 32;

struct CombState {
    int32_t teethDown;  // slots of the comb with its teeth down, from 0
    SlotOffsets offsets;
    int32_t phase;  // 0 apart, 1 rest, 2 together, 3 rest
    int32_t counter;
};
CombState gComb;

constexpr int32_t kSlabSlots = 10;  // 5 wide, 2 tall
constexpr int32_t kSlabColumns = 5;

struct SwingingSlabState {
    int32_t blocks;
    int32_t angle;  // degrees
};
SwingingSlabState gSwingingSlab;

constexpr int32_t kClosingWallSlots = 32;  // 8 wide, 4 tall
constexpr int32_t kClosingWallColumns = 8;
constexpr double kClosingWallSpeed = 2.5;
constexpr double kClosedLeftX = -16;

struct ClosingWallsState {
    int32_t blocks;
    int32_t phase;  // 0 open, 1 closing, 2 closed
};
ClosingWallsState gClosingWalls;

constexpr int32_t kSlidingPairs = 6;
constexpr double kPairTurnLeftX = 176;
constexpr double kPairTurnRightX = 304;

struct SlidingPairsState {
    int32_t blocks;
    double speed;
};
SlidingPairsState gSlidingPairs;

constexpr int32_t kTrapSlabs = 4;
constexpr int32_t kTrapSlabSlots = 47;
constexpr int32_t kTrapRows = 8;
constexpr int32_t kTrapColumns = 24;
constexpr double kTrapMeetY = 224;
constexpr double kTrapLowerStopY = 352;

struct QuadrantTrapState {
    SlotOffsets offsets;
    int32_t firstSlot[kTrapSlabs];
    int32_t phase;  // 0 closing in, 1 wobbling, 2 splitting apart
    double speedX, speedY;
    int32_t bounces;
};
QuadrantTrapState gTrap;

constexpr int32_t kPillars = 4;
constexpr int32_t kPillarSlots = 8;  // 2 wide, 4 tall
constexpr int32_t kPillarColumns = 2;
constexpr double kPillarTopSpeed = 8;
constexpr double kPillarFloor = 144;  // below slot 0

struct DroppingPillarsState {
    int32_t blocks;
    int32_t state[kPillars];  // 0 waiting, 1 falling, 2 landed
    double speed[kPillars];
};
DroppingPillarsState gPillars;

constexpr int32_t kSquares = 4;
constexpr int32_t kSquareSlots = 64;  // 8 by 8
constexpr int32_t kSquareColumns = 8;
constexpr int32_t kSquareTurnX[kSquares] = {-16, 240, -16, 240};
constexpr double kLateSquareEndX = -256;

struct ConvergingSquaresState {
    int32_t velocityX[kSquares], velocityY[kSquares];
    int32_t turned[kSquares];
};
ConvergingSquaresState gSquares;

}  // namespace

void PistonFrameFormation(int32_t mode, int32_t, int32_t) {
    if (mode == kFormationStart) {
        const char* const rows[12] = {
            "001111111111111", "001100000011111", "001100000011111", "001100000011111",
            "001100000011111", "000000000000000", "000000000000000", "111100000011100",
            "111100000011100", "111100000011100", "111100000011100", "111111111111100",
        };
        int32_t n = PlacePatternBlocks(rows, 12, 0, -384, 0, kShapeBox);
        ParkObjects(n, kPistons * kPistonSlots, 2, kShapeBox);
        ObjectPool.usedCount = n + kPistons * kPistonSlots;
        const int32_t offsets[kPistons] = {0, 64, 0, 0, -64, 0};
        for (int32_t g = 0; g < kPistons; ++g) {
            gPiston.offset[g] = offsets[g];
            gPiston.speed[g] = g % 2 == 0 ? 2 : -2;
        }
        gPiston.blocks = n;
        gPiston.phase = 0;
        gPiston.counter = 0;
        return;
    }
    MoveSlotsDown(0, gPiston.blocks, 0.5);
    if (gPiston.phase == 0) {
        for (int32_t g = 0; g < kPistons; ++g) gPiston.offset[g] += gPiston.speed[g];
        if ((gPiston.speed[0] > 0 && gPiston.offset[0] == 64) ||
            (gPiston.speed[0] < 0 && gPiston.offset[0] == 0)) {
            SoundRequest[kEffectClick] = 1;
            gPiston.phase = 1;
            gPiston.counter = 0;
        }
    } else if (++gPiston.counter == kPistonRestUpdates) {
        for (int32_t g = 0; g < kPistons; ++g) gPiston.speed[g] = -gPiston.speed[g];
        gPiston.phase = 0;
    }
    const double chamberX[3] = {48, 112, 176};
    for (int32_t g = 0; g < kPistons; ++g) {
        double cornerX = ObjectPool.x[0] + chamberX[g % 3];
        double cornerY = ObjectPool.y[0] + (g < 3 ? 16 : 16 + 224);
        PlaceBlockCells(gPiston.blocks + kPistonSlots * g, kPistonSlots, 2, cornerX,
                        cornerY + gPiston.offset[g]);
    }
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}

void MeshingCombsFormation(int32_t mode, int32_t, int32_t) {
    double& combAX = gWaves.waveAnchorX[0];
    double& combAY = gWaves.waveAnchorY[0];
    double& combBX = gWaves.waveAnchorX[1];
    double& combBY = gWaves.waveAnchorY[1];
    if (mode == kFormationStart) {
        const char* const teethDown[3] = {"0001111111111111", "0001001001001000",
                                          "0001001001001000"};
        int32_t n = PlacePatternBlocks(teethDown, 3, 0, -96, 2, kShapeBox);
        TakeOffsets(0, n, 96, -96, &gComb.offsets);
        const char* const teethUp[3] = {"0002002002002000", "0002002002002000", "2222222222222000"};
        WriteGridRows(teethUp, 3);
        ObjectPool.usedCount = TakeGridMarks('2', 3, 16, n, 0, 0, 1, kShapeBox, &gComb.offsets);
        gComb.teethDown = n;
        combAX = 80;
        combAY = -192;
        combBX = -16;
        combBY = -96;
        SoundRequest[kEffectSlide] = 1;
        gComb.phase = 0;
        gComb.counter = 0;
        return;
    }
    combAY += 0.5;
    combBY += 0.5;
    switch (gComb.phase) {
        case 0:
            combAX += 1;
            combBX -= 1;
            if (combAX == kCombTurnRightX) {
                gComb.phase = 1;
                gComb.counter = 0;
            }
            break;
        case 2:
            combAX -= 1;
            combBX += 1;
            if (combAX == kCombTurnLeftX) {
                gComb.phase = 3;
                gComb.counter = 0;
            }
            break;
        default:  // resting after a slide
            if (++gComb.counter == kCombRestUpdates) {
                SoundRequest[kEffectSlide] = 1;
                gComb.phase = (gComb.phase + 1) % 4;
            }
            break;
    }
    int32_t n = gComb.teethDown;
    PlaceAtOffsets(0, n, combAX, combAY, gComb.offsets);
    PlaceAtOffsets(n, ObjectPool.usedCount - n, combBX, combBY, gComb.offsets);
    if (combAY >= 480) EndWave();
}

void SwingingSlabFormation(int32_t mode, int32_t, int32_t) {
    double& slabX = gWaves.waveAnchorX[0];
    double& slabY = gWaves.waveAnchorY[0];
    if (mode == kFormationStart) {
        const char* const rows[4] = {"111111000111111", "000000000000000", "000000000000000",
                                     "111111000111111"};
        int32_t n = PlacePatternBlocks(rows, 4, 0, -128, 0, kShapeBox);
        ParkObjects(n, kSlabSlots, 2, kShapeBox);
        ObjectPool.usedCount = n + kSlabSlots;
        gSwingingSlab.blocks = n;
        gSwingingSlab.angle = 0;
        slabY = -96;
        return;
    }
    MoveSlotsDown(0, gSwingingSlab.blocks, 1.0);
    slabY += 1.0;
    gSwingingSlab.angle += 4;
    slabX = std::sin(gSwingingSlab.angle * kDegreesToRadians) * 80 + 160;
    PlaceBlockCells(gSwingingSlab.blocks, kSlabSlots, kSlabColumns, slabX, slabY);
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}

void ClosingWallsFormation(int32_t mode, int32_t, int32_t) {
    double& leftX = gWaves.waveAnchorX[0];
    double& leftY = gWaves.waveAnchorY[0];
    double& rightX = gWaves.waveAnchorX[1];
    double& rightY = gWaves.waveAnchorY[1];
    const int32_t n = gClosingWalls.blocks;
    if (mode == kFormationStart) {
        const char* const rows[6] = {"111111111001111", "000000000000000", "000000000000000",
                                     "000000000000000", "000000000000000", "110011111111111"};
        int32_t blocks = PlacePatternBlocks(rows, 6, 0, -192, 2, kShapeBox);
        ParkObjects(blocks, 2 * kClosingWallSlots, 0, kShapeBox);
        ObjectPool.usedCount = blocks + 2 * kClosingWallSlots;
        gClosingWalls.blocks = blocks;
        leftX = -256;
        leftY = -160;
        rightX = 480;
        rightY = -160;
        gClosingWalls.phase = 0;
        return;
    }
    MoveSlotsDown(0, n, 1.0);
    leftY += 1.0;
    rightY += 1.0;
    if (gClosingWalls.phase == 0) {
        if (ObjectPool.y[0] + 160 >= gPlayField.playerY) gClosingWalls.phase = 1;
    } else if (gClosingWalls.phase == 1) {
        leftX += kClosingWallSpeed;
        rightX -= kClosingWallSpeed;
        if (leftX == kClosedLeftX) {
            SoundRequest[kEffectMechanism] = 1;
            gClosingWalls.phase = 2;
        }
    }
    PlaceBlockCells(n, kClosingWallSlots, kClosingWallColumns, leftX, leftY);
    PlaceBlockCells(n + kClosingWallSlots, kClosingWallSlots, kClosingWallColumns, rightX, rightY);
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}

void SlidingPairsFormation(int32_t mode, int32_t, int32_t) {
    const int32_t n = gSlidingPairs.blocks;
    if (mode == kFormationStart) {
        const char* const rows[6] = {"100111111111111", "000010000010000", "000000000000000",
                                     "000000000000000", "000100000100000", "111111111111001"};
        int32_t blocks = PlacePatternBlocks(rows, 6, 0, -192, 0, kShapeBox);
        const double upperX[kSlidingPairs] = {112, 304, 496, -48, 144, 336};
        for (int32_t p = 0; p < kSlidingPairs; ++p) {
            double y = p < 3 ? -144 : -80;
            PlaceObject(blocks + 2 * p, upperX[p], y, 1, kShapeBox);
            PlaceObject(blocks + 2 * p + 1, upperX[p], y + 32, 1, kShapeBox);
        }
        ObjectPool.usedCount = blocks + 2 * kSlidingPairs;
        gSlidingPairs.blocks = blocks;
        gSlidingPairs.speed = -0.5;
        return;
    }
    MoveSlotsDown(0, ObjectPool.usedCount, 0.5);
    for (int32_t p = 0; p < kSlidingPairs; ++p) {
        int32_t upper = n + 2 * p;
        ObjectPool.x[upper] += p < 3 ? gSlidingPairs.speed : -gSlidingPairs.speed;
        ObjectPool.x[upper + 1] = ObjectPool.x[upper];
    }
    double turnX = ObjectPool.x[n + 2];
    if (turnX == kPairTurnLeftX || turnX == kPairTurnRightX)
        gSlidingPairs.speed = -gSlidingPairs.speed;
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}

void QuadrantTrapFormation(int32_t mode, int32_t, int32_t) {
    double* slabX = gWaves.waveAnchorX;
    double* slabY = gWaves.waveAnchorY;
    if (mode == kFormationStart) {
        const char* const rows[kTrapRows] = {
            "111111111111222222222222", "111111111111222222222222", "111111111111222222222222",
            "111111111110022222222222", "333333333330044444444444", "333333333333444444444444",
            "333333333333444444444444", "333333333333444444444444",
        };
        WriteGridRows(rows, kTrapRows);
        const int32_t originX[kTrapSlabs] = {0, 384, 0, 384};
        const int32_t originY[kTrapSlabs] = {0, 0, 128, 128};
        const double startX[kTrapSlabs] = {-144, 240, -144, 240};
        const double startY[kTrapSlabs] = {-128, -128, 480, 480};
        int32_t slot = 0;
        for (int32_t s = 0; s < kTrapSlabs; ++s) {
            gTrap.firstSlot[s] = slot;
            slot = TakeGridMarks(static_cast<char>('1' + s), kTrapRows, kTrapColumns, slot,
                                 originX[s], originY[s], 2, kShapeBox, &gTrap.offsets);
            slabX[s] = startX[s];
            slabY[s] = startY[s];
        }
        ObjectPool.usedCount = slot;
        gTrap.phase = 0;
        return;
    }
    bool ended = false;
    switch (gTrap.phase) {
        case 0:
            slabY[0] += 1;
            slabY[1] += 1;
            if (slabY[0] == kTrapMeetY) {
                gTrap.phase = 1;
                gTrap.speedX = -0.5;
                gTrap.speedY = -0.5;
                gTrap.bounces = 0;
                SoundRequest[kEffectThud] = 1;
            }
            if (slabY[2] > kTrapLowerStopY) {
                slabY[2] -= 1;
                slabY[3] -= 1;
            }
            break;
        case 1:
            for (int32_t s = 0; s < kTrapSlabs; ++s) {
                slabX[s] += gTrap.speedX;
                slabY[s] += gTrap.speedY;
            }
            if (slabX[0] <= -288 || slabX[0] >= 0) {
                gTrap.speedX = -gTrap.speedX;
                SoundRequest[kEffectMechanism] = 1;
            }
            if (slabY[0] <= 0 || slabY[0] >= kTrapMeetY) {
                gTrap.speedY = -gTrap.speedY;
                gTrap.bounces += 1;
                SoundRequest[kEffectMechanism] = 1;
            }
            if (gTrap.bounces == 3 && slabY[0] >= 112) gTrap.phase = 2;
            break;
        default:
            for (int32_t s = 0; s < kTrapSlabs; ++s) {
                slabX[s] += s % 2 == 0 ? -1 : 1;
                slabY[s] += 1;
            }
            ended = slabY[0] >= 480;
            break;
    }
    for (int32_t s = 0; s < kTrapSlabs; ++s) {
        PlaceAtOffsets(gTrap.firstSlot[s], kTrapSlabSlots, slabX[s], slabY[s], gTrap.offsets);
    }
    if (ended) EndWave();
}

void DroppingPillarsFormation(int32_t mode, int32_t, int32_t) {
    double* cornerX = gWaves.waveAnchorX;
    double* cornerY = gWaves.waveAnchorY;
    const int32_t n = gPillars.blocks;
    if (mode == kFormationStart) {
        const char* const rows[10] = {
            "001111111111111", "001000000001111", "001000000001111", "001000000001111",
            "001000000001111", "001000000001000", "001000000001000", "000000000000000",
            "000000000000000", "111111111111100",
        };
        int32_t blocks = PlacePatternBlocks(rows, 10, 0, -320, 0, kShapeBox);
        for (int32_t k = 0; k < kPillars; ++k) {
            ParkObjects(blocks + kPillarSlots * k, kPillarSlots, k % 2 == 0 ? 2 : 1, kShapeBox);
            cornerX[k] = 96 + 64 * k;
            cornerY[k] = -288;
            gPillars.state[k] = 0;
        }
        ObjectPool.usedCount = blocks + kPillars * kPillarSlots;
        gPillars.blocks = blocks;
        return;
    }
    MoveSlotsDown(0, n, 0.5);
    const int32_t playerX = gPlayField.playerX;
    const int32_t playerY = gPlayField.playerY;
    for (int32_t k = 0; k < kPillars; ++k) {
        cornerY[k] += 0.5;
        if (gPillars.state[k] == 0) {
            if (cornerX[k] + 63 >= playerX && playerX + 31 >= cornerX[k] &&
                cornerY[k] + 255 >= playerY && playerY + 31 >= cornerY[k]) {
                gPillars.speed[k] = 0;
                gPillars.state[k] = 1;
            }
        } else if (gPillars.state[k] == 1) {
            if (gPillars.speed[k] < kPillarTopSpeed) gPillars.speed[k] += 0.5;
            cornerY[k] += gPillars.speed[k];
            if (cornerY[k] >= ObjectPool.y[0] + kPillarFloor) {
                cornerY[k] = ObjectPool.y[0] + kPillarFloor;
                SoundRequest[kEffectClick] = 1;
                gPillars.state[k] = 2;
            }
        }
        PlaceBlockCells(n + kPillarSlots * k, kPillarSlots, kPillarColumns, cornerX[k], cornerY[k]);
    }
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}

void ConvergingSquaresFormation(int32_t mode, int32_t, int32_t) {
    double* cornerX = gWaves.waveAnchorX;
    double* cornerY = gWaves.waveAnchorY;
    if (mode == kFormationStart) {
        ParkObjects(0, kSquares * kSquareSlots, 0, kShapeBox);
        ObjectPool.usedCount = kSquares * kSquareSlots;
        const double startX[kSquares] = {-256, 480, -320, 480};
        const double startY[kSquares] = {-256, -256, 544, 480};
        const int32_t velocityX[kSquares] = {1, -1, 1, -1};
        const int32_t velocityY[kSquares] = {1, 1, -1, -1};
        for (int32_t k = 0; k < kSquares; ++k) {
            cornerX[k] = startX[k];
            cornerY[k] = startY[k];
            gSquares.velocityX[k] = velocityX[k];
            gSquares.velocityY[k] = velocityY[k];
            gSquares.turned[k] = 0;
        }
        return;
    }
    for (int32_t k = 0; k < kSquares; ++k) {
        cornerX[k] += gSquares.velocityX[k];
        cornerY[k] += gSquares.velocityY[k];
        if (gSquares.turned[k] == 0 && cornerX[k] == kSquareTurnX[k]) {
            gSquares.velocityX[k] = -gSquares.velocityX[k];
            gSquares.velocityY[k] = -gSquares.velocityY[k];
            gSquares.turned[k] = 1;
            SoundRequest[kEffectMechanism] = 1;
        }
        PlaceBlockCells(kSquareSlots * k, kSquareSlots, kSquareColumns, cornerX[k], cornerY[k]);
    }
    if (gSquares.turned[2] != 0 && cornerX[2] <= kLateSquareEndX) EndWave();
}
