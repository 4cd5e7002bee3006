// The main window's life: start-up (double-start check, class, styles, size and place, the
// timer test and the settings that go with the window), the change between window and full
// screen, the window-mode scale, the end, and the services around the window.
#include "app/main_window.h"

#include <platform/mmsystem.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/library_setup.h"
#include "app/message_pump.h"
#include "core/async_load.h"
#include "core/clocks.h"
#include "core/file_access.h"
#include "core/log.h"
#include "core/platform_dlls.h"
#include "core/random.h"
#include "core/string_functions.h"
#include "core/system_info.h"
#include "core/text_input.h"
#include "core/tracked_memory.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_system.h"
#include "graphics/masks.h"
#include "graphics/screen_state.h"

MainWindowState gMainWindow = {};

namespace {

struct WindowStyleRow {
    DWORD windowStyle;
    DWORD windowExStyle;
    DWORD fullScreenStyle;
    DWORD fullScreenExStyle;
};

constexpr WindowStyleRow kWindowStyles[11] = {
    {0x80CA0000, 0x300, 0x80000000, 0x8}, {0x80080000, 0x300, 0x80000000, 0x8},
    {0x80080000, 0x000, 0x80000000, 0x8}, {0x80CA0000, 0x080, 0x80000000, 0x8},
    {0x80080000, 0x080, 0x80000000, 0x8}, {0x80C80000, 0x100, 0x80000000, 0x8},
    {0x80CA0000, 0x300, 0x80000000, 0x8}, {0x80CB0000, 0x300, 0x80000000, 0x8},
    {0x81CB0000, 0x300, 0x80000000, 0x8}, {0x80CA0000, 0x100, 0x80000000, 0x8},
    {0x81CB0000, 0x100, 0x80000000, 0x8},
};

constexpr int kMaxDroppedFiles = 1000;
// The title of a window whose program gave none.
constexpr const char* kDefaultTitle = "Orbek";

void OffsetRectTo(RECT* rect, LONG left, LONG top) {
    rect->right += left - rect->left;
    rect->bottom += top - rect->top;
    rect->left = left;
    rect->top = top;
}

const WindowStyleRow& StyleRow() {
    int32_t index = gMainWindow.settings.styleIndex;
    return kWindowStyles[index >= 0 && index < 11 ? index : 0];
}

DWORD WindowModeStyle() {
    const MainWindowSettings& s = gMainWindow.settings;
    return StyleRow().windowStyle | (s.altEnterToggle != 0 ? WS_MAXIMIZEBOX : 0) |
           (gMainWindow.visibleStyle != 0 ? WS_VISIBLE : 0) |
           (s.resizable != 0 ? WS_THICKFRAME : 0);
}

// The screen size times the window scale, within the bounds a window is given.
void ScaledClientSize(int* width, int* height) {
    ScreenClientSize(width, height);
    ScaleToClientSize(width, height);
}

// The window-mode client size: the user size, else the screen size times the scale.
void WindowModeClientSize(int* width, int* height) {
    const MainWindowSettings& s = gMainWindow.settings;
    if (s.userSizeFixed != 0 || s.userSizeRequested != 0) {
        *width = s.userWidth;
        *height = s.userHeight;
        return;
    }
    ScaledClientSize(width, height);
}

// The window-mode frame for the client size, placed at the user's position or centred on the
// desktop; records the caption height.
RECT WindowModeFrame() {
    const MainWindowSettings& s = gMainWindow.settings;
    int width, height;
    WindowModeClientSize(&width, &height);
    RECT rect = {0, 0, width, height};
    AdjustWindowRectEx(&rect, WindowModeStyle(), FALSE, StyleRow().windowExStyle);
    gMainWindow.captionHeight = -rect.top;
    if (s.userPositionSet != 0) {
        OffsetRectTo(&rect, s.userX, s.userY);
    } else {
        OffsetRectTo(&rect, rect.left + (gMainWindow.desktopWidth - (rect.right - rect.left)) / 2,
                     rect.top + (gMainWindow.desktopHeight - (rect.bottom - rect.top)) / 2);
    }
    return rect;
}

// The window's client area in screen coordinates; empty at the origin for a window that is gone
// (GetClientRect then writes nothing).
RECT ScreenClientRect(HWND window) {
    RECT client = {};
    if (!GetClientRect(window, &client)) return {};
    POINT topLeft = {client.left, client.top};
    POINT bottomRight = {client.right, client.bottom};
    ClientToScreen(window, &topLeft);
    ClientToScreen(window, &bottomRight);
    return {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

void SetQuitFlags() {
    gMainWindow.quit = 1;
    SetQuittingFlag();
}

void LogMemoryStatus() {
    if (gSystemInfo.osCode > kOsCodeWindowsNt40) {
        HMODULE kernel = LoadLibraryA("Kernel32.dll");
        auto statusEx = kernel != nullptr ? reinterpret_cast<BOOL (*)(LPMEMORYSTATUSEX)>(
                                                GetProcAddress(kernel, "GlobalMemoryStatusEx"))
                                          : nullptr;
        if (statusEx != nullptr) {
            MEMORYSTATUSEX status{};
            status.dwLength = 64;
            statusEx(&status);
            gMainWindow.memoryTotal = status.ullTotalPhys;
            gMainWindow.memoryFree = status.ullAvailPhys;
        }
        if (kernel != nullptr) FreeLibrary(kernel);
    }
    if (gMainWindow.memoryTotal == 0) {
        MEMORYSTATUS status{};
        status.dwLength = sizeof status;
        GlobalMemoryStatus(&status);
        gMainWindow.memoryTotal = status.dwTotalPhys;
        gMainWindow.memoryFree = status.dwAvailPhys;
    }
    EmitLogFormat("メモリ総量:%.2fMB  空きメモリ領域:%.2fMB ", gMainWindow.memoryTotal / 1048576.0,
                  gMainWindow.memoryFree / 1048576.0);
}

// Which clock changes more often: the multimedia timer or the performance counter.
void TestTimerPrecision() {
    if (gClocks.hasPerformanceCounter == 0 || gPlatformDlls.timeGetTime == nullptr) return;
    AppendLogText("タイマーの精度を検査します\n");
    DWORD start = gPlatformDlls.timeGetTime();
    DWORD lastTime = start;
    LARGE_INTEGER lastCount;
    QueryPerformanceCounter(&lastCount);
    int32_t timeChanges = 0, counterChanges = 0;
    while (timeChanges < 60 && counterChanges < 60) {
        DWORD now = gPlatformDlls.timeGetTime();
        if (now - start >= 1000) break;
        if (now != lastTime) {
            timeChanges++;
            lastTime = now;
        }
        LARGE_INTEGER count;
        QueryPerformanceCounter(&count);
        if (count.QuadPart != lastCount.QuadPart) {
            counterChanges++;
            lastCount = count;
        }
    }
    EmitLogFormat("精度結果 更新回数 マルチメディアタイマー：%d  パフォーマンスカウンター：%d",
                  timeChanges, counterChanges);
    if (timeChanges > counterChanges) {
        EmitLogFormat("Multi Media Timer を使用します Timer 精度 : %d.00 ms ",
                      static_cast<int>(gMainWindow.timerPeriod));
        gClocks.hasPerformanceCounter = 0;
    } else {
        EmitLogFormat("パフォーマンスカウンターを使用します タイマー精度 : %lf KHz ",
                      gClocks.performanceFrequency / 1000.0);
    }
}

void ChooseCharSet() {
    if (GetCharSet() != 0) return;
    switch (GetOEMCP()) {
        case 932:
            SetCharSet(1);
            SetCodePage(932);
            break;
        case 936:
            SetCharSet(4);
            SetCodePage(936);
            break;
        case 949:
            SetCharSet(2);
            SetCodePage(949);
            break;
        case 950:
            SetCharSet(3);
            SetCodePage(950);
            break;
        default:
            SetCharSet(1);
            SetCodePage(0);
            break;
    }
}

// Registers the class and creates the window for the current mode; -1 when no window.
int CreateMainWindow() {
    MainWindowSettings& s = gMainWindow.settings;
    gMainWindow.creating = 1;
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = gShell.module;
    windowClass.hIcon =
        LoadIconA(gShell.module, MAKEINTRESOURCEA(s.iconId != 0 ? s.iconId : 0x7F00));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    windowClass.lpszClassName = s.className;
    AppendLogText("ウインドウクラスを登録します... ");
    if (RegisterClassExA(&windowClass) == 0) {
        SetQuitFlags();
    } else {
        AppendLogText("登録に成功しました\n");
    }
    if (s.title[0] == '\0') CopyString(s.title, kDefaultTitle);

    HWND window;
    if (!IsWindowedMode()) {
        AppendLogText("フルスクリーンモード用のウインドウを作成します\n");
        gMainWindow.cursorWanted = 0;
        int width, height;
        ScreenClientSize(&width, &height);
        window = CreateWindowExA(StyleRow().fullScreenExStyle, s.className, s.title,
                                 StyleRow().fullScreenStyle, 0, 0, width, height, nullptr, nullptr,
                                 gShell.module, nullptr);
    } else {
        AppendLogText("ウインドウモード起動用のウインドウを作成します\n");
        gMainWindow.cursorWanted = 1;
        if (s.userSizeRequested != 0) {
            int width, height;
            ScreenClientSize(&width, &height);
            SetWindowScale(static_cast<double>(s.userWidth) / width,
                           static_cast<double>(s.userHeight) / height);
        }
        RECT rect = WindowModeFrame();
        window = CreateWindowExA(StyleRow().windowExStyle, s.className, s.title, WindowModeStyle(),
                                 rect.left, rect.top, rect.right - rect.left,
                                 rect.bottom - rect.top, nullptr, nullptr, gShell.module, nullptr);
    }
    if (window == nullptr) {
        SetQuitFlags();
        gMainWindow.creating = 0;
        return AppendLogText("ウインドウの作成に失敗しました\n");
    }
    gShell.window = window;
    AppendLogText("ウインドウの作成に成功しました\n");
    if (s.hiddenStart != 0) {
        ShowWindow(window, SW_HIDE);
    } else if (s.minimisedStart != 0) {
        ShowWindow(window, SW_MINIMIZE);
        UpdateWindow(window);
    } else {
        AppendLogText("ウインドウを表示します\n");
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
    }
    return 0;
}

}  // namespace

int SetupMainWindow() {
    MainWindowSettings settings = gMainWindow.settings;
    gMainWindow = MainWindowState{};
    gMainWindow.settings = settings;
    gShell.window = nullptr;
    gShell.active = 0;
    gShell.closePosted = 0;
    // The scale stays: a program sets it before the start-up as well as after.
    gShell.applyWindowStyle = ApplyWindowStyle;
    gMainWindow.inactiveStart = 0xFFFFFFFF;
    MainWindowSettings& s = gMainWindow.settings;

    gShell.module = GetModuleHandleA(nullptr);
    gShell.mainThreadId = GetCurrentThreadId();
    SetupAsyncLoad(gShell.mainThreadId);
    SetupFileStreams();
    if (s.className[0] == '\0') CopyString(s.className, s.title[0] != '\0' ? s.title : "K402618Q");

    LogMemoryStatus();
    gMainWindow.desktopWidth = GetSystemMetrics(SM_CXSCREEN);
    gMainWindow.desktopHeight = GetSystemMetrics(SM_CYSCREEN);
    gMainWindow.desktopBits = DesktopBitsPerPixel();

    ProbePerformanceCounter();
    TIMECAPS caps{};
    if (gPlatformDlls.timeGetDevCaps != nullptr &&
        gPlatformDlls.timeGetDevCaps(&caps, sizeof caps) == TIMERR_NOERROR) {
        gMainWindow.timerPeriod = caps.wPeriodMin;
    }
    if (gPlatformDlls.timeBeginPeriod != nullptr) {
        gPlatformDlls.timeBeginPeriod(gMainWindow.timerPeriod);
    }
    TestTimerPrecision();
    SeedRandom(GetMillisecondCount(0));
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 0, nullptr, SPIF_SENDCHANGE);
    ChooseCharSet();

    if (gLibrary.noWindow == 0) {
        AppendLogText("ソフトの二重起動検査... ");
        if (FindWindowA(s.className, nullptr) != nullptr) {
            if (s.allowDoubleStart == 0) {
                AppendLogText("二重起動されています、ソフトを終了します\n");
                SetQuitFlags();
                return -1;
            }
            AppendLogText("二重起動されていますが続行します\n");
        } else {
            AppendLogText("二重起動はされていませんでした\n");
        }
        if (CreateMainWindow() == -1) return -1;

        gShell.closePosted = 0;
        gMainWindow.windowDestroyed = 0;
        gShell.active = 1;
        if (!IsWindowedMode()) {
            AppendLogText("カーソルを不可視にしました\n");
            SetCursor(nullptr);
        }
        AppendLogText("ＩＭＥを無効にしました\n");
        if (s.minimisedStart == 0 && IsImeInUse() == 0 &&
            gPlatformDlls.WINNLSEnableIME != nullptr) {
            gPlatformDlls.WINNLSEnableIME(gShell.window, FALSE);
        }
        if (IsWindowedMode()) gMainWindow.clientRect = ScreenClientRect(gShell.window);
        ApplyCursorVisibility(gMainWindow.cursorWanted);
        gShell.ending = 0;
        if (s.hiddenStart == 0 && s.minimisedStart == 0) {
            BringWindowToTop(gShell.window);
            ApplyWindowSize();
        }
        gMainWindow.creating = 0;
    }

    if (StartAsyncWorkers(gSystemInfo.processorCount) < 0) {
        AppendLogText("非同期読み込み処理を行うスレッドの立ち上げに失敗しました\n");
        SetQuitFlags();
        return -1;
    }
    return 0;
}

int ShutdownMainWindow() {
    if (gShell.window == nullptr && gLibrary.noWindow == 0) return 0;
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 1, nullptr, SPIF_SENDCHANGE);
    if (gLibrary.noWindow != 0) {
        SetQuitFlags();
    } else {
        if (gPlatformDlls.WINNLSEnableIME != nullptr) {
            gPlatformDlls.WINNLSEnableIME(gShell.window, TRUE);
        }
        ApplyCursorVisibility(1);
        PostCloseOnce();
        while (PumpShellMessages() == 0 && gMainWindow.windowDestroyed == 0) {
        }
        UnregisterClassA(gMainWindow.settings.className, gShell.module);
        ShutdownKeyInput();
        FreeDroppedFiles();
    }
    StopAsyncWorkers();
    ShutdownFileStreams();
    ShutdownAsyncLoad();
    if (gPlatformDlls.timeEndPeriod != nullptr)
        gPlatformDlls.timeEndPeriod(gMainWindow.timerPeriod);
    return 0;
}

void ScreenClientSize(int* width, int* height) {
    QueryOutputSize(width, height);
    if (IsEmulating320x240()) {
        *width = 640;
        *height = 480;
    }
}

bool PrepareFullScreenSize() {
    int width, height;
    QueryOutputSize(&width, &height);
    bool listed = false;
    for (int i = 0, count = CountDisplayModes(); i < count && !listed; i++) {
        DisplayModeEntry mode = ReadDisplayMode(i);
        listed = mode.width == width && mode.height == height;
    }
    bool small = width == 320 && height == 240;
    if (!listed && !(small && IsHardwareRenderingRequested())) return false;
    if (small) {
        SetEmulation320x240(1);
        StoreScreenSize(640, 480);
    }
    return true;
}

int DesktopBitsPerPixel() {
    HDC screen = GetDC(nullptr);
    int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);
    return bits;
}

void PostCloseOnce() {
    if (gShell.closePosted != 0) return;
    gShell.closePosted = 1;
    PostMessageA(gShell.window, WM_CLOSE, 0, 0);
}

void ApplyWindowSize() {
    HWND window = gShell.window;
    if (window == nullptr) return;
    MainWindowSettings& s = gMainWindow.settings;
    int width, height;
    ScaledClientSize(&width, &height);
    if (s.userSizeFixed != 0 || s.userSizeRequested != 0) {
        width = s.userWidth < width ? s.userWidth : width;
        height = s.userHeight < height ? s.userHeight : height;
        if (s.resizable != 0 || s.userSizeFixed != 0) {
            if (gShell.initialising != 0) {
                gMainWindow.userSizeResetDeferred = 1;
            } else {
                s.userSizeRequested = 0;
            }
        }
    }
    RECT rect;
    GetWindowRect(window, &rect);
    int left = rect.left, top = rect.top;
    if (s.userPositionSet != 0) {
        left = s.userX;
        top = s.userY;
        if (gShell.initialising == 0) s.userPositionSet = 0;
    }
    RECT frame = {0, 0, width, height};
    AdjustWindowRectEx(&frame, IsWindowedMode() ? WindowModeStyle() : StyleRow().fullScreenStyle,
                       FALSE,
                       IsWindowedMode() ? StyleRow().windowExStyle : StyleRow().fullScreenExStyle);
    MoveWindow(window, left, top, frame.right - frame.left, frame.bottom - frame.top, TRUE);
    if (IsWindowedMode() && gMainWindow.sizeApplied == 0) {
        gMainWindow.sizeApplied = 1;
        gMainWindow.visibleStyle = 1;
        ApplyWindowStyle();
    }
}

void ConsumeDeferredUserSize() {
    if (gMainWindow.userSizeResetDeferred == 0) return;
    gMainWindow.userSizeResetDeferred = 0;
    gMainWindow.settings.userSizeRequested = 0;
}

int ChangeWindowMode(int32_t windowed) {
    AppendLogText("ChangeWindowMode実行 \n");
    if ((windowed != 0) == (gShell.windowed != 0)) return 0;
    if (windowed == 0 && gShell.window != nullptr && !PrepareFullScreenSize()) return -1;
    gMainWindow.visibleStyle = 1;
    gMainWindow.displayChanged = 0;
    StoreWindowModeFlag(windowed);
    if (gShell.window == nullptr) return 0;
    gMainWindow.modeChangeUnderWay = 1;
    ApplyWindowStyle();
    int result = ChangeScreenMode(-1, -1, -1, 1, -1);
    gMainWindow.modeChangeUnderWay = 0;
    return result;
}

int ApplyWindowStyle() {
    HWND window = gShell.window;
    if (window == nullptr) return 0;
    if (!IsWindowedMode()) {
        AppendLogText("ウインドウスタイルをフルスクリーンモード用に変更します... ");
        SetWindowLongA(window, GWL_EXSTYLE, static_cast<LONG>(StyleRow().fullScreenExStyle));
        SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(StyleRow().fullScreenStyle));
        int width, height;
        ScreenClientSize(&width, &height);
        gMainWindow.clientRect = {0, 0, width, height};
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
        SetWindowPos(window, HWND_TOPMOST, 0, 0, width, height, SWP_NOACTIVATE);
        ApplyCursorVisibility(0);
        return 0;
    }
    AppendLogText("ウインドウスタイルをウインドウモード用に変更します... ");
    SetWindowLongA(window, GWL_EXSTYLE, static_cast<LONG>(StyleRow().windowExStyle));
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(WindowModeStyle()));
    RECT rect = WindowModeFrame();
    for (int attempt = 0; attempt < 2; attempt++) {
        SetWindowPos(window, HWND_NOTOPMOST, rect.left, rect.top, rect.right - rect.left,
                     rect.bottom - rect.top, 0);
        SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left,
                     rect.bottom - rect.top, SWP_NOZORDER);
        RECT client = ScreenClientRect(window);
        gMainWindow.clientRect = client;
        // A client area off the desktop's top or left edge moves back onto it.
        if (client.left >= 0 && client.top >= 0) break;
        OffsetRectTo(&rect, rect.left - (client.left < 0 ? client.left : 0),
                     rect.top - (client.top < 0 ? client.top : 0));
    }
    ApplyCursorVisibility(1);
    AppendLogText("完了\n");
    SetActiveWindow(window);
    return 0;
}

int StoreWindowModeFlag(int32_t windowed) {
    gShell.windowed = windowed;
    AppendLogText(windowed != 0 ? "ウインドウモードフラグが立てられました\n"
                                : "ウインドウモードフラグが倒されました\n");
    return 0;
}

int SetWindowScale(double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y)) {
        return AppendLogText("ウインドウの拡大率が正しくありません in SetWindowScale\n");
    }
    if (y <= 0) y = x;
    if (x == gShell.scaleX && y == gShell.scaleY) return 0;
    gShell.scaleX = x > 0 ? x : 1.0;
    gShell.scaleY = y > 0 ? y : 1.0;
    gMainWindow.settings.userSizeRequested = 0;
    if (IsWindowedMode()) ApplyWindowStyle();
    return 0;
}

int SetWindowTitle(const char* title) {
    MainWindowSettings& s = gMainWindow.settings;
    if (title == nullptr || GetStringLength(title) >= sizeof s.title) {
        return AppendLogText("ウインドウのタイトルが正しくありません in SetWindowTitle\n");
    }
    CopyString(s.title, title);
    // The class is registered under its name while the framework runs; a new title names the
    // class of the next start-up.
    if (gShell.setUp == 0) {
        s.className[0] = '\0';
        return 0;
    }
    SetWindowTextA(gShell.window, s.title[0] != '\0' ? s.title : kDefaultTitle);
    return 0;
}

int GetDesktopMode(int32_t* width, int32_t* height, int32_t* bits) {
    int32_t w = gMainWindow.desktopWidth, h = gMainWindow.desktopHeight,
            b = gMainWindow.desktopBits;
    if (gShell.setUp == 0) {
        w = GetSystemMetrics(SM_CXSCREEN);
        h = GetSystemMetrics(SM_CYSCREEN);
        b = DesktopBitsPerPixel();
    }
    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
    if (bits != nullptr) *bits = b;
    return 0;
}

BOOL ForceForegroundWindow(HWND window, int32_t topmost) {
    DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    DWORD windowThread = GetWindowThreadProcessId(window, nullptr);
    AttachThreadInput(windowThread, foregroundThread, TRUE);
    DWORD timeout = 0;
    SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    BOOL result = SetForegroundWindow(window);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                          reinterpret_cast<LPVOID>(static_cast<uintptr_t>(timeout)), 0);
    AttachThreadInput(windowThread, foregroundThread, FALSE);
    if (topmost != 0) {
        SetWindowPos(gShell.window, HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    return result;
}

int ApplyCursorVisibility(int32_t show) {
    if (show != -1) gMainWindow.cursorWanted = show;
    int32_t shown = gMainWindow.cursorWanted != 0 ? 1 : 0;
    if (show != -1 && shown == gMainWindow.cursorApplied) return 0;
    if (shown != 0) {
        while (ShowCursor(TRUE) < 0) {
        }
    } else {
        while (ShowCursor(FALSE) >= 0) {
        }
    }
    gMainWindow.cursorApplied = shown;
    if (gShell.window != nullptr) {
        PostMessageA(gShell.window, WM_SETCURSOR, reinterpret_cast<WPARAM>(gShell.window),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    }
    return 0;
}

namespace {

// A display distance from the window's picture in screen pixels, rounded down: the display
// pixels just left of or above the picture are off the screen too. The picture's side is the
// client's as the window was given it, not the screen's times an unbounded scale.
int32_t ScreenPixelsFrom(LONG position, LONG origin, int screenSide, int clientSide) {
    double pixels = std::floor((static_cast<double>(position) - origin) * screenSide / clientSide);
    return static_cast<int32_t>(std::clamp(pixels, -2147483648.0, 2147483647.0));
}

}  // namespace

int ReadMousePosition(int32_t* x, int32_t* y) {
    POINT point{};
    GetCursorPos(&point);
    int32_t px = point.x, py = point.y;
    if (IsWindowedMode()) {
        int screenWidth, screenHeight, clientWidth, clientHeight;
        ScreenClientSize(&screenWidth, &screenHeight);
        ScaledClientSize(&clientWidth, &clientHeight);
        px = ScreenPixelsFrom(point.x, gMainWindow.clientRect.left, screenWidth, clientWidth);
        py = ScreenPixelsFrom(point.y, gMainWindow.clientRect.top, screenHeight, clientHeight);
    }
    if (x != nullptr) *x = px;
    if (y != nullptr) *y = py;
    return 0;
}

void QueueMouseClick(int32_t button) {
    if (gMainWindow.clickCount >= 32) return;
    MouseClick& click = gMainWindow.clicks[gMainWindow.clickCount++];
    click.button = button;
    ReadMousePosition(&click.x, &click.y);
}

int ReadShellClipboardText(char* dst, int32_t capacity) {
    if (!OpenClipboard(gShell.window)) return -1;
    HANDLE data = GetClipboardData(CF_TEXT);
    if (data == nullptr) {
        CloseClipboard();
        return -1;
    }
    const char* text = static_cast<const char*>(GlobalLock(data));
    int result = 0;
    if (dst == nullptr) {
        result = static_cast<int>(GlobalSize(data)) + 1;
    } else if (capacity > 0) {
        CopyStringMax(dst, text, capacity - 1);
        dst[capacity - 1] = '\0';
    }
    GlobalUnlock(data);
    CloseClipboard();
    return result;
}

int WriteShellClipboardText(const char* text) {
    uint32_t length = GetStringLength(text);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, length + 1);
    std::memcpy(GlobalLock(block), text, length + 1);
    GlobalUnlock(block);
    if (!OpenClipboard(gShell.window)) {
        GlobalFree(block);
        return 0;
    }
    EmptyClipboard();
    SetClipboardData(CF_TEXT, block);
    CloseClipboard();
    return 0;
}

int UpdateClientOriginOnMove(LPARAM lParam) {
    RECT& client = gMainWindow.clientRect;
    LONG width = client.right - client.left, height = client.bottom - client.top;
    client.left = static_cast<int16_t>(LOWORD(lParam));
    client.top = static_cast<int16_t>(HIWORD(lParam));
    client.right = client.left + width;
    client.bottom = client.top + height;
    // Drawing straight to the window follows it: the mask screen is put in its way again.
    if (gDrawSettings.drawTargets[0] == kFrontScreen) SwitchMaskScreenUse(IsMaskScreenUseOn());
    return 0;
}

// No operation of this system sets an inactive-window image.
int DrawInactiveImage() {
    return -1;
}

int FreeDroppedFiles() {
    for (int32_t i = 0; i < gMainWindow.droppedFileCount; i++) {
        FreeMemory(gMainWindow.droppedFiles[i]);
        gMainWindow.droppedFiles[i] = nullptr;
    }
    gMainWindow.droppedFileCount = 0;
    return 0;
}

void StoreDroppedFiles(HDROP drop) {
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count && gMainWindow.droppedFileCount < kMaxDroppedFiles; i++) {
        UINT length = DragQueryFileA(drop, i, nullptr, 0);
        char* path = static_cast<char*>(AllocMemory(length + 1, __FILE__, __LINE__));
        if (path == nullptr) break;
        DragQueryFileA(drop, i, path, length + 1);
        gMainWindow.droppedFiles[gMainWindow.droppedFileCount++] = path;
    }
    DragFinish(drop);
}
