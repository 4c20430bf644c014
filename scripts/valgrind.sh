#!/usr/bin/env bash
# Valgrind memcheck on one end-to-end run: ruvo_bridge under memcheck against ruvo_sim, one client round trip
# through an echo modem, then SIGTERM; prints memcheck's ERROR SUMMARY and leak summary and fails on any
# error. The only suppressions are those of scripts/valgrind.supp (leaks inside Qt's offscreen platform).
# Usage: scripts/valgrind.sh; RUVO_BUILD_DIR picks the build folder (default build/).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${RUVO_BUILD_DIR:-$root/build}")"

cd "$root"
. scripts/sim_helpers.sh
bash scripts/install_deps.sh valgrind python3
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target ruvo_bridge ruvo_sim

work="$(mktemp -d)"
sim_pid=""
bridge_pid=""
finish() {
  [ -n "$bridge_pid" ] && kill -KILL "$bridge_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill -TERM "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap finish EXIT

start_sim "$build/tools/ruvo_sim/ruvo_sim" "$work"
prepare_run "$work" samples/ruvo_bridge.cfg
report="$work/memcheck.txt"
(cd "$work" && QT_QPA_PLATFORM=offscreen exec valgrind --tool=memcheck --leak-check=full \
  --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible \
  --suppressions="$root/scripts/valgrind.supp" --num-callers=30 --log-file="$report" "$build/ruvo_bridge") &
bridge_pid=$!
# Under memcheck the program starts slowly: give the round trip time.
check_round_trip "$work" 120 "the program under memcheck"
pid=$bridge_pid
bridge_pid=""
stop_with_sigterm "$pid"
grep -E "ERROR SUMMARY|definitely lost|indirectly lost|possibly lost|still reachable|suppressed:" "$report" \
  | sed 's/^==[0-9]*== */  /'
if ! grep -q "ERROR SUMMARY: 0 errors" "$report"; then
  echo "memcheck found errors; the report: $report" >&2
  exit 1
fi
rm -rf "$work"
