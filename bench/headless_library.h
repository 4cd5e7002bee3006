// The framework started for a benchmark: on the headless host, under a virtual clock that moves
// 50 microseconds a read, with its log in a temporary folder of its own. Benchmarks run one
// after the other in one process, so each puts back what it changed.
#pragma once

#include <benchmark/benchmark.h>

#include <functional>

// The settings a benchmark that starts the framework may change, as a fresh process has them:
// the screen, shell, library and window records, the log's folder, the platform's test
// settings, the device's test settings and a fresh headless host; the run-time DLLs unloaded.
void ResetFrameworkSettings();

// Sets the screen up with `configure` (after ResetFrameworkSettings), then starts the
// framework; false, with the benchmark skipped, when it did not start or `started` says it did
// not start as asked.
bool StartHeadlessLibrary(benchmark::State& state, const std::function<void()>& configure,
                          const std::function<bool()>& started);
// Shuts the framework down, resets its settings and removes the log and its folder.
void StopHeadlessLibrary();
