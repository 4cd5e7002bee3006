// Milliseconds per filter call on a 640x480 graph: `Gauss` with the 16-pixel kernel and `Hsb`
// (hue shift with saturation and brightness), each in place, on a 32-bit graph of the software
// Direct3D device and on one of the software screen. Both run the processor formulas; the peer
// is the same filter on the other kind of graph.
#include <benchmark/benchmark.h>
#include <orbek/orbek.h>


#include "app/shell.h"
#include "draw/filters.h"
#include "graphics/graph_loading.h"
#include "graphics/screen_state.h"
#include "headless_library.h"

namespace {

Handle MakeNoiseGraph(int width, int height) {
    GraphImage image{};
    AllocGraphImageARGB32(width, height, &image);
    uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(image.pixels) +
                                                static_cast<size_t>(y) * image.pitch);
        for (int x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            row[x] = seed;
        }
    }
    const Handle graph = BuildGraphFromGraphImage(&image, nullptr, 0);
    FreeGraphImage(&image);
    return graph;
}

void RunFilter(benchmark::State& state, bool device, int kind) {
    const bool running = StartHeadlessLibrary(
        state,
        [&] {
            gScreen.colorBits = 32;
            gShell.windowed = 1;
            if (!device) SwitchHardwareRendering(0);
        },
        [&] { return IsDirect3DMode() == (device ? 1 : 0); });
    if (!running) return;
    const Handle graph = MakeNoiseGraph(640, 480);
    for (auto _ : state) {
        const int result = kind == kFilterGauss ? ApplyFilterInPlace(graph, kFilterGauss, 16, 400)
                                                : ApplyFilterInPlace(graph, kFilterHsb, 0, 40, 30, 20);
        if (result != 0) state.SkipWithError("the filter failed");
    }
    StopHeadlessLibrary();
}

void BM_GaussDevice(benchmark::State& state) {
    RunFilter(state, true, kFilterGauss);
}
void BM_GaussSoftware(benchmark::State& state) {
    RunFilter(state, false, kFilterGauss);
}
void BM_HsbDevice(benchmark::State& state) {
    RunFilter(state, true, kFilterHsb);
}
void BM_HsbSoftware(benchmark::State& state) {
    RunFilter(state, false, kFilterHsb);
}

}  // namespace

BENCHMARK(BM_GaussDevice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GaussSoftware)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HsbDevice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HsbSoftware)->Unit(benchmark::kMillisecond);
