// The framework's spine: start-up and shutdown of every module in their fixed order, the
// fatal exit's shutdown, the shutdown at exit of a program that did not call ShutdownLibrary,
// COM start and end, and the locked public entry points around them.
#include "app/library_setup.h"

#include <platform/com.h>
#include <platform/win32.h>
#include <platform/win32_user.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <semaphore>
#include <system_error>
#include <thread>

#include "app/main_window.h"
#include "app/message_pump.h"
#include "app/module_hooks.h"
#include "app/screen_log.h"
#include "core/api_lock.h"
#include "core/async_load.h"
#include "core/clocks.h"
#include "core/fatal_error.h"
#include "core/file_access.h"
#include "core/log.h"
#include "core/platform_dlls.h"
#include "core/sockets.h"
#include "core/string_functions.h"
#include "core/system_info.h"
#include "core/text_input.h"
#include "core/tracked_memory.h"
#include "graphics/draw_screen.h"
#include "graphics/graphics_system.h"
#include "graphics/model_resources.h"
#include "graphics/screen_state.h"
#include "graphics/soft_image.h"
#include "image/color_format.h"
#include "input/input.h"
#include "movie/movies.h"
#include "movie/theora_player.h"
#include "sound/music.h"
#include "sound/sound_conversion.h"
#include "sound/sound_device.h"
#include "sound/sound_state.h"

LibraryState gLibrary = {};

namespace {

// A full-screen request for a size the display does not offer starts in window mode.
void ChooseStartMode() {
    if (!IsWindowedMode() && !PrepareFullScreenSize()) ChangeWindowMode(1);
}

// The fatal exit's shutdown. Off the main thread the shutdown would wait for this very thread
// (a loading worker), and with the loading lock held (a call a worker handed over) for the
// worker that waits on it, so the process ends at once there.
void ShutdownAfterFatalError() {
    DWORD mainThread = gShell.mainThreadId;
    if (mainThread != 0 && mainThread != GetCurrentThreadId()) return;
    if (IsAsyncLoadLockHeld()) return;
    ShutdownLibraryUnlocked();
    CloseApiLock();
}

// The end of a program that returns from main or calls exit without ShutdownLibrary: exit's
// handler ends the framework as ShutdownLibrary would, before the module state is destroyed
// under the threads that use it (the stream thread, the loading workers, the host's audio).
struct ExitEndState {
    int32_t registered;
    DWORD setupThread;  // the thread that started the framework
};

ExitEndState gExitEnd = {};
// Released once the shutdown at exit is done.
std::binary_semaphore gExitShutdownDone{0};

// Far longer than a shutdown takes: one that waits on what never comes (a lock that another
// thread keeps) is cut short here by ending the process.
constexpr auto kExitShutdownLimit = std::chrono::seconds(5);

// Ends the process at once with the status: what the framework runs stops with it, and no
// destructor runs under a thread that still uses what it destroys.
[[noreturn]] void EndProcessNow(int status) {
    std::fflush(nullptr);
    _exit(status);
}

// Left running by a start-up or not yet ended.
bool FrameworkRunning() {
    return gShell.setUp != 0 || gSound.setUp != 0 || gAsyncLoad.setUp != 0;
}

// The shutdown needs the thread that started the framework, with the loading lock free (the
// workers end through it). Elsewhere the process ends at once: another thread may be using the
// framework still.
void EndFrameworkAtExit(int status, void*) {
    if (!FrameworkRunning()) return;
    if (GetCurrentThreadId() != gExitEnd.setupThread || IsAsyncLoadLockHeld()) {
        EndProcessNow(status);
    }
    try {
        std::thread([status] {
            if (!gExitShutdownDone.try_acquire_for(kExitShutdownLimit)) EndProcessNow(status);
        }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the shutdown runs unwatched.
    }
    if (gShell.setUp != 0) {
        ShutdownLibrary();
    } else {
        // A failed start-up leaves what it started; of that, only threads need ending.
        StopAsyncWorkers();
        ShutdownDirectSound();
    }
    gExitShutdownDone.release();
}

void EndFrameworkAtExitFromNowOn() {
    gExitEnd.setupThread = GetCurrentThreadId();
    if (gExitEnd.registered != 0) return;
    gExitEnd.registered = 1;
    on_exit(EndFrameworkAtExit, nullptr);
}

// A start-up switch, set before the start-up: a module left out, or started, is ended as it
// was started.
int SetStartUpSwitch(int32_t* field, int32_t on, const char* refusal) {
    if (gShell.setUp != 0) return AppendLogText(refusal);
    *field = on != 0 ? 1 : 0;
    return 0;
}

// A failed step: the modules started so far stay as they are.
int FailStartup() {
    ShutdownLibraryUnlocked();
    gShell.initialising = 0;
    return -1;
}

}  // namespace

int SetupLibrary() {
    if (gShell.setUp != 0) return 0;
    EnterApiLock();
    int result = SetupLibraryUnlocked();
    LeaveApiLock();
    // After the start-up, so that what it made on first use is destroyed after the handler.
    EndFrameworkAtExitFromNowOn();
    return result;
}

int ShutdownLibrary() {
    if (gShell.setUp == 0) return 0;
    EnterApiLock();
    int result = ShutdownLibraryUnlocked();
    LeaveApiLock();
    CloseApiLock();
    return result;
}

int SetNoSoundSwitch(int32_t on) {
    return SetStartUpSwitch(&gLibrary.noSound, on,
                            "初期化後は設定できません in SetNoSoundSwitch\n");
}

int SetNoInputSwitch(int32_t on) {
    return SetStartUpSwitch(&gLibrary.noInput, on,
                            "初期化後は設定できません in SetNoInputSwitch\n");
}

int SetNoGraphicsSwitch(int32_t on) {
    return SetStartUpSwitch(&gShell.noGraphics, on,
                            "初期化後は設定できません in SetNoGraphicsSwitch\n");
}

int SetupLibraryUnlocked() {
    if (gShell.setUp != 0) return 0;
    InstallModuleHooks();
    gShell.initialising = 1;
    InstallFatalErrorShutdown(ShutdownAfterFatalError);
    ClearQuittingFlag();
    LoadPlatformDlls();
    ChooseStartMode();
    BuildYUVToRGBTables();

    SetupArchiveCache();
    SetFileAccessFunctions(nullptr);
    GetDataCurrentDir(gLibrary.startDirectory);
    if (gLog.directory[0] == '\0') {
        CopyStringMax(gLog.directory, gLibrary.startDirectory, sizeof gLog.directory - 1);
    }
    StartLog();

    if (gLibrary.noWindow == 0 &&
        ((DesktopBitsPerPixel() == 24 && IsWindowedMode()) || QueryColorBitDepth() == 24)) {
        return AppendLogText("ＯＲＢＥＫライブラリは２４ビットカラーモードに対応していません\n");
    }
    ProbePerformanceCounter();
    LogSystemInfo();
    InstallGraphRestoreHandler(nullptr);
    SetupCom();

    if (SetupMainWindow() == -1) return FailStartup();
    if (gLibrary.noInput == 0 && SetupInput() == -1) return FailStartup();
    if (gLibrary.noSound == 0) {
        OpenAcmLibrary();
        SetupDirectSound();
    }
    if (gShell.noGraphics == 0) {
        SetupGraphImageModule();
        RegisterSoftImageHandleType();
        SetupMovieManager();
        if (InitializeGraphics() < 0) return FailStartup();
    }
    SetupCharCodeBuffer();

    gShell.setUp = 1;
    if (!IsWindowedMode()) ForceForegroundWindow(GetMainHwnd(), 1);
    SetupScreenLog();
    SelectDrawScreen(kBackScreen);
    SelectDrawScreen(kFrontScreen);
    if (gShell.noGraphics == 0) RegisterModelHandleTypes();

    gShell.initialising = 0;
    ConsumeDeferredUserSize();
    return 0;
}

int ShutdownLibraryUnlocked() {
    if (gShell.setUp == 0) return 0;
    gShell.ending = 1;

    DeleteAllSoftImages();
    ShutdownScreenLog();
    TerminateNetwork();
    StopCurrentMusic();
    UnregisterModelHandleTypes();
    ShutdownGraphicsSystem();
    ShutdownGraphImageModule();
    UnregisterSoftImageHandleType();
    ShutdownMovieManager();
    ShutdownInput();
    ShutdownDirectSound();
    CloseAcmLibrary();
    ShutdownMainWindow();
    ShutdownCom();
    gShell.setUp = 0;

    if (gLibrary.noWindow == 0) {
        while (PumpShellMessages() == 0 && gMainWindow.quit == 0 &&
               gMainWindow.windowDestroyed == 0) {
        }
    }
    UnregisterClassA(gMainWindow.settings.className, gShell.module);
    // Only our own window is destroyed: a second copy's window of the same class stays.
    if (gLibrary.noWindow == 0) {
        for (HWND found = FindWindowA(gMainWindow.settings.className, nullptr);
             found != nullptr && found == gShell.window;
             found = FindWindowA(gMainWindow.settings.className, nullptr)) {
            DestroyWindow(found);
            Sleep(100);
        }
    }
    // The window is gone: a window-mode change from now on only records, as before the first
    // start-up, instead of restyling a window that no longer exists; and the next start-up
    // names the class after the title then in force.
    gShell.window = nullptr;
    gMainWindow.settings.className[0] = '\0';
    SetDataCurrentDir(gLibrary.startDirectory);
    ShutdownArchiveCache();
    DumpMemoryBlocks();
    FreePlatformDlls();
    return 0;
}

int SetupCom() {
    if (gLibrary.comInitialised != 0) return -1;
    AppendLogText("ＣＯＭの初期化... ");
    if (gPlatformDlls.CoInitializeEx == nullptr ||
        gPlatformDlls.CoInitializeEx(nullptr, COINIT_MULTITHREADED) < 0) {
        return AppendLogText("ＣＯＭの初期化に失敗しました\n");
    }
    AppendLogText("成功しました\n");
    gLibrary.comInitialised = 1;
    return 0;
}

int ShutdownCom() {
    if (gLibrary.comInitialised == 0) return -1;
    if (gPlatformDlls.CoUninitialize != nullptr) gPlatformDlls.CoUninitialize();
    AppendLogText("ＣＯＭを終了... 完了\n");
    gLibrary.comInitialised = 0;
    return 0;
}
