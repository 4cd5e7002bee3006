// Whole games replayed from scripts: title to play, the score's first points, a collision and
// the respawn, the continue refused and the name saved, the pad assignment saved, pause and
// resume of the loop sound, Esc in every scene, and the ending roll ranked as "ALL".
#include <gtest/gtest.h>
#include <platform/testing.h>

#include <string>

#include "game_assets.h"
#include "input_sampling.h"
#include "play_field.h"
#include "ranking.h"
#include "replay.h"
#include "scene_loop.h"
#include "wave_engine.h"

namespace {

class ScenarioTest : public ReplayFixture {};

std::function<bool()> InScene(int32_t scene) {
    return [scene] { return gScenes.currentScene == scene; };
}
std::function<bool()> Drew(const std::string& text) {
    return [text] { return DrewInLastPass(text); };
}
std::function<bool()> PlayedFrames(int32_t frames) {
    return
        [frames] { return gScenes.currentScene == kScenePlay && gPlayField.frameCount >= frames; };
}

// Moves the player onto the first live object inside the field, so that the next frame's hit
// test finds it; true once done.
bool PutPlayerOnAnObject() {
    if (gWaves.waveActive != 1 || gPlayField.playerState != kPlayerAlive) return false;
    for (int32_t i = 0; i < ObjectPool.usedCount; ++i) {
        double x = ObjectPool.x[i], y = ObjectPool.y[i];
        if (ObjectPool.state[i] != kObjectAlive || x < 24 || x > 456 || y < 24 || y > 456) continue;
        gPlayField.playerX = static_cast<int32_t>(x);
        gPlayField.playerY = static_cast<int32_t>(y);
        return true;
    }
    return false;
}

std::string EmptyRecords(int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) lines += "0,0,\n";
    return lines;
}

// Z on every other pass while the game shows the title: START.
ReplayInput StartFromTitle(int pass) {
    if (gScenes.currentScene == kSceneTitle && pass % 2 == 0) return {{kDikZ}};
    return {};
}

// The pass that ran the first play frame, and the one that showed "STAGE 1".
struct PlayStart {
    int introPass = -1;
    int firstPlayPass = -1;
    int32_t firstWaveId = -1;
    int32_t firstWaveActive = 0;
};

TEST_F(ScenarioTest, TitleToTheFirstPlayFrame) {
    PlayStart start;
    gReplay.script = [](int pass) -> ReplayInput {
        if (gPlayField.frameCount >= 2) return {{kDikEscape}};
        return StartFromTitle(pass);
    };
    gReplay.observe = [&](int pass) {
        if (gScenes.currentScene == kScenePlay && gPlayField.frameCount == 1 &&
            start.firstPlayPass < 0) {
            start.firstPlayPass = pass;
            start.firstWaveId = gWaves.currentWaveId;
            start.firstWaveActive = gWaves.waveActive;
        }
    };
    RunGame();

    int introPass = FirstPassWithText("STAGE 1", 296, 232);
    ASSERT_GT(introPass, 0);
    ASSERT_GT(start.firstPlayPass, introPass);
    EXPECT_EQ(start.firstWaveId, 40);
    EXPECT_EQ(start.firstWaveActive, 1);
    // Nothing is drawn while the intro waits: the next text is the first play frame's panel.
    for (const TextEvent& text : gReplay.texts) {
        if (text.pass > introPass) {
            EXPECT_EQ(text.pass, start.firstPlayPass) << text.text;
            break;
        }
    }
    // 2000 ms at 16 ms a pass: the music and the loop sound start together 125 passes on.
    std::vector<SoundEvent> music = SoundsOf("sound/burst.mp3");
    std::vector<SoundEvent> loop = SoundsOf("sound/loop04.wav");
    ASSERT_FALSE(music.empty());
    ASSERT_FALSE(loop.empty());
    EXPECT_EQ(music[0].call, GameSoundCall::Play);
    EXPECT_EQ(music[0].pass, introPass + 125);
    EXPECT_EQ(music[0].playType, kPlayLoop);
    EXPECT_EQ(music[0].fromTop, 1);
    EXPECT_EQ(loop[0].call, GameSoundCall::Play);
    EXPECT_EQ(loop[0].pass, music[0].pass);
    EXPECT_EQ(loop[0].playType, kPlayLoop);
    EXPECT_EQ(start.firstPlayPass, music[0].pass + 1);
    EXPECT_FALSE(gReplay.closedAtLimit);
}

TEST_F(ScenarioTest, TheFirstHundredPointsComeInPlayFrame33) {
    int32_t scoreAt32 = -1, scoreAt33 = -1;
    gReplay.script = [](int pass) -> ReplayInput {
        if (gPlayField.frameCount >= 33) return {{kDikEscape}};
        return StartFromTitle(pass);
    };
    gReplay.observe = [&](int) {
        if (gScenes.currentScene != kScenePlay) return;
        if (gPlayField.frameCount == 32) scoreAt32 = gPlayField.score;
        if (gPlayField.frameCount == 33) scoreAt33 = gPlayField.score;
    };
    RunGame();
    EXPECT_EQ(scoreAt32, 0);
    EXPECT_EQ(scoreAt33, 100);
    EXPECT_EQ(gPlayField.hiScore, 100);
}

TEST_F(ScenarioTest, ACollisionExplodesThePlayerWhoRespawnsAfter64Frames) {
    int hitPass = -1, respawnPass = -1;
    int32_t livesAfter = 0;
    gReplay.script = [&](int pass) -> ReplayInput {
        if (respawnPass > 0) return {{kDikEscape}};
        return StartFromTitle(pass);
    };
    gReplay.observe = [&](int pass) {
        PlayField& p = gPlayField;
        if (hitPass < 0 && p.playerState == kPlayerExploding) hitPass = pass;
        if (hitPass < 0) PutPlayerOnAnObject();
        if (hitPass > 0 && respawnPass < 0 && p.playerState == kPlayerRespawning) {
            respawnPass = pass;
            livesAfter = p.lives;
        }
    };
    RunGame();

    ASSERT_GT(hitPass, 0);
    EXPECT_EQ(respawnPass - hitPass, 64);
    EXPECT_EQ(livesAfter, 2);
    std::vector<SoundEvent> hit = SoundsOf("sound/bom01.wav");
    ASSERT_EQ(hit.size(), 1u);
    EXPECT_EQ(hit[0].pass, hitPass);
    EXPECT_EQ(hit[0].playType, kPlayBackground);
    // The loop stops at the hit and starts again from the top at the respawn.
    std::vector<SoundEvent> loop = SoundsOf("sound/loop04.wav");
    ASSERT_EQ(loop.size(), 3u);
    EXPECT_EQ(loop[1].call, GameSoundCall::Stop);
    EXPECT_EQ(loop[1].pass, hitPass);
    EXPECT_EQ(loop[2].call, GameSoundCall::Play);
    EXPECT_EQ(loop[2].pass, respawnPass);
    EXPECT_EQ(loop[2].playType, kPlayLoop);
    EXPECT_EQ(loop[2].fromTop, 1);
}

TEST_F(ScenarioTest, ContinueRefusedThenTheNameEntryWritesTheSaveFile) {
    int32_t playedFrames = 0;
    PressScript script;
    script.Press(InScene(kSceneTitle), {{kDikZ}})
        .Press(Drew("CONTINUE"), {{kDikDown}})
        .Press({{kDikZ}})
        .Press(InScene(kSceneNameEntry), {{kDikZ}})
        .Press({{kDikZ}})
        .Press({{kDikZ}})
        .Press(InScene(kSceneTitle), {{kDikEscape}});
    gReplay.script = std::ref(script);
    gReplay.observe = [&](int) {
        if (gScenes.currentScene == kScenePlay && gPlayField.frameCount == 1) gPlayField.lives = 1;
        if (gScenes.currentScene == kScenePlay && gPlayField.frameCount > 1) PutPlayerOnAnObject();
        if (gScenes.currentScene == kScenePlay) playedFrames = gPlayField.frameCount;
    };
    RunGame();

    ASSERT_TRUE(script.Done());
    // The last frame ended at the prompt, before its score step.
    int32_t score = 100 * ((playedFrames - 1) / 32);
    EXPECT_EQ(gPlayField.score, score);
    EXPECT_EQ(ReadSaveFile(), "0\n0\n" + std::to_string(score) + ",1,AAA\n" + EmptyRecords(9));
    EXPECT_STREQ(RankingTable[0].name, "AAA");
    // The music stopped at the prompt and never resumed.
    std::vector<SoundEvent> music = SoundsOf("sound/burst.mp3");
    ASSERT_EQ(music.size(), 2u);
    EXPECT_EQ(music[1].call, GameSoundCall::Stop);
}

TEST_F(ScenarioTest, TheJoypadConfigurationIsSavedOnExit) {
    gReplay.withPad = true;
    const uint32_t button3 = 1u << 3, button5 = 1u << 5;
    PressScript script;
    script.Press(InScene(kSceneTitle), {{kDikDown}})
        .Press({{kDikZ}})
        .Press(InScene(kSceneOption), {{}, button3})
        .Press({{kDikDown}})
        .Press({{}, button5})
        .Press({{kDikDown}})
        // A button on RANKING changes nothing.
        .Press({{}, 1u << 7})
        .Press({{kDikDown}})
        .Press({{kDikZ}})
        .Press(InScene(kSceneTitle), {{kDikEscape}});
    gReplay.script = std::ref(script);
    RunGame();

    ASSERT_TRUE(script.Done());
    EXPECT_EQ(gGameInput.PadButtonConfig[0], 3);
    EXPECT_EQ(gGameInput.PadButtonConfig[1], 5);
    EXPECT_EQ(ReadSaveFile(), "3\n5\n" + EmptyRecords(10));
}

TEST_F(ScenarioTest, PauseAndHoldResumeTheLoopSoundOnlyWhenItWasPlaying) {
    int pausePass = -1, explodingPausePass = -1;
    PressScript script;
    script.Press(InScene(kSceneTitle), {{kDikZ}})
        .Press(PlayedFrames(4), {{kDikP}})
        .Press(Drew("PAUSE"), {{kDikZ}})
        .Press(PlayedFrames(8), {{kDikF5}})
        .Press({{kDikF5}})
        .Press([] { return gPlayField.playerState == kPlayerExploding; }, {{kDikP}})
        .Press(Drew("PAUSE"), {{kDikP}})
        .Press([] { return gPlayField.playerState == kPlayerRespawning; }, {{kDikEscape}});
    gReplay.script = std::ref(script);
    gReplay.observe = [&](int pass) {
        if (DrewInLastPass("PAUSE") && pausePass < 0) pausePass = pass;
        if (gPlayField.frameCount > 12 && gPlayField.playerState == kPlayerAlive)
            PutPlayerOnAnObject();
        if (gPlayField.playerState == kPlayerExploding && DrewInLastPass("PAUSE")) {
            explodingPausePass = pass;
        }
    };
    RunGame();
    ASSERT_TRUE(script.Done());
    ASSERT_GT(explodingPausePass, 0);

    // Calls on the music and the loop sound after the first play, in order.
    std::vector<std::string> calls;
    for (const SoundEvent& e : gReplay.sounds) {
        if (e.path != "sound/burst.mp3" && e.path != "sound/loop04.wav") continue;
        std::string name = e.path == "sound/burst.mp3" ? "music" : "loop";
        if (e.call == GameSoundCall::Stop) {
            calls.push_back("stop " + name);
        } else {
            calls.push_back("play " + name + " " + std::to_string(e.fromTop));
        }
    }
    std::vector<std::string> expected = {
        "play music 1", "play loop 1",  // the stage begins
        "stop music",   "stop loop",    // pause
        "play music 0", "play loop 0",  // resume
        "stop music",   "stop loop",    // hold
        "play music 0", "play loop 0",  // F5 again
        "stop loop",                    // the hit
        "stop music",                   // pause while exploding: the loop is not playing
        "play music 0",                 // resume without the loop
        "play loop 1",                  // the respawn
    };
    EXPECT_EQ(calls, expected);
}

TEST_F(ScenarioTest, TheEndingRollIsRankedAsAllStagesCleared) {
    // From the first play frame on the game stands at stage 7's last wave: the goal comes when
    // the wave already running ends.
    gReplay.observe = [](int) {
        if (gScenes.currentScene == kScenePlay && gPlayField.frameCount == 1) {
            gWaves.stageNumber = 7;
            gWaves.waveIndex = 9;
        }
    };
    int rollPass = -1;  // the stage clear that started the roll
    PressScript script;
    script.Press(InScene(kSceneTitle), {{kDikZ}})
        .Press(
            [&] {
                if (rollPass < 0 && gScenes.currentScene == kSceneEndingRoll)
                    rollPass = gReplay.pass;
                return rollPass > 0 && DrewInLastPass("PROGRAM: THE BROVANE TEAM");
            },
            {{kDikZ}})
        .Press(InScene(kSceneNameEntry), {{kDikZ}})
        .Press({{kDikZ}})
        .Press({{kDikZ}})
        .Press(InScene(kSceneTitle), {{kDikDown}})
        .Press({{kDikZ}})
        .Press(InScene(kSceneOption), {{kDikDown}})
        .Press({{kDikDown}})
        .Press({{kDikZ}})
        .Press(Drew("ALL"), {{kDikEscape}});
    gReplay.script = std::ref(script);
    RunGame();
    ASSERT_TRUE(script.Done());

    EXPECT_EQ(RankingTable[0].stage, kAllStagesCleared);
    EXPECT_STREQ(RankingTable[0].name, "AAA");
    EXPECT_EQ(gScenes.currentScene, kSceneRankingView);
    EXPECT_GT(FirstPassWithText("ALL", 320, 80), 0);
    // The pages change at 20 s and 40 s of the roll: 1250 and 2500 passes of 16 ms.
    EXPECT_EQ(FirstPassWithText("ALL STAGE CLEAR!", 256, 232), rollPass + 1);
    EXPECT_EQ(FirstPassWithText("BGM", 32, 64), rollPass + 1250);
    EXPECT_EQ(FirstPassWithText("PROGRAM: THE BROVANE TEAM", 220, 292), rollPass + 2500);
    std::vector<SoundEvent> ending = SoundsOf("sound/White_Lovers_FreeBGM_ver.mp3");
    ASSERT_EQ(ending.size(), 3u);
    EXPECT_EQ(ending[0].call, GameSoundCall::Play);
    EXPECT_EQ(ending[0].playType, kPlayBackground);
    EXPECT_EQ(ending[1].call, GameSoundCall::Stop);
    EXPECT_EQ(ending[2].call, GameSoundCall::Delete);
    std::string save = ReadSaveFile();
    EXPECT_NE(save.find(",8,AAA\n"), std::string::npos) << save;
}

TEST_F(ScenarioTest, TheIntroWaitsItsTwoSecondsAcrossTheClocksWrap) {
    // GetMillisecondCount is 31 bits wide: start half a second before it wraps to 0.
    TestSetClockMicroseconds((1ull << 31) * 1000 - 500'000);
    uint32_t introStart = 0;
    gReplay.script = [](int pass) -> ReplayInput {
        if (gPlayField.frameCount >= 1) return {{kDikEscape}};
        return StartFromTitle(pass);
    };
    gReplay.observe = [&](int) {
        if (gScenes.currentScene == kSceneMusicWait) introStart = gScenes.introStartTime;
    };
    RunGame();
    EXPECT_GT(introStart, 0x7FFFFFFFu - 2000);
    EXPECT_EQ(SoundsOf("sound/burst.mp3").at(0).pass, FirstPassWithText("STAGE 1", 296, 232) + 125);
}

TEST_F(ScenarioTest, F5WithPauseDoesNotRestartTheMusicOfAGameQuitFromThePauseMenu) {
    PressScript script;
    script.Press(InScene(kSceneTitle), {{kDikZ}})
        .Press(PlayedFrames(2), {{kDikP, kDikF5}})
        .Press(Drew("PAUSE"), {{kDikDown}})
        .Press({{kDikZ}})
        .Press(InScene(kSceneTitle), {{kDikEscape}});
    gReplay.script = std::ref(script);
    RunGame();
    ASSERT_TRUE(script.Done());
    std::vector<SoundEvent> music = SoundsOf("sound/burst.mp3");
    ASSERT_EQ(music.size(), 2u);
    EXPECT_EQ(music[1].call, GameSoundCall::Stop);
}

// Esc held in a scene (or prompt) ends the program at the end of that very pass.
struct EscCase {
    const char* name;
    void (*prepare)(PressScript& script);
    int32_t sceneAtExit;
};

void StartGame(PressScript& script) {
    script.Press(InScene(kSceneTitle), {{kDikZ}});
}
void OpenOption(PressScript& script) {
    script.Press(InScene(kSceneTitle), {{kDikDown}}).Press({{kDikZ}});
}
void CollideAtLastLife(int) {
    if (gScenes.currentScene != kScenePlay) return;
    if (gPlayField.frameCount == 1) gPlayField.lives = 1;
    if (gPlayField.frameCount > 1) PutPlayerOnAnObject();
}

const EscCase kEscCases[] = {
    {"Title", [](PressScript&) {}, kSceneTitle},
    {"Option", OpenOption, kSceneOption},
    {"RankingView",
     [](PressScript& s) {
         OpenOption(s);
         s.Press(InScene(kSceneOption), {{kDikDown}}).Press({{kDikDown}}).Press({{kDikZ}});
     },
     kSceneRankingView},
    {"MusicWait", StartGame, kSceneMusicWait},
    {"Play",
     [](PressScript& s) {
         StartGame(s);
         s.Press(PlayedFrames(1), {});
     },
     kScenePlay},
    {"ContinuePrompt",
     [](PressScript& s) {
         StartGame(s);
         s.Press(Drew("CONTINUE"), {});
         gReplay.observe = CollideAtLastLife;
     },
     kSceneExit},
    {"PausePrompt",
     [](PressScript& s) {
         StartGame(s);
         s.Press(PlayedFrames(2), {{kDikP}}).Press(Drew("PAUSE"), {});
     },
     kSceneExit},
    {"Hold",
     [](PressScript& s) {
         StartGame(s);
         s.Press(PlayedFrames(2), {{kDikF5}});
     },
     kSceneExit},
    {"EndingRoll",
     [](PressScript& s) {
         gScenes.currentScene = kSceneStageClear;
         gWaves.stageNumber = 7;
         s.Press(InScene(kSceneEndingRoll), {});
     },
     kSceneEndingRoll},
    {"NameEntry",
     [](PressScript& s) {
         gScenes.currentScene = kSceneNameEntry;
         s.Press(InScene(kSceneNameEntry), {});
     },
     kSceneNameEntry},
};

class EscTest : public ReplayFixture, public ::testing::WithParamInterface<EscCase> {};

TEST_P(EscTest, EscEndsTheProgramAtTheEndOfThePass) {
    PressScript script;
    GetParam().prepare(script);
    script.Press({{kDikEscape}});
    int escPass = -1;
    gReplay.script = [&](int pass) {
        ReplayInput input = script(pass);
        if (!input.keys.empty() && input.keys[0] == kDikEscape) escPass = pass;
        return input;
    };
    RunGame();
    ASSERT_TRUE(script.Done());
    EXPECT_EQ(gReplay.pass, escPass);
    EXPECT_EQ(gScenes.currentScene, GetParam().sceneAtExit);
    EXPECT_FALSE(gReplay.closedAtLimit);
    // Leaving the name entry by Esc writes nothing.
    EXPECT_EQ(ReadSaveFile(), "");
}

INSTANTIATE_TEST_SUITE_P(EveryScene, EscTest, ::testing::ValuesIn(kEscCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
