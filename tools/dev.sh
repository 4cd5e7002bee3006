#!/usr/bin/env bash
# The project's two entry points on a fresh Debian 12 machine:
#   tools/dev.sh run    install what is needed, build, and run the program
#   tools/dev.sh test   install what is needed, check who includes what, build with sanitizers,
#                       run every test and fuzz target
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

run_program() {
  # Warnings are errors in the checked build; an optimised build can meet false positives of
  # the compiler's flow analysis, which must not stop a player from building the game.
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBEK_BENCH=OFF -DORBEK_WERROR=OFF
  cmake --build build/release -j "$jobs"
  if [ -x build/release/game/brovane ]; then
    cd game && exec ../build/release/game/brovane
  fi
  # Until the game exists: start the framework's log and system information, and show the log.
  mkdir -p build/run && cd build/run && ../release/tools/orbek_sysinfo
}

run_tests() {
  tools/check_includes.sh
  cmake -S . -B build/check -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORBEK_SANITIZE=ON
  cmake --build build/check -j "$jobs"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build/check --output-on-failure -j "$jobs"

  # The fuzz targets need clang's libFuzzer; each runs a few seconds from its seed corpus.
  cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DORBEK_FUZZ=ON
  cmake --build build/fuzz -j "$jobs"
  local ran=0 work
  work=$(mktemp -d)
  for target in build/fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    local name=${target##*/fuzz_}
    mkdir -p "$work/$name"
    [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/$name/"
    echo "fuzzing $name"
    "$target" -max_total_time=5 -artifact_prefix="$work/$name-" "$work/$name" 2>"$work/$name.log" \
      || { tail -n 40 "$work/$name.log"; exit 1; }
    ran=$((ran + 1))
  done
  rm -rf "$work"
  echo "fuzz targets run: $ran"
}

tools/install-deps.sh
case "${1:-}" in
  run) run_program ;;
  test) run_tests ;;
  *) echo "usage: tools/dev.sh run|test" >&2; exit 2 ;;
esac
