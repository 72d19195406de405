#!/usr/bin/env bash
# Builds the core (no Qt) with AddressSanitizer and UndefinedBehaviorSanitizer and runs its tests.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVXK_SANITIZE=ON -DVXK_BUILD_GUI=OFF >/dev/null
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$(nproc)" --timeout 300

# The fuzz targets under libFuzzer for a short, fixed number of executions each (the build
# above already replayed their corpora with mutations under GCC).
if command -v clang++ >/dev/null; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVXK_FUZZ=ON -DVXK_BUILD_TESTS=OFF -DVXK_BUILD_GUI=OFF >/dev/null
  cmake --build build-fuzz --target fuzz_all
  ctest --test-dir build-fuzz --output-on-failure -L fuzz -j "$(nproc)"
fi
