// The hooks through which the lower floors reach the shell, and the fonts and input follow the
// graphics system's start-up, restore, re-creation and shutdown.
#include "app/module_hooks.h"

#include "app/main_window.h"
#include "app/message_pump.h"
#include "core/shell_hooks.h"
#include "graphics/graphics_system.h"
#include "input/input.h"
#include "text/font.h"

namespace {

// The default font across a screen-mode change, made again in the new mode as it was.
struct KeptDefaultFont {
    char face[kFontFaceBytes];
    int size, thickness;
};

KeptDefaultFont gKeptFont = {};

int RestartInputIfSetUp() {
    if (!gInput.setUp) return 0;
    ShutdownInput();
    SetupInput();
    return 0;
}

int KeepDefaultFont() {
    gKeptFont = KeptDefaultFont{{}, -1, -1};
    return IsFontHandleValid(FetchDefaultFontHandle()) &&
                   GetFontHandleInfo(gKeptFont.face, &gKeptFont.size, &gKeptFont.thickness,
                                     FetchDefaultFontHandle()) == 0
               ? 1
               : 0;
}

int RemakeDefaultFont() {
    return ChangeDefaultFont(gKeptFont.face, gKeptFont.size, gKeptFont.thickness);
}

}  // namespace

void InstallModuleHooks() {
    gShellHooks = {PumpShellMessages, WaitForShellActivation, ReadShellClipboardText,
                   WriteShellClipboardText};
    gGraphicsHooks = {SetupFontManager,    ShutdownFontManager, RebuildAllFontHandles,
                      RestartInputIfSetUp, KeepDefaultFont,     RemakeDefaultFont};
}
