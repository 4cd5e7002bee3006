// Shared set-up for the platform layer's tests: every test starts and ends with the layer's
// hooks at their defaults, and file tests get a fresh directory of their own.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "platform/testing.h"
#include "platform/win32.h"

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override { TestResetPlatform(); }
    void TearDown() override { TestResetPlatform(); }
};

// A new directory under /tmp that is also the current directory for the test's length.
class TempDirTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        previous_ = std::filesystem::current_path();
        char pattern[] = "/tmp/orbek_platform_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = std::filesystem::canonical(pattern).string();
        ASSERT_EQ(chdir(dir_.c_str()), 0);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(dir_);
        PlatformTest::TearDown();
    }
    // The directory as the layer names it: "Z:\tmp\orbek_platform_..." (ASCII, so CP932).
    std::string WindowsDir() const {
        std::string name = "Z:" + dir_;
        for (char& c : name) {
            if (c == '/') c = '\\';
        }
        return name;
    }
    std::string dir_;
    std::filesystem::path previous_;
};

// Waits, without sleeping, until the condition holds; false after a generous real-time bound
// so that a broken implementation fails instead of hanging.
template <class Condition>
bool WaitUntil(Condition condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}
