#include "headless_library.h"

#include <platform/testing.h>
#include <platform/testing_d3d9.h>
#include <platform/testing_host.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "app/library_setup.h"
#include "app/main_window.h"
#include "core/shell_hooks.h"
#include "core/log.h"
#include "core/platform_dlls.h"
#include "core/string_functions.h"
#include "graphics/screen_state.h"

namespace {

char gDirectory[] = "/tmp/orbek_bench_XXXXXX";

}  // namespace

void ResetFrameworkSettings() {
    FreePlatformDlls();
    TestResetPlatform();
    TestD3d9Reset();
    TestUseHeadlessHost(true);
    gScreen = ScreenState{};
    gShell = ShellState{};
    gLibrary = LibraryState{};
    gMainWindow = MainWindowState{};
    gLog.directory[0] = '\0';
}

bool StartHeadlessLibrary(benchmark::State& state, const std::function<void()>& configure,
                          const std::function<bool()>& started) {
    std::strcpy(gDirectory, "/tmp/orbek_bench_XXXXXX");
    if (mkdtemp(gDirectory) == nullptr) {
        state.SkipWithError("no temporary directory");
        return false;
    }
    ResetFrameworkSettings();
    TestUseVirtualClock(true);
    TestSetClockStepPerRead(50);
    CopyStringMax(gLog.directory, gDirectory, sizeof(gLog.directory) - 1);
    configure();
    if (SetupLibrary() != 0 || !started()) {
        state.SkipWithError("the framework did not start as asked");
        StopHeadlessLibrary();
        return false;
    }
    return true;
}

void StopHeadlessLibrary() {
    ShutdownLibrary();
    ResetFrameworkSettings();
    unlink((std::string(gDirectory) + "/Log.txt").c_str());
    rmdir(gDirectory);
}
