// The formation of every wave id, with the parameters the engine passes at start and at
// update. Ids 1-4 share one formation told apart by its turn speeds, as 15-18 are by their
// spawn points. Waves without their formation yet run as empty waves.
#include "formations.h"

const WaveFormation kWaveFormations[kWaveIds] = {
    {CircleFormation, 0, 0, 0, 0},           // 0
    {TwinCrossFormation, 0, 0, 1, -1},       // 1
    {TwinCrossFormation, 0, 0, -1, -1},      // 2
    {TwinCrossFormation, 0, 0, -1, -2},      // 3
    {TwinCrossFormation, 0, 0, -2, -2},      // 4
    {SideMoverFormation, 0, 0, 0, 0},        // 5
    {TurnGateFormation, 0, 0, 0, 0},         // 6
    {JointedArmFormation, 0, 0, 0, 0},       // 7
    {WheelFormation, 0, 0, 0, 0},            // 8
    {SwayingCorridorFormation, 0, 0, 0, 0},  // 9
    {ShuttleBlockFormation, 0, 0, 0, 0},     // 10
    {MazeStreamFormation, 0, 0, 0, 0},       // 11
    {RotatingStreamFormation, 0, 0, 0, 0},   // 12
    {LaneBarFormation, 0, 0, 0, 0},          // 13
    {ArrowFormation, 0, 0, 0, 0},            // 14
    {AimedLineFormation, 400, -16, 0, 0},    // 15
    {AimedLineFormation, -16, 144, 0, 0},    // 16
    {AimedLineFormation, 496, 368, 0, 0},    // 17
    {AimedLineFormation, 240, 496, 0, 0},    // 18
    {RockingDiscFormation, 0, 0, 0, 0},      // 19
    {ConveyorRowsFormation, 0, 0, 0, 0},     // 20
    {PartingWallFormation, 0, 0, 0, 0},      // 21
    {HammerFormation, 0, 0, 0, 0},           // 22
    {DiscShuffleFormation, 0, 0, 0, 0},      // 23
    {BallTrainFormation, 0, 0, 0, 0},        // 24
    {FallingMazeFormation, 0, 0, 0, 0},      // 25
    {TwinTrackFormation, 0, 0, 0, 0},        // 26
    {NestedTrackFormation, 0, 0, 0, 0},      // 27
    {TurningArcFormation, 0, 0, 0, 0},       // 28
    {BurstRingFormation, 0, 0, 0, 0},        // 29
    {WideningRingFormation, 0, 0, 0, 0},     // 30
    {CirclingBlockFormation, 0, 0, 0, 0},    // 31
    {SplittingWallFormation, 0, 0, 0, 0},    // 32
    {PendulumFormation, 0, 0, 0, 0},         // 33
    {ClosingJawFormation, 0, 0, 0, 0},       // 34
    {BreathingBlockFormation, 0, 0, 0, 0},   // 35
    {SineRowFormation, 0, 0, 0, 0},          // 36
    {PulsingFrameFormation, 0, 0, 0, 0},     // 37
    {EmptyFormation, 0, 0, 0, 0},            // 38
    {EmptyFormation, 0, 0, 0, 0},            // 39
    {EmptyFormation, 0, 0, 0, 0},            // 40
    {EmptyFormation, 0, 0, 0, 0},            // 41
    {EmptyFormation, 0, 0, 0, 0},            // 42
    {EmptyFormation, 0, 0, 0, 0},            // 43
    {EmptyFormation, 0, 0, 0, 0},            // 44
    {EmptyFormation, 0, 0, 0, 0},            // 45
    {EmptyFormation, 0, 0, 0, 0},            // 46
    {EmptyFormation, 0, 0, 0, 0},            // 47
    {EmptyFormation, 0, 0, 0, 0},            // 48
    {EmptyFormation, 0, 0, 0, 0},            // 49
    {EmptyFormation, 0, 0, 0, 0},            // 50
    {EmptyFormation, 0, 0, 0, 0},            // 51
    {EmptyFormation, 0, 0, 0, 0},            // 52
    {EmptyFormation, 0, 0, 0, 0},            // 53
    {EmptyFormation, 0, 0, 0, 0},            // 54
    {EmptyFormation, 0, 0, 0, 0},            // 55
    {EmptyFormation, 0, 0, 0, 0},            // 56
    {EmptyFormation, 0, 0, 0, 0},            // 57
    {EmptyFormation, 0, 0, 0, 0},            // 58
    {EmptyFormation, 0, 0, 0, 0},            // 59
    {EmptyFormation, 0, 0, 0, 0},            // 60
    {EmptyFormation, 0, 0, 0, 0},            // 61
    {EmptyFormation, 0, 0, 0, 0},            // 62
    {EmptyFormation, 0, 0, 0, 0},            // 63
    {EmptyFormation, 0, 0, 0, 0},            // 64
    {EmptyFormation, 0, 0, 0, 0},            // 65
    {EmptyFormation, 0, 0, 0, 0},            // 66
    {EmptyFormation, 0, 0, 0, 0},            // 67
    {EmptyFormation, 0, 0, 0, 0},            // 68
    {EmptyFormation, 0, 0, 0, 0},            // 69
};
