// The hooks through which the lower floors reach the floors above them: the shell's pump and
// waits; the fonts, input and drawing following the graphics system's start-up, restore,
// re-creation and shutdown; the movies that graphs show.
#include "app/module_hooks.h"

#include "app/main_window.h"
#include "app/message_pump.h"
#include "core/shell_hooks.h"
#include "draw/filters.h"
#include "draw/graph_vertices.h"
#include "graphics/graph_records.h"
#include "graphics/graphics_system.h"
#include "input/input.h"
#include "movie/movie_graphs.h"
#include "movie/movies.h"
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
    gGraphicsHooks = {SetupFontManager,      ShutdownFontManager, RebuildAllFontHandles,
                      RestartInputIfSetUp,   KeepDefaultFont,     RemakeDefaultFont,
                      TestFilterResultExact, FreeVertexListBuffer};
    gGraphMovieHooks = {GetMovieOpenSetting, OpenMovieAsGraph, ReleaseMovieDeviceObjects,
                        DeleteMovieHandle};
}
