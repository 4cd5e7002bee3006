// The framework started for a benchmark: on the headless host, under a virtual clock that moves
// 50 microseconds a read, with its log in a temporary folder of its own.
#pragma once

#include <benchmark/benchmark.h>

#include <functional>

// Sets the screen up with `configure` (after the screen settings are cleared), then starts the
// framework; false, with the benchmark skipped, when it did not start or `started` says it did
// not start as asked.
bool StartHeadlessLibrary(benchmark::State& state, const std::function<void()>& configure,
                          const std::function<bool()>& started);
// Shuts the framework down and removes the log and its folder.
void StopHeadlessLibrary();
