#!/usr/bin/env bash
# The project's two entry points on a fresh Debian 12 machine:
#   tools/dev.sh run    install what is needed, build, and run the program
#   tools/dev.sh test   install what is needed, check who includes what, build with sanitizers,
#                       run every test and fuzz target
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

# The optimised build a player makes (warnings are errors here too); CI builds it as well.
build_release() {
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBEK_BENCH=OFF &&
    cmake --build build/release -j "$jobs"
}

# Only the game and what it needs (the framework and the generated assets), then the game
# itself from the folder holding its graphics/ and sound/, where it also keeps savedata.txt.
run_program() {
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBEK_BENCH=OFF
  cmake --build build/release -j "$jobs" --target brovane
  cd build/release/game_data && exec ../game/brovane
}

# The builds behind the sanitizer tests. ThreadSanitizer only for the programs it checks.
build_tsan() {
  cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORBEK_TSAN=ON -DORBEK_BENCH=OFF &&
    cmake --build build/tsan -j "$jobs" --target tests_async tests_graphics tests_sound tests_movies \
      tests_fonts tests_public
}

# The fuzz targets need clang's libFuzzer.
build_fuzz() {
  cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DORBEK_FUZZ=ON &&
    cmake --build build/fuzz -j "$jobs"
}

# The README's program of one's own, built the way the README tells a user to build one.
build_example() {
  cmake -S examples/first_program -B build/example -G Ninja &&
    cmake --build build/example -j "$jobs"
}

# Runs the named builds one after another in the background at the lowest priority, so that
# they take only the processors the tests in front leave idle. Each writes build/<name>.log and
# then build/<name>.built with the second it was done, or build/<name>.failed. (Each build is
# one chain of commands: called where its status is tested, a failing step would not stop it.)
builds_behind=""
start_builds_behind() {
  rm -f build/*.built build/*.failed
  set -m  # a process group of their own, stopped whole if the run ends first
  (
    renice -n 19 -p "$BASHPID" >/dev/null
    for name in "$@"; do
      "build_$name" >"build/$name.log" 2>&1 || { touch "build/$name.failed"; exit 1; }
      echo "$SECONDS" >"build/$name.built"
    done
  ) &
  builds_behind=$!
  set +m
  trap 'kill -- "-$builds_behind" 2>/dev/null || true' EXIT
}

# Waits for a build started behind; shows its output and fails the run when it failed.
wait_for_build() {
  until [ -e "build/$1.built" ]; do
    if [ -e "build/$1.failed" ] || ! kill -0 "$builds_behind" 2>/dev/null; then
      [ -e "build/$1.built" ] && break
      echo "the $1 build failed:" >&2
      tail -n 80 "build/$1.log" >&2
      exit 1
    fi
    sleep 1
  done
  echo "($1 build done at $(cat "build/$1.built") s)"
}

# The tests of the loading workers and of what they share with the main thread, and of the
# movie players' and graphs' streaming threads, under ThreadSanitizer: any data race or
# lock-order inversion stops the program that finds it. The six programs run side by side;
# each one's output is shown when it fails.
run_thread_checks() {
  printf '%s\n' 'tests_async *' \
    'tests_graphics AsyncGraphLoadTest.*:GraphRestoreTest.*:GraphReuseTest.Asynchronous*' \
    'tests_sound AsyncSoundLoadTest.*:Mp3DirectShowTest.*' 'tests_movies *' \
    'tests_fonts AsyncFontCreationTest.*' \
    'tests_public *AsyncFontsTest.*:*AsyncLoadTest.*:*MoviesTest.*' |
    SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy TSAN_OPTIONS=halt_on_error=1:exitcode=66 \
    xargs -P 6 -L 1 sh -c '
      cd build/tsan/tests &&
      ./$0 --gtest_brief=1 --gtest_filter="$1" >"$0.tsan.log" 2>&1 ||
        { echo "$0 failed under ThreadSanitizer:"; tail -n 80 "$0.tsan.log"; exit 255; }'
  echo "thread checks passed"
}

# Each fuzz target runs a few seconds from a copy of its seed corpus, all side by side; an input
# that takes more memory than a decoder should fails the run.
run_fuzz_targets() {
  if build/fuzz/fuzz/orbek_sanitizer_probe undefined >/dev/null 2>&1; then
    echo "a sanitizer report does not stop the fuzz targets" >&2
    exit 1
  fi
  local work
  work=$(mktemp -d)
  find build/fuzz/fuzz -maxdepth 1 -type f -perm -u+x -name 'fuzz_*' -printf '%f\n' | sort |
    WORK=$work xargs -P 0 -I{} sh -c '
      name=${1#fuzz_}
      mkdir -p "$WORK/$name"
      if [ -d "fuzz/corpus/$name" ]; then cp -r "fuzz/corpus/$name/." "$WORK/$name/"; fi
      build/fuzz/fuzz/$1 -max_total_time=5 -timeout=10 -rss_limit_mb=512 -malloc_limit_mb=256 \
        -artifact_prefix="$WORK/$name-" "$WORK/$name" 2>"$WORK/$name.log" ||
        { echo "fuzz target $name failed:"; tail -n 40 "$WORK/$name.log"; exit 255; }
      echo "fuzzed $name"' sh {}
  echo "fuzz targets run: $(find "$work" -maxdepth 1 -name '*.log' | wc -l)"
  rm -rf "$work"
}

# Marks where each step of the test run starts, with the seconds spent so far.
step() {
  echo "== $1 (at ${SECONDS} s)"
}

run_tests() {
  tools/check_includes.sh
  step "sanitizer build"
  # Any sanitizer report stops the program that makes it (cmake/flags.cmake), failing the run.
  export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
  cmake -S . -B build/check -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORBEK_SANITIZE=ON
  cmake --build build/check -j "$jobs"
  # The other builds need nothing of it: they are compiled while the tests run.
  start_builds_behind tsan release fuzz example
  # Each test program runs whole, its tests shuffled in four processes; the long
  # tests and those that need a process of their own run alone (tests/CMakeLists.txt).
  step "sanitizer tests, shuffled"
  ctest --test-dir build/check --output-on-failure -j "$jobs"
  step "thread checks"
  wait_for_build tsan
  run_thread_checks
  # Only the optimised build hands freed memory out again at once (a sanitizer holds it back),
  # so state left naming a freed object shows there: the whole suite runs in it too.
  step "release tests"
  wait_for_build release
  ctest --test-dir build/release --output-on-failure -j "$jobs"
  step "fuzzing"
  wait_for_build fuzz
  run_fuzz_targets
  step "example program"
  wait_for_build example
  step "done"
}

tools/install-deps.sh
case "${1:-}" in
  run) run_program ;;
  test) run_tests ;;
  *) echo "usage: tools/dev.sh run|test" >&2; exit 2 ;;
esac
