// Death-test children that end by exit without ShutdownLibrary, checked from the inside: each is
// a process of its own (not a fork), so that the framework's threads run in it as in a program,
// and an exit handler of the test's, run after the framework's own, fails it (status 4) unless
// the log holds what the framework's end writes.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class EarlyExitChildren {
public:
    // Made before the framework starts: exit runs handlers in the reverse order of their
    // registration, so the check then runs after the framework's end.
    EarlyExitChildren() : style_(GTEST_FLAG_GET(death_test_style)) {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        static const bool registered = on_exit(CheckTheEnd, nullptr) == 0;
        EXPECT_TRUE(registered);
    }
    ~EarlyExitChildren() { GTEST_FLAG_SET(death_test_style, style_); }
    EarlyExitChildren(const EarlyExitChildren&) = delete;
    EarlyExitChildren& operator=(const EarlyExitChildren&) = delete;

    // In the child: exit with status 3, killed by SIGALRM should it hang. The child's directory
    // (it made one of its own) goes once the log has been read; with nothing to read, at once,
    // as the end checked may be one that no handler after it sees.
    [[noreturn]] static void Exit(const std::string& logDirectory,
                                  std::vector<std::string> loggedAtTheEnd) {
        alarm(kHangBoundSeconds);
        if (loggedAtTheEnd.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(logDirectory, ignored);
        } else {
            directory_ = logDirectory;
            logged_ = std::move(loggedAtTheEnd);
        }
        std::exit(3);
    }

    static constexpr unsigned kHangBoundSeconds = 10;

private:
    static void CheckTheEnd(int status, void*) {
        if (directory_.empty()) return;
        std::ifstream file(directory_ + "/Log.txt", std::ios::binary);
        std::string log((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
        for (const std::string& text : logged_) {
            if (log.find(text) == std::string::npos) _exit(4);
        }
    }

    static inline std::string directory_;
    static inline std::vector<std::string> logged_;
    std::string style_;
};

// What ShutdownLibrary writes last.
inline const std::vector<std::string> kShutdownLogEnd = {"ソフトを終了する準備が整いました",
                                                         "Alloc num:0"};
