// Plays the movie file given as the first argument through a graph, as the game shows a movie:
// the file loaded as a graph, the graph drawn each frame (which shows the frame due) under a
// caption, until the movie ends, Esc is pressed or the window is closed. For watching a movie
// with its sound on a real or virtual display; prints how long it played, in milliseconds.
#include <orbek/orbek.h>

#include <cstdio>

#include "core/clocks.h"
#include "graphics/graph_records.h"
#include "graphics/screen_state.h"
#include "movie/movies.h"

namespace {

constexpr int32_t kEscapeKey = 0x01;  // DirectInput's code for Esc

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    ChangeWindowMode(1);
    if (SetupLibrary() == -1) return 1;
    SelectDrawScreen(kBackScreen);
    Handle graph = LoadImageFileAsGraph(argv[1], 0);
    const GraphRecord* record = graph == -1 ? nullptr : GetGraphRecord(graph, 0);
    if (record == nullptr || record->movie == -1 || PlayMovieHandle(record->movie, 0, 0) != 0) {
        ShutdownLibrary();
        return 1;
    }
    Handle movie = record->movie;
    int64_t started = GetMicrosecondCount();
    Handle font = MakeFontHandle("ＭＳ ゴシック", 16, 2, 0, -1, -1, 0, -1);
    while (PumpMessages() == 0 && TestKeyDown(kEscapeKey) == 0 &&
           GetMovieRecord(movie)->isStopped == 0) {
        EraseDrawScreen(nullptr);
        PutGraph(0, 0, graph, 0);
        if (font != -1) {
            DrawStringWithFont(8, 8, argv[1], PackScreenColor(255, 255, 255), font, 0, 0);
        }
        FlipScreen();
    }
    std::printf("played %lld ms\n",
                static_cast<long long>((GetMicrosecondCount() - started) / 1000));
    ShutdownLibrary();
    return 0;
}
