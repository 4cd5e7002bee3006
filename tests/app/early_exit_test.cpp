// Programs that end without ShutdownLibrary: returning from main or calling exit, on either
// host, with a sound playing, a font drawn, loads in flight, sockets open or a failed start-up
// behind them, they end at once with their own status, the framework ended first as
// ShutdownLibrary ends it; off the main thread, or held up by a lock, at once all the same.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/early_exit_children.h"
#include "app/library_fixture.h"
#include "core/sockets.h"
#include "core/threads.h"
#include "sound/sound_state.h"
#include "sound/sound_test_support.h"

namespace {

// A run that has not ended by then hangs.
constexpr auto kHangBound = std::chrono::seconds(EarlyExitChildren::kHangBoundSeconds);
constexpr int kRunsAtOnce = 6;

std::string ReadWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The log's lines after the start-up's last one, without their time stamps: what the program
// logged from its first frame to its end.
std::vector<std::string> LinesAfterStartUp(const std::string& log) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find("\r\n", start);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(start, end - start);
        line.erase(0, line.find_first_not_of("0123456789"));
        if (line.find("文字コードバッファの初期化を行います") != std::string::npos) {
            lines.clear();
        } else {
            lines.push_back(line);
        }
        start = end + 2;
    }
    return lines;
}

std::set<std::string> FileNames(const std::string& directory) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// One run of the program in a directory of its own, which is also its XDG_RUNTIME_DIR (the
// double-start check's lock files) and its TMPDIR.
struct ProgramRun {
    std::string host;
    std::string how;
    bool playing = false;  // a sound playing and a font drawn
    int expected = 0;      // the exit status
    std::string directory;
    pid_t pid = -1;
    std::chrono::steady_clock::time_point started;
    int waitStatus = 0;
    bool hung = false;
};

class EarlyExitProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orbek_early_exit_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    ProgramRun Plan(const char* host, const char* how, bool playing, int expected) {
        ProgramRun run;
        run.host = host;
        run.how = how;
        run.playing = playing;
        run.expected = expected;
        run.directory = root_ + "/" + std::to_string(runs_++);
        std::filesystem::create_directory(run.directory);
        return run;
    }

    static void Start(ProgramRun* run) {
        std::vector<std::string> settings = {
            "ORBEK_HOST=" + run->host, "SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy",
            "XDG_RUNTIME_DIR=" + run->directory, "TMPDIR=" + run->directory};
        for (char** variable = environ; *variable != nullptr; ++variable) {
            std::string name(*variable, std::strcspn(*variable, "="));
            if (name != "ORBEK_HOST" && name != "SDL_VIDEODRIVER" && name != "SDL_AUDIODRIVER" &&
                name != "XDG_RUNTIME_DIR" && name != "TMPDIR" && name != "DISPLAY" &&
                name != "WAYLAND_DISPLAY") {
                settings.emplace_back(*variable);
            }
        }
        std::vector<char*> environment;
        for (std::string& setting : settings) environment.push_back(setting.data());
        environment.push_back(nullptr);
        std::vector<std::string> words = {ORBEK_EARLY_EXIT_PROGRAM, run->how};
        if (run->playing) words.insert(words.end(), {"sound", "font"});
        std::vector<char*> arguments;
        for (std::string& word : words) arguments.push_back(word.data());
        arguments.push_back(nullptr);
        std::string output = run->directory + ".out";
        run->started = std::chrono::steady_clock::now();
        run->pid = fork();
        if (run->pid == 0) {
            int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd < 0 || dup2(fd, 1) < 0 || dup2(fd, 2) < 0 ||
                chdir(run->directory.c_str()) != 0) {
                _exit(126);
            }
            execve(arguments[0], arguments.data(), environment.data());
            _exit(127);
        }
    }

    // Runs them, kRunsAtOnce at a time; a run that outlasts the bound is killed.
    static void RunAll(std::vector<ProgramRun>& runs) {
        size_t next = 0;
        std::vector<ProgramRun*> running;
        while (next < runs.size() || !running.empty()) {
            while (running.size() < kRunsAtOnce && next < runs.size()) {
                Start(&runs[next]);
                ASSERT_GT(runs[next].pid, 0);
                running.push_back(&runs[next++]);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            std::erase_if(running, [](ProgramRun* run) {
                if (waitpid(run->pid, &run->waitStatus, WNOHANG) == run->pid) return true;
                if (std::chrono::steady_clock::now() - run->started < kHangBound) return false;
                run->hung = true;
                kill(run->pid, SIGKILL);
                waitpid(run->pid, &run->waitStatus, 0);
                return true;
            });
        }
    }

    static std::string Describe(const ProgramRun& run) {
        std::string text = run.host + " " + run.how + (run.playing ? " playing: " : ": ");
        if (run.hung) return text + "still running after the bound";
        text += WIFEXITED(run.waitStatus)
                    ? "exit status " + std::to_string(WEXITSTATUS(run.waitStatus))
                    : "signal " + std::to_string(WTERMSIG(run.waitStatus));
        std::string output = ReadWhole(run.directory + ".out");
        return text + "\n" + output.substr(0, 2000);
    }

    std::string root_;
    int runs_ = 0;
};

TEST_F(EarlyExitProgramTest, EndsAtOnceWithItsOwnStatusOnBothHosts) {
    std::vector<ProgramRun> runs;
    for (const char* host : {"sdl", "headless"}) {
        for (bool playing : {true, false}) {
            // What a run ended by ShutdownLibrary logs and leaves behind, to compare with.
            runs.push_back(Plan(host, "shutdown", playing, 0));
            for (int i = 0; i < 2; ++i) {
                runs.push_back(Plan(host, "return", playing, 7));
                runs.push_back(Plan(host, "exit", playing, 3));
            }
        }
        runs.push_back(Plan(host, "thread-exit", true, 3));
    }
    RunAll(runs);
    for (const ProgramRun& run : runs) {
        ASSERT_TRUE(!run.hung && WIFEXITED(run.waitStatus) &&
                    WEXITSTATUS(run.waitStatus) == run.expected)
            << Describe(run);
    }
    for (const ProgramRun& run : runs) {
        const ProgramRun& shutDown = *std::find_if(runs.begin(), runs.end(), [&](const auto& r) {
            return r.how == "shutdown" && r.host == run.host && r.playing == run.playing;
        });
        // Nothing left behind but what a shut-down run leaves: its log, the sound it wrote and
        // the double-start check's lock file.
        EXPECT_EQ(FileNames(run.directory), FileNames(shutDown.directory)) << Describe(run);
        // Ended off the main thread, the process ends without the shutdown.
        if (run.how == "thread-exit") continue;
        EXPECT_EQ(LinesAfterStartUp(ReadWhole(run.directory + "/Log.txt")),
                  LinesAfterStartUp(ReadWhole(shutDown.directory + "/Log.txt")))
            << Describe(run);
    }
}

// Inside a test program's own process, with what only the framework's own calls reach.
class EarlyExitTest : public LibraryFixture {
protected:
    EarlyExitChildren children_;
};

TEST_F(EarlyExitTest, LoadsInFlightAndASocketOpenEndWithTheFramework) {
    TestSetProcessorCount(4);
    ASSERT_EQ(SetupLibrary(), 0);
    ASSERT_TRUE(HasThreadHandle(&gSound.streamThread));
    ASSERT_EQ(SetupNetwork(), 0);
    Handle listener = -1;
    int32_t port = 0;
    for (int32_t tries = 0; tries < 200 && listener == -1; ++tries) {
        port = 20000 + (getpid() * 7 + tries * 131) % 40000;
        listener = ListenNetWork("127.0.0.1", port);
    }
    ASSERT_NE(listener, -1);
    ASSERT_NE(ConnectNetWork("127.0.0.1", port), -1);
    // Ten seconds of 16-bit stereo silence: a load long enough to be under way.
    WriteFile(directory_ + "/silence.wav", PcmWave(2, 44100, 16, Bytes(44100 * 4 * 10)));
    SwitchAsyncLoad(1);
    for (int i = 0; i < 8; ++i) ASSERT_NE(LoadSoundHandle("silence.wav", 1, -1), -1);
    ASSERT_NE(MakeFontHandle(nullptr, 24, 3, 0, -1, -1, 0, -1), -1);
    EXPECT_EXIT(EarlyExitChildren::Exit(directory_, kShutdownLogEnd), ::testing::ExitedWithCode(3),
                "");
}

// A start-up that failed after the sound device, its stream thread and the loading workers
// were made leaves them running; the program that gives up then must still end.
TEST_F(EarlyExitTest, AFailedStartUpsThreadsEndAtExit) {
    TestSetProcessorCount(4);
    TestSetModuleMissing("d3d9.dll", true);
    ASSERT_EQ(SetupLibrary(), -1);
    ASSERT_TRUE(HasThreadHandle(&gSound.streamThread));
    EXPECT_EXIT(EarlyExitChildren::Exit(directory_, {"DirectSound の終了処理は正常に終了しました"}),
                ::testing::ExitedWithCode(3), "");
}

// A lock that another thread never gives back holds the shutdown up: the process ends with its
// status all the same.
TEST_F(EarlyExitTest, ALockKeptByAnotherThreadDoesNotHoldTheEndUp) {
    ASSERT_EQ(SetupLibrary(), 0);
    static std::atomic<bool> held = false;
    EXPECT_EXIT(
        {
            std::thread([] {
                EnterLock(&gAsyncLoad.lock);
                held = true;
                pause();
            }).detach();
            while (!held) std::this_thread::yield();
            EarlyExitChildren::Exit(directory_, {});
        },
        ::testing::ExitedWithCode(3), "");
}

}  // namespace
