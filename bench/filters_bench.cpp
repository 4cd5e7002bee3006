// Milliseconds per filter call on a 640x480 graph: `Gauss` with the 16-pixel kernel and `Hsb`
// (hue shift with saturation and brightness), each in place on a 32-bit graph of the software
// Direct3D device: through the filter shaders, and through the processor formulas on a device
// that offers no shaders (the peer); the processor formulas on the software screen beside them.
#include <benchmark/benchmark.h>
#include <orbek/orbek.h>
#include <platform/testing_d3d9.h>

#include "core/shell_hooks.h"
#include "draw/filters.h"
#include "graphics/graph_loading.h"
#include "graphics/screen_state.h"
#include "graphics/shaders.h"
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

enum class FilterPath { Shaders, DeviceProcessor, SoftwareScreen };

void RunFilter(benchmark::State& state, FilterPath path, int kind) {
    const bool device = path != FilterPath::SoftwareScreen;
    const bool running = StartHeadlessLibrary(
        state,
        [&] {
            TestD3d9Profile profile = TestD3d9DefaultProfile();
            profile.shaders = path == FilterPath::Shaders;
            TestD3d9SetProfile(profile);
            gScreen.colorBits = 32;
            gShell.windowed = 1;
            if (!device) SwitchHardwareRendering(0);
        },
        [&] {
            return IsDirect3DMode() == (device ? 1 : 0) &&
                   AreBuiltinShadersOn() == (path == FilterPath::Shaders ? 1 : 0);
        });
    if (!running) return;
    const Handle graph = MakeNoiseGraph(640, 480);
    for (auto _ : state) {
        const int result = kind == kFilterGauss
                               ? ApplyFilterInPlace(graph, kFilterGauss, {{16, 400}})
                               : ApplyFilterInPlace(graph, kFilterHsb, {{0, 40, 30, 20}});
        if (result != 0) state.SkipWithError("the filter failed");
    }
    StopHeadlessLibrary();
}

void BM_GaussShaders(benchmark::State& state) {
    RunFilter(state, FilterPath::Shaders, kFilterGauss);
}
void BM_GaussDeviceProcessor(benchmark::State& state) {
    RunFilter(state, FilterPath::DeviceProcessor, kFilterGauss);
}
void BM_GaussSoftware(benchmark::State& state) {
    RunFilter(state, FilterPath::SoftwareScreen, kFilterGauss);
}
void BM_HsbShaders(benchmark::State& state) {
    RunFilter(state, FilterPath::Shaders, kFilterHsb);
}
void BM_HsbDeviceProcessor(benchmark::State& state) {
    RunFilter(state, FilterPath::DeviceProcessor, kFilterHsb);
}
void BM_HsbSoftware(benchmark::State& state) {
    RunFilter(state, FilterPath::SoftwareScreen, kFilterHsb);
}

}  // namespace

BENCHMARK(BM_GaussShaders)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GaussDeviceProcessor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GaussSoftware)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HsbShaders)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HsbDeviceProcessor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HsbSoftware)->Unit(benchmark::kMillisecond);
