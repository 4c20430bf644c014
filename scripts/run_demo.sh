#!/usr/bin/env bash
# Builds ruvo_bridge, ruvo_bridged and the server simulator, then runs the simulator and the program on the
# demo configuration: no hardware needed. Without a display the program is the daemon, ruvo_bridged.
# RUVO_BUILD_DIR and RUVO_DEMO_DIR may point the build and the run folder elsewhere (default build/ and demo/).
# RUVO_DEMO_PORTS gives every port of the demo: "SIM FIRST SITE" (default "8002 3000 1502"): the simulated
# server's port, the first modem's port (the sample's modems take it and the next six), the site port.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${RUVO_BUILD_DIR:-$root/build}"
demo="${RUVO_DEMO_DIR:-$root/demo}"
read -r sim_port first_port site_port extra <<< "${RUVO_DEMO_PORTS:-8002 3000 1502}"
for port in "$sim_port" "$first_port" "$site_port"; do
  if ! [[ "$port" =~ ^[0-9]+$ ]] || [ "$port" -lt 1 ] || [ "$port" -gt 65529 ] || [ -n "${extra:-}" ]; then
    echo "RUVO_DEMO_PORTS must be three port numbers, \"SIM FIRST SITE\", e.g. \"8002 3000 1502\"." >&2
    exit 1
  fi
done
sim_address="127.0.0.1:$sim_port"
# The sample's modem ports are 3000 + N; the demo moves them to first_port + N.
moved_port() { echo $(($1 - 3000 + first_port)); }

cd "$root"
mkdir -p "$build" "$demo"
build="$(cd "$build" && pwd)"
demo="$(cd "$demo" && pwd)"
bash scripts/install_deps.sh
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2 --target ruvo_bridge ruvo_bridged ruvo_sim

# The program never writes its configuration, so the sample is always current (with the site port
# opened); the devices file is the user's once the program has rewritten it after an edit. The
# configuration holds the password: readable by its owner only, as the program asks.
rm -f "$demo/ruvo_bridge.cfg"
(
  umask 077
  sed -e "s|^# modbus_site_port = .*|modbus_site_port = $site_port|" \
      -e "s|^ws_url = \"ws://127.0.0.1:8002\"|ws_url = \"ws://$sim_address\"|" \
      "$root/samples/ruvo_bridge.cfg" > "$demo/ruvo_bridge.cfg"
)
if [ ! -e "$demo/devices.cfg" ]; then
  awk -v first="$first_port" '{
      if (match($0, /tcp_port=[0-9]+/)) {
        port = substr($0, RSTART + 9, RLENGTH - 9) - 3000 + first
        $0 = substr($0, 1, RSTART - 1) "tcp_port=" port substr($0, RSTART + RLENGTH)
      }
      print
    }' "$root/samples/devices.cfg" > "$demo/devices.cfg"
else
  echo "Keeping the devices file edited earlier: $demo/devices.cfg"
fi

# Every port the demo listens on must be free: a port held by another program would answer in the
# modem's place and look like success.
taken=""
for port in "$sim_port" "$site_port" $(grep -o 'tcp_port=[0-9]*' "$demo/devices.cfg" | cut -d= -f2); do
  if [ -n "$(ss -Hltn "sport = :$port")" ]; then
    echo "Port $port is already taken by another program:" >&2
    ss -Hltnp "sport = :$port" >&2 || true
    taken=1
  fi
done
if [ -n "$taken" ]; then
  echo "Free it, or choose other ports: RUVO_DEMO_PORTS=\"SIM FIRST SITE\" (now \"$sim_port $first_port $site_port\")." >&2
  exit 1
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

program="$build/ruvo_bridge"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  program="$build/ruvo_bridged"
  echo "No display found: the program without a window runs instead (ruvo_bridged)."
  echo "Stop it with Ctrl+C."
fi

cat <<EOF

The simulated RUVO-LoRa server listens on ws://$sim_address (login demo, password demo), with the modems
  0102030405060701  echo device            -> TCP port $(moved_port 3000)
  0102030405060702  Modbus RTU slave 1     -> TCP port $(moved_port 3001)
  0102030405060703  silent device          -> TCP port $(moved_port 3002)
  0102030405060704  echo device, not in the devices file: no port
  0102030405060705  Modbus RTU slave 1     -> TCP port $(moved_port 3005), served as Modbus TCP (protocol=modbus_tcp)
  0102030405060706  Modbus RTU slave 1     -> TCP port $(moved_port 3006), served as Modbus TCP, reads cached for 5 s
(the ports of a devices file kept from an earlier run are its own)
Try it:
  nc 127.0.0.1 $(moved_port 3000)          type a line; the echo modem sends it back
  Modbus RTU over TCP: slave 1 on 127.0.0.1:$(moved_port 3001) (holding register N holds N, input register N
          holds 1000 + N, 100 of each); read 10 holding registers from 0 (the last two bytes are the CRC):
          (printf '\x01\x03\x00\x00\x00\x0a\xc5\xcd'; sleep 2) | nc -q 1 127.0.0.1 $(moved_port 3001) | od -An -tx1
  Modbus TCP: any Modbus TCP master on 127.0.0.1:$(moved_port 3005), slave 1, for example
          mbpoll -m tcp -a 1 -0 -r 0 -c 10 -t 4 -1 -p $(moved_port 3005) 127.0.0.1
  Site port: one Modbus TCP port for the whole site on 127.0.0.1:$site_port (modbus_site_port), routed by
          the unit sentences of the devices file: unit 11 -> slave 1 behind 0102030405060705, unit 12 ->
          slave 1 behind 0102030405060706, unit 13 -> slave 2 behind 0102030405060706 (the simulator has
          no slave 2 there: exception 0x0B after modbus_timeout), any other unit -> exception 0x0A.
          mbpoll -m tcp -a 11 -0 -r 0 -c 10 -t 4 -1 -p $site_port 127.0.0.1
The run folder is $demo (ruvo_bridge.log, devices.cfg; the simulator's traffic in ruvo_sim.out).
Closing the program stops the simulator.

EOF

cd "$demo"
"$program"
