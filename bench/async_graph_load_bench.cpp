// Loading 200 PNG files as graphs on the software device: one after another on the main thread,
// and requested at once for the loading workers while the main thread pumps messages (which runs
// their device calls), giving up the rest of its time slice after each pass,
// with the framework told of 1, 2 or all processors (run it pinned to as many:
// `taskset -c 0 ... --benchmark_filter=/1/`, `taskset -c 0,1 ... /2/`). A load that fails stops
// the benchmark with the file's name and what the log said meanwhile.
#include <benchmark/benchmark.h>
#include <orbek/orbek.h>
#include <platform/testing.h>
#include <platform/win32.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/library_setup.h"
#include "app/main_window.h"
#include "core/async_load.h"
#include "core/code_pages.h"
#include "core/log.h"
#include "graphics/graph_loading.h"
#include "graphics/graph_records.h"
#include "headless_library.h"
#include "media/image_writers.h"

namespace {

constexpr int kGraphs = 200;
constexpr int kSide = 128;

std::string Name(int i) {
    return "graph" + std::to_string(i) + ".png";
}

// The directory of the files and the log, removed when the program ends.
struct BenchDirectory {
    std::string path;
    ~BenchDirectory() {
        if (path.empty()) return;
        for (int i = 0; i < kGraphs; ++i) unlink((path + "/" + Name(i)).c_str());
        unlink((path + "/Log.txt").c_str());
        rmdir(path.c_str());
    }
};
BenchDirectory gBenchDirectory;

// The files, written once into a new directory under the current one, which it becomes.
void WriteFilesOnce() {
    static bool written = false;
    if (written) return;
    char pattern[] = "orbek_bench_XXXXXX";
    if (mkdtemp(pattern) == nullptr || chdir(pattern) != 0) std::abort();
    gBenchDirectory.path = std::string("../") + pattern;
    if (getcwd(gLog.directory, sizeof(gLog.directory)) == nullptr) std::abort();
    std::mt19937 rng(1);
    for (int i = 0; i < kGraphs; ++i) {
        // Gradients with noise: compressed much like drawn art, not like pure noise.
        std::vector<uint16_t> samples;
        for (int y = 0; y < kSide; ++y) {
            for (int x = 0; x < kSide; ++x) {
                samples.push_back(static_cast<uint16_t>((x * 2 + i) & 0xFF));
                samples.push_back(static_cast<uint16_t>((y * 2 + rng() % 8) & 0xFF));
                samples.push_back(static_cast<uint16_t>((x + y) & 0xFF));
            }
        }
        std::vector<uint8_t> bytes = MakePngFile(PngOptions{}, kSide, kSide, samples, {}, {});
        FILE* file = std::fopen(Name(i).c_str(), "wb");
        if (file == nullptr) std::abort();
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    written = true;
}

// The log's bytes from `start` on, read through the platform's file calls by the path the
// framework writes it under.
std::string ReadLogFrom(DWORD start) {
    std::string directory = gLog.directory;
    if (!directory.empty() && directory.back() != '\\') directory += '\\';
    HANDLE file = CreateFileA((directory + gLog.fileName).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    DWORD size = GetFileSize(file, nullptr);
    std::string bytes(size != INVALID_FILE_SIZE && size > start ? size - start : 0, '\0');
    DWORD got = 0;
    if (!bytes.empty() &&
        SetFilePointer(file, static_cast<LONG>(start), nullptr, FILE_BEGIN) == start) {
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    }
    CloseHandle(file);
    bytes.resize(got);
    return bytes;
}

// The log's lines from `start` on (Shift-JIS) as one line of UTF-8, joined by " | ".
std::string LogLinesSince(DWORD start) {
    std::string text = ReadLogFrom(start);
    std::u16string wide(text.size() + 1, u'\0');
    std::string utf8(text.size() * 3 + 1, '\0');
    if (ConvertMultiByteToWide(932, text.c_str(), wide.data(), static_cast<int32_t>(wide.size())) ==
            0 ||
        ConvertWideToMultiByte(65001, wide.c_str(), utf8.data(),
                               static_cast<int32_t>(utf8.size())) == 0) {
        utf8 = text;
    }
    utf8.resize(std::strlen(utf8.c_str()));
    std::string joined;
    bool lineEnded = false;
    for (char c : utf8) {
        if (c == '\n' || c == '\r') {
            lineEnded = true;
            continue;
        }
        if (lineEnded && !joined.empty()) joined += " | ";
        lineEnded = false;
        joined += c;
    }
    return joined.empty() ? "nothing logged" : joined;
}

// The first file whose graph did not load, with the log's lines since the loads began; empty
// when every one loaded.
std::string FirstFailedLoad(const std::vector<Handle>& graphs, DWORD logStart) {
    for (int i = 0; i < kGraphs; ++i) {
        if (GetGraphRecord(graphs[i], 0) == nullptr) {
            return Name(i) + " did not load; the log: " + LogLinesSince(logStart);
        }
    }
    return {};
}

// Arguments: processors the framework is told of (0 for all the machine has), and 1 to load on
// the workers.
void BM_LoadGraphs(benchmark::State& state) {
    WriteFilesOnce();
    ResetFrameworkSettings();
    int processors = static_cast<int>(state.range(0));
    if (processors > 0) TestSetProcessorCount(processors);
    gShell.windowed = 1;
    if (SetupLibrary() != 0) {
        state.SkipWithError("the framework did not start");
        ResetFrameworkSettings();
        return;
    }
    SwitchAsyncLoad(static_cast<int>(state.range(1)));
    std::vector<Handle> graphs(kGraphs);
    auto logStart = static_cast<DWORD>(ReadLogFrom(0).size());
    for (auto _ : state) {
        for (int i = 0; i < kGraphs; ++i) graphs[i] = LoadImageFileAsGraph(Name(i).c_str(), 0);
        while (CountQueuedAsyncLoads() > 0) {
            PumpMessages();
            std::this_thread::yield();
        }
        state.PauseTiming();
        std::string failure = FirstFailedLoad(graphs, logStart);
        for (Handle graph : graphs) DisposeGraph(graph);
        // The timer stays paused: an error ends the benchmark, which may not be timed again.
        if (!failure.empty()) {
            state.SkipWithError(failure.c_str());
            break;
        }
        logStart += static_cast<DWORD>(ReadLogFrom(logStart).size());
        state.ResumeTiming();
    }
    SwitchAsyncLoad(0);
    ShutdownLibrary();
    ResetFrameworkSettings();
    state.SetItemsProcessed(state.iterations() * kGraphs);
}
BENCHMARK(BM_LoadGraphs)
    ->ArgNames({"processors", "async"})
    ->ArgsProduct({{1, 2, 0}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

}  // namespace
