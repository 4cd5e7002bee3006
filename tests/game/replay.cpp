// The fixture that runs the game under the replay driver.
#include "replay.h"

#include <unistd.h>

#include <fstream>
#include <iterator>

#include "graphics/screen_state.h"
#include "scene_loop.h"

void ReplayFixture::SetUp() {
    LibraryFixture::SetUp();
    if (HasFatalFailure()) return;
    PrepareReplayRun();
    for (const char* folder : {"graphics", "sound"}) {
        std::string target = std::string(BROVANE_DATA_DIR).append("/").append(folder);
        ASSERT_EQ(access(target.c_str(), R_OK), 0)
            << "the generated assets are missing: " << target;
        ASSERT_EQ(symlink(target.c_str(), (directory_ + "/" + folder).c_str()), 0);
    }
}

void ReplayFixture::TearDown() {
    gScreen.noVSyncWait = 0;
    for (const char* name : {"graphics", "sound", "savedata.txt", "savedata.txt.tmp"}) {
        unlink((directory_ + "/" + name).c_str());
    }
    LibraryFixture::TearDown();
}

void ReplayFixture::RunGame() {
    AttachReplayPad();
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 1), 0);
}

std::string ReplayFixture::ReadSaveFile() const {
    std::ifstream file(directory_ + "/savedata.txt", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void ReplayFixture::WriteSaveFile(const std::string& content) const {
    std::ofstream(directory_ + "/savedata.txt", std::ios::binary) << content;
}

std::vector<SoundEvent> ReplayFixture::SoundsOf(const std::string& path) const {
    std::vector<SoundEvent> events;
    for (const SoundEvent& event : gReplay.sounds) {
        if (event.path == path) events.push_back(event);
    }
    return events;
}

int ReplayFixture::FirstPassWithText(const std::string& text, int x, int y) const {
    for (const TextEvent& event : gReplay.texts) {
        if (event.text == text && event.x == x && event.y == y) return event.pass;
    }
    return -1;
}
