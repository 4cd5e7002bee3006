// Frames per second of a game-like frame drawn through the framework's public calls: a 480x480
// background graph, 400 rotated 32x32 sprites with transparency (alpha-blended at 192) and 30
// translucent boxes; drawn only (/0) and with the flip that shows it, without the vertical-blank
// wait (/1); through the software Direct3D device and on the software screen, at 16 and 32
// bits. The peer is d3d9_frame_bench's BM_GameFrame16/32: the same picture, unrotated, fed
// straight to the device. The device draws through the built-in pixel shaders; the
// FixedStages runs give it a device without shaders, so that the texture stages draw.
#include <benchmark/benchmark.h>
#include <orbek/orbek.h>
#include <platform/testing_d3d9.h>

#include <cmath>

#include "core/shell_hooks.h"
#include "graphics/graph_loading.h"
#include "graphics/screen_state.h"
#include "graphics/shaders.h"
#include "graphics/vertex_batch.h"
#include "headless_library.h"

namespace {

// A graph of the size: a disc with a soft edge for the sprite, a pattern for the background.
Handle MakePatternGraph(int size, bool sprite) {
    GraphImage image{};
    AllocGraphImageARGB32(size, size, &image);
    for (int y = 0; y < size; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(image.pixels) +
                                                static_cast<size_t>(y) * image.pitch);
        for (int x = 0; x < size; ++x) {
            const int dx = x - size / 2, dy = y - size / 2, d = dx * dx + dy * dy;
            const uint32_t alpha = !sprite || d < 196 ? 255u : (d < 256 ? 128u : 0u);
            row[x] =
                alpha << 24 | ((x * 5) & 0xFF) << 16 | ((y * 3) & 0xFF) << 8 | ((x ^ y) & 0xFF);
        }
    }
    const Handle graph = BuildGraphFromGraphImage(&image, nullptr, 0);
    FreeGraphImage(&image);
    return graph;
}

// state.range(0): 1 ends each frame with the flip, 0 only draws what is queued.
void DrawFrames(benchmark::State& state, bool device, int bits, bool shaders = true) {
    const bool flip = state.range(0) != 0;
    const bool running = StartHeadlessLibrary(
        state,
        [&] {
            TestD3d9Profile profile = TestD3d9DefaultProfile();
            profile.shaders = shaders;
            TestD3d9SetProfile(profile);
            gScreen.noVSyncWait = 1;
            // 16 bits: full screen on the device; the software screen takes the depth it is given.
            gShell.windowed = device && bits == 16 ? 0 : 1;
            if (!device) {
                gScreen.colorBits = bits;
                SwitchHardwareRendering(0);
            }
        },
        [&] {
            return IsDirect3DMode() == (device ? 1 : 0) && QueryColorBitDepth() == bits &&
                   AreBuiltinShadersOn() == (device && shaders ? 1 : 0);
        });
    if (!running) return;
    SelectDrawScreen(kBackScreen);
    const Handle background = MakePatternGraph(480, false);
    const Handle sprite = MakePatternGraph(32, true);
    float x[400], y[400], angle[400];
    unsigned seed = 12345;
    for (int i = 0; i < 400; ++i) {
        seed = seed * 1103515245u + 12345u;
        x[i] = static_cast<float>((seed >> 8) % 608 + 16);
        y[i] = static_cast<float>((seed >> 18) % 448 + 16);
        angle[i] = static_cast<float>(i) * 0.05f;
    }
    const ScreenColor boxColor = PackScreenColor(255, 64, 32);

    for (auto _ : state) {
        EraseDrawScreen(nullptr);
        ChangeBlendMode(BlendOpaque, 0);
        PutGraph(80, 0, background, 0);
        ChangeBlendMode(BlendTranslucent, 192);
        for (int i = 0; i < 400; ++i) PutGraphRotated(x[i], y[i], 1.0, angle[i], sprite, 1, 0);
        ChangeBlendMode(BlendTranslucent, 128);
        for (int i = 0; i < 30; ++i) {
            const int left = 20 + (i % 10) * 60, top = 300 + (i / 10) * 55;
            PutBox(left, top, left + 50, top + 45, boxColor, 1);
        }
        if (flip) {
            FlipScreen();
        } else {
            FlushVertexBatchNow();
        }
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);

    StopHeadlessLibrary();
}

void BM_FrameworkFrame16Device(benchmark::State& state) {
    DrawFrames(state, true, 16);
}
void BM_FrameworkFrame32Device(benchmark::State& state) {
    DrawFrames(state, true, 32);
}
void BM_FrameworkFrame16DeviceFixedStages(benchmark::State& state) {
    DrawFrames(state, true, 16, false);
}
void BM_FrameworkFrame32DeviceFixedStages(benchmark::State& state) {
    DrawFrames(state, true, 32, false);
}
void BM_FrameworkFrame16Software(benchmark::State& state) {
    DrawFrames(state, false, 16);
}
void BM_FrameworkFrame32Software(benchmark::State& state) {
    DrawFrames(state, false, 32);
}

}  // namespace

BENCHMARK(BM_FrameworkFrame16Device)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameworkFrame32Device)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameworkFrame16DeviceFixedStages)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameworkFrame32DeviceFixedStages)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameworkFrame16Software)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameworkFrame32Software)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
