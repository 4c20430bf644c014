#!/usr/bin/env bash
# Builds ruvo_bridge and the server simulator, then runs both on the demo configuration: no hardware needed.
# RUVO_BUILD_DIR and RUVO_DEMO_DIR may point the build and the run folder elsewhere (default build/ and demo/).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${RUVO_BUILD_DIR:-$root/build}"
demo="${RUVO_DEMO_DIR:-$root/demo}"
sim_address="127.0.0.1:8002"
# Above 1023, so that the demo needs no privileges; sites use 502.
site_port=1502

cd "$root"
mkdir -p "$build" "$demo"
build="$(cd "$build" && pwd)"
demo="$(cd "$demo" && pwd)"
bash scripts/install_deps.sh
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2 --target ruvo_bridge ruvo_sim

# The program never writes its configuration, so the sample is always current (with the site port
# opened); the devices file is the user's once the program has rewritten it after an edit.
sed "s|^# modbus_site_port = .*|modbus_site_port = $site_port|" "$root/samples/ruvo_bridge.cfg" \
  > "$demo/ruvo_bridge.cfg"
if [ ! -e "$demo/devices.cfg" ]; then
  cp "$root/samples/devices.cfg" "$demo/devices.cfg"
else
  echo "Keeping the devices file edited earlier: $demo/devices.cfg"
fi

sim_pid=""
stop_sim() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
}
trap stop_sim EXIT

# The simulator's event lines (every message in both directions) go to a file for whoever is curious
"$build/tools/ruvo_sim/ruvo_sim" --listen "$sim_address" --login demo --password demo \
  --modem "0102030405060701:echo:Счётчик-эхо" \
  --modem "0102030405060702:modbus:Счётчик Modbus" \
  --modem "0102030405060703:silent" \
  --modem "0102030405060704:echo:Незарегистрированный" \
  --modem "0102030405060705:modbus:Счётчик Modbus TCP" \
  --modem "0102030405060706:modbus:Счётчик Modbus TCP 2" \
  < /dev/null > "$demo/ruvo_sim.out" 2> "$demo/ruvo_sim.err" &
sim_pid=$!

for _ in $(seq 100); do
  grep -q '^listening ' "$demo/ruvo_sim.out" 2>/dev/null && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    echo "The simulator did not start:" >&2
    cat "$demo/ruvo_sim.err" >&2
    exit 1
  fi
  sleep 0.1
done
if ! grep -q '^listening ' "$demo/ruvo_sim.out"; then
  echo "The simulator did not start listening on $sim_address in time." >&2
  exit 1
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=offscreen
  echo "No display found: the program runs without a visible window (QT_QPA_PLATFORM=offscreen)."
  echo "Stop it with Ctrl+C."
fi

cat <<EOF

The simulated RUVO-LoRa server listens on ws://$sim_address (login demo, password demo), with the modems
  0102030405060701  echo device            -> TCP port 3000
  0102030405060702  Modbus RTU slave 1     -> TCP port 3001
  0102030405060703  silent device          -> TCP port 3002
  0102030405060704  echo device, not in the devices file: no port
  0102030405060705  Modbus RTU slave 1     -> TCP port 3005, served as Modbus TCP (protocol=modbus_tcp)
  0102030405060706  Modbus RTU slave 1     -> TCP port 3006, served as Modbus TCP, reads cached for 5 s
Try it:
  nc 127.0.0.1 3000          type a line; the echo modem sends it back
  Modbus: poll slave 1 on 127.0.0.1:3001 with any Modbus RTU-over-TCP client (holding register N holds N,
          input register N holds 1000 + N, 100 of each), for example read 10 holding registers from 0.
  Modbus TCP: any Modbus TCP master on 127.0.0.1:3005, slave 1, for example
          mbpoll -m tcp -a 1 -0 -r 0 -c 10 -t 4 -1 -p 3005 127.0.0.1
  Site port: one Modbus TCP port for the whole site on 127.0.0.1:$site_port (modbus_site_port), routed by
          the unit sentences of the devices file: unit 11 -> slave 1 behind 0102030405060705, unit 12 ->
          slave 1 behind 0102030405060706, unit 13 -> slave 2 behind 0102030405060706 (the simulator has
          no slave 2 there: exception 0x0B after modbus_timeout), any other unit -> exception 0x0A.
          mbpoll -m tcp -a 11 -0 -r 0 -c 10 -t 4 -1 -p $site_port 127.0.0.1
The run folder is $demo (ruvo_bridge.log, devices.cfg; the simulator's traffic in ruvo_sim.out).
Closing the program stops the simulator.

EOF

cd "$demo"
"$build/ruvo_bridge"
