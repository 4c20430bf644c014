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
bash scripts/install_deps.sh
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

# A free port for the echo modem: the kernel picks one, the probe gives it back at once.
client_port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("",0)); print(s.getsockname()[1])')"
ruvo_sim --listen 127.0.0.1:0 --radio-delay 0 --modem 0102030405060701:echo:smoke \
  < /dev/null > "$work/sim.out" 2> "$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
  grep -q '^listening ' "$work/sim.out" && break
  sleep 0.1
done
sim_port="$(sed -n 's/^listening //p' "$work/sim.out")"
[ -n "$sim_port" ] || { echo "The simulator did not start." >&2; exit 1; }

examples=/usr/share/ruvo-bridge/examples
sed "s|^ws_url = .*|ws_url = \"ws://127.0.0.1:$sim_port\"|" "$examples/ruvo_bridge.cfg" > "$work/ruvo_bridge.cfg"
echo "device(eui=0102030405060701, tcp_port=$client_port)" > "$work/devices.cfg"
(cd "$work" && QT_QPA_PLATFORM=offscreen exec ruvo_bridge) &
bridge_pid=$!

answer=""
for _ in $(seq 100); do
  if answer="$(python3 - "$client_port" <<'EOF' 2>/dev/null
import socket, sys
with socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=5) as s:
    s.sendall(b"smoke test")
    print(s.recv(100).decode())
EOF
  )"; then
    break
  fi
  sleep 0.2
done
[ "$answer" = "smoke test" ] || { echo "No round trip through the installed program:" >&2; cat "$work/ruvo_bridge.log" >&2; exit 1; }
echo "Client round trip through the installed program: ok"

kill -TERM "$bridge_pid"
rc=0
wait "$bridge_pid" || rc=$?
bridge_pid=""
[ "$rc" -eq 0 ] || { echo "SIGTERM ended the program with exit code $rc" >&2; exit 1; }
echo "SIGTERM: exit code 0"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y ruvo-bridge >/dev/null
echo "Removed: $(command -v ruvo_bridge || echo 'ruvo_bridge no longer on PATH')"
