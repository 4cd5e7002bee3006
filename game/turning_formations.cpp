// Groups that turn while they sink: a ring that morphs into a square (id 43), a lattice turning
// about a circling middle (id 45), a diamond frame round a sliding core (id 50), hammers that
// lift and slam (id 53), rings that widen near the player (id 54), three rings (id 62),
// windmills in a maze (id 63) and two spinning triangles (id 69).
#include <cmath>

#include "formations.h"
#include "game_sounds.h"
#include "play_field.h"
#include "wave_engine.h"

namespace {

constexpr int32_t kMorphBalls = 16;
constexpr int32_t kMorphUpdates = 64;
constexpr int32_t kMorphHoldUpdates = 16;
constexpr double kMorphCircleRadius = 81.48733085241038;
constexpr double kMorphEndY = 720;

struct MorphRingState {
    int32_t squareX[kMorphBalls], squareY[kMorphBalls];  // square points from the centre
    double circleX[kMorphBalls], circleY[kMorphBalls];   // circle points from the centre
    double step[kMorphBalls];                            // pixels per update towards the square
    double direction[kMorphBalls];                       // radians, circle to square
    int32_t phase;  // 0 to the square, 1 hold, 2 back to the circle, 3 hold
    int32_t counter;
};
MorphRingState gMorph;

constexpr double kLatticeHalf = 352;
constexpr double kLatticeOrbit = 128;

struct SpinningLatticeState {
    SlotOffsets offsets;  // from the pivot
};
SpinningLatticeState gLattice;

constexpr int32_t kDiamondRows = 16;
constexpr double kDiamondTurn = 45;
constexpr double kDiamondEndY = 720;

struct DiamondCoreState {
    int32_t frameBalls;  // the frame's balls come first, then the core's
    SlotOffsets offsets;
    int32_t coreStep;  // pixels per update sideways
};
DiamondCoreState gDiamond;

constexpr int32_t kHammers = 3;
constexpr int32_t kHammerSlots = 8;  // pivot, three shaft balls, three head parts, the tip
constexpr int32_t kHammerRestUpdates = 64;
constexpr double kHammerLiftStep = 0.5;
constexpr double kHammerSlamStep = 2.0;

enum HammerState : int32_t { kHammerLifting = 0, kHammerSlamming = 1, kHammerResting = 2 };

struct HammerArmsState {
    int32_t blocks;
    int32_t state[kHammers];
    double angle[kHammers];  // degrees
    int32_t counter[kHammers];
    double restAngle, liftedAngle;
};
HammerArmsState gHammers;

constexpr int32_t kSensingSets = 2;
constexpr int32_t kSensingRings = 3;

struct SensingRingsState {
    double fieldHalfDiagonal;
    int32_t balls[kSensingRings];  // per ring
    double radius[kSensingSets][kSensingRings];
    int32_t state[kSensingSets];  // 0 narrow, 1 widening, 2 wide
};
SensingRingsState gSensing;

constexpr int32_t kTripleRings = 3;
constexpr int32_t kTripleRingBlocks = 16;
constexpr double kTripleRingRadius = 224;
constexpr double kTripleRingEndY = 720;

constexpr int32_t kWindmills = 4;
constexpr int32_t kWindmillSlots = 16;  // the hub and five spokes of three balls
constexpr int32_t kWindmillSpokes = 5;
constexpr double kWindmillFall = 0.75;
constexpr double kWindmillTurn = 1.5;

struct WindmillMazeState {
    int32_t blocks;
};
WindmillMazeState gWindmills;

constexpr int32_t kTrianglePoints = 15;
constexpr int32_t kTriangles = 2;
constexpr int32_t kRowBlocks = 13;
constexpr int32_t kLeadingRow = kTriangles * kTrianglePoints;
constexpr int32_t kTrailingRow = kLeadingRow + kRowBlocks;
constexpr int32_t kTriangleSlots = kTrailingRow + kRowBlocks;
constexpr double kTriangleTurnRadians = 2.0943951026666667;  // 120 degrees
constexpr double kTriangleFall = 0.75;
constexpr double kTriangleTurn = 1.5;

struct SpinningTrianglesState {
    double pointX[kTrianglePoints], pointY[kTrianglePoints];  // from the circumcentre
};
SpinningTrianglesState gTriangles;

}  // namespace

void MorphRingFormation(int32_t mode, int32_t, int32_t) {
    double& centreX = gWaves.waveAnchorX[0];
    double& centreY = gWaves.waveAnchorY[0];
    if (mode == kFormationStart) {
        // Clockwise from the top-left corner, five points a side.
        const int32_t squareX[kMorphBalls] = {16,  128, 240, 352, 464, 464, 464, 464,
                                              464, 352, 240, 128, 16,  16,  16,  16};
        const int32_t squareY[kMorphBalls] = {16,  16,  16,  16,  16,  128, 240, 352,
                                              464, 464, 464, 464, 464, 352, 240, 128};
        ObjectPool.usedCount = kMorphBalls;
        centreX = 240;
        centreY = -97.48733085241038;
        for (int32_t k = 0; k < kMorphBalls; ++k) {
            gMorph.squareX[k] = squareX[k] - 240;
            gMorph.squareY[k] = squareY[k] - 240;
            double a = (22.5 * k - 135) * kDegreesToRadians;
            gMorph.circleX[k] = std::cos(a) * kMorphCircleRadius;
            gMorph.circleY[k] = std::sin(a) * kMorphCircleRadius;
            double dx = gMorph.squareX[k] - gMorph.circleX[k];
            double dy = gMorph.squareY[k] - gMorph.circleY[k];
            gMorph.step[k] = std::sqrt(dx * dx + dy * dy) * 0.015625;
            gMorph.direction[k] = std::atan2(dy, dx);
            PlaceObject(k, centreX + gMorph.circleX[k], centreY + gMorph.circleY[k], 2, kShapeBall);
        }
        gMorph.phase = 0;
        gMorph.counter = 0;
        return;
    }
    centreY += 1.0;
    const int32_t t = gMorph.counter;
    for (int32_t k = 0; k < kMorphBalls; ++k) {
        double stepX = std::cos(gMorph.direction[k]) * gMorph.step[k];
        double stepY = std::sin(gMorph.direction[k]) * gMorph.step[k];
        double x, y;
        switch (gMorph.phase) {
            case 0:
                x = centreX + gMorph.circleX[k] + stepX * t;
                y = centreY + gMorph.circleY[k] + stepY * t;
                break;
            case 1:
                x = centreX + gMorph.squareX[k];
                y = centreY + gMorph.squareY[k];
                break;
            case 2:
                x = centreX + gMorph.squareX[k] - stepX * t;
                y = centreY + gMorph.squareY[k] - stepY * t;
                break;
            default:
                x = centreX + gMorph.circleX[k];
                y = centreY + gMorph.circleY[k];
                break;
        }
        ObjectPool.x[k] = x;
        ObjectPool.y[k] = y;
    }
    gMorph.counter += 1;
    bool morphing = gMorph.phase % 2 == 0;
    if (gMorph.counter == (morphing ? kMorphUpdates : kMorphHoldUpdates)) {
        if (morphing) SoundRequest[kEffectMechanism] = 1;
        gMorph.phase = (gMorph.phase + 1) % 4;
        gMorph.counter = 0;
    }
    if (centreY >= kMorphEndY) EndWave();
}

void SpinningLatticeFormation(int32_t mode, int32_t, int32_t) {
    double& turn = gWaves.waveAnchorAux[0];
    double& orbit = gWaves.waveAnchorAux[1];
    double& centreX = gWaves.waveAnchorX[0];
    double& centreY = gWaves.waveAnchorY[0];
    double& pivotX = gWaves.waveAnchorX[1];
    double& pivotY = gWaves.waveAnchorY[1];
    if (mode == kFormationStart) {
        const char* const pairs = "1100110011001100110011";
        const char* const empty = "0000000000000000000000";
        const char* rows[22];
        for (int32_t r = 0; r < 22; ++r) rows[r] = r % 4 < 2 ? pairs : empty;
        int32_t n = PlacePatternBlocks(rows, 22, 0, 0, 2, kShapeBall);
        TakeOffsets(0, n, kLatticeHalf, kLatticeHalf, &gLattice.offsets);
        ObjectPool.usedCount = n;
        turn = 0;
        orbit = 0;
        centreX = 240;
        centreY = -352;
        return;
    }
    turn += 0.25;
    orbit -= 1.0;
    centreY += 1.0;
    pivotX = centreX + std::cos(orbit * kDegreesToRadians) * kLatticeOrbit;
    pivotY = centreY + std::sin(orbit * kDegreesToRadians) * kLatticeOrbit;
    for (int32_t i = 0; i < ObjectPool.usedCount; ++i) {
        PlaceTurnedOffset(i, pivotX, pivotY, gLattice.offsets.x[i], gLattice.offsets.y[i],
                          turn * kTwoPi / 360);
    }
    // Until the lattice's farthest corner is below the field.
    if (pivotY >= std::sqrt(2.0) * kLatticeHalf + 480) EndWave();
}

void DiamondCoreFormation(int32_t mode, int32_t, int32_t) {
    double& frameX = gWaves.waveAnchorX[0];
    double& frameY = gWaves.waveAnchorY[0];
    double& coreX = gWaves.waveAnchorX[1];
    double& coreY = gWaves.waveAnchorY[1];
    double& turn = gWaves.waveAnchorAux[0];
    if (mode == kFormationStart) {
        const char* const rows[kDiamondRows] = {
            "0000001111000000", "0000001001000000", "0000111001111100", "0000000000000100",
            "0010222222220100", "0010222222220100", "1110222222220111", "1000222222220001",
            "1000222222220001", "1110222222220111", "0010222222220100", "0010222222220100",
            "0010000000000000", "0011111001110000", "0000001001000000", "0000001111000000",
        };
        int32_t n = PlacePatternBlocks(rows, kDiamondRows, 0, 0, 2, kShapeBall);
        TakeOffsets(0, n, 256, 256, &gDiamond.offsets);
        ObjectPool.usedCount = TakeGridMarks('2', kDiamondRows, kDiamondRows, n, 256, 256, 1,
                                             kShapeBall, &gDiamond.offsets);
        gDiamond.frameBalls = n;
        frameX = 240;
        frameY = -240;
        coreX = 240;
        coreY = -240;
        gDiamond.coreStep = -1;
        turn = kDiamondTurn;
        return;
    }
    coreX += gDiamond.coreStep;
    frameY += 0.5;
    coreY += 0.5;
    const SlotOffsets& offsets = gDiamond.offsets;
    for (int32_t i = 0; i < ObjectPool.usedCount; ++i) {
        bool frame = i < gDiamond.frameBalls;
        PlaceTurnedOffset(i, frame ? frameX : coreX, frame ? frameY : coreY, offsets.x[i],
                          offsets.y[i], turn * kTwoPi / 360);
    }
    if (coreX == 195 || coreX == 285) {
        gDiamond.coreStep = -gDiamond.coreStep;
        SoundRequest[kEffectClick] = 1;
    }
    if (frameY >= kDiamondEndY) EndWave();
}

void HammerArmsFormation(int32_t mode, int32_t, int32_t) {
    const int32_t n = gHammers.blocks;
    if (mode == kFormationStart) {
        // Six rows for each of the wall's three steps.
        const char* const steps[3] = {"111111100000011", "111110000001111", "111000000111111"};
        const char* rows[18];
        for (int32_t r = 0; r < 18; ++r) rows[r] = steps[r / 6];
        int32_t blocks = PlacePatternBlocks(rows, 18, 0, -576, 0, kShapeBox);
        ParkObjects(blocks, kHammers * kHammerSlots, 1, kShapeBall);
        // The shaft's last ball and the head's far end are coloured; the head's end and the tip
        // hit as boxes.
        gHammers.restAngle = std::acos(0.6666666666666666) / -kTwoPi * 360;
        gHammers.liftedAngle = std::acos(0.16666666666666666) / -kTwoPi * 360;
        for (int32_t h = 0; h < kHammers; ++h) {
            int32_t p = blocks + kHammerSlots * h;
            SetSlotLooks(p + 3, 1, 2, kShapeBall);
            SetSlotLooks(p + 6, 2, 2, kShapeBox);
            gHammers.counter[h] = 0;
        }
        gHammers.state[0] = kHammerLifting;
        gHammers.state[1] = kHammerSlamming;
        gHammers.state[2] = kHammerResting;
        gHammers.angle[0] = gHammers.restAngle;
        gHammers.angle[1] = gHammers.liftedAngle;
        gHammers.angle[2] = gHammers.restAngle;
        ObjectPool.usedCount = blocks + kHammers * kHammerSlots;
        gHammers.blocks = blocks;
        return;
    }
    MoveSlotsDown(0, n, 1.0);
    for (int32_t h = 0; h < kHammers; ++h) {
        double& angle = gHammers.angle[h];
        switch (gHammers.state[h]) {
            case kHammerLifting:
                angle -= kHammerLiftStep;
                if (angle <= gHammers.liftedAngle) {
                    angle = gHammers.liftedAngle;
                    gHammers.state[h] = kHammerSlamming;
                }
                break;
            case kHammerSlamming:
                angle += kHammerSlamStep;
                if (angle >= gHammers.restAngle) {
                    gHammers.counter[h] = 0;
                    angle = gHammers.restAngle;
                    SoundRequest[kEffectThud] = 1;
                    gHammers.state[h] = kHammerResting;
                }
                break;
            default:
                if (++gHammers.counter[h] == kHammerRestUpdates) {
                    gHammers.state[h] = kHammerLifting;
                }
                break;
        }
        int32_t p = n + kHammerSlots * h;
        double pivotX = ObjectPool.x[0] + 96 + 64 * h;
        double pivotY = ObjectPool.y[0] + 544 - 192 * h;
        ObjectPool.x[p] = pivotX;
        ObjectPool.y[p] = pivotY;
        for (int32_t j = 1; j <= 3; ++j) PlaceAtAngle(p + j, pivotX, pivotY, angle, 32 * j);
        for (int32_t j = 1; j <= 3; ++j) {
            ObjectPool.x[p + 3 + j] = ObjectPool.x[p + 3] + 32 * j;
            ObjectPool.y[p + 3 + j] = ObjectPool.y[p + 3];
        }
        ObjectPool.x[p + 7] = ObjectPool.x[p + 6];
        ObjectPool.y[p + 7] = ObjectPool.y[p + 6] - 32;
    }
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}

void SensingRingsFormation(int32_t mode, int32_t, int32_t) {
    SensingRingsState& s = gSensing;
    double* centreX = gWaves.waveAnchorX;
    double* centreY = gWaves.waveAnchorY;
    double* angle = gWaves.waveAnchorAux;
    const double d = s.fieldHalfDiagonal;
    if (mode == kFormationStart) {
        s.fieldHalfDiagonal = std::sqrt(2.0) * 480 * 0.5;
        int32_t perSet = 0;
        for (int32_t j = 0; j < kSensingRings; ++j) {
            double radius = s.fieldHalfDiagonal - 64 - 16 - 32 * j;
            s.balls[j] = static_cast<int32_t>(radius * 2 * kPi * 0.03125);
            for (int32_t set = 0; set < kSensingSets; ++set) s.radius[set][j] = radius;
            perSet += s.balls[j];
        }
        ParkObjects(0, kSensingSets * perSet, 1, kShapeBall);
        ObjectPool.usedCount = kSensingSets * perSet;
        centreX[0] = 0;
        centreY[0] = -480 - static_cast<int32_t>(s.fieldHalfDiagonal);
        centreX[1] = 480;
        centreY[1] = static_cast<int32_t>(-480 * std::sqrt(2.0) * 0.5);
        for (int32_t set = 0; set < kSensingSets; ++set) {
            angle[set] = 0;
            s.state[set] = 0;
        }
        return;
    }
    int32_t slot = 0;
    for (int32_t set = 0; set < kSensingSets; ++set) {
        centreY[set] += 2.0;
        double* radius = s.radius[set];
        if (s.state[set] == 0) {
            int32_t a = gPlayField.playerX - static_cast<int32_t>(centreX[set]);
            int32_t b = gPlayField.playerY - static_cast<int32_t>(centreY[set]);
            if (a * a + b * b <= (d + 16) * (d + 16)) {
                SoundRequest[kEffectSonic] = 1;
                s.state[set] = 1;
            }
        } else if (s.state[set] == 1) {
            for (int32_t j = 0; j < kSensingRings; ++j) radius[j] += 1.5;
            if (radius[0] >= d - 16) {
                for (int32_t j = 0; j < kSensingRings; ++j) radius[j] = d - 16 - 32 * j;
                s.state[set] = 2;
            }
        }
        angle[set] += set == 0 ? 1.0 : -1.0;
        for (int32_t j = 0; j < kSensingRings; ++j) {
            // Real division: the balls close their ring.
            double spacing = 360.0 / s.balls[j];
            for (int32_t m = 0; m < s.balls[j]; ++m, ++slot) {
                PlaceAtAngle(slot, centreX[set], centreY[set], m * spacing + angle[set], radius[j]);
            }
        }
    }
    if (centreY[0] >= 480 + d) EndWave();
}

void TripleRingFormation(int32_t mode, int32_t, int32_t) {
    double* centreX = gWaves.waveAnchorX;
    double* centreY = gWaves.waveAnchorY;
    double* angle = gWaves.waveAnchorAux;
    if (mode == kFormationStart) {
        ParkObjects(0, kTripleRings * kTripleRingBlocks, 2, kShapeBox);
        ObjectPool.usedCount = kTripleRings * kTripleRingBlocks;
        for (int32_t k = 0; k < kTripleRings; ++k) {
            centreX[k] = 240;
            centreY[k] = -240 - 480 * k;
            angle[k] = 0;
        }
        return;
    }
    for (int32_t k = 0; k < kTripleRings; ++k) {
        centreY[k] += 1.0;
        angle[k] += k % 2 == 0 ? 1.0 : -1.0;
        for (int32_t m = 0; m < kTripleRingBlocks; ++m) {
            PlaceAtAngle(kTripleRingBlocks * k + m, centreX[k], centreY[k], 22.5 * m + angle[k],
                         kTripleRingRadius);
        }
    }
    if (centreY[2] >= kTripleRingEndY) EndWave();
}

void WindmillMazeFormation(int32_t mode, int32_t, int32_t) {
    double* hubX = gWaves.waveAnchorX;
    double* hubY = gWaves.waveAnchorY;
    double* angle = gWaves.waveAnchorAux;
    const int32_t n = gWindmills.blocks;
    if (mode == kFormationStart) {
        const char* const open = "100000000000000";
        const char* const rightWall = "100000001111111";
        const char* const leftWall = "111111110000000";
        const char* const rows[21] = {
            "111111001111111", rightWall, rightWall, rightWall, rightWall,         open, open, open,
            leftWall,          open,      open,      open,      rightWall,         open, open, open,
            leftWall,          leftWall,  leftWall,  leftWall,  "111111111111100",
        };
        int32_t blocks = PlacePatternBlocks(rows, 21, 0, -672, 0, kShapeBox);
        ParkObjects(blocks, kWindmills * kWindmillSlots, 2, kShapeBall);
        ObjectPool.usedCount = blocks + kWindmills * kWindmillSlots;
        gWindmills.blocks = blocks;
        const double startX[kWindmills] = {144, 368, 144, 368};
        const double startY[kWindmills] = {-528, -400, -272, -144};
        for (int32_t k = 0; k < kWindmills; ++k) {
            hubX[k] = startX[k];
            hubY[k] = startY[k];
            angle[k] = 0;
        }
        return;
    }
    MoveSlotsDown(0, n, kWindmillFall);
    for (int32_t k = 0; k < kWindmills; ++k) {
        hubY[k] += kWindmillFall;
        angle[k] += k % 2 == 0 ? kWindmillTurn : -kWindmillTurn;
        int32_t hub = n + kWindmillSlots * k;
        ObjectPool.x[hub] = hubX[k];
        ObjectPool.y[hub] = hubY[k];
        for (int32_t s = 0; s < kWindmillSpokes; ++s) {
            for (int32_t j = 0; j < 3; ++j) {
                PlaceAtAngle(hub + 1 + 3 * s + j, hubX[k], hubY[k], 72 * s + angle[k],
                             32 * (j + 1));
            }
        }
    }
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}

void SpinningTrianglesFormation(int32_t mode, int32_t, int32_t) {
    double* centreX = gWaves.waveAnchorX;
    double* centreY = gWaves.waveAnchorY;
    double* angle = gWaves.waveAnchorAux;
    if (mode == kFormationStart) {
        // Three sides of five points from the top corner, then lowered by the circumradius.
        double* px = gTriangles.pointX;
        double* py = gTriangles.pointY;
        px[0] = 0;
        py[0] = 0;
        for (int32_t k = 1; k <= 5; ++k) {
            px[k] = px[0] + std::cos(kTriangleTurnRadians) * (32 * k);
            py[k] = py[0] + std::sin(kTriangleTurnRadians) * (32 * k);
        }
        for (int32_t k = 1; k <= 5; ++k) {
            px[5 + k] = px[5] + 32 * k;
            py[5 + k] = py[5];
        }
        for (int32_t k = 1; k <= 4; ++k) {
            px[10 + k] = px[10] + std::cos(-kTriangleTurnRadians) * (32 * k);
            py[10 + k] = py[10] + std::sin(-kTriangleTurnRadians) * (32 * k);
        }
        const double circumradius = 80 / std::sin(1.0471975513333334);
        for (int32_t k = 0; k < kTrianglePoints; ++k) py[k] -= circumradius;
        ParkObjects(0, kLeadingRow, 2, kShapeBall);
        centreX[0] = 240 - circumradius - 16;
        centreX[1] = 240 + circumradius + 16;
        centreY[0] = -circumradius - 16 - 32;
        centreY[1] = centreY[0];
        angle[0] = 0;
        angle[1] = 0;
        for (int32_t j = 0; j < kRowBlocks; ++j) {
            PlaceObject(kLeadingRow + j, 80 + 32 * j, -16, 1, kShapeBox);
            PlaceObject(kTrailingRow + j, 16 + 32 * j, -32 - 2 * (circumradius + 16) - 16, 1,
                        kShapeBox);
        }
        ObjectPool.usedCount = kTriangleSlots;
        return;
    }
    angle[0] += kTriangleTurn;
    angle[1] -= kTriangleTurn;
    centreY[0] += kTriangleFall;
    centreY[1] += kTriangleFall;
    MoveSlotsDown(kLeadingRow, 2 * kRowBlocks, kTriangleFall);
    for (int32_t t = 0; t < kTriangles; ++t) {
        for (int32_t k = 0; k < kTrianglePoints; ++k) {
            PlaceTurnedOffset(kTrianglePoints * t + k, centreX[t], centreY[t],
                              gTriangles.pointX[k], gTriangles.pointY[k], angle[t] * kTwoPi / 360);
        }
    }
    if (ObjectPool.y[kTriangleSlots - 1] >= kBelowField) EndWave();
}
