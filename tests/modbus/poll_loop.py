"""A Modbus TCP master that polls for a while, as SCADA does, and checks every answer.

Usage: poll_loop.py PORT SECONDS FIRST COUNT
Reads holding register FIRST, FIRST+1, ... FIRST+COUNT-1 in turn, one at a time, for SECONDS. The
simulator's registers hold their own address, so an answer with another value belongs to another
request. Prints "ok N wrong M failed F": answers that fit, answers carrying another register, and
requests that got an exception or no answer.
"""
import sys
import time

from pymodbus.client import ModbusTcpClient


def main():
    port, seconds, first, count = (int(arg) for arg in sys.argv[1:5])
    client = ModbusTcpClient("127.0.0.1", port=port, timeout=5, retries=0)
    if not client.connect():
        raise RuntimeError("cannot connect")
    ok = wrong = failed = 0
    end = time.monotonic() + seconds
    n = 0
    while time.monotonic() < end:
        address = first + n % count
        n += 1
        try:
            response = client.read_holding_registers(address, 1, slave=1)
        except Exception:  # a timeout or a dropped connection is a failed request, not the end
            failed += 1
            if not client.connected and not client.connect():
                raise RuntimeError(f"cannot connect again after {ok} answers")
            continue
        if response.isError():
            failed += 1
        elif response.registers == [address]:
            ok += 1
        else:
            wrong += 1
    client.close()
    print(f"ok {ok} wrong {wrong} failed {failed}")


if __name__ == "__main__":
    try:
        main()
    except Exception as error:  # every failure is one line on standard error and exit code 1
        print(error, file=sys.stderr)
        sys.exit(1)
