// Frames per second of a 640x480 Theora movie decoded into a graph: the player's decode thread
// and YUV conversion with the copy into the graph's texture, beside the player's frame image
// alone, and libtheora's own decode of the same file without any conversion as the peer. The
// colour conversion of one decoded picture is measured beside libswscale's conversion of the
// same planes; run them interleaved (--benchmark_enable_random_interleaving) so that both
// see the same load.
#include <benchmark/benchmark.h>
#include <platform/testing_d3d9.h>
#include <unistd.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <cstdio>
#include <string>
#include <vector>

#include "app/library_setup.h"
#include "app/main_window.h"
#include "core/log.h"
#include "graphics/graph_loading.h"
#include "graphics/graph_records.h"
#include "headless_library.h"
#include "movie/movie_graphs.h"
#include "movie/movies.h"
#include "movie/yuv_to_rgb.h"
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

// Each iteration shows the next frame; the frames wrap at the movie's end. Argument 1: the
// device offers YUV surfaces and frames go through one; 0: through the player's image.
void BM_TheoraFramesIntoGraph(benchmark::State& state) {
    const Bytes& movie = Movie();
    if (FILE* file = std::fopen(kFileName, "wb")) {
        std::fwrite(movie.data(), 1, movie.size(), file);
        std::fclose(file);
    }
    ResetFrameworkSettings();
    if (state.range(0) == 0) {
        TestD3d9Profile profile = TestD3d9DefaultProfile();
        for (D3DFORMAT format : {D3DFMT_YV12, D3DFMT_YUY2, D3DFMT_UYVY}) {
            profile.refusedFormats.push_back({format, 0});
        }
        TestD3d9SetProfile(profile);
    }
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
BENCHMARK(BM_TheoraFramesIntoGraph)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);

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

// The first picture of the movie and the visible region inside it.
struct ConversionCase {
    TheoraPlanes planes = FirstTheoraPicture(Movie());
    int left = 2, top = 2;  // where the movie writer places the picture
    int width = 640, height = 480;
    std::vector<uint32_t> pixels = std::vector<uint32_t>(640 * 480);
};

void BM_YuvPictureToImage(benchmark::State& state) {
    static ConversionCase c;
    BuildYUVToRGBTables();
    const TheoraPlanes& p = c.planes;
    YuvPicture picture{p.y.data(), p.u.data(), p.v.data(), p.yWidth, p.yHeight,
                       p.yWidth,   p.uvWidth,  p.uvHeight, p.uvWidth};
    GraphImage image{};
    image.width = c.width;
    image.height = c.height;
    image.pitch = c.width * 4;
    image.pixels = c.pixels.data();
    for (auto _ : state) {
        ConvertYUVPictureToImage(picture, c.left, c.top, &image);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_YuvPictureToImage)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The peer: libswscale's YUV 4:2:0 to BGRA conversion of the same region of the same planes.
void BM_SwscaleYuvToBgra(benchmark::State& state) {
    static ConversionCase c;
    const TheoraPlanes& p = c.planes;
    SwsContext* context = sws_getContext(c.width, c.height, AV_PIX_FMT_YUV420P, c.width, c.height,
                                         AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (context == nullptr) {
        state.SkipWithError("libswscale offers no such conversion");
        return;
    }
    const uint8_t* source[3] = {p.y.data() + c.top * p.yWidth + c.left,
                                p.u.data() + c.top / 2 * p.uvWidth + c.left / 2,
                                p.v.data() + c.top / 2 * p.uvWidth + c.left / 2};
    const int sourceStrides[3] = {p.yWidth, p.uvWidth, p.uvWidth};
    uint8_t* target[1] = {reinterpret_cast<uint8_t*>(c.pixels.data())};
    const int targetStrides[1] = {c.width * 4};
    for (auto _ : state) {
        sws_scale(context, source, sourceStrides, 0, c.height, target, targetStrides);
        benchmark::ClobberMemory();
    }
    sws_freeContext(context);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SwscaleYuvToBgra)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
