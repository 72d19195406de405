#!/usr/bin/env bash
# Long fuzz runs: builds the fuzz targets with clang and libFuzzer into build-fuzz/ (with the
# replay driver under GCC when clang is missing) and runs each for RUNS executions (10 million
# unless set), or only the targets named as arguments. New inputs go to build-fuzz/found/;
# crashes are left as crash-* files in build-fuzz/fuzz/ and end the script with an error.
# Prints executions and covered edges of each target.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-10000000}
targets=(fuzz_listing fuzz_dates fuzz_lcd fuzz_log_text fuzz_rtf fuzz_editor_text fuzz_connect_header
         fuzz_device_stream)
[ $# -gt 0 ] && targets=("$@")

if command -v clang++ >/dev/null; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVXK_FUZZ=ON -DVXK_BUILD_TESTS=OFF -DVXK_BUILD_GUI=OFF >/dev/null
  libfuzzer=1
else
  echo "fuzz.sh: no clang; replaying mutated corpus inputs under GCC with the sanitizers" >&2
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVXK_SANITIZE=ON \
    -DVXK_BUILD_GUI=OFF >/dev/null
  libfuzzer=0
fi
built=()
for t in "${targets[@]}"; do
  cmake --build build-fuzz --target "$t" >/dev/null 2>&1 && built+=("$t") ||
    echo "fuzz.sh: $t not built (fuzz_editor_text needs the Qt development files)" >&2
done

status=0
for t in "${built[@]}"; do
  found=build-fuzz/found/$t
  mkdir -p "$found"
  log=build-fuzz/$t.log
  start=$(date +%s)
  if [ "$libfuzzer" = 1 ]; then
    (cd build-fuzz/fuzz && ./"$t" -runs="$runs" -max_len=4096 -print_final_stats=1 \
      "../../$found" "../../fuzz/corpus/$t") >"$log" 2>&1 || status=1
    execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    edges=$(grep -oE 'cov: [0-9]+' "$log" | tail -n1 | grep -oE '[0-9]+' || echo "?")
  else
    (cd build-fuzz/fuzz && ./"$t" -runs="$runs" "../../fuzz/corpus/$t") >"$log" 2>&1 || status=1
    execs=$(grep -oE '^replay: [0-9]+' "$log" | grep -oE '[0-9]+' || echo "?")
    edges="n/a"
  fi
  echo "fuzz.sh: $t: $execs executions, $edges edges, $(($(date +%s) - start)) s"
  grep -E '^==[0-9]+==ERROR|runtime error|deadly signal' "$log" || true
done
[ "$status" -eq 0 ] || echo "fuzz.sh: a target failed; see build-fuzz/*.log and build-fuzz/fuzz/crash-*" >&2
exit "$status"
