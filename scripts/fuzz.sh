#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer) and runs
# each one, two at a time, for the given number of seconds on its seed corpus; reports executions and
# findings, and fails when any target found something or did not run to its end.
# Usage: scripts/fuzz.sh [--build DIR] [seconds per target, default 60] [target name ...]
# --build DIR: a tree already configured with -DRUVO_FUZZ=ON (scripts/test.sh gives its
# assertion-and-sanitizer tree); otherwise build-fuzz/ is configured here.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=""
if [ "${1:-}" = "--build" ]; then
  build=$(cd "$2" && pwd)
  shift 2
fi
seconds=${1:-60}
shift || true

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for src in tests/fuzz/fuzz_*.cpp; do
    targets+=("$(basename "$src" .cpp)")
  done
fi

if [ -z "$build" ]; then
  build=$root/build-fuzz
  bash scripts/install_deps.sh clang libclang-rt-14-dev
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DRUVO_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target "${targets[@]}"

# Runs one target on its seed corpus; its exit code goes next to its log.
run_target() {
  local target=$1 name=${1#fuzz_}
  local work=$build/corpus/$name artifacts=$build/artifacts/$name seeds=$root/tests/fuzz/corpus/$name
  rm -rf "$artifacts"
  mkdir -p "$work" "$artifacts"
  [ -d "$seeds" ] || seeds=""
  local rc=0
  "$build/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$work" ${seeds:+"$seeds"} >"$build/$target.log" 2>&1 || rc=$?
  echo "$rc" >"$build/$target.rc"
}

# Two targets at a time, one a core.
echo "== ${#targets[@]} targets, ${seconds} s each, two at a time"
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge 2 ]; do wait -n || true; done
  run_target "$target" &
done
wait

failures=0
for target in "${targets[@]}"; do
  name=${target#fuzz_}
  log=$build/$target.log
  artifacts=$build/artifacts/$name
  rc=$(cat "$build/$target.rc")
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  per_second=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)
  corpus=$(find "$build/corpus/$name" -type f | wc -l)
  findings=$(find "$artifacts" -type f | wc -l)
  echo "== $target: executions: ${executions:-?} (${per_second:-?}/s), ${coverage:-cov: ?}, corpus: $corpus files, findings: $findings, exit code: $rc"
  if [ "$findings" -gt 0 ] || [ "$rc" -ne 0 ]; then
    failures=$((failures + 1))
    grep -E "ERROR|SUMMARY|runtime error|FINDING" "$log" | head -20 || true
    echo "   log: $log; inputs: $artifacts"
  fi
done
rm -f /tmp/ruvo_fuzz_*.cfg
[ "$failures" -eq 0 ]
