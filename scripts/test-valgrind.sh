#!/usr/bin/env bash
# Runs the core test programs (no Qt) once under valgrind memcheck, from the plain build in
# build/ (scripts/test.sh builds it; what is missing is built here). Any memory error and any
# definite or indirect leak fails the run; nothing is suppressed. The tests listed in
# tests/valgrind-skip.txt are left out, each with its reason there. Programs the tests start
# (vxksim, vxkctl) run natively: their code is checked in-process by test_sim and test_cli.
set -euo pipefail
cd "$(dirname "$0")/.."
programs=(test_comms test_security test_files test_sim test_ops test_app test_server test_cli test_session)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target "${programs[@]}" vxksim vxkctl

out=build/valgrind
rm -rf "$out"
mkdir -p "$out"
skip=$(sed -e 's/#.*//' -e 's/[[:space:]]//g' tests/valgrind-skip.txt | grep -v '^$' | paste -sd: -)

# One job per program; the fault table of test_ops, which mostly waits for device time-outs,
# is split into shards so that it does not run alone at the end.
jobs=()
for p in "${programs[@]}"; do
  if [ "$p" = test_ops ]; then
    for i in 0 1 2 3; do jobs+=("$p:$i:4"); done
  else
    jobs+=("$p:0:1")
  fi
done

run_job() {
  local program=${1%%:*} rest=${1#*:}
  local index=${rest%%:*} total=${rest#*:}
  local name=$program.$index
  local start=$SECONDS status=0
  GTEST_SHARD_INDEX=$index GTEST_TOTAL_SHARDS=$total \
    valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
    --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect \
    --num-callers=40 --log-file="$out/$name.%p.log" \
    "build/tests/$program" --gtest_filter="-$SKIP" >"$out/$name.out" 2>&1 || status=$?
  echo "$name: exit $status after $((SECONDS - start)) s"
  return 0
}
export -f run_job
export out SKIP="$skip"
# The longest first (test_ops' shards), one program per core at a time.
printf '%s\n' "${jobs[@]}" | sort -t: -k3,3nr | xargs -P "$(nproc)" -I{} bash -c 'run_job {}' \
  | tee "$out/summary"

failed=0
while read -r name _ status _; do
  [ "$status" = 0 ] && continue
  failed=1
  name=${name%:}
  echo "=== $name: exit $status (99: a memcheck finding; else a failed test)"
  grep -E "FAILED|Failure" "$out/$name.out" | head -20 || true
done <"$out/summary"
# Every process counts, forked children included.
for log in "$out"/*.log; do
  if grep -q "ERROR SUMMARY: [1-9]" "$log"; then
    echo "=== $log"
    cat "$log"
    failed=1
  fi
done
exit "$failed"
