# Shared by scripts/make_deb.sh and scripts/valgrind.sh (sourced): the simulated server in the background
# with one echo modem, and a run folder for the program pointed at it.

echo_eui=0102030405060701

# start_sim SIM_EXE WORK_DIR [more simulator options]: starts the simulator with the echo modem on a
# free port; sets sim_pid and sim_port.
start_sim() {
  local exe=$1 work=$2
  shift 2
  "$exe" --listen 127.0.0.1:0 --radio-delay 0 --modem "$echo_eui:echo:echo" "$@" \
    < /dev/null > "$work/sim.out" 2> "$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do
    grep -q '^listening ' "$work/sim.out" && break
    sleep 0.1
  done
  sim_port="$(sed -n 's/^listening //p' "$work/sim.out")"
  if [ -z "$sim_port" ]; then
    echo "The simulator did not start:" >&2
    cat "$work/sim.err" >&2
    return 1
  fi
}

# prepare_run WORK_DIR SAMPLE_CFG: the sample configuration pointed at the simulator and a devices file
# with the echo modem on a free port; sets client_port.
prepare_run() {
  local work=$1 sample=$2
  client_port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("",0)); print(s.getsockname()[1])')"
  sed "s|^ws_url = .*|ws_url = \"ws://127.0.0.1:$sim_port\"|" "$sample" > "$work/ruvo_bridge.cfg"
  echo "device(eui=$echo_eui, tcp_port=$client_port)" > "$work/devices.cfg"
}

# check_round_trip WORK_DIR SECONDS WHAT: a client's round trip through the program on client_port;
# on failure the program's log is shown.
check_round_trip() {
  local work=$1 seconds=$2 what=$3
  if ! python3 tools/soak/round_trip.py "$client_port" "$seconds"; then
    echo "No round trip through $what:" >&2
    cat "$work/ruvo_bridge.log" >&2
    return 1
  fi
  echo "Client round trip through $what: ok"
}

# stop_with_sigterm PID: SIGTERM must end the program in order, with exit code 0.
stop_with_sigterm() {
  local rc=0
  kill -TERM "$1"
  wait "$1" || rc=$?
  if [ "$rc" -ne 0 ]; then
    echo "SIGTERM ended the program with exit code $rc" >&2
    return 1
  fi
  echo "SIGTERM: exit code 0"
}
