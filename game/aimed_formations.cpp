// Formations that aim at the player: a bar that slides over the lane the player nears (id 13),
// a line of balls fired at the player (ids 15-18), a hammer that flies beside the player and
// strikes (id 22), and three spinning discs that charge towards the player's side and swap
// places (id 23).
#include <orbek/orbek.h>

#include <cmath>
#include <initializer_list>

#include "formations.h"
#include "game_sounds.h"
#include "play_field.h"
#include "wave_engine.h"

namespace {

constexpr int32_t kLanes = 4;
constexpr int32_t kBarBlocks = 4;
constexpr int32_t kBarStep = 8;
constexpr int32_t kBarStartEdge = 128;
constexpr int32_t kLaneBarEndRowY = 480;

constexpr int32_t kLineBalls = 16;
constexpr double kLineSpeed = 12;

enum HammerState : int32_t {
    kHammerDescend = 0,
    kHammerFly = 1,
    kHammerSwingDown = 2,
    kHammerHoldDown = 3,
    kHammerSwingUp = 4,
    kHammerRest = 5,
    kHammerLeave = 6,
    kHammerWait = 7,
};
constexpr int32_t kHammerMaxObjects = 48;
constexpr int32_t kHammerStrikes = 4;
constexpr double kHammerRestAngle = -135;
constexpr double kHammerStrikeAngle = -225;

enum DiscState : int32_t {
    kDiscsEnter = 0,
    kDiscsAim = 1,
    kDiscsCharge = 2,
    kDiscsHold = 3,
    kDiscsReturn = 4,
    kDiscsRest = 5,
    kDiscsPickSwap = 6,
    kDiscsSwap = 7,
    kDiscsAimFast = 8,
    kDiscsChargeFast = 9,
    kDiscsHoldFast = 10,
    kDiscsReturnFast = 11,
    kDiscsWaitExit = 12,
    kDiscsExit = 13,
};
constexpr int32_t kDiscs = 3;
constexpr int32_t kDiscRings = 2;
constexpr int32_t kDiscBalls = 19;  // the centre and rings of 6 and 12
constexpr int32_t kDiscPasses = 3;
constexpr double kDiscRowY = 160;
constexpr double kDiscOrbitRadius = 160;
constexpr double kDiscExitY = 560;

struct LaneBarState {
    int32_t firstBar;
    int32_t leftEdge;
    int32_t target;
    int32_t moving;
};
LaneBarState gLaneBar;

struct AimedLineState {
    double velocityX, velocityY;
};
AimedLineState gLine;

struct HammerFormationState {
    int32_t offsetX[kHammerMaxObjects], offsetY[kHammerMaxObjects];  // from the pivot
    int32_t state;
    int32_t timer;
    int32_t strikes;
};
HammerFormationState gHammer;

struct DiscShuffleState {
    int32_t ringBalls[kDiscRings];
    double spin, orbit;  // degrees
    int32_t state, timer, pass, swaps;
    double step;  // the charge's pixels per frame, signed towards the player's side
    // The swap under way: discs i and j turn about their midpoint to each other's centre.
    int32_t swapped[2];
    double destinationX[2], destinationY[2];
    double swapAngle[2], swapStartAngle[2];
    double midX, midY, radius;
    int32_t turnSpeed;
    double exitHeading[kDiscs];
};
DiscShuffleState gDiscs;

// Aims the hammer at a point beside the player.
void AimHammer() {
    double& targetX = gWaves.waveAnchorX[1];
    double& targetY = gWaves.waveAnchorY[1];
    targetX = gPlayField.playerX + 144;
    targetY = gPlayField.playerY;
    gWaves.waveAnchorAux[1] =
        std::atan2(targetY - gWaves.waveAnchorY[0], targetX - gWaves.waveAnchorX[0]);
    gHammer.state = kHammerFly;
}

// Returns true when the hammer has left and the wave is over.
bool StepHammer() {
    double& pivotX = gWaves.waveAnchorX[0];
    double& pivotY = gWaves.waveAnchorY[0];
    double& angle = gWaves.waveAnchorAux[0];
    switch (gHammer.state) {
        case kHammerDescend:
            pivotY += 2;
            if (pivotY >= 208) {
                gHammer.state = kHammerWait;
                gHammer.timer = 0;
            }
            break;
        case kHammerWait:
            if (++gHammer.timer == 64) AimHammer();
            break;
        case kHammerFly: {
            double heading = gWaves.waveAnchorAux[1];
            pivotX += 8 * std::cos(heading);
            pivotY += 8 * std::sin(heading);
            double dx = gWaves.waveAnchorX[1] - pivotX;
            double dy = gWaves.waveAnchorY[1] - pivotY;
            if (dx * dx + dy * dy <= 256) {
                gHammer.state = kHammerSwingDown;
                SoundRequest[kEffectStrike] = 1;
            }
            break;
        }
        case kHammerSwingDown:
            angle -= 6;
            if (angle <= kHammerStrikeAngle) {
                gHammer.state = kHammerHoldDown;
                gHammer.timer = 0;
            }
            break;
        case kHammerHoldDown:
            if (++gHammer.timer == 16) gHammer.state = kHammerSwingUp;
            break;
        case kHammerSwingUp:
            angle += 6;
            if (angle >= kHammerRestAngle) {
                gHammer.state = kHammerRest;
                gHammer.timer = 0;
            }
            break;
        case kHammerRest:
            if (++gHammer.timer == 64) {
                gHammer.strikes += 1;
                if (gHammer.strikes >= kHammerStrikes) {
                    gHammer.state = kHammerLeave;
                } else {
                    AimHammer();
                }
            }
            break;
        case kHammerLeave:
            pivotY += 2;
            return pivotY >= 708;
        default:
            break;
    }
    return false;
}

double& DiscX(int32_t disc) {
    return gWaves.waveAnchorX[disc];
}
double& DiscY(int32_t disc) {
    return gWaves.waveAnchorY[disc];
}

// The charge runs towards the player: down, unless the player is higher than the middle disc.
void AimCharge(double speed) {
    gDiscs.step = gPlayField.playerY < DiscY(1) ? -speed : speed;
    SoundRequest[kEffectWhoosh] = 1;
}

// Discs 0 and 2 charge until disc 0 meets the field's top or bottom edge.
bool ChargeDiscs() {
    DiscY(0) += gDiscs.step;
    DiscY(2) += gDiscs.step;
    return DiscY(0) == 0 || DiscY(0) == 480;
}

// Discs 0 and 2 come back to the middle disc's row.
bool ReturnDiscs() {
    DiscY(0) -= gDiscs.step;
    DiscY(2) -= gDiscs.step;
    return DiscY(0) == DiscY(1);
}

void PickSwap() {
    int32_t i = RandomUpTo(2);
    int32_t j = RandomUpTo(2);
    while (j == i) j = RandomUpTo(2);
    gDiscs.swapped[0] = i;
    gDiscs.swapped[1] = j;
    gDiscs.destinationX[0] = std::trunc(DiscX(j));
    gDiscs.destinationY[0] = std::trunc(DiscY(j));
    gDiscs.destinationX[1] = std::trunc(DiscX(i));
    gDiscs.destinationY[1] = std::trunc(DiscY(i));
    // The two discs turn about the point halfway between them.
    gDiscs.midX = (DiscX(i) + DiscX(j)) / 2;
    gDiscs.midY = (DiscY(i) + DiscY(j)) / 2;
    gDiscs.radius = std::fabs(std::trunc(DiscX(i) - gDiscs.midX));
    for (int32_t k = 0; k < 2; ++k) {
        gDiscs.swapAngle[k] = DiscX(gDiscs.swapped[k]) <= gDiscs.midX ? 180 : 0;
        gDiscs.swapStartAngle[k] = gDiscs.swapAngle[k];
    }
    gDiscs.turnSpeed = (RandomUpTo(1) * 6 - 3) * (gDiscs.pass + 1);
    SoundRequest[kEffectJump] = 1;
}

// Returns true when the swap is complete.
bool TurnSwap() {
    for (int32_t k = 0; k < 2; ++k) {
        gDiscs.swapAngle[k] += gDiscs.turnSpeed;
        double a = gDiscs.swapAngle[k] * kDegreesToRadians;
        DiscX(gDiscs.swapped[k]) = gDiscs.midX + std::cos(a) * gDiscs.radius;
        DiscY(gDiscs.swapped[k]) = gDiscs.midY + std::sin(a) * gDiscs.radius;
    }
    if (std::fabs(gDiscs.swapAngle[0] - gDiscs.swapStartAngle[0]) != 180) return false;
    for (int32_t k = 0; k < 2; ++k) {
        DiscX(gDiscs.swapped[k]) = gDiscs.destinationX[k];
        DiscY(gDiscs.swapped[k]) = gDiscs.destinationY[k];
    }
    return true;
}

// Returns true when every disc has left at the bottom and the wave is over.
bool StepDiscs() {
    DiscShuffleState& d = gDiscs;
    switch (d.state) {
        case kDiscsEnter:
            DiscY(1) += 1.0;
            d.orbit += 1.5;
            for (int32_t disc : {0, 2}) {
                double degrees = disc == 0 ? d.orbit - 180 : d.orbit;
                double a = degrees * kDegreesToRadians;
                DiscX(disc) = DiscX(1) + std::cos(a) * kDiscOrbitRadius;
                DiscY(disc) = DiscY(1) + std::sin(a) * kDiscOrbitRadius;
            }
            if (DiscY(1) == kDiscRowY) {
                DiscX(0) = 80;
                DiscY(0) = kDiscRowY;
                DiscX(2) = 400;
                DiscY(2) = kDiscRowY;
                d.timer = 0;
                d.state = kDiscsAim;
            }
            break;
        case kDiscsAim:
        case kDiscsAimFast:
            if (++d.timer == 64) {
                bool fast = d.state == kDiscsAimFast;
                AimCharge(fast ? 16 : 4);
                d.state = fast ? kDiscsChargeFast : kDiscsCharge;
            }
            break;
        case kDiscsCharge:
        case kDiscsChargeFast:
            if (ChargeDiscs()) {
                d.timer = 0;
                d.state = d.state == kDiscsCharge ? kDiscsHold : kDiscsHoldFast;
            }
            break;
        case kDiscsHold:
        case kDiscsHoldFast:
            if (++d.timer == 32) d.state = d.state == kDiscsHold ? kDiscsReturn : kDiscsReturnFast;
            break;
        case kDiscsReturn:
            if (ReturnDiscs()) {
                d.timer = 0;
                d.state = kDiscsRest;
            }
            break;
        case kDiscsReturnFast:
            if (ReturnDiscs()) {
                d.pass += 1;
                d.timer = 0;
                d.state = d.pass < kDiscPasses ? kDiscsRest : kDiscsWaitExit;
            }
            break;
        case kDiscsRest:
            if (++d.timer == 48) {
                d.timer = 0;
                d.swaps = 0;
                d.state = kDiscsPickSwap;
            }
            break;
        case kDiscsPickSwap:
            if (++d.timer == 16) {
                PickSwap();
                d.state = kDiscsSwap;
            }
            break;
        case kDiscsSwap:
            if (TurnSwap()) {
                d.timer = 0;
                d.swaps += 1;
                d.state = d.swaps == 5 * d.pass + 5 ? kDiscsAimFast : kDiscsPickSwap;
            }
            break;
        case kDiscsWaitExit:
            if (++d.timer == 64) {
                for (int32_t disc = 0; disc < kDiscs; ++disc) {
                    double x = DiscX(disc);
                    d.exitHeading[disc] = x < 240 ? 100 : x == 240 ? 90 : 80;
                }
                d.state = kDiscsExit;
            }
            break;
        case kDiscsExit: {
            bool allOut = true;
            for (int32_t disc = 0; disc < kDiscs; ++disc) {
                double a = d.exitHeading[disc] * kDegreesToRadians;
                DiscX(disc) += 2 * std::cos(a);
                DiscY(disc) += 2 * std::sin(a);
                allOut = allOut && DiscY(disc) >= kDiscExitY;
            }
            return allOut;
        }
        default:
            break;
    }
    return false;
}

void PlaceDiscBalls() {
    double spin = gDiscs.spin * kDegreesToRadians;
    for (int32_t disc = 0; disc < kDiscs; ++disc) {
        double centreX = gWaves.waveAnchorX[disc];
        double centreY = gWaves.waveAnchorY[disc];
        int32_t slot = kDiscBalls * disc;
        ObjectPool.x[slot] = centreX;
        ObjectPool.y[slot] = centreY;
        ++slot;
        for (int32_t ring = 0; ring < kDiscRings; ++ring) {
            int32_t count = gDiscs.ringBalls[ring];
            double radius = 32.0 * (ring + 1);
            for (int32_t j = 0; j < count; ++j, ++slot) {
                double a = j * kTwoPi / count + spin;
                ObjectPool.x[slot] = centreX + std::cos(a) * radius;
                ObjectPool.y[slot] = centreY + std::sin(a) * radius;
            }
        }
    }
}

}  // namespace

void LaneBarFormation(int32_t mode, int32_t, int32_t) {
    if (mode == kFormationStart) {
        const RowRun rows[] = {{"110010010010011", 4}};
        int32_t n = PlacePattern(rows, 1, 0, -128, 0, kShapeBox);
        for (int32_t k = 0; k < kLanes; ++k) {
            gWaves.waveAnchorX[k] = 96 + 96 * k;
            gWaves.waveAnchorY[k] = -80;
        }
        ParkObjects(n, kBarBlocks, 2, kShapeBox);
        ObjectPool.usedCount = n + kBarBlocks;
        gLaneBar = {n, kBarStartEdge, kBarStartEdge, 0};
        return;
    }
    LaneBarState& bar = gLaneBar;
    MoveSlotsDown(0, bar.firstBar, 1.0);
    for (int32_t k = 0; k < kLanes; ++k) gWaves.waveAnchorY[k] += 1.0;
    int32_t rowY = static_cast<int32_t>(ObjectPool.y[0]) - 48;
    if (!bar.moving) {
        // The last lane the player is level with wins; the bar moves, with its sound, only when
        // that lane is not the one it already covers.
        int32_t target = bar.leftEdge;
        for (int32_t k = 0; k < kLanes; ++k) {
            if (std::fabs(gPlayField.playerX - gWaves.waveAnchorX[k]) <= 48 &&
                std::fabs(gPlayField.playerY - gWaves.waveAnchorY[k]) <= 64) {
                target = static_cast<int32_t>(gWaves.waveAnchorX[k]) - 64;
            }
        }
        bar.target = target;
        if (target != bar.leftEdge) {
            bar.moving = 1;
            SoundRequest[kEffectMechanism] = 1;
        }
    }
    if (bar.moving) {
        if (bar.leftEdge > bar.target) bar.leftEdge -= kBarStep;
        if (bar.leftEdge < bar.target) bar.leftEdge += kBarStep;
        if (bar.leftEdge == bar.target) bar.moving = 0;
    }
    for (int32_t b = 0; b < kBarBlocks; ++b) {
        ObjectPool.x[bar.firstBar + b] = bar.leftEdge + 16 + 32 * b;
        ObjectPool.y[bar.firstBar + b] = rowY + 16;
    }
    if (rowY >= kLaneBarEndRowY) EndWave();
}

void AimedLineFormation(int32_t mode, int32_t spawnX, int32_t spawnY) {
    if (mode == kFormationStart) {
        double a = std::atan2(gPlayField.playerY - spawnY, gPlayField.playerX - spawnX);
        double b = a + kPi;
        ObjectPool.usedCount = kLineBalls;
        for (int32_t i = 0; i < kLineBalls; ++i) {
            PlaceObject(i, spawnX + 32 * i * std::cos(b), spawnY + 32 * i * std::sin(b), 1,
                        kShapeBall);
        }
        gLine.velocityX = kLineSpeed * std::cos(a);
        gLine.velocityY = kLineSpeed * std::sin(a);
        SoundRequest[kEffectLaser] = 1;
        return;
    }
    for (int32_t i = 0; i < kLineBalls; ++i) {
        ObjectPool.x[i] += gLine.velocityX;
        ObjectPool.y[i] += gLine.velocityY;
    }
    if (!AnyObjectInField(0, kLineBalls)) EndWave();
}

void HammerFormation(int32_t mode, int32_t, int32_t) {
    if (mode == kFormationStart) {
        const RowRun rows[] = {{"00001110", 2}, {"11111111", 2}, {"00001110", 2}};
        int32_t n = PlacePattern(rows, 3, 0, -192, 2, kShapeBall);
        for (int32_t i = 0; i < n; ++i) {
            gHammer.offsetX[i] = static_cast<int32_t>(ObjectPool.x[i]) - 32;
            gHammer.offsetY[i] = static_cast<int32_t>(ObjectPool.y[i]) + 96;
        }
        ObjectPool.usedCount = n;
        gWaves.waveAnchorX[0] = 416;
        gWaves.waveAnchorY[0] = -64;
        gWaves.waveAnchorAux[0] = kHammerRestAngle;
        gHammer.strikes = 0;
        gHammer.state = kHammerDescend;
        gHammer.timer = 0;
        return;
    }
    bool over = StepHammer();
    double turn = gWaves.waveAnchorAux[0] * kDegreesToRadians;
    for (int32_t i = 0; i < ObjectPool.usedCount; ++i) {
        PlaceTurnedOffset(i, gWaves.waveAnchorX[0], gWaves.waveAnchorY[0], gHammer.offsetX[i],
                          gHammer.offsetY[i], turn);
    }
    if (over) EndWave();
}

void DiscShuffleFormation(int32_t mode, int32_t, int32_t) {
    if (mode == kFormationStart) {
        gDiscs.ringBalls[0] = static_cast<int32_t>(2 * kPi);
        gDiscs.ringBalls[1] = static_cast<int32_t>(4 * kPi);
        ObjectPool.usedCount = kDiscs * kDiscBalls;
        ParkObjects(0, kDiscs * kDiscBalls, 1, kShapeBall);
        for (int32_t disc = 0; disc < kDiscs; ++disc) {
            gWaves.waveAnchorX[disc] = 240;
            gWaves.waveAnchorY[disc] = -80;
        }
        gDiscs.spin = 0;
        gDiscs.orbit = 0;
        gDiscs.pass = 0;
        gDiscs.state = kDiscsEnter;
        gDiscs.timer = 0;
        gDiscs.swaps = 0;
        return;
    }
    bool over = StepDiscs();
    gDiscs.spin += 1.0;
    PlaceDiscBalls();
    if (over) EndWave();
}
