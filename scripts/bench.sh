#!/usr/bin/env bash
# Builds the benchmarks (release build with RUVO_BENCH) and runs every one of them, printing
# their figures. Usage: scripts/bench.sh [benchmark name ...], e.g. bench_bridge or bench_json.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$PWD/build-bench

bash scripts/install_deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DRUVO_BENCH=ON > /dev/null

if [ $# -gt 0 ]; then
  benches=("$@")
else
  benches=()
  for src in bench/bench_*.cpp; do
    benches+=("$(basename "$src" .cpp)")
  done
fi
cmake --build "$build" -j2 --target "${benches[@]}"

export QT_QPA_PLATFORM=offscreen
for b in "${benches[@]}"; do
  echo "=== $b"
  "$build/bench/$b"
  echo
done
