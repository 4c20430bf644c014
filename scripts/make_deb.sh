#!/usr/bin/env bash
# Builds the Debian package of ruvo_bridge (program, simulator, menu entry, icon, samples) with CPack.
# With --check it then installs the package with apt-get, runs the installed program against the
# installed simulator (one client round trip through an echo modem, then SIGTERM must end it with
# code 0) and removes the package again; that needs root (or sudo).
# Usage: scripts/make_deb.sh [--check]; RUVO_BUILD_DIR picks the build folder (default build-deb/) and
# RUVO_BUILD_TYPE the CMake build type (default Release; the package is stripped either way).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${RUVO_BUILD_DIR:-$root/build-deb}")"
check=0
[ "${1:-}" = "--check" ] && check=1

cd "$root"
. scripts/sim_helpers.sh
bash scripts/install_deps.sh python3
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE="${RUVO_BUILD_TYPE:-Release}" -DRUVO_SANITIZE=OFF -DRUVO_FUZZ=OFF >/dev/null
cmake --build "$build" -j2 --target ruvo_bridge ruvo_sim
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls -t "$build"/ruvo-bridge_*.deb | head -1)"
echo "Package: $deb"
dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Architecture\|Depends\|Installed-Size\):/  \1:/p'
dpkg-deb --contents "$deb" | awk '{print "  " $6}'
[ "$check" -eq 1 ] || exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if dpkg-query -W -f='${Status}' ruvo-bridge 2>/dev/null | grep -q "install ok installed"; then
  echo "ruvo-bridge is installed already; remove it first." >&2
  exit 1
fi
work="$(mktemp -d)"
sim_pid=""
bridge_pid=""
finish() {
  [ -n "$bridge_pid" ] && kill -KILL "$bridge_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill -TERM "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y ruvo-bridge >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap finish EXIT

DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "$deb" >/dev/null
echo "Installed: $(command -v ruvo_bridge), $(command -v ruvo_sim)"
ruvo_sim --help >/dev/null
echo "ruvo_sim --help: exit code 0"

start_sim ruvo_sim "$work"
prepare_run "$work" /usr/share/ruvo-bridge/examples/ruvo_bridge.cfg
(cd "$work" && QT_QPA_PLATFORM=offscreen exec ruvo_bridge) &
bridge_pid=$!
check_round_trip "$work" 30 "the installed program"
pid=$bridge_pid
bridge_pid=""
stop_with_sigterm "$pid"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y ruvo-bridge >/dev/null
echo "Removed: $(command -v ruvo_bridge || echo 'ruvo_bridge no longer on PATH')"
