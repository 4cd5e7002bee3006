// Scripted replays of the game, headless and deterministic: the framework on the headless host
// under the replay driver, in a temporary directory holding the generated assets.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/library_fixture.h"
#include "replay_driver.h"

// Runs the game in a temporary directory holding the generated assets, under the replay.
class ReplayFixture : public LibraryFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // WinMain under the replay, with the script and observer set beforehand in gReplay.
    void RunGame();
    // A fresh directory, platform and game for a second run in the same test.
    void Restart() {
        TearDown();
        SetUp();
    }
    std::string ReadSaveFile() const;
    void WriteSaveFile(const std::string& content) const;
    // Sound events for one path, in order.
    std::vector<SoundEvent> SoundsOf(const std::string& path) const;
    // The first pass at which the text was drawn at (x, y), or -1.
    int FirstPassWithText(const std::string& text, int x, int y) const;
};
