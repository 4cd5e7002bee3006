// The play field's rules that a whole game replays only by chance: the hit distances of balls
// and boxes, no hits while respawning or between waves, braking, and extra lives.
#include "play_field.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "game_sounds.h"
#include "input_sampling.h"
#include "replay.h"
#include "wave_engine.h"

namespace {

class PlayFieldTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetGameState();
        gReplay = Replay{};
        gWaves.waveActive = 1;
        gPlayField.playerState = kPlayerAlive;
        gPlayField.playerX = 240;
        gPlayField.playerY = 240;
        gPlayField.lives = 3;
    }

    static void PutObject(int32_t slot, double x, double y, int32_t shape) {
        ObjectPool.state[slot] = kObjectAlive;
        ObjectPool.x[slot] = x;
        ObjectPool.y[slot] = y;
        ObjectPool.shape[slot] = shape;
        ObjectPool.usedCount = std::max(ObjectPool.usedCount, slot + 1);
    }
};

TEST_F(PlayFieldTest, ABallHitsAtSixteenPixelsAndABoxAtSixteenOnBothAxes) {
    PutObject(0, 240 + 16.01, 240, kShapeBall);
    PutObject(1, 240 + 11.3, 240 + 11.3, kShapeBall);  // 15.98 away
    PutObject(2, 240 - 16, 240 + 16, kShapeBox);
    PutObject(3, 240 + 16.01, 240, kShapeBox);
    PutObject(4, 240, 240, 2);  // no such shape
    CheckPlayerHits();
    EXPECT_EQ(gPlayField.playerState, kPlayerExploding);
    EXPECT_EQ(ObjectPool.state[0], kObjectAlive);
    EXPECT_EQ(ObjectPool.state[1], kObjectExploding);
    EXPECT_EQ(ObjectPool.state[2], kObjectExploding);
    EXPECT_EQ(ObjectPool.state[3], kObjectAlive);
    EXPECT_EQ(ObjectPool.state[4], kObjectAlive);
    EXPECT_EQ(SoundRequest[kEffectPlayerHit], 1);

    SetUp();
    PutObject(0, 256, 240, kShapeBall);
    CheckPlayerHits();
    EXPECT_EQ(ObjectPool.state[0], kObjectExploding);
}

TEST_F(PlayFieldTest, NothingHitsARespawningPlayerOrOutsideAWave) {
    PutObject(0, 240, 240, kShapeBox);
    gPlayField.playerState = kPlayerRespawning;
    CheckPlayerHits();
    gPlayField.playerState = kPlayerAlive;
    gWaves.waveActive = 0;
    CheckPlayerHits();
    gWaves.waveActive = 1;
    ObjectPool.usedCount = 0;  // slots beyond the wave's count
    CheckPlayerHits();
    EXPECT_EQ(gPlayField.playerState, kPlayerAlive);
    EXPECT_EQ(ObjectPool.state[0], kObjectAlive);
}

TEST_F(PlayFieldTest, DecideBrakesToTwoPixelsAFrameOnBothAxes) {
    gWaves.waveActive = 0;
    gPlayField.goalActive = 1;  // no wave starts
    gGameInput.inRight = gGameInput.inDown = 1;
    PlayFrame();
    EXPECT_EQ(gPlayField.playerX, 244);
    EXPECT_EQ(gPlayField.playerY, 244);
    gGameInput.inDecide = 1;
    PlayFrame();
    EXPECT_EQ(gPlayField.playerX, 246);
    EXPECT_EQ(gPlayField.playerY, 246);
    gGameInput.inDecide = 0;
    gPlayField.playerX = 462;
    PlayFrame();
    EXPECT_EQ(gPlayField.playerX, 464);
}

TEST_F(PlayFieldTest, EveryMultipleOf70000PointsGivesALife) {
    gWaves.waveActive = 0;
    gPlayField.goalActive = 1;
    gPlayField.score = 69900;
    gPlayField.scoreTick = 32;
    PlayFrame();
    EXPECT_EQ(gPlayField.score, 70000);
    EXPECT_EQ(gPlayField.hiScore, 70000);
    EXPECT_EQ(gPlayField.lives, 4);
    EXPECT_EQ(SoundRequest[kEffectExtraLife], 1);
    EXPECT_EQ(gPlayField.scoreTick, 1);
}

}  // namespace
