// Mazes the player threads through: a panel three screens wide sliding under the player
// (id 48), a maze swaying sideways (id 56), a runner chasing through a maze's corridor (id 60),
// fixed walls among bobbing ones (id 64), bobbing pillars above swaying bars (id 66) and doors
// that slide shut when the player comes near (id 67).
#include <cmath>
#include <cstdlib>

#include "formations.h"
#include "game_sounds.h"
#include "play_field.h"
#include "wave_engine.h"

namespace {

constexpr double kPanelTopSpeed = 8;
constexpr double kPanelAcceleration = 0.125;
constexpr double kPanelLeftX = -960;
constexpr int32_t kPanelRestUpdates = 64;

struct SlidingPanelState {
    SlotOffsets offsets;
    double speed;
    int32_t phase;  // 0 sliding left, 1 rest, 2 sliding right, 3 rest
    int32_t counter;
};
SlidingPanelState gPanel;

constexpr double kMazeSwayLeftX = -128;

struct SwayingMazeState {
    SlotOffsets offsets;
    double speed;
};
SwayingMazeState gSwayingMaze;

constexpr int32_t kRunnerSlots = 4;  // 2 by 2
constexpr int32_t kWaypoints = 8;
constexpr int32_t kRunnerStartUpdates = 8;
constexpr int32_t kRunnerTurnUpdates = 2;

struct Waypoint {
    int32_t x, y;          // from the maze's origin
    int32_t stepX, stepY;  // the direction taken there
};
constexpr Waypoint kWaypointTable[kWaypoints] = {
    {32, 288, 0, -4},  {32, 96, 4, 0},   {128, 96, 0, 4},  {128, 192, 4, 0},
    {384, 192, 0, -4}, {384, 32, -4, 0}, {192, 32, 0, -4}, {192, 0, 0, 0},
};

struct CorridorRunnerState {
    int32_t blocks;
    int32_t runnerX, runnerY;  // from the maze's origin
    int32_t stepX, stepY;
    int32_t nextWaypoint;
    int32_t phase;  // 0 waiting for the player, 1 starting, 2 running, 3 turning, 4 stopped
    int32_t counter;
};
CorridorRunnerState gRunner;

constexpr double kBobLimit = 32;

struct BobbingLayerState {
    int32_t blocks;
    SlotOffsets offsets;
    double bobSpeed;
};
BobbingLayerState gBobbing;

constexpr int32_t kPillarGroups = 3;
constexpr int32_t kBarGroups = 3;
constexpr int32_t kGroupSlots = 10;

struct PillarsAndBarsState {
    int32_t blocks;
    int32_t angle;  // degrees
};
PillarsAndBarsState gPillarsAndBars;

constexpr int32_t kDoors = 4;
constexpr int32_t kDoorSlots = 4;  // 2 by 2
constexpr int32_t kDoorSlideUpdates = 64;

struct DoorData {
    int32_t x, y;                // top-left corner from the maze's origin
    int32_t triggerX, triggerY;  // the point the player must near
    int32_t stepX, stepY;
};
constexpr DoorData kDoorTable[kDoors] = {
    {32, 32, 64, 128, 0, 1},
    {384, 32, 352, 64, -1, 0},
    {416, 224, 384, 256, -1, 0},
    {128, 288, 160, 256, 0, -1},
};

struct SlidingDoorsState {
    int32_t blocks;
    int32_t x[kDoors], y[kDoors];
    int32_t state[kDoors];  // 0 open, 1 sliding, 2 shut
    int32_t counter[kDoors];
};
SlidingDoorsState gDoors;

// Accelerates the panel towards its top speed.
void SpeedUpPanel() {
    if (gPanel.speed < kPanelTopSpeed) gPanel.speed += kPanelAcceleration;
}

}  // namespace

void SlidingMazePanelFormation(int32_t mode, int32_t, int32_t) {
    double& panelX = gWaves.waveAnchorX[0];
    double& panelY = gWaves.waveAnchorY[0];
    if (mode == kFormationStart) {
        const char* const top = "111111111111111111111111111111111111111110001";
        const char* const a = "100000000000000000000000001111111111111100001";
        const char* const b = "100001111111111111111110000000000000000000001";
        const char* const c = "100011111111111111111111111111111111111111111";
        const char* const d = "100001111111111111000000000000000000000000001";
        const char* const e = "100000000000000000000001111111111111111100001";
        const char* const f = "100000000000000000000000000001111111111100001";
        const char* const g = "100001111111111111111100000000000000000000001";
        const char* const bottom = "100111111111111111111111111111111111111111111";
        const char* const rows[16] = {top, a, a, b, b, c, d, d, e, e, top, f, f, g, g, bottom};
        int32_t n = PlacePatternBlocks(rows, 16, 0, 0, 0, kShapeBox);
        TakeOffsets(0, n, 0, 0, &gPanel.offsets);
        ObjectPool.usedCount = n;
        SoundRequest[kEffectAlarm] = 1;
        panelX = 0;
        panelY = -512;
        gPanel.speed = 0;
        gPanel.phase = 0;
        return;
    }
    panelY += 0.5;
    switch (gPanel.phase) {
        case 0:
            SpeedUpPanel();
            panelX -= gPanel.speed;
            if (panelX <= kPanelLeftX) {
                panelX = kPanelLeftX;
                SoundRequest[kEffectMechanism] = 1;
                gPanel.counter = 0;
                gPanel.phase = 1;
            }
            break;
        case 2:
            SpeedUpPanel();
            panelX += gPanel.speed;
            if (panelX >= 0) {
                panelX = 0;
                SoundRequest[kEffectMechanism] = 1;
                gPanel.counter = 0;
                gPanel.phase = 3;
            }
            break;
        default:  // resting at one end; an alarm before the next slide
            if (++gPanel.counter == kPanelRestUpdates) {
                SoundRequest[kEffectAlarm] = 1;
                gPanel.speed = 0;
                gPanel.phase = (gPanel.phase + 1) % 4;
            }
            break;
    }
    PlaceAtOffsets(0, ObjectPool.usedCount, panelX, panelY, gPanel.offsets);
    if (panelY >= 480) EndWave();
}

void SwayingMazeFormation(int32_t mode, int32_t, int32_t) {
    double& mazeX = gWaves.waveAnchorX[0];
    double& mazeY = gWaves.waveAnchorY[0];
    if (mode == kFormationStart) {
        const char* const rows[21] = {
            "1001111111111111111", "1001000000000000001", "1001000000000000001",
            "1000001111111111001", "1000001000000001001", "1111111000000001001",
            "1000000001111000001", "1000000001001000001", "1001111111001111111",
            "1001000001000001001", "1000000001000001001", "1000001001001001001",
            "1111111000001001001", "1000001000001001001", "1000001111111001001",
            "1001000100000001001", "1001000100000001001", "1001111100111111001",
            "1000000100100000001", "1000000100100000001", "1111100100100111111",
        };
        int32_t n = PlacePatternBlocks(rows, 21, 0, 0, 1, kShapeBox);
        TakeOffsets(0, n, 0, 0, &gSwayingMaze.offsets);
        ObjectPool.usedCount = n;
        mazeX = 0;
        mazeY = -672;
        gSwayingMaze.speed = -0.75;
        return;
    }
    mazeX += gSwayingMaze.speed;
    if (mazeX <= kMazeSwayLeftX || mazeX >= 0) {
        mazeX = mazeX <= kMazeSwayLeftX ? kMazeSwayLeftX : 0;
        gSwayingMaze.speed = -gSwayingMaze.speed;
        SoundRequest[kEffectMechanism] = 1;
    }
    mazeY += 0.5;
    PlaceAtOffsets(0, ObjectPool.usedCount, mazeX, mazeY, gSwayingMaze.offsets);
    if (mazeY >= 480) EndWave();
}

void CorridorRunnerFormation(int32_t mode, int32_t, int32_t) {
    double& originX = gWaves.waveAnchorX[0];
    double& originY = gWaves.waveAnchorY[0];
    CorridorRunnerState& r = gRunner;
    if (mode == kFormationStart) {
        const char* const rows[12] = {
            "111111001111111", "111111000000001", "111111000000001", "100000111111001",
            "100000111111001", "100100111111001", "100100000000001", "100100000000001",
            "100111111111111", "100000000000000", "100000000000000", "111111111110011",
        };
        int32_t n = PlacePatternBlocks(rows, 12, 0, -384, 0, kShapeBox);
        ParkObjects(n, kRunnerSlots, 2, kShapeBox);
        ObjectPool.usedCount = n + kRunnerSlots;
        r.blocks = n;
        r.runnerX = 416;
        r.runnerY = 288;
        r.nextWaypoint = 0;
        r.phase = 0;
        return;
    }
    MoveSlotsDown(0, ObjectPool.usedCount, 1.0);
    originX = ObjectPool.x[0] - 16;
    originY = ObjectPool.y[0] - 16;
    switch (r.phase) {
        case 0:
            if (originY + 352 >= gPlayField.playerY) {
                r.counter = 0;
                r.phase = 1;
            }
            break;
        case 1:
            if (++r.counter == kRunnerStartUpdates) {
                r.stepX = -4;
                r.stepY = 0;
                r.phase = 2;
            }
            break;
        case 2: {
            r.runnerX += r.stepX;
            r.runnerY += r.stepY;
            // The waypoints are met in order, so only the next one is looked for.
            const Waypoint& next = kWaypointTable[r.nextWaypoint];
            if (r.runnerX == next.x && r.runnerY == next.y) {
                if (r.nextWaypoint < kWaypoints - 1) {
                    r.stepX = next.stepX;
                    r.stepY = next.stepY;
                    SoundRequest[kEffectClick] = 1;
                    r.counter = 0;
                    r.nextWaypoint += 1;
                    r.phase = 3;
                } else {
                    r.phase = 4;
                }
            }
            break;
        }
        case 3:
            if (++r.counter == kRunnerTurnUpdates) r.phase = 2;
            break;
        default:
            break;
    }
    PlaceBlockCells(r.blocks, kRunnerSlots, 2, originX + r.runnerX, originY + r.runnerY);
    if (originY >= 480) EndWave();
}

void BobbingLayerFormation(int32_t mode, int32_t, int32_t) {
    double& baseY = gWaves.waveAnchorY[0];
    double& bob = gWaves.waveAnchorY[1];
    const int32_t n = gBobbing.blocks;
    if (mode == kFormationStart) {
        // Five bands of a bobbing wall (2) over a fixed one (1), between edge columns.
        const char* const band[4] = {"222222222222001", "200000000000001", "200111111111111",
                                     "200000000000001"};
        const char* rows[23];
        for (int32_t r = 0; r < 20; ++r) rows[1 + r] = band[r % 4];
        rows[0] = rows[22] = "000000000000001";
        rows[21] = band[0];
        int32_t blocks = PlacePatternBlocks(rows, 23, 0, -736, 1, kShapeBox);
        ObjectPool.usedCount =
            TakeGridMarks('2', 23, 15, blocks, 0, 0, 2, kShapeBox, &gBobbing.offsets);
        gBobbing.blocks = blocks;
        baseY = -736;
        bob = 0;
        gBobbing.bobSpeed = 0.5;
        return;
    }
    MoveSlotsDown(0, n, 0.375);
    baseY += 0.375;
    bob += gBobbing.bobSpeed;
    if (bob == kBobLimit || bob == -kBobLimit) gBobbing.bobSpeed = -gBobbing.bobSpeed;
    for (int32_t i = n; i < ObjectPool.usedCount; ++i) {
        ObjectPool.x[i] = gBobbing.offsets.x[i];
        ObjectPool.y[i] = gBobbing.offsets.y[i] + baseY + bob;
    }
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}

void PillarsAndBarsFormation(int32_t mode, int32_t, int32_t) {
    double& baseY = gWaves.waveAnchorY[0];
    const int32_t n = gPillarsAndBars.blocks;
    if (mode == kFormationStart) {
        const char* const top = "111111111111100";
        const char* const channels = "100100100100100";
        const char* const open = "100000000000000";
        const char* const ledge = "100111111111111";
        const char* const sides = "100000000000001";
        const char* const gap = "111110000011111";
        const char* const rows[27] = {
            top,   channels, channels, channels, channels, open,  open,  open,  open,
            open,  channels, channels, channels, channels, ledge, sides, sides, gap,
            sides, sides,    gap,      sides,    sides,    gap,   sides, sides, gap,
        };
        int32_t blocks = PlacePatternBlocks(rows, 27, 0, -864, 0, kShapeBox);
        ParkObjects(blocks, (kPillarGroups + kBarGroups) * kGroupSlots, 1, kShapeBox);
        ObjectPool.usedCount = blocks + (kPillarGroups + kBarGroups) * kGroupSlots;
        gPillarsAndBars.blocks = blocks;
        gPillarsAndBars.angle = 0;
        baseY = -864;
        return;
    }
    MoveSlotsDown(0, n, 0.5);
    baseY += 0.5;
    gPillarsAndBars.angle += 3;
    double sway = std::sin(gPillarsAndBars.angle * kDegreesToRadians) * 48 + 240 - 80;
    const double pillarLeft[kPillarGroups] = {128, 224, 320};
    for (int32_t k = 0; k < kPillarGroups; ++k) {
        PlaceBlockCells(n + kGroupSlots * k, kGroupSlots, 2, pillarLeft[k], sway + baseY);
    }
    const double barTop[kBarGroups] = {576, 672, 768};
    for (int32_t k = 0; k < kBarGroups; ++k) {
        PlaceBlockCells(n + kGroupSlots * (kPillarGroups + k), kGroupSlots, 5, sway,
                        barTop[k] + baseY);
    }
    if (baseY >= 480) EndWave();
}

void SlidingDoorsFormation(int32_t mode, int32_t, int32_t) {
    double& mazeY = gWaves.waveAnchorY[0];
    SlidingDoorsState& d = gDoors;
    if (mode == kFormationStart) {
        // The 2s mark where the doors start; they are not placed as blocks.
        const char* const rows[12] = {
            "111111111100111", "122111100000221", "122111100000221", "100000100111111",
            "100000100000001", "100100100000001", "100100111110001", "100100000000022",
            "100100000000022", "100122111111111", "000122100000000", "000111100000000",
        };
        int32_t n = PlacePatternBlocks(rows, 12, 0, -384, 0, kShapeBox);
        ParkObjects(n, kDoors * kDoorSlots, 2, kShapeBox);
        ObjectPool.usedCount = n + kDoors * kDoorSlots;
        d.blocks = n;
        mazeY = -384;
        for (int32_t k = 0; k < kDoors; ++k) {
            d.x[k] = kDoorTable[k].x;
            d.y[k] = kDoorTable[k].y;
            d.state[k] = 0;
        }
        return;
    }
    MoveSlotsDown(0, d.blocks, 1.0);
    mazeY += 1.0;
    for (int32_t k = 0; k < kDoors; ++k) {
        const DoorData& door = kDoorTable[k];
        if (d.state[k] == 0) {
            if (std::abs(door.triggerX - gPlayField.playerX) < 33 &&
                std::fabs(door.triggerY + mazeY - gPlayField.playerY) <= 32) {
                SoundRequest[kEffectSlide] = 1;
                d.counter[k] = 0;
                d.state[k] = 1;
            }
        } else if (d.state[k] == 1) {
            d.x[k] += door.stepX;
            d.y[k] += door.stepY;
            if (++d.counter[k] == kDoorSlideUpdates) d.state[k] = 2;
        }
        PlaceBlockCells(d.blocks + kDoorSlots * k, kDoorSlots, 2, d.x[k], mazeY + d.y[k]);
    }
    if (mazeY >= 480) EndWave();
}
