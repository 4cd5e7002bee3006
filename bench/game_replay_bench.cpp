// The game's scripted whole game (tests/game/scripted_game.h) played headless, once on the
// Direct3D device and once in software mode, every frame shown in the window as a player sees
// it: frames (passes of the game's loops) per second, and the time from start-up to the first
// title frame, every asset of start-up loaded. One game per repetition; read the medians.
#include <benchmark/benchmark.h>
#include <platform/testing.h>
#include <platform/testing_d3d9.h>
#include <platform/testing_host.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "core/shell_hooks.h"
#include "core/log.h"
#include "core/string_functions.h"
#include "graphics/screen_state.h"
#include "headless_library.h"
#include "replay_driver.h"
#include "scene_loop.h"
#include "scripted_game.h"

namespace {

// Seconds on the monotonic clock (<chrono> does not build under the narrow character set).
double Now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A temporary folder linking the generated assets, the current one while it lives.
class GameFolder {
public:
    GameFolder() {
        char pattern[] = "/tmp/brovane_bench_XXXXXX";
        if (mkdtemp(pattern) == nullptr || getcwd(previous_, sizeof previous_) == nullptr) {
            std::perror("game folder");
            std::abort();
        }
        path_ = pattern;
        for (const char* folder : kLinked) {
            std::string target = std::string(BROVANE_DATA_DIR).append("/").append(folder);
            if (symlink(target.c_str(), (path_ + "/" + folder).c_str()) != 0) std::abort();
        }
        if (chdir(path_.c_str()) != 0) std::abort();
    }
    ~GameFolder() {
        if (chdir(previous_) != 0) std::perror("chdir");
        for (const char* name : {"graphics", "sound", "savedata.txt", "Log.txt"}) {
            unlink((path_ + "/" + name).c_str());
        }
        rmdir(path_.c_str());
    }
    const std::string& path() const { return path_; }

private:
    static constexpr const char* kLinked[] = {"graphics", "sound"};
    std::string path_;
    char previous_[4096] = {};
};

void PlayScriptedGame(benchmark::State& state, bool device) {
    double startUpSeconds = 0, playSeconds = 0;
    int frames = 0;
    for (auto _ : state) {
        GameFolder folder;
        ResetFrameworkSettings();
        TestUseVirtualClock(true);
        TestSetClockMicroseconds(5'000'000);
        TestSetClockStepPerRead(50);
        TestSetExportMissing("d3d9.dll", "Direct3DCreate9Ex", !device);
        TestSetExportMissing("d3d9.dll", "Direct3DCreate9", !device);
        CopyStringMax(gLog.directory, folder.path().c_str(), sizeof(gLog.directory) - 1);
        gShell.windowed = 1;
        PrepareReplayRun();
        TestD3d9KeepPixels(true);
        TestHostKeepSurfaces(true);

        ScriptedGame game;
        gReplay.script = std::ref(game.script);
        const double start = Now();
        double titleShown = start, last = start;
        int lastPass = 0;
        bool onPath = true;
        gReplay.observe = [&](int pass) {
            last = Now();
            if (pass == 1) titleShown = last;
            lastPass = pass;
            onPath = onPath && (IsDirect3DMode() != 0) == device;
            game.Steer();
        };
        if (WinMain(nullptr, nullptr, nullptr, 1) != 0 || !game.script.Done() || !onPath) {
            state.SkipWithError("the scripted game did not run to its end on its path");
        }
        // The replay's script and observer refer to this game's locals.
        gReplay = Replay{};
        ResetGameState();
        ResetFrameworkSettings();
        startUpSeconds += titleShown - start;
        playSeconds += last - titleShown;
        frames += lastPass - 1;
    }
    state.counters["fps"] = frames / playSeconds;
    state.counters["frames"] = frames / static_cast<double>(state.iterations());
    state.counters["startup_ms"] = 1000 * startUpSeconds / static_cast<double>(state.iterations());
}

BENCHMARK_CAPTURE(PlayScriptedGame, device, true)
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(PlayScriptedGame, software, false)
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kSecond);

}  // namespace
