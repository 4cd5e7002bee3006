// A fixture for tests that start the framework: the headless host, the virtual clock (moving a
// little on every read, so that the start-up's busy loops end), and the log in a temporary
// directory that is also the current one.
#pragma once

#include <gtest/gtest.h>
#include <platform/testing.h>
#include <platform/testing_host.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/library_setup.h"
#include "app/main_window.h"
#include "core/async_load.h"
#include "core/log.h"
#include "core/platform_dlls.h"
#include "core/string_functions.h"
#include "graphics/soft_image.h"
#include "sound/sound_device.h"
#include "image/color_format.h"

class LibraryFixture : public ::testing::Test {
protected:
    void SetUp() override {
        TestResetPlatform();
        // A failed start in an earlier test leaves the run-time DLLs loaded.
        FreePlatformDlls();
        TestUseHeadlessHost(true);
        TestUseVirtualClock(true);
        TestSetClockMicroseconds(5'000'000);
        TestSetClockStepPerRead(50);
        char pattern[] = "/tmp/orbek_window_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
        ASSERT_NE(getcwd(previous_, sizeof previous_), nullptr);
        ASSERT_EQ(chdir(directory_.c_str()), 0);
        CopyStringMax(gLog.directory, directory_.c_str(), sizeof(gLog.directory) - 1);
        gLibrary = LibraryState{};
        gMainWindow = MainWindowState{};
        gShell = ShellState{};
        gShell.windowed = 1;
        SwitchAsyncLoad(0);
    }

    void TearDown() override {
        if (gShell.setUp != 0) {
            ShutdownLibrary();
        } else {
            // A failed start-up leaves the modules it started as they are; later tests in this
            // process set up the image module and the soft-image kind anew. Its sound stream
            // thread ends here: a later death test's fork would wait for it in its shutdown.
            ShutdownDirectSound();
            UnregisterSoftImageHandleType();
            ShutdownGraphImageModule();
        }
        FreePlatformDlls();
        // Shutdown leaves the quit flag and the window state behind; tests that run later in
        // the same process without this fixture (the pump under the API lock) expect neither.
        gLibrary = LibraryState{};
        gMainWindow = MainWindowState{};
        gLog.directory[0] = '\0';
        EXPECT_EQ(chdir(previous_), 0);
        // With the log, whatever the test wrote there (saved screens, images it loads).
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
        TestUseHeadlessHost(true);
        TestResetPlatform();
    }

    // A death test's dying process is a fork of this one and has only the forking thread: the
    // loading workers end first, so that its shutdown does not wait for workers it lacks.
    static void EndWorkersBeforeFork() { StopAsyncWorkers(); }

    std::string ReadLog() const {
        std::ifstream file(directory_ + "/Log.txt", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    // True when every text occurs in the log, each after the one before.
    static ::testing::AssertionResult InOrder(const std::string& log,
                                              const std::vector<std::string>& texts) {
        size_t at = 0;
        for (const std::string& text : texts) {
            size_t found = log.find(text, at);
            if (found == std::string::npos) {
                return ::testing::AssertionFailure()
                       << "missing after byte " << at << ": text #" << (&text - texts.data());
            }
            at = found + text.size();
        }
        return ::testing::AssertionSuccess();
    }

    std::string directory_;

private:
    char previous_[4096] = {};
};
