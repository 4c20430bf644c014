#!/usr/bin/env python3
"""Fault soak of ruvo_bridge against ruvo_sim: faults of every kind are injected through the simulator's
control commands (dropped and closed connections, timeouts, rejections, malformed and binary messages,
wrong EUIs, bad uplink packets) while TCP clients connect, send and disconnect all the time. After every
fault the link must come back and a client round trip through an echo modem must succeed. At the end
SIGTERM must end the program with exit code 0 and the sanitizers (when built in) must have nothing to say.
Standard library only."""
import argparse
import os
import queue
import random
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from round_trip import exchange, round_trip  # noqa: E402

VERIFY_EUI = "0102030405060701"   # echo modem used only for the round trips after each fault
ECHO_EUI = "0102030405060702"     # echo modem for the restless clients
MODBUS_EUI = "0102030405060703"   # Modbus slave 1 for the restless clients
STRANGER_EUI = "0102030405060799"  # known to nobody
MAX_FRAME = 51
MODBUS_READ = bytes.fromhex("01030000000AC5CD")  # read 10 holding registers from 0

# Each fault: its name, the control commands that make it, how long it is left in force (seconds), and
# whether a client must send something for it to strike.
FAULTS = [
    ("connection dropped", ["abort"], 0, False),
    ("connection closed", ["close"], 0, False),
    ("drop after the next message", ["fault abort_after 1"], 0.4, False),
    ("close after the next message", ["fault close_after 1"], 0.4, False),
    ("malformed message", ["send_malformed"], 0, False),
    ("trailing text", ["send_trailing"], 0, False),
    ("field twice", ["send_duplicate"], 0, False),
    ("deep nesting", ["send_nested 1000"], 0, False),
    ("binary message", ["sendbin 00FF7B7D"], 0, False),
    ("rx with odd hex", ["rx %s 2 031" % VERIFY_EUI], 0, False),
    ("rx without data", ['send {"cmd":"rx","devEui":"%s","port":2}' % VERIFY_EUI], 0, False),
    ("rx for a stranger", ["rx %s 2 030100010001AA" % STRANGER_EUI], 0, False),
    ("login rejected", ["fault reject_login denied", "abort"], 0.3, False),
    ("login unanswered", ["fault no_answer auth_req", "abort"], 0.5, False),
    ("device list rejected", ["fault reject get_device_appdata_req", "abort"], 0.3, False),
    ("device list unanswered", ["fault no_answer get_device_appdata_req"], 0.6, False),
    ("data unanswered", ["fault no_answer send_data_req"], 0, True),
    ("data answered late", ["fault delay send_data_req 500"], 0, True),
    ("data rejected", ["fault reject send_data_req nope"], 0, True),
    ("data refused", ["fault append_status false"], 0, True),
    ("answer for a wrong EUI", ["fault append_status wrong_eui"], 0, True),
    ("two answers", ["fault append_status two"], 0, True),
    ("no answer in the list", ["fault append_status empty"], 0, True),
    ("answer list missing", ["fault append_status missing"], 0, True),
    ("packets out of order", ["fault uplink_bad out_of_order"], 0, True),
    ("packet size wrong", ["fault uplink_bad size"], 0, True),
    ("total size changes", ["fault uplink_bad total"], 0, True),
    ("packet count changes", ["fault uplink_bad packets"], 0, True),
]


def free_ports(count):
    probes = []
    for _ in range(count):
        s = socket.socket()
        s.bind(("", 0))
        probes.append(s)
    ports = [s.getsockname()[1] for s in probes]
    for s in probes:
        s.close()
    return ports


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


class Sim:
    """The simulator, driven through its standard input; its event lines are read in a thread."""

    def __init__(self, exe, work):
        args = [exe, "--listen", "127.0.0.1:0", "--radio-delay", "0", "--packet-size", "16", "--noise", "40",
                "--modem", VERIFY_EUI + ":echo:verify", "--modem", ECHO_EUI + ":echo",
                "--modem", MODBUS_EUI + ":modbus"]
        self.err = open(os.path.join(work, "ruvo_sim.err"), "w")
        # The simulator is a test tool: when it is built with the sanitizers too, it runs with their defaults.
        env = {k: v for k, v in os.environ.items() if not k.endswith("SAN_OPTIONS")}
        env["ASAN_OPTIONS"] = "detect_leaks=0"
        self.process = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.err,
                                        text=True, bufsize=1, env=env)
        self.connections = 0
        self.port = None
        self.answers = queue.Queue()
        self.listening = threading.Event()
        threading.Thread(target=self._read, daemon=True).start()
        if not self.listening.wait(10):
            raise SystemExit("the simulator did not start")

    def _read(self):
        for line in self.process.stdout:
            line = line.rstrip("\n")
            if line == "connected":
                self.connections += 1
            elif line.startswith("listening "):
                self.port = int(line.split()[1])
                self.listening.set()
            elif line == "ok" or line.startswith("error "):
                self.answers.put(line)

    def command(self, text):
        self.process.stdin.write(text + "\n")
        self.process.stdin.flush()
        answer = self.answers.get(timeout=10)
        if answer != "ok":
            raise SystemExit("the simulator refused %r: %s" % (text, answer))

    def stop(self):
        try:
            self.command("quit")
        except (OSError, queue.Empty, SystemExit):
            pass
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()


class Restless_clients:
    """Clients that connect, send, wait or not, and go, on the two ports not used for the round trips."""

    def __init__(self, ports, count):
        self.ports = ports
        self.stop_event = threading.Event()
        self.answers = 0
        self.connections = 0
        self.threads = [threading.Thread(target=self._run, args=(random.Random(i),), daemon=True)
                        for i in range(count)]
        for t in self.threads:
            t.start()

    def _run(self, rnd):
        while not self.stop_event.is_set():
            port, modbus = rnd.choice([(self.ports[0], False), (self.ports[1], True)])
            action = rnd.random()
            try:
                if action < 0.2:
                    socket.create_connection(("127.0.0.1", port), timeout=1).close()
                elif action < 0.4:
                    with socket.create_connection(("127.0.0.1", port), timeout=1) as s:
                        s.sendall(os.urandom(rnd.randint(1, MAX_FRAME)))
                elif action < 0.9:
                    payload = MODBUS_READ if modbus else os.urandom(rnd.randint(1, MAX_FRAME))
                    if exchange(port, payload, 0.5, 25 if modbus else len(payload)):
                        self.answers += 1
                else:
                    # Longer than the modem's frame limit: the program drops this client.
                    exchange(port, os.urandom(MAX_FRAME + rnd.randint(1, 100)), 0.3, 1)
                self.connections += 1
            except OSError:
                time.sleep(0.01)

    def stop(self):
        self.stop_event.set()
        for t in self.threads:
            t.join(5)


def write_files(work, sim_port, ports, reconnect_delay):
    with open(os.path.join(work, "ruvo_bridge.cfg"), "w") as f:
        f.write('ws_url = "ws://127.0.0.1:%d"\nws_login = "demo"\nws_password = "demo"\n' % sim_port)
        f.write("ws_connect_timeout = 2000\nws_auth_timeout = 300\nws_reconnect_delay = %d\n" % reconnect_delay)
        f.write("ws_devlist_period = 200\nws_devlist_timeout = 300\nws_data_timeout = 300\n")
        f.write('interframe_delay = 5\ndefault_max_frame = %d\ndevices_file = "devices.cfg"\n' % MAX_FRAME)
        f.write("trace_ws = bad_frames\ntrace_tcp = err\n")
    with open(os.path.join(work, "devices.cfg"), "w") as f:
        for eui, port in zip((VERIFY_EUI, ECHO_EUI, MODBUS_EUI), ports):
            f.write("device(eui=%s, tcp_port=%d)\n" % (eui, port))


def strike(sim, fault, verify_port):
    name, commands, hold, send = fault
    for c in commands:
        sim.command(c)
    if send:
        try:
            exchange(verify_port, os.urandom(8), 0.8, 8)
        except OSError:
            pass
    if hold:
        time.sleep(hold)
    sim.command("clear")


def sanitizer_reports(work):
    """The sanitizer files of the run folder that report something, and the suppressions that were used."""
    reports = []
    suppressed = []
    for name in sorted(os.listdir(work)):
        if not name.startswith(("asan.", "ubsan.", "lsan.")):
            continue
        with open(os.path.join(work, name), errors="replace") as f:
            text = f.read()
        if "ERROR:" in text or "runtime error" in text or "WARNING:" in text:
            reports.append(name)
        suppressed += [line.strip() for line in text.splitlines() if line.startswith("    ")]
    return reports, suppressed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--bridge", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--rebuilds", type=int, default=2000, help="link rebuilds to reach")
    parser.add_argument("--minutes", type=float, default=15, help="time limit")
    parser.add_argument("--reconnect-delay", type=int, default=10, help="ws_reconnect_delay, ms")
    parser.add_argument("--work", help="run folder (default: a new temporary one)")
    args = parser.parse_args()
    args.bridge = os.path.abspath(args.bridge)
    args.sim = os.path.abspath(args.sim)

    work = args.work or tempfile.mkdtemp(prefix="ruvo_soak_")
    os.makedirs(work, exist_ok=True)
    ports = free_ports(3)
    sim = Sim(args.sim, work)
    write_files(work, sim.port, ports, args.reconnect_delay)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    for kind in ("ASAN", "UBSAN", "LSAN"):
        option = "log_path=%s/%s" % (work, kind.lower())
        env[kind + "_OPTIONS"] = ":".join(o for o in (env.get(kind + "_OPTIONS"), option) if o)
    out = open(os.path.join(work, "ruvo_bridge.out"), "w")
    bridge = subprocess.Popen([args.bridge], cwd=work, env=env, stdout=out, stderr=subprocess.STDOUT)
    print("run folder %s; program pid %d; simulator on port %d" % (work, bridge.pid, sim.port), flush=True)

    clients = None
    failures = []
    cycles = 0
    struck = {}
    started = time.monotonic()
    ok = round_trip(ports[0], 30)
    rss_start = resident_kib(bridge.pid)
    rss_samples = [rss_start]
    if not ok:
        failures.append("no round trip after the start")
    else:
        clients = Restless_clients(ports[1:], 3)
        first_connections = sim.connections
        limit = started + args.minutes * 60
        while sim.connections - first_connections < args.rebuilds and time.monotonic() < limit:
            if bridge.poll() is not None:
                failures.append("the program ended by itself with code %d" % bridge.returncode)
                break
            fault = random.choice(FAULTS)
            strike(sim, fault, ports[0])
            cycles += 1
            struck[fault[0]] = struck.get(fault[0], 0) + 1
            if not round_trip(ports[0], 20):
                failures.append("no round trip after: " + fault[0])
                break
            if cycles % 100 == 0:
                rss_samples.append(resident_kib(bridge.pid))
                print("%d faults, %d link rebuilds, %d s, resident %d KiB" % (
                    cycles, sim.connections - 1, time.monotonic() - started, rss_samples[-1]), flush=True)
        clients.stop()
    rss_end = resident_kib(bridge.pid) if bridge.poll() is None else 0
    rebuilds = sim.connections - 1

    exit_code = None
    if bridge.poll() is None:
        bridge.send_signal(signal.SIGTERM)
        try:
            exit_code = bridge.wait(120)
        except subprocess.TimeoutExpired:
            failures.append("SIGTERM did not end the program")
            bridge.kill()
            bridge.wait()
    else:
        exit_code = bridge.returncode
    sim.stop()
    if exit_code != 0:
        failures.append("exit code %s" % exit_code)
    reports, suppressed = sanitizer_reports(work)
    if reports:
        failures.append("sanitizer reports: " + ", ".join(reports))
    with open(os.path.join(work, "ruvo_bridge.log"), encoding="utf-8", errors="replace") as f:
        internal = f.read().count("Неожиданная ошибка")
    if internal:
        failures.append("%d internal errors in the log" % internal)

    print("duration %.0f s; faults %d of %d kinds; link rebuilds %d; restless client connections %d, answers %d"
          % (time.monotonic() - started, cycles, len(struck), rebuilds,
             clients.connections if clients else 0, clients.answers if clients else 0))
    print("resident memory: start %d KiB, end %d KiB, least %d KiB, most %d KiB (samples every 100 faults)"
          % (rss_start, rss_end, min(rss_samples), max(rss_samples)))
    print("exit code after SIGTERM: %s; sanitizer reports: %d; internal errors: %d"
          % (exit_code, len(reports), internal))
    for line in suppressed:
        print("suppressed leaks at exit (count, bytes, where): " + line)
    for kind, count in sorted(struck.items()):
        print("  %5d  %s" % (count, kind))
    if rebuilds < args.rebuilds:
        failures.append("only %d link rebuilds in the time allowed" % rebuilds)
    for f in failures:
        print("FAILED: " + f)
    print("PASSED" if not failures else "FAILED")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
