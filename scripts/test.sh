#!/usr/bin/env bash
# Installs what is needed, checks the formatting, builds Calvane and runs every test: once in an
# optimised build with warnings as errors (with the benchmarks built and run once briefly), once
# under AddressSanitizer and UndefinedBehaviorSanitizer, where any finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install_deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== format check"
bash scripts/format_check.sh

echo "== optimised build (warnings are errors)"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCALVANE_WERROR=ON >/dev/null
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

echo "== benchmarks (one short run each, to keep them working)"
for b in build/release/bench/*_bench; do
  [ -x "$b" ] || continue
  "$b" --benchmark_min_time=0.01 >/dev/null
done

echo "== AddressSanitizer and UndefinedBehaviorSanitizer build"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DCALVANE_SANITIZERS="address;undefined" \
  -DCALVANE_BUILD_BENCH=OFF >/dev/null
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs"

echo "== ThreadSanitizer build (the threaded engine tests and the repaint storm against a run)"
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCALVANE_SANITIZERS=thread \
  -DCALVANE_BUILD_UI=OFF -DCALVANE_BUILD_BENCH=OFF >/dev/null
cmake --build build/tsan --target engine_tests app_tests -j "$jobs"
TSAN_OPTIONS=halt_on_error=1 \
  ctest --test-dir build/tsan --output-on-failure -j "$jobs" -R '^(CalculationDriver|RunFit|PauseRepaintStorm|BlockSums|LmResiduals|LevenbergMarquardtPhase|HelperThread)\.'
