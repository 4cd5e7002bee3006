// Id 9: a winding corridor that sways sideways on a sine of its height, with a gate of two
// block rows sliding to and fro inside it.
#include <cmath>

#include "formations.h"
#include "play_field.h"
#include "wave_engine.h"

namespace {

constexpr int32_t kGateBlocks = 14;
constexpr int32_t kGateLeftStop = 112;
constexpr int32_t kGateRightStop = 176;
constexpr int32_t kSwayPeriod = 480;
constexpr double kSwayScale = 0.013089969391666668;  // 2 pi / 480
constexpr double kSwayWidth = 64;

struct CorridorState {
    int32_t baseX[kPoolSlots];  // x before the sway
    int32_t firstGate;
    int32_t gateDirection;
    int32_t phase;
};
CorridorState gCorridor;

}  // namespace

void SwayingCorridorFormation(int32_t mode, int32_t, int32_t) {
    if (mode == kFormationStart) {
        const char* const wide = "1111100000000011111";
        const char* const right = "1111111111110011111";
        const char* const left = "1111100111111111111";
        const char* const rows[14] = {wide,  wide, wide, wide, wide, wide, right,
                                      right, wide, wide, left, left, wide, wide};
        WriteGridRows(rows, 14);
        int32_t n = PlaceGridBlocks(14, -64, -448, 19);
        SetSlotLooks(0, n, 1, kShapeBox);
        for (int32_t i = 0; i < n; ++i) gCorridor.baseX[i] = static_cast<int32_t>(ObjectPool.x[i]);
        for (int32_t g = 0; g < kGateBlocks; ++g) {
            int32_t slot = n + g;
            PlaceObject(slot, 112 + 32 * (g % 7), g < 7 ? -368 : -336, 2, kShapeBox);
            gCorridor.baseX[slot] = static_cast<int32_t>(ObjectPool.x[slot]);
        }
        ObjectPool.usedCount = n + kGateBlocks;
        gCorridor.firstGate = n;
        gCorridor.gateDirection = 1;
        gCorridor.phase = 0;
        return;
    }
    gCorridor.phase += 2;
    if (gCorridor.phase >= kSwayPeriod) gCorridor.phase = 0;
    int32_t firstGate = gCorridor.firstGate;
    for (int32_t slot = firstGate; slot < firstGate + kGateBlocks; ++slot) {
        gCorridor.baseX[slot] += gCorridor.gateDirection;
    }
    int32_t gateX = gCorridor.baseX[firstGate];
    if (gateX == kGateLeftStop || gateX == kGateRightStop)
        gCorridor.gateDirection = -gCorridor.gateDirection;
    for (int32_t i = 0; i < ObjectPool.usedCount; ++i) {
        ObjectPool.y[i] += 1.0;
        ObjectPool.x[i] = std::sin((ObjectPool.y[i] - gCorridor.phase) * kSwayScale) * kSwayWidth +
                          gCorridor.baseX[i];
    }
    if (ObjectPool.y[0] >= kBelowField) EndWave();
}
