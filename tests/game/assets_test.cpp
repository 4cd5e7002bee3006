// Every picture and sound of the game loads from the generated assets: a missing one is silent
// in the game (its handle is -1 and every use of it does nothing), so only a test sees it.
#include <gtest/gtest.h>

#include "game_assets.h"
#include "replay.h"
#include "scene_loop.h"

namespace {

class GameAssetsTest : public ReplayFixture {
protected:
    // Runs start-up, then `check` in the first pass of the title, with the framework up.
    void CheckAfterStartUp(const std::function<void()>& check) {
        bool checked = false;
        gReplay.script = [](int pass) -> ReplayInput {
            return pass >= 2 ? ReplayInput{{kDikEscape}} : ReplayInput{};
        };
        gReplay.observe = [&](int) {
            if (checked) return;
            check();
            checked = true;
        };
        RunGame();
        EXPECT_TRUE(checked);
    }
};

TEST_F(GameAssetsTest, EverySoundLoads) {
    CheckAfterStartUp([] {
        const GameAssets& a = gAssets;
        EXPECT_GE(a.loopSound, 0);
        for (Handle effect : a.SoundEffectTable) EXPECT_GE(effect, 0);
        for (Handle music : a.stageBgm) EXPECT_GE(music, 0);
        Handle ending = LoadSoundHandle("sound/White_Lovers_FreeBGM_ver.mp3", 3, -1);
        EXPECT_GE(ending, 0);
        DeleteSoundHandle(ending);
    });
}

TEST_F(GameAssetsTest, EveryPictureLoads) {
    CheckAfterStartUp([] {
        const GameAssets& a = gAssets;
        for (Handle cell : a.size32Cells) EXPECT_GE(cell, 0);
        for (Handle cell : a.explosionCells) EXPECT_GE(cell, 0);
        for (Handle cell : a.explosion2Cells) EXPECT_GE(cell, 0);
        for (Handle cell : a.size16Cells) EXPECT_GE(cell, 0);
        for (Handle graph : {a.titleGraph, a.gameOverGraph, a.goalGraph, a.uzuGraph, a.entryGraph,
                             a.rankGraph, a.boardGraph}) {
            EXPECT_GE(graph, 0);
        }
        for (int32_t stage = 1; stage <= 7; ++stage) {
            Handle background = LoadImageFileAsGraph(StageBackgroundPath(stage), 0);
            EXPECT_GE(background, 0) << StageBackgroundPath(stage);
            DisposeGraph(background);
        }
        for (const char* path : {"graphics/congratulations.png", "graphics/end.png"}) {
            Handle graph = LoadImageFileAsGraph(path, 0);
            EXPECT_GE(graph, 0) << path;
            DisposeGraph(graph);
        }
    });
}

}  // namespace
