// The main window's procedure, message by message: typed characters into the character
// buffer, activation deferred to the pump's ring, painting, closing, sizing, the Alt+Enter
// request and the messages handed on to text input, music and sockets.
#include <platform/win32_user.h>

#include <algorithm>

#include "app/library_setup.h"
#include "app/main_window.h"
#include "app/message_pump.h"
#include "core/async_load.h"
#include "core/clocks.h"
#include "core/log.h"
#include "core/sockets.h"
#include "core/system_info.h"
#include "core/text_input.h"
#include "graphics/draw_screen.h"
#include "graphics/graphics_system.h"
#include "graphics/screen_state.h"
#include "movie/movies.h"
#include "sound/music.h"

namespace {

constexpr int kShortestSide = 128;
constexpr uint32_t kRepaintInterval = 65;

uint8_t ControlCodeOfKey(WPARAM key) {
    switch (key) {
        case VK_DELETE:
            return kCharCodeDelete;
        case VK_LEFT:
            return kCharCodeLeft;
        case VK_RIGHT:
            return kCharCodeRight;
        case VK_UP:
            return kCharCodeUp;
        case VK_DOWN:
            return kCharCodeDown;
        case VK_HOME:
            return kCharCodeHome;
        case VK_END:
            return kCharCodeEnd;
        case VK_PRIOR:
            return kCharCodePageUp;
        case VK_NEXT:
            return kCharCodePageDown;
        default:
            return 0;
    }
}

bool IsBufferedCharacter(WPARAM code) {
    switch (code) {
        case 1:
        case 3:
        case 8:
        case 9:
        case 10:
        case 13:
        case 16:
        case 22:
        case 24:
        case 27:
            return true;
        default:
            return code >= 0x20;
    }
}

void HandleActivationMessage(UINT message, WPARAM wParam) {
    if (gMainWindow.quit != 0 || gShell.closePosted != 0) return;
    // Loads waiting on the main thread are finished first, so that no worker waits on it.
    while (CountQueuedAsyncLoads() > 0) {
        RunMainThreadRequests();
        Sleep(gSystemInfo.processorCount == 1 ? 2 : 0);
    }
    int32_t fromActivateApp = message == WM_ACTIVATEAPP ? 1 : 0;
    if (gMainWindow.inPump == 0 || gMainWindow.creating != 0 ||
        QueueActivation(static_cast<int32_t>(wParam), fromActivateApp) != 0) {
        HandleActivation(static_cast<int32_t>(wParam), fromActivateApp);
    }
}

void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (IsWindowedMode()) {
        gMainWindow.painting = 1;
        bool inactiveImageShown = gShell.active == 0 && GetBackgroundRunFlag() == 0 &&
                                  gMainWindow.minimised == 0 && DrawInactiveImage() == 0;
        if (inactiveImageShown) {
            // The inactive-window image stands in for the picture.
        } else if (gShell.setUp == 0) {
            const MainWindowSettings& s = gMainWindow.settings;
            HBRUSH brush = nullptr;
            if (s.backgroundColourSet != 0) brush = CreateSolidBrush(s.backgroundColour);
            FillRect(dc, &paint.rcPaint,
                     brush != nullptr ? brush : static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            if (brush != nullptr) DeleteObject(brush);
        } else if (GetDrawScreen() == kBackScreen) {
            RECT client;
            GetClientRect(window, &client);
            bool whole = paint.rcPaint.left == client.left && paint.rcPaint.top == client.top &&
                         paint.rcPaint.right == client.right &&
                         paint.rcPaint.bottom == client.bottom;
            uint32_t now = GetMillisecondCount(0);
            if (whole) {
                ShowBackBufferOnWindow();
            } else if (gMainWindow.paintTimerArmed == 0) {
                gMainWindow.paintTimerArmed = 1;
                gMainWindow.lastRepaint = now;
                gMainWindow.repaintPending = 1;
            } else if (now - gMainWindow.lastRepaint >= kRepaintInterval) {
                ShowBackBufferOnWindow();
                gMainWindow.lastRepaint = now;
                gMainWindow.repaintPending = 0;
            } else {
                gMainWindow.repaintPending = 1;
            }
        }
        gMainWindow.painting = 0;
    }
    EndPaint(window, &paint);
}

// Keeps the client area's aspect ratio of the screen while the frame is dragged.
void KeepAspectWhileSizing(WPARAM edge, RECT* rect) {
    int screenWidth, screenHeight;
    ScreenClientSize(&screenWidth, &screenHeight);
    int width = rect->right - rect->left;
    int height = rect->bottom - rect->top - gMainWindow.captionHeight;
    if (edge == WMSZ_LEFT || edge == WMSZ_RIGHT) {
        height = width * screenHeight / screenWidth;
    } else if (edge == WMSZ_TOP || edge == WMSZ_BOTTOM) {
        width = height * screenWidth / screenHeight;
    } else if (width * screenHeight > height * screenWidth) {
        height = width * screenHeight / screenWidth;
    } else {
        width = height * screenWidth / screenHeight;
    }
    if (width > gMainWindow.desktopWidth) {
        width = gMainWindow.desktopWidth;
        height = width * screenHeight / screenWidth;
    }
    if (height > gMainWindow.desktopHeight) {
        height = gMainWindow.desktopHeight;
        width = height * screenWidth / screenHeight;
    }
    if (std::min(width, height) < kShortestSide) {
        if (width < height) {
            width = kShortestSide;
            height = width * screenHeight / screenWidth;
        } else {
            height = kShortestSide;
            width = height * screenWidth / screenHeight;
        }
    }
    bool fromLeft = edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT;
    bool fromTop = edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT;
    int frameHeight = height + gMainWindow.captionHeight;
    if (fromLeft) {
        rect->left = rect->right - width;
    } else {
        rect->right = rect->left + width;
    }
    if (fromTop) {
        rect->top = rect->bottom - frameHeight;
    } else {
        rect->bottom = rect->top + frameHeight;
    }
    gShell.scaleX = static_cast<double>(width) / screenWidth;
    gShell.scaleY = static_cast<double>(height) / screenHeight;
}

// Mouse messages: clicks go to the click log; a hidden cursor is kept hidden.
void HandleCursorMessage(UINT message) {
    if (message == WM_LBUTTONDOWN) QueueMouseClick(1);
    if (message == WM_RBUTTONDOWN) QueueMouseClick(2);
    if (message == WM_MBUTTONDOWN) QueueMouseClick(4);
    if (gMainWindow.cursorWanted == 0) {
        SetCursor(nullptr);
        while (ShowCursor(FALSE) >= 0) {
        }
    }
}

// Quits when the desktop changed in a way the screen cannot follow; else resumes movies.
void HandleDisplayChange(WPARAM wParam, LPARAM lParam) {
    if (IsWindowedMode() && gMainWindow.modeChangeUnderWay == 0) {
        int width, height, bits;
        QueryScreenSizeAndDepth(&width, &height, &bits);
        int newBits = static_cast<int>(wParam);
        int newWidth = LOWORD(lParam), newHeight = HIWORD(lParam);
        bool changed = newBits != bits || newWidth != width || newHeight != height;
        if (changed && (GetGraphRestoreHandler() == nullptr || newBits == 24 || newBits == 8 ||
                        newWidth < width || newHeight < height)) {
            AppendLogText(
                "復元関数が登録されていないためか画面が２４ビットカラーに変更されたため終了します"
                "\n");
            AppendLogText(
                "またはスクリーンが小さすぎるためか色ビット数の違いが大きいためか終了します\n");
            PostCloseOnce();
            return;
        }
        ResumeAllMovies();
    }
    gMainWindow.displayChanged = 1;
}

}  // namespace

LRESULT MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MainWindowSettings& s = gMainWindow.settings;
    if (s.messageHook != nullptr) {
        int32_t handled = 0;
        LRESULT result = s.messageHook(window, message, wParam, lParam, &handled);
        if (handled != 0) return result;
    }
    switch (message) {
        case WM_KEYDOWN:
            if (uint8_t code = ControlCodeOfKey(wParam); code != 0) PushCharCode(code);
            break;
        case WM_DESTROY:
            AppendLogText("ウインドウが破棄されようとしています\n");
            gMainWindow.windowDestroyed = 1;
            if (s.noQuitMessage == 0) PostQuitMessage(0);
            gMainWindow.quit = 1;
            SetQuittingFlag();
            AppendLogText("ソフトを終了する準備が整いました\n");
            break;
        case WM_MOVE:
            GetWindowRect(window, &gMainWindow.windowRect);
            if (IsWindowedMode() && gMainWindow.modeChangeUnderWay == 0) {
                UpdateClientOriginOnMove(lParam);
            }
            break;
        case WM_SIZE:
            GetWindowRect(window, &gMainWindow.windowRect);
            gMainWindow.minimised = wParam == SIZE_MINIMIZED ? 1 : 0;
            if (wParam == SIZE_MAXIMIZED && s.altEnterToggle != 0 && IsWindowedMode() &&
                gMainWindow.modeChangeUnderWay == 0 && gMainWindow.creating == 0) {
                gMainWindow.toggleRequested = 1;
            } else if (wParam != SIZE_MINIMIZED) {
                ApplyWindowSize();
            }
            break;
        case WM_ACTIVATEAPP:
            if (wParam == 0) HandleActivationMessage(message, wParam);
            break;
        case WM_ACTIVATE:
            HandleActivationMessage(message, wParam);
            break;
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_CLOSE:
            AppendLogText("ウインドウを閉じようとしています\n");
            if (s.keepWindowOnClose == 0 || gShell.ending == 1) DestroyWindow(window);
            if (gShell.ending == 0) gShell.ending = 4;
            return 0;
        case WM_DISPLAYCHANGE:
            HandleDisplayChange(wParam, lParam);
            break;
        case WM_NCHITTEST:
            if (!IsWindowedMode() && IsDirect3DMode()) {
                int y = static_cast<int16_t>(HIWORD(lParam));
                if (y >= 0 && y < 8) return HTMENU;
            }
            break;
        case WM_CHAR:
            if (IsBufferedCharacter(wParam)) PushCharCode(static_cast<uint8_t>(wParam));
            break;
        case WM_SYSCHAR:
            if (wParam == VK_RETURN && s.altEnterToggle != 0) {
                gMainWindow.toggleRequested = 1;
                return 0;
            }
            break;
        case WM_IME_STARTCOMPOSITION:
        case WM_IME_ENDCOMPOSITION:
        case WM_IME_COMPOSITION:
        case WM_IME_SETCONTEXT:
        case WM_IME_NOTIFY:
            return HandleImeMessage(window, message, wParam, lParam);
        case WM_SYSCOMMAND:
            if ((wParam & kSysCommandMask) == SC_SCREENSAVE ||
                (wParam & kSysCommandMask) == SC_MONITORPOWER)
                return 1;
            break;
        case WM_MOUSEWHEEL:
            gMainWindow.wheel += static_cast<int16_t>(HIWORD(wParam));
            break;
        case WM_MOUSEHWHEEL:
            gMainWindow.wheelHorizontal += static_cast<int16_t>(HIWORD(wParam));
            break;
        case WM_SIZING:
            if (IsWindowedMode()) KeepAspectWhileSizing(wParam, reinterpret_cast<RECT*>(lParam));
            break;
        case WM_MOVING:
            if (!IsWindowedMode()) GetWindowRect(window, reinterpret_cast<RECT*>(lParam));
            break;
        case WM_DROPFILES:
            StoreDroppedFiles(reinterpret_cast<HDROP>(wParam));
            break;
        case MM_MCINOTIFY:
            HandleMciNotify(wParam, lParam);
            break;
        case kSocketMessage:
            return HandleSocketMessage(window, message, wParam, lParam);
        default:
            if (message == WM_SETCURSOR || (message >= WM_MOUSEMOVE && message <= WM_MBUTTONUP)) {
                HandleCursorMessage(message);
            }
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
