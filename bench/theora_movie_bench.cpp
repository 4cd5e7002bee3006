// Frames per second of a 640x480 Theora movie decoded into a graph: the player's decode thread
// and YUV conversion with the copy into the graph's texture, beside the player's frame image
// alone, and libtheora's own decode of the same file without any conversion as the peer.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/library_setup.h"
#include "app/main_window.h"
#include "core/log.h"
#include "graphics/graph_loading.h"
#include "graphics/graph_records.h"
#include "graphics/graph_restore.h"
#include "headless_library.h"
#include "media/movies.h"
#include "movies/memory_file.h"
#include "movies/movie_writers.h"

namespace {

constexpr int kFrames = 120;
constexpr const char* kFileName = "bench_movie.ogv";

const Bytes& Movie() {
    static const Bytes movie = [] {
        TheoraMovieSettings settings;
        settings.width = 640;
        settings.height = 480;
        settings.frames = kFrames;
        settings.keyInterval = 30;
        return WriteTheoraMovie(settings);
    }();
    return movie;
}

// Each iteration shows the next frame; the frames wrap at the movie's end.
void BM_TheoraFramesIntoGraph(benchmark::State& state) {
    const Bytes& movie = Movie();
    if (FILE* file = std::fopen(kFileName, "wb")) {
        std::fwrite(movie.data(), 1, movie.size(), file);
        std::fclose(file);
    }
    ResetFrameworkSettings();
    gShell.windowed = 1;
    gLibrary.noSound = 1;
    if (SetupLibrary() != 0) {
        state.SkipWithError("the framework did not start");
        ResetFrameworkSettings();
        return;
    }
    Handle graph = LoadImageFileAsGraph(kFileName, 0);
    MovieRecord* record = graph != -1 ? GetMovieRecord(GetGraphRecord(graph, 0)->movie) : nullptr;
    if (record == nullptr) {
        state.SkipWithError("the movie did not open as a graph");
    } else {
        for (auto _ : state) {
            AdvanceTheoraFrames(record->theora, 1);
            CopyMovieFrameToGraph(record, graph);
        }
        DisposeGraph(graph);
    }
    ShutdownLibrary();
    ResetFrameworkSettings();
    unlink(kFileName);
    unlink("Log.txt");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TheoraFramesIntoGraph)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void BM_TheoraFramesToImage(benchmark::State& state) {
    const Bytes& movie = Movie();
    BuildYUVToRGBTables();
    TheoraPlayer* player =
        OpenTheoraPlayer(MemoryFileFunctions(movie.data(), movie.size()), 1, 10, 0);
    if (player == nullptr) {
        state.SkipWithError("the movie did not open");
        return;
    }
    for (auto _ : state) {
        AdvanceTheoraFrames(player, 1);
        ConvertTheoraFrame(player, 1, 0, 0);
    }
    CloseTheoraPlayer(player);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TheoraFramesToImage)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// The peer: libtheora's newer decoder over the whole file, pictures left in YUV.
void BM_LibtheoraDecodeOnly(benchmark::State& state) {
    const Bytes& movie = Movie();
    int64_t frames = 0;
    for (auto _ : state) frames += CountTheoraPictures(movie);
    state.SetItemsProcessed(frames);
}
BENCHMARK(BM_LibtheoraDecodeOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

}  // namespace
