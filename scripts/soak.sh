#!/usr/bin/env bash
# Fault soak (not part of the tests): ruvo_bridge built with AddressSanitizer and UndefinedBehaviorSanitizer
# runs against ruvo_sim while faults of every kind are injected and clients come and go; see
# tools/soak/soak.py. Ends with the figures: faults, link rebuilds, resident memory, exit code, reports.
# Usage: scripts/soak.sh [minutes, default 15] [link rebuilds to reach, default 2000]
# RUVO_BUILD_DIR picks the build folder (default build-asan/); RUVO_SOAK_DIR keeps the run folder there.
set -euo pipefail
minutes=${1:-15}
rebuilds=${2:-2000}
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${RUVO_BUILD_DIR:-$root/build-asan}")"

cd "$root"
bash scripts/install_deps.sh python3
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRUVO_SANITIZE=ON >/dev/null
cmake --build "$build" -j2 --target ruvo_bridge ruvo_sim

# Leaks are looked for when the program ends after SIGTERM; reports go to files in the run folder. Full
# stacks at every allocation (slower) let the suppressions tell Qt's own leaks at exit from the program's.
export ASAN_OPTIONS="detect_leaks=1:fast_unwind_on_malloc=0:${ASAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$root/tools/soak/lsan.supp:${LSAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:${UBSAN_OPTIONS:-}"
python3 tools/soak/soak.py --bridge "$build/ruvo_bridge" --sim "$build/tools/ruvo_sim/ruvo_sim" \
  --minutes "$minutes" --rebuilds "$rebuilds" ${RUVO_SOAK_DIR:+--work "$RUVO_SOAK_DIR"}
