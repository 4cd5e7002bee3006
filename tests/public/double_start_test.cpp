// Programs of one's own run at once: two with titles of their own both start, a second with
// the same title is refused and says so in its log. Each runs window_title_program in a
// directory of its own, all of them sharing the directory of the windows' lock files.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

class TitledProgram {
public:
    // Starts the program with the title in a directory of its own under root (which also holds
    // the lock files) and reads its answer; a run that hangs is ended after a minute.
    TitledProgram(const std::string& root, const std::string& title)
        : directory_(root + "/" + title + std::to_string(count_++)) {
        std::filesystem::create_directory(directory_);
        const std::string command =
            "ORBEK_HOST=headless XDG_RUNTIME_DIR=" + root + " TMPDIR=" + root +
            " timeout 60 '" ORBEK_WINDOW_TITLE_PROGRAM "' " + title + " " + directory_;
        pipe_ = popen(command.c_str(), "r");
        char line[16] = {};
        if (pipe_ != nullptr && std::fgets(line, sizeof line, pipe_) != nullptr) answer = line;
    }
    ~TitledProgram() { End(); }

    // Makes the file it waits for, which ends it: its exit status, -1 when it did not exit.
    int End() {
        if (pipe_ == nullptr) return -1;
        std::ofstream(directory_ + "/end").flush();
        const int status = pclose(pipe_);
        pipe_ = nullptr;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Log() const {
        std::ifstream file(directory_ + "/Log.txt", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    std::string answer;  // its first line, "started\n" or "refused\n"

private:
    static inline int count_ = 0;
    std::string directory_;
    FILE* pipe_ = nullptr;
};

TEST(DoubleStartTest, TitlesOfTheirOwnRunSideBySideAndTheSameTitleIsRefused) {
    char pattern[] = "/tmp/orbek_double_start_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string root = pattern;
    {
        TitledProgram first(root, "Alpha"), other(root, "Beta");
        ASSERT_EQ(first.answer, "started\n");
        EXPECT_EQ(other.answer, "started\n");
        TitledProgram again(root, "Alpha");
        EXPECT_EQ(again.answer, "refused\n");
        EXPECT_EQ(again.End(), 1);
        EXPECT_NE(again.Log().find("二重起動されています、ソフトを終了します"), std::string::npos);
        EXPECT_EQ(first.End(), 0);
        EXPECT_EQ(other.End(), 0);
        // Once the first has ended, its title is free again.
        TitledProgram later(root, "Alpha");
        EXPECT_EQ(later.answer, "started\n");
        EXPECT_EQ(later.End(), 0);
    }
    std::filesystem::remove_all(root);
}

}  // namespace
