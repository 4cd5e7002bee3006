// The formation of every wave id, with the parameters the engine passes at start and at
// update. Ids 1-4 share one formation told apart by its turn speeds, as 15-18 are by their
// spawn points.
#include "formations.h"

const WaveFormation kWaveFormations[kWaveIds] = {
    {CircleFormation, 0, 0, 0, 0},             // 0
    {TwinCrossFormation, 0, 0, 1, -1},         // 1
    {TwinCrossFormation, 0, 0, -1, -1},        // 2
    {TwinCrossFormation, 0, 0, -1, -2},        // 3
    {TwinCrossFormation, 0, 0, -2, -2},        // 4
    {SideMoverFormation, 0, 0, 0, 0},          // 5
    {TurnGateFormation, 0, 0, 0, 0},           // 6
    {JointedArmFormation, 0, 0, 0, 0},         // 7
    {WheelFormation, 0, 0, 0, 0},              // 8
    {SwayingCorridorFormation, 0, 0, 0, 0},    // 9
    {ShuttleBlockFormation, 0, 0, 0, 0},       // 10
    {MazeStreamFormation, 0, 0, 0, 0},         // 11
    {RotatingStreamFormation, 0, 0, 0, 0},     // 12
    {LaneBarFormation, 0, 0, 0, 0},            // 13
    {ArrowFormation, 0, 0, 0, 0},              // 14
    {AimedLineFormation, 400, -16, 0, 0},      // 15
    {AimedLineFormation, -16, 144, 0, 0},      // 16
    {AimedLineFormation, 496, 368, 0, 0},      // 17
    {AimedLineFormation, 240, 496, 0, 0},      // 18
    {RockingDiscFormation, 0, 0, 0, 0},        // 19
    {ConveyorRowsFormation, 0, 0, 0, 0},       // 20
    {PartingWallFormation, 0, 0, 0, 0},        // 21
    {HammerFormation, 0, 0, 0, 0},             // 22
    {DiscShuffleFormation, 0, 0, 0, 0},        // 23
    {BallTrainFormation, 0, 0, 0, 0},          // 24
    {FallingMazeFormation, 0, 0, 0, 0},        // 25
    {TwinTrackFormation, 0, 0, 0, 0},          // 26
    {NestedTrackFormation, 0, 0, 0, 0},        // 27
    {TurningArcFormation, 0, 0, 0, 0},         // 28
    {BurstRingFormation, 0, 0, 0, 0},          // 29
    {WideningRingFormation, 0, 0, 0, 0},       // 30
    {CirclingBlockFormation, 0, 0, 0, 0},      // 31
    {SplittingWallFormation, 0, 0, 0, 0},      // 32
    {PendulumFormation, 0, 0, 0, 0},           // 33
    {ClosingJawFormation, 0, 0, 0, 0},         // 34
    {BreathingBlockFormation, 0, 0, 0, 0},     // 35
    {SineRowFormation, 0, 0, 0, 0},            // 36
    {PulsingFrameFormation, 0, 0, 0, 0},       // 37
    {PistonFrameFormation, 0, 0, 0, 0},        // 38
    {MeshingCombsFormation, 0, 0, 0, 0},       // 39
    {SwingingSlabFormation, 0, 0, 0, 0},       // 40
    {ClosingWallsFormation, 0, 0, 0, 0},       // 41
    {SnakeCorridorFormation, 0, 0, 0, 0},      // 42
    {MorphRingFormation, 0, 0, 0, 0},          // 43
    {ToneMemoryFormation, 0, 0, 0, 0},         // 44
    {SpinningLatticeFormation, 0, 0, 0, 0},    // 45
    {SlidingPairsFormation, 0, 0, 0, 0},       // 46
    {StackingRowsFormation, 0, 0, 0, 0},       // 47
    {SlidingMazePanelFormation, 0, 0, 0, 0},   // 48
    {WindingSnakeFormation, 0, 0, 0, 0},       // 49
    {DiamondCoreFormation, 0, 0, 0, 0},        // 50
    {QuadrantTrapFormation, 0, 0, 0, 0},       // 51
    {DroppingPillarsFormation, 0, 0, 0, 0},    // 52
    {HammerArmsFormation, 0, 0, 0, 0},         // 53
    {SensingRingsFormation, 0, 0, 0, 0},       // 54
    {ConveyorLanesFormation, 0, 0, 0, 0},      // 55
    {SwayingMazeFormation, 0, 0, 0, 0},        // 56
    {PuppetBlockFormation, 0, 0, 0, 0},        // 57
    {CheckerRainFormation, 0, 0, 0, 0},        // 58
    {PushPuzzleFormation, 0, 0, 0, 0},         // 59
    {CorridorRunnerFormation, 0, 0, 0, 0},     // 60
    {GatedBarsFormation, 0, 0, 0, 0},          // 61
    {TripleRingFormation, 0, 0, 0, 0},         // 62
    {WindmillMazeFormation, 0, 0, 0, 0},       // 63
    {BobbingLayerFormation, 0, 0, 0, 0},       // 64
    {ZigzagGapRowsFormation, 0, 0, 0, 0},      // 65
    {PillarsAndBarsFormation, 0, 0, 0, 0},     // 66
    {SlidingDoorsFormation, 0, 0, 0, 0},       // 67
    {ConvergingSquaresFormation, 0, 0, 0, 0},  // 68
    {SpinningTrianglesFormation, 0, 0, 0, 0},  // 69
};
