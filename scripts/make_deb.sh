#!/usr/bin/env bash
# Builds the two Debian packages with CPack from one build: ruvo-bridged (the daemon, the simulator,
# the samples with the service unit) and ruvo-bridge (the desktop program, its menu entry and icon).
# With --check it then installs ruvo-bridged alone with apt-get and runs the installed daemon, with no
# display, against the installed simulator (one client round trip through an echo modem, then
# SIGTERM must end it with code 0), then adds ruvo-bridge and does the same with the desktop program
# under the offscreen platform, and removes both again; that needs root (or sudo).
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
cmake --build "$build" -j2 --target ruvo_bridge ruvo_bridged ruvo_sim
rm -f "$build"/ruvo-bridge_*.deb "$build"/ruvo-bridged_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
daemon_deb="$(ls "$build"/ruvo-bridged_*.deb)"
desktop_deb="$(ls "$build"/ruvo-bridge_*.deb)"
for deb in "$daemon_deb" "$desktop_deb"; do
  echo "Package: $deb"
  dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Architecture\|Depends\|Installed-Size\):/  \1:/p'
  dpkg-deb --contents "$deb" | awk '{print "  " $6}'
done
[ "$check" -eq 1 ] || exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
for package in ruvo-bridge ruvo-bridged; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    echo "$package is installed already; remove it first." >&2
    exit 1
  fi
done
work="$(mktemp -d)"
sim_pid=""
bridge_pid=""
finish() {
  [ -n "$bridge_pid" ] && kill -KILL "$bridge_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill -TERM "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y ruvo-bridge ruvo-bridged >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap finish EXIT

# try_program WHAT COMMAND...: the installed program serves the echo modem and ends on SIGTERM.
try_program() {
  local what=$1
  shift
  (cd "$work" && exec "$@") &
  bridge_pid=$!
  check_round_trip "$work" 30 "$what"
  local pid=$bridge_pid
  bridge_pid=""
  stop_with_sigterm "$pid"
}

DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "$daemon_deb" >/dev/null
echo "Installed: $(command -v ruvo_bridged), $(command -v ruvo_sim)"
ruvo_sim --help >/dev/null
echo "ruvo_sim --help: exit code 0"
ruvo_bridged --help >/dev/null
echo "ruvo_bridged --help: exit code 0"

start_sim ruvo_sim "$work"
prepare_run "$work" /usr/share/ruvo-bridge/examples/ruvo_bridge.cfg
try_program "the installed daemon" env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ruvo_bridged

DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "$desktop_deb" >/dev/null
echo "Installed: $(command -v ruvo_bridge)"
try_program "the installed desktop program" env QT_QPA_PLATFORM=offscreen ruvo_bridge
DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y ruvo-bridge ruvo-bridged >/dev/null
hash -r
echo "Removed: $(command -v ruvo_bridge ruvo_bridged || echo 'ruvo_bridge and ruvo_bridged no longer on PATH')"
