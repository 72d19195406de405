#!/usr/bin/env bash
# Builds everything, the windows included, with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs every test under them (the windows on the offscreen platform), then the fuzz targets
# briefly under libFuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVXK_SANITIZE=ON -DVXK_BUILD_GUI=ON >/dev/null
cmake --build build-asan

# AddressSanitizer writes its reports (memory errors, leaks) to files, so that those of the
# programs the tests start (vxksim, vxktool, vxkctl) count too, even where a test does not look
# at their exit status. UndefinedBehaviorSanitizer ignores log_path next to ASan and reports on
# stderr; -fno-sanitize-recover makes the process fail. scripts/lsan.supp names the system
# libraries whose leaks at exit are not ours.
logs=$root/build-asan/sanitizer-logs
rm -rf "$logs"
mkdir -p "$logs"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:log_path=$logs/asan"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
status=0
# The flood tests are left out: they measure how fast hundreds of processes start and end,
# and each sanitized process scans its memory for leaks as it ends.
ctest --test-dir build-asan --output-on-failure -j "$(nproc)" --timeout 300 -LE flood || status=1
for report in "$logs"/*; do
  [ -e "$report" ] || continue
  echo "=== sanitizer report $(basename "$report") (the process id is the suffix)"
  cat "$report"
  status=1
done
[ "$status" -eq 0 ] || exit 1
unset ASAN_OPTIONS LSAN_OPTIONS

# The fuzz targets under libFuzzer for a short, fixed number of executions each (the build
# above already replayed their corpora with mutations under GCC).
if command -v clang++ >/dev/null; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVXK_FUZZ=ON -DVXK_BUILD_TESTS=OFF -DVXK_BUILD_GUI=OFF >/dev/null
  cmake --build build-fuzz --target fuzz_all
  ctest --test-dir build-fuzz --output-on-failure -L fuzz -j "$(nproc)"
fi
