#!/usr/bin/python3
"""Three Modbus TCP masters with short timeouts of their own polling one port while the radio loses answers.

Starts ruvo_sim with one Modbus modem whose every 20th answer is lost, and ruvo_bridge serving that modem
as a modbus_tcp port, at modbus_timeout 550 and then 2000. Three pymodbus masters (timeout 0.5 s, no
retries, a new connection after a timeout, as libmodbus-style masters do) each read one holding register
after another; the simulator's holding register N holds N, so an answer with another value is a wrong
answer. Prints, per setting and program, the right and wrong answers, exceptions 0x0B, other exceptions
and the masters' own timeouts (a connection that broke counts there too) per minute, and the program's
processor time per request.

Usage: modbus_masters.py [--bridge PATH]... [--sim PATH] [--seconds S] [--radio-delay MS]
Two --bridge options (an older build and a newer one) print both side by side as "before" and "after".
"""
import argparse
import contextlib
import logging
import os
import pathlib
import socket
import subprocess
import sys
import tempfile
import threading
import time

from pymodbus.client import ModbusTcpClient
from pymodbus.exceptions import ConnectionException, ModbusIOException
from pymodbus.pdu import ExceptionResponse

ROOT = pathlib.Path(__file__).resolve().parent.parent
EUI = "0102030405060702"
REGISTERS = 100        # the simulator's default block of holding registers
MASTERS = 3
MASTER_TIMEOUT = 0.5
LOSE_EVERY = 20
TIMEOUTS_MS = (550, 2000)
ROWS = ("right answers", "wrong answers", "exception 0x0B", "other exceptions", "client timeouts")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(check, seconds, what):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if check():
            return
        time.sleep(0.05)
    raise RuntimeError(f"{what} did not happen within {seconds} s")


def start_sim(sim, folder, radio_delay, faults):
    out = folder / "ruvo_sim.out"
    fault_options = [word for fault in faults for word in ("--fault", fault)]
    with open(out, "wb") as sink:
        process = subprocess.Popen([sim, "--listen", "127.0.0.1:0", "--radio-delay", str(radio_delay),
                                    "--modem", f"{EUI}:modbus"] + fault_options,
                                   stdin=subprocess.PIPE, stdout=sink, stderr=subprocess.DEVNULL)

    def listening_port():
        text = out.read_text(errors="replace")
        return int(text.split()[1]) if text.startswith("listening ") and "\n" in text else 0

    wait_until(lambda: listening_port() or process.poll() is not None, 10, "the simulator's start")
    if process.poll() is not None:
        raise RuntimeError("the simulator did not start")
    return process, listening_port()


def start_bridge(bridge, folder, ws_port, tcp_port, modbus_timeout, settings="", device_options=""):
    """settings: more lines of the configuration file; device_options: more options of the modem's line."""
    (folder / "ruvo_bridge.cfg").write_text(
        f'ws_url = "ws://127.0.0.1:{ws_port}"\nws_login = "demo"\nws_password = "demo"\n'
        f'devices_file = "devices.cfg"\ntrace_ws = bad_frames\ntrace_tcp = bad_frames\n'
        f"modbus_timeout = {modbus_timeout}\n{settings}")
    (folder / "devices.cfg").write_text(
        f"device(eui={EUI}, tcp_port={tcp_port}, max_frame=51, protocol=modbus_tcp{device_options})\n")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    return subprocess.Popen([bridge, "--lang=en"], cwd=folder, env=env,
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def stop(process):
    process.terminate()
    try:
        process.wait(10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def answers_right(port):
    client = ModbusTcpClient("127.0.0.1", port=port, timeout=2, retries=0)
    try:
        response = client.read_holding_registers(7, 1, slave=1)
        return not response.isError() and response.registers == [7]
    except ConnectionException:
        return False
    finally:
        client.close()


def cpu_seconds(pid):
    fields = pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def outcome(response, address):
    if isinstance(response, ExceptionResponse):
        return "exception 0x0B" if response.exception_code == 0x0B else "other exceptions"
    if response is None or isinstance(response, ModbusIOException) or response.isError():
        return "client timeouts"
    return "right answers" if response.registers == [address] else "wrong answers"


def master(port, first, end, counts, lock):
    client = ModbusTcpClient("127.0.0.1", port=port, retries=0)
    client.params.timeout = MASTER_TIMEOUT   # this pymodbus rounds the constructor's timeout down to whole seconds
    n = 0
    while time.monotonic() < end:
        address = (first + n) % REGISTERS
        n += 1
        try:
            response = client.read_holding_registers(address, 1, slave=1)
        except ConnectionException:
            response = None
        kind = outcome(response, address)
        if kind == "client timeouts":
            client.close()   # a late answer on this connection would be taken for the next request's
        with lock:
            counts[kind] += 1
    client.close()


@contextlib.contextmanager
def gateway(bridge, sim, prefix, radio_delay, faults, modbus_timeout, **bridge_options):
    """The simulator and the program in a temporary folder, once a first read through the program came right.
    Yields the folder (the simulator's output is its ruvo_sim.out), the program's process and its port."""
    with tempfile.TemporaryDirectory(prefix=prefix) as name:
        folder = pathlib.Path(name)
        sim_process, ws_port = start_sim(sim, folder, radio_delay, faults)
        try:
            tcp_port = free_port()
            bridge_process = start_bridge(bridge, folder, ws_port, tcp_port, modbus_timeout, **bridge_options)
            try:
                wait_until(lambda: answers_right(tcp_port) or bridge_process.poll() is not None, 30,
                           "the first right answer through the program")
                if bridge_process.poll() is not None:
                    raise RuntimeError(f"{bridge} ended with code {bridge_process.returncode}")
                yield folder, bridge_process, tcp_port
            finally:
                stop(bridge_process)
        finally:
            stop(sim_process)


def run_all(target, argument_lists):
    """Runs target once per argument list, each in a thread of its own, and waits for them all."""
    threads = [threading.Thread(target=target, args=arguments) for arguments in argument_lists]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()


def run(bridge, sim, modbus_timeout, seconds, radio_delay):
    with gateway(bridge, sim, "modbus_masters.", radio_delay, [f"fault lose_every {EUI} {LOSE_EVERY}"],
                 modbus_timeout) as (_, bridge_process, tcp_port):
        counts = dict.fromkeys(ROWS, 0)
        lock = threading.Lock()
        cpu_before = cpu_seconds(bridge_process.pid)
        end = time.monotonic() + seconds
        run_all(master, [(tcp_port, i * REGISTERS // MASTERS, end, counts, lock) for i in range(MASTERS)])
        cpu = cpu_seconds(bridge_process.pid) - cpu_before
    figures = {row: counts[row] * 60 / seconds for row in ROWS}
    figures["program CPU ms/request"] = cpu * 1000 / max(1, sum(counts.values()))
    return figures


def print_table(results, labels, seconds, radio_delay):
    print(f"{MASTERS} masters (own timeout {MASTER_TIMEOUT} s, no retries) on one modbus_tcp port, radio delay "
          f"{radio_delay} ms, one answer in {LOSE_EVERY} lost, {seconds:g} s per run; counts per minute")
    width = max(12, 22 // len(labels))   # of one column; a setting's title spans its columns
    print(f"{'':24}" + "".join(f"{'modbus_timeout ' + str(t):>{width * len(labels)}}" for t in TIMEOUTS_MS))
    if len(labels) > 1:
        print(f"{'':24}" + "".join(f"{label:>{width}}" for _ in TIMEOUTS_MS for label in labels))
    for row in ROWS + ("program CPU ms/request",):
        digits = 3 if row.startswith("program") else 0
        print(f"{row:24}" + "".join(f"{results[(t, label)][row]:>{width}.{digits}f}" for t in TIMEOUTS_MS
                                    for label in labels))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    parser.add_argument("--bridge", action="append", help="the program (twice: before and after)")
    parser.add_argument("--sim", default=str(ROOT / "build/tools/ruvo_sim/ruvo_sim"))
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--radio-delay", type=int, default=100, help="ms from a request to the device's answer")
    args = parser.parse_args()
    bridges = [os.path.abspath(b) for b in args.bridge or [str(ROOT / "build/ruvo_bridge")]]
    if len(bridges) > 2:
        parser.error("one or two --bridge")
    labels = ["before", "after"][:len(bridges)] if len(bridges) == 2 else ["program"]
    logging.getLogger("pymodbus").setLevel(logging.CRITICAL)
    results = {}
    for modbus_timeout in TIMEOUTS_MS:
        for label, bridge in zip(labels, bridges):
            results[(modbus_timeout, label)] = run(bridge, args.sim, modbus_timeout, args.seconds, args.radio_delay)
    print_table(results, labels, args.seconds, args.radio_delay)


if __name__ == "__main__":
    try:
        main()
    except RuntimeError as error:
        print(error, file=sys.stderr)
        sys.exit(1)
