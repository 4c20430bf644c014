#!/usr/bin/env python3
"""A client round trip through an echo modem served by ruvo_bridge: sends a message to the modem's TCP port
and waits for the same bytes to come back, retrying until the time is up (the port opens only once the
program's link is up). Usable as a module (round_trip, exchange) and from the command line:
    round_trip.py PORT [SECONDS, default 30]      exit code 0 when a round trip succeeded"""
import os
import random
import socket
import sys
import time


def exchange(port, payload, timeout, expect):
    """Sends payload to a modem's port and reads until expect bytes came or the time is up."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(payload)
        got = b""
        end = time.monotonic() + timeout
        while len(got) < expect and time.monotonic() < end:
            s.settimeout(max(0.01, end - time.monotonic()))
            try:
                chunk = s.recv(4096)
            except socket.timeout:
                break
            if not chunk:
                break
            got += chunk
        return got


def round_trip(port, timeout, max_size=51):
    """True once a client gets its message back through the echo modem within the time."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        payload = os.urandom(random.randint(1, max_size))
        try:
            if exchange(port, payload, min(5, max(0.1, end - time.monotonic())), len(payload)) == payload:
                return True
        except OSError:
            pass
        time.sleep(0.01)
    return False


if __name__ == "__main__":
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 30
    sys.exit(0 if round_trip(int(sys.argv[1]), seconds) else 1)
