// Programs of one's own run at once: two with titles of their own both start, a second with
// the same title is refused and says so in its log. Each runs window_title_program in a
// directory of its own, all of them sharing the directory of the windows' lock files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// A run that has not answered by then hangs.
constexpr int kAnswerBoundMs = 30000;

class TitledProgram {
public:
    // Starts the program with the title in its own directory under root; root also holds the
    // lock files.
    TitledProgram(const std::string& root, const std::string& title) {
        directory_ = root + "/" + title + std::to_string(count_++);
        std::filesystem::create_directory(directory_);
        int input[2], output[2];
        // Close-on-exec, so that a later program holds no end of this one's pipes.
        if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, input[1]);
        posix_spawn_file_actions_addclose(&actions, output[0]);
        std::vector<std::string> settings = {"ORBEK_HOST=headless", "XDG_RUNTIME_DIR=" + root,
                                             "TMPDIR=" + root};
        for (char** variable = environ; *variable != nullptr; ++variable) {
            std::string setting = *variable;
            if (setting.rfind("ORBEK_HOST=", 0) != 0 && setting.rfind("XDG_RUNTIME_DIR=", 0) != 0 &&
                setting.rfind("TMPDIR=", 0) != 0) {
                settings.push_back(setting);
            }
        }
        std::vector<char*> environment;
        for (std::string& setting : settings) environment.push_back(setting.data());
        environment.push_back(nullptr);
        std::string program = ORBEK_WINDOW_TITLE_PROGRAM;
        char* argv[] = {program.data(), const_cast<char*>(title.c_str()), directory_.data(),
                        nullptr};
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv, environment.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(input[0]);
        close(output[1]);
        input_ = input[1];
        output_ = output[0];
    }
    ~TitledProgram() {
        End();
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0) close(output_);
    }

    // Its first line, "started" or "refused"; empty when it says nothing in time.
    std::string Answer() {
        std::string line;
        pollfd wait = {output_, POLLIN, 0};
        char c;
        while (poll(&wait, 1, kAnswerBoundMs) > 0 && read(output_, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        return line;
    }
    // Ends its input, which ends it; its exit status, -1 when it does not end in time.
    int End() {
        if (input_ >= 0) close(input_);
        input_ = -1;
        if (pid_ <= 0) return -1;
        for (int waited = 0; waited < kAnswerBoundMs; waited += 10) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            usleep(10000);
        }
        return -1;
    }
    std::string Log() const {
        std::ifstream file(directory_ + "/Log.txt", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

private:
    static inline int count_ = 0;
    std::string directory_;
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
};

TEST(DoubleStartTest, TitlesOfTheirOwnRunSideBySideAndTheSameTitleIsRefused) {
    char pattern[] = "/tmp/orbek_double_start_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string root = pattern;
    {
        TitledProgram first(root, "Alpha");
        TitledProgram other(root, "Beta");
        ASSERT_EQ(first.Answer(), "started");
        EXPECT_EQ(other.Answer(), "started");
        TitledProgram again(root, "Alpha");
        EXPECT_EQ(again.Answer(), "refused");
        EXPECT_EQ(again.End(), 1);
        EXPECT_NE(again.Log().find("二重起動されています、ソフトを終了します"), std::string::npos);
        EXPECT_EQ(first.End(), 0);
        EXPECT_EQ(other.End(), 0);
        // Once the first has ended, its title is free again.
        TitledProgram later(root, "Alpha");
        EXPECT_EQ(later.Answer(), "started");
        EXPECT_EQ(later.End(), 0);
    }
    std::filesystem::remove_all(root);
}

}  // namespace
