// Formations that play a game with the player: three toned blocks that show a sequence and
// then drop on the player in the same order (id 44), a block that copies the player's steering
// (id 57), and a room that opens only once four loose blocks are pushed into four cups (id 59).
#include <orbek/orbek.h>

#include <cmath>
#include <cstdlib>

#include "formations.h"
#include "game_sounds.h"
#include "input_sampling.h"
#include "play_field.h"
#include "wave_engine.h"

namespace {

constexpr int32_t kToneBlocks = 3;
constexpr int32_t kToneBlockSlots = 25;  // 5 by 5
constexpr int32_t kToneBlockColumns = 5;
constexpr int32_t kSequenceLength = 5;
constexpr int32_t kFirstDrops = 3;
constexpr int32_t kPauseUpdates = 96;
constexpr int32_t kHoldUpdates = 16;
constexpr double kDropSpeed = 16;
constexpr double kShowDepth = 240;
constexpr double kAttackDepth = 320;

enum TonePhase : int32_t {
    kToneEntry = 0,
    kTonePauseBeforeShow = 1,
    kToneShowDown = 2,
    kToneShowHold = 3,
    kToneShowUp = 4,
    kToneShowGap = 5,
    kTonePauseBeforeAttack = 6,
    kToneAttackDown = 7,
    kToneAttackHold = 8,
    kToneAttackUp = 9,
    kToneAttackGap = 10,
    kTonePauseBeforeExit = 11,
    kToneExitApart = 12,
    kToneExitDown = 13,
};

struct ToneMemoryState {
    int32_t phase;
    int32_t counter;
    int32_t length;  // drops in this cycle
    int32_t index;   // the drop being made
    int32_t current;
    int32_t sequence[kSequenceLength];
};
ToneMemoryState gTone;

constexpr double kPuppetTriggerY = 120;
constexpr double kFieldMinX = 16;
constexpr double kFieldMaxX = 464;

struct PuppetBlockState {
    int32_t phase;  // 0 waiting, 1 steered and falling
};
PuppetBlockState gPuppet;

constexpr int32_t kPuzzleSize = 15;
constexpr int32_t kCups = 4;
constexpr int32_t kLooseBlocks = 4;
constexpr int32_t kWallBlocks = 15;
constexpr int32_t kWallLeftBlocks = 4;  // those that move left when the wall opens
constexpr int32_t kPushSteps = 16;
constexpr int32_t kCupHoleX[kCups] = {144, 336, 144, 336};
constexpr int32_t kCupHoleY[kCups] = {176, 176, 368, 368};

struct PushPuzzleState {
    SlotOffsets offsets;
    int32_t firstWall, firstLoose;
    int32_t pushState[kLooseBlocks];  // 0 still, 1 being pushed
    int32_t pushX[kLooseBlocks], pushY[kLooseBlocks];
    int32_t steps[kLooseBlocks];
    int32_t cupFilled[kCups];
    int32_t opened;
    int32_t phase;  // 0 entering fast, 1 creeping past the player, 2 leaving fast
};
PushPuzzleState gPuzzle;

// The block at `current` starts its drop and sounds its tone.
void StartDrop(int32_t phase) {
    gTone.current = gTone.sequence[gTone.index];
    SoundRequest[kEffectToneDo + gTone.current] = 1;
    gTone.phase = phase;
}

// One update of a drop: down to `depth`, hold, back up to 0, then the next drop or `after`.
void RunDrop(int32_t down, int32_t hold, int32_t up, int32_t gap, double depth, int32_t after) {
    double& y = gWaves.waveAnchorY[gTone.current];
    if (gTone.phase == down) {
        y += kDropSpeed;
        if (y == depth) {
            gTone.phase = hold;
            gTone.counter = 0;
        }
    } else if (gTone.phase == hold) {
        if (++gTone.counter == kHoldUpdates) gTone.phase = up;
    } else if (gTone.phase == up) {
        y -= kDropSpeed;
        if (y == 0) {
            gTone.index += 1;
            gTone.counter = 0;
            gTone.phase = gTone.index == gTone.length ? after : gap;
        }
    } else if (++gTone.counter == kHoldUpdates) {
        StartDrop(down);
    }
}

// Whether the player stands within 16 of the point (x + dx, y + dy) on both axes.
bool PlayerNear(double x, double y, double dx, double dy) {
    return std::fabs(x + dx - gPlayField.playerX) <= 16 &&
           std::fabs(y + dy - gPlayField.playerY) <= 16;
}

// The player, standing next to loose block j, starts pushing it away.
void TryStartPush(int32_t j) {
    int32_t slot = gPuzzle.firstLoose + j;
    double x = ObjectPool.x[slot];
    double y = ObjectPool.y[slot];
    bool pushed = false;
    // A later match overrides an earlier one.
    const struct {
        double dx, dy;
        int32_t pushX, pushY;
    } sides[4] = {{0, -32, 0, 2}, {0, 32, 0, -2}, {-32, 0, 2, 0}, {32, 0, -2, 0}};
    for (const auto& side : sides) {
        if (!PlayerNear(x, y, side.dx, side.dy)) continue;
        gPuzzle.pushX[j] = side.pushX;
        gPuzzle.pushY[j] = side.pushY;
        pushed = true;
    }
    if (pushed) {
        gPuzzle.steps[j] = 0;
        gPuzzle.pushState[j] = 1;
    }
}

// Whether the cell offset (x, y) is free for loose block j: clear of every other live object
// of the room, inside the sides and below the wall.
bool PushTargetFree(int32_t j, int32_t x, int32_t y) {
    const SlotOffsets& o = gPuzzle.offsets;
    int32_t self = gPuzzle.firstLoose + j;
    for (int32_t i = 0; i < ObjectPool.usedCount; ++i) {
        if (i == self || ObjectPool.state[i] != kObjectAlive) continue;
        if (std::abs(o.x[i] - x) < 32 && std::abs(o.y[i] - y) < 32) return false;
    }
    return x >= 16 && x <= 464 && y >= o.y[gPuzzle.firstWall] + 32;
}

void ContinuePush(int32_t j) {
    SlotOffsets& o = gPuzzle.offsets;
    int32_t slot = gPuzzle.firstLoose + j;
    int32_t nx = o.x[slot] + gPuzzle.pushX[j];
    int32_t ny = o.y[slot] + gPuzzle.pushY[j];
    if (!PushTargetFree(j, nx, ny)) {
        gPuzzle.pushState[j] = 0;
        return;
    }
    if (gPuzzle.steps[j] == 0) SoundRequest[kEffectPush] = 1;
    o.x[slot] = nx;
    o.y[slot] = ny;
    if (++gPuzzle.steps[j] == kPushSteps) gPuzzle.pushState[j] = 0;
}

void UpdateCups() {
    const SlotOffsets& o = gPuzzle.offsets;
    int32_t filled = 0;
    for (int32_t t = 0; t < kCups; ++t) {
        int32_t now = 0;
        for (int32_t j = 0; j < kLooseBlocks; ++j) {
            int32_t slot = gPuzzle.firstLoose + j;
            if (ObjectPool.state[slot] == kObjectAlive && o.x[slot] == kCupHoleX[t] &&
                o.y[slot] == kCupHoleY[t]) {
                now = 1;
            }
        }
        if (now == 1 && gPuzzle.cupFilled[t] == 0) SoundRequest[kEffectMechanism] = 1;
        gPuzzle.cupFilled[t] = now;
        filled += now;
    }
    if (filled == kCups) gPuzzle.opened = 1;
}

}  // namespace

void ToneMemoryFormation(int32_t mode, int32_t, int32_t) {
    double* cornerX = gWaves.waveAnchorX;
    double* cornerY = gWaves.waveAnchorY;
    ToneMemoryState& t = gTone;
    if (mode == kFormationStart) {
        for (int32_t b = 0; b < kToneBlocks; ++b) {
            cornerX[b] = 160 * b;
            cornerY[b] = -160;
            ParkObjects(kToneBlockSlots * b, kToneBlockSlots, b, kShapeBox);
        }
        ObjectPool.usedCount = kToneBlocks * kToneBlockSlots;
        t.phase = kToneEntry;
        return;
    }
    switch (t.phase) {
        case kToneEntry:
            for (int32_t b = 0; b < kToneBlocks; ++b) cornerY[b] += 1;
            if (cornerY[0] == 0) {
                t.length = kFirstDrops;
                t.counter = 0;
                t.phase = kTonePauseBeforeShow;
                // Never the same block twice in a row.
                int32_t previous = -1;
                for (int32_t& entry : t.sequence) {
                    do {
                        entry = RandomUpTo(2);
                    } while (entry == previous);
                    previous = entry;
                }
            }
            break;
        case kTonePauseBeforeShow:
        case kTonePauseBeforeAttack:
            if (++t.counter == kPauseUpdates) {
                t.index = 0;
                StartDrop(t.phase == kTonePauseBeforeShow ? kToneShowDown : kToneAttackDown);
            }
            break;
        case kToneShowDown:
        case kToneShowHold:
        case kToneShowUp:
        case kToneShowGap:
            RunDrop(kToneShowDown, kToneShowHold, kToneShowUp, kToneShowGap, kShowDepth,
                    kTonePauseBeforeAttack);
            break;
        case kToneAttackDown:
        case kToneAttackHold:
        case kToneAttackUp:
        case kToneAttackGap: {
            // After the attack with every entry of the sequence, the blocks leave.
            int32_t next = t.length < kSequenceLength ? kTonePauseBeforeShow : kTonePauseBeforeExit;
            RunDrop(kToneAttackDown, kToneAttackHold, kToneAttackUp, kToneAttackGap, kAttackDepth,
                    next);
            // Each cycle drops one block more.
            if (t.phase == next) t.length += 1;
            break;
        }
        case kTonePauseBeforeExit:
            if (++t.counter == kPauseUpdates) t.phase = kToneExitApart;
            break;
        case kToneExitApart:
            for (int32_t b = 0; b < kToneBlocks; ++b) cornerY[b] += 2;
            cornerX[0] -= 1;
            cornerX[2] += 1;
            if (cornerX[0] == -64) t.phase = kToneExitDown;
            break;
        default:
            for (int32_t b = 0; b < kToneBlocks; ++b) cornerY[b] += 2;
            break;
    }
    for (int32_t b = 0; b < kToneBlocks; ++b) {
        PlaceBlockCells(kToneBlockSlots * b, kToneBlockSlots, kToneBlockColumns, cornerX[b],
                        cornerY[b]);
    }
    if (t.phase == kToneExitDown && cornerY[0] >= 480) EndWave();
}

void PuppetBlockFormation(int32_t mode, int32_t, int32_t) {
    double& puppetX = ObjectPool.x[0];
    double& puppetY = ObjectPool.y[0];
    double& obstacleX = ObjectPool.x[1];
    double& obstacleY = ObjectPool.y[1];
    if (mode == kFormationStart) {
        ParkObjects(0, 1, 0, kShapeBox);
        PlaceObject(1, 240, -16, 2, kShapeBox);
        ObjectPool.usedCount = 2;
        gPuppet.phase = 0;
        return;
    }
    obstacleY += 0.5;
    if (gPuppet.phase == 0) {
        if (obstacleY >= kPuppetTriggerY) {
            gPuppet.phase = 1;
            puppetX = gPlayField.playerX;
            puppetY = -16;
        }
        return;
    }
    if (ObjectPool.state[0] != kObjectExploding) {
        const GameInput& in = gGameInput;
        int32_t step = in.inDecide == 1 ? 2 : 4;
        double nx = puppetX;
        if (in.inLeft == 1) nx = puppetX - step;
        if (in.inRight == 1) nx = puppetX + step;
        bool clearOfObstacle =
            std::fabs(nx - obstacleX) >= 32 || std::fabs(puppetY - obstacleY) >= 32;
        // A player pressed against a side steers nothing.
        bool playerFree = gPlayField.playerX != 16 && gPlayField.playerX != 464;
        if (clearOfObstacle && nx >= kFieldMinX && nx <= kFieldMaxX && playerFree) puppetX = nx;
    }
    double ny = puppetY + 1.0;
    if (std::fabs(puppetX - obstacleX) < 32 && std::fabs(ny - obstacleY) < 32) {
        ny = obstacleY - 32;  // resting on the obstacle
    }
    puppetY = ny;
    if (puppetY >= kBelowField && obstacleY >= kBelowField) EndWave();
}

void PushPuzzleFormation(int32_t mode, int32_t, int32_t) {
    double& roomX = gWaves.waveAnchorX[0];
    double& roomY = gWaves.waveAnchorY[0];
    PushPuzzleState& p = gPuzzle;
    if (mode == kFormationStart) {
        // 1 the cups, 2 the top wall, 3 the loose blocks.
        const char* const rows[kPuzzleSize] = {
            "222222222222222", "000000000000000", "000000000000000", "000000030000000",
            "000000000110000", "000101000100000", "000111000110000", "000030000000000",
            "000000000000000", "000000000000000", "000111000011000", "000101000001000",
            "000000000011000", "000300000000000", "000000000000300",
        };
        WriteGridRows(rows, kPuzzleSize);
        int32_t slot =
            TakeGridMarks('1', kPuzzleSize, kPuzzleSize, 0, 0, 0, 1, kShapeBox, &p.offsets);
        p.firstWall = slot;
        slot = TakeGridMarks('2', kPuzzleSize, kPuzzleSize, slot, 0, 0, 0, kShapeBox, &p.offsets);
        p.firstLoose = slot;
        slot = TakeGridMarks('3', kPuzzleSize, kPuzzleSize, slot, 0, 0, 2, kShapeBox, &p.offsets);
        ObjectPool.usedCount = slot;
        roomX = 0;
        roomY = -480;
        for (int32_t j = 0; j < kLooseBlocks; ++j) p.pushState[j] = 0;
        for (int32_t t = 0; t < kCups; ++t) p.cupFilled[t] = 0;
        p.opened = 0;
        p.phase = 0;
        return;
    }
    for (int32_t j = 0; j < kLooseBlocks; ++j) {
        if (ObjectPool.state[p.firstLoose + j] != kObjectAlive) continue;
        if (p.pushState[j] == 0) {
            if (gPlayField.playerState != kPlayerExploding) TryStartPush(j);
        } else {
            ContinuePush(j);
        }
    }
    if (p.opened == 0) UpdateCups();
    if (p.opened == 1 && p.offsets.x[p.firstWall] > -16) {
        for (int32_t k = 0; k < kWallBlocks; ++k) {
            p.offsets.x[p.firstWall + k] += k < kWallLeftBlocks ? -2 : 2;
        }
    }
    if (p.phase == 1) {
        roomY += 0.375;
        if (roomY >= 320) p.phase = 2;
    } else {
        roomY += 2.0;
        if (p.phase == 0 && roomY >= -320) p.phase = 1;
    }
    PlaceAtOffsets(0, ObjectPool.usedCount, roomX, roomY, p.offsets);
    if (roomY >= 480) EndWave();
}
