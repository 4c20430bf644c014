"""A real Modbus master for the tests: pymodbus reads and writes registers through one port.

Usage: pymodbus_client.py PORT tcp|rtu
       pymodbus_client.py PORT poll SECONDS FIRST COUNT
tcp speaks Modbus TCP (MBAP); rtu sends RTU frames over the TCP connection, as a raw port wants.
Both print the holding registers 0-9, the input registers 0-9 and the holding registers 20-22
after writing 7, 8, 9 there, one line each.
poll polls as SCADA does, over Modbus TCP: it reads holding register FIRST, FIRST+1, ...
FIRST+COUNT-1 in turn, one at a time, for SECONDS. The simulator's registers hold their own
address, so an answer with another value belongs to another request. It prints "ok N wrong M
failed F": answers that fit, answers carrying another register, and requests that got an
exception or no answer.
Exits with 1 on any other error.
"""
import sys
import time

from pymodbus.client import ModbusTcpClient
from pymodbus.transaction import ModbusRtuFramer, ModbusSocketFramer


def registers(response):
    if response.isError():
        raise RuntimeError(str(response))
    return " ".join(str(value) for value in response.registers)


def connected(port, framer=ModbusSocketFramer, timeout=10):
    client = ModbusTcpClient("127.0.0.1", port=port, framer=framer, timeout=timeout, retries=0)
    if not client.connect():
        raise RuntimeError("cannot connect")
    return client


def read_and_write(port, mode):
    client = connected(port, ModbusRtuFramer if mode == "rtu" else ModbusSocketFramer)
    print(registers(client.read_holding_registers(0, 10, slave=1)))
    print(registers(client.read_input_registers(0, 10, slave=1)))
    written = client.write_registers(20, [7, 8, 9], slave=1)
    if written.isError():
        raise RuntimeError(str(written))
    print(registers(client.read_holding_registers(20, 3, slave=1)))
    client.close()


def poll(port, seconds, first, count):
    client = connected(port, timeout=5)
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


def main():
    port = int(sys.argv[1])
    if sys.argv[2] == "poll":
        poll(port, *(int(arg) for arg in sys.argv[3:6]))
    else:
        read_and_write(port, sys.argv[2])


if __name__ == "__main__":
    try:
        main()
    except Exception as error:  # every failure is one line on standard error and exit code 1
        print(error, file=sys.stderr)
        sys.exit(1)
