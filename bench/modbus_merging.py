#!/usr/bin/python3
"""Airtime saved by merging identical Modbus reads and by the read cache, with three masters polling alike.

Three pymodbus masters, each on its own connection to one modem's modbus_tcp port, read the same 10 holding
registers (from address 0, slave 1) every 200 ms; the simulator's modem answers after the radio delay (1 s),
and modbus_timeout is long enough for no answer to be timed out. Run against the program without merging
(an older build, --bridge-before), the current program, and the current program with cache_ms=5000 on the
modem's line. Prints per run the requests carried over the radio (the simulator's data commands), each
master's right answers (values 0..9), the other outcomes and the mean time to an answer, and the program's
ruvo_bridge_modbus_requests_total split by how the requests were answered (where the program has it).

Usage: modbus_merging.py [--bridge PATH] [--bridge-before PATH] [--sim PATH] [--seconds S] [--radio-delay MS]
"""
import argparse
import logging
import os
import re
import sys
import time
import urllib.request

from pymodbus.client import ModbusTcpClient
from pymodbus.exceptions import ModbusException

from modbus_masters import ROOT, free_port, gateway, run_all

MASTERS = 3
PERIOD = 0.2           # s between the starts of a master's reads
COUNT = 10             # registers read from address 0; the simulator's holding register N holds N
MODBUS_TIMEOUT = 15000
MASTER_TIMEOUT = 20    # s, longer than the program's own timeout
ANSWERED = ("radio", "merged", "cache")
METRIC = re.compile(r'^ruvo_bridge_modbus_requests_total\{[^}]*answered="(\w+)"[^}]*\} (\S+)$', re.M)


def poll(port, end, tally):
    """One master: a read every PERIOD (at once when the last answer came later) until end."""
    client = ModbusTcpClient("127.0.0.1", port=port, timeout=MASTER_TIMEOUT, retries=0)
    due = time.monotonic()
    while due < end:
        time.sleep(max(0.0, due - time.monotonic()))
        started = time.monotonic()
        try:
            response = client.read_holding_registers(0, COUNT, slave=1)
            right = not response.isError() and response.registers == list(range(COUNT))
        except ModbusException:
            right = False
        if right:
            tally["right"] += 1
            tally["waited"] += time.monotonic() - started
        else:
            tally["other"] += 1
            client.close()   # a late answer on this connection would be taken for the next read's
        due = max(due + PERIOD, time.monotonic())
    client.close()


def radio_requests(folder):
    lines = (folder / "ruvo_sim.out").read_text(errors="replace").splitlines()
    return sum(line.startswith("recv ") and '"send_data_req"' in line for line in lines)


def answered_counts(metrics_port):
    with urllib.request.urlopen(f"http://127.0.0.1:{metrics_port}/metrics", timeout=5) as response:
        text = response.read().decode()
    return {kind: float(value) for kind, value in METRIC.findall(text)}


def run(bridge, sim, seconds, radio_delay, device_options):
    metrics_port = free_port()
    with gateway(bridge, sim, "modbus_merging.", radio_delay, [], MODBUS_TIMEOUT, device_options=device_options,
                 settings=f'metrics_listen = "127.0.0.1:{metrics_port}"\n') as (folder, _, tcp_port):
        radio_before, answered_before = radio_requests(folder), answered_counts(metrics_port)
        tallies = [dict(right=0, other=0, waited=0.0) for _ in range(MASTERS)]
        end = time.monotonic() + seconds
        run_all(poll, [(tcp_port, end, tally) for tally in tallies])
        figures = {"radio requests (simulator)": radio_requests(folder) - radio_before}
        answered = answered_counts(metrics_port)
    for i, tally in enumerate(tallies, 1):
        figures[f"master {i} right answers"] = tally["right"]
    figures["other outcomes, all masters"] = sum(tally["other"] for tally in tallies)
    right = sum(tally["right"] for tally in tallies)
    figures["mean ms to an answer"] = sum(tally["waited"] for tally in tallies) * 1000 / max(1, right)
    for kind in ANSWERED:
        if kind in answered:
            figures[f'metric answered="{kind}"'] = answered[kind] - answered_before.get(kind, 0)
    return figures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    parser.add_argument("--bridge", default=str(ROOT / "build/ruvo_bridge"), help="the current program")
    parser.add_argument("--bridge-before", help="a build without merging, for a column of its own")
    parser.add_argument("--sim", default=str(ROOT / "build/tools/ruvo_sim/ruvo_sim"))
    parser.add_argument("--seconds", type=float, default=30)
    parser.add_argument("--radio-delay", type=int, default=1000, help="ms from a request to the device's answer")
    args = parser.parse_args()
    runs = [("no merging", args.bridge_before, ""), ("merging", args.bridge, ""),
            ("cache_ms=5000", args.bridge, ", cache_ms=5000")]
    logging.getLogger("pymodbus").setLevel(logging.CRITICAL)
    results = {label: run(os.path.abspath(bridge), args.sim, args.seconds, args.radio_delay, options)
               for label, bridge, options in runs if bridge}
    print(f"{MASTERS} masters reading the same {COUNT} registers every {PERIOD * 1000:g} ms on one modbus_tcp port, "
          f"radio delay {args.radio_delay} ms, modbus_timeout {MODBUS_TIMEOUT}, {args.seconds:g} s per run")
    print(f"{'':32}" + "".join(f"{label:>16}" for label in results))
    rows = dict.fromkeys(row for figures in results.values() for row in figures)
    for row in rows:
        cells = (figures.get(row) for figures in results.values())
        print(f"{row:32}" + "".join(f"{'-':>16}" if cell is None else f"{cell:>16.0f}" for cell in cells))


if __name__ == "__main__":
    try:
        main()
    except RuntimeError as error:
        print(error, file=sys.stderr)
        sys.exit(1)
