// The on-screen log: a block of 80 text lines that the flip draws over the picture while it
// is shown. Its font is made again whenever the device loses it.
#include "app/screen_log.h"

#include "core/shell_hooks.h"
#include "core/string_functions.h"
#include "graphics/d3d_marshal.h"
#include "graphics/draw_settings.h"
#include "graphics/screen_state.h"
#include "text/font.h"
#include "text/string_draw.h"

namespace {

constexpr int kLineCount = 80;
constexpr int kLineBytes = 255;
constexpr int kFontSize = 16;
constexpr int kFontThickness = 4;
constexpr int kFontTypeEdged = 1;

struct ScreenLogState {
    int32_t setUp;
    char lines[kLineCount][kLineBytes];
    int32_t shown;
    Handle font;
    int32_t fontLost;
    int32_t lineHeight;
};

ScreenLogState gScreenLog;

}  // namespace

int SetupScreenLog() {
    if (IsDirectDrawWindowReady() == 0) return -1;
    if (gScreenLog.setUp != 0) return 0;
    gScreenLog.setUp = 1;
    gShell.isScreenLogShown = IsScreenLogShown;
    gShell.drawScreenLog = DrawScreenLog;
    gScreenLog.lineHeight = kFontSize;
    gScreenLog.font = -1;
    gScreenLog.fontLost = 1;
    RecreateScreenLogFont();
    gScreenLog.shown = 0;
    FillBytes(gScreenLog.lines, 0, sizeof gScreenLog.lines);
    return 0;
}

int ShutdownScreenLog() {
    if (gScreenLog.setUp != 0 && gScreenLog.fontLost == 0) DeleteFontHandle(gScreenLog.font);
    gScreenLog.font = -1;
    gScreenLog.setUp = 0;
    gShell.isScreenLogShown = nullptr;
    gShell.drawScreenLog = nullptr;
    return 0;
}

int RecreateScreenLogFont() {
    if (gScreenLog.fontLost == 0) return 0;
    Handle font = MakeFontHandleWithFlags(FontCreateFlags{0, 0}, nullptr, kFontSize, kFontThickness,
                                          kFontTypeEdged, -1, -1, 0, -1, 0);
    if (font == -1) return 0;
    gScreenLog.font = font;
    BindFontLostFlag(font, &gScreenLog.fontLost);
    return 0;
}

int IsScreenLogShown() {
    return gScreenLog.shown;
}

int DrawScreenLog() {
    if (gScreenLog.setUp == 0 && SetupScreenLog() != 0) return 0;
    RecreateScreenLogFont();
    int height = 0;
    QueryScreenSizeAndDepth(nullptr, &height, nullptr);
    int count = height / gScreenLog.lineHeight;
    if (count > kLineCount) count = kLineCount;
    ScreenColor white = PackScreenColor(255, 255, 255);
    ScreenColor black = PackScreenColor(0, 0, 0);
    for (int line = 0; line < count; line++) {
        DrawStringWithFont(0, gScreenLog.lineHeight * line, gScreenLog.lines[line], white,
                           gScreenLog.font, black, 0);
    }
    return 0;
}

void TestSetScreenLogShown(int shown) {
    gScreenLog.shown = shown;
}
