"""A real Modbus master for the tests: pymodbus reads and writes registers through one port.

Usage: pymodbus_client.py PORT tcp|rtu
tcp speaks Modbus TCP (MBAP); rtu sends RTU frames over the TCP connection, as a raw port wants.
Prints the holding registers 0-9, the input registers 0-9 and the holding registers 20-22 after
writing 7, 8, 9 there, one line each; exits with 1 on any error.
"""
import sys

from pymodbus.client import ModbusTcpClient
from pymodbus.transaction import ModbusRtuFramer, ModbusSocketFramer


def registers(response):
    if response.isError():
        raise RuntimeError(str(response))
    return " ".join(str(value) for value in response.registers)


def main():
    port = int(sys.argv[1])
    framer = ModbusRtuFramer if sys.argv[2] == "rtu" else ModbusSocketFramer
    client = ModbusTcpClient("127.0.0.1", port=port, framer=framer, timeout=10, retries=0)
    if not client.connect():
        raise RuntimeError("cannot connect")
    print(registers(client.read_holding_registers(0, 10, slave=1)))
    print(registers(client.read_input_registers(0, 10, slave=1)))
    written = client.write_registers(20, [7, 8, 9], slave=1)
    if written.isError():
        raise RuntimeError(str(written))
    print(registers(client.read_holding_registers(20, 3, slave=1)))
    client.close()


if __name__ == "__main__":
    try:
        main()
    except Exception as error:  # every failure is one line on standard error and exit code 1
        print(error, file=sys.stderr)
        sys.exit(1)
